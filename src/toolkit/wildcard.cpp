#include "toolkit/wildcard.h"

namespace corvid::toolkit {

namespace {

// Matches one character against the pattern element at `p`; advances `p` past it. False when
// the element does not match.
bool MatchOne(char16_t c, std::u16string_view pattern, std::size_t& p) {
  const char16_t e = pattern[p];
  if (e == u'?') {
    ++p;
    return true;
  }
  if (e == u'#') {
    ++p;
    return c >= u'0' && c <= u'9';
  }
  if (e == u'[') {
    const std::size_t close = pattern.find(u']', p + 1);
    if (close != std::u16string_view::npos) {
      std::size_t i = p + 1;
      const bool negate = i < close && pattern[i] == u'!';
      if (negate) ++i;
      bool in = false;
      for (; i < close; ++i) {
        if (i + 2 < close && pattern[i + 1] == u'-') {
          in = in || (c >= pattern[i] && c <= pattern[i + 2]);
          i += 2;
        } else {
          in = in || c == pattern[i];
        }
      }
      p = close + 1;
      return in != negate;
    }
  }
  ++p;
  return c == e;
}

}  // namespace

bool MatchesFilter(std::u16string_view text, std::u16string_view pattern) {
  if (pattern.empty()) return true;
  std::size_t t = 0;
  std::size_t p = 0;
  std::size_t star_p = std::u16string_view::npos;
  std::size_t star_t = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star_p = ++p;
      star_t = t;
      continue;
    }
    if (p < pattern.size()) {
      std::size_t next = p;
      if (MatchOne(text[t], pattern, next)) {
        p = next;
        ++t;
        continue;
      }
    }
    if (star_p == std::u16string_view::npos) return false;
    p = star_p;  // let the last star take one more character
    t = ++star_t;
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace corvid::toolkit
