// Date-time values: days since 1899-12-30 00:00 as a double (TDateTime), the fraction being the
// time of day; conversions to and from FILETIME; pictures for formatting.
// Before 1899-12-30 the integer part (toward zero) is the day and the fraction's absolute value
// the time: -1.25 is 1899-12-29 06:00. Values outside 0001-01-01 .. 9999-12-31, NaN and
// infinities decode to all-zero parts and convert to FILETIME 0.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace corvid {

using TDateTime = double;

inline constexpr double kMsPerDay = 86400000.0;

// Raise ConvertError for a date or time out of range (month 0 or 13, day 0, hour 24 ...).
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);

struct DateTimeParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  int day_of_week = 0;  // 1 = Sunday ... 7 = Saturday
};
// Rounds to the nearest millisecond.
DateTimeParts DecodeDateTime(TDateTime value);

// FILETIME (100-ns since 1601-01-01) <-> TDateTime, both in the same time scale (UTC or local).
// Whole milliseconds: the part below is dropped; a date before 1601 gives FILETIME 0.
TDateTime FileTimeToDateTime(platform::FileTime ft);
platform::FileTime DateTimeToFileTime(TDateTime value);

// The current local and UTC date-time from the program's clock.
TDateTime NowLocal();
TDateTime NowUtc();

// Formats with the pictures of the system's date-time formatter: yyyy yy mm m dd d hh h nn n ss
// s zzz z, 'literal' and "literal"; mm after h/hh is minutes; other characters literal.
std::string FormatDateTime(const std::string& picture, TDateTime value);

// Formats with a Windows locale picture (platform::DisplayFormats): d dd M MM yy yyyy; H HH h hh
// m mm s ss t tt.
std::string FormatLocalePicture(const std::string& picture, TDateTime value);
// Date, time and date + blank + time in the user's formats.
std::string ShortDateText(TDateTime value);
std::string LongTimeText(TDateTime value);
std::string DateTimeText(TDateTime value);

}  // namespace corvid
