// Saving and restoring a window's bounds and a grid's column widths in the window-state store,
// and fitting saved bounds to the desktop. Windows are described by plain values, so the
// windowing code only reads and applies them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/saveparams.h"

namespace corvid {

struct FormBounds {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const FormBounds&) const = default;
};

// The virtual desktop (all monitors).
struct DesktopRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// Values of −10000 or less (a minimised window's position) reject the bounds: false, `bounds`
// unchanged. Otherwise the size is cut to the desktop and the window moved left and up until it
// fits, never beyond the desktop's left or top edge; true.
bool FitToDesktop(FormBounds& bounds, const DesktopRect& desktop);

// Each sets CurrentSection to the form's name and returns the store.
// "Left", "Top", "Width", "Height".
TSaveParams& SaveFormBounds(TSaveParams& store, const std::string& form_name,
                            const FormBounds& bounds);
// Applies the saved bounds, fitted to the desktop, to `bounds`; absent or non-integer values or
// a rejected fit leave `bounds` unchanged.
TSaveParams& RestoreFormBounds(TSaveParams& store, const std::string& form_name,
                               const DesktopRect& desktop, FormBounds& bounds);

// Key of column i (0-based): the grid's name, "_col" and i + 1.
std::string ColumnKey(const std::string& grid_name, std::size_t index);
// The form is the grid's owner; its name is the section.
TSaveParams& SaveColumnWidths(TSaveParams& store, const std::string& form_name,
                              const std::string& grid_name,
                              const std::vector<std::int32_t>& widths);
// A saved width below MinimumColumnWidth is raised to it; absent keys leave their column alone.
TSaveParams& RestoreColumnWidths(TSaveParams& store, const std::string& form_name,
                                 const std::string& grid_name, std::vector<std::int32_t>& widths);

}  // namespace corvid
