// The log viewer's state in params.ini.
#include "settings/viewoptions.h"

namespace corvid {

std::string ParamsIniPath(const std::string& data_folder, char separator) {
  return data_folder + separator + kParamsFileName;
}

void SaveProtoViewState(TSaveParams& store, const FormBounds& bounds,
                        const std::vector<std::int32_t>& column_widths,
                        const ProtoViewOptions& options) {
  SaveFormBounds(store, kProtoViewFormName, bounds);
  SaveColumnWidths(store, kProtoViewFormName, kProtoViewGridName, column_widths);
  store.SetValue("GotoNewMess", options.goto_new_mess);
  store.SetValue("TextFilter", options.text_filter);
  store.SetValue("FontName", options.font_name);
  store.SetValue("FontSize", std::int64_t{options.font_size});
  store.SetValue("FontStyle", std::int64_t{options.font_style});
}

void RestoreProtoViewState(TSaveParams& store, const DesktopRect& desktop, FormBounds& bounds,
                           std::vector<std::int32_t>& column_widths, ProtoViewOptions& options) {
  RestoreFormBounds(store, kProtoViewFormName, desktop, bounds);
  RestoreColumnWidths(store, kProtoViewFormName, kProtoViewGridName, column_widths);
  if (const auto go = store.BoolValue("GotoNewMess")) options.goto_new_mess = *go;
  if (const auto filter = store.Value("TextFilter")) options.text_filter = *filter;
  if (const auto name = store.Value("FontName")) {
    options.font_name = *name;
    if (const auto size = store.IntValue("FontSize")) options.font_size = *size;
    if (const auto style = store.IntValue("FontStyle")) options.font_style = *style & 15;
  }
}

}  // namespace corvid
