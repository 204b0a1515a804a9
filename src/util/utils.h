// Russian texts of numbers and times, and the date-time text of the Corvid protocol.
#pragma once

#include <cstdint>
#include <string>

#include "util/datetime.h"

namespace corvid {

// The form for n: 1, 21, 101 take `one`; 2-4, 22-24 `few`; 0, 5-20, 25-30 `many`.
const char* RussianPlural(std::uint64_t n, const char* one, const char* few, const char* many);

// "250 мс", "1 минута 5 секунд", "2 дня 5 часов" ...
std::string DurationText(double days);

// "1500 б", "2.0 Кб", "3.5 Мб".
std::string SizeText(std::uint32_t bytes);

// "UTC", "UTC+03:00", "UTC-05:00" for a bias in minutes (UTC = local time + bias).
std::string UtcOffsetText(std::int32_t bias_minutes);

// The 20-character protocol text yyyymmddThhnnss.zzz0.
std::string IsoDateTimeText(TDateTime value);
// Reads it back; raises Exception for fewer than 4 characters and ConvertError for bad digits or
// a date or time out of range.
TDateTime DateTimeFromISO8601(const std::string& text);

// The system's text of an error code, empty when it has none.
std::string SystemErrorText(std::uint32_t code);

}  // namespace corvid
