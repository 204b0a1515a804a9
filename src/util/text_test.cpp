// Tests of the text encodings and the case-insensitive comparison.
#include "util/text.h"

#include <gtest/gtest.h>

namespace corvid {
namespace {

std::string AllBytes() {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  return all;
}

TEST(TextTest, EveryCp1251ByteRoundTripsThroughUtf8AndUtf16) {
  const std::string all = AllBytes();
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
  EXPECT_EQ(Utf16ToCp1251(Cp1251ToUtf16(all)), all);
  EXPECT_EQ(Utf8ToUtf16(Cp1251ToUtf8(all)), Cp1251ToUtf16(all));
  EXPECT_EQ(Utf16ToUtf8(Cp1251ToUtf16(all)), Cp1251ToUtf8(all));
}

TEST(TextTest, Cp1251BytesMapToTheirCharacters) {
  struct Case {
    unsigned char byte;
    char16_t unit;
  };
  const Case cases[] = {
      {0x41, u'A'},   {0xC0, u'А'},   {0xDF, u'Я'}, {0xE0, u'а'}, {0xFF, u'я'},
      {0xA8, u'Ё'},   {0xB8, u'ё'},   {0xB9, u'№'}, {0x88, u'€'}, {0x80, u'Ђ'},
      {0x98, 0x0098}, {0xA0, 0x00A0}, {0xA5, u'Ґ'}, {0xB4, u'ґ'}, {0x96, u'–'},
      {0xAB, u'«'},   {0xBB, u'»'},   {0xB2, u'І'}, {0xB3, u'і'}, {0x00, 0},
  };
  for (const Case& c : cases) {
    const std::string byte(1, static_cast<char>(c.byte));
    EXPECT_EQ(Cp1251ToUtf16(byte), std::u16string(1, c.unit)) << int{c.byte};
  }
  EXPECT_EQ(Cp1251ToUtf8("\xcf\xf0\xe8\xe2\xe5\xf2"), "Привет");
  EXPECT_EQ(Utf8ToCp1251("Ёлка №5"), "\xa8\xeb\xea\xe0 \xb9\x35");
}

TEST(TextTest, CharactersOutsideCp1251BecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a€b中c"), std::string("a\x88") + "b?c");  // € is there, 中 not
  EXPECT_EQ(Utf8ToCp1251("\xf0\x9f\x98\x80"), "?");                 // one emoji, one '?'
  EXPECT_EQ(Utf16ToCp1251(u"\U0001F600x"), "?x");
  EXPECT_EQ(Utf16ToCp1251(u"é"), "?");
}

TEST(TextTest, InvalidUtf8IsReplacedByteByByte) {
  struct Case {
    std::string utf8;
    std::string cp1251;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"a\xffz", "a?z", u"a\uFFFDz"},
      {"\xc0\xaf", "??", u"\uFFFD\uFFFD"},                        // overlong '/'
      {"\xed\xa0\x80", "???", u"\uFFFD\uFFFD\uFFFD"},             // encoded surrogate
      {"\xd0", "?", u"\uFFFD"},                                   // truncated at the end
      {"\xd0Z", "?Z", u"\uFFFDZ"},                                // truncated before ASCII
      {"\xf4\x90\x80\x80", "????", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToCp1251(c.utf8), c.cp1251);
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
  }
}

TEST(TextTest, Utf16SurrogatesPairedAndUnpaired) {
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xf0\x9f\x98\x80");
  EXPECT_EQ(Utf8ToUtf16("\xf0\x9f\x98\x80"), u"\U0001F600");
  const char16_t lone_high[] = {0xD83D, u'x', 0};
  const char16_t lone_low[] = {0xDE00, 0};
  EXPECT_EQ(Utf16ToUtf8(lone_high), "\xef\xbf\xbdx");
  EXPECT_EQ(Utf16ToUtf8(lone_low), "\xef\xbf\xbd");
}

TEST(TextTest, CutToCp1251CharsCountsCharactersNotBytes) {
  EXPECT_EQ(CutToCp1251Chars("Привет", 3), "При");
  EXPECT_EQ(CutToCp1251Chars("abc", 10), "abc");
  EXPECT_EQ(CutToCp1251Chars("abc", 0), "");
  EXPECT_EQ(CutToCp1251Chars("a中bc", 2), "a中");           // 中 counts as one '?'
  EXPECT_EQ(CutToCp1251Chars("\xff\xfeq", 2), "\xff\xfe");  // so does a bad byte
  const std::string long_text(3000, 'x');
  EXPECT_EQ(Utf8ToCp1251(CutToCp1251Chars(long_text + "Я", 3001)).size(), 3001u);
}

TEST(TextTest, UpperCaseFoldsLatinAndCyrillic) {
  EXPECT_EQ(UpperCaseText("abcxyz АБВ ёлка џ ґ і ї є ў 123 ß"),
            "ABCXYZ АБВ ЁЛКА Џ Ґ І Ї Є Ў 123 ß");
  EXPECT_EQ(UpperCaseText(u"тест ё q"), u"ТЕСТ Ё Q");
  EXPECT_EQ(UpperCaseText("a\xffz"), "A\xffZ");  // bad bytes kept as they are
}

TEST(TextTest, CompareTextNoCase) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"Котельная.T1", "КОТЕЛЬНАЯ.t1", 0},
      {"ёж", "ЁЖ", 0},
      {"Ёж", "Еж", -1},  // Ё is a letter of its own (U+0401, before А), not Е with dots
      {"abc", "ABD", -1},
      {"abc", "ab", 1},
      {"", "", 0},
      {"", "a", -1},
      {"а", "b", 1},  // Cyrillic sorts after Latin by code point
      {"\xff", "\xfe", 1},
  };
  for (const Case& c : cases) {
    const int result = CompareTextNoCase(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
    EXPECT_EQ(SameTextNoCase(c.a, c.b), c.sign == 0) << c.a << " vs " << c.b;
    if (c.sign == 0) {
      EXPECT_EQ(HashTextNoCase(c.a), HashTextNoCase(c.b)) << c.a << " vs " << c.b;
    }
  }
  EXPECT_EQ(HashTextNoCase("\xff\xfe"), HashTextNoCase("\xff\xfe"));
  EXPECT_NE(HashTextNoCase("Котельная.T1"), HashTextNoCase("Котельная.T2"));
  EXPECT_NE(HashTextNoCase("ab"), HashTextNoCase("ba"));
}

}  // namespace
}  // namespace corvid
