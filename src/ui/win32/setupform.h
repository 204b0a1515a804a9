// TProgramSetupForm: the modal settings dialog. It loads the eight operator settings from the
// configuration record; "ОК" stores them back (normalised), writes config.ini and logs the
// outcome; "Отменить", Esc and the close box leave record and file unchanged.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "server/config.h"
#include "ui/model/setupmodel.h"
#include "ui/win32/picturebutton.h"

namespace corvid::ui {

inline constexpr wchar_t kSetupFormClass[] = L"TProgramSetupForm";
enum SetupFormId : int {
  kIdMaxTagCountEdit = 101,
  kIdWaitForClientsCB = 102,
  kIdUpdateTimeCB = 103,
  kIdBranchSepEdit = 104,
  kIdAddrEdit = 105,
  kIdPortEdit = 106,
  kIdLoginEdit = 107,
  kIdPasswordEdit = 108,
  kIdRestartNote = 109,
  // "ОК" is IDOK, "Отменить" IDCANCEL.
};

// The record's values that the dialog edits, and back.
SetupValues SetupValuesFromConfig(const ServerConfig& config);
void ApplySetupValues(const SetupValues& values, ServerConfig& config);

class TProgramSetupForm {
 public:
  TProgramSetupForm(ServerConfig& config, std::string config_path);
  ~TProgramSetupForm();
  TProgramSetupForm(const TProgramSetupForm&) = delete;
  TProgramSetupForm& operator=(const TProgramSetupForm&) = delete;

  // Builds the window (hidden, centred over `owner`) and loads the fields from the record.
  bool Create(HWND owner);
  HWND Handle() const { return window_; }
  // Shows the window modally: the owner is disabled until it closes. IDOK or IDCANCEL; the
  // window is destroyed on return.
  int ShowModal();
  // IDOK or IDCANCEL once closed, 0 while open.
  int ModalResult() const { return modal_result_; }

  SetupFields ReadFields() const;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  void LoadFields(const SetupFields& fields);
  void OKButtonClick();

  ServerConfig& config_;
  std::string config_path_;
  HWND owner_ = nullptr;
  HWND window_ = nullptr;
  HWND tooltip_ = nullptr;
  HFONT font_ = nullptr;
  PictureButtons buttons_;
  int modal_result_ = 0;
};

// Creates the dialog over `owner`, shows it modally and destroys it: IDOK or IDCANCEL.
int ShowSetupForm(HWND owner, ServerConfig& config, const std::string& config_path);

}  // namespace corvid::ui
