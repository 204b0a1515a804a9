// Texts that must fit a width: cut at the end with an ellipsis, so that a reader sees that more
// follows (the window then shows the whole text elsewhere, in a hint).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace corvid {

inline constexpr char16_t kEllipsis = u'\u2026';  // "…"

// The width in pixels of a text in the font it is shown in.
using TextMeasure = std::function<std::int32_t(std::u16string_view)>;

// `text` (UTF-8) itself when it is at most `width` wide; otherwise its longest beginning that,
// without trailing blanks and followed by "…", is at most `width` wide ("…" alone when no
// beginning is). Never cuts a character in two.
std::string EllipsizeToWidth(std::string_view text, std::int32_t width, const TextMeasure& measure);

}  // namespace corvid
