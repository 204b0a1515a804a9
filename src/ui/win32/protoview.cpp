// The log viewer on Win32: its controls and their layout, the events forwarded to TLogViewModel,
// the popup menu, the font dialog, the clipboard and the window state in the store.
#include "ui/win32/protoview.h"

#include <commctrl.h>
#include <commdlg.h>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "settings/viewoptions.h"
#include "ui/model/dpiscale.h"
#include "ui/model/formlayout.h"
#include "ui/model/livingcolumns.h"
#include "ui/model/logline.h"
#include "ui/model/logview.h"
#include "ui/model/messageform.h"
#include "ui/win32/formbounds.h"
#include "ui/win32/gridcolumns.h"
#include "ui/win32/logtable.h"
#include "ui/win32/messageform.h"
#include "ui/win32/pictures.h"
#include "ui/win32/uicommon.h"

namespace corvid::ui {
namespace {

// The busy cursor while a file is read.
class BusyCursor {
 public:
  BusyCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  ~BusyCursor() { SetCursor(previous_); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  HCURSOR previous_;
};

void MoveTo(HWND control, const Box& box) {
  SetWindowPos(control, nullptr, box.left, box.top, box.width, box.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowControl(HWND control, bool show) {
  if ((IsWindowVisible(control) != FALSE) != show) ShowWindow(control, show ? SW_SHOW : SW_HIDE);
}

COLORREF ToColorRef(const std::optional<Rgb>& color, int system_color) {
  return color ? RGB(color->r, color->g, color->b) : GetSysColor(system_color);
}

// The table font as the store keeps it.
LOGFONTW LogFontOf(const ProtoViewOptions& options, int dpi) {
  LOGFONTW font{};
  const std::wstring name = Wide(options.font_name.empty() ? "Tahoma" : options.font_name);
  lstrcpynW(font.lfFaceName, name.c_str(), LF_FACESIZE);
  font.lfHeight = FontHeightFromPoints(options.font_name.empty() ? 8 : options.font_size, dpi);
  font.lfWeight = (options.font_style & kFontStyleBold) != 0 ? FW_BOLD : FW_NORMAL;
  font.lfItalic = (options.font_style & kFontStyleItalic) != 0;
  font.lfUnderline = (options.font_style & kFontStyleUnderline) != 0;
  font.lfStrikeOut = (options.font_style & kFontStyleStrikeOut) != 0;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  return font;
}

void StoreFont(const LOGFONTW& font, int dpi, ProtoViewOptions& options) {
  options.font_name = Narrow(font.lfFaceName);
  options.font_size = FontPointsFromHeight(font.lfHeight, dpi);
  options.font_style =
      (font.lfWeight >= FW_BOLD ? kFontStyleBold : 0) | (font.lfItalic ? kFontStyleItalic : 0) |
      (font.lfUnderline ? kFontStyleUnderline : 0) | (font.lfStrikeOut ? kFontStyleStrikeOut : 0);
}

// "Максимальное количество строк превышено", once at a time. Touches no viewer: the viewer may
// be gone when the modal message returns.
void TellRowLimit() {
  static bool telling = false;
  if (telling) return;
  telling = true;
  ShowInfo("%s", protoview::kRowLimitMessage);
  telling = false;
}

// Tab and Shift+Tab move the focus between the viewer's controls (the program's message loop
// is not a dialog's).
LRESULT CALLBACK TabKeyProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                            DWORD_PTR) {
  if (wparam == VK_TAB && (message == WM_KEYDOWN || message == WM_CHAR)) {
    if (message == WM_KEYDOWN) {
      const bool back = GetKeyState(VK_SHIFT) < 0;
      HWND next = GetNextDlgTabItem(GetParent(control), control, back ? TRUE : FALSE);
      if (next != nullptr) SetFocus(next);
    }
    return 0;
  }
  return DefSubclassProc(control, message, wparam, lparam);
}

class TProtoViewForm;
TProtoViewForm* g_viewer = nullptr;

class TProtoViewForm {
 public:
  // Creates the window hidden, with its state restored; null when it cannot be created.
  static TProtoViewForm* Create(HWND owner, bool live_mode, std::int32_t log_format,
                                TSaveParams* store);
  ~TProtoViewForm();
  TProtoViewForm(const TProtoViewForm&) = delete;
  TProtoViewForm& operator=(const TProtoViewForm&) = delete;

  HWND Handle() const { return window_; }
  // False once the window is gone; kept by callers across modal loops.
  std::shared_ptr<const bool> Alive() const { return alive_; }
  TLogViewModel& Model() { return model_; }
  void ShowFile(const std::string& path);
  std::string SelectFile();
  void Present();
  std::string HintOf(HWND control) const;

 private:
  TProtoViewForm(bool live_mode, std::int32_t log_format, TSaveParams* store)
      : model_(live_mode, log_format), store_(store), scale_(DesignScale::ForScreen()) {}

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  void RestoreState();
  void Layout();
  void UpdateCaptions();
  // The model's rows changed (`reset`: read anew); follows the last row when asked to.
  void Refresh(bool reset, bool new_data);
  void ApplyFontMetrics();
  bool Command(int id, int code);
  void ShowPopupMenu(LPARAM at);
  bool DrawItem(const DRAWITEMSTRUCT& item);
  void FilterByTypeCBDrawItem(const DRAWITEMSTRUCT& item) const;

  void TimerTimer();
  void MoreButtonClick();
  void ClearFilterButtonClick();
  void FilterByTypeCBSelect();
  void FontButtonClick();
  void mClearClick();
  void N30Click();
  void LogSGDblClick(int row);
  void FormDestroy();

  TLogViewModel model_;
  TSaveParams* store_;
  DesignScale scale_;
  HWND window_ = nullptr;
  HWND top_panel_ = nullptr;
  HWND filter_label_ = nullptr;
  HWND filter_edit_ = nullptr;
  HWND clear_filter_ = nullptr;
  HWND type_label_ = nullptr;
  HWND type_filter_ = nullptr;
  HWND goto_new_ = nullptr;
  HWND more_ = nullptr;
  HWND table_group_ = nullptr;
  HWND tooltip_ = nullptr;
  std::unique_ptr<TLogTable> table_;
  std::unique_ptr<TStringGridLivingColumns> columns_;
  HFONT font_ = nullptr;
  HIMAGELIST pictures_ = nullptr;
  std::array<HBITMAP, kPictureCount> menu_pictures_{};
  int filter_label_width_ = 0;
  int type_label_width_ = 0;
  int text_height_ = 0;
  bool* adopted_ = nullptr;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

TProtoViewForm* TProtoViewForm::Create(HWND owner, bool live_mode, std::int32_t log_format,
                                       TSaveParams* store) {
  RegisterWindowClassOnce(kProtoViewClass, WindowProc);
  auto* form = new TProtoViewForm(live_mode, log_format, store);
  bool adopted = false;
  form->adopted_ = &adopted;
  // Without WS_CLIPCHILDREN: the frames paint no inside of their own, the window does.
  const DWORD style = WS_OVERLAPPEDWINDOW;
  const DWORD ex_style = WS_EX_APPWINDOW;  // its own task-bar button although it has an owner
  RECT bounds{0, 0, form->scale_(kProtoViewClientWidth), form->scale_(kProtoViewClientHeight)};
  AdjustWindowRectEx(&bounds, style, FALSE, ex_style);
  HWND window = CreateWindowExW(ex_style, kProtoViewClass, Wide(protoview::kCaption).c_str(), style,
                                CW_USEDEFAULT, CW_USEDEFAULT, bounds.right - bounds.left,
                                bounds.bottom - bounds.top, owner, nullptr, ModuleInstance(), form);
  if (window == nullptr) {
    if (!adopted) delete form;  // otherwise the window's end took it
    return nullptr;
  }
  form->adopted_ = nullptr;
  if (form->table_ == nullptr) {  // the controls could not be made
    DestroyWindow(window);
    return nullptr;
  }
  CenterOver(window, nullptr);
  form->RestoreState();
  SetTimer(window, kProtoViewTimerId, kProtoViewTimerPeriodMs, nullptr);
  return form;
}

TProtoViewForm::~TProtoViewForm() {
  if (font_ != nullptr) DeleteObject(font_);
  if (pictures_ != nullptr) ImageList_Destroy(pictures_);
  for (HBITMAP bitmap : menu_pictures_) {
    if (bitmap != nullptr) DeleteObject(bitmap);
  }
}

void TProtoViewForm::CreateControls() {
  font_ = CreateTahomaFont(scale_);
  HDC dc = GetDC(window_);
  HGDIOBJ old = SelectObject(dc, font_);
  SIZE extent{};
  const std::wstring filter_label = Wide(protoview::kFilterLabel);
  GetTextExtentPoint32W(dc, filter_label.c_str(), static_cast<int>(filter_label.size()), &extent);
  filter_label_width_ = extent.cx + scale_(1);
  const std::wstring type_label = Wide(protoview::kTypeFilterLabel);
  GetTextExtentPoint32W(dc, type_label.c_str(), static_cast<int>(type_label.size()), &extent);
  type_label_width_ = extent.cx + scale_(1);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  text_height_ = metrics.tmHeight;
  SelectObject(dc, old);
  ReleaseDC(window_, dc);

  const RECT none{};
  top_panel_ =
      CreateControl(window_, WC_BUTTONW, "", BS_GROUPBOX | WS_CLIPSIBLINGS, 0, none, kIdTopPanel);
  table_group_ = CreateControl(window_, WC_BUTTONW, model_.GroupCaption(),
                               BS_GROUPBOX | WS_CLIPSIBLINGS, 0, none, kIdTableGroup);
  // Labels as wide as their texts (right-aligned by their places), never wrapped.
  constexpr DWORD kLabel = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
  filter_label_ =
      CreateControl(window_, WC_STATICW, protoview::kFilterLabel, kLabel, 0, none, kIdFilterLabel);
  filter_edit_ = CreateControl(window_, WC_EDITW, "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                               none, kIdFilterEdit);
  clear_filter_ =
      CreateControl(window_, WC_BUTTONW, "", BS_OWNERDRAW, 0, none, kIdClearFilterButton);
  type_label_ = CreateControl(window_, WC_STATICW, protoview::kTypeFilterLabel, kLabel, 0, none,
                              kIdTypeLabel);
  type_filter_ = CreateControl(
      window_, WC_COMBOBOXW, "",
      WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS, 0,
      RECT{0, 0, 10, 200}, kIdFilterByTypeCB);
  for (const char* item : kTypeFilterItems) {
    SendMessageW(type_filter_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
  }
  SendMessageW(type_filter_, CB_SETCURSEL, 0, 0);
  goto_new_ = CreateControl(window_, WC_BUTTONW, protoview::kGotoNewMess,
                            WS_TABSTOP | BS_AUTOCHECKBOX, 0, none, kIdGotoNewMessCB);
  SendMessageW(goto_new_, BM_SETCHECK, BST_CHECKED, 0);
  more_ = CreateControl(window_, WC_BUTTONW, "", BS_OWNERDRAW, 0, none, kIdMoreButton);
  table_ = std::make_unique<TLogTable>(window_, kIdLogSG, scale_, model_.Rows());
  SetFontOnChildren(window_, font_);
  for (HWND control : {filter_edit_, type_filter_, goto_new_, table_->Handle()}) {
    SetWindowSubclass(control, TabKeyProc, 0, 0);
  }
  // The frames lie below the controls they hold.
  for (HWND frame : {table_group_, top_panel_}) {
    SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  ShowWindow(clear_filter_, SW_HIDE);
  ShowWindow(more_, SW_HIDE);
  if (!model_.LiveMode()) ShowWindow(goto_new_, SW_HIDE);

  const int picture_size = scale_(16);
  pictures_ = CreatePictureList(picture_size);
  for (int i = 0; i < kPictureCount; ++i) {
    menu_pictures_[static_cast<std::size_t>(i)] =
        CreatePictureBitmap(static_cast<Picture>(i), picture_size);
  }
  tooltip_ = CreateHintWindow(window_, 0);
  AddHint(tooltip_, window_, clear_filter_, protoview::kClearFilterHint);
  AddHint(tooltip_, window_, more_, protoview::kMoreHint);
  Layout();
}

std::string TProtoViewForm::HintOf(HWND control) const {
  return ui::HintOf(tooltip_, window_, control);
}

void TProtoViewForm::RestoreState() {
  FormBounds bounds = WindowBounds(window_);
  const FormBounds designed = bounds;
  const std::vector<int> current = ColumnWidths(table_->Handle());
  std::vector<std::int32_t> widths(current.size(), LivingColumns::kNoSavedWidth);
  ProtoViewOptions options;
  if (store_ != nullptr) RestoreProtoViewState(*store_, VirtualDesktop(), bounds, widths, options);
  if (!(bounds == designed)) {
    SetWindowPos(window_, nullptr, bounds.left, bounds.top, bounds.width, bounds.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // Columns without saved widths fill the table as it now stands, leaving the room of the
  // vertical scroll bar that a longer log brings.
  RECT table{};
  GetClientRect(table_->Handle(), &table);
  const bool scroll_bar = (GetWindowLongPtrW(table_->Handle(), GWL_STYLE) & WS_VSCROLL) != 0;
  widths =
      LivingColumns::FitColumns(widths, std::vector<std::int32_t>(current.begin(), current.end()),
                                table.right - (scroll_bar ? 0 : GetSystemMetrics(SM_CXVSCROLL)));
  SetColumnWidths(table_->Handle(), std::vector<int>(widths.begin(), widths.end()));
  SendMessageW(goto_new_, BM_SETCHECK, options.goto_new_mess ? BST_CHECKED : BST_UNCHECKED, 0);
  if (!options.text_filter.empty()) {
    SetWindowTextUtf8(filter_edit_, options.text_filter);
    model_.SetFilterText(options.text_filter);
    ShowWindow(clear_filter_, SW_SHOW);
  }
  table_->SetFont(LogFontOf(options, scale_.Dpi()));
  ApplyFontMetrics();
  // The restored widths are the proportions to keep.
  columns_ = std::make_unique<TStringGridLivingColumns>(table_->Handle());
}

void TProtoViewForm::Layout() {
  RECT client{};
  GetClientRect(window_, &client);
  const ProtoViewLayout l = LayOutProtoView(client.right, client.bottom, scale_.Dpi(),
                                            filter_label_width_, type_label_width_, text_height_);
  MoveTo(top_panel_, l.top_panel);
  MoveTo(filter_label_, l.filter_label);
  MoveTo(filter_edit_, l.filter_edit);
  MoveTo(clear_filter_, l.clear_filter);
  MoveTo(type_label_, l.type_label);
  // A drop-down list's window height includes its list.
  Box combo = l.type_filter;
  combo.height +=
      static_cast<int>(kTypeFilterItems.size()) * scale_(kTypeFilterItemHeight) + scale_(4);
  MoveTo(type_filter_, combo);
  MoveTo(goto_new_, l.goto_new);
  MoveTo(more_, l.more);
  MoveTo(table_group_, l.table_group);
  MoveTo(table_->Handle(), l.table);
}

void TProtoViewForm::ApplyFontMetrics() {
  // The table's row height follows its font (TLogTable); the list of levels keeps its items.
  SendMessageW(type_filter_, CB_SETITEMHEIGHT, 0, scale_(kTypeFilterItemHeight));
}

void TProtoViewForm::UpdateCaptions() {
  UpdateWindowTextUtf8(window_, model_.WindowCaption());
  UpdateWindowTextUtf8(table_group_, model_.GroupCaption());
  ShowControl(more_, model_.MoreVisible());
}

void TProtoViewForm::Refresh(bool reset, bool new_data) {
  table_->RowsChanged(reset);
  UpdateCaptions();
  if ((reset || new_data) && SendMessageW(goto_new_, BM_GETCHECK, 0, 0) == BST_CHECKED) {
    table_->SelectLastRow();
  }
}

void TProtoViewForm::ShowFile(const std::string& path) {
  bool loaded = false;
  {
    BusyCursor busy;
    loaded = model_.ShowFile(path);
  }
  if (loaded) Refresh(true, true);
}

std::string TProtoViewForm::SelectFile() {
  std::wstring filter = Wide(protoview::kOpenFilter);
  for (wchar_t& c : filter) {
    if (c == L'|') c = L'\0';
  }
  filter.push_back(L'\0');
  const std::wstring title = Wide(protoview::kOpenTitle);
  const std::wstring extension = Wide(protoview::kOpenDefaultExt);
  std::wstring path(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 2;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrTitle = title.c_str();
  dialog.lpstrDefExt = extension.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                 OFN_ENABLESIZING | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&dialog)) return std::string();
  return Narrow(path.c_str());
}

void TProtoViewForm::Present() {
  if (IsIconic(window_)) {
    ShowWindow(window_, SW_RESTORE);
    return;
  }
  const bool first = !IsWindowVisible(window_);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  if (first) SetFocus(table_->Handle());
}

void TProtoViewForm::ShowPopupMenu(LPARAM at) {
  POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  if (point.x == -1 && point.y == -1) {  // from the keyboard: at the table's corner
    point = POINT{scale_(8), scale_(8)};
    ClientToScreen(table_->Handle(), &point);
  }
  HMENU menu = CreatePopupMenu();
  const auto add = [&](int id, const char* caption, Picture picture) {
    const std::wstring text = Wide(caption);
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_ID | MIIM_STRING | MIIM_BITMAP;
    item.wID = static_cast<UINT>(id);
    item.dwTypeData = const_cast<wchar_t*>(text.c_str());
    item.hbmpItem = menu_pictures_[static_cast<std::size_t>(picture)];
    InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &item);
  };
  if (model_.MoreVisible()) add(kIdMenuMore, protoview::kMenuMore, kPictureLeftArrow);
  if (model_.LiveMode()) add(kIdMenuClear, protoview::kMenuClear, kPictureRedCross);
  add(kIdMenuFont, protoview::kMenuFont, kPictureLetterA);
  add(kIdMenuCopy, protoview::kMenuCopy, kPictureCurvedArrow);
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, point.x, point.y, 0, window_, nullptr);
  DestroyMenu(menu);
}

void TProtoViewForm::FilterByTypeCBDrawItem(const DRAWITEMSTRUCT& item) const {
  if (item.itemID == static_cast<UINT>(-1)) return;
  const auto index = static_cast<std::int32_t>(item.itemID);
  HBRUSH brush = CreateSolidBrush(ToColorRef(TypeFilterItemColor(index), COLOR_WINDOW));
  FillRect(item.hDC, &item.rcItem, brush);
  DeleteObject(brush);
  wchar_t text[64] = {};
  if (SendMessageW(type_filter_, CB_GETLBTEXTLEN, item.itemID, 0) < 64) {
    SendMessageW(type_filter_, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(text));
  }
  TEXTMETRICW metrics{};
  GetTextMetricsW(item.hDC, &metrics);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, RGB(0, 0, 0));
  const int top =
      CenteredTextTop(item.rcItem.top, item.rcItem.bottom - item.rcItem.top, metrics.tmHeight);
  TextOutW(item.hDC, item.rcItem.left + scale_(4), top, text, lstrlenW(text));
  if ((item.itemState & (ODS_SELECTED | ODS_FOCUS)) != 0) DrawFocusRect(item.hDC, &item.rcItem);
}

bool TProtoViewForm::DrawItem(const DRAWITEMSTRUCT& item) {
  if (table_ != nullptr && table_->DrawItem(item)) return true;
  if (item.hwndItem == type_filter_) {
    FilterByTypeCBDrawItem(item);
    return true;
  }
  if (item.hwndItem == clear_filter_) {
    DrawPictureButton(item, pictures_, kPictureRedCross);
    return true;
  }
  if (item.hwndItem == more_) {
    DrawPictureButton(item, pictures_, kPictureLeftArrow);
    return true;
  }
  return false;
}

void TProtoViewForm::TimerTimer() {
  const TLogViewModel::TickResult tick = model_.Tick(WindowTextUtf8(filter_edit_));
  if (tick.reloaded) ShowControl(clear_filter_, tick.show_clear_filter);
  // A read that reached the row limit read the tail anew.
  Refresh(tick.reloaded || tick.read.row_limit, tick.read.new_data);
}

void TProtoViewForm::MoreButtonClick() {
  {
    BusyCursor busy;
    model_.ReadEarlier();
  }
  Refresh(true, true);
  SetFocus(table_->Handle());
}

void TProtoViewForm::ClearFilterButtonClick() {
  SetWindowTextW(filter_edit_, L"");
  {
    BusyCursor busy;
    model_.ClearFilter();
  }
  ShowControl(clear_filter_, false);
  Refresh(true, true);
}

void TProtoViewForm::FilterByTypeCBSelect() {
  const auto item = static_cast<std::int32_t>(SendMessageW(type_filter_, CB_GETCURSEL, 0, 0));
  {
    BusyCursor busy;
    model_.SetTypeFilter(item < 0 ? 0 : item);
  }
  Refresh(true, true);
}

void TProtoViewForm::FontButtonClick() {
  LOGFONTW font = table_->Font();
  CHOOSEFONTW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = window_;
  dialog.lpLogFont = &font;
  dialog.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS;
  if (!ChooseFontW(&dialog)) return;
  table_->SetFont(font);
  ApplyFontMetrics();
}

void TProtoViewForm::mClearClick() {
  model_.ClearLines();
  Refresh(true, false);
}

void TProtoViewForm::N30Click() {
  const std::wstring text = Wide(LogClipboardText(model_.Rows()));
  if (!OpenClipboard(window_)) return;
  EmptyClipboard();
  // Unicode text; the system offers it in the ANSI code page as well.
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (memory != nullptr) {
    void* target = GlobalLock(memory);
    if (target != nullptr) {
      CopyMemory(target, text.c_str(), bytes);
      GlobalUnlock(memory);
      if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

void TProtoViewForm::LogSGDblClick(int row) {
  if (row < 0) row = table_->CurrentRow();
  if (row < 0 || static_cast<std::size_t>(row) >= model_.Rows().size()) return;
  const LogRow& line = model_.Rows()[static_cast<std::size_t>(row)];
  const std::string text = line.text;
  const std::string caption = protoview::EventCaption(line.time);
  // Modal: the viewer may be gone when it returns, so nothing follows.
  ShowMessageForm(window_, text, caption, true);
}

void TProtoViewForm::FormDestroy() {
  KillTimer(window_, kProtoViewTimerId);
  columns_.reset();
  if (store_ != nullptr) {
    ProtoViewOptions options;
    options.goto_new_mess = SendMessageW(goto_new_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    options.text_filter = WindowTextUtf8(filter_edit_);
    StoreFont(table_->Font(), scale_.Dpi(), options);
    const std::vector<int> widths = ColumnWidths(table_->Handle());
    SaveProtoViewState(*store_, WindowBounds(window_),
                       std::vector<std::int32_t>(widths.begin(), widths.end()), options);
    // Written now rather than only at the end of the process, so that a crash keeps it.
    store_->Flush();
  }
  if (g_viewer == this) g_viewer = nullptr;
}

bool TProtoViewForm::Command(int id, int code) {
  switch (id) {
    case kIdMoreButton:
    case kIdMenuMore:
      if (id == kIdMenuMore || code == BN_CLICKED) MoreButtonClick();
      return true;
    case kIdClearFilterButton:
      if (code == BN_CLICKED) ClearFilterButtonClick();
      return true;
    case kIdFilterByTypeCB:
      if (code == CBN_SELCHANGE) FilterByTypeCBSelect();
      return true;
    case kIdMenuClear:
      mClearClick();
      return true;
    case kIdMenuFont:
      FontButtonClick();
      return true;
    case kIdMenuCopy:
      N30Click();
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK TProtoViewForm::WindowProc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* form =
        static_cast<TProtoViewForm*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    form->window_ = window;
    *form->adopted_ = true;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TProtoViewForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    *form->alive_ = false;
    delete form;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return GuardedHandler(window, [&] { return form->Handle(message, wparam, lparam); });
}

LRESULT TProtoViewForm::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      CreateControls();
      return 0;
    case WM_SIZE:
      if (table_ != nullptr && wparam != SIZE_MINIMIZED) Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      info->ptMinTrackSize = POINT{scale_(kProtoViewMinWidth), scale_(kProtoViewMinHeight)};
      return 0;
    }
    case WM_TIMER:
      if (wparam == kProtoViewTimerId) {
        TimerTimer();
        // Last: the message may be modal, and the viewer gone when it returns.
        if (model_.TakeRowLimitNotice()) TellRowLimit();
      }
      return 0;
    case WM_COMMAND: {
      // The font dialog is modal: the viewer may be gone when it returns.
      const std::shared_ptr<const bool> alive = alive_;
      if (Command(LOWORD(wparam), HIWORD(wparam))) {
        if (*alive && model_.TakeRowLimitNotice()) TellRowLimit();  // last, as above
        return 0;
      }
      break;
    }
    case WM_NOTIFY: {
      auto& header = *reinterpret_cast<NMHDR*>(lparam);
      LRESULT result = 0;
      if (table_ != nullptr && table_->Notify(header, result)) return result;
      if (table_ != nullptr && header.hwndFrom == table_->Handle() && header.code == NM_DBLCLK) {
        LogSGDblClick(reinterpret_cast<NMITEMACTIVATE*>(lparam)->iItem);
        return 0;
      }
      break;
    }
    case WM_CONTEXTMENU:
      if (table_ != nullptr && reinterpret_cast<HWND>(wparam) == table_->Handle()) {
        ShowPopupMenu(lparam);
        return 0;
      }
      break;
    case WM_MEASUREITEM: {
      auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
      if (item.CtlType == ODT_COMBOBOX) {
        // The selection field fits the designed height; the list's items are 18 high.
        item.itemHeight = static_cast<UINT>(
            item.itemID == static_cast<UINT>(-1) ? scale_(19) - 6 : scale_(kTypeFilterItemHeight));
        return TRUE;
      }
      if (table_ != nullptr && table_->MeasureItem(item)) return TRUE;
      break;
    }
    case WM_DRAWITEM:
      if (DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lparam))) return TRUE;
      break;
    case WM_CLOSE:
      DestroyWindow(window_);  // closing destroys the viewer; the next use creates a new one
      return 0;
    case WM_DESTROY:
      FormDestroy();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

}  // namespace

bool ShowProtoView(HWND owner, const std::string& file_name, bool live_mode,
                   std::int32_t log_format, TSaveParams* store) {
  if (g_viewer != nullptr) {
    g_viewer->Model().SetLogFormat(log_format);
  } else {
    g_viewer = TProtoViewForm::Create(owner, live_mode, log_format, store);
    if (g_viewer == nullptr) return false;
  }
  TProtoViewForm* viewer = g_viewer;
  const std::shared_ptr<const bool> alive = viewer->Alive();
  std::string path = file_name;
  if (path.empty()) {
    path = viewer->SelectFile();  // modal: the viewer may be gone when it returns
    if (path.empty() || !*alive) return false;
    viewer->Model().SetLogFormat(DetectLogFormat(path));
  }
  viewer->ShowFile(path);
  viewer->Present();
  if (viewer->Model().TakeRowLimitNotice()) TellRowLimit();
  return true;
}

bool ShowProtoView(HWND owner, const std::string& file_name, bool live_mode,
                   std::int32_t log_format) {
  return ShowProtoView(owner, file_name, live_mode, log_format, ParamsStore());
}

void CloseProtoView() {
  if (g_viewer != nullptr) DestroyWindow(g_viewer->Handle());
}

HWND ProtoViewWindow() {
  return g_viewer != nullptr ? g_viewer->Handle() : nullptr;
}

std::string ProtoViewHintOf(HWND control) {
  return g_viewer != nullptr ? g_viewer->HintOf(control) : std::string();
}

}  // namespace corvid::ui
