// The type-1 configuration lists: the level-1 to level-3 records (commands 7, 8 and 9) that the
// server sends during the type-1 download, kept in the order received so that the names of the
// levels above a channel can be found by their numbers. A key sent twice is kept twice and the
// record received first wins. The lists live until the process ends and survive disconnections;
// a completed download replaces what they held.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

#include "link/fixedstructs.h"

namespace corvid {

// The name of a level that no record names.
inline constexpr char kUnknownLevelName[] = "???";

// A list of records of one kind in the order added, with an index of the first record of each
// key. Capacity starts at the given number and grows by 1000 whenever it is reached. The records
// are stored in blocks that never move, so growing copies nothing: the capacity is the room the
// list reports, and a list of any length is filled in time proportional to its length.
template <class Record>
class TManualList {
 public:
  static constexpr std::int32_t kGrowth = 1000;

  explicit TManualList(std::int32_t initial_capacity)
      : capacity_(initial_capacity > 0 ? initial_capacity : 0) {}
  virtual ~TManualList() = default;
  TManualList(const TManualList&) = delete;
  TManualList& operator=(const TManualList&) = delete;

  // Appends a copy of `record`. False only when memory is short (nothing changes then).
  bool AddRecord(const Record& record) {
    std::lock_guard<std::mutex> guard(lock_);
    const auto position = static_cast<std::int32_t>(items_.size());
    try {
      items_.push_back(record);
      try {
        first_.emplace(Key(record), position);  // keeps an earlier record of the same key
      } catch (const std::bad_alloc&) {
        items_.pop_back();
        throw;
      }
    } catch (const std::bad_alloc&) {
      return false;
    }
    if (position >= capacity_) capacity_ += kGrowth;
    return true;
  }

  // Removes every record; the capacity stays.
  void Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    items_.clear();
    first_.clear();
  }

  std::int32_t Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<std::int32_t>(items_.size());
  }
  std::int32_t Capacity() const {
    std::lock_guard<std::mutex> guard(lock_);
    return capacity_;
  }
  // A copy of the record at `index` (0 .. Count()-1, in the order added).
  Record Item(std::int32_t index) const {
    std::lock_guard<std::mutex> guard(lock_);
    return items_.at(static_cast<std::size_t>(index));
  }

 protected:
  // The name of the first record with `key`, or "???".
  std::string FindNameByKey(std::uint64_t key) const {
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = first_.find(key);
    return found == first_.end() ? std::string(kUnknownLevelName)
                                 : items_[static_cast<std::size_t>(found->second)].Name;
  }

  static std::uint64_t MakeKey(std::uint16_t a1, std::uint16_t a2 = 0, std::uint16_t a3 = 0) {
    return (std::uint64_t{a1} << 32) | (std::uint64_t{a2} << 16) | a3;
  }

 private:
  static std::uint64_t Key(const SConfigA1& r) { return MakeKey(r.A1); }
  static std::uint64_t Key(const SConfigA2& r) { return MakeKey(r.A1, r.A2); }
  static std::uint64_t Key(const SConfigA3& r) { return MakeKey(r.A1, r.A2, r.A3); }

  mutable std::mutex lock_;                                // guards everything below
  std::int32_t capacity_;                                  // slots planned; grows by kGrowth
  std::deque<Record> items_;                               // in the order added
  std::unordered_map<std::uint64_t, std::int32_t> first_;  // key -> first position
};

// Level-1 records (command 7), by A1. Initial capacity 100.
class TA1List : public TManualList<SConfigA1> {
 public:
  TA1List() : TManualList(100) {}
  std::string FindName(std::uint16_t a1) const { return FindNameByKey(MakeKey(a1)); }
};

// Level-2 records (command 8), by A1, A2. Initial capacity 1000.
class TA2List : public TManualList<SConfigA2> {
 public:
  TA2List() : TManualList(1000) {}
  std::string FindName(std::uint16_t a1, std::uint16_t a2) const {
    return FindNameByKey(MakeKey(a1, a2));
  }
};

// Level-3 records (command 9), by A1, A2, A3. Initial capacity 1000.
class TA3List : public TManualList<SConfigA3> {
 public:
  TA3List() : TManualList(1000) {}
  std::string FindName(std::uint16_t a1, std::uint16_t a2, std::uint16_t a3) const {
    return FindNameByKey(MakeKey(a1, a2, a3));
  }
};

// The three lists together, as the process keeps them.
struct TType1Lists {
  TA1List A1;
  TA2List A2;
  TA3List A3;
};

}  // namespace corvid
