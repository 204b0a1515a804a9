// Window bounds and grid column widths in the window-state store.
#include "settings/savepar.h"

#include <algorithm>
#include <optional>

namespace corvid {

bool FitToDesktop(FormBounds& bounds, const DesktopRect& desktop) {
  constexpr std::int32_t kRejected = -10000;
  if (bounds.left <= kRejected || bounds.top <= kRejected || bounds.width <= kRejected ||
      bounds.height <= kRejected) {
    return false;
  }
  // 64-bit arithmetic: saved values may be anything a user typed into the file.
  const std::int64_t dl = desktop.left, dt = desktop.top, dw = desktop.width, dh = desktop.height;
  const std::int64_t width = std::min<std::int64_t>(bounds.width, dw);
  const std::int64_t height = std::min<std::int64_t>(bounds.height, dh);
  std::int64_t left = std::max<std::int64_t>(bounds.left, dl);
  if ((left - dl) + width > dw) left -= std::min((left - dl) + width - dw, left - dl);
  std::int64_t top = std::max<std::int64_t>(bounds.top, dt);
  if ((top - dt) + height > dh) top -= std::min((top - dt) + height - dh, top - dt);
  bounds = {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
            static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
  return true;
}

TSaveParams& SaveFormBounds(TSaveParams& store, const std::string& form_name,
                            const FormBounds& bounds) {
  store.SetCurrentSection(form_name);
  store.SetValue("Left", std::int64_t{bounds.left});
  store.SetValue("Top", std::int64_t{bounds.top});
  store.SetValue("Width", std::int64_t{bounds.width});
  store.SetValue("Height", std::int64_t{bounds.height});
  return store;
}

TSaveParams& RestoreFormBounds(TSaveParams& store, const std::string& form_name,
                               const DesktopRect& desktop, FormBounds& bounds) {
  store.SetCurrentSection(form_name);
  FormBounds saved;
  std::int32_t* const fields[] = {&saved.left, &saved.top, &saved.width, &saved.height};
  const char* const keys[] = {"Left", "Top", "Width", "Height"};
  for (int i = 0; i < 4; ++i) {
    const std::optional<std::int32_t> value = store.IntValue(keys[i]);
    if (!value) return store;
    *fields[i] = *value;
  }
  if (FitToDesktop(saved, desktop)) bounds = saved;
  return store;
}

std::string ColumnKey(const std::string& grid_name, std::size_t index) {
  return grid_name + "_col" + std::to_string(index + 1);
}

TSaveParams& SaveColumnWidths(TSaveParams& store, const std::string& form_name,
                              const std::string& grid_name,
                              const std::vector<std::int32_t>& widths) {
  store.SetCurrentSection(form_name);
  for (std::size_t i = 0; i < widths.size(); ++i) {
    store.SetValue(ColumnKey(grid_name, i), std::int64_t{widths[i]});
  }
  return store;
}

TSaveParams& RestoreColumnWidths(TSaveParams& store, const std::string& form_name,
                                 const std::string& grid_name, std::vector<std::int32_t>& widths) {
  store.SetCurrentSection(form_name);
  for (std::size_t i = 0; i < widths.size(); ++i) {
    if (const auto width = store.IntValue(ColumnKey(grid_name, i))) {
      widths[i] = std::max(*width, store.MinimumColumnWidth());
    }
  }
  return store;
}

}  // namespace corvid
