// The message window on Win32: its controls, fitting the text, the modal loop, Enter and Esc.
#include "ui/win32/messageform.h"

#include <commctrl.h>

#include <cstdarg>
#include <cstdio>

#include "server/product.h"
#include "ui/model/dpiscale.h"
#include "ui/model/formlayout.h"
#include "ui/model/messageform.h"
#include "ui/win32/picturebutton.h"
#include "ui/win32/resource.h"
#include "ui/win32/uicommon.h"

namespace corvid::ui {
namespace {

HFONT CreateTahoma(int height) {
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

// Line ends as the edit control wants them: every lone LF or CR becomes CR LF.
std::wstring WithCrLf(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\r') {
      out += L"\r\n";
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    } else if (c == L'\n') {
      out += L"\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

void MoveTo(HWND control, const Box& box) {
  SetWindowPos(control, nullptr, box.left, box.top, box.width, box.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

class TMessageForm;
TMessageForm* g_form = nullptr;

class TMessageForm {
 public:
  TMessageForm(HWND owner, std::string text, std::string caption)
      : owner_(owner),
        text_(std::move(text)),
        caption_(std::move(caption)),
        scale_(DesignScale::ForScreen()),
        limits_(ScaledMessageLimits(scale_.Dpi())) {}
  ~TMessageForm() {
    if (font_ != nullptr) DeleteObject(font_);
    if (button_font_ != nullptr) DeleteObject(button_font_);
    if (memo_font_ != nullptr) DeleteObject(memo_font_);
  }
  TMessageForm(const TMessageForm&) = delete;
  TMessageForm& operator=(const TMessageForm&) = delete;

  // Creates the window hidden; on failure the object is gone.
  static TMessageForm* Create(HWND owner, std::string text, std::string caption);
  HWND Handle() const { return window_; }
  int FontSize() const { return font_size_; }
  void Fit();
  void Show(bool modal);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK KeyProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                  UINT_PTR id, DWORD_PTR self);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  void Layout();
  void SetMemoFont(int points);
  TextFit Measure() const;
  void Close();
  void EnableOwner();

  HWND owner_;
  std::string text_;
  std::string caption_;
  DesignScale scale_;
  MessageWindowLimits limits_;
  HWND window_ = nullptr;
  HWND group_ = nullptr;
  HWND memo_ = nullptr;
  HWND ok_ = nullptr;
  HFONT font_ = nullptr;
  HFONT button_font_ = nullptr;
  HFONT memo_font_ = nullptr;
  PictureButtons buttons_;
  int font_size_ = FontPointsFromHeight(kMessageFontHeight, kDesignDpi);
  bool owner_disabled_ = false;
  bool* adopted_ = nullptr;  // set when the window takes the object over
  bool* ended_ = nullptr;    // set when the window is gone (the modal loop's end)
};

constexpr wchar_t kClassName[] = L"TMessageForm";

TMessageForm* TMessageForm::Create(HWND owner, std::string text, std::string caption) {
  RegisterWindowClassOnce(kClassName, WindowProc);
  auto* form = new TMessageForm(owner, std::move(text), std::move(caption));
  bool adopted = false;
  form->adopted_ = &adopted;
  const DWORD ex_style =
      WS_EX_TOOLWINDOW | WS_EX_TOPMOST | (owner == nullptr ? WS_EX_APPWINDOW : 0);
  RECT bounds{0, 0, form->scale_(kMessageClientWidth), form->scale_(kMessageClientHeight)};
  // Without WS_CLIPCHILDREN: the frame paints no inside of its own, the window does.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
  AdjustWindowRectEx(&bounds, style, FALSE, ex_style);
  HWND window = CreateWindowExW(ex_style, kClassName, Wide(form->caption_).c_str(), style,
                                CW_USEDEFAULT, CW_USEDEFAULT, bounds.right - bounds.left,
                                bounds.bottom - bounds.top, owner, nullptr, ModuleInstance(), form);
  if (window == nullptr) {
    if (!adopted) delete form;  // otherwise the window's end took it
    return nullptr;
  }
  form->adopted_ = nullptr;
  return form;
}

void TMessageForm::CreateControls() {
  font_ = CreateTahoma(scale_(kMessageFontHeight));
  button_font_ = CreateTahoma(scale_(kMessageButtonFontHeight));
  group_ = CreateControl(window_, WC_BUTTONW, "", BS_GROUPBOX | WS_CLIPSIBLINGS, 0, RECT{},
                         kIdMessageGroup);
  memo_ = CreateControl(window_, WC_EDITW, "",
                        ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_NOHIDESEL | WS_TABSTOP,
                        WS_EX_CLIENTEDGE, RECT{}, kIdMessageMemo);
  ok_ =
      CreateControl(window_, WC_BUTTONW, kMessageOkCaption, BS_PUSHBUTTON, 0, RECT{}, kIdMessageOk);
  // The frame lies below the box it holds.
  SetWindowPos(group_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetFontOnChildren(window_, font_);
  SendMessageW(ok_, WM_SETFONT, reinterpret_cast<WPARAM>(button_font_), FALSE);
  // The button's picture, 5 pixels before its caption.
  buttons_.Add(ok_, IDI_OK, scale_(24), scale_(5));
  SetWindowTextW(memo_, WithCrLf(Wide(text_)).c_str());
  for (HWND control : {memo_, ok_}) {
    SetWindowSubclass(control, KeyProc, 0, reinterpret_cast<DWORD_PTR>(this));
  }
  SetMemoFont(font_size_);
  Layout();
}

void TMessageForm::Layout() {
  RECT client{};
  GetClientRect(window_, &client);
  const MessageFormLayout l = LayOutMessageForm(client.right, client.bottom, scale_.Dpi());
  MoveTo(group_, l.group);
  MoveTo(memo_, l.memo);
  MoveTo(ok_, l.ok);
}

void TMessageForm::SetMemoFont(int points) {
  HFONT font = CreateTahoma(FontHeightFromPoints(points, scale_.Dpi()));
  SendMessageW(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (memo_font_ != nullptr) DeleteObject(memo_font_);
  memo_font_ = font;
  font_size_ = points;
}

TextFit TMessageForm::Measure() const {
  TextFit fit;
  fit.lines = static_cast<std::int32_t>(SendMessageW(memo_, EM_GETLINECOUNT, 0, 0));
  RECT format{};
  SendMessageW(memo_, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  HDC dc = GetDC(memo_);
  HGDIOBJ old = SelectObject(dc, memo_font_);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(memo_, dc);
  fit.visible =
      VisibleLineCount(format.bottom - format.top, metrics.tmHeight, metrics.tmExternalLeading);
  return fit;
}

void TMessageForm::Fit() {
  const TextFit fit = Measure();
  if (fit.lines < fit.visible) {
    const int size = FitMessageFontSize(font_size_, [this](std::int32_t points) {
      SetMemoFont(points);
      return Measure();
    });
    if (size != font_size_) SetMemoFont(size);
    return;
  }
  RECT bounds{};
  GetWindowRect(window_, &bounds);
  const WindowSize start{bounds.right - bounds.left, bounds.bottom - bounds.top};
  const WindowSize size = GrowMessageWindow(start, limits_, [this](WindowSize s) {
    SetWindowPos(window_, nullptr, 0, 0, s.width, s.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return Measure();
  });
  SetWindowPos(window_, nullptr, 0, 0, size.width, size.height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMessageForm::Show(bool modal) {
  CenterOver(window_, owner_);
  if (!modal) {
    ShowWindow(window_, SW_SHOW);
    SetFocus(memo_);
    return;
  }
  bool ended = false;
  ended_ = &ended;
  if (owner_ != nullptr && IsWindowEnabled(owner_)) {
    EnableWindow(owner_, FALSE);
    owner_disabled_ = true;
  }
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SetFocus(memo_);
  // `this` is gone once the window is: only the local flag is read after a message.
  MSG message{};
  while (!ended) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the loop further out
      break;
    }
    if (got == -1) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (!ended) ended_ = nullptr;
}

void TMessageForm::EnableOwner() {
  if (!owner_disabled_) return;
  owner_disabled_ = false;
  EnableWindow(owner_, TRUE);
}

void TMessageForm::Close() {
  // The owner is enabled before the window goes, so that it becomes the active window again.
  EnableOwner();
  DestroyWindow(window_);
}

LRESULT CALLBACK TMessageForm::KeyProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR, DWORD_PTR self) {
  if ((message == WM_KEYDOWN || message == WM_CHAR) &&
      (wparam == VK_RETURN || wparam == VK_ESCAPE)) {
    if (message == WM_KEYDOWN) {
      PostMessageW(reinterpret_cast<TMessageForm*>(self)->window_, WM_CLOSE, 0, 0);
    }
    return 0;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

LRESULT CALLBACK TMessageForm::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* form =
        static_cast<TMessageForm*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    form->window_ = window;
    *form->adopted_ = true;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TMessageForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (form->ended_ != nullptr) *form->ended_ = true;
    delete form;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return GuardedHandler(window, [&] { return form->Handle(message, wparam, lparam); });
}

LRESULT TMessageForm::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      CreateControls();
      return 0;
    case WM_SIZE:
      if (group_ != nullptr && wparam != SIZE_MINIMIZED) Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      info->ptMinTrackSize = POINT{limits_.min.width, limits_.min.height};
      info->ptMaxTrackSize = POINT{limits_.max.width, limits_.max.height};
      return 0;
    }
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (buttons_.Notify(*reinterpret_cast<NMHDR*>(lparam), result)) return result;
      return DefWindowProcW(window_, message, wparam, lparam);
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == kIdMessageOk && HIWORD(wparam) == BN_CLICKED) Close();
      return 0;
    case WM_KEYDOWN:
      if (wparam == VK_RETURN || wparam == VK_ESCAPE) Close();
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      EnableOwner();
      if (g_form == this) g_form = nullptr;
      return 0;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

}  // namespace

void ShowMessageForm(HWND owner, const std::string& text, const std::string& caption, bool modal) {
  if (g_form != nullptr && owner == g_form->Handle()) owner = nullptr;
  if (g_form != nullptr) DestroyWindow(g_form->Handle());
  TMessageForm* form = TMessageForm::Create(owner, text, caption);
  if (form == nullptr) return;
  g_form = form;
  form->Fit();
  form->Show(modal);
}

void ShowInfo(const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  ShowMessageForm(GetActiveWindow(), buffer, kProductTitle, true);
}

HWND MessageFormWindow() {
  return g_form != nullptr ? g_form->Handle() : nullptr;
}

int MessageFormFontSize() {
  return g_form != nullptr ? g_form->FontSize() : 0;
}

}  // namespace corvid::ui
