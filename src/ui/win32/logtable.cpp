// The log viewer's table on a list view: owner data, owner-drawn rows, row height from the font.
#include "ui/win32/logtable.h"

#include <commctrl.h>

#include "ui/model/logline.h"
#include "ui/model/messageform.h"

namespace corvid::ui {
namespace {

COLORREF ToColorRef(const std::optional<Rgb>& color, int system_color) {
  return color ? RGB(color->r, color->g, color->b) : GetSysColor(system_color);
}

}  // namespace

TLogTable::TLogTable(HWND parent, int id, const DesignScale& scale, const std::vector<LogRow>& rows)
    : scale_(scale), rows_(rows) {
  list_ = CreateControl(parent, WC_LISTVIEWW, "",
                        WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_OWNERDRAWFIXED |
                            LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                        WS_EX_CLIENTEDGE, RECT{0, 0, 100, 100}, id);
  SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
               LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  const std::wstring headers[] = {Wide(protoview::kHeaderTime), Wide(protoview::kHeaderEvent)};
  const int widths[] = {scale_(153), scale_(639)};
  for (int i = 0; i < 2; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = widths[i];
    column.pszText = const_cast<wchar_t*>(headers[i].c_str());
    column.iSubItem = i;
    SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
}

TLogTable::~TLogTable() {
  if (font_ != nullptr) DeleteObject(font_);
}

void TLogTable::RowsChanged(bool reset) {
  const auto count = static_cast<WPARAM>(rows_.size());
  if (reset) {
    // No rows first: that drops the selection and the focus without visiting every row.
    SendMessageW(list_, LVM_SETITEMCOUNT, 0, 0);
    SendMessageW(list_, LVM_SETITEMCOUNT, count, 0);
    if (count > 0) SendMessageW(list_, LVM_ENSUREVISIBLE, 0, FALSE);
    InvalidateRect(list_, nullptr, TRUE);
    return;
  }
  SendMessageW(list_, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void TLogTable::SelectLastRow() {
  if (rows_.empty()) return;
  const auto last = static_cast<WPARAM>(rows_.size() - 1);
  LVITEMW state{};
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list_, LVM_SETITEMSTATE, last, reinterpret_cast<LPARAM>(&state));
  SendMessageW(list_, LVM_ENSUREVISIBLE, last, FALSE);
}

int TLogTable::CurrentRow() const {
  const auto row = static_cast<int>(
      SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  return row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1;
}

void TLogTable::SetFont(const LOGFONTW& font) {
  log_font_ = font;
  HFONT created = CreateFontIndirectW(&log_font_);
  if (created == nullptr) return;
  SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(created), TRUE);
  if (font_ != nullptr) DeleteObject(font_);
  font_ = created;
  // The list view asks its parent for the row height again when it is told of a new size.
  RECT bounds{};
  GetWindowRect(list_, &bounds);
  WINDOWPOS position{};
  position.hwnd = list_;
  position.cx = bounds.right - bounds.left;
  position.cy = bounds.bottom - bounds.top;
  position.flags = SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOOWNERZORDER | SWP_NOZORDER;
  SendMessageW(list_, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
  InvalidateRect(list_, nullptr, TRUE);
}

int TLogTable::RowHeight() const {
  int height = log_font_.lfHeight;
  if (height >= 0 && font_ != nullptr) {
    // A cell height (or the default): the character height from the metrics.
    HDC dc = GetDC(list_);
    HGDIOBJ old = SelectObject(dc, font_);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(list_, dc);
    height = metrics.tmHeight - metrics.tmInternalLeading;
  }
  return LogRowHeight(height);
}

bool TLogTable::MeasureItem(MEASUREITEMSTRUCT& item) const {
  if (item.CtlType != ODT_LISTVIEW) return false;
  item.itemHeight = static_cast<UINT>(RowHeight());
  return true;
}

void TLogTable::DrawCell(HDC dc, const RECT& cell, const std::string& text, COLORREF background,
                         COLORREF text_color, int text_height) const {
  // The cell without its grid lines (right and bottom pixel).
  RECT inside{cell.left, cell.top, cell.right - 1, cell.bottom - 1};
  if (inside.right < inside.left) inside.right = inside.left;
  SetBkColor(dc, background);
  SetTextColor(dc, text_color);
  const std::wstring wide = Wide(text);
  const int top = CenteredTextTop(inside.top, inside.bottom - inside.top, text_height);
  ExtTextOutW(dc, inside.left + scale_(2), top, ETO_CLIPPED | ETO_OPAQUE, &inside, wide.c_str(),
              static_cast<UINT>(wide.size()), nullptr);
  HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNFACE));
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, cell.right - 1, cell.top, nullptr);
  LineTo(dc, cell.right - 1, cell.bottom - 1);
  LineTo(dc, cell.left - 1, cell.bottom - 1);
  SelectObject(dc, old);
  DeleteObject(pen);
}

bool TLogTable::DrawItem(const DRAWITEMSTRUCT& item) const {
  if (item.CtlType != ODT_LISTVIEW || item.hwndItem != list_) return false;
  if (item.itemID >= rows_.size()) return true;
  const LogRow& row = rows_[item.itemID];
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  const COLORREF background =
      selected ? GetSysColor(COLOR_HIGHLIGHT) : ToColorRef(LevelColor(row.level), COLOR_WINDOW);
  const COLORREF text_color = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
  HGDIOBJ old_font = SelectObject(item.hDC, font_);
  TEXTMETRICW metrics{};
  GetTextMetricsW(item.hDC, &metrics);
  const int saved = SaveDC(item.hDC);
  int left = item.rcItem.left;
  const std::string* cells[] = {&row.time, &row.text};
  for (int column = 0; column < 2; ++column) {
    const int width = static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, column, 0));
    const RECT cell{left, item.rcItem.top, left + width, item.rcItem.bottom};
    DrawCell(item.hDC, cell, *cells[column], background, text_color, metrics.tmHeight);
    left += width;
  }
  RestoreDC(item.hDC, saved);
  if ((item.itemState & ODS_FOCUS) != 0 && selected) {
    RECT focus{item.rcItem.left, item.rcItem.top, left, item.rcItem.bottom};
    DrawFocusRect(item.hDC, &focus);
  }
  SelectObject(item.hDC, old_font);
  return true;
}

bool TLogTable::Notify(NMHDR& header, LRESULT& result) const {
  if (header.hwndFrom != list_) return false;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& info = reinterpret_cast<NMLVDISPINFOW&>(header);
      LVITEMW& item = info.item;
      if ((item.mask & LVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0) {
        item.pszText[0] = L'\0';
        if (item.iItem >= 0 && static_cast<std::size_t>(item.iItem) < rows_.size()) {
          const LogRow& row = rows_[static_cast<std::size_t>(item.iItem)];
          const std::wstring text = Wide(item.iSubItem == 0 ? row.time : row.text);
          lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
        }
      }
      result = 0;
      return true;
    }
    case LVN_ODFINDITEMW:
      result = -1;
      return true;
    default:
      return false;
  }
}

}  // namespace corvid::ui
