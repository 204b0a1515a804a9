#include "toolkit/cache.h"

#include <algorithm>

#include "toolkit/opcdefs.h"

namespace corvid::toolkit {

ValueCache::ValueCache(unsigned capacity) {
  // Room for the usual item counts at once, so that entries rarely move.
  const std::size_t reserve =
      std::min<std::size_t>(static_cast<std::size_t>(capacity) + 1, 1u << 17);
  entries_.reserve(reserve);
  sequence_.reserve(reserve);
  entries_.emplace_back();
  sequence_.push_back(0);
}

void ValueCache::AddEntry(loTagId id, const Variant& value, platform::FileTime now) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (id >= entries_.size()) {
    entries_.resize(static_cast<std::size_t>(id) + 1);
    sequence_.resize(static_cast<std::size_t>(id) + 1, 0);
  }
  loTagState& entry = entries_[id];
  entry.Value = value;
  entry.TimeStamp = now;
  entry.Error = 0;
  entry.Quality = kQualityWaitingForInitialData;
  entry.Changed = 0;
  sequence_[id] = next_sequence_++;
}

int ValueCache::Update(unsigned count, const loTagValue* values, platform::FileTime now) {
  if (values == nullptr && count != 0) return 0;
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  for (unsigned i = 0; i < count; ++i) {
    if (!Has(values[i].TagId)) return 0;
  }
  for (unsigned i = 0; i < count; ++i) {
    const loTagValue& in = values[i];
    loTagState& entry = entries_[in.TagId];
    if (entry.Quality != in.Quality || entry.Error != in.Error || !(entry.Value == in.Value)) {
      sequence_[in.TagId] = next_sequence_++;
    }
    entry.Value = in.Value;
    entry.TimeStamp = in.TimeStamp != 0 ? in.TimeStamp : now;
    entry.Error = in.Error;
    entry.Quality = in.Quality;
    entry.Changed = 1;
  }
  return count == 0 ? 1 : static_cast<int>(count);
}

loTagState* ValueCache::Lock() {
  mutex_.lock();
  if (depth_++ == 0) owner_.store(std::this_thread::get_id());
  return entries_.data();
}

bool ValueCache::Unlock() {
  if (owner_.load() != std::this_thread::get_id()) return false;
  if (--depth_ == 0) {
    owner_.store(std::thread::id());
    // The driver marked what it changed: subscribers look at those entries again.
    for (std::size_t id = 1; id < entries_.size(); ++id) {
      if (entries_[id].Changed != 0) {
        entries_[id].Changed = 0;
        sequence_[id] = next_sequence_++;
      }
    }
  }
  mutex_.unlock();
  return true;
}

}  // namespace corvid::toolkit
