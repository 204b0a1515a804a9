// Message window fitting and proportional grid columns.
#include <gtest/gtest.h>

#include "ui/model/livingcolumns.h"
#include "ui/model/messageform.h"

namespace corvid {
namespace {

TEST(MessageForm, FontGrowsWhileAShortTextLeavesRoom) {
  // A one-line text in a box of 108 pixels: line height = size + 3.
  auto one_line = [](std::int32_t size) { return TextFit{1, 108 / (size + 3)}; };
  EXPECT_EQ(FitMessageFontSize(10, one_line), 16);
  // Ten words that wrap to more lines as the font grows.
  auto wrapping = [](std::int32_t size) { return TextFit{size - 6, 108 / (size + 3)}; };
  // 11 -> (5, 7), 12 -> (6, 7), 13 -> (7, 6): one step back.
  EXPECT_EQ(FitMessageFontSize(11, wrapping), 12);
  auto exact = [](std::int32_t size) { return TextFit{size == 12 ? 7 : 5, 7}; };
  EXPECT_EQ(FitMessageFontSize(11, exact), 12);  // fills the box exactly: stays
  auto full = [](std::int32_t) { return TextFit{9, 9}; };
  EXPECT_EQ(FitMessageFontSize(10, full), 10);
}

TEST(MessageForm, WindowGrowsAtMostTenStepsWithinTheLimits) {
  int calls = 0;
  auto never_fits = [&](WindowSize) {
    ++calls;
    return TextFit{100, 5};
  };
  EXPECT_EQ(GrowMessageWindow({519, 180}, never_fits), (WindowSize{669, 380}));
  EXPECT_EQ(calls, 10);
  EXPECT_EQ(GrowMessageWindow({790, 590}, never_fits), (WindowSize{800, 600}));
  auto fits_at_3 = [](WindowSize s) { return TextFit{s.height >= 240 ? 5 : 6, 5}; };
  EXPECT_EQ(GrowMessageWindow({519, 180}, fits_at_3), (WindowSize{564, 240}));
  EXPECT_EQ(VisibleLineCount(108, 16, 0), 6);
  EXPECT_EQ(VisibleLineCount(108, 13, 2), 7);
  EXPECT_EQ(VisibleLineCount(108, 0, 0), 0);
  EXPECT_EQ(CenteredTextTop(10, 25, 14), 15);
  EXPECT_EQ(CenteredTextTop(10, 10, 13), 9);
}

TEST(LivingColumns, ColumnsShrinkInProportionAndSpringBackToThirty) {
  LivingColumns columns;
  std::vector<std::int32_t> widths{153, 639};
  EXPECT_EQ(LivingColumns::TotalColumnWidth(widths), 794);
  columns.RecordShares(800, widths);
  // 200 pixels narrower, with a vertical scroll bar.
  EXPECT_TRUE(columns.Resize(600, true, 17, widths));
  EXPECT_EQ(widths, (std::vector<std::int32_t>{115, 482}));
  EXPECT_EQ(columns.RecordedWidth(), 600);
  // Wider again, but not wider than the columns: they stay.
  std::vector<std::int32_t> wide{500, 500};
  columns.RecordShares(600, wide);
  EXPECT_FALSE(columns.Resize(700, true, 17, wide));
  EXPECT_EQ(wide, (std::vector<std::int32_t>{500, 500}));
  // Narrower while the columns still fit: nothing changes.
  std::vector<std::int32_t> narrow{100, 100};
  columns.RecordShares(800, narrow);
  EXPECT_FALSE(columns.Resize(700, true, 17, narrow));
  // Without a scroll bar its width stays free.
  std::vector<std::int32_t> stretch{100, 300};
  columns.RecordShares(402, stretch);
  EXPECT_TRUE(columns.Resize(819, false, 17, stretch));
  EXPECT_EQ(stretch, (std::vector<std::int32_t>{199, 598}));

  std::vector<std::int32_t> dragged{10, 700};
  EXPECT_TRUE(columns.MouseUp(true, 760, dragged));
  EXPECT_EQ(dragged, (std::vector<std::int32_t>{30, 700}));
  EXPECT_EQ(columns.RecordedWidth(), 760);
  EXPECT_DOUBLE_EQ(columns.Shares()[0], 30.0 / 732);
  std::vector<std::int32_t> right{10, 700};
  EXPECT_FALSE(columns.MouseUp(false, 760, right));
  EXPECT_EQ(right[0], 10);
}

TEST(LivingColumns, ColumnsWithoutSavedWidthsFillTheGrid) {
  constexpr std::int32_t kNone = LivingColumns::kNoSavedWidth;
  const std::vector<std::int32_t> designed{153, 639};
  // Nothing saved, a table 529 pixels wide: the time column as designed, the event column the
  // rest, so that no horizontal scroll bar shows.
  const auto fitted = LivingColumns::FitColumns({kNone, kNone}, designed, 529);
  EXPECT_EQ(fitted, (std::vector<std::int32_t>{153, 376}));
  EXPECT_EQ(fitted[0] + fitted[1], 529);
  // A wider table: the event column grows with it.
  EXPECT_EQ(LivingColumns::FitColumns({kNone, kNone}, designed, 1000),
            (std::vector<std::int32_t>{153, 847}));
  // Saved widths stay, even wider than the table; a missing one fills the rest.
  EXPECT_EQ(LivingColumns::FitColumns({111, 333}, designed, 529),
            (std::vector<std::int32_t>{111, 333}));
  EXPECT_EQ(LivingColumns::FitColumns({200, kNone}, designed, 529),
            (std::vector<std::int32_t>{200, 329}));
  // Too narrow for the designed time column: both shrink in their designed proportions.
  const auto narrow = LivingColumns::FitColumns({kNone, kNone}, designed, 160);
  EXPECT_EQ(narrow, (std::vector<std::int32_t>{30, 130}));
  EXPECT_EQ(LivingColumns::FitColumns({kNone, kNone}, designed, 10),
            (std::vector<std::int32_t>{30, 30}));
  EXPECT_EQ(LivingColumns::FitColumns({kNone, kNone, kNone}, {0, 0, 0}, 90),
            (std::vector<std::int32_t>{30, 30, 30}));
}

TEST(LivingColumns, ColumnsAddedAfterRecordingAreLeftAlone) {
  LivingColumns columns;
  std::vector<std::int32_t> widths{100, 100};
  columns.RecordShares(300, widths);
  widths.push_back(50);
  columns.Resize(100, true, 17, widths);
  EXPECT_EQ(widths[2], 50);
  LivingColumns empty;
  std::vector<std::int32_t> none;
  empty.RecordShares(100, none);
  EXPECT_FALSE(empty.Resize(50, true, 17, none));
}

}  // namespace
}  // namespace corvid
