// The notification-area (tray) icon of a window: one of the three tray pictures and a hint, with
// mouse events sent to the window as kTrayCallbackMessage (lparam: the mouse message).
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <string>

namespace corvid::ui {

inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;

class TrayIcon {
 public:
  TrayIcon() = default;
  ~TrayIcon() { Remove(); }
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Shows the icon with picture `image` (a TrayIcon index of the status model) for `owner`.
  bool Add(HWND owner, std::int32_t image, const std::string& hint);
  // Adds the icon again after the shell restarted (its "TaskbarCreated" message).
  bool Readd();
  void Remove();
  bool SetImage(std::int32_t image);
  bool SetHint(const std::string& hint);
  std::int32_t Image() const { return image_; }

  // The small icon of a tray picture, from the resources; null for an unknown index.
  static HICON Picture(std::int32_t image);

 private:
  NOTIFYICONDATAW Data(UINT flags) const;

  HWND owner_ = nullptr;
  bool added_ = false;
  std::int32_t image_ = 0;
  std::wstring hint_;
};

}  // namespace corvid::ui
