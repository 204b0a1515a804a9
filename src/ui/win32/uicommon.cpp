// Helpers shared by the product's windows.
#include "ui/win32/uicommon.h"

#include <commctrl.h>

#include <cstdlib>

#include "server/product.h"
#include "ui/win32/resource.h"
#include "util/text.h"

namespace corvid::ui {

DesignScale DesignScale::ForScreen() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : kDesignDpi;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return DesignScale(dpi > 0 ? dpi : kDesignDpi);
}

RECT DesignScale::Rect(int left, int top, int width, int height) const {
  const int l = (*this)(left);
  const int t = (*this)(top);
  return RECT{l, t, l + (*this)(width), t + (*this)(height)};
}

std::wstring Wide(std::string_view utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(std::wstring_view utf16) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(utf16.data()), utf16.size()));
}

std::string WindowTextUtf8(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return Narrow(text);
}

void SetWindowTextUtf8(HWND window, std::string_view utf8) {
  SetWindowTextW(window, Wide(utf8).c_str());
}

void UpdateWindowTextUtf8(HWND window, std::string_view utf8) {
  if (WindowTextUtf8(window) != utf8) SetWindowTextUtf8(window, utf8);
}

HFONT CreateTahomaFont(const DesignScale& scale, bool bold) {
  return CreateFontW(-scale(11), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

void SetFontOnChildren(HWND parent, HFONT font) {
  SendMessageW(parent, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM lparam) -> BOOL {
        SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(lparam), FALSE);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(font));
}

HINSTANCE ModuleInstance() {
  return GetModuleHandleW(nullptr);
}

bool RegisterWindowClassOnce(const wchar_t* class_name, WNDPROC procedure, UINT style,
                             int extra_bytes) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(ModuleInstance(), class_name, &existing)) return true;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.style = style;
  window_class.lpfnWndProc = procedure;
  window_class.cbWndExtra = extra_bytes;
  window_class.hInstance = ModuleInstance();
  window_class.hIcon = LoadIconResource(IDI_APP, GetSystemMetrics(SM_CXICON));
  window_class.hIconSm = LoadIconResource(IDI_APP, GetSystemMetrics(SM_CXSMICON));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = class_name;
  return RegisterClassExW(&window_class) != 0;
}

HWND CreateControl(HWND parent, const wchar_t* class_name, std::string_view text, DWORD style,
                   DWORD ex_style, const RECT& bounds, int id) {
  return CreateWindowExW(
      ex_style, class_name, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, bounds.left,
      bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ModuleInstance(), nullptr);
}

HWND CreateHintWindow(HWND owner, int max_width) {
  HWND tooltip =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                      WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, ModuleInstance(), nullptr);
  if (tooltip != nullptr && max_width > 0) {
    SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, max_width);
  }
  return tooltip;
}

namespace {

TTTOOLINFOW ToolOf(HWND owner, HWND control) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  return tool;
}

}  // namespace

void AddHint(HWND tooltip, HWND owner, HWND control, std::string_view hint) {
  TTTOOLINFOW tool = ToolOf(owner, control);
  std::wstring text = Wide(hint);
  tool.lpszText = text.data();
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void SetHint(HWND tooltip, HWND owner, HWND control, std::string_view hint) {
  TTTOOLINFOW tool = ToolOf(owner, control);
  std::wstring text = Wide(hint);
  tool.lpszText = text.data();
  SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::string HintOf(HWND tooltip, HWND owner, HWND control) {
  wchar_t text[512] = {};
  TTTOOLINFOW tool = ToolOf(owner, control);
  tool.lpszText = text;
  SendMessageW(tooltip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
  return Narrow(text);
}

void SetClientSize(HWND window, int width, int height) {
  RECT bounds{0, 0, width, height};
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  const DWORD ex_style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  AdjustWindowRectEx(&bounds, style, GetMenu(window) != nullptr, ex_style);
  SetWindowPos(window, nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CenterOver(HWND window, HWND over) {
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  RECT target = area;
  if (over != nullptr && IsWindowVisible(over)) GetWindowRect(over, &target);
  RECT own{};
  GetWindowRect(window, &own);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  int left = target.left + ((target.right - target.left) - width) / 2;
  int top = target.top + ((target.bottom - target.top) - height) / 2;
  if (left + width > area.right) left = area.right - width;
  if (top + height > area.bottom) top = area.bottom - height;
  if (left < area.left) left = area.left;
  if (top < area.top) top = area.top;
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HICON LoadIconResource(int resource_id, int size) {
  return static_cast<HICON>(LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(resource_id), IMAGE_ICON,
                                       size, size, LR_DEFAULTCOLOR | LR_SHARED));
}

void ShowExceptionBox(HWND owner, std::string_view message) {
  MessageBoxW(owner, Wide(message).c_str(), Wide(kProductTitle).c_str(),
              MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

std::wstring ScreenshotFolder() {
  const wchar_t* folder = _wgetenv(L"CORVID_SCREENSHOTS");
  return folder != nullptr ? std::wstring(folder) : std::wstring();
}

}  // namespace corvid::ui
