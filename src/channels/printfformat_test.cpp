#include "channels/printfformat.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace corvid {
namespace {

std::string Integer(const char* format, std::uint32_t argument) {
  PrintfConversion conv;
  if (!ParsePrintfFormat(format, PrintfKind::kInteger, conv)) return "(refused)";
  return RenderPrintfInteger(conv, argument);
}

std::string Float(const char* format, double value, char separator = '.') {
  PrintfConversion conv;
  if (!ParsePrintfFormat(format, PrintfKind::kFloat, conv)) return "(refused)";
  return RenderPrintfFloat(conv, value, separator);
}

TEST(PrintfFormat, AcceptsExactlyOneConversionOfTheRightKind) {
  const std::pair<const char*, bool> integer[] = {
      {"%d", true},      {"%i", true},    {"%u", true},      {"%x", true},      {"%X", true},
      {"%o", true},      {"%hd", true},   {"%hhu", true},    {"%ld", true},     {"%-+ 05d", true},
      {"%#x", true},     {"%#o", true},   {"%99.99d", true}, {"a%%b%dc", true}, {"%.d", true},
      {"%", false},      {"", false},     {"%%", false},     {"text", false},   {"%d%d", false},
      {"%d%", false},    {"%s", false},   {"%c", false},     {"%n", false},     {"%p", false},
      {"%f", false},     {"%*d", false},  {"%.*d", false},   {"%1$d", false},   {"%100d", false},
      {"%.100d", false}, {"%lld", false}, {"%Ld", false},    {"%jd", false},    {"%zd", false},
      {"%td", false},    {"%qd", false},  {"%I64d", false},  {"%hhhd", false},  {"%#d", false},
      {"%#u", false},    {"%lc", false},  {"%ls", false},    {"%C", false},     {"%S", false},
  };
  for (const auto& [format, ok] : integer) {
    PrintfConversion conv;
    EXPECT_EQ(ParsePrintfFormat(format, PrintfKind::kInteger, conv), ok) << format;
  }
  const std::pair<const char*, bool> floating[] = {
      {"%f", true},  {"%F", true},    {"%e", true},      {"%E", true},   {"%g", true},
      {"%G", true},  {"%a", true},    {"%A", true},      {"%lf", true},  {"%+08.3f", true},
      {"%d", false}, {"%#f", false},  {"%Lf", false},    {"%hf", false}, {"%llf", false},
      {"%s", false}, {"%f%f", false}, {"%.123f", false},
  };
  for (const auto& [format, ok] : floating) {
    PrintfConversion conv;
    EXPECT_EQ(ParsePrintfFormat(format, PrintfKind::kFloat, conv), ok) << format;
  }
}

TEST(PrintfFormat, RendersIntegersLikeC) {
  const struct {
    const char* format;
    std::uint32_t argument;
    const char* expected;
  } cases[] = {
      {"%d", 0, "0"},
      {"%d", 0x80000000u, "-2147483648"},
      {"%u", 0xFFFFFFFFu, "4294967295"},
      {"%i", static_cast<std::uint32_t>(-7), "-7"},
      {"%+d", 7, "+7"},
      {"% d", 7, " 7"},
      {"%+u", 7, "7"},
      {"%5d|", 42, "   42|"},
      {"%-5d|", 42, "42   |"},
      {"%05d", static_cast<std::uint32_t>(-42), "-0042"},
      {"%-05d", 42, "42   "},
      {"%.3d", 7, "007"},
      {"%08.3d", 7, "     007"},
      {"%.0d", 0, ""},
      {"%5.0d", 0, "     "},
      {"%x", 0xBEEF, "beef"},
      {"%X", 0xBEEF, "BEEF"},
      {"%#x", 0, "0"},
      {"%#x", 255, "0xff"},
      {"%#08X", 255, "0X0000FF"},
      {"%o", 8, "10"},
      {"%#o", 8, "010"},
      {"%#.0o", 0, "0"},
      {"%hd", 0x18000, "-32768"},
      {"%hu", 0x18000, "32768"},
      {"%hhd", 0xFF, "-1"},
      {"%hhx", 0x1234, "34"},
      {"%ld", 0xFFFFFFFFu, "-1"},  // long is 32-bit here
      {"[%d%%]", 5, "[5%]"},
  };
  for (const auto& c : cases) EXPECT_EQ(Integer(c.format, c.argument), c.expected) << c.format;
}

TEST(PrintfFormat, RendersFloatsLikeC) {
  const struct {
    const char* format;
    double value;
    const char* expected;
  } cases[] = {
      {"%f", 1.5, "1.500000"},
      {"%.0f", 2.5, "2"},
      {"%.0f", 3.5, "4"},
      {"%.2f", -0.0, "-0.00"},
      {"%+.1f", 1.25, "+1.2"},
      {"% .1f", 1.0, " 1.0"},
      {"%08.2f", -3.14159, "-0003.14"},
      {"%-8.2f|", 3.14159, "3.14    |"},
      {"%e", 12345.678, "1.234568e+04"},
      {"%.2E", 0.000123, "1.23E-04"},
      {"%g", 0.1, "0.1"},
      {"%g", 1.0 / 3, "0.333333333333333"},
      {"%g", 1e20, "1e+20"},
      {"%.3g", 1234.5, "1.23e+03"},
      {"%.0g", 7.0, "7"},
      {"%G", 1e-10, "1E-10"},
      {"%a", 1.5, "0x1.8p+0"},
      {"%.2a", 1.0, "0x1.00p+0"},
      {"%A", -2.0, "-0X1P+1"},
      {"%f", 1.0 / 0.0, "inf"},
      {"%05F", -1.0 / 0.0, " -INF"},
      {"%e", std::nan(""), "nan"},
      {"%.1f", 1e20, "100000000000000000000.0"},
      {"t=%.1f°", 21.25, "t=21.2°"},
  };
  for (const auto& c : cases) EXPECT_EQ(Float(c.format, c.value), c.expected) << c.format;
  EXPECT_EQ(Float("%.1f", 21.3, ','), "21,3");
  EXPECT_EQ(Float("%.1e", 21.3, ','), "2,1e+01");
}

TEST(PrintfFormat, CountsCharactersNotBytes) {
  EXPECT_EQ(TextChars("abc"), 3u);
  EXPECT_EQ(TextChars("5 °C"), 4u);
  EXPECT_EQ(TextChars("Привет"), 6u);
}

#ifndef _WIN32
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

// Random formats from a small alphabet: whatever the parser accepts must render exactly as the C
// library renders it (long is left out: it is 64-bit here).
TEST(PrintfFormat, AcceptedFormatsRenderAsTheCLibraryDoes) {
  std::mt19937 random(20150921);
  const std::string alphabet = "%%%%-+ #0123456789.hdiuxXoffeEgGaAs*$lL";
  int accepted_integer = 0;
  int accepted_float = 0;
  for (int round = 0; round < 200000; ++round) {
    std::string format = "<";
    const int length = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < length; ++k) format += alphabet[random() % alphabet.size()];
    format += ">";
    if (format.find('l') != std::string::npos) continue;
    PrintfConversion conv;
    if (ParsePrintfFormat(format, PrintfKind::kInteger, conv)) {
      ++accepted_integer;
      const std::uint32_t argument = random();
      char expected[512];
      std::snprintf(expected, sizeof expected, format.c_str(), static_cast<int>(argument));
      ASSERT_EQ(RenderPrintfInteger(conv, argument), expected) << format << " " << argument;
    }
    if (ParsePrintfFormat(format, PrintfKind::kFloat, conv)) {
      if (conv.precision < 0 && (conv.conversion == 'g' || conv.conversion == 'G')) continue;
      ++accepted_float;
      const double value = std::ldexp(static_cast<double>(random()) - 2147483648.0,
                                      static_cast<int>(random() % 80) - 40);
      char expected[1024];
      std::snprintf(expected, sizeof expected, format.c_str(), value);
      ASSERT_EQ(RenderPrintfFloat(conv, value, '.'), expected) << format << " " << value;
    }
  }
  EXPECT_GT(accepted_integer, 500);
  EXPECT_GT(accepted_float, 500);
}

#pragma GCC diagnostic pop
#endif

}  // namespace
}  // namespace corvid
