// Text encodings (windows-1251, UTF-8, UTF-16) by our own table, and case folding of Latin and
// Cyrillic letters for case-insensitive comparison.
#include "util/text.h"

#include <array>
#include <cstdint>

#include "platform/utf.h"

namespace corvid {
namespace {

// Unicode code points of the windows-1251 bytes 0x80..0xFF. The byte 0x98 has no character in
// the code page; it maps to U+0098 as the system's converter does, so every byte round-trips.
constexpr std::array<char16_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8
};

constexpr char32_t kReplacement = platform::kReplacementChar;
// A byte that does not start a valid UTF-8 sequence decodes as kInvalidByte + the byte (never a
// valid code point, and distinct for distinct bytes so that comparisons stay exact).
constexpr char32_t kInvalidByte = 0x110000;
bool IsInvalidByte(char32_t cp) {
  return cp >= kInvalidByte;
}

char32_t Cp1251ToCodePoint(unsigned char b) {
  return b < 0x80 ? char32_t{b} : char32_t{kCp1251High[b - 0x80]};
}

// The windows-1251 byte of a code point, or '?' when the code page has none.
char CodePointToCp1251(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<char>(0xC0 + (cp - 0x0410));
  for (std::size_t i = 0; i < 0x40; ++i) {
    if (kCp1251High[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Decodes one code point at `pos` and advances it. A byte that does not begin a well-formed
// sequence (overlong, surrogate, beyond U+10FFFF, truncated) yields kInvalidByte + the byte and
// advances by one byte.
char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  std::size_t len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1Fu, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0Fu, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07u, min = 0x10000;
  } else {
    ++pos;
    return kInvalidByte + b0;
  }
  if (s.size() - pos < len) {
    ++pos;
    return kInvalidByte + b0;
  }
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0u) != 0x80u) {
      ++pos;
      return kInvalidByte + b0;
    }
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return kInvalidByte + b0;
  }
  pos += len;
  return cp;
}

char32_t NextCodePoint(std::u16string_view s, std::size_t& pos) {
  return platform::NextUtf16CodePoint(s, pos);
}

using platform::AppendUtf8;

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Upper case of Latin (ASCII and Latin-1) and Cyrillic letters, Ё/ё and the other letters of the
// windows-1251 code page included.
char32_t UpperCodePoint(char32_t cp) {
  if (cp >= U'a' && cp <= U'z') return cp - 0x20;
  if (cp >= 0x00E0 && cp <= 0x00FE && cp != 0x00F7) return cp - 0x20;  // à..þ except ÷
  if (cp >= 0x0430 && cp <= 0x044F) return cp - 0x20;                  // а..я
  if (cp >= 0x0450 && cp <= 0x045F) return cp - 0x50;  // ѐ..џ (ё, ђ, є, і ...)
  if (cp == 0x0491) return 0x0490;                     // ґ
  return cp;
}

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const char32_t cp = NextCodePoint(utf8, pos);
    out += IsInvalidByte(cp) ? '?' : CodePointToCp1251(cp);
  }
  return out;
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
  // Every character of the code page lies in the basic plane: one to three bytes each. The length
  // is counted first, so the text is written in place and holds no spare room.
  std::size_t length = 0;
  for (const char c : cp1251) {
    const char32_t cp = Cp1251ToCodePoint(static_cast<unsigned char>(c));
    length += cp < 0x80 ? 1 : (cp < 0x800 ? 2 : 3);
  }
  std::string out(length, '\0');
  char* p = out.data();
  for (const char c : cp1251) {
    const char32_t cp = Cp1251ToCodePoint(static_cast<unsigned char>(c));
    if (cp < 0x80) {
      *p++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
      *p++ = static_cast<char>(0xC0 | (cp >> 6));
      *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *p++ = static_cast<char>(0xE0 | (cp >> 12));
      *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const char32_t cp = NextCodePoint(utf8, pos);
    AppendUtf16(out, IsInvalidByte(cp) ? kReplacement : cp);
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  return platform::Utf16ToUtf8(utf16);
}

std::u16string Cp1251ToUtf16(std::string_view cp1251) {
  std::u16string out;
  out.reserve(cp1251.size());
  for (const char c : cp1251) {
    out += static_cast<char16_t>(Cp1251ToCodePoint(static_cast<unsigned char>(c)));
  }
  return out;
}

std::string Utf16ToCp1251(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t pos = 0; pos < utf16.size();)
    out += CodePointToCp1251(NextCodePoint(utf16, pos));
  return out;
}

std::string CutToCp1251Chars(std::string_view utf8, std::size_t max_chars) {
  // Every code point and every invalid byte becomes exactly one windows-1251 character.
  std::size_t pos = 0;
  for (std::size_t chars = 0; chars < max_chars && pos < utf8.size(); ++chars) {
    NextCodePoint(utf8, pos);
  }
  return std::string(utf8.substr(0, pos));
}

std::string UpperCaseText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t start = pos;
    const char32_t cp = NextCodePoint(utf8, pos);
    if (IsInvalidByte(cp)) {
      out += utf8[start];  // kept as it is
    } else {
      AppendUtf8(out, UpperCodePoint(cp));
    }
  }
  return out;
}

std::u16string UpperCaseText(std::u16string_view utf16) {
  std::u16string out;
  out.reserve(utf16.size());
  for (const char16_t u : utf16) {
    // Every letter that folds lies in the basic plane; surrogates pass through unchanged.
    out += static_cast<char16_t>(UpperCodePoint(u));
  }
  return out;
}

int CompareTextNoCase(std::string_view a, std::string_view b) {
  std::size_t pa = 0;
  std::size_t pb = 0;
  while (pa < a.size() && pb < b.size()) {
    const char32_t ca = UpperCodePoint(NextCodePoint(a, pa));
    const char32_t cb = UpperCodePoint(NextCodePoint(b, pb));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (pa < a.size()) return 1;
  if (pb < b.size()) return -1;
  return 0;
}

bool SameTextNoCase(std::string_view a, std::string_view b) {
  return CompareTextNoCase(a, b) == 0;
}

std::size_t HashTextNoCase(std::string_view utf8) {
  // FNV-1a over the folded code points, as CompareTextNoCase compares them.
  std::uint64_t hash = 14695981039346656037ull;
  for (std::size_t pos = 0; pos < utf8.size();) {
    hash ^= UpperCodePoint(NextCodePoint(utf8, pos));
    hash *= 1099511628211ull;
  }
  return static_cast<std::size_t>(hash);
}

}  // namespace corvid
