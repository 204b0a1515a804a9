// The Win32 window tests: a GoogleTest main with the common controls set up, and the helpers of
// ui_test_support.h.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "ui/win32/ui_test_support.h"
#include "ui/win32/uicommon.h"
#include "util/text.h"

namespace corvid::ui::testing {

std::vector<std::string> LogMessages(const std::string& log_path) {
  std::ifstream in(std::filesystem::path(std::u8string(log_path.begin(), log_path.end())),
                   std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::string> messages;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    const std::size_t text = line.find("  ");  // date, blank, time, two blanks, message
    messages.push_back(Cp1251ToUtf8(text == std::string::npos ? line : line.substr(text + 2)));
    start = end + 2;
  }
  return messages;
}

void Pump(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

bool TakeQuitMessage() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

namespace {
std::string closed_box_text;

BOOL CALLBACK FindThreadMessageBox(HWND window, LPARAM found) {
  wchar_t class_name[16] = {};
  GetClassNameW(window, class_name, 16);
  if (IsWindowVisible(window) && std::wstring(class_name) == L"#32770") {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK CloseMessageBox(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindThreadMessageBox, reinterpret_cast<LPARAM>(&box));
  if (box == nullptr) return;
  closed_box_text = WindowTextUtf8(GetDlgItem(box, 0xFFFF));  // the box's message static
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}
}  // namespace

MessageBoxCloser::MessageBoxCloser() {
  closed_box_text.clear();
  timer_ = SetTimer(nullptr, 0, 50, CloseMessageBox);
}

MessageBoxCloser::~MessageBoxCloser() {
  KillTimer(nullptr, timer_);
}

const std::string& MessageBoxCloser::Text() const {
  return closed_box_text;
}

std::wstring ScreenshotPath(const std::string& name) {
  const std::wstring folder = ScreenshotFolder();
  if (folder.empty()) return {};
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\" + Wide(name);
}

}  // namespace corvid::ui::testing

int wmain(int argc, wchar_t** argv) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
