// The log viewer's line rules: the three line formats (splitting a line into time and text and
// finding its level), the format chosen from a file name, the row colours and the filters.
//
// Lines arrive as the file's windows-1251 bytes; the time and text handed to the table are
// UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvid {

enum LogFormat : std::int32_t {
  kLogFormatOwn = 1,      // this program's protokol.log
  kLogFormatQuorlib = 2,  // the polling library's log
  kLogFormatSyslog = 3,   // syslog-style files
};

enum LineLevel : std::int32_t {
  kLevelInformation = 0,
  kLevelWarning = 1,
  kLevelError = 2,
  kLevelDebug = 3,
  kLevelOther = 4,
};

struct LogLine {
  std::string time;  // empty when the line has no time part
  std::string text;  // tabs replaced by blanks
  LineLevel level = kLevelOther;
};

// Splits one line (its windows-1251 bytes, without line end) by the format; an unknown format
// gives level other and the whole line as text.
LogLine SplitLogLine(std::int32_t format, std::string_view line);

// The format of a file from its name (the part after the last '/' or '\'): "quorlib.log" -> 2;
// "syslog", "messages", "kern", "auth", "debug", "mail", "user", "daemon" -> 3; else (and for an
// empty path) 1. Case-sensitive.
std::int32_t DetectLogFormat(const std::string& path);

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
// The row background of a level; nullopt for the system's window background colour.
std::optional<Rgb> LevelColor(std::int32_t level);

// Items of the type filter; item i > 0 shows only level i - 1.
inline constexpr std::array<const char*, 5> kTypeFilterItems = {
    "Все", "Информация", "Предупреждения", "Ошибки", "Отладка"};
// Background of item i of the type filter's list.
std::optional<Rgb> TypeFilterItemColor(std::int32_t item);

// The text filter: a case-sensitive substring of the raw line, compared in windows-1251.
class LineFilter {
 public:
  void SetText(const std::string& utf8);  // empty: every line passes
  void SetTypeIndex(std::int32_t index) { type_index_ = index; }
  std::int32_t TypeIndex() const { return type_index_; }
  bool PassesText(std::string_view raw_cp1251) const;
  bool PassesType(LineLevel level) const;

 private:
  std::string text_cp1251_;
  std::int32_t type_index_ = 0;
};

}  // namespace corvid
