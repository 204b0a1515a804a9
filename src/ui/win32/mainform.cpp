// TformMain: the main window and its tray icon.
#include "ui/win32/mainform.h"

#include <commctrl.h>

#include <array>

#include "server/serverthread.h"
#include "ui/model/textfit.h"
#include "ui/win32/protoview.h"
#include "ui/win32/resource.h"
#include "ui/win32/setupform.h"
#include "ui/win32/uicommon.h"
#include "util/datetime.h"
#include "util/log.h"

namespace corvid::ui {
namespace {

// One status row: caption component text, value id, the value's fixed hint (empty: set at run
// time), top at 96 DPI.
struct StatusRow {
  const char* caption;
  int value_id;
  const char* hint;
  int top;
};
constexpr std::array<StatusRow, 5> kRows = {{
    {mainwindow::kCaptionServer, kIdServerAddr, mainwindow::kHintServer, 11},
    {mainwindow::kCaptionStatus, kIdServerStatus, "", 34},
    {mainwindow::kCaptionTags, kIdTagCount, mainwindow::kHintTags, 57},
    {mainwindow::kCaptionActiveTags, kIdActiveTags, mainwindow::kHintActiveTags, 103},
    {mainwindow::kCaptionClients, kIdClients, mainwindow::kHintClients, 80},
}};

struct CommandButton {
  int id;
  int left;
  int width;
  const char* caption;
  int icon;
};
constexpr std::array<CommandButton, 3> kButtons = {{
    {kIdSetupButton, 11, 173, mainwindow::kButtonSetup, IDI_SETUP},
    {kIdLogButton, 202, 173, mainwindow::kButtonLog, IDI_LOG},
    {kIdExitButton, 392, 179, mainwindow::kButtonExit, IDI_EXIT},
}};

// Design sizes (96 DPI).
constexpr int kClientWidth = 582;
constexpr int kClientHeight = 222;
constexpr int kMinWidth = 550;
constexpr int kMinHeight = 230;
constexpr int kMaxHeight = 300;
constexpr int kCaptionLeft = 11;
constexpr int kCaptionWidth = 153;
constexpr int kRowHeight = 17;
constexpr int kValueLeft = 170;
constexpr int kValueRightGap = kClientWidth - 170 - 402;
constexpr int kButtonTop = 164;
constexpr int kButtonHeight = 47;
constexpr int kButtonBottomGap = kClientHeight - kButtonTop;
constexpr int kButtonPicture = 32;
constexpr int kPictureSpacing = 10;

constexpr DWORD kStaticStyle = SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE;

}  // namespace

// ---- the product's host: the server thread ------------------------------------------------

ServerSnapshot ServerThreadHost::Snapshot() {
  ServerSnapshot s;
  ServerThread* server = ServerThreadInstance.load();
  if (server == nullptr) return s;
  s.has_server_thread = true;
  s.thread_finished = server->Finished();
  s.session_id = server->Link().SessionID();
  s.registration_time = server->Link().RegistrationTime();
  s.last_error_text = server->Link().LastErrorText();
  s.opc_tag_count = server->Opc().OpcTagCount();
  s.announced_count = server->Channels().ActiveCount() + server->Type1Tags().Count();
  s.active_tag_count = server->Opc().ActiveTagCount();
  s.client_count = server->Opc().ClientCount();
  return s;
}

void ServerThreadHost::ReadAddress(ServerSnapshot& snapshot) {
  ServerThread* server = ServerThreadInstance.load();
  if (server == nullptr) return;
  const ServerConfig config = server->ConfigCopy();
  snapshot.host = config.Host;
  snapshot.port = config.Port;
  snapshot.login = config.Name;
}

std::optional<ServerConfig> ServerThreadHost::ConfigCopy() {
  ServerThread* server = ServerThreadInstance.load();
  if (server == nullptr) return std::nullopt;
  return server->ConfigCopy();
}

void ServerThreadHost::ApplyConfig(const ServerConfig& config) {
  ServerThread* server = ServerThreadInstance.load();
  if (server != nullptr) server->ApplyConfig(config);
}

std::string ServerThreadHost::ConfigPath() {
  ServerThread* server = ServerThreadInstance.load();
  return server != nullptr ? server->ConfigPath() : std::string();
}

std::string ServerThreadHost::LogPath() {
  return corvid::LogPath();
}

void ServerThreadHost::EndSession() {
  if (ServerThread* server = ServerThreadInstance.load()) {
    server->Terminate();
    server->WaitFor();
  }
}

// ---- the window ---------------------------------------------------------------------------

TformMain::TformMain(MainFormHost& host) : host_(host) {}

TformMain::~TformMain() {
  if (window_ != nullptr) {
    exit_requested_ = true;
    DestroyWindow(window_);
  }
  if (tray_menu_ != nullptr) DestroyMenu(tray_menu_);
  if (font_ != nullptr) DeleteObject(font_);
  if (bold_font_ != nullptr) DeleteObject(bold_font_);
}

bool TformMain::Create() {
  if (!RegisterWindowClassOnce(kMainFormClass, WindowProc)) return false;
  const DesignScale scale = DesignScale::ForScreen();
  font_ = CreateTahomaFont(scale);
  bold_font_ = CreateTahomaFont(scale, true);
  // Title bar with the close box only; sizeable within the limits of WM_GETMINMAXINFO.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
  window_ = CreateWindowExW(0, kMainFormClass, Wide(kProductTitle).c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, scale(kClientWidth), scale(kClientHeight), nullptr,
                            nullptr, ModuleInstance(), this);
  if (window_ == nullptr) return false;
  SetClientSize(window_, scale(kClientWidth), scale(kClientHeight));
  CenterOver(window_, nullptr);
  CreateControls();

  tray_menu_ = CreatePopupMenu();
  AppendMenuW(tray_menu_, MF_STRING, kIdMenuShow, Wide(mainwindow::kMenuShow).c_str());
  AppendMenuW(tray_menu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(tray_menu_, MF_STRING, kIdMenuExit, Wide(mainwindow::kMenuExit).c_str());

  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  tray_.Add(window_, tray_state_.Icon(), kProductTitle);
  SetTimer(window_, kMainTimerId, kMainTimerPeriodMs, nullptr);
  return true;
}

void TformMain::CreateControls() {
  const DesignScale scale = DesignScale::ForScreen();
  tooltip_ = CreateHintWindow(window_, scale(400));

  for (std::size_t i = 0; i < kRows.size(); ++i) {
    const StatusRow& row = kRows[i];
    CreateControl(window_, L"STATIC", row.caption, kStaticStyle, 0,
                  scale.Rect(kCaptionLeft, row.top, kCaptionWidth, kRowHeight), 0);
    // SS_NOTIFY: the value takes the mouse, so its hint can show.
    HWND value = CreateControl(
        window_, L"STATIC", "", kStaticStyle | SS_NOTIFY, 0,
        scale.Rect(kValueLeft, row.top, kClientWidth - kValueLeft - kValueRightGap, kRowHeight),
        row.value_id);
    hints_[i] = row.hint;
    AddHint(tooltip_, window_, value, row.hint);
  }

  for (const CommandButton& b : kButtons) {
    HWND button = CreateControl(window_, L"BUTTON", b.caption, WS_TABSTOP | BS_PUSHBUTTON, 0,
                                scale.Rect(b.left, kButtonTop, b.width, kButtonHeight), b.id);
    buttons_.Add(button, b.icon, scale(kButtonPicture), scale(kPictureSpacing));
  }
  SetFontOnChildren(window_, font_);
  for (const StatusRow& row : kRows) {
    SendMessageW(GetDlgItem(window_, row.value_id), WM_SETFONT,
                 reinterpret_cast<WPARAM>(bold_font_), FALSE);
  }
}

void TformMain::Layout() {
  const DesignScale scale = DesignScale::ForScreen();
  RECT client{};
  GetClientRect(window_, &client);
  HDWP positions = BeginDeferWindowPos(8);
  for (const StatusRow& row : kRows) {
    const int width = client.right - scale(kValueLeft) - scale(kValueRightGap);
    positions = DeferWindowPos(positions, GetDlgItem(window_, row.value_id), nullptr,
                               scale(kValueLeft), scale(row.top), width > 0 ? width : 0,
                               scale(kRowHeight), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  for (const CommandButton& b : kButtons) {
    positions = DeferWindowPos(positions, GetDlgItem(window_, b.id), nullptr, scale(b.left),
                               client.bottom - scale(kButtonBottomGap), scale(b.width),
                               scale(kButtonHeight), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  EndDeferWindowPos(positions);
  for (std::size_t row = 0; row < kRows.size(); ++row) FitValue(row);
}

LRESULT CALLBACK TformMain::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<TformMain*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TformMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return GuardedHandler(window, [&] { return self->Handle(message, wparam, lparam); });
}

LRESULT TformMain::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_GETMINMAXINFO: {
      const DesignScale scale = DesignScale::ForScreen();
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      info->ptMinTrackSize.x = scale(kMinWidth);
      info->ptMinTrackSize.y = scale(kMinHeight);
      info->ptMaxTrackSize.y = scale(kMaxHeight);
      return 0;
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_SHOWWINDOW:
      if (wparam) UpdateStatus(host_.Snapshot());  // FormShow
      break;
    case WM_TIMER:
      if (wparam == kMainTimerId) TimerTimer();
      return 0;
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (buttons_.Notify(*reinterpret_cast<NMHDR*>(lparam), result)) return result;
      break;
    }
    case kTrayCallbackMessage:
      if (LOWORD(lparam) == WM_LBUTTONDBLCLK) ShowMainWindowClick();
      if (LOWORD(lparam) == WM_RBUTTONUP) ShowTrayMenu();
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kIdSetupButton:
          SetupButtonClick();
          return 0;
        case kIdLogButton:
          LogButtonClick();
          return 0;
        case kIdExitButton:
        case kIdMenuExit:
          mExitClick();
          return 0;
        case kIdMenuShow:
          ShowMainWindowClick();
          return 0;
        default:
          break;
      }
      break;
    case WM_CLOSE:
      FormClose();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The session ends: the process is ended soon after this returns, so the server is
      // stopped here rather than after the message loop.
      if (wparam) {
        exit_requested_ = true;
        host_.EndSession();
        DestroyWindow(window_);
      }
      return 0;
    case WM_DESTROY:
      KillTimer(window_, kMainTimerId);
      tray_.Remove();
      CloseProtoView();
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      window_ = nullptr;
      break;
    default:
      if (message == taskbar_created_ && taskbar_created_ != 0) {
        tray_.Readd();
        return 0;
      }
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

void TformMain::TimerTimer() {
  const ServerSnapshot snapshot = host_.Snapshot();
  const TrayTick tick = EvaluateTrayTick(snapshot);
  if (tick.exit) {
    // The server thread has finished by itself: the program ends, without a line of its own.
    exit_requested_ = true;
    SendMessageW(window_, WM_CLOSE, 0, 0);
    return;
  }
  SetTrayState(tick.icon, tick.hint);
  if (IsWindowVisible(window_)) UpdateStatus(snapshot);
}

void TformMain::SetTrayState(std::int32_t icon, const std::string& hint) {
  const TrayState::Changes changes = tray_state_.Set(icon, hint);
  if (changes.icon) tray_.SetImage(icon);
  if (changes.hint) tray_.SetHint(hint);
}

void TformMain::UpdateStatus(ServerSnapshot snapshot) {
  host_.ReadAddress(snapshot);
  const StatusTexts texts = EvaluateStatus(snapshot, NowLocal());
  for (std::size_t row = 0; row < kRows.size(); ++row) {
    switch (kRows[row].value_id) {
      case kIdServerAddr:
        ShowValue(row, texts.server_addr);
        break;
      case kIdServerStatus:
        if (texts.server_status) {
          status_hint_ = texts.server_status_hint.value_or("");
          ShowValue(row, *texts.server_status);
        }
        break;
      case kIdTagCount:
        ShowValue(row, texts.tag_count);
        break;
      case kIdActiveTags:
        ShowValue(row, texts.active_tags);
        break;
      case kIdClients:
        ShowValue(row, texts.clients);
        break;
      default:
        break;
    }
  }
}

void TformMain::ShowValue(std::size_t row, const std::string& value) {
  values_[row] = value;
  FitValue(row);
}

void TformMain::FitValue(std::size_t row) {
  HWND control = GetDlgItem(window_, kRows[row].value_id);
  if (control == nullptr) return;
  RECT client{};
  GetClientRect(control, &client);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, bold_font_);
  const auto measure = [dc](std::u16string_view text) {
    SIZE extent{};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()),
                          static_cast<int>(text.size()), &extent);
    return static_cast<std::int32_t>(extent.cx);
  };
  // A pixel kept free, so that the last letter does not touch the sunken edge.
  const std::string shown = EllipsizeToWidth(values_[row], client.right - 1, measure);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  UpdateWindowTextUtf8(control, shown);
  const std::string hint = kRows[row].value_id == kIdServerStatus
                               ? status_hint_
                               : ValueHint(kRows[row].hint, values_[row], shown);
  if (hint != hints_[row]) {
    hints_[row] = hint;
    ui::SetHint(tooltip_, window_, control, hint);
  }
}

std::string TformMain::HintOf(HWND control) const {
  return ui::HintOf(tooltip_, window_, control);
}

void TformMain::FormClose() {
  CloseProtoView();
  if (!exit_requested_) {
    ShowWindow(window_, SW_HIDE);  // the close box only hides the window
    return;
  }
  DestroyWindow(window_);
}

void TformMain::ShowMainWindowClick() {
  if (IsWindowVisible(window_)) {
    CloseProtoView();  // the log viewer goes whenever the window hides
    ShowWindow(window_, SW_HIDE);
    return;
  }
  ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(window_);
}

void TformMain::ShowTrayMenu() {
  POINT at{};
  GetCursorPos(&at);
  // The menu closes when the user clicks elsewhere only while the window is in front.
  SetForegroundWindow(window_);
  TrackPopupMenu(tray_menu_, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
  PostMessageW(window_, WM_NULL, 0, 0);
}

void TformMain::SetupButtonClick() {
  // The dialog edits a copy: the server thread reads the record meanwhile.
  std::optional<ServerConfig> config = host_.ConfigCopy();
  if (!config) return;
  if (ShowSetupForm(window_, *config, host_.ConfigPath()) == IDOK) host_.ApplyConfig(*config);
}

void TformMain::LogButtonClick() {
  ShowProtoView(window_, host_.LogPath(), true, 1);
}

void TformMain::mExitClick() {
  if (exit_requested_) return;  // one exit, one line
  WriteLog("%s", mainwindow::kOperatorExitLog);
  exit_requested_ = true;
  SendMessageW(window_, WM_CLOSE, 0, 0);
}

}  // namespace corvid::ui
