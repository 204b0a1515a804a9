// Log viewer model: reading the tail, reading earlier records, live following, filters,
// captions, the row limit.
#include "ui/model/logview.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "platform/temp_folder_for_tests.h"
#include "util/text.h"

namespace corvid {
namespace {

constexpr std::uint32_t kMiB = 1048576;

std::vector<std::string> Texts(const TLogViewModel& m) {
  std::vector<std::string> out;
  for (const LogRow& r : m.Rows()) out.push_back(r.text);
  return out;
}

void Append(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << bytes;
}

TEST(LogView, LineEndsBlankLinesAndCaptionsOfASmallFile) {
  testing::TempFolder dir;
  const std::string path =
      dir.WriteFile("protokol.log", Utf8ToCp1251("01.02.2026 10:00:00  INFO\tпуск\r\n\r\n"
                                                 "01.02.2026 10:00:01  ERROR\tсбой\n\n"
                                                 "01.02.2026 10:00:02  DEBUG\tx\ty\r"));
  TLogViewModel m(true, kLogFormatOwn);
  m.LoadFile(path);
  EXPECT_EQ(Texts(m), (std::vector<std::string>{"пуск", "сбой", "x y"}));
  EXPECT_EQ(m.Rows()[1].time, "01.02.2026 10:00:01");
  EXPECT_EQ(m.Rows()[1].level, kLevelError);
  EXPECT_EQ(m.TotalLines(), 3);
  EXPECT_FALSE(m.MoreVisible());
  EXPECT_EQ(m.WindowCaption(), "Протокол [" + path + "]");
  EXPECT_EQ(m.GroupCaption(), "Всего 3 строк");
  EXPECT_EQ(m.GridRowCount(), 4);
  EXPECT_FALSE(m.ShowFile(path));  // the same file is not read again
  EXPECT_EQ(m.ShownLines(), 3);
}

std::string NumberedLines(std::uint32_t total_bytes) {
  std::string out;
  char line[96];
  for (int i = 0; out.size() < total_bytes; ++i) {
    std::snprintf(line, sizeof line, "%08d  INFO\tзапись номер %08d ..........\r\n", i, i);
    out += line;
  }
  return out;
}

TEST(LogView, ThreeMiBLogReadsTheTailThenTwoAndFourMiB) {
  testing::TempFolder dir;
  const std::string content = NumberedLines(3 * kMiB);
  const std::string path = dir.WriteFile("big.log", content);
  const auto size = static_cast<std::uint32_t>(content.size());
  TLogViewModel m(true, kLogFormatOwn);
  m.LoadFile(path);
  ASSERT_TRUE(m.MoreVisible());
  // The first row is the first complete line after the point 1 MiB before the end.
  const std::size_t first = content.find('\n', size - kMiB) + 1;
  EXPECT_EQ(m.Rows().front().time, content.substr(first, 8));
  EXPECT_EQ(m.BytesRead(), size - first);
  const std::string caption = m.WindowCaption();
  EXPECT_NE(caption.find(" последние 1023."), std::string::npos) << caption;
  EXPECT_NE(caption.find(" из 3.0 Мб"), std::string::npos) << caption;

  m.ReadEarlier();
  EXPECT_EQ(m.ReadChunkSize(), 2 * kMiB);
  EXPECT_EQ(m.RowGrowStep(), 400);
  EXPECT_TRUE(m.MoreVisible());
  EXPECT_EQ(m.BytesRead(), size - (content.find('\n', size - 2 * kMiB) + 1));
  m.ReadEarlier();
  EXPECT_EQ(m.ReadChunkSize(), 4 * kMiB);
  EXPECT_FALSE(m.MoreVisible());
  EXPECT_EQ(m.BytesRead(), size);
  EXPECT_EQ(m.Rows().front().time, "00000000");
  EXPECT_EQ(m.WindowCaption(), "Протокол [" + path + "]");
}

TEST(LogView, LoadStartAndChunkArithmetic) {
  EXPECT_EQ(ComputeLoadStart(3 * kMiB, kMiB).offset, 2 * kMiB);
  EXPECT_TRUE(ComputeLoadStart(3 * kMiB, kMiB).more_available);
  EXPECT_FALSE(ComputeLoadStart(kMiB, kMiB).more_available);
  EXPECT_EQ(ComputeLoadStart(kMiB, kMiB).offset, 0u);
  EXPECT_EQ(NextChunkSize(kMiB), 2 * kMiB);
  EXPECT_EQ(NextChunkSize(0x80000000u), 0xFFFFFFFFu);  // never wraps to 0
  EXPECT_EQ(NextChunkSize(0xFFFFFFFFu), 0xFFFFFFFFu);
}

TEST(LogView, LiveModeWaitsForTheLineEndAndClearKeepsThePosition) {
  testing::TempFolder dir;
  const std::string path = dir.WriteFile("live.log", "t  INFO\ta\nt  INFO\tb");
  TLogViewModel m(true, kLogFormatOwn);
  m.LoadFile(path);
  EXPECT_EQ(Texts(m), (std::vector<std::string>{"a"}));
  Append(path, "c\r\n");
  EXPECT_TRUE(m.Tick("").read.new_data);
  EXPECT_EQ(Texts(m), (std::vector<std::string>{"a", "bc"}));

  m.ClearLines();
  EXPECT_EQ(m.GroupCaption(), "Всего 0 строк");
  EXPECT_EQ(m.GridRowCount(), 2);
  Append(path, "t  WARNING\td\n");
  m.Tick("");
  EXPECT_EQ(Texts(m), (std::vector<std::string>{"d"}));
  EXPECT_EQ(m.TotalLines(), 1);

  TLogViewModel still(false, kLogFormatOwn);  // without live mode nothing follows
  still.LoadFile(path);
  Append(path, "t  INFO\te\n");
  EXPECT_FALSE(still.Tick("").read.new_data);
}

TEST(LogView, ReloadingDoesNotGlueAnOldHalfLineToTheFirstLine) {
  testing::TempFolder dir;
  const std::string path = dir.WriteFile("half.log", "x\npartial");
  TLogViewModel m(true, kLogFormatOwn);
  m.LoadFile(path);
  m.LoadFile(path);
  EXPECT_EQ(Texts(m), (std::vector<std::string>{"x"}));
}

TEST(LogView, TextFilterIsAppliedTwoTicksAfterTheChange) {
  testing::TempFolder dir;
  const std::string path = dir.WriteFile("f.log", "t  INFO\ta\nt  ERROR\tb\nt  INFO\tc ERROR\n");
  TLogViewModel m(true, kLogFormatOwn);
  m.LoadFile(path);
  EXPECT_FALSE(m.Tick("ERROR").reloaded);  // taken at once for new lines
  EXPECT_EQ(m.FilterText(), "ERROR");
  Append(path, "t  INFO\td\n");
  EXPECT_FALSE(m.Tick("ERROR").reloaded);
  EXPECT_EQ(m.ShownLines(), 3);  // the new line d was filtered out
  const auto tick = m.Tick("ERROR");
  EXPECT_TRUE(tick.reloaded);
  EXPECT_TRUE(tick.show_clear_filter);
  EXPECT_EQ(Texts(m), (std::vector<std::string>{"b", "c ERROR"}));
  EXPECT_EQ(m.GroupCaption(), "Показано 2 строк из 4");

  m.Tick("ERRORX");
  m.Tick("ERROR");  // a further change restarts the wait
  EXPECT_EQ(m.FilterDelay(), 2);

  m.ClearFilter();
  EXPECT_EQ(m.FilterDelay(), 0);
  EXPECT_EQ(m.GroupCaption(), "Всего 4 строк");
}

TEST(LogView, TypeFilterShowsOnlyThatLevel) {
  testing::TempFolder dir;
  const std::string path = dir.WriteFile("t.log", "t  INFO\ta\nt  ERROR\tb\nplain\n");
  TLogViewModel m(false, kLogFormatOwn);
  m.LoadFile(path);
  m.SetTypeFilter(3);
  EXPECT_EQ(Texts(m), (std::vector<std::string>{"b"}));
  m.SetTypeFilter(0);
  EXPECT_EQ(m.ShownLines(), 3);
}

TEST(LogView, AFileThatCannotBeOpenedLeavesAnEmptyTable) {
  testing::TempFolder dir;
  const std::string path = dir.Path("missing.log");
  TLogViewModel m(true, kLogFormatOwn);
  m.LoadFile(path);
  EXPECT_FALSE(m.FileOpen());
  EXPECT_EQ(m.WindowCaption(), "Протокол [" + path + "]");
  EXPECT_EQ(m.GroupCaption(), "Всего 0 строк");
  EXPECT_FALSE(m.Tick("").read.new_data);
  dir.WriteFile("missing.log", "a\n");  // the next load tries again
  m.SetTypeFilter(0);
  EXPECT_EQ(m.ShownLines(), 1);
}

TEST(LogView, RowLimitReadsTheTailAgainWithoutLoopingForever) {
  testing::TempFolder dir;
  std::string tiny;
  for (int i = 0; i < 350000; ++i) tiny += "a\n";  // more rows than the table takes
  const std::string path = dir.WriteFile("tiny.log", tiny);
  TLogViewModel m(false, kLogFormatOwn);
  m.ReadEarlier();  // the limit puts the chunk back to 1 MiB
  const auto chunk = m.ReadChunkSize();
  EXPECT_EQ(chunk, 2 * kMiB);
  m.LoadFile(path);
  EXPECT_EQ(m.ReadChunkSize(), TLogViewModel::kInitialChunkSize);
  EXPECT_LE(m.GridRowCount(), TLogViewModel::kMaxRows);
  EXPECT_TRUE(m.TakeRowLimitNotice());  // the window says so once
  EXPECT_FALSE(m.TakeRowLimitNotice());
  // Still full after reading the tail again: later reads neither reload nor tell again.
  const auto shown = m.ShownLines();
  EXPECT_FALSE(m.ReadNewData().row_limit);
  EXPECT_FALSE(m.TakeRowLimitNotice());
  EXPECT_EQ(m.ShownLines(), shown);
  // Cleared, the table takes the lines that arrive.
  m.ClearLines();
  Append(path, "b\n");
  EXPECT_TRUE(m.ReadNewData().new_data);
  EXPECT_EQ(Texts(m), (std::vector<std::string>{"b"}));
}

TEST(LogView, ClipboardRowHeightAndEventCaption) {
  EXPECT_EQ(LogClipboardText({}), " Время\t Событие\r\n\t\r\n");
  EXPECT_EQ(LogClipboardText({{"t1", "a", kLevelInformation}, {"", "b", kLevelOther}}),
            " Время\t Событие\r\nt1\ta\r\n\tb\r\n");
  EXPECT_EQ(LogRowHeight(-11), 25);
  EXPECT_EQ(LogRowHeight(16), 33);
  EXPECT_EQ(protoview::EventCaption("21.09.2015 10:11:12"), "Событие на 21.09.2015 10:11:12");
}

}  // namespace
}  // namespace corvid
