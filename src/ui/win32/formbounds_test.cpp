// Window bounds through params.ini: kept between two openings of a window, fitted to the desktop.
#include "ui/win32/formbounds.h"

#include <gtest/gtest.h>

#include "platform/temp_folder_for_tests.h"
#include "ui/win32/uicommon.h"

namespace corvid::ui {
namespace {

constexpr wchar_t kTestClass[] = L"CorvidBoundsTestForm";

HWND CreateTestWindow() {
  RegisterWindowClassOnce(kTestClass, DefWindowProcW);
  return CreateWindowExW(0, kTestClass, L"bounds", WS_OVERLAPPEDWINDOW, 10, 10, 400, 300, nullptr,
                         nullptr, ModuleInstance(), nullptr);
}

// One opening of a window: restore from params.ini at creation, save at destruction, the store
// written when it goes.
FormBounds OpenAndClose(const std::string& params_path, const FormBounds* move_to) {
  TSaveParamsINI store(params_path, false);
  HWND window = CreateTestWindow();
  RestoreWindowBounds(store, window, "TestForm");
  const FormBounds restored = WindowBounds(window);
  if (move_to != nullptr) {
    SetWindowPos(window, nullptr, move_to->left, move_to->top, move_to->width, move_to->height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SaveWindowBounds(store, window, "TestForm");
  DestroyWindow(window);
  return restored;
}

TEST(FormBounds, KeptBetweenTwoOpenings) {
  testing::TempFolder folder;
  const std::string params = folder.Path("params.ini");
  const FormBounds moved{120, 90, 430, 260};
  const FormBounds first = OpenAndClose(params, &moved);
  EXPECT_EQ(first, (FormBounds{10, 10, 400, 300}));  // nothing saved yet: designed bounds
  EXPECT_EQ(OpenAndClose(params, nullptr), moved);
  EXPECT_NE(folder.ReadFile("params.ini")
                .find("[TestForm]\r\nLeft=120\r\nTop=90\r\n"
                      "Width=430\r\nHeight=260\r\n"),
            std::string::npos);
}

TEST(FormBounds, SavedBoundsAreFittedOrRejected) {
  const DesktopRect desktop = VirtualDesktop();
  ASSERT_GT(desktop.width, 500);
  struct Case {
    const char* name;
    FormBounds saved;
    bool applied;
    FormBounds expected;
  };
  const Case cases[] = {
      {"right of the desktop",
       {desktop.left + desktop.width + 500, 40, 300, 200},
       true,
       {desktop.left + desktop.width - 300, 40, 300, 200}},
      {"wider than the desktop",
       {50, 30, desktop.width + 400, 200},
       true,
       {desktop.left, 30, desktop.width, 200}},
      {"minimised position", {-32000, -32000, 160, 28}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempFolder folder;
    TSaveParamsINI store(folder.Path("params.ini"), false);
    SaveFormBounds(store, "TestForm", c.saved);
    HWND window = CreateTestWindow();
    const FormBounds designed = WindowBounds(window);
    EXPECT_EQ(RestoreWindowBounds(store, window, "TestForm"), c.applied);
    EXPECT_EQ(WindowBounds(window), c.applied ? c.expected : designed);
    DestroyWindow(window);
  }
}

TEST(FormBounds, NonIntegerValuesLeaveTheWindowAlone) {
  testing::TempFolder folder;
  folder.WriteFile("params.ini", "[TestForm]\r\nLeft=12\r\nTop=abc\r\nWidth=300\r\nHeight=200\r\n");
  TSaveParamsINI store(folder.Path("params.ini"), false);
  HWND window = CreateTestWindow();
  const FormBounds designed = WindowBounds(window);
  EXPECT_FALSE(RestoreWindowBounds(store, window, "TestForm"));
  EXPECT_EQ(WindowBounds(window), designed);
  DestroyWindow(window);
}

}  // namespace
}  // namespace corvid::ui
