// The private-profile functions: reading rules, cuts, defaults, and writes that keep the rest of
// the file. The byte-exact layout checks run on the POSIX build, whose writer is ours; the
// Windows build uses the system's writer, which may normalise the lines it rewrites.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include "platform/temp_folder_for_tests.h"

namespace corvid::platform {
namespace {

std::string Get(const std::string& path, const std::string& section, const std::string& key,
                const std::string& def = "<default>", std::size_t size = 256) {
  return GetPrivateProfileText(section, key, def, size, path);
}

TEST(PrivateProfile, ReadingRules) {
  testing::TempFolder dir;
  const std::string path = dir.WriteFile("a.ini",
                                         "top=before any section\r\n"
                                         "[Setup]\r\n"
                                         "  Host =  10.0.0.1 \t\r\n"
                                         "quoted=\"  with blanks  \"\r\n"
                                         "single='x'\r\n"
                                         "mismatched=\"abc'\r\n"
                                         "lonequote=\"\r\n"
                                         "inner=a\"b\"c\r\n"
                                         "empty=\r\n"
                                         "equals=a=b\r\n"
                                         ";Commented=yes\r\n"
                                         "noequals\r\n"
                                         "dup=first\r\n"
                                         "DUP=second\r\n"
                                         "[other]\r\n"
                                         "only=other\r\n"
                                         "[SETUP]\r\n"
                                         "late=second section\r\n");
  const struct {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"Setup", "Host", "10.0.0.1"},
      {"setup", "HOST", "10.0.0.1"},
      {"SETUP", "quoted", "  with blanks  "},
      {"SETUP", "single", "x"},
      {"SETUP", "mismatched", "\"abc'"},
      {"SETUP", "lonequote", "\""},
      {"SETUP", "inner", "a\"b\"c"},
      {"SETUP", "empty", ""},
      {"SETUP", "equals", "a=b"},
      {"SETUP", "Commented", "<default>"},
      {"SETUP", "noequals", "<default>"},
      {"SETUP", "dup", "first"},
      {"SETUP", "late", "<default>"},  // only the first section of a name is searched
      {"SETUP", "top", "<default>"},
      {"SETUP", "only", "<default>"},
      {"OTHER", "only", "other"},
      {"missing", "Host", "<default>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(Get(path, c.section, c.key), c.expected);
  }
}

TEST(PrivateProfile, MissingFileGivesTheDefaultTrimmedAndCut) {
  testing::TempFolder dir;
  const std::string path = dir.Path("none.ini");
  EXPECT_EQ(Get(path, "S", "K", "value"), "value");
  EXPECT_EQ(Get(path, "S", "K", "value   "), "value");  // trailing blanks of a default go
  EXPECT_EQ(Get(path, "S", "K", "value", 4), "val");
  EXPECT_EQ(Get(path, "S", "K", "value", 1), "");
  EXPECT_EQ(Get(path, "S", "K", "value", 0), "");
  EXPECT_FALSE(dir.Exists("none.ini"));  // reading never creates the file
}

TEST(PrivateProfile, ValuesAreCutToBufferSizeLessOne) {
  testing::TempFolder dir;
  const std::string path = dir.WriteFile("c.ini", "[S]\r\nK=0123456789\r\nQ=\"abcdef\"\r\n");
  EXPECT_EQ(Get(path, "S", "K", "", 11), "0123456789");
  EXPECT_EQ(Get(path, "S", "K", "", 5), "0123");
  EXPECT_EQ(Get(path, "S", "K", "", 2), "0");
  EXPECT_EQ(Get(path, "S", "K", "", 1), "");
  EXPECT_EQ(Get(path, "S", "Q", "", 4), "abc");
}

TEST(PrivateProfile, LfCrAndCrLfLineEndsAllRead) {
  testing::TempFolder dir;
  const struct {
    const char* name;
    const char* text;
  } files[] = {
      {"lf.ini", "[S]\nA=1\nB=2\n"},
      {"crlf.ini", "[S]\r\nA=1\r\nB=2"},
#ifndef _WIN32  // the system's reader splits lines at LF only
      {"cr.ini", "[S]\rA=1\rB=2\r"},
#endif
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string path = dir.WriteFile(f.name, f.text);
    EXPECT_EQ(Get(path, "S", "A"), "1");
    EXPECT_EQ(Get(path, "S", "B"), "2");
  }
}

TEST(PrivateProfile, WindowsCp1251BytesRoundTripExactly) {
  testing::TempFolder dir;
  const std::string path = dir.Path("ru.ini");
  std::string all;  // every byte from 0x80 to 0xFF, Cyrillic included
  for (int b = 0x80; b <= 0xFF; ++b) all += static_cast<char>(b);
  const std::string section = "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8";  // Настройки
  const std::string key = "\xC8\xEC\xFF";                              // Имя
  ASSERT_TRUE(WritePrivateProfileText(section, key, all, path));
  ASSERT_TRUE(WritePrivateProfileText("S", "K", "\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0", path));
  EXPECT_EQ(Get(path, section, key), all);
  EXPECT_EQ(Get(path, "S", "K"), "\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0");
  const std::string bytes = dir.ReadFile("ru.ini");
  EXPECT_NE(bytes.find("[" + section + "]"), std::string::npos);
  EXPECT_NE(bytes.find(key + "=" + all), std::string::npos);
  EXPECT_NE(bytes.find("K=\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0\r\n"), std::string::npos);
}

TEST(PrivateProfile, WritingCreatesAndUpdates) {
  testing::TempFolder dir;
  const std::string path = dir.Path("new.ini");
  ASSERT_TRUE(WritePrivateProfileText("SETUP", "PORT", "3000", path));
  ASSERT_TRUE(WritePrivateProfileText("setup", "port", "4000", path));  // same key, other case
  ASSERT_TRUE(WritePrivateProfileText("SETUP", "HOST", "", path));
  ASSERT_TRUE(WritePrivateProfileText("CORVID", "NAME", "CFG", path));
  EXPECT_EQ(Get(path, "SETUP", "PORT"), "4000");
  EXPECT_EQ(Get(path, "SETUP", "HOST"), "");
  EXPECT_EQ(Get(path, "CORVID", "NAME"), "CFG");
#ifndef _WIN32
  EXPECT_EQ(dir.ReadFile("new.ini"),
            "[SETUP]\r\nPORT=4000\r\nHOST=\r\n\r\n[CORVID]\r\nNAME=CFG\r\n");
#endif
  EXPECT_FALSE(WritePrivateProfileText("S", "K", "v", dir.Path("no-folder/x.ini")));
}

TEST(PrivateProfile, WritesThatWouldBreakTheFileAreRefused) {
  testing::TempFolder dir;
  const std::string original = "[S]\r\nK=1\r\n";
  const std::string path = dir.WriteFile("r.ini", original);
  EXPECT_FALSE(WritePrivateProfileText("S", "K", "2\r\n[X]", path));
  EXPECT_FALSE(WritePrivateProfileText("S", "K", "2\n", path));
  EXPECT_FALSE(WritePrivateProfileText("S", "K=", "2", path));
  EXPECT_FALSE(WritePrivateProfileText("S", ";K", "2", path));
  EXPECT_FALSE(WritePrivateProfileText("S", "", "2", path));
  EXPECT_FALSE(WritePrivateProfileText("S]", "K", "2", path));
  EXPECT_FALSE(WritePrivateProfileText("", "K", "2", path));
  EXPECT_EQ(dir.ReadFile("r.ini"), original);
}

TEST(PrivateProfile, WritingKeepsCommentsAndOtherKeys) {
  testing::TempFolder dir;
  const std::string path = dir.WriteFile("k.ini",
                                         "; settings\r\n"
                                         "[SETUP]\r\n"
                                         "; capacity\r\n"
                                         "MAXTAGCOUNT=10\r\n"
                                         "TAGNAME=%A1.%A2\r\n"
                                         "\r\n"
                                         "[CORVID]\r\n"
                                         "HOST=h\r\n");
  ASSERT_TRUE(WritePrivateProfileText("SETUP", "MAXTAGCOUNT", "20", path));
  ASSERT_TRUE(WritePrivateProfileText("SETUP", "BRANCHSEP", ".", path));
  ASSERT_TRUE(WritePrivateProfileText("CORVID", "PORT", "3000", path));
  EXPECT_EQ(Get(path, "SETUP", "MAXTAGCOUNT"), "20");
  EXPECT_EQ(Get(path, "SETUP", "TAGNAME"), "%A1.%A2");
  EXPECT_EQ(Get(path, "SETUP", "BRANCHSEP"), ".");
  EXPECT_EQ(Get(path, "CORVID", "HOST"), "h");
  EXPECT_EQ(Get(path, "CORVID", "PORT"), "3000");
  const std::string bytes = dir.ReadFile("k.ini");
  EXPECT_NE(bytes.find("; settings"), std::string::npos);
  EXPECT_NE(bytes.find("; capacity"), std::string::npos);
}

#ifndef _WIN32
TEST(PrivateProfile, OurWriterChangesOnlyWhatItMust) {
  testing::TempFolder dir;
  const struct {
    const char* label;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  } cases[] = {
      {"value replaced in place", "; c\n[S]\nA = 1 ; x\nB=2\n", "s", "a", "9",
       "; c\n[S]\nA = 9\nB=2\n"},
      {"first of two keys", "[S]\r\nA=1\r\nA=2\r\n", "S", "A", "x", "[S]\r\nA=x\r\nA=2\r\n"},
      {"new key after the last non-blank line", "[S]\nA=1\n;end\n\n\n[T]\nB=2\n", "S", "C", "3",
       "[S]\nA=1\n;end\nC=3\r\n\n\n[T]\nB=2\n"},
      {"new key into a section at the end without line end", "[S]\nA=1", "S", "C", "3",
       "[S]\nA=1\r\nC=3\r\n"},
      {"new key into an empty section", "[S]\r\n\r\n[T]\r\n", "S", "K", "v",
       "[S]\r\nK=v\r\n\r\n[T]\r\n"},
      {"new section after a blank line", "[S]\nA=1\n", "T", "K", "v",
       "[S]\nA=1\n\r\n[T]\r\nK=v\r\n"},
      {"new section, file without line end", "[S]\rA=1", "T", "K", "v",
       "[S]\rA=1\r\n\r\n[T]\r\nK=v\r\n"},
      {"new section, file ending blank", "[S]\nA=1\n\n", "T", "K", "v",
       "[S]\nA=1\n\n[T]\r\nK=v\r\n"},
      {"only the first section is written", "[S]\nA=1\n[S]\nB=2\n", "S", "B", "3",
       "[S]\nA=1\nB=3\r\n[S]\nB=2\n"},
      {"quoted value replaced", "[S]\nA=\"old\"\n", "S", "A", "new", "[S]\nA=new\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = dir.WriteFile("w.ini", c.before);
    ASSERT_TRUE(WritePrivateProfileText(c.section, c.key, c.value, path));
    EXPECT_EQ(dir.ReadFile("w.ini"), c.after);
  }
}
#endif

}  // namespace
}  // namespace corvid::platform
