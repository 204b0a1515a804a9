// TProgramSetupForm: the settings dialog.
#include "ui/win32/setupform.h"

#include <commctrl.h>

#include <array>

#include "ui/win32/resource.h"
#include "ui/win32/uicommon.h"
#include "util/log.h"
#include "util/utils.h"

namespace corvid::ui {
namespace {

// Design sizes (96 DPI).
constexpr int kClientWidth = 347;
constexpr int kClientHeight = 433;
constexpr int kLabelHeight = 13;
constexpr int kEditHeight = 21;
constexpr int kDropDownHeight = 160;  // the combo box with its open list
constexpr int kButtonPicture = 16;
constexpr int kPictureSpacing = 4;

struct Group {
  const char* caption;
  int left, top, width, height;
};
constexpr Group kOpcGroup{"Сервер OPC DA", 8, 8, 329, 214};
constexpr Group kCorvidGroup{"Сервер Corvid", 8, 228, 329, 122};

// A labelled field; positions relative to its group box.
struct Field {
  const Group* group;
  int id;
  const char* label;  // null: none
  int label_left, label_top;
  int left, top, width, height;
  const char* hint;
};
constexpr std::array<Field, 8> kFields = {{
    {&kOpcGroup, kIdMaxTagCountEdit, "Максимальное количество тэгов", 16, 21, 16, 40, 197, 21,
     "Максимально возможное количество тэгов OPC сервера"},
    {&kOpcGroup, kIdWaitForClientsCB, "Время ожидания подключения клиентов", 16, 77, 16, 96, 197,
     21,
     "Время ожидания подключения OPC клиентов. После завершения времени ожидания сервер "
     "завершает работу."},
    {&kOpcGroup, kIdUpdateTimeCB, nullptr, 0, 0, 16, 130, 208, 17,
     "Согласно стандарту OPC DA отметка времени тега не должна отставать от текущего времени "
     "более чем на UpdateRate миллисекунд, даже если значение тега давно не изменялось."},
    {&kOpcGroup, kIdBranchSepEdit, "Символ-разделитель в именах тэгов", 16, 161, 16, 180, 49, 21,
     "Если символ не задан, то при просмотре тэгов отображается список вместо дерева"},
    {&kCorvidGroup, kIdAddrEdit, "Адрес", 16, 21, 16, 40, 145, 21,
     "IP адрес компьютера, на котором работает сервер Corvid (подключение по протоколу TCP/IP)"},
    {&kCorvidGroup, kIdPortEdit, "Порт", 16, 69, 16, 88, 81, 21,
     "Порт сервера Corvid (по умолчанию 3000)"},
    {&kCorvidGroup, kIdLoginEdit, "Логин", 176, 21, 176, 40, 137, 21,
     "Логин для регистрации на сервере Corvid"},
    {&kCorvidGroup, kIdPasswordEdit, "Пароль", 176, 69, 176, 88, 137, 21,
     "Пароль для регистрации на сервере Corvid"},
}};

constexpr char kUpdateTimeCaption[] = "Обновлять время тэгов";
constexpr char kOkCaption[] = "О&К";
constexpr char kCancelCaption[] = "О&тменить";

}  // namespace

SetupValues SetupValuesFromConfig(const ServerConfig& config) {
  SetupValues v;
  v.max_tag_count = config.MaxTagCount;
  v.wait_for_opc_clients = config.WaitForOpcClients;
  v.update_tag_time = config.UpdateTagTime;
  v.branch_sep = config.BranchSep;
  v.host = config.Host;
  v.port = config.Port;
  v.name = config.Name;
  v.password = config.Password;
  return v;
}

void ApplySetupValues(const SetupValues& values, ServerConfig& config) {
  config.MaxTagCount = values.max_tag_count;
  config.WaitForOpcClients = values.wait_for_opc_clients;
  config.UpdateTagTime = values.update_tag_time;
  config.BranchSep = values.branch_sep;
  config.Host = values.host;
  config.Port = values.port;
  config.Name = values.name;
  config.Password = values.password;
}

TProgramSetupForm::TProgramSetupForm(ServerConfig& config, std::string config_path)
    : config_(config), config_path_(std::move(config_path)) {}

TProgramSetupForm::~TProgramSetupForm() {
  if (window_ != nullptr) DestroyWindow(window_);
  if (font_ != nullptr) DeleteObject(font_);
}

bool TProgramSetupForm::Create(HWND owner) {
  if (!RegisterWindowClassOnce(kSetupFormClass, WindowProc)) return false;
  owner_ = owner;
  const DesignScale scale = DesignScale::ForScreen();
  font_ = CreateTahomaFont(scale);
  // A fixed dialog frame with the close box; WS_EX_CONTROLPARENT lets Tab walk the fields. No
  // WS_CLIPCHILDREN: the group boxes do not paint their inside, the dialog does.
  window_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kSetupFormClass,
                            Wide(setupdialog::kCaption).c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                            0, 0, scale(kClientWidth), scale(kClientHeight), owner, nullptr,
                            ModuleInstance(), this);
  if (window_ == nullptr) return false;
  SetClientSize(window_, scale(kClientWidth), scale(kClientHeight));
  CenterOver(window_, owner);
  CreateControls();
  LoadFields(LoadSetupFields(SetupValuesFromConfig(config_)));
  return true;
}

void TProgramSetupForm::CreateControls() {
  const DesignScale scale = DesignScale::ForScreen();
  tooltip_ = CreateHintWindow(window_, scale(360));

  for (const Group* group : {&kOpcGroup, &kCorvidGroup}) {
    CreateControl(window_, L"BUTTON", group->caption, BS_GROUPBOX, 0,
                  scale.Rect(group->left, group->top, group->width, group->height), 0);
  }
  // Controls in tab order, each label just before its field.
  for (const Field& f : kFields) {
    const int gx = f.group->left;
    const int gy = f.group->top;
    if (f.label != nullptr) {
      CreateControl(window_, L"STATIC", f.label, SS_LEFTNOWORDWRAP, 0,
                    scale.Rect(gx + f.label_left, gy + f.label_top, 300, kLabelHeight), 0);
    }
    const RECT bounds = scale.Rect(gx + f.left, gy + f.top, f.width, f.height);
    HWND control = nullptr;
    if (f.id == kIdWaitForClientsCB) {
      control =
          CreateControl(window_, WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0,
                        scale.Rect(gx + f.left, gy + f.top, f.width, kDropDownHeight), f.id);
      for (const char* item : kWaitItems) {
        SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
      }
    } else if (f.id == kIdUpdateTimeCB) {
      control = CreateControl(window_, L"BUTTON", kUpdateTimeCaption, WS_TABSTOP | BS_AUTOCHECKBOX,
                              0, bounds, f.id);
    } else {
      control = CreateControl(window_, L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                              bounds, f.id);
    }
    AddHint(tooltip_, window_, control, f.hint);
  }
  CreateControl(window_, L"STATIC", setupdialog::kRestartNote, SS_LEFT, 0,
                scale.Rect(8, 359, 329, 32), kIdRestartNote);
  HWND ok = CreateControl(window_, L"BUTTON", kOkCaption, WS_TABSTOP | BS_DEFPUSHBUTTON, 0,
                          scale.Rect(52, 397, 102, 25), IDOK);
  HWND cancel = CreateControl(window_, L"BUTTON", kCancelCaption, WS_TABSTOP | BS_PUSHBUTTON, 0,
                              scale.Rect(192, 397, 102, 25), IDCANCEL);
  buttons_.Add(ok, IDI_OK, scale(kButtonPicture), scale(kPictureSpacing));
  buttons_.Add(cancel, IDI_CANCEL, scale(kButtonPicture), scale(kPictureSpacing));
  SetFontOnChildren(window_, font_);
}

void TProgramSetupForm::LoadFields(const SetupFields& f) {
  SetWindowTextUtf8(GetDlgItem(window_, kIdMaxTagCountEdit), f.max_tag_count);
  SendDlgItemMessageW(window_, kIdWaitForClientsCB, CB_SETCURSEL, static_cast<WPARAM>(f.wait_index),
                      0);
  CheckDlgButton(window_, kIdUpdateTimeCB, f.update_time ? BST_CHECKED : BST_UNCHECKED);
  SetWindowTextUtf8(GetDlgItem(window_, kIdBranchSepEdit), f.branch_sep);
  SetWindowTextUtf8(GetDlgItem(window_, kIdAddrEdit), f.host);
  SetWindowTextUtf8(GetDlgItem(window_, kIdPortEdit), f.port);
  SetWindowTextUtf8(GetDlgItem(window_, kIdLoginEdit), f.login);
  SetWindowTextUtf8(GetDlgItem(window_, kIdPasswordEdit), f.password);
}

SetupFields TProgramSetupForm::ReadFields() const {
  SetupFields f;
  f.max_tag_count = WindowTextUtf8(GetDlgItem(window_, kIdMaxTagCountEdit));
  f.wait_index = static_cast<std::int32_t>(
      SendDlgItemMessageW(window_, kIdWaitForClientsCB, CB_GETCURSEL, 0, 0));
  f.update_time = IsDlgButtonChecked(window_, kIdUpdateTimeCB) == BST_CHECKED;
  f.branch_sep = WindowTextUtf8(GetDlgItem(window_, kIdBranchSepEdit));
  f.host = WindowTextUtf8(GetDlgItem(window_, kIdAddrEdit));
  f.port = WindowTextUtf8(GetDlgItem(window_, kIdPortEdit));
  f.login = WindowTextUtf8(GetDlgItem(window_, kIdLoginEdit));
  f.password = WindowTextUtf8(GetDlgItem(window_, kIdPasswordEdit));
  return f;
}

void TProgramSetupForm::OKButtonClick() {
  SetupValues values = SetupValuesFromConfig(config_);
  const SetupStoreResult stored = StoreSetupFields(ReadFields(), values);
  if (!stored.ok) {
    // Text that is not an integer: the record stays as it was, the dialog stays open on the
    // field.
    const int id =
        stored.field == SetupStoreResult::Field::kPort ? kIdPortEdit : kIdMaxTagCountEdit;
    ShowExceptionBox(window_, stored.message);
    HWND field = GetDlgItem(window_, id);
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
    return;
  }
  ApplySetupValues(values, config_);
  if (WriteConfig(config_, config_path_)) {
    WriteLog("INFO\tНастройки записаны в файл: %s", config_path_.c_str());
  } else {
    const std::string reason = SystemErrorText(GetLastError());
    WriteLog("ERROR\tОшибка записи настроек в Файл: %s [%s]", config_path_.c_str(), reason.c_str());
  }
  modal_result_ = IDOK;
}

LRESULT CALLBACK TProgramSetupForm::WindowProc(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<TProgramSetupForm*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TProgramSetupForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return GuardedHandler(window, [&] { return self->Handle(message, wparam, lparam); });
}

LRESULT TProgramSetupForm::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        OKButtonClick();
        return 0;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        modal_result_ = IDCANCEL;
        return 0;
      }
      break;
    case WM_CLOSE:
      modal_result_ = IDCANCEL;
      return 0;
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (buttons_.Notify(*reinterpret_cast<NMHDR*>(lparam), result)) return result;
      break;
    }
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lparam) == GetDlgItem(window_, kIdRestartNote)) {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, RGB(255, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_NCDESTROY:
      window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

int TProgramSetupForm::ShowModal() {
  if (window_ == nullptr) return IDCANCEL;
  modal_result_ = 0;
  if (owner_ != nullptr) EnableWindow(owner_, FALSE);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SetFocus(GetDlgItem(window_, kIdMaxTagCountEdit));
  MSG message;
  while (modal_result_ == 0 && window_ != nullptr) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));  // the application ends: pass it on
      break;
    }
    if (got < 0) break;
    if (!IsDialogMessageW(window_, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  // The owner is enabled before the dialog goes, so that it gets the activation back.
  if (owner_ != nullptr) EnableWindow(owner_, TRUE);
  if (window_ != nullptr) {
    DestroyWindow(window_);
    if (owner_ != nullptr && IsWindowVisible(owner_)) SetForegroundWindow(owner_);
  }
  if (modal_result_ == 0) modal_result_ = IDCANCEL;
  return modal_result_;
}

int ShowSetupForm(HWND owner, ServerConfig& config, const std::string& config_path) {
  TProgramSetupForm form(config, config_path);
  if (!form.Create(owner)) return IDCANCEL;
  return form.ShowModal();
}

}  // namespace corvid::ui
