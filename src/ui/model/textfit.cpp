// Cutting texts to a width with an ellipsis.
#include "ui/model/textfit.h"

#include "util/text.h"

namespace corvid {
namespace {

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

// The first `length` code units without trailing blanks, then "…".
std::u16string CutText(const std::u16string& text, std::size_t length) {
  std::u16string cut = text.substr(0, length);
  while (!cut.empty() && (cut.back() == u' ' || cut.back() == u'\t')) cut.pop_back();
  cut += kEllipsis;
  return cut;
}

}  // namespace

std::string EllipsizeToWidth(std::string_view text, std::int32_t width,
                             const TextMeasure& measure) {
  const std::u16string wide = Utf8ToUtf16(text);
  if (measure(wide) <= width) return std::string(text);
  // The widths of longer beginnings do not shrink: search the longest one that fits.
  std::size_t fits = 0;
  std::size_t too_long = wide.size();
  while (too_long - fits > 1) {
    const std::size_t middle = fits + (too_long - fits) / 2;
    if (measure(CutText(wide, middle)) <= width) {
      fits = middle;
    } else {
      too_long = middle;
    }
  }
  if (fits > 0 && IsHighSurrogate(wide[fits - 1])) --fits;
  return Utf16ToUtf8(CutText(wide, fits));
}

}  // namespace corvid
