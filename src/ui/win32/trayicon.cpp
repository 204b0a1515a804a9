// The tray icon through Shell_NotifyIcon.
#include "ui/win32/trayicon.h"

#include "ui/win32/resource.h"
#include "ui/win32/uicommon.h"

namespace corvid::ui {
namespace {
constexpr UINT kTrayIconId = 1;
}  // namespace

HICON TrayIcon::Picture(std::int32_t image) {
  static constexpr int kResources[] = {IDI_TRAY_GREEN, IDI_TRAY_YELLOW, IDI_TRAY_RED};
  if (image < 0 || image > 2) return nullptr;
  return LoadIconResource(kResources[image], GetSystemMetrics(SM_CXSMICON));
}

NOTIFYICONDATAW TrayIcon::Data(UINT flags) const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = owner_;
  data.uID = kTrayIconId;
  data.uFlags = flags;
  data.uCallbackMessage = kTrayCallbackMessage;
  data.hIcon = Picture(image_);
  // The hint is cut to what the shell holds.
  lstrcpynW(data.szTip, hint_.c_str(), static_cast<int>(std::size(data.szTip)));
  return data;
}

bool TrayIcon::Add(HWND owner, std::int32_t image, const std::string& hint) {
  owner_ = owner;
  image_ = image;
  hint_ = Wide(hint);
  return Readd();
}

bool TrayIcon::Readd() {
  if (owner_ == nullptr) return false;
  NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  added_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
  return added_;
}

void TrayIcon::Remove() {
  if (!added_) return;
  NOTIFYICONDATAW data = Data(0);
  Shell_NotifyIconW(NIM_DELETE, &data);
  added_ = false;
}

bool TrayIcon::SetImage(std::int32_t image) {
  image_ = image;
  if (!added_) return false;
  NOTIFYICONDATAW data = Data(NIF_ICON);
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool TrayIcon::SetHint(const std::string& hint) {
  hint_ = Wide(hint);
  if (!added_) return false;
  NOTIFYICONDATAW data = Data(NIF_TIP);
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

}  // namespace corvid::ui
