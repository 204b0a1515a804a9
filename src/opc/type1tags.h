// TCorvidDataList: the type-1 tag table. One entry per type-1 channel of the Corvid server,
// filled from the level-4 records of the configuration download (Add); after the download each
// entry becomes a read-only OPC item (AddTag); every state record (command 20) updates the item's
// value, quality and timestamp (Update); the main loop refreshes the timestamps once a second
// (UpdateTime) and a disconnection marks every item with one quality (UpdateState).
//
// Entries are found by their address a.b.c.d through an index; the first entry with an address
// is the one found (a second level-4 record with the same address is not added anyway).
// All operations run on the server thread; Count may be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "link/fixedstructs.h"
#include "link/type1lists.h"
#include "opc/opcservice.h"
#include "opc/utcshift.h"
#include "toolkit/toolkit.h"

namespace corvid {

// One type-1 channel and its OPC item.
struct TCorvidData {
  std::uint32_t RealTag = 0;  // position in the table + 1, the item's real-tag value
  std::string Name;           // channel name from the level-4 record (UTF-8)
  loTagValue TagValue;        // current value, timestamp, quality, tag id (0: no item)
  SStateRecord State;         // last state record; its address and DType are the entry's
  std::int32_t SystemId = 0;  // subsystem id; 0 or less: none
};

// Item properties of type-1 items besides the standard ones.
inline constexpr std::uint32_t kPropSystemName = 5000;
inline constexpr std::uint32_t kPropDType = 5004;
inline constexpr std::uint32_t kPropSystemId = 5005;

class TCorvidDataList {
 public:
  static constexpr std::int32_t kInitialCapacity = 10000;
  static constexpr std::int32_t kGrowth = 1000;
  // Longest item name and description, in windows-1251 characters.
  static constexpr std::size_t kMaxExpandedChars = 399;

  // `opc` gives the toolkit service and counts the items created; `lists` the level names.
  TCorvidDataList(OpcService& opc, const TType1Lists& lists);
  TCorvidDataList(const TCorvidDataList&) = delete;
  TCorvidDataList& operator=(const TCorvidDataList&) = delete;

  // The item name template (TAGNAME).
  void SetTagNameTemplate(std::string name_template) { template_ = std::move(name_template); }

  // A level-4 record: a new entry. False (with a log line) for an address part or DTYPE of 0,
  // false without one for an address already present.
  bool Add(const SConfigA4& record);
  // Creates the OPC item of entry `index` with its properties. True when the item was created.
  bool AddTag(std::int32_t index);
  // AddTag for every entry in order; the number of items created.
  std::int32_t AddTags();
  // A state record: updates the first entry with its address. False after a log line.
  bool Update(const SStateRecord& record);
  // Stamps `now` (UTC) on every item whose cache entry was not changed since the last refresh.
  bool UpdateTime(platform::FileTime now);
  // Sets `quality` and `now` on every item.
  bool UpdateState(std::uint32_t quality, platform::FileTime now);
  void Clear();

  std::int32_t Count() const { return count_.load(); }
  std::int32_t Capacity() const { return capacity_; }
  const TCorvidData& Entry(std::int32_t index) const {
    return entries_.at(static_cast<std::size_t>(index));
  }

  // The template with its placeholders replaced (matched without letter case): %A1 .. %A4,
  // %DTYPE, %NAME1 .. %NAME3 (the level names, "???" for none), %NAME4 and %NAME (the channel
  // name with every "." replaced by "_"). A "%" that starts none of them is kept. At most 399
  // windows-1251 characters.
  std::string ExpandTagName(const TCorvidData& entry, std::string_view name_template) const;

 private:
  static std::uint64_t Key(std::uint16_t a1, std::uint16_t a2, std::uint16_t a3, std::uint16_t a4) {
    return (std::uint64_t{a1} << 48) | (std::uint64_t{a2} << 32) | (std::uint64_t{a3} << 16) | a4;
  }
  bool UpdateEntry(TCorvidData& entry, const SStateRecord& record);
  bool Increment();
  // The enumeration texts of the items of `dtype`, built once per data type.
  const Variant& EnumerationTexts(std::uint8_t dtype);

  OpcService& opc_;
  const TType1Lists& lists_;
  std::string template_ = "%A1.%A2.%A3.%A4";

  // Entries never move once added: the table grows in blocks, so its capacity (grown by 1000 at
  // a time, as logged) is the room it reports and adding copies no earlier entry.
  std::deque<TCorvidData> entries_;
  std::int32_t capacity_ = kInitialCapacity;
  std::atomic<std::int32_t> count_{0};
  std::unordered_map<std::uint64_t, std::int32_t> index_;  // address -> first entry
  // The tag ids of the entries' items in the order of the entries, for the walks over every item
  // (the refresh once a second) that need nothing else of an entry.
  std::vector<loTagId> tag_ids_;
  // The entries without an item (their name taken, no room left) whose refused state was logged:
  // each logs its first state only, not every state for as long as the server runs.
  std::unordered_set<std::uint32_t> untagged_logged_;  // by RealTag

  LocalToUtcCache to_utc_;
  std::map<std::uint8_t, Variant> enumeration_texts_;
};

}  // namespace corvid
