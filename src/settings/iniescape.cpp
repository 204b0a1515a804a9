// The backslash escape of INI values.
#include "settings/iniescape.h"

namespace corvid {
namespace {

// Length of the line break starting at i (2 for CR LF, 1 for a lone CR or LF), 0 when none.
std::size_t BreakAt(std::string_view s, std::size_t i) {
  if (i >= s.size()) return 0;
  if (s[i] == '\r') return (i + 1 < s.size() && s[i + 1] == '\n') ? 2 : 1;
  return s[i] == '\n' ? 1 : 0;
}

}  // namespace

std::string EscapeIniValue(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 8);
  std::size_t i = 0;
  while (i < value.size()) {
    if (const std::size_t len = BreakAt(value, i)) {
      i += len;
      out += '\\';
      // The reader pairs "\" with a following backslash, and drops one blank after "\".
      if (i < value.size() && (value[i] == ' ' || value[i] == '\\' || BreakAt(value, i) != 0)) {
        out += ' ';
      }
      continue;
    }
    if (value[i] == '\\') out += '\\';
    out += value[i];
    ++i;
  }
  return out;
}

std::string UnescapeIniValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '\\') {
      out += text[i++];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      i += 2;
      continue;
    }
    out += "\r\n";
    ++i;
    if (i < text.size() && text[i] == ' ') ++i;
  }
  return out;
}

}  // namespace corvid
