// The texts of one field of a tab-separated line, as the item dump writes them and its readers
// expect them: numbers in their shortest exact form, texts with the characters that would end
// the field or the line escaped. Header-only, so that the stand-alone OPC client shares it.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

namespace corvid {

// The shortest text that reads back as the same number.
template <class T>
std::string ShortestText(T value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

// Backslash, tab, CR and LF as \\, \t, \r and \n.
inline std::string EscapedField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace corvid
