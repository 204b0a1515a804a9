// The settings dialog driven by window messages: loading the record, "ОК" writing config.ini
// with the normalised values and its log line, a field that is not a number, a file that cannot
// be written, Cancel, and the modal loop with Enter and Esc.
#include "ui/win32/setupform.h"

#include <gtest/gtest.h>

#include "platform/temp_folder_for_tests.h"
#include "ui/win32/ui_test_support.h"
#include "ui/win32/uicommon.h"
#include "util/log.h"
#include "util/text.h"

namespace corvid::ui {
namespace {

using testing::LogMessages;

class SetupFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogPath(folder_.Path("protokol.log"));
    config_.MaxTagCount = 500;
    config_.WaitForOpcClients = 10;
    config_.UpdateTagTime = 500;
    config_.BranchSep = '.';
    config_.Host = "10.0.0.5";
    config_.Port = 3001;
    config_.Name = "Оператор";
    config_.Password = "секрет";
    // Other keys of the file stay as they are.
    folder_.WriteFile("config.ini", "[SETUP]\r\nTAGNAME=%A1_%A2\r\n");
  }

  std::string Text(HWND dialog, int id) { return WindowTextUtf8(GetDlgItem(dialog, id)); }
  void SetText(HWND dialog, int id, const std::string& text) {
    SetWindowTextUtf8(GetDlgItem(dialog, id), text);
  }
  std::string ConfigFile() { return Cp1251ToUtf8(folder_.ReadFile("config.ini")); }
  std::vector<std::string> Log() { return LogMessages(folder_.Path("protokol.log")); }

  corvid::testing::TempFolder folder_;
  ServerConfig config_;
};

TEST_F(SetupFormTest, LoadsTheRecordIntoTheFields) {
  TProgramSetupForm form(config_, folder_.Path("config.ini"));
  ASSERT_TRUE(form.Create(nullptr));
  HWND dialog = form.Handle();
  EXPECT_EQ(WindowTextUtf8(dialog), "Настройка OPC DA сервера");
  EXPECT_EQ(Text(dialog, kIdMaxTagCountEdit), "500");
  EXPECT_EQ(SendDlgItemMessageW(dialog, kIdWaitForClientsCB, CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendDlgItemMessageW(dialog, kIdWaitForClientsCB, CB_GETCOUNT, 0, 0), 5);
  EXPECT_EQ(IsDlgButtonChecked(dialog, kIdUpdateTimeCB), BST_CHECKED);
  EXPECT_EQ(Text(dialog, kIdBranchSepEdit), ".");
  EXPECT_EQ(Text(dialog, kIdAddrEdit), "10.0.0.5");
  EXPECT_EQ(Text(dialog, kIdPortEdit), "3001");
  EXPECT_EQ(Text(dialog, kIdLoginEdit), "Оператор");
  EXPECT_EQ(Text(dialog, kIdPasswordEdit), "секрет");
  RECT client{};
  GetClientRect(dialog, &client);
  const DesignScale scale = DesignScale::ForScreen();
  EXPECT_EQ(client.right, scale(347));
  EXPECT_EQ(client.bottom, scale(433));
}

TEST_F(SetupFormTest, ButtonPicturesStandJustBeforeTheirCaptions) {
  TProgramSetupForm form(config_, folder_.Path("config.ini"));
  ASSERT_TRUE(form.Create(nullptr));
  const DesignScale scale = DesignScale::ForScreen();
  for (const int id : {IDOK, IDCANCEL}) {
    testing::ExpectPictureBesideCaption(GetDlgItem(form.Handle(), id), scale(4));
  }
}

TEST_F(SetupFormTest, OkWritesTheNormalisedValuesAndLogs) {
  TProgramSetupForm form(config_, folder_.Path("config.ini"));
  ASSERT_TRUE(form.Create(nullptr));
  HWND dialog = form.Handle();
  SetText(dialog, kIdBranchSepEdit, "/.");
  SetText(dialog, kIdPortEdit, "70000");
  SendMessageW(dialog, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(form.ModalResult(), IDOK);
  EXPECT_EQ(config_.WaitForOpcClients, 15);
  EXPECT_EQ(config_.UpdateTagTime, 1000);
  EXPECT_EQ(config_.BranchSep, '/');
  EXPECT_EQ(config_.Port, 70000);
  EXPECT_EQ(ConfigFile(),
            "[SETUP]\r\nTAGNAME=%A1_%A2\r\nMAXTAGCOUNT=500\r\nWAITFOROPCCLIENTS=15\r\n"
            "UPDATETAGTIME=1000\r\nBRANCHSEP=/\r\n[CORVID]\r\nHOST=10.0.0.5\r\nPORT=70000\r\n"
            "NAME=Оператор\r\nPASSWORD=секрет\r\n");
  EXPECT_EQ(Log(), std::vector<std::string>{"INFO\tНастройки записаны в файл: " +
                                            folder_.Path("config.ini")});
}

TEST_F(SetupFormTest, FieldThatIsNotANumberKeepsTheDialogOpen) {
  for (const int id : {kIdMaxTagCountEdit, kIdPortEdit}) {
    SCOPED_TRACE(id);
    TProgramSetupForm form(config_, folder_.Path("config.ini"));
    ASSERT_TRUE(form.Create(nullptr));
    HWND dialog = form.Handle();
    SetText(dialog, kIdAddrEdit, "192.168.1.1");
    SetText(dialog, id, "12a");
    testing::MessageBoxCloser closer;
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(closer.Text(), "'12a' не является целым числом");
    EXPECT_EQ(form.ModalResult(), 0);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, id));
    EXPECT_EQ(config_.Host, "10.0.0.5");
    EXPECT_EQ(ConfigFile(), "[SETUP]\r\nTAGNAME=%A1_%A2\r\n");
    EXPECT_TRUE(Log().empty());
  }
}

TEST_F(SetupFormTest, FileThatCannotBeWrittenIsLoggedAndTheDialogCloses) {
  const std::string path = folder_.Path("missing") + "\\config.ini";
  TProgramSetupForm form(config_, path);
  ASSERT_TRUE(form.Create(nullptr));
  SendMessageW(form.Handle(), WM_COMMAND, IDOK, 0);
  EXPECT_EQ(form.ModalResult(), IDOK);
  EXPECT_EQ(config_.WaitForOpcClients, 15);  // the record keeps the new values
  const auto log = Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("ERROR\tОшибка записи настроек в Файл: " + path + " [", 0), 0u);
}

TEST_F(SetupFormTest, CancelLeavesRecordAndFile) {
  for (const int how : {0, 1}) {
    TProgramSetupForm form(config_, folder_.Path("config.ini"));
    ASSERT_TRUE(form.Create(nullptr));
    SetText(form.Handle(), kIdPortEdit, "1");
    if (how == 0) SendMessageW(form.Handle(), WM_COMMAND, IDCANCEL, 0);
    if (how == 1) SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(form.ModalResult(), IDCANCEL);
  }
  EXPECT_EQ(config_.Port, 3001);
  EXPECT_EQ(ConfigFile(), "[SETUP]\r\nTAGNAME=%A1_%A2\r\n");
  EXPECT_TRUE(Log().empty());
}

// The key reaches the dialog through its own modal loop, as typed.
WPARAM key_to_press = VK_RETURN;
void CALLBACK PressKeyInDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = FindWindowW(kSetupFormClass, nullptr);
  if (dialog == nullptr || !IsWindowVisible(dialog)) return;
  KillTimer(nullptr, timer);
  PostMessageW(GetFocus(), WM_KEYDOWN, key_to_press, 0);
}

TEST_F(SetupFormTest, ModalLoopDisablesTheOwnerAndEndsOnEnterOrEsc) {
  RegisterWindowClassOnce(L"CorvidSetupOwner", DefWindowProcW);
  HWND owner = CreateWindowExW(0, L"CorvidSetupOwner", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               50, 50, 300, 200, nullptr, nullptr, ModuleInstance(), nullptr);
  for (const bool escape : {true, false}) {
    SCOPED_TRACE(escape ? "Esc" : "Enter");
    TProgramSetupForm form(config_, folder_.Path("config.ini"));
    ASSERT_TRUE(form.Create(owner));
    key_to_press = escape ? VK_ESCAPE : VK_RETURN;
    SetTimer(nullptr, 0, 20, PressKeyInDialog);
    EXPECT_EQ(form.ShowModal(), escape ? IDCANCEL : IDOK);
    EXPECT_EQ(form.Handle(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(owner));
  }
  EXPECT_EQ(config_.WaitForOpcClients, 15);
  DestroyWindow(owner);
}

TEST_F(SetupFormTest, Screenshot) {
  const std::wstring path = testing::ScreenshotPath("setup_dialog_test.png");
  if (path.empty()) GTEST_SKIP() << "CORVID_SCREENSHOTS not set";
  TProgramSetupForm form(config_, folder_.Path("config.ini"));
  ASSERT_TRUE(form.Create(nullptr));
  ShowWindow(form.Handle(), SW_SHOW);
  testing::Pump(200);
  EXPECT_TRUE(SaveWindowPng(form.Handle(), path));
}

}  // namespace
}  // namespace corvid::ui
