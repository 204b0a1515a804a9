// TType2Tags: the OPC items of the type-2 channels. Every active channel of the channel list
// gets one item named by its address (opcAddTag2), with the channel's attributes as item
// properties; every change of value, quality, time or activity goes to the cache
// (opcAddValue2). Items are never removed: a channel that becomes inactive or is deleted keeps
// its item, which then shows out of service, and a channel that becomes active again, or is
// described again after its removal, reuses it.
//
// The channel is linked to its item by its OPC item handle (the toolkit's tag id, 0: none). The
// handle is written into every channel that opcAddTag2 sees, from the items published so far by
// address, so the link survives whatever replaces the stored channel (a new description at each
// session, a removal and a new description, activity changes).
// opcAddTag2 and opcAddValue2 run on the server thread; opcUpdateState2 and opcUpdateTime2 take
// the toolkit's cache lock first and the channel list's lock second, the order every user of
// both locks keeps.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "channels/channel.h"
#include "opc/opcservice.h"
#include "opc/utcshift.h"
#include "platform/clock.h"
#include "toolkit/toolkit.h"

namespace corvid {

class TChannelList2;
class TStringList;

// The toolkit value of a channel: the element type decides the item type (String stays String,
// Empty becomes Int1, every other code is its own type); an array channel gives an array of
// that type with ValueCount elements. An element or value whose own type differs from the item
// type keeps its eight data bytes, read as the item type (no numeric conversion).
Variant opcValueToVARIANT2(const TChannel2& channel);
// The item type of a channel type code (array flag kept).
std::uint16_t ItemType2(std::uint16_t type);

class TType2Tags {
 public:
  // `channels`: the stored channels (for the item of a channel published again and for the
  // refreshes); `attr_desc_texts`: the property descriptions by attribute id; `max_tag_count`:
  // the service's tag capacity (MAXTAGCOUNT), for the log line when it is exhausted.
  TType2Tags(OpcService& opc, TChannelList2& channels, const TStringList& attr_desc_texts,
             std::int32_t max_tag_count)
      : opc_(opc), channels_(channels), texts_(attr_desc_texts), max_tag_count_(max_tag_count) {}
  TType2Tags(const TType2Tags&) = delete;
  // MAXTAGCOUNT as the configuration gives it (known when the service is created).
  void SetMaxTagCount(std::int32_t max_tag_count) { max_tag_count_ = max_tag_count; }
  TType2Tags& operator=(const TType2Tags&) = delete;

  // Links a channel to its item: the item published before under its address, active or not,
  // or a new one for an active channel. Its OpcHandle receives the tag id; true when the channel
  // has an item.
  bool opcAddTag2(TChannel2& channel);
  // The channel's value, quality (StateToQuality with its activity) and time (local, as UTC) to
  // the cache. True when the cache took it.
  bool opcAddValue2(const TChannel2& channel);
  // Every stored channel's item gets `quality` and the time `now` (UTC).
  void opcUpdateState2(std::uint32_t quality, platform::FileTime now);
  // Every stored channel's item that was not changed since the last refresh gets the time `now`.
  void opcUpdateTime2(platform::FileTime now);

 private:
  void Refresh(bool all, std::uint32_t quality, platform::FileTime now, const char* name);
  void LogFailure(int result, const TChannel2& channel) const;

  OpcService& opc_;
  TChannelList2& channels_;
  const TStringList& texts_;
  std::int32_t max_tag_count_;
  LocalToUtcCache to_utc_;  // server thread only (opcAddValue2)
  // Every item published, by its name (the channel address, exact as the toolkit compares it).
  // Server thread only (opcAddTag2).
  std::unordered_map<std::string, loTagId> items_;
  // Addresses of the channels without an item whose values were refused and logged: a channel
  // that never gets an item (its name taken, no room left) logs its first value only, not every
  // value for as long as the server runs. Server thread only.
  std::unordered_set<std::string> unlinked_logged_;
};

}  // namespace corvid
