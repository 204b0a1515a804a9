// Helpers shared by the product's windows: design sizes scaled to the screen's DPI, UTF-8 texts
// on Win32 controls, the Tahoma dialog font, window-class registration and window screenshots.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <string_view>

namespace corvid::ui {

// Designed at 96 DPI; the windows scale every position and size by the screen's DPI.
inline constexpr int kDesignDpi = 96;

class DesignScale {
 public:
  explicit DesignScale(int dpi = kDesignDpi) : dpi_(dpi) {}
  // The screen's DPI (the system DPI: the process is system DPI aware by its manifest).
  static DesignScale ForScreen();
  int Dpi() const { return dpi_; }
  int operator()(int design) const { return MulDiv(design, dpi_, kDesignDpi); }
  RECT Rect(int left, int top, int width, int height) const;

 private:
  int dpi_;
};

// UTF-8 <-> UTF-16 for Win32 calls.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
std::string WindowTextUtf8(HWND window);
void SetWindowTextUtf8(HWND window, std::string_view utf8);
// Sets the text only when it differs, so an unchanged label does not flicker.
void UpdateWindowTextUtf8(HWND window, std::string_view utf8);

// Tahoma 8 pt (height −11 at 96 DPI), scaled; the caller owns the font.
HFONT CreateTahomaFont(const DesignScale& scale, bool bold = false);
// WM_SETFONT on the window and every child.
void SetFontOnChildren(HWND parent, HFONT font);

// The module holding the windows' code and resources.
HINSTANCE ModuleInstance();

// Registers a window class once per process (later calls with the same name do nothing).
// Background the dialog face colour, the arrow cursor, the product icon.
bool RegisterWindowClassOnce(const wchar_t* class_name, WNDPROC procedure,
                             UINT style = CS_HREDRAW | CS_VREDRAW, int extra_bytes = 0);

// Creates a child control at design coordinates (scaled), with its control id.
HWND CreateControl(HWND parent, const wchar_t* class_name, std::string_view text, DWORD style,
                   DWORD ex_style, const RECT& bounds, int id);

// Hints of a window's controls: one tooltip control for the window (`max_width` pixels per line,
// 0: the system's), and per control its hint text.
HWND CreateHintWindow(HWND owner, int max_width);
void AddHint(HWND tooltip, HWND owner, HWND control, std::string_view hint);
void SetHint(HWND tooltip, HWND owner, HWND control, std::string_view hint);
std::string HintOf(HWND tooltip, HWND owner, HWND control);

// Sizes a top-level window so that its client area has the given size (pixels).
void SetClientSize(HWND window, int width, int height);
// Centres a window over another (or over the work area when `over` is null), kept on screen.
void CenterOver(HWND window, HWND over);

// Loads an icon of this module's resources at the given size (pixels).
HICON LoadIconResource(int resource_id, int size);

// The exception box: the message in a modal box with the error icon, over `owner`.
void ShowExceptionBox(HWND owner, std::string_view message);

// Runs a window's message handler. An exception that escapes it is shown in the exception box
// (one of an unknown kind with an empty message) and the message counts as handled: exceptions
// never cross the system's frames of the message dispatch.
template <typename Handler>
LRESULT GuardedHandler(HWND window, Handler&& handler) {
  try {
    return handler();
  } catch (const std::exception& e) {
    ShowExceptionBox(window, e.what());
  } catch (...) {
    ShowExceptionBox(window, "");
  }
  return 0;
}

// Saves a picture of the window (with its frame) as a PNG file, copied from the screen: the
// window must be visible, on top and painted. False when the picture could not be taken or
// written.
bool SaveWindowPng(HWND window, const std::wstring& path);
// The screenshot folder of the test runs (CORVID_SCREENSHOTS), empty when not set.
std::wstring ScreenshotFolder();

}  // namespace corvid::ui
