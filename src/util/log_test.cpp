// Tests of WriteLog: the line format in the file, the cut, windows-1251, concurrency, and a log
// file deleted or missing.
#include "util/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/locale.h"
#include "platform/temp_folder_for_tests.h"
#include "util/datetime.h"
#include "util/text.h"

namespace corvid {
namespace {

constexpr platform::FileTime kNow = 130873038723450000ull;  // 2015-09-21 10:11:12.345 UTC

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_path_ = LogPath();
    platform::DisplayFormats f;
    f.short_date = "dd.MM.yyyy";
    f.long_time = "HH:mm:ss";
    platform::SetDisplayFormats(f);
    SetLogPath(folder_.Path("protokol.log"));
  }
  void TearDown() override {
    SetLogPath(saved_path_);
    platform::ResetDisplayFormats();
  }

  std::string File() const { return folder_.ReadFile("protokol.log"); }

  // The prefix expected at kNow, built without the formatters under test.
  static std::string ExpectedPrefix() {
    const DateTimeParts p = DecodeDateTime(FileTimeToDateTime(platform::UtcToLocal(kNow)));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d  ", p.day, p.month, p.year,
                  p.hour, p.minute, p.second);
    return buf;
  }

  testing::TempFolder folder_;
  platform::FakeClock clock_{0, kNow};
  platform::ScopedClock scoped_clock_{clock_};
  std::string saved_path_;
};

TEST_F(LogTest, LineIsPrefixMessageCrLfInWindows1251) {
  WriteLog("INFO\tЧтение настроек из файла: %s (%d)", "config.ini", 42);
  WriteLog("ERROR\t%s", "Ёлка");
  EXPECT_EQ(File(), ExpectedPrefix() +
                        Utf8ToCp1251("INFO\tЧтение настроек из файла: config.ini (42)") + "\r\n" +
                        ExpectedPrefix() + "ERROR\t\xa8\xeb\xea\xe0\r\n");
}

TEST_F(LogTest, CarriageReturnsAndLineFeedsBecomeBlanks) {
  WriteLog("a\r\nb\nc\rd%s", "\r\n");
  EXPECT_EQ(File(), ExpectedPrefix() + "a  b c d  \r\n");
}

TEST_F(LogTest, MessageIsCutAt1023Windows1251Characters) {
  const std::string ascii(1000, 'x');
  std::string cyrillic = ascii;  // Ж takes two bytes in UTF-8 and one in windows-1251
  for (int i = 0; i < 100; ++i) cyrillic += "Ж";
  struct Case {
    std::string message;  // UTF-8
    std::string written;  // windows-1251
  };
  const Case cases[] = {
      {std::string(1023, 'a'), std::string(1023, 'a')},
      {std::string(1024, 'a'), std::string(1023, 'a')},
      {cyrillic, ascii + std::string(23, '\xc6')},
      {std::string(20000, 'q'), std::string(1023, 'q')},  // far beyond any fixed buffer
      {std::string(1022, 'n') + "\r\n", std::string(1022, 'n') + " "},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(folder_.Path("protokol.log"));
    WriteLog("%s", c.message.c_str());
    EXPECT_EQ(File(), ExpectedPrefix() + c.written + "\r\n") << c.message.size();
  }
}

TEST_F(LogTest, AppendsToAnExistingFileAndRecreatesADeletedOne) {
  folder_.WriteFile("protokol.log", "old line\r\n");
  WriteLog("first");
  EXPECT_EQ(File(), "old line\r\n" + ExpectedPrefix() + "first\r\n");
  std::filesystem::remove(folder_.Path("protokol.log"));
  WriteLog("second");
  EXPECT_EQ(File(), ExpectedPrefix() + "second\r\n");
}

TEST_F(LogTest, PrefixFollowsTheClockAndTheDisplayFormats) {
  platform::DisplayFormats f;
  f.short_date = "yyyy-MM-dd";
  f.long_time = "'T'H.mm";
  platform::SetDisplayFormats(f);
  clock_.SetUtc(
      platform::LocalToUtc(DateTimeToFileTime(EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0))));
  WriteLog("x");
  EXPECT_EQ(File(), "2001-02-03 T4.05  x\r\n");
}

TEST_F(LogTest, AMissingFolderLosesTheLineQuietly) {
  SetLogPath(folder_.Path("missing/protokol.log"));
  EXPECT_NO_THROW(WriteLog("lost"));
  EXPECT_FALSE(folder_.Exists("missing"));
}

TEST_F(LogTest, ConcurrentLinesNeverInterleave) {
  constexpr int kThreads = 2;
  constexpr int kLines = 300;
  const std::string payload(200, 'p');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &payload] {
      for (int i = 0; i < kLines; ++i)
        WriteLog("INFO\tthread %d line %d %s", t, i, payload.c_str());
    });
  }
  for (std::thread& th : threads) th.join();

  const std::string content = File();
  const std::string prefix = ExpectedPrefix();
  std::set<std::pair<int, int>> seen;
  std::size_t pos = 0;
  while (pos < content.size()) {
    const std::size_t end = content.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos) << "unterminated line at " << pos;
    const std::string line = content.substr(pos, end - pos);
    ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
    int t = -1;
    int i = -1;
    char rest[256] = {};
    ASSERT_EQ(
        std::sscanf(line.c_str() + prefix.size(), "INFO\tthread %d line %d %255s", &t, &i, rest), 3)
        << line;
    EXPECT_EQ(rest, payload) << line;
    EXPECT_TRUE(seen.insert({t, i}).second) << "duplicate " << line;
    pos = end + 2;
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

#if !defined(_WIN32)
TEST_F(LogTest, FallbackFileInTheDataFolderWhenNoPathWasSet) {
  const char* old = std::getenv("PROGRAMDATA");
  const std::string saved = old != nullptr ? old : "";
  setenv("PROGRAMDATA", folder_.Path().c_str(), 1);
  std::filesystem::create_directory(folder_.Path("Corvid OPC DA"));
  SetLogPath("");
  WriteLog("early");
  EXPECT_EQ(LogPath(), folder_.Path() + "/Corvid OPC DA/protokol2.log");
  EXPECT_EQ(folder_.ReadFile("Corvid OPC DA/protokol2.log"), ExpectedPrefix() + "early\r\n");
  if (old != nullptr) {
    setenv("PROGRAMDATA", saved.c_str(), 1);
  } else {
    unsetenv("PROGRAMDATA");
  }
}
#endif

}  // namespace
}  // namespace corvid
