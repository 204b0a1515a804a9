// config.ini: defaults, the reading rules of every key kind, and the written subset.
#include "server/config.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/profile.h"
#include "platform/temp_folder_for_tests.h"

namespace corvid {
namespace {

void ExpectDefaults(const ServerConfig& c) {
  EXPECT_EQ(c.MaxTagCount, 10000);
  EXPECT_EQ(c.WaitForOpcClients, 0);
  EXPECT_EQ(c.UpdateTagTime, 1000);
  EXPECT_EQ(c.TagName, "%A1.%A2.%A3.%A4");
  EXPECT_EQ(c.BranchSep, '\0');
  EXPECT_EQ(c.Host, "127.0.0.1");
  EXPECT_EQ(c.Port, 3000);
  EXPECT_EQ(c.Name, "CFG");
  EXPECT_EQ(c.Password, "");
  EXPECT_EQ(c.Timeout, 30000);
  EXPECT_EQ(c.TestConnect, 60);
}

TEST(IniTextToInt, ReadsLikeAtoiAndClampsTo32Bits) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"", 0},
      {"abc", 0},
      {"15s", 15},
      {" \t30", 30},
      {"-7", -7},
      {"+8", 8},
      {"--5", 0},
      {"- 5", 0},
      {"0x10", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-2147483649", INT32_MIN},
      {"99999999999999999999999999999999", INT32_MAX},
      {"-99999999999999999999999999999999", INT32_MIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IniTextToInt(c.text), c.value);
  }
}

TEST(ReadConfig, MissingFileGivesDefaultsAndFalse) {
  testing::TempFolder dir;
  ServerConfig config;
  config.Port = 1;
  config.Name = "changed";
  EXPECT_FALSE(ReadConfig(config, dir.Path("config.ini")));
  ExpectDefaults(config);
  EXPECT_FALSE(dir.Exists("config.ini"));
}

TEST(ReadConfig, EmptyFileGivesDefaultsAndTrue) {
  testing::TempFolder dir;
  ServerConfig config;
  EXPECT_TRUE(ReadConfig(config, dir.WriteFile("config.ini", "")));
  ExpectDefaults(config);
}

TEST(ReadConfig, ValuesAreConvertedAndCut) {
  testing::TempFolder dir;
  const std::string long_tag(150, 'T');
  const std::string long_host = std::string(150, 'h') + std::string(100, '\xE6');  // ж
  const std::string path =
      dir.WriteFile("config.ini",
                    "[setup]\r\n"
                    "MAXTAGCOUNT=99999999999\r\n"
                    "WAITFOROPCCLIENTS= 30 \r\n"
                    "UPDATETAGTIME=0\r\n"
                    "TAGNAME=" +
                        long_tag +
                        "\r\n"
                        "BRANCHSEP=ab\r\n"
                        "[CORVID]\r\n"
                        "HOST=" +
                        long_host +
                        "\r\n"
                        "PORT=abc\r\n"
                        "NAME=\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0\r\n"  // Оператор
                        "PASSWORD=\"  secret  \"\r\n"
                        "TIMEOUT=15s\r\n"
                        "TESTCONNECT=-2147483649\r\n");
  ServerConfig config;
  EXPECT_TRUE(ReadConfig(config, path));
  EXPECT_EQ(config.MaxTagCount, INT32_MAX);
  EXPECT_EQ(config.WaitForOpcClients, 30);
  EXPECT_EQ(config.UpdateTagTime, 0);
  EXPECT_EQ(config.TagName, long_tag.substr(0, 99));
  EXPECT_EQ(config.BranchSep, 'a');
  std::string expected_host(150, 'h');
  for (int i = 0; i < 49; ++i) expected_host += "\xD0\xB6";  // 199 characters in UTF-8
  EXPECT_EQ(config.Host, expected_host);
  EXPECT_EQ(config.Port, 0);
  EXPECT_EQ(config.Name, "\xD0\x9E\xD0\xBF\xD0\xB5\xD1\x80\xD0\xB0\xD1\x82\xD0\xBE\xD1\x80");
  EXPECT_EQ(config.Password, "  secret  ");
  EXPECT_EQ(config.Timeout, 15);
  EXPECT_EQ(config.TestConnect, INT32_MIN);
}

TEST(ReadConfig, EmptyValuesGiveZeroAndNoSeparator) {
  testing::TempFolder dir;
  ServerConfig config;
  config.BranchSep = '.';
  EXPECT_TRUE(ReadConfig(config, dir.WriteFile("config.ini",
                                               "[SETUP]\nMAXTAGCOUNT=\nBRANCHSEP=\n"
                                               "[CORVID]\nNAME=\nPORT=  \n")));
  EXPECT_EQ(config.MaxTagCount, 0);
  EXPECT_EQ(config.BranchSep, '\0');
  EXPECT_EQ(config.Name, "");
  EXPECT_EQ(config.Port, 0);
}

TEST(WriteConfig, DefaultsWriteEightKeysAndReadBack) {
  testing::TempFolder dir;
  const std::string path = dir.Path("config.ini");
  ASSERT_TRUE(WriteConfig(ServerConfig{}, path));
  const struct {
    const char* section;
    const char* key;
    const char* text;  // nullptr: absent
  } keys[] = {
      {"SETUP", "MAXTAGCOUNT", "10000"},  {"SETUP", "WAITFOROPCCLIENTS", "0"},
      {"SETUP", "UPDATETAGTIME", "1000"}, {"SETUP", "BRANCHSEP", ""},
      {"SETUP", "TAGNAME", nullptr},      {"CORVID", "HOST", "127.0.0.1"},
      {"CORVID", "PORT", "3000"},         {"CORVID", "NAME", "CFG"},
      {"CORVID", "PASSWORD", ""},         {"CORVID", "TIMEOUT", nullptr},
      {"CORVID", "TESTCONNECT", nullptr},
  };
  for (const auto& k : keys) {
    SCOPED_TRACE(k.key);
    EXPECT_EQ(platform::GetPrivateProfileText(k.section, k.key, "<absent>", 100, path),
              k.text != nullptr ? k.text : "<absent>");
  }
  ServerConfig back;
  back.Port = 1;
  EXPECT_TRUE(ReadConfig(back, path));
  ExpectDefaults(back);
}

TEST(WriteConfig, KeepsTheKeysItNeverWritesAndRoundTripsCyrillic) {
  testing::TempFolder dir;
  const std::string path = dir.WriteFile("config.ini",
                                         "; Corvid OPC DA\r\n"
                                         "[SETUP]\r\n"
                                         "TAGNAME=K%A1_%A2\r\n"
                                         "[CORVID]\r\n"
                                         "TIMEOUT=5000\r\n"
                                         "TESTCONNECT=10\r\n");
  ServerConfig config;
  config.MaxTagCount = -5;
  config.BranchSep = '/';
  config.TagName = "ignored";
  config.Timeout = 1;
  config.Name = "\xD0\x9E\xD0\xBF\xD0\xB5\xD1\x80\xD0\xB0\xD1\x82\xD0\xBE\xD1\x80";  // Оператор
  config.Password = "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C";              // пароль
  ASSERT_TRUE(WriteConfig(config, path));

  const std::string bytes = dir.ReadFile("config.ini");
  EXPECT_NE(bytes.find("NAME=\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("PASSWORD=\xEF\xE0\xF0\xEE\xEB\xFC\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("; Corvid OPC DA"), std::string::npos);

  ServerConfig back;
  EXPECT_TRUE(ReadConfig(back, path));
  EXPECT_EQ(back.MaxTagCount, -5);
  EXPECT_EQ(back.BranchSep, '/');
  EXPECT_EQ(back.TagName, "K%A1_%A2");
  EXPECT_EQ(back.Timeout, 5000);
  EXPECT_EQ(back.TestConnect, 10);
  EXPECT_EQ(back.Name, config.Name);
  EXPECT_EQ(back.Password, config.Password);
}

TEST(WriteConfig, StopsAtTheFirstFailedWrite) {
  testing::TempFolder dir;
  const std::string path = dir.Path("config.ini");
  ServerConfig config;
  config.Host = "bad\r\nhost";  // refused: a line break would split the file's line
  EXPECT_FALSE(WriteConfig(config, path));
  EXPECT_EQ(platform::GetPrivateProfileText("SETUP", "BRANCHSEP", "<absent>", 10, path), "");
  EXPECT_EQ(platform::GetPrivateProfileText("CORVID", "HOST", "<absent>", 10, path), "<absent>");
  EXPECT_EQ(platform::GetPrivateProfileText("CORVID", "PORT", "<absent>", 10, path), "<absent>");

  EXPECT_FALSE(WriteConfig(ServerConfig{}, dir.Path("missing-folder/config.ini")));
}

}  // namespace
}  // namespace corvid
