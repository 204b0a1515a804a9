// UTF-8 and UTF-16 code-point primitives, shared by the platform seam and the text conversions of
// util/text.h (which sit above the platform and build on these).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvid::platform {

inline constexpr char32_t kReplacementChar = 0xFFFD;

// Decodes one code point of UTF-16 at `pos` and advances it; unpaired surrogates give U+FFFD.
inline char32_t NextUtf16CodePoint(std::u16string_view s, std::size_t& pos) {
  const char16_t u = s[pos++];
  if (u < 0xD800 || u > 0xDFFF) return u;
  if (u <= 0xDBFF && pos < s.size() && s[pos] >= 0xDC00 && s[pos] <= 0xDFFF) {
    const char16_t low = s[pos++];
    return 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
  }
  return kReplacementChar;
}

inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

inline std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 2);
  for (std::size_t pos = 0; pos < utf16.size();) AppendUtf8(out, NextUtf16CodePoint(utf16, pos));
  return out;
}

}  // namespace corvid::platform
