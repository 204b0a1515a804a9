// Cutting a text to a width with an ellipsis.
#include "ui/model/textfit.h"

#include <gtest/gtest.h>

#include "util/text.h"

namespace corvid {
namespace {

// 6 pixels a code unit, 9 the ellipsis.
std::int32_t Measure(std::u16string_view text) {
  std::int32_t width = 0;
  for (const char16_t c : text) width += c == kEllipsis ? 9 : 6;
  return width;
}

std::int32_t Width(const std::string& utf8) {
  return Measure(Utf8ToUtf16(utf8));
}

TEST(TextFit, AFittingTextStaysWhole) {
  const std::string text = " Установлено 2 часа 5 минут";
  EXPECT_EQ(EllipsizeToWidth(text, Width(text), Measure), text);
  EXPECT_EQ(EllipsizeToWidth(text, 1000, Measure), text);
  EXPECT_EQ(EllipsizeToWidth("", 0, Measure), "");
}

TEST(TextFit, ALongErrorEndsWithTheEllipsisAndFillsTheWidth) {
  const std::string error =
      " ошибка подключения к серверу Corvid: Удаленный узел отклонил соединение (1)";
  for (const std::int32_t width : {60, 200, 301, 400, Width(error) - 1}) {
    SCOPED_TRACE(width);
    const std::string shown = EllipsizeToWidth(error, width, Measure);
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown.substr(shown.size() - 3), "…");
    EXPECT_LE(Width(shown), width);
    const std::string kept = shown.substr(0, shown.size() - 3);
    EXPECT_EQ(error.rfind(kept, 0), 0u) << shown;  // a beginning of the text
    EXPECT_NE(kept.back(), ' ');
    // One more character would not fit (blanks before it aside).
    std::u16string longer = Utf8ToUtf16(kept);
    const std::u16string whole = Utf8ToUtf16(error);
    std::size_t next = longer.size();
    while (next < whole.size() && whole[next] == u' ') ++next;
    longer = whole.substr(0, next + 1) + kEllipsis;
    EXPECT_GT(Measure(longer), width);
  }
}

TEST(TextFit, NeitherASurrogatePairNorAnythingAtAllWhenNothingFits) {
  // "ab", a character outside the basic plane (two code units), "cd".
  const std::string text =
      "ab\xF0\x9D\x84\x9E"
      "cd";
  // Room for "ab" and one code unit of the pair: the pair is not split.
  EXPECT_EQ(EllipsizeToWidth(text, 3 * 6 + 9, Measure), "ab…");
  EXPECT_EQ(EllipsizeToWidth(text, 4 * 6 + 9, Measure), "ab\xF0\x9D\x84\x9E…");
  EXPECT_EQ(EllipsizeToWidth(text, 2, Measure), "…");
  EXPECT_EQ(EllipsizeToWidth("abc   defgh", 5 * 6 + 9, Measure), "abc…");
}

}  // namespace
}  // namespace corvid
