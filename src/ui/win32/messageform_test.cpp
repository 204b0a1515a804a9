// The message window and the self-sizing grid columns driven by window messages under Wine:
// fitting a short and a long text, replacing, closing with Enter, Esc and the button, the modal
// ShowInfo, a screenshot; columns that follow the window and spring back to 30 pixels.
#include "ui/win32/messageform.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "server/product.h"
#include "ui/model/messageform.h"
#include "ui/win32/gridcolumns.h"
#include "ui/win32/ui_test_support.h"
#include "ui/win32/uicommon.h"

namespace corvid::ui {
namespace {

using testing::Pump;
using testing::PumpUntil;

class MessageFormTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (MessageFormWindow() != nullptr) DestroyWindow(MessageFormWindow());
    Pump(10);
  }
  static std::string Memo() {
    return WindowTextUtf8(GetDlgItem(MessageFormWindow(), kIdMessageMemo));
  }
  static SIZE WindowSize(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
  }
  static bool Closed(HWND window) {
    return PumpUntil([&] { return IsWindow(window) == FALSE; }, 2000);
  }
};

TEST_F(MessageFormTest, AShortTextGetsTheLargestFontThatFills) {
  ShowMessageForm(nullptr, "Соединение восстановлено", "Событие на 21.09.2015 10:11:12", false);
  HWND window = MessageFormWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(WindowTextUtf8(window), "Событие на 21.09.2015 10:11:12");
  EXPECT_EQ(Memo(), "Соединение восстановлено");
  EXPECT_EQ(WindowTextUtf8(GetDlgItem(window, kIdMessageOk)), "ОК");
  testing::ExpectPictureBesideCaption(GetDlgItem(window, kIdMessageOk),
                                      DesignScale::ForScreen()(5));
  EXPECT_EQ(MessageFormFontSize(), kMessageMaxFontSize);
  EXPECT_NE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  RECT client{};
  GetClientRect(window, &client);
  const DesignScale s = DesignScale::ForScreen();
  EXPECT_EQ(client.right, s(519));  // the window keeps its designed size
  EXPECT_EQ(client.bottom, s(180));
}

TEST_F(MessageFormTest, ALongTextGrowsTheWindowWithinItsLimits) {
  std::string text;
  for (int i = 0; i < 100; ++i)
    text += "Длинное сообщение об ошибке номер " + std::to_string(i) + ". ";
  ShowMessageForm(nullptr, text, "Длинное", false);
  HWND window = MessageFormWindow();
  ASSERT_NE(window, nullptr);
  const DesignScale s = DesignScale::ForScreen();
  RECT designed{0, 0, s(519), s(180)};
  AdjustWindowRectEx(&designed, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  const SIZE size = WindowSize(window);
  // Ten steps of 15 × 20 (the text still does not fit), the font as designed.
  EXPECT_EQ(size.cx, designed.right - designed.left + 10 * s(15));
  EXPECT_EQ(size.cy, designed.bottom - designed.top + 10 * s(20));
  EXPECT_EQ(MessageFormFontSize(), 10);
}

TEST_F(MessageFormTest, ANewMessageReplacesTheOpenOne) {
  ShowMessageForm(nullptr, "Первое", "1", false);
  HWND first = MessageFormWindow();
  ShowMessageForm(first, "Второе", "2", false);  // its own window is no owner
  HWND second = MessageFormWindow();
  EXPECT_FALSE(IsWindow(first));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetWindow(second, GW_OWNER), nullptr);
  EXPECT_EQ(Memo(), "Второе");
}

TEST_F(MessageFormTest, EnterEscAndTheButtonClose) {
  const struct {
    const char* how;
    UINT message;
    WPARAM key;
  } closers[] = {
      {"Enter", WM_KEYDOWN, VK_RETURN}, {"Esc", WM_KEYDOWN, VK_ESCAPE}, {"button", BM_CLICK, 0}};
  for (const auto& closer : closers) {
    ShowMessageForm(nullptr, "Текст", closer.how, false);
    HWND window = MessageFormWindow();
    ASSERT_NE(window, nullptr);
    HWND target = GetDlgItem(window, closer.message == BM_CLICK ? kIdMessageOk : kIdMessageMemo);
    SendMessageW(target, closer.message, closer.key, 0);
    EXPECT_TRUE(Closed(window)) << closer.how;
    EXPECT_EQ(MessageFormWindow(), nullptr) << closer.how;
  }
}

std::string info_seen;

// From within the modal loop: what the window shows, then its button.
void CALLBACK InspectInfo(HWND, UINT, UINT_PTR id, DWORD) {
  HWND window = MessageFormWindow();
  if (window == nullptr || !IsWindowVisible(window)) return;
  KillTimer(nullptr, id);
  info_seen = WindowTextUtf8(window) + "|" + WindowTextUtf8(GetDlgItem(window, kIdMessageMemo));
  SendMessageW(GetDlgItem(window, kIdMessageOk), BM_CLICK, 0, 0);
}

TEST_F(MessageFormTest, ShowInfoIsModalAndCaptionedWithTheProductTitle) {
  info_seen.clear();
  SetTimer(nullptr, 0, 30, InspectInfo);
  ShowInfo("Максимальное количество строк %s", "превышено");
  EXPECT_EQ(info_seen, std::string(kProductTitle) + "|Максимальное количество строк превышено");
  EXPECT_EQ(MessageFormWindow(), nullptr);  // it returned only after closing
}

TEST_F(MessageFormTest, Screenshot) {
  ShowMessageForm(nullptr,
                  "Нет связи с сервером Corvid: 127.0.0.1:3000, повторная попытка через 10 с",
                  "Событие на 21.09.2015 10:11:14", false);
  HWND window = MessageFormWindow();
  ASSERT_NE(window, nullptr);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pump(50);
  const std::wstring shot = testing::ScreenshotPath("messageform.png");
  if (!shot.empty()) {
    EXPECT_TRUE(SaveWindowPng(window, shot));
  }
}

// A window with a report list view filling it, as the log viewer's table.
class GridWindow {
 public:
  GridWindow() {
    RegisterWindowClassOnce(L"CorvidGridTest", Proc);
    window_ = CreateWindowExW(0, L"CorvidGridTest", L"grid", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, ModuleInstance(), nullptr);
    SetClientSize(window_, 800, 300);
    list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 800,
                            300, window_, nullptr, ModuleInstance(), nullptr);
    SetPropW(window_, L"list", list_);
    for (int i = 0; i < 2; ++i) {
      LVCOLUMNW column{};
      column.mask = LVCF_WIDTH;
      column.cx = i == 0 ? 153 : 639;
      SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    ShowWindow(window_, SW_SHOW);
  }
  ~GridWindow() { DestroyWindow(window_); }
  GridWindow(const GridWindow&) = delete;
  GridWindow& operator=(const GridWindow&) = delete;

  HWND List() const { return list_; }
  void SetClientWidth(int width) { SetClientSize(window_, width, 300); }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_SIZE) {
      HWND list = static_cast<HWND>(GetPropW(window, L"list"));
      if (list != nullptr) MoveWindow(list, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      return 0;
    }
    if (message == WM_DESTROY) RemovePropW(window, L"list");
    return DefWindowProcW(window, message, wparam, lparam);
  }
  HWND window_ = nullptr;
  HWND list_ = nullptr;
};

TEST(GridColumns, ColumnsFollowTheWindowAndSpringBackToThirty) {
  GridWindow grid;
  std::vector<int> widths;
  {
    TStringGridLivingColumns columns(grid.List());
    EXPECT_EQ(columns.TotalColumnWidth(), 794);
    grid.SetClientWidth(600);  // 200 pixels narrower: both shrink in proportion
    widths = ColumnWidths(grid.List());
    const int w = 600 - GetSystemMetrics(SM_CXVSCROLL);  // no vertical scroll bar shown
    EXPECT_EQ(widths, (std::vector<int>{static_cast<int>(w * 153.0 / 794),
                                        static_cast<int>(w * 639.0 / 794)}));
    // A column dragged to 10 pixels springs back when the button is released over the header.
    SendMessageW(grid.List(), LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(10, 0));
    HWND header = reinterpret_cast<HWND>(SendMessageW(grid.List(), LVM_GETHEADER, 0, 0));
    SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(ColumnWidths(grid.List())[0], 30);
  }
  // Detached: a resize leaves the columns alone.
  widths = ColumnWidths(grid.List());
  grid.SetClientWidth(400);
  EXPECT_EQ(ColumnWidths(grid.List()), widths);
}

}  // namespace
}  // namespace corvid::ui
