// uidriver: drives the windows of a running CorvidOpcDa.exe from outside, for the tests under
// Wine. It finds a window by its class, sends it messages, reads texts and takes screenshots.
//
//   uidriver wait CLASS MS             the window exists (exit 0) within MS milliseconds
//   uidriver gone CLASS MS             the window no longer exists within MS milliseconds
//   uidriver visible CLASS             exit 0 when visible, 1 when hidden
//   uidriver wait-visible CLASS 0|1 MS hidden (0) or visible (1) within MS milliseconds
//   uidriver tray-dblclick             the tray icon's double click on the main window
//   uidriver close CLASS               the close box (WM_SYSCOMMAND SC_CLOSE)
//   uidriver command CLASS ID          posts WM_COMMAND ID (a button or menu entry)
//   uidriver text CLASS ID             prints the text of control ID (UTF-8)
//   uidriver wait-text CLASS ID PREFIX MS   the text of control ID begins with PREFIX
//   uidriver wait-change CLASS ID TEXT MS   the text of control ID is neither TEXT nor empty
//   uidriver screenshot CLASS FILE     brings the window to the front and saves it as PNG
//   uidriver screenshot-desktop FILE   saves the whole screen (with the tray) as PNG
#include <windows.h>

#include <cstdio>
#include <string>

#include "ui/win32/mainform.h"
#include "ui/win32/uicommon.h"

namespace {

using corvid::ui::Narrow;
using corvid::ui::WindowTextUtf8;

HWND Find(const std::wstring& class_name) {
  return FindWindowW(class_name.c_str(), nullptr);
}

template <typename Condition>
bool WaitFor(Condition condition, int ms) {
  for (int waited = 0;; waited += 50) {
    if (condition()) return true;
    if (waited >= ms) return false;
    Sleep(50);
  }
}

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "uidriver: %s\n", why.c_str());
  return 1;
}

int Run(int argc, wchar_t** argv) {
  if (argc < 2) return Fail("no command");
  const std::wstring command = argv[1];
  const std::wstring class_name = argc > 2 ? argv[2] : corvid::ui::kMainFormClass;
  auto arg_int = [&](int i) { return argc > i ? _wtoi(argv[i]) : 0; };

  if (command == L"wait") {
    return WaitFor([&] { return Find(class_name) != nullptr; }, arg_int(3)) ? 0 : 1;
  }
  if (command == L"gone") {
    return WaitFor([&] { return Find(class_name) == nullptr; }, arg_int(3)) ? 0 : 1;
  }
  if (command == L"tray-dblclick") {
    HWND main = Find(corvid::ui::kMainFormClass);
    if (main == nullptr) return Fail("no main window");
    SendMessageW(main, corvid::ui::kTrayCallbackMessage, 1, WM_LBUTTONDBLCLK);
    return 0;
  }
  if (command == L"screenshot-desktop") {
    return corvid::ui::SaveWindowPng(GetDesktopWindow(), class_name) ? 0
                                                                     : Fail("screenshot failed");
  }
  HWND window = Find(class_name);
  if (window == nullptr) return Fail("no window of class " + Narrow(class_name));
  if (command == L"visible") return IsWindowVisible(window) ? 0 : 1;
  if (command == L"wait-visible") {
    const bool want = arg_int(3) != 0;
    return WaitFor([&] { return (IsWindowVisible(window) != FALSE) == want; }, arg_int(4)) ? 0 : 1;
  }
  if (command == L"close") {
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
  }
  if (command == L"command") {
    PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(arg_int(3)), 0);
    return 0;
  }
  if (command == L"text") {
    Print(WindowTextUtf8(GetDlgItem(window, arg_int(3))));
    return 0;
  }
  if (command == L"wait-text") {
    const std::string prefix = argc > 4 ? Narrow(argv[4]) : "";
    std::string text;
    const bool found = WaitFor(
        [&] {
          text = WindowTextUtf8(GetDlgItem(window, arg_int(3)));
          return text.rfind(prefix, 0) == 0;
        },
        arg_int(5));
    Print(text);
    return found ? 0 : 1;
  }
  if (command == L"wait-change") {
    const std::string old_text = argc > 4 ? Narrow(argv[4]) : "";
    std::string text;
    const bool changed = WaitFor(
        [&] {
          text = WindowTextUtf8(GetDlgItem(window, arg_int(3)));
          return !text.empty() && text != old_text;
        },
        arg_int(5));
    Print(text);
    return changed ? 0 : 1;
  }
  if (command == L"screenshot") {
    if (argc < 4) return Fail("no file");
    SetForegroundWindow(window);
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);  // the other process paints
    return corvid::ui::SaveWindowPng(window, argv[3]) ? 0 : Fail("screenshot failed");
  }
  return Fail("unknown command " + Narrow(command));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return Run(argc, argv);
}
