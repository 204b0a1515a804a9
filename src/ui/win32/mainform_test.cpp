// The main window driven by window messages, on a fake server state: hiding and showing from the
// tray, the operator's exit, the end when the server thread finishes, tray picture, hint and
// status rows.
#include "ui/win32/mainform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "platform/temp_folder_for_tests.h"
#include "ui/win32/protoview.h"
#include "ui/win32/ui_test_support.h"
#include "ui/win32/uicommon.h"
#include "util/datetime.h"
#include "util/log.h"

namespace corvid::ui {
namespace {

using testing::LogMessages;
using testing::Pump;
using testing::TakeQuitMessage;

class FakeHost : public MainFormHost {
 public:
  ServerSnapshot Snapshot() override {
    if (!failure.empty()) throw std::runtime_error(failure);
    return snapshot;
  }
  void ReadAddress(ServerSnapshot& s) override {
    s.host = config.Host;
    s.port = config.Port;
    s.login = config.Name;
  }
  std::optional<ServerConfig> ConfigCopy() override { return config; }
  void ApplyConfig(const ServerConfig& stored) override { config = stored; }
  std::string ConfigPath() override { return config_path; }
  std::string LogPath() override { return corvid::LogPath(); }

  ServerSnapshot snapshot;
  ServerConfig config;
  std::string config_path;
  std::string failure;  // Snapshot throws this when not empty
};

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogPath(folder_.Path("protokol.log"));
    host_.config_path = folder_.Path("config.ini");
    host_.snapshot.has_server_thread = true;
    host_.config.Host = "127.0.0.1";
    host_.config.Port = 3000;
    host_.config.Name = "CFG";
    form_.emplace(host_);
    ASSERT_TRUE(form_->Create());
  }
  void TearDown() override {
    form_.reset();
    TakeQuitMessage();  // the window's end posts one
  }

  HWND Window() const { return form_->Handle(); }
  std::string Text(int id) const { return WindowTextUtf8(GetDlgItem(Window(), id)); }
  void TrayDoubleClick() { SendMessageW(Window(), kTrayCallbackMessage, 1, WM_LBUTTONDBLCLK); }
  long OperatorLines() const {
    const auto messages = LogMessages(folder_.Path("protokol.log"));
    return std::count(messages.begin(), messages.end(), mainwindow::kOperatorExitLog);
  }

  corvid::testing::TempFolder folder_;
  FakeHost host_;
  std::optional<TformMain> form_;
};

TEST_F(MainFormTest, StartsHiddenWithTheFirstTrayPictureAndItsTitle) {
  EXPECT_FALSE(IsWindowVisible(Window()));
  EXPECT_EQ(WindowTextUtf8(Window()), "Corvid OPC DA v2.2");
  EXPECT_EQ(form_->Tray().Icon(), kTrayIconRegistered);
  RECT client{};
  GetClientRect(Window(), &client);
  const DesignScale scale = DesignScale::ForScreen();
  EXPECT_EQ(client.right, scale(582));
  EXPECT_EQ(client.bottom, scale(222));
}

TEST_F(MainFormTest, CloseBoxHidesAndTrayDoubleClickToggles) {
  TrayDoubleClick();
  EXPECT_TRUE(IsWindowVisible(Window()));
  SendMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
  ASSERT_TRUE(IsWindow(Window()));
  EXPECT_FALSE(IsWindowVisible(Window()));
  EXPECT_FALSE(form_->ExitRequested());
  EXPECT_FALSE(TakeQuitMessage());
  TrayDoubleClick();
  EXPECT_TRUE(IsWindowVisible(Window()));
  TrayDoubleClick();
  EXPECT_FALSE(IsWindowVisible(Window()));
  SendMessageW(Window(), WM_COMMAND, kIdMenuShow, 0);  // the tray menu's entry toggles too
  EXPECT_TRUE(IsWindowVisible(Window()));
}

TEST_F(MainFormTest, OperatorExitWritesOneLineAndEndsTheLoop) {
  struct Case {
    const char* name;
    int command;
  };
  for (const Case c : {Case{"button", kIdExitButton}, Case{"tray menu", kIdMenuExit}}) {
    SCOPED_TRACE(c.name);
    FakeHost host = host_;
    TformMain form(host);
    ASSERT_TRUE(form.Create());
    const long before = OperatorLines();
    HWND window = form.Handle();
    SendMessageW(window, WM_COMMAND, static_cast<WPARAM>(c.command), 0);
    SendMessageW(window, WM_COMMAND, static_cast<WPARAM>(c.command), 0);  // a second click
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(form.ExitRequested());
    EXPECT_TRUE(TakeQuitMessage());
    EXPECT_EQ(OperatorLines(), before + 1);
  }
}

TEST_F(MainFormTest, FinishedServerThreadEndsTheProgramWithoutALine) {
  for (const bool visible : {false, true}) {
    SCOPED_TRACE(visible ? "visible" : "hidden");
    FakeHost host = host_;
    TformMain form(host);
    ASSERT_TRUE(form.Create());
    if (visible) SendMessageW(form.Handle(), kTrayCallbackMessage, 1, WM_LBUTTONDBLCLK);
    HWND window = form.Handle();
    host.snapshot.thread_finished = true;
    SendMessageW(window, WM_TIMER, kMainTimerId, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(form.ExitRequested());
    EXPECT_TRUE(TakeQuitMessage());
  }
  EXPECT_EQ(OperatorLines(), 0);
}

TEST_F(MainFormTest, TimerSetsTrayAndVisibleRows) {
  struct Case {
    const char* name;
    std::int32_t session_id;
    std::int32_t announced;
    std::int32_t opc_tags;
    std::int32_t icon;
    const char* tag_row;
  };
  const Case cases[] = {
      {"registered, all tags", 7, 120, 120, kTrayIconRegistered, " 120"},
      {"registered, tags missing", 7, 120, 118, kTrayIconTagMismatch,
       " сервер Corvid 120, OPC 118 !"},
      {"not registered", -1, 120, 120, kTrayIconNotRegistered, " 120"},
  };
  TrayDoubleClick();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.snapshot.session_id = c.session_id;
    host_.snapshot.registration_time = NowLocal() - 65.0 / (24 * 60);  // 1 h 5 min ago
    host_.snapshot.announced_count = c.announced;
    host_.snapshot.opc_tag_count = c.opc_tags;
    host_.snapshot.active_tag_count = 40;
    host_.snapshot.client_count = 2;
    form_->TimerTimer();
    EXPECT_EQ(form_->Tray().Icon(), c.icon);
    EXPECT_EQ(form_->Tray().Hint(), "Corvid OPC DA v2.2 [всего тэгов " +
                                        std::to_string(c.opc_tags) + ", тэгов используется 40]");
    EXPECT_EQ(Text(kIdTagCount), c.tag_row);
    EXPECT_EQ(Text(kIdServerAddr), " адрес 127.0.0.1:3000, логин CFG");
    EXPECT_EQ(Text(kIdActiveTags), " 40");
    EXPECT_EQ(Text(kIdClients), " 2");
  }
  EXPECT_EQ(Text(kIdServerStatus), " Не установлено");
  host_.snapshot.last_error_text = "Сервер Corvid не отвечает";
  form_->TimerTimer();
  EXPECT_EQ(Text(kIdServerStatus), " Сервер Corvid не отвечает");
  EXPECT_EQ(form_->HintOf(GetDlgItem(Window(), kIdServerStatus)),
            "Статус подключения к серверу Corvid:  Сервер Corvid не отвечает");
  EXPECT_EQ(form_->HintOf(GetDlgItem(Window(), kIdTagCount)),
            "Общее количество активных каналов, полученное с сервера Corvid");
  host_.config.Host = "10.1.1.1";  // as the settings dialog leaves it
  host_.config.Port = 70000;
  form_->TimerTimer();
  EXPECT_EQ(Text(kIdServerAddr), " адрес 10.1.1.1:70000, логин CFG");
}

TEST_F(MainFormTest, HidingTheWindowClosesTheLogViewer) {
  struct Case {
    const char* name;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
  };
  const Case cases[] = {
      {"tray double click", kTrayCallbackMessage, 1, WM_LBUTTONDBLCLK},
      {"tray menu", WM_COMMAND, kIdMenuShow, 0},
      {"close box", WM_SYSCOMMAND, SC_CLOSE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TrayDoubleClick();
    ASSERT_TRUE(IsWindowVisible(Window()));
    SendMessageW(Window(), WM_COMMAND, kIdLogButton, 0);  // "Протокол"
    ASSERT_NE(ProtoViewWindow(), nullptr);
    EXPECT_TRUE(IsWindowVisible(ProtoViewWindow()));
    SendMessageW(Window(), c.message, c.wparam, c.lparam);
    EXPECT_FALSE(IsWindowVisible(Window()));
    EXPECT_EQ(ProtoViewWindow(), nullptr);
  }
  CloseProtoView();
}

// Width of a control's text in its font.
int TextWidth(HWND control, const std::string& text) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  const std::wstring wide = Wide(text);
  SIZE extent{};
  GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return extent.cx;
}

int ClientWidth(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  return client.right;
}

TEST_F(MainFormTest, LongValuesEndWithAnEllipsisAndTheirHintsKeepTheWholeText) {
  const std::string error =
      " ошибка подключения к серверу Corvid: Удаленный узел отклонил соединение (1)";
  host_.snapshot.last_error_text = error.substr(1);
  host_.config.Host = "dispatch-server-of-the-north-plant.control-room.example";
  const std::string address = " адрес " + host_.config.Host + ":3000, логин CFG";
  TrayDoubleClick();
  const struct {
    int id;
    std::string value;
    std::string hint;
  } rows[] = {
      {kIdServerStatus, error, "Статус подключения к серверу Corvid: " + error},
      {kIdServerAddr, address, std::string(mainwindow::kHintServer) + ":" + address},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    HWND control = GetDlgItem(Window(), row.id);
    const std::string shown = Text(row.id);
    ASSERT_GT(shown.size(), 3u);
    EXPECT_EQ(shown.substr(shown.size() - 3), "…");
    EXPECT_EQ(row.value.rfind(shown.substr(0, shown.size() - 3), 0), 0u) << shown;
    EXPECT_LE(TextWidth(control, shown), ClientWidth(control));
    EXPECT_GT(TextWidth(control, shown), ClientWidth(control) * 8 / 10);  // and fills the row
    EXPECT_EQ(form_->HintOf(control), row.hint);
  }
  // Widened, the window has room for the whole texts, and the address hint is its own again.
  const DesignScale scale = DesignScale::ForScreen();
  SetWindowPos(Window(), nullptr, 0, 0, scale(1000), scale(260), SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(Text(kIdServerStatus), error);
  EXPECT_EQ(Text(kIdServerAddr), address);
  EXPECT_EQ(form_->HintOf(GetDlgItem(Window(), kIdServerAddr)), mainwindow::kHintServer);
  EXPECT_EQ(form_->HintOf(GetDlgItem(Window(), kIdServerStatus)), rows[0].hint);
}

TEST_F(MainFormTest, ButtonPicturesStandJustBeforeTheirCaptions) {
  TrayDoubleClick();
  const DesignScale scale = DesignScale::ForScreen();
  for (const int id : {kIdSetupButton, kIdLogButton, kIdExitButton}) {
    testing::ExpectPictureBesideCaption(GetDlgItem(Window(), id), scale(10));
  }
}

TEST_F(MainFormTest, HiddenWindowKeepsItsRowsButNotItsTrayHint) {
  TrayDoubleClick();
  host_.snapshot.client_count = 1;
  form_->TimerTimer();
  SendMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  host_.snapshot.client_count = 5;
  host_.snapshot.opc_tag_count = 9;
  form_->TimerTimer();
  EXPECT_EQ(Text(kIdClients), " 1");
  EXPECT_EQ(form_->Tray().Hint(), "Corvid OPC DA v2.2 [всего тэгов 9, тэгов используется 0]");
  TrayDoubleClick();  // showing refreshes at once
  EXPECT_EQ(Text(kIdClients), " 5");
}

TEST_F(MainFormTest, ExceptionInAHandlerIsShownAndTheWindowGoesOn) {
  host_.failure = "Сбой чтения состояния";
  {
    testing::MessageBoxCloser closer;
    SendMessageW(Window(), WM_TIMER, kMainTimerId, 0);
    EXPECT_EQ(closer.Text(), "Сбой чтения состояния");
  }
  host_.failure.clear();
  host_.snapshot.client_count = 3;
  TrayDoubleClick();
  EXPECT_EQ(Text(kIdClients), " 3");
}

TEST_F(MainFormTest, SizeLimitsAndAnchors) {
  const DesignScale scale = DesignScale::ForScreen();
  TrayDoubleClick();
  RECT before{};
  GetWindowRect(GetDlgItem(Window(), kIdExitButton), &before);
  SetWindowPos(Window(), nullptr, 0, 0, scale(900), scale(1000), SWP_NOMOVE | SWP_NOZORDER);
  RECT window{};
  GetWindowRect(Window(), &window);
  EXPECT_EQ(window.bottom - window.top, scale(300));  // maximum height
  EXPECT_EQ(window.right - window.left, scale(900));  // width not limited
  RECT client{};
  GetClientRect(Window(), &client);
  RECT value{};
  GetWindowRect(GetDlgItem(Window(), kIdServerAddr), &value);
  MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&value), 2);
  EXPECT_EQ(client.right - value.right, scale(10));  // the value rows widen with the window
  RECT button{};
  GetWindowRect(GetDlgItem(Window(), kIdExitButton), &button);
  MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&button), 2);
  EXPECT_EQ(client.bottom - button.bottom, scale(11));  // the buttons keep to the bottom
  EXPECT_EQ(button.right - button.left, before.right - before.left);
  SetWindowPos(Window(), nullptr, 0, 0, 10, 10, SWP_NOMOVE | SWP_NOZORDER);
  GetWindowRect(Window(), &window);
  EXPECT_EQ(window.right - window.left, scale(550));
  EXPECT_EQ(window.bottom - window.top, scale(230));
}

TEST_F(MainFormTest, Screenshots) {
  const std::wstring registered = testing::ScreenshotPath("main_fake_registered.png");
  if (registered.empty()) GTEST_SKIP() << "CORVID_SCREENSHOTS not set";
  host_.snapshot.session_id = 3;
  host_.snapshot.registration_time = NowLocal() - (2 + 5.0 / 60) / 24;
  host_.snapshot.announced_count = 120;
  host_.snapshot.opc_tag_count = 118;
  host_.snapshot.active_tag_count = 40;
  host_.snapshot.client_count = 2;
  TrayDoubleClick();
  form_->TimerTimer();
  Pump(200);
  EXPECT_TRUE(SaveWindowPng(Window(), registered));
}

}  // namespace
}  // namespace corvid::ui
