// The type-1 tag table: entries, the address index, state updates and the timestamp refresh.
#include "opc/type1tags.h"

#include <new>

#include "link/wiretime.h"
#include "opc/statequality.h"
#include "opc/type1value.h"
#include "platform/locale.h"
#include "util/log.h"

namespace corvid {

TCorvidDataList::TCorvidDataList(OpcService& opc, const TType1Lists& lists)
    : opc_(opc), lists_(lists) {
  index_.reserve(static_cast<std::size_t>(capacity_));
}

bool TCorvidDataList::Add(const SConfigA4& record) {
  if (record.A1 == 0 || record.A2 == 0 || record.A3 == 0 || record.A4 == 0 || record.DType == 0) {
    WriteLog("ERROR\tTCorvidDataList::Add()\tADDR=%u.%u.%u.%u DTYPE=%u", unsigned{record.A1},
             unsigned{record.A2}, unsigned{record.A3}, unsigned{record.A4}, unsigned{record.DType});
    return false;
  }
  const std::uint64_t key = Key(record.A1, record.A2, record.A3, record.A4);
  const std::int32_t position = Count();
  // One look into the index both finds an address present and enters a new one.
  std::pair<std::unordered_map<std::uint64_t, std::int32_t>::iterator, bool> entered;
  try {
    entered = index_.try_emplace(key, position);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!entered.second) return false;
  if (position >= capacity_ && !Increment()) {
    index_.erase(entered.first);
    return false;
  }

  TCorvidData entry;
  entry.State.A1 = record.A1;
  entry.State.A2 = record.A2;
  entry.State.A3 = record.A3;
  entry.State.A4 = record.A4;
  entry.State.DType = record.DType;
  entry.SystemId = static_cast<std::int32_t>(record.SystemId);
  entry.RealTag = static_cast<std::uint32_t>(position) + 1;
  try {
    entry.Name = record.Name;
    entries_.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    index_.erase(entered.first);
    return false;
  }
  count_.store(position + 1);
  return true;
}

bool TCorvidDataList::Increment() {
  const std::int32_t total = capacity_ + kGrowth;
  capacity_ = total;
  WriteLog("INFO\tTCorvidDataList::Increment()\tCount=%ld Total=%ld", static_cast<long>(Count()),
           static_cast<long>(total));
  return true;
}

bool TCorvidDataList::Update(const SStateRecord& record) {
  if (record.A1 == 0 || record.A2 == 0 || record.A3 == 0 || record.A4 == 0) {
    WriteLog("ERROR\tTCorvidDataList::Update() Bad ADDR\t(ID=%d ADDR=%u.%u.%u.%u DTYPE=%u)",
             static_cast<int>(record.Id), unsigned{record.A1}, unsigned{record.A2},
             unsigned{record.A3}, unsigned{record.A4}, unsigned{record.DType});
    return false;
  }
  const auto found = index_.find(Key(record.A1, record.A2, record.A3, record.A4));
  if (found == index_.end()) {
    WriteLog("ERROR\tTCorvidDataList::Update() Tag not found\t(ID=%d ADDR=%u.%u.%u.%u DTYPE=%u)",
             static_cast<int>(record.Id), unsigned{record.A1}, unsigned{record.A2},
             unsigned{record.A3}, unsigned{record.A4}, unsigned{record.DType});
    return false;
  }
  return UpdateEntry(entries_[static_cast<std::size_t>(found->second)], record);
}

bool TCorvidDataList::UpdateEntry(TCorvidData& entry, const SStateRecord& record) {
  loService* service = opc_.Service();
  if (service == nullptr) {
    WriteLog("ERROR\tTCorvidData::Update()\tmy_service==NULL !");
    return false;
  }
  entry.State = record;
  const std::int64_t local = DateTimeToWireFileTime(record.Time);
  entry.TagValue.TimeStamp = local > 0 ? to_utc_(static_cast<platform::FileTime>(local)) : 0;
  entry.TagValue.Error = 0;
  entry.TagValue.Quality = StateToQuality(record.State, true);
  entry.TagValue.Value = Type1Value(record.DType, record.Val);
  if (loCacheUpdate(service, 1, &entry.TagValue, nullptr) == 0) {
    if (entry.TagValue.TagId == 0 && !untagged_logged_.insert(entry.RealTag).second) return false;
    WriteLog("ERROR\tloCacheUpdate()\t(ID=%d ADDR=%u.%u.%u.%u DTYPE=%u STATE=%u VAL[0]=%u)",
             static_cast<int>(record.Id), unsigned{record.A1}, unsigned{record.A2},
             unsigned{record.A3}, unsigned{record.A4}, unsigned{record.DType},
             unsigned{record.State}, unsigned{record.Val[0]});
    return false;
  }
  return true;
}

bool TCorvidDataList::UpdateTime(platform::FileTime now) {
  loService* service = opc_.Service();
  if (service == nullptr) {
    WriteLog("ERROR\tTCorvidData::UpdateTime()\tmy_service==NULL !");
    return false;
  }
  loTagState* cache = loCacheLock(service);
  if (cache == nullptr) return false;
  for (const loTagId id : tag_ids_) {
    if (cache[id].Changed == 0) {
      cache[id].TimeStamp = now;
      cache[id].Changed = 1;
    }
  }
  return loCacheUnlock(service, nullptr) != 0;
}

bool TCorvidDataList::UpdateState(std::uint32_t quality, platform::FileTime now) {
  loService* service = opc_.Service();
  if (service == nullptr) {
    WriteLog("ERROR\tTCorvidData::UpdateState()\tmy_service==NULL !");
    return false;
  }
  loTagState* cache = loCacheLock(service);
  if (cache == nullptr) return false;
  for (const loTagId id : tag_ids_) {
    cache[id].Quality = quality;
    cache[id].TimeStamp = now;
    cache[id].Changed = 1;
  }
  return loCacheUnlock(service, nullptr) != 0;
}

void TCorvidDataList::Clear() {
  entries_.clear();
  tag_ids_.clear();
  index_.clear();
  untagged_logged_.clear();
  count_.store(0);
}

}  // namespace corvid
