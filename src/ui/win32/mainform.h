// TformMain: the main window. Hidden at start behind its tray icon; once a second it reads the
// server's state, sets the tray picture and hint and, while visible, the status rows. It opens
// the settings dialog and the log viewer, and ends the program on the operator's command or when
// the server thread has finished by itself. Closing it with the close box only hides it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <optional>
#include <string>

#include "server/config.h"
#include "ui/model/mainstatus.h"
#include "ui/win32/picturebutton.h"
#include "ui/win32/trayicon.h"

namespace corvid::ui {

// Window class, control and menu ids, so that tests can find and drive the window. The installer
// ends a running program as the operator's exit does, with kIdMenuExit to the window of this
// class (installer/CorvidOpcDa.nsi): keep both.
inline constexpr wchar_t kMainFormClass[] = L"TformMain";
enum MainFormId : int {
  kIdServerAddr = 101,  // value statics, rows top to bottom
  kIdServerStatus = 102,
  kIdTagCount = 103,
  kIdClients = 104,
  kIdActiveTags = 105,
  kIdSetupButton = 201,
  kIdLogButton = 202,
  kIdExitButton = 203,
  kIdMenuShow = 301,
  kIdMenuExit = 302,
};
inline constexpr UINT_PTR kMainTimerId = 1;
inline constexpr UINT kMainTimerPeriodMs = 1000;

// What the window reads and edits; the server thread in the product, a fake in tests.
class MainFormHost {
 public:
  virtual ~MainFormHost() = default;
  // The values shown, read once per use; without the address row's values.
  virtual ServerSnapshot Snapshot() = 0;
  // Adds the address row's values (HOST, PORT, NAME of the configuration record); read only
  // while the window is shown, long after the server thread has read the record.
  virtual void ReadAddress(ServerSnapshot& snapshot) = 0;
  // A copy of the configuration record for the settings dialog, and its file; none: no dialog.
  virtual std::optional<ServerConfig> ConfigCopy() = 0;
  // The record as the dialog stored it ("ОК").
  virtual void ApplyConfig(const ServerConfig& config) = 0;
  virtual std::string ConfigPath() = 0;
  // The program's log file, shown by the log viewer.
  virtual std::string LogPath() = 0;
  // The session ends: stop the server before the process is ended.
  virtual void EndSession() {}
};

// The host of the product: ServerThreadInstance.
class ServerThreadHost : public MainFormHost {
 public:
  ServerSnapshot Snapshot() override;
  void ReadAddress(ServerSnapshot& snapshot) override;
  std::optional<ServerConfig> ConfigCopy() override;
  void ApplyConfig(const ServerConfig& config) override;
  std::string ConfigPath() override;
  std::string LogPath() override;
  void EndSession() override;
};

class TformMain {
 public:
  explicit TformMain(MainFormHost& host);
  ~TformMain();
  TformMain(const TformMain&) = delete;
  TformMain& operator=(const TformMain&) = delete;

  // Creates the window hidden, with its tray icon and timer. False when it cannot be created.
  bool Create();
  HWND Handle() const { return window_; }
  bool ExitRequested() const { return exit_requested_; }
  // The tray picture and hint as last handed to the shell.
  const TrayState& Tray() const { return tray_state_; }

  // The timer's work, callable directly by tests.
  void TimerTimer();
  // The hint of a control, as its tooltip shows it.
  std::string HintOf(HWND control) const;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  void CreateControls();
  void Layout();
  void FormClose();
  void ShowMainWindowClick();
  void SetupButtonClick();
  void LogButtonClick();
  void mExitClick();
  void ShowTrayMenu();
  void SetTrayState(std::int32_t icon, const std::string& hint);
  void UpdateStatus(ServerSnapshot snapshot);
  // Shows a status row's value (whole in `values_`), cut with "…" to the row's width; the hint
  // keeps the whole value.
  void ShowValue(std::size_t row, const std::string& value);
  void FitValue(std::size_t row);

  MainFormHost& host_;
  HWND window_ = nullptr;
  HWND tooltip_ = nullptr;
  HFONT font_ = nullptr;
  HFONT bold_font_ = nullptr;
  PictureButtons buttons_;
  // Per status row: the whole value, the hint shown (the connection row's comes with its value).
  std::array<std::string, 5> values_;
  std::array<std::string, 5> hints_;
  std::string status_hint_;
  HMENU tray_menu_ = nullptr;
  UINT taskbar_created_ = 0;
  bool exit_requested_ = false;
  TrayIcon tray_;
  TrayState tray_state_;
};

}  // namespace corvid::ui
