// TDateTime arithmetic: encoding and decoding of dates and times, FILETIME conversions, the
// current time from the program's clock, and the two picture formatters.
//
// Negative values (before 1899-12-30) follow the usual convention of this date-time type: the
// integer part (truncated toward zero) is the day and the absolute value of the fraction is the
// time of day, so -1.25 is 1899-12-29 06:00. Values outside 0001-01-01 .. 9999-12-31, NaN and
// infinities decode to all-zero parts and convert to FILETIME 0; nothing here crashes on them.
#include "util/datetime.h"

#include <cmath>
#include <cstdio>

#include "platform/locale.h"
#include "util/error.h"
#include "util/text.h"

namespace corvid {
namespace {

constexpr std::int64_t kMsPerDayInt = 86400000;
// Days from 0001-01-01 to 1899-12-30, and the limits of the supported range as day numbers.
constexpr std::int64_t kMinDay = -693593;  // 0001-01-01
constexpr std::int64_t kMaxDay = 2958465;  // 9999-12-31
// Days from 1601-01-01 (FILETIME epoch) to 1899-12-30, and from 1899-12-30 to 1970-01-01.
constexpr std::int64_t kFileTimeEpochDays = 109205;
constexpr std::int64_t kUnixEpochDays = 25569;
constexpr std::uint64_t kFileTimePerMs = 10000;

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// Splits a TDateTime into its day number (days since 1899-12-30) and the milliseconds of the day,
// rounded to the nearest millisecond. False for values outside the supported range.
bool SplitDateTime(TDateTime value, std::int64_t& day, std::int64_t& ms) {
  if (!std::isfinite(value) || value < static_cast<double>(kMinDay - 1) ||
      value > static_cast<double>(kMaxDay + 1)) {
    return false;
  }
  const double whole = std::trunc(value);
  day = static_cast<std::int64_t>(whole);
  ms = std::llround(std::fabs(value - whole) * kMsPerDay);
  if (ms >= kMsPerDayInt) {  // rounded up to midnight: the next calendar day
    ++day;
    ms -= kMsPerDayInt;
  }
  return day >= kMinDay && day <= kMaxDay;
}

// The TDateTime of a day number and the milliseconds of that day.
TDateTime JoinDateTime(std::int64_t day, std::int64_t ms) {
  const double fraction = static_cast<double>(ms) / kMsPerDay;
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

std::string Number(int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

// The length of the run of `c` (compared without case) starting at `i`.
std::size_t RunLength(const std::string& s, std::size_t i, char c, bool ignore_case) {
  std::size_t n = 0;
  while (i + n < s.size() && (s[i + n] == c || (ignore_case && (s[i + n] | 0x20) == (c | 0x20)))) {
    ++n;
  }
  return n;
}

// Appends a quoted literal starting at the quote at `i`; returns the index after the closing
// quote. Two single quotes in a row within single quotes stand for one when `doubled` is set.
std::size_t AppendQuoted(const std::string& picture, std::size_t i, bool doubled,
                         std::string& out) {
  const char quote = picture[i++];
  while (i < picture.size()) {
    if (picture[i] == quote) {
      if (doubled && i + 1 < picture.size() && picture[i + 1] == quote) {
        out += quote;
        i += 2;
        continue;
      }
      return i + 1;
    }
    out += picture[i++];
  }
  return i;
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return false;
  }
  result = static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDays);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    return false;
  }
  const std::int64_t ms =
      ((static_cast<std::int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
  result = static_cast<double>(ms) / kMsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime result = 0;
  if (!TryEncodeDate(year, month, day, result)) {
    throw ConvertError("EncodeDate(): недопустимая дата: " + Number(year, 4) + "-" +
                       Number(month, 2) + "-" + Number(day, 2));
  }
  return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  TDateTime result = 0;
  if (!TryEncodeTime(hour, minute, second, millisecond, result)) {
    throw ConvertError("EncodeTime(): недопустимое время: " + Number(hour, 2) + ":" +
                       Number(minute, 2) + ":" + Number(second, 2) + "." + Number(millisecond, 3));
  }
  return result;
}

DateTimeParts DecodeDateTime(TDateTime value) {
  DateTimeParts parts;
  std::int64_t day = 0;
  std::int64_t ms = 0;
  if (!SplitDateTime(value, day, ms)) return parts;
  const std::int64_t unix_day = day - kUnixEpochDays;
  CivilFromDays(unix_day, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(ms / 3600000);
  parts.minute = static_cast<int>(ms / 60000 % 60);
  parts.second = static_cast<int>(ms / 1000 % 60);
  parts.millisecond = static_cast<int>(ms % 1000);
  parts.day_of_week = static_cast<int>(((unix_day % 7) + 7 + 4) % 7) + 1;  // 1970-01-01: Thursday
  return parts;
}

TDateTime FileTimeToDateTime(platform::FileTime ft) {
  const auto total_ms = static_cast<std::int64_t>(ft / kFileTimePerMs);
  return JoinDateTime(total_ms / kMsPerDayInt - kFileTimeEpochDays, total_ms % kMsPerDayInt);
}

platform::FileTime DateTimeToFileTime(TDateTime value) {
  std::int64_t day = 0;
  std::int64_t ms = 0;
  if (!SplitDateTime(value, day, ms) || day < -kFileTimeEpochDays) return 0;
  const auto total_ms = static_cast<std::uint64_t>((day + kFileTimeEpochDays) * kMsPerDayInt + ms);
  return total_ms * kFileTimePerMs;
}

TDateTime NowLocal() {
  return FileTimeToDateTime(platform::UtcToLocal(platform::CurrentClock().UtcNow()));
}

TDateTime NowUtc() {
  return FileTimeToDateTime(platform::CurrentClock().UtcNow());
}

std::string FormatDateTime(const std::string& picture, TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  std::string out;
  char last = 0;  // the last letter seen outside quotes, upper case: "m" after "h" is minutes
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (c == '\'' || c == '"') {
      i = AppendQuoted(picture, i, false, out);
      continue;
    }
    const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
    const std::size_t run = RunLength(picture, i, c, true);
    std::size_t used = 1;
    switch (upper) {
      case 'Y':
        used = run;
        out += run <= 2 ? Number(p.year % 100, 2) : Number(p.year, 4);
        break;
      case 'M':
        used = run >= 2 ? 2 : 1;
        out += Number(last == 'H' ? p.minute : p.month, static_cast<int>(used));
        break;
      case 'D':
        used = run >= 2 ? 2 : 1;
        out += Number(p.day, static_cast<int>(used));
        break;
      case 'H':
        used = run >= 2 ? 2 : 1;
        out += Number(p.hour, static_cast<int>(used));
        break;
      case 'N':
        used = run >= 2 ? 2 : 1;
        out += Number(p.minute, static_cast<int>(used));
        break;
      case 'S':
        used = run >= 2 ? 2 : 1;
        out += Number(p.second, static_cast<int>(used));
        break;
      case 'Z':
        used = run >= 3 ? 3 : run;
        out += Number(p.millisecond, run >= 3 ? 3 : 1);
        break;
      default:
        out += c;
        break;
    }
    if (upper >= 'A' && upper <= 'Z') last = upper;
    i += used;
  }
  return out;
}

std::string FormatLocalePicture(const std::string& picture, TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  const bool morning = p.hour < 12;
  const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
  std::string out;
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (c == '\'') {
      i = AppendQuoted(picture, i, true, out);
      continue;
    }
    const std::size_t run = RunLength(picture, i, c, false);
    const int width = run >= 2 ? 2 : 1;
    switch (c) {
      case 'd':  // day names (ddd, dddd) are not supported: they show the number
        out += Number(p.day, width);
        break;
      case 'M':  // month names (MMM, MMMM) likewise
        out += Number(p.month, width);
        break;
      case 'y':
        if (run >= 3) {
          out += Number(p.year, 4);
        } else {
          out += Number(p.year % 100, run == 2 ? 2 : 1);
        }
        break;
      case 'H':
        out += Number(p.hour, width);
        break;
      case 'h':
        out += Number(hour12, width);
        break;
      case 'm':
        out += Number(p.minute, width);
        break;
      case 's':
        out += Number(p.second, width);
        break;
      case 't': {
        const platform::DisplayFormats formats = platform::UserDisplayFormats();
        const std::string& designator = morning ? formats.am : formats.pm;
        out += run >= 2 ? designator : CutToCp1251Chars(designator, 1);
        break;
      }
      default:
        out.append(run, c);
        break;
    }
    i += run;
  }
  return out;
}

std::string ShortDateText(TDateTime value) {
  return FormatLocalePicture(platform::UserDisplayFormats().short_date, value);
}

std::string LongTimeText(TDateTime value) {
  return FormatLocalePicture(platform::UserDisplayFormats().long_time, value);
}

std::string DateTimeText(TDateTime value) {
  const platform::DisplayFormats formats = platform::UserDisplayFormats();
  return FormatLocalePicture(formats.short_date, value) + " " +
         FormatLocalePicture(formats.long_time, value);
}

}  // namespace corvid
