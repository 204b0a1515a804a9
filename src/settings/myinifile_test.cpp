// TMYIniFile: loading, header rule, lookups with the probe, insertion, escaping, flushing.
#include "settings/myinifile.h"

#include <gtest/gtest.h>

#include "platform/temp_folder_for_tests.h"
#include "settings/iniescape.h"
#include "util/text.h"

namespace corvid {
namespace {

using Lines = std::vector<std::string>;

TEST(TMYIniFile, LoadingLeftTrimsAndIgnoresLetterCase) {
  testing::TempFolder dir;
  const auto path = dir.WriteFile("p.ini", "  [ProtoViewForm]\r\nLeft=10\r\n");
  TMYIniFile ini(path, false, false);
  EXPECT_EQ(ini.Lines(), (Lines{"[ProtoViewForm]", "Left=10"}));
  EXPECT_EQ(ini.ReadString("protoviewform", "left", "x"), "10");
  EXPECT_EQ(ini.ReadString("protoviewform", "Top", "x"), "x");
  EXPECT_EQ(ini.ReadString("other", "Left", "x"), "x");
}

TEST(TMYIniFile, LineEndsOfEveryKindGiveTheSameLines) {
  testing::TempFolder dir;
  const Lines expected{"[s]x", "a=1", "b=2"};
  for (const std::string content :
       {"[s]x\na=1\n\n\nb=2\n", "[s]x\ra=1\r\r b=2\r", "[s]x\r\na=1\r\n\r\n\tb=2\r\n"}) {
    TMYIniFile ini(dir.WriteFile("f.ini", content), false, false);
    EXPECT_EQ(ini.Lines(), expected) << content;
  }
  // A NUL ends a line too, and a last line without a line end is kept.
  const std::string with_nul("[s]x\na=1\0b=2", 12);
  TMYIniFile ini(dir.WriteFile("n.ini", with_nul), false, false);
  EXPECT_EQ(ini.Lines(), expected);
}

TEST(TMYIniFile, HeaderNeedsFourCharactersAfterTrimming) {
  EXPECT_TRUE(TMYIniFile::IsSectionLine("[ab]"));
  EXPECT_TRUE(TMYIniFile::IsSectionLine(" \t[ab]"));
  EXPECT_FALSE(TMYIniFile::IsSectionLine("[a]"));
  EXPECT_FALSE(TMYIniFile::IsSectionLine("x[ab]"));

  testing::TempFolder dir;
  TMYIniFile ini(dir.WriteFile("h.ini", "[a]\nk=1\n[ab]\nk=2\n"), false, false);
  EXPECT_FALSE(ini.SectionExists("a"));
  EXPECT_EQ(ini.ReadString("ab", "k", ""), "2");
}

TEST(TMYIniFile, WritesInsertBeforeTheNextSectionOrAppend) {
  testing::TempFolder dir;
  TMYIniFile ini(dir.WriteFile("w.ini", "[one]\na=1\n[two]\nb=2\n"), false, false);
  ini.WriteString("one", "c", "3");
  ini.WriteString("ONE", "A", "9");  // replaces, keeps the new key spelling
  ini.WriteString("two", "d", "4");
  ini.WriteString("три", "e", "5");
  EXPECT_EQ(ini.Lines(), (Lines{"[one]", "A=9", "c=3", "[two]", "b=2", "d=4", "[три]", "e=5"}));
  EXPECT_TRUE(ini.Modified());
  EXPECT_EQ(ini.ReadString("ТРИ", "E", ""), "5");  // Cyrillic letter case folds too
}

TEST(TMYIniFile, ReadStringTrimsOnlyTheLeftAndNeedsAnEqualsSign) {
  testing::TempFolder dir;
  TMYIniFile ini(dir.WriteFile("r.ini", "[sec]\nk=  v  \nbare\nx=a=b\n"), false, false);
  EXPECT_EQ(ini.ReadString("sec", "k", ""), "v  ");
  EXPECT_EQ(ini.ReadString("sec", "bare", "def"), "def");
  EXPECT_EQ(ini.ReadString("sec", "x", ""), "a=b");
  EXPECT_EQ(ini.ReadString("", "k", "def"), "def");
}

TEST(TMYIniFile, SequentialKeysAreFoundAtTheProbe) {
  testing::TempFolder dir;
  TMYIniFile ini(dir.Path("s.ini"), false, true);
  const char* keys[] = {"Left", "Top", "Width", "Height", "LogSG_col1"};
  for (const char* k : keys) ini.WriteString("ProtoViewForm", k, "1");
  ini.WriteString("Other", "x", "1");
  const auto searches = ini.KeySearches();
  for (const char* k : keys) EXPECT_EQ(ini.ReadString("ProtoViewForm", k, ""), "1");
  EXPECT_EQ(ini.KeySearches(), searches);
  // Rewriting in the same order also hits the probe; out of order needs a search.
  EXPECT_EQ(ini.ReadString("Other", "x", ""), "1");
  for (const char* k : keys) ini.WriteString("ProtoViewForm", k, "2");
  EXPECT_EQ(ini.KeySearches(), searches);
  EXPECT_EQ(ini.ReadString("ProtoViewForm", "Top", ""), "2");
  EXPECT_GT(ini.KeySearches(), searches);
}

TEST(IniEscape, RoundTripsEveryValue) {
  struct Case {
    std::string value;
    std::string file;
  };
  const Case cases[] = {
      {"a\r\nb\\c", "a\\b\\\\c"}, {"plain", "plain"},           {"\\", "\\\\"},
      {"end\r\n", "end\\"},       {"a\r\n\r\nb", "a\\ \\b"},    {"a\r\n b", "a\\  b"},
      {"a\r\n\\b", "a\\ \\\\b"},  {"\r\n\r\n\r\n", "\\ \\ \\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeIniValue(c.value), c.file) << c.file;
    EXPECT_EQ(UnescapeIniValue(c.file), c.value) << c.file;
  }
  // Lone line breaks never reach the file: they read back as CR LF.
  EXPECT_EQ(EscapeIniValue("a\nb\rc"), "a\\b\\c");
  EXPECT_EQ(UnescapeIniValue("a\\"), "a\r\n");
}

TEST(TMYIniFile, FlushWritesCp1251WithCrLfAndReloadsTheSame) {
  testing::TempFolder dir;
  const std::string path = dir.Path("e.ini");
  {
    TMYIniFile ini(path, false, true);
    ini.WriteEscaped("Вид", "Фильтр", "a\r\nb\\c");
    ini.WriteString("Вид", "inject", "x\ny=1");  // a raw line break must not add a key
    EXPECT_TRUE(ini.Flush());
    EXPECT_FALSE(ini.Modified());
  }
  EXPECT_EQ(dir.ReadFile("e.ini"), Utf8ToCp1251("[Вид]\r\nФильтр=a\\b\\\\c\r\ninject=x y=1\r\n"));
  TMYIniFile again(path, false, false);
  EXPECT_EQ(again.ReadEscaped("вид", "фильтр", ""), "a\r\nb\\c");
  EXPECT_FALSE(again.ValueExists("Вид", "y"));
  EXPECT_EQ(again.ReadEscaped("Вид", "missing", "d\\e"), "d\\e");  // defaults stay as given
}

TEST(TMYIniFile, DestructorFlushesOnlyChanges) {
  testing::TempFolder dir;
  const std::string path = dir.Path("d.ini");
  { TMYIniFile ini(path, false, false); }
  EXPECT_FALSE(dir.Exists("d.ini"));
  {
    TMYIniFile ini(path, false, false);
    ini.WriteString("s", "k", "v");
  }
  EXPECT_EQ(dir.ReadFile("d.ini"), "[s]\r\nk=v\r\n");
}

TEST(TMYIniFile, FailedFlushKeepsModifiedAndThrowsOnlyWhenAsked) {
  testing::TempFolder dir;
  const std::string path = dir.Path("no-such-folder/x.ini");
  TMYIniFile quiet(path, false, false);
  quiet.WriteString("s", "k", "v");
  EXPECT_FALSE(quiet.Flush());
  EXPECT_TRUE(quiet.Modified());
  TMYIniFile loud(path, true, false);  // loading a missing file never throws
  loud.WriteString("s", "k", "v");
  EXPECT_THROW(loud.Flush(), int);
  EXPECT_TRUE(loud.Modified());
}  // both destructors swallow the failure

}  // namespace
}  // namespace corvid
