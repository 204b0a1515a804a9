// Line formats, levels, colours and filters of the log viewer.
#include "ui/model/logline.h"

#include <algorithm>

#include "util/text.h"

namespace corvid {
namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view s, std::string_view part) {
  return s.find(part) != std::string_view::npos;
}

std::string_view TrimLeftControl(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) < 33) s.remove_prefix(1);
  return s;
}

// Level by a prefix that is removed from `text`.
struct Prefix {
  std::string_view text;
  LineLevel level;
};
template <std::size_t N>
LineLevel TakePrefix(std::string_view& text, const Prefix (&prefixes)[N]) {
  for (const Prefix& p : prefixes) {
    if (StartsWith(text, p.text)) {
      text.remove_prefix(p.text.size());
      return p.level;
    }
  }
  return kLevelOther;
}

void SplitOwn(std::string_view line, std::string_view& time, std::string_view& text,
              LineLevel& level) {
  const std::size_t tab = line.find('\t');
  const std::size_t blanks = line.find("  ");
  const std::size_t split = std::min(tab, blanks);
  if (split != std::string_view::npos) {
    time = line.substr(0, split);
    line.remove_prefix(split + 1);  // the rest of a pair of blanks goes with the trimming
  }
  line = TrimLeftControl(line);
  static constexpr Prefix kPrefixes[] = {{"INFO\t", kLevelInformation},
                                         {"WARNING\t", kLevelWarning},
                                         {"ERROR\t", kLevelError},
                                         {"DEBUG\t", kLevelDebug}};
  level = TakePrefix(line, kPrefixes);
  text = line;
}

void SplitQuorlib(std::string_view line, std::string_view& time, std::string_view& text,
                  LineLevel& level) {
  if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
    line.remove_prefix(colon + 1);
  }
  if (const std::size_t gt = line.find('>'); gt != std::string_view::npos) {
    time = line.substr(0, gt);
    line.remove_prefix(gt + 1);
  }
  static constexpr Prefix kPrefixes[] = {{"Info: ", kLevelInformation},
                                         {"Warning: ", kLevelWarning},
                                         {"Error: ", kLevelError},
                                         {"Debug: ", kLevelDebug}};
  level = TakePrefix(line, kPrefixes);
  text = line;
}

void SplitSyslog(std::string_view line, std::string_view& time, std::string_view& text,
                 LineLevel& level) {
  int colons = 0;
  for (std::size_t i = 0; i < line.size() && colons < 3; ++i) {
    if (line[i] == ':') {
      ++colons;
    } else if (line[i] == ' ' && colons == 2) {
      time = line.substr(0, i);
      line.remove_prefix(i + 1);
      break;
    }
  }
  if (Contains(line, ".notice") || Contains(line, ".info")) {
    level = kLevelInformation;
  } else if (Contains(line, ".warning")) {
    level = kLevelWarning;
  } else if (Contains(line, ".emerg") || Contains(line, ".alert") || Contains(line, ".crit") ||
             Contains(line, ".error")) {
    level = kLevelError;
  } else if (Contains(line, ".debug")) {
    level = kLevelDebug;
  } else {
    level = kLevelOther;
  }
  text = line;
}

}  // namespace

LogLine SplitLogLine(std::int32_t format, std::string_view line) {
  std::string_view time;
  std::string_view text = line;
  LineLevel level = kLevelOther;
  switch (format) {
    case kLogFormatOwn:
      SplitOwn(line, time, text, level);
      break;
    case kLogFormatQuorlib:
      SplitQuorlib(line, time, text, level);
      break;
    case kLogFormatSyslog:
      SplitSyslog(line, time, text, level);
      break;
    default:
      break;
  }
  LogLine result;
  result.time = Cp1251ToUtf8(time);
  std::string raw(text);
  std::replace(raw.begin(), raw.end(), '\t', ' ');
  result.text = Cp1251ToUtf8(raw);
  result.level = level;
  return result;
}

std::int32_t DetectLogFormat(const std::string& path) {
  if (path.empty()) return kLogFormatOwn;
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string::npos
                                    ? std::string_view(path)
                                    : std::string_view(path).substr(slash + 1);
  if (Contains(name, "quorlib.log")) return kLogFormatQuorlib;
  for (const char* word :
       {"syslog", "messages", "kern", "auth", "debug", "mail", "user", "daemon"}) {
    if (Contains(name, word)) return kLogFormatSyslog;
  }
  return kLogFormatOwn;
}

std::optional<Rgb> LevelColor(std::int32_t level) {
  switch (level) {
    case kLevelWarning:
      return Rgb{255, 255, 130};
    case kLevelError:
      return Rgb{255, 130, 130};
    case kLevelDebug:
      return Rgb{220, 220, 220};
    default:
      return std::nullopt;
  }
}

std::optional<Rgb> TypeFilterItemColor(std::int32_t item) {
  return LevelColor(item > 0 ? item - 1 : kLevelInformation);
}

void LineFilter::SetText(const std::string& utf8) {
  text_cp1251_ = Utf8ToCp1251(utf8);
}

bool LineFilter::PassesText(std::string_view raw_cp1251) const {
  return text_cp1251_.empty() || Contains(raw_cp1251, text_cp1251_);
}

bool LineFilter::PassesType(LineLevel level) const {
  return type_index_ <= 0 || type_index_ == level + 1;
}

}  // namespace corvid
