// The message window's sizing arithmetic: the font grows while a short text leaves room, the
// window grows while a long text does not fit. Measuring the text is the window's job; it is
// passed in as a function.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvid {

// Display lines of the text after word wrap, and lines the box shows.
struct TextFit {
  std::int32_t lines = 0;
  std::int32_t visible = 0;
};

// Fonts at 96 DPI (pixel heights): the window's and its memo's, and the button's.
inline constexpr std::int32_t kMessageFontHeight = -13;
inline constexpr std::int32_t kMessageButtonFontHeight = -16;
inline constexpr char kMessageOkCaption[] = "ОК";
// Points of the memo's font grow up to this size.
inline constexpr std::int32_t kMessageMaxFontSize = 16;
inline constexpr std::int32_t kMessageMinWidth = 400;
inline constexpr std::int32_t kMessageMinHeight = 180;
inline constexpr std::int32_t kMessageMaxWidth = 800;
inline constexpr std::int32_t kMessageMaxHeight = 600;
inline constexpr std::int32_t kMessageGrowSteps = 10;
inline constexpr std::int32_t kMessageGrowWidth = 15;
inline constexpr std::int32_t kMessageGrowHeight = 20;

// The font size for a text that fits at `size`: grown one point at a time while lines remain
// free, up to 16; one point back when the last step made the text overflow. A text that does
// not fit keeps `size`.
std::int32_t FitMessageFontSize(std::int32_t size,
                                const std::function<TextFit(std::int32_t size)>& measure);

struct WindowSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const WindowSize&) const = default;
};
// The window's size limits and growth step (frame included), designed at 96 DPI.
struct MessageWindowLimits {
  WindowSize min{kMessageMinWidth, kMessageMinHeight};
  WindowSize max{kMessageMaxWidth, kMessageMaxHeight};
  WindowSize step{kMessageGrowWidth, kMessageGrowHeight};
};
MessageWindowLimits ScaledMessageLimits(std::int32_t dpi);

// The window size for a text that does not fit: at most 10 steps of 15 × 20 pixels (at 96 DPI)
// while it does not, never beyond 800 × 600.
WindowSize GrowMessageWindow(WindowSize size, const MessageWindowLimits& limits,
                             const std::function<TextFit(WindowSize size)>& measure);
inline WindowSize GrowMessageWindow(WindowSize size,
                                    const std::function<TextFit(WindowSize size)>& measure) {
  return GrowMessageWindow(size, MessageWindowLimits{}, measure);
}

// Lines a box shows: the height of its formatting rectangle divided by the line height
// (character height + external leading); 0 for a line height of 0 or less.
std::int32_t VisibleLineCount(std::int32_t rect_height, std::int32_t char_height,
                              std::int32_t external_leading);

// Top of a text drawn vertically centred in a cell.
inline std::int32_t CenteredTextTop(std::int32_t top, std::int32_t cell_height,
                                    std::int32_t text_height) {
  return top + (cell_height - text_height) / 2;
}

}  // namespace corvid
