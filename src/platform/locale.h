// The user's display formats and time zone. Windows takes them from the user locale and the
// system time zone; Linux uses a Russian default and the TZ rules of the C library. Tests pin
// the formats with SetDisplayFormats.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace corvid::platform {

// Pictures in the Windows locale notation: d dd M MM yy yyyy for dates, H HH h hh m mm s ss t tt
// for times; anything in single quotes and other characters are literal.
struct DisplayFormats {
  char decimal_separator = ',';
  std::string short_date = "dd.MM.yyyy";
  std::string long_time = "H:mm:ss";
  std::string am = "";
  std::string pm = "";
};

// The formats in force: the ones set by SetDisplayFormats, else the user's.
DisplayFormats UserDisplayFormats();
// Pins the formats for the whole process (tests); reset by ResetDisplayFormats.
void SetDisplayFormats(const DisplayFormats& formats);
void ResetDisplayFormats();

// Converts between UTC and local time by the time zone rules in force on that date.
FileTime UtcToLocal(FileTime utc);
FileTime LocalToUtc(FileTime local);

// The current bias in minutes, UTC = local time + bias (Moscow: -180).
std::int32_t CurrentTimeZoneBias();

// The system's message text for an error code (UTF-8), empty when it has none.
std::string SystemErrorMessage(std::uint32_t code);

}  // namespace corvid::platform
