// Tests only: helpers for driving the windows in-process: the log in UTF-8, pumping messages,
// closing a message box that a handler opens, and screenshot paths.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace corvid::ui::testing {

// The messages of the log file's lines (the text after the date and time), UTF-8.
std::vector<std::string> LogMessages(const std::string& log_path);

// Dispatches the thread's pending messages for at most `ms` milliseconds (stops early when
// `done` returns true).
template <typename Done>
bool PumpUntil(Done done, DWORD ms) {
  const DWORD start = GetTickCount();
  MSG message;
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));  // kept for the test to see
        return done();
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}
void Pump(DWORD ms);

// True (and removes it) when a WM_QUIT is waiting in the thread's queue.
bool TakeQuitMessage();

// Answers the next message box of this thread with its first button, from within the box's own
// message loop, and keeps its text.
class MessageBoxCloser {
 public:
  MessageBoxCloser();
  ~MessageBoxCloser();
  MessageBoxCloser(const MessageBoxCloser&) = delete;
  MessageBoxCloser& operator=(const MessageBoxCloser&) = delete;
  // The text of the box that was closed; empty when none was seen.
  const std::string& Text() const;

 private:
  UINT_PTR timer_ = 0;
};

// What a push button shows inside its frame (`frame` pixels on each side left out, with the
// focus rectangle), as the button paints itself into memory: whether anything but the face
// colour is drawn, the empty columns left and right of it, the widest run of empty columns
// within it (between picture and caption), and the rows that the ink right of that run (the
// caption) takes.
struct ButtonInk {
  bool any = false;
  int left_room = 0;
  int right_room = 0;
  int widest_gap = 0;
  int caption_rows = 0;
};
ButtonInk InkOfButton(HWND button, int frame);

// Expects the button's picture just before its caption (no more than `spacing` pixels apart,
// allowing for the picture's transparent border), the two centred together, and the caption
// drawn whole.
void ExpectPictureBesideCaption(HWND button, int spacing);

// <CORVID_SCREENSHOTS>/<name>, or empty when screenshots are not asked for.
std::wstring ScreenshotPath(const std::string& name);

}  // namespace corvid::ui::testing
