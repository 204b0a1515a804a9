// The log viewer (TProtoViewForm): a text log as a table of time and event, each row coloured by
// its level; reads the tail of a large file and earlier records on request, follows the file
// while it grows, filters by text and by level, shows an event in the message window on double
// click, copies the table to the clipboard, and keeps its bounds, column widths, font and options
// in the window-state store. At most one viewer exists.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "settings/saveparams.h"

namespace corvid::ui {

// Window class, control, menu and timer ids, so that tests can find and drive the window.
inline constexpr wchar_t kProtoViewClass[] = L"TProtoViewForm";
enum ProtoViewId : int {
  kIdTopPanel = 101,
  kIdFilterLabel = 102,
  kIdFilterEdit = 103,
  kIdClearFilterButton = 104,
  kIdTypeLabel = 105,
  kIdFilterByTypeCB = 106,
  kIdGotoNewMessCB = 107,
  kIdMoreButton = 108,
  kIdTableGroup = 109,
  kIdLogSG = 110,
  kIdMenuMore = 201,   // "Прочитать записи ранее"
  kIdMenuClear = 202,  // "Очистить"
  kIdMenuFont = 203,   // "Шрифт"
  kIdMenuCopy = 204,   // "Копировать в буфер обмена"
};
inline constexpr UINT_PTR kProtoViewTimerId = 1;
inline constexpr UINT kProtoViewTimerPeriodMs = 1000;

// Shows the viewer on `file_name` (UTF-8), creating it owned by `owner` when there is none. An
// empty name asks for a file in the open dialog (false when the user cancels) and takes its
// format from the name. A file already shown is not read again. Window state and options come
// from and go to the process's store (ParamsStore), or `store` where given (may be null: nothing
// is kept). `live_mode` (follow the file) counts only when the viewer is created; `log_format`:
// 1 this program's log, 2 the polling library's, 3 syslog-style.
bool ShowProtoView(HWND owner, const std::string& file_name, bool live_mode,
                   std::int32_t log_format);
bool ShowProtoView(HWND owner, const std::string& file_name, bool live_mode,
                   std::int32_t log_format, TSaveParams* store);

// Closes the viewer (it is destroyed and saves its state); nothing when there is none.
void CloseProtoView();
// The viewer's window, or null.
HWND ProtoViewWindow();
// The hint of one of the viewer's controls, as its tooltip shows it.
std::string ProtoViewHintOf(HWND control);

}  // namespace corvid::ui
