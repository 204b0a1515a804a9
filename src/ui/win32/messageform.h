// TMessageForm: the system's one message window. It shows a possibly long text in a read-only
// box, makes the font larger while a short text leaves room or the window larger while a long
// one does not fit, stays on top, and closes with its button, Enter or Esc. At most one exists;
// a new message replaces the one on the screen.
#pragma once

#include <windows.h>

#include <string>

#include "util/log.h"

namespace corvid::ui {

// Window class and control ids, so that tests can find and drive the window.
inline constexpr wchar_t kMessageFormClass[] = L"TMessageForm";
enum MessageFormId : int {
  kIdMessageGroup = 101,
  kIdMessageMemo = 102,
  kIdMessageOk = 103,
};

// Destroys a message window that is open and shows a new one centred over `owner` (none when
// null, or when `owner` is that message window itself); `modal` returns only after it closed,
// with the owner disabled meanwhile. Texts are UTF-8.
void ShowMessageForm(HWND owner, const std::string& text, const std::string& caption, bool modal);

// A modal message over the active window, captioned with the product's title; printf-style,
// UTF-8.
void ShowInfo(const char* format, ...) CORVID_PRINTF(1, 2);

// The open message window, or null.
HWND MessageFormWindow();
// The point size of the box's font as the window fitted it.
int MessageFormFontSize();

}  // namespace corvid::ui
