// LocalToUtcCache: local FILETIME counts to UTC by this computer's time zone, with the zone's
// shift looked up once per quarter hour of local time (zone offsets and their daylight-saving
// changes fall on quarter hours). The system's conversion reads the zone's rules on every call
// and would cost more than the rest of a value change. Not thread-safe: one per writer thread.
#pragma once

#include <cstdint>

#include "platform/locale.h"

namespace corvid {

class LocalToUtcCache {
 public:
  platform::FileTime operator()(platform::FileTime local) {
    constexpr std::uint64_t kQuarterHour = 15ull * 60ull * 10000000ull;  // FILETIME counts
    const std::uint64_t slot = local / kQuarterHour;
    if (slot != slot_) {
      const platform::FileTime start = slot * kQuarterHour;
      shift_ =
          static_cast<std::int64_t>(platform::LocalToUtc(start)) - static_cast<std::int64_t>(start);
      slot_ = slot;
    }
    return static_cast<platform::FileTime>(static_cast<std::int64_t>(local) + shift_);
  }

 private:
  std::uint64_t slot_ = ~std::uint64_t{0};
  std::int64_t shift_ = 0;  // UTC minus local within slot_
};

}  // namespace corvid
