// Proportional grid columns.
#include "ui/model/livingcolumns.h"

#include <algorithm>
#include <cstddef>

namespace corvid {

std::int32_t LivingColumns::TotalColumnWidth(const std::vector<std::int32_t>& widths) {
  std::int64_t total = static_cast<std::int64_t>(widths.size());
  for (const std::int32_t w : widths) total += w;
  return static_cast<std::int32_t>(total);
}

std::vector<std::int32_t> LivingColumns::FitColumns(const std::vector<std::int32_t>& widths,
                                                    const std::vector<std::int32_t>& designed,
                                                    std::int32_t available) {
  // A designed width below the minimum counts as the minimum.
  const auto designed_width = [&](std::size_t i) -> std::int64_t {
    return std::max(i < designed.size() ? designed[i] : 0, kMinimumWidth);
  };
  std::vector<std::int32_t> fitted = widths;
  std::vector<std::size_t> unsaved;
  std::int64_t room = available;
  std::int64_t designed_total = 0;
  for (std::size_t i = 0; i < widths.size(); ++i) {
    if (widths[i] >= 0) {
      room -= widths[i];
    } else {
      unsaved.push_back(i);
      designed_total += designed_width(i);
    }
  }
  if (unsaved.empty()) return fitted;
  const std::size_t last = unsaved.back();
  const bool proportional = room - (designed_total - designed_width(last)) < kMinimumWidth;
  std::int64_t given = 0;
  for (const std::size_t i : unsaved) {
    if (i == last) break;
    const std::int64_t width =
        proportional
            ? std::max<std::int64_t>(room * designed_width(i) / designed_total, kMinimumWidth)
            : designed_width(i);
    fitted[i] = static_cast<std::int32_t>(width);
    given += width;
  }
  fitted[last] = static_cast<std::int32_t>(std::max<std::int64_t>(room - given, kMinimumWidth));
  return fitted;
}

void LivingColumns::RecordShares(std::int32_t client_width,
                                 const std::vector<std::int32_t>& widths) {
  recorded_width_ = client_width;
  const std::int32_t total = TotalColumnWidth(widths);
  shares_.assign(widths.size(), 0.0);
  if (total <= 0) return;
  for (std::size_t i = 0; i < widths.size(); ++i) {
    shares_[i] = static_cast<double>(widths[i]) / total;
  }
}

bool LivingColumns::Resize(std::int32_t client_width, bool vertical_scroll_bar,
                           std::int32_t scroll_bar_width, std::vector<std::int32_t>& widths) {
  std::int32_t w = client_width;
  if (w == recorded_width_) return false;
  if (!vertical_scroll_bar) w -= scroll_bar_width;
  const std::int32_t total = TotalColumnWidth(widths);
  if (w < recorded_width_) {
    recorded_width_ = w;
    if (w > total) return false;
  } else if (w > recorded_width_) {
    recorded_width_ = w;
    if (w < total) return false;
  }
  bool changed = false;
  // Columns added after the shares were recorded keep their widths.
  for (std::size_t i = 0; i < widths.size() && i < shares_.size(); ++i) {
    const auto width = static_cast<std::int32_t>(w * shares_[i]);
    changed = changed || width != widths[i];
    widths[i] = width;
  }
  return changed;
}

bool LivingColumns::MouseUp(bool left_button, std::int32_t client_width,
                            std::vector<std::int32_t>& widths) {
  if (!left_button) return false;
  bool changed = false;
  for (std::int32_t& width : widths) {
    if (width < kMinimumWidth) {
      width = kMinimumWidth;
      changed = true;
    }
  }
  RecordShares(client_width, widths);
  return changed;
}

}  // namespace corvid
