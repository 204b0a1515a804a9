// A group of a client and the items in it, with the state of its subscription: what each item
// last delivered, when the group was last scanned. Everything here is guarded by the engine's
// lock.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "channels/variant.h"
#include "toolkit/addressspace.h"
#include "toolkit/clienttypes.h"

namespace corvid::toolkit {

struct GroupItem {
  Handle server_handle = 0;
  Handle client_handle = 0;
  const TagInfo* tag = nullptr;
  std::u16string access_path;
  bool active = false;
  std::uint16_t requested_vartype = kVtEmpty;
  std::uint16_t delivery_type = 0;  // type code values are delivered as
  std::optional<float> deadband;    // item deadband (IOPCItemDeadbandMgt), else the group's

  // Subscription state.
  bool initial = true;  // the next scan delivers the item whatever its value
  std::uint64_t seen_sequence = 0;
  Variant sent_value;
  std::uint16_t sent_quality = 0;
  std::int32_t sent_error = 0;
};

struct Group {
  Handle server_handle = 0;
  Handle client_handle = 0;
  std::u16string name;
  bool active = false;
  std::uint32_t update_rate = 0;
  float percent_deadband = 0;
  std::int32_t time_bias = 0;
  std::uint32_t locale = 0;
  std::uint32_t keep_alive = 0;
  bool enabled = true;  // IOPCAsyncIO2::SetEnable: subscription callbacks on/off

  std::vector<GroupItem> items;
  std::unordered_map<Handle, std::size_t> index;  // server handle -> position in items
  std::shared_ptr<DataCallback> sink;

  bool scanned = false;
  std::uint32_t last_scan_tick = 0;
  std::uint32_t last_send_tick = 0;

  GroupItem* Find(Handle handle) {
    const auto it = index.find(handle);
    return it == index.end() ? nullptr : &items[it->second];
  }
  // Items counted as active towards the activation callback.
  std::int32_t ActiveItems() const {
    if (!active) return 0;
    std::int32_t n = 0;
    for (const GroupItem& item : items) n += item.active ? 1 : 0;
    return n;
  }
  void Remove(Handle handle) {
    const auto it = index.find(handle);
    const std::size_t at = it->second;
    index.erase(it);
    if (at + 1 != items.size()) {
      items[at] = std::move(items.back());
      index[items[at].server_handle] = at;
    }
    items.pop_back();
  }
};

}  // namespace corvid::toolkit
