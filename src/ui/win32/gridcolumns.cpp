// Proportional list view columns on Win32: subclasses of the parent window and of the header.
#include "ui/win32/gridcolumns.h"

#include <commctrl.h>

namespace corvid::ui {

std::vector<int> ColumnWidths(HWND list_view) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list_view, LVM_GETHEADER, 0, 0));
  const int count =
      header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  std::vector<int> widths;
  for (int i = 0; i < count; ++i) {
    widths.push_back(static_cast<int>(SendMessageW(list_view, LVM_GETCOLUMNWIDTH, i, 0)));
  }
  return widths;
}

void SetColumnWidths(HWND list_view, const std::vector<int>& widths) {
  for (std::size_t i = 0; i < widths.size(); ++i) {
    if (static_cast<int>(SendMessageW(list_view, LVM_GETCOLUMNWIDTH, i, 0)) != widths[i]) {
      SendMessageW(list_view, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(widths[i], 0));
    }
  }
}

TStringGridLivingColumns::TStringGridLivingColumns(HWND list_view)
    : grid_(list_view),
      form_(GetParent(list_view)),
      header_(reinterpret_cast<HWND>(SendMessageW(list_view, LVM_GETHEADER, 0, 0))) {
  RecordShares();
  const auto self = reinterpret_cast<DWORD_PTR>(this);
  SetWindowSubclass(form_, FormProc, self, self);
  if (header_ != nullptr) SetWindowSubclass(header_, HeaderProc, self, self);
}

TStringGridLivingColumns::~TStringGridLivingColumns() {
  const auto self = reinterpret_cast<UINT_PTR>(this);
  RemoveWindowSubclass(form_, FormProc, self);
  if (header_ != nullptr) RemoveWindowSubclass(header_, HeaderProc, self);
}

int TStringGridLivingColumns::ClientWidth() const {
  RECT client{};
  GetClientRect(grid_, &client);
  return client.right - client.left;
}

void TStringGridLivingColumns::RecordShares() {
  std::vector<int> widths = ColumnWidths(grid_);
  columns_.RecordShares(ClientWidth(), std::vector<std::int32_t>(widths.begin(), widths.end()));
}

int TStringGridLivingColumns::TotalColumnWidth() const {
  const std::vector<int> widths = ColumnWidths(grid_);
  return LivingColumns::TotalColumnWidth(std::vector<std::int32_t>(widths.begin(), widths.end()));
}

void TStringGridLivingColumns::FormResized() {
  const std::vector<int> current = ColumnWidths(grid_);
  std::vector<std::int32_t> widths(current.begin(), current.end());
  const bool scroll_bar = (GetWindowLongPtrW(grid_, GWL_STYLE) & WS_VSCROLL) != 0;
  if (columns_.Resize(ClientWidth(), scroll_bar, GetSystemMetrics(SM_CXVSCROLL), widths)) {
    SetColumnWidths(grid_, std::vector<int>(widths.begin(), widths.end()));
  }
}

void TStringGridLivingColumns::MouseUp(bool left_button) {
  const std::vector<int> current = ColumnWidths(grid_);
  std::vector<std::int32_t> widths(current.begin(), current.end());
  if (columns_.MouseUp(left_button, ClientWidth(), widths)) {
    SetColumnWidths(grid_, std::vector<int>(widths.begin(), widths.end()));
  }
}

LRESULT CALLBACK TStringGridLivingColumns::FormProc(HWND window, UINT message, WPARAM wparam,
                                                    LPARAM lparam, UINT_PTR, DWORD_PTR self) {
  // The form places its controls first; the columns follow the list view's new width.
  const LRESULT result = DefSubclassProc(window, message, wparam, lparam);
  if (message == WM_SIZE && wparam != SIZE_MINIMIZED) {
    reinterpret_cast<TStringGridLivingColumns*>(self)->FormResized();
  }
  return result;
}

LRESULT CALLBACK TStringGridLivingColumns::HeaderProc(HWND window, UINT message, WPARAM wparam,
                                                      LPARAM lparam, UINT_PTR, DWORD_PTR self) {
  // A column dragged by the user has its new width once the header has taken the release.
  const LRESULT result = DefSubclassProc(window, message, wparam, lparam);
  if (message == WM_LBUTTONUP) reinterpret_cast<TStringGridLivingColumns*>(self)->MouseUp(true);
  return result;
}

}  // namespace corvid::ui
