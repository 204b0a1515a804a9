// The log viewer's entries in params.ini: its window bounds, the widths of its grid's columns and
// its options, in the section named after the viewer's form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/savepar.h"
#include "settings/saveparams.h"

namespace corvid {

inline constexpr char kParamsFileName[] = "params.ini";
// The smallest column width that the process's store restores.
inline constexpr std::int32_t kParamsMinimumColumnWidth = 20;
inline constexpr char kProtoViewFormName[] = "ProtoViewForm";
inline constexpr char kProtoViewGridName[] = "LogSG";

// Path of params.ini in the data folder (no trailing separator), with the given separator.
std::string ParamsIniPath(const std::string& data_folder, char separator);

// Font style bits as stored under "FontStyle".
inline constexpr std::int32_t kFontStyleBold = 1;
inline constexpr std::int32_t kFontStyleItalic = 2;
inline constexpr std::int32_t kFontStyleUnderline = 4;
inline constexpr std::int32_t kFontStyleStrikeOut = 8;

// What the viewer keeps besides bounds and columns. The type filter is not kept.
struct ProtoViewOptions {
  bool goto_new_mess = true;    // "GotoNewMess"
  std::string text_filter;      // "TextFilter"
  std::string font_name;        // "FontName"
  std::int32_t font_size = 8;   // "FontSize", points
  std::int32_t font_style = 0;  // "FontStyle", the kFontStyle bits
};

// What the viewer saves when it is destroyed, in the order of a new file: bounds, column widths,
// then the options.
void SaveProtoViewState(TSaveParams& store, const FormBounds& bounds,
                        const std::vector<std::int32_t>& column_widths,
                        const ProtoViewOptions& options);

// What the viewer restores at creation. Bounds and widths as RestoreFormBounds and
// RestoreColumnWidths; "GotoNewMess" when present; "TextFilter" when present and not empty;
// the font only when "FontName" is not empty, then "FontSize" and "FontStyle" when valid.
// Fields that are not restored keep the values passed in.
void RestoreProtoViewState(TSaveParams& store, const DesktopRect& desktop, FormBounds& bounds,
                           std::vector<std::int32_t>& column_widths, ProtoViewOptions& options);

}  // namespace corvid
