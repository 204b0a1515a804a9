// Font and window fitting of the message window.
#include "ui/model/messageform.h"

#include <algorithm>

#include "ui/model/dpiscale.h"

namespace corvid {

std::int32_t FitMessageFontSize(std::int32_t size,
                                const std::function<TextFit(std::int32_t size)>& measure) {
  TextFit fit = measure(size);
  if (fit.lines >= fit.visible) return size;
  while (fit.lines < fit.visible && size < kMessageMaxFontSize) {
    ++size;
    fit = measure(size);
  }
  if (fit.lines > fit.visible) --size;
  return size;
}

MessageWindowLimits ScaledMessageLimits(std::int32_t dpi) {
  const auto s = [dpi](WindowSize design) {
    return WindowSize{ScaleToDpi(design.width, dpi), ScaleToDpi(design.height, dpi)};
  };
  const MessageWindowLimits design;
  return MessageWindowLimits{s(design.min), s(design.max), s(design.step)};
}

WindowSize GrowMessageWindow(WindowSize size, const MessageWindowLimits& limits,
                             const std::function<TextFit(WindowSize size)>& measure) {
  for (std::int32_t step = 0; step < kMessageGrowSteps; ++step) {
    const TextFit fit = measure(size);
    if (fit.lines <= fit.visible) break;
    const WindowSize grown{std::min(size.width + limits.step.width, limits.max.width),
                           std::min(size.height + limits.step.height, limits.max.height)};
    if (grown == size) break;
    size = grown;
  }
  return size;
}

std::int32_t VisibleLineCount(std::int32_t rect_height, std::int32_t char_height,
                              std::int32_t external_leading) {
  const std::int32_t line = char_height + external_leading;
  return line > 0 ? rect_height / line : 0;
}

}  // namespace corvid
