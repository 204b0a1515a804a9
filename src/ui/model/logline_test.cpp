// Log viewer lines: splitting and levels of the three formats, format detection, colours,
// filters.
#include "ui/model/logline.h"

#include <gtest/gtest.h>

#include "util/text.h"

namespace corvid {
namespace {

struct SplitCase {
  std::int32_t format;
  const char* line;  // UTF-8 here, windows-1251 when split
  const char* time;
  const char* text;
  LineLevel level;
};

TEST(LogLine, SplitsAndLevelsOfEveryFormat) {
  const SplitCase cases[] = {
      // The program's own log.
      {1, "21.09.2015 10:11:12  WARNING\tЗавершение работы оператором", "21.09.2015 10:11:12",
       "Завершение работы оператором", kLevelWarning},
      {1, "21.09.2015 10:11:12  INFO\ta\tb", "21.09.2015 10:11:12", "a b", kLevelInformation},
      {1, "21.09.2015 10:11:12  ERROR\tx", "21.09.2015 10:11:12", "x", kLevelError},
      {1, "21.09.2015 10:11:12  DEBUG\tx", "21.09.2015 10:11:12", "x", kLevelDebug},
      {1, "21.09.2015 10:11:12  info\tx", "21.09.2015 10:11:12", "info x", kLevelOther},
      {1, "no separators at all", "", "no separators at all", kLevelOther},
      {1, "t\tERROR\tтаб раньше  пары", "t", "таб раньше  пары", kLevelError},
      {1, "  \x01WARNING\tlead", "", "lead", kLevelWarning},
      // The polling library's log.
      {2, "quorlib:12:00:01>Info: started", "12:00:01", "started", kLevelInformation},
      {2, "q: 12.03 10:00:01>Warning: slow", " 12.03 10:00:01", "slow", kLevelWarning},
      {2, "q>Error: failed", "", " failed", kLevelOther},  // the first colon wins
      {2, "1: 10.00>Debug: x", " 10.00", "x", kLevelDebug},
      {2, "1: 10.00>Info: x", " 10.00", "x", kLevelInformation},
      {2, "plain", "", "plain", kLevelOther},
      // Syslog-style.
      {3, "Sep 21 10:11:12 host kern.warning: disk", "Sep 21 10:11:12", "host kern.warning: disk",
       kLevelWarning},
      {3, "Sep 21 10:11:12 host daemon.info x", "Sep 21 10:11:12", "host daemon.info x",
       kLevelInformation},
      {3, "10:11:12:13 a.crit", "", "10:11:12:13 a.crit", kLevelError},
      {3, "Sep 21 10:11:12 h user.notice .error", "Sep 21 10:11:12", "h user.notice .error",
       kLevelInformation},
      {3, "a:b:c x.debug", "a:b:c", "x.debug", kLevelDebug},
      {3, "no colons", "", "no colons", kLevelOther},
      // Unknown formats keep the whole line.
      {7, "21.09.2015 10:11:12  INFO\tx", "", "21.09.2015 10:11:12  INFO x", kLevelOther},
  };
  for (const SplitCase& c : cases) {
    const LogLine line = SplitLogLine(c.format, Utf8ToCp1251(c.line));
    EXPECT_EQ(line.time, c.time) << c.line;
    EXPECT_EQ(line.text, c.text) << c.line;
    EXPECT_EQ(line.level, c.level) << c.line;
  }
}

TEST(LogLine, FormatFromTheFileName) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"", 1},
      {"C:\\ProgramData\\Corvid OPC DA\\protokol.log", 1},
      {"/var/log/quorlib.log", 2},
      {"D:\\logs\\old.quorlib.log.1", 2},
      {"mydebug.log", 3},
      {"/var/log/messages", 3},
      {"/var/log/auth.log", 3},
      {"C:\\daemon\\x.log", 1},  // only the file name counts
      {"SYSLOG", 1},             // letter case counts
      {"/var/log/user.log", 3},
  };
  for (const auto& [path, format] : cases) EXPECT_EQ(DetectLogFormat(path), format) << path;
}

TEST(LogLine, ColoursOfLevelsAndTypeItems) {
  EXPECT_FALSE(LevelColor(kLevelInformation).has_value());
  EXPECT_EQ(LevelColor(kLevelWarning), (Rgb{255, 255, 130}));
  EXPECT_EQ(LevelColor(kLevelError), (Rgb{255, 130, 130}));
  EXPECT_EQ(LevelColor(kLevelDebug), (Rgb{220, 220, 220}));
  EXPECT_FALSE(LevelColor(kLevelOther).has_value());
  EXPECT_FALSE(TypeFilterItemColor(0).has_value());
  EXPECT_EQ(TypeFilterItemColor(3), LevelColor(kLevelError));
}

TEST(LogLine, TextFilterIsACaseSensitiveSubstringOfTheRawLine) {
  LineFilter f;
  EXPECT_TRUE(f.PassesText("anything"));
  f.SetText("ERROR");
  EXPECT_TRUE(f.PassesText("x  ERROR\ty"));
  EXPECT_TRUE(f.PassesText("xERRORy"));
  EXPECT_FALSE(f.PassesText("x  error\ty"));
  f.SetText("Ошибка");
  EXPECT_TRUE(f.PassesText(Utf8ToCp1251("INFO\tОшибка связи")));
  EXPECT_FALSE(f.PassesText(Utf8ToCp1251("INFO\tошибка связи")));
}

TEST(LogLine, TypeFilterShowsOneLevelOrAll) {
  LineFilter f;
  for (LineLevel l : {kLevelInformation, kLevelWarning, kLevelError, kLevelDebug, kLevelOther}) {
    EXPECT_TRUE(f.PassesType(l));
  }
  f.SetTypeIndex(3);  // "Ошибки"
  EXPECT_TRUE(f.PassesType(kLevelError));
  EXPECT_FALSE(f.PassesType(kLevelWarning));
  EXPECT_FALSE(f.PassesType(kLevelOther));
  EXPECT_STREQ(kTypeFilterItems[3], "Ошибки");
}

}  // namespace
}  // namespace corvid
