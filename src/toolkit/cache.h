// The engine's value cache: one loTagState per tag id, and beside each a change sequence number
// that the subscriptions compare with the one they last saw. Guarded by one recursive lock, which
// the driver holds between loCacheLock and loCacheUnlock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "toolkit/toolkit.h"

namespace corvid::toolkit {

class ValueCache {
 public:
  explicit ValueCache(unsigned capacity);

  std::recursive_mutex& Mutex() { return mutex_; }

  // Makes room for tag ids up to `id` and sets the entry's first value (quality bad: waiting for
  // initial data, time `now`).
  void AddEntry(loTagId id, const Variant& value, platform::FileTime now);

  // loCacheUpdate: all records or none. Non-zero on success.
  int Update(unsigned count, const loTagValue* values, platform::FileTime now);

  // loCacheLock / loCacheUnlock. Unlock takes the marked entries at the outermost level.
  loTagState* Lock();
  // False (and nothing done) when the calling thread does not hold the lock.
  bool Unlock();

  // Lock held:
  bool Has(loTagId id) const { return id != 0 && id < entries_.size(); }
  const loTagState& Entry(loTagId id) const { return entries_[id]; }
  std::uint64_t Sequence(loTagId id) const { return sequence_[id]; }
  std::size_t Size() const { return entries_.size(); }

 private:
  std::recursive_mutex mutex_;
  int depth_ = 0;                         // loCacheLock nesting; guarded by mutex_
  std::atomic<std::thread::id> owner_{};  // the thread inside loCacheLock
  std::vector<loTagState> entries_;       // guarded by mutex_; [0] unused
  std::vector<std::uint64_t> sequence_;   // guarded by mutex_
  std::uint64_t next_sequence_ = 1;       // guarded by mutex_
};

}  // namespace corvid::toolkit
