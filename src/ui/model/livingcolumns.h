// The proportions of a grid's columns: columns that fit the grid stretch and shrink with it,
// columns that the user made wider than the grid are left alone when it grows, and a column
// resized by the user becomes the new proportion. The grid's window feeds its sizes in and
// applies the widths that come out.
#pragma once

#include <cstdint>
#include <vector>

namespace corvid {

class LivingColumns {
 public:
  static constexpr std::int32_t kMinimumWidth = 30;
  // A column whose width was not saved (FitColumns).
  static constexpr std::int32_t kNoSavedWidth = -1;

  // Sum of the widths plus the column count (the lines between cells).
  static std::int32_t TotalColumnWidth(const std::vector<std::int32_t>& widths);

  // The widths of a grid's columns when some have no saved width (negative in `widths`), for a
  // grid `available` pixels wide: saved widths stay; the columns without one take their
  // `designed` widths, and the last of them the rest of `available`, so that the columns fill
  // the grid without a horizontal scroll bar. When that would leave the last one narrower than
  // kMinimumWidth, those columns share the room in their designed proportions instead.
  static std::vector<std::int32_t> FitColumns(const std::vector<std::int32_t>& widths,
                                              const std::vector<std::int32_t>& designed,
                                              std::int32_t available);

  // Takes the current widths as the proportions to keep for a grid `client_width` wide.
  void RecordShares(std::int32_t client_width, const std::vector<std::int32_t>& widths);

  // The grid's window was resized; true when `widths` were changed. Without a vertical scroll
  // bar its width is kept free.
  bool Resize(std::int32_t client_width, bool vertical_scroll_bar, std::int32_t scroll_bar_width,
              std::vector<std::int32_t>& widths);

  // A mouse button was released over the grid: after the left one, columns narrower than 30
  // are widened to 30 and the widths become the new proportions. True when widths changed.
  bool MouseUp(bool left_button, std::int32_t client_width, std::vector<std::int32_t>& widths);

  std::int32_t RecordedWidth() const { return recorded_width_; }
  const std::vector<double>& Shares() const { return shares_; }

 private:
  std::vector<double> shares_;
  std::int32_t recorded_width_ = 0;
};

}  // namespace corvid
