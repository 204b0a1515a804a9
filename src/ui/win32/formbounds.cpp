// Window bounds in the window-state store for Win32 windows.
#include "ui/win32/formbounds.h"

namespace corvid::ui {
namespace {
TSaveParams* params_store = nullptr;
}  // namespace

TSaveParams* ParamsStore() {
  return params_store;
}
void SetParamsStore(TSaveParams* store) {
  params_store = store;
}

FormBounds WindowBounds(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return FormBounds{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

DesktopRect VirtualDesktop() {
  return DesktopRect{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                     GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

void SaveWindowBounds(TSaveParams& store, HWND window, const std::string& form_name) {
  SaveFormBounds(store, form_name, WindowBounds(window));
}

bool RestoreWindowBounds(TSaveParams& store, HWND window, const std::string& form_name) {
  const FormBounds before = WindowBounds(window);
  FormBounds bounds = before;
  RestoreFormBounds(store, form_name, VirtualDesktop(), bounds);
  if (bounds == before) return false;
  SetWindowPos(window, nullptr, bounds.left, bounds.top, bounds.width, bounds.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

}  // namespace corvid::ui
