// Russian texts of counts, durations, sizes and UTC offsets; the ISO 8601 date-time text of the
// Corvid protocol; the system's error texts.
#include "util/utils.h"

#include <cmath>
#include <initializer_list>
#include <limits>
#include <string_view>

#include "platform/locale.h"
#include "util/error.h"

namespace corvid {
namespace {

std::string Str(long long n) {
  return std::to_string(n);
}
std::string Str(unsigned long long n) {
  return std::to_string(n);
}

// The parts joined by single blanks.
std::string Words(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) {
    if (!text.empty()) text += ' ';
    text += part;
  }
  return text;
}

std::string TwoDigits(unsigned long long n) {
  std::string text = std::to_string(n);
  if (text.size() < 2) text.insert(text.begin(), '0');
  return text;
}

// Truncates toward zero into the range of long long (NaN gives 0).
long long TruncToInt64(double x) {
  constexpr double kLimit = 9.2e18;
  if (std::isnan(x)) return 0;
  if (x >= kLimit) return std::numeric_limits<long long>::max();
  if (x <= -kLimit) return std::numeric_limits<long long>::min();
  return static_cast<long long>(x);
}

const char* Seconds(unsigned long long n) {
  return RussianPlural(n, "секунда", "секунды", "секунд");
}
const char* Minutes(unsigned long long n) {
  return RussianPlural(n, "минута", "минуты", "минут");
}
const char* Hours(unsigned long long n) {
  return RussianPlural(n, "час", "часа", "часов");
}
const char* Days(unsigned long long n) {
  return RussianPlural(n, "день", "дня", "дней");
}

[[noreturn]] void BadIsoText(const std::string& text) {
  throw ConvertError("DateTimeFromISO8601(): неверная дата время: " + text);
}

// The decimal number at 1-based positions first..first+count-1; only ASCII digits are accepted.
int IsoNumber(const std::string& text, std::size_t first, std::size_t count) {
  int value = 0;
  for (std::size_t i = first - 1; i < first - 1 + count; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') BadIsoText(text);
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

const char* RussianPlural(std::uint64_t n, const char* one, const char* few, const char* many) {
  if ((n % 100) / 10 == 1) return many;
  switch (n % 10) {
    case 1:
      return one;
    case 2:
    case 3:
    case 4:
      return few;
    default:
      return many;
  }
}

std::string DurationText(double days) {
  if (days == 0 || std::isnan(days)) return "0";
  // Seconds, taken to the nearest microsecond so that the binary error of a day fraction does
  // not cost a whole second (65 s must not show as 64).
  const double s = std::round(days * 86400.0 * 1e6) / 1e6;
  if (s < 1) return Words({Str(TruncToInt64(s * 1000)), "мс"});
  const auto total = static_cast<unsigned long long>(TruncToInt64(s));
  if (total < 60) return Words({Str(total), Seconds(total)});
  const unsigned long long minutes = total / 60;
  const unsigned long long sec = total % 60;
  if (minutes < 60) return Words({Str(minutes), Minutes(minutes), Str(sec), Seconds(sec)});
  const unsigned long long hours = minutes / 60;
  const unsigned long long min = minutes % 60;
  if (hours < 24) return Words({Str(hours), Hours(hours), Str(min), Minutes(min)});
  const unsigned long long d = hours / 24;
  const unsigned long long rest = hours % 24;
  // Minutes and seconds are not shown once the duration reaches a day.
  if (rest == 0) return Words({Str(d), Days(d)});
  return Words({Str(d), Days(d), Str(rest), Hours(rest)});
}

std::string SizeText(std::uint32_t bytes) {
  const unsigned long long n = bytes;
  if (n >= 1048576) return Words({Str(n / 1048576) + "." + Str(n % 1048576 * 10 / 1048576), "Мб"});
  if (n >= 2048) return Words({Str(n / 1024) + "." + Str(n % 1024 * 10 / 1024), "Кб"});
  return Words({Str(n), "б"});
}

std::string UtcOffsetText(std::int32_t bias_minutes) {
  if (bias_minutes == 0) return "UTC";
  const long long b = bias_minutes;
  const unsigned long long magnitude = static_cast<unsigned long long>(b < 0 ? -b : b);
  return std::string(b > 0 ? "UTC-" : "UTC+") + TwoDigits(magnitude / 60) + ":" +
         TwoDigits(magnitude % 60);
}

std::string IsoDateTimeText(TDateTime value) {
  return FormatDateTime("yyyymmdd'T'hhnnss.zzz", value) + "0";
}

TDateTime DateTimeFromISO8601(const std::string& text) {
  const std::size_t len = text.size();
  if (len < 4) throw Exception("DateTimeFromISO8601(): неверная дата время: " + text);
  const int year = IsoNumber(text, 1, 4);
  const int month = len >= 6 ? IsoNumber(text, 5, 2) : 0;
  const int day = len >= 8 ? IsoNumber(text, 7, 2) : 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int ms = 0;
  if (len >= 11 && text[8] == 'T') {
    hour = IsoNumber(text, 10, 2);
    if (len >= 13) minute = IsoNumber(text, 12, 2);
    if (len >= 15) second = IsoNumber(text, 14, 2);
    if (len >= 20 && text[15] == '.') ms = IsoNumber(text, 17, 3);
  }
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, ms, time)) {
    BadIsoText(text);
  }
  return date >= 0 ? date + time : date - time;  // a day before 1899-12-30 subtracts its time
}

std::string SystemErrorText(std::uint32_t code) {
  return platform::SystemErrorMessage(code);
}

}  // namespace corvid
