// Window bounds in the window-state store (params.ini) for Win32 windows, and the process's one
// store, ParamsStore: created by the process entry before the first window, written when it is
// destroyed at the end of the process.
#pragma once

#include <windows.h>

#include <string>

#include "settings/savepar.h"
#include "settings/saveparams.h"

namespace corvid::ui {

// The process's store; null when none was set (then nothing is saved or restored).
TSaveParams* ParamsStore();
void SetParamsStore(TSaveParams* store);

// The window's bounds in screen pixels (a minimised window gives its far-away position, which
// a later restore rejects).
FormBounds WindowBounds(HWND window);
// All monitors.
DesktopRect VirtualDesktop();

// "Left", "Top", "Width", "Height" in the section `form_name`.
void SaveWindowBounds(TSaveParams& store, HWND window, const std::string& form_name);
// Moves the window to the saved bounds fitted to the desktop. False (window unchanged) when the
// values are absent, not integers or rejected, or when they are the window's bounds already.
bool RestoreWindowBounds(TSaveParams& store, HWND window, const std::string& form_name);

}  // namespace corvid::ui
