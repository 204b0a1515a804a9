// The time encodings of protocol-2 commands: which one a command uses (bits 1-2 of its flags
// byte), and the exact conversion between the wire's FILETIME count and TDateTime. Times on the
// wire are wall-clock values: no time-zone conversion happens here.
#pragma once

#include <cstdint>

#include "util/datetime.h"

namespace corvid {

enum class TimeEncoding : std::uint8_t {
  kNone = 0,      // no time in the command
  kFileTime = 1,  // i64: 100-ns intervals since 1601-01-01 00:00
  kDateTime = 2,  // TDateTime double
  kIsoText = 3,   // text yyyymmddThhnnss.zzz0
};

// (flags >> 1) & 3.
constexpr TimeEncoding TimeEncodingOf(std::uint8_t flags) {
  return static_cast<TimeEncoding>((flags >> 1) & 3);
}
// The flags bits 1-2 that select `encoding`.
constexpr std::uint8_t TimeEncodingFlags(TimeEncoding encoding) {
  return static_cast<std::uint8_t>(static_cast<std::uint8_t>(encoding) << 1);
}

// FILETIME count of 1899-12-30 00:00 and of one day.
inline constexpr std::int64_t kFileTimeOf1899 = 94353120000000000;
inline constexpr std::int64_t kFileTimePerDay = 864000000000;

// (v - 94353120000000000) / 864000000000, computed without overflow for every i64.
TDateTime WireFileTimeToDateTime(std::int64_t v);
// The integer part, truncated toward zero, of d * 864000000000 + 94353120000000000. A value
// that is not finite or whose count does not fit an i64 gives 0.
std::int64_t DateTimeToWireFileTime(TDateTime d);

}  // namespace corvid
