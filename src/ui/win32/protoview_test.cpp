// The log viewer driven by window messages under Wine: the tail of a 3 MiB log and earlier
// records, live following, the filters, the state kept in params.ini, the font dialog, double
// click, the clipboard, the row colours and a screenshot.
#include "ui/win32/protoview.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include "platform/temp_folder_for_tests.h"
#include "settings/myinifile.h"
#include "settings/viewoptions.h"
#include "ui/model/dpiscale.h"
#include "ui/model/logline.h"
#include "ui/model/logview.h"
#include "ui/win32/messageform.h"
#include "ui/win32/ui_test_support.h"
#include "ui/win32/uicommon.h"
#include "util/text.h"

namespace corvid::ui {
namespace {

using testing::Pump;
using testing::PumpUntil;

constexpr std::uint32_t kMiB = 1048576;

// Runs `action` from a thread timer, that is from within the next modal loop of this thread.
class InModalLoop {
 public:
  explicit InModalLoop(std::function<bool()> action) {
    action_ = std::move(action);
    timer_ = SetTimer(nullptr, 0, 30, Tick);
  }
  ~InModalLoop() {
    KillTimer(nullptr, timer_);
    action_ = nullptr;
  }
  InModalLoop(const InModalLoop&) = delete;
  InModalLoop& operator=(const InModalLoop&) = delete;

 private:
  // The action returns true when it has done its work.
  static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
    if (action_ && action_()) {
      action_ = nullptr;
      KillTimer(nullptr, id);
    }
  }
  static inline std::function<bool()> action_;
  UINT_PTR timer_ = 0;
};

class ProtoViewTest : public ::testing::Test {
 protected:
  void SetUp() override { store_ = std::make_unique<TSaveParamsINI>(Params(), false); }
  void TearDown() override {
    CloseProtoView();
    if (MessageFormWindow() != nullptr) DestroyWindow(MessageFormWindow());
    Pump(20);
  }

  std::string Params() const { return folder_.Path("params.ini"); }
  std::string Write(const std::string& name, const std::string& utf8) {
    return folder_.WriteFile(name, Utf8ToCp1251(utf8));
  }
  void Append(const std::string& path, const std::string& utf8) {
    std::ofstream out(std::filesystem::path(std::u8string(path.begin(), path.end())),
                      std::ios::binary | std::ios::app);
    out << Utf8ToCp1251(utf8);
  }
  HWND Open(const std::string& path, bool live = true) {
    EXPECT_TRUE(ShowProtoView(nullptr, path, live, kLogFormatOwn, store_.get()));
    view_ = ProtoViewWindow();
    Pump(20);
    return view_;
  }
  // Closes the viewer, writes params.ini and reads it anew, as the next run of the program.
  void CloseAndReload() {
    SendMessageW(view_, WM_CLOSE, 0, 0);
    EXPECT_EQ(ProtoViewWindow(), nullptr);
    store_.reset();
    store_ = std::make_unique<TSaveParamsINI>(Params(), false);
  }

  HWND Item(int id) const { return GetDlgItem(view_, id); }
  HWND Table() const { return Item(kIdLogSG); }
  std::string Text(int id) const { return WindowTextUtf8(Item(id)); }
  std::string Caption() const { return WindowTextUtf8(view_); }
  bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
  int Rows() const { return static_cast<int>(SendMessageW(Table(), LVM_GETITEMCOUNT, 0, 0)); }
  std::string Cell(int row, int column) const {
    wchar_t text[2048] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 2048;
    SendMessageW(Table(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return Narrow(text);
  }
  std::vector<std::string> Events() const {
    std::vector<std::string> out;
    for (int i = 0; i < Rows(); ++i) out.push_back(Cell(i, 1));
    return out;
  }
  int SelectedRow() const {
    return static_cast<int>(
        SendMessageW(Table(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }
  void Tick(int times = 1) {
    for (int i = 0; i < times; ++i) SendMessageW(view_, WM_TIMER, kProtoViewTimerId, 0);
  }
  void Click(int id) { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  void Menu(int id) { SendMessageW(view_, WM_COMMAND, static_cast<WPARAM>(id), 0); }
  void SelectType(int index) {
    SendMessageW(Item(kIdFilterByTypeCB), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(view_, WM_COMMAND, MAKEWPARAM(kIdFilterByTypeCB, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Item(kIdFilterByTypeCB)));
  }
  int ColumnWidth(int column) const {
    return static_cast<int>(SendMessageW(Table(), LVM_GETCOLUMNWIDTH, column, 0));
  }
  LOGFONTW TableFont() const {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Table(), WM_GETFONT, 0, 0)), sizeof(font),
               &font);
    return font;
  }
  // Double click in the middle of the event cell of `row`.
  void DoubleClickRow(int row) {
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(Table(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
    const int x = ColumnWidth(0) + 20;
    const int y = (bounds.top + bounds.bottom) / 2;
    SendMessageW(Table(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
  }

  corvid::testing::TempFolder folder_;
  std::unique_ptr<TSaveParamsINI> store_;
  HWND view_ = nullptr;
};

// A log of this program's own lines, `bytes` long: "NNNNNNNN  INFO\tзапись номер NNNNNNNN".
std::string NumberedLog(std::uint32_t bytes) {
  std::string out;
  char line[96];
  for (int i = 0; out.size() < bytes; ++i) {
    std::snprintf(line, sizeof line, "%08d  INFO\t\xE7\xE0\xEF\xE8\xF1\xFC %08d ......\r\n", i,
                  i);  // "запись" in windows-1251
    out += line;
  }
  return out;
}

constexpr char kMixedLog[] =
    "21.09.2015 10:11:12  INFO\tЗапуск сервера\r\n"
    "21.09.2015 10:11:13  WARNING\tЗавершение работы оператором\r\n"
    "21.09.2015 10:11:14  ERROR\tНет связи с сервером Corvid\r\n"
    "21.09.2015 10:11:15  DEBUG\tПакет\t57\r\n"
    "строка без времени\r\n"
    "21.09.2015 10:11:16  ERROR\tОтказ в регистрации\r\n";

TEST_F(ProtoViewTest, ThreeMiBLogShowsItsTailAndReadsEarlierRecordsByTwoAndFourMiB) {
  const std::string content = NumberedLog(3 * kMiB);
  const std::string path = folder_.WriteFile("protokol.log", content);
  Open(path);
  ASSERT_NE(view_, nullptr);
  const auto size = static_cast<std::uint32_t>(content.size());
  const std::size_t first = content.find('\n', size - kMiB) + 1;
  EXPECT_EQ(Cell(0, 0), content.substr(first, 8));
  EXPECT_EQ(Cell(0, 1), "запись " + content.substr(first, 8) + " ......");
  const std::string caption = Caption();
  EXPECT_EQ(caption.rfind("Протокол [" + path + "]", 0), 0u) << caption;
  EXPECT_NE(caption.find(" последние "), std::string::npos) << caption;
  EXPECT_NE(caption.find(" из "), std::string::npos) << caption;
  EXPECT_TRUE(Visible(kIdMoreButton));
  EXPECT_EQ(ProtoViewHintOf(Item(kIdMoreButton)), "Прочитать записи ранее");
  const int tail_rows = Rows();
  EXPECT_EQ(Text(kIdTableGroup), "Всего " + std::to_string(tail_rows) + " строк");
  EXPECT_EQ(SelectedRow(), tail_rows - 1);  // the last line is followed

  Click(kIdMoreButton);  // 2 MiB
  const std::size_t first2 = content.find('\n', size - 2 * kMiB) + 1;
  EXPECT_EQ(Cell(0, 0), content.substr(first2, 8));
  EXPECT_GT(Rows(), tail_rows * 19 / 10);
  EXPECT_NE(Caption().find(" последние "), std::string::npos);
  EXPECT_EQ(GetFocus(), Table());

  Menu(kIdMenuMore);  // 4 MiB: the whole file
  EXPECT_EQ(Cell(0, 0), "00000000");
  EXPECT_EQ(Caption(), "Протокол [" + path + "]");
  EXPECT_FALSE(Visible(kIdMoreButton));
  EXPECT_EQ(Text(kIdTableGroup), "Всего " + std::to_string(Rows()) + " строк");
}

TEST_F(ProtoViewTest, OpensAsDesignedAndFollowsTheGrowingFile) {
  const std::string path = Write("protokol.log", kMixedLog);
  Open(path);
  EXPECT_EQ(Caption(), "Протокол [" + path + "]");
  EXPECT_EQ(Text(kIdFilterLabel), "Фильтр:");
  EXPECT_EQ(Text(kIdTypeLabel), "Фильтр по типу:");
  EXPECT_EQ(Text(kIdGotoNewMessCB), "Переход на последнюю строку");
  EXPECT_EQ(SendMessageW(Item(kIdGotoNewMessCB), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(Visible(kIdClearFilterButton));
  EXPECT_FALSE(Visible(kIdMoreButton));
  EXPECT_EQ(ProtoViewHintOf(Item(kIdClearFilterButton)), "Очистить фильтр (показать все строки)");
  EXPECT_EQ(SendMessageW(Item(kIdFilterByTypeCB), CB_GETCOUNT, 0, 0), 5);
  EXPECT_EQ(SendMessageW(Item(kIdFilterByTypeCB), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(GetFocus(), Table());
  // Tab and Shift+Tab go round the controls that take the keyboard.
  SendMessageW(Table(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(GetFocus(), Item(kIdFilterEdit));
  SendMessageW(Item(kIdFilterEdit), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(GetFocus(), Item(kIdFilterByTypeCB));
  RECT client{};
  GetClientRect(view_, &client);
  const DesignScale s = DesignScale::ForScreen();
  EXPECT_EQ(client.right, s(554));
  EXPECT_EQ(client.bottom, s(359));
  // The row height follows the table font: 25 for Tahoma 8 at 96 DPI.
  RECT row{};
  row.left = LVIR_BOUNDS;
  SendMessageW(Table(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
  EXPECT_EQ(row.bottom - row.top, LogRowHeight(FontHeightFromPoints(8, s.Dpi())));

  EXPECT_EQ(Rows(), 6);
  EXPECT_EQ(Cell(1, 0), "21.09.2015 10:11:13");
  EXPECT_EQ(Cell(1, 1), "Завершение работы оператором");
  EXPECT_EQ(Cell(3, 1), "Пакет 57");  // tabs become blanks
  EXPECT_EQ(Cell(4, 0), "");
  EXPECT_EQ(Cell(4, 1), "строка без времени");

  Append(path, "21.09.2015 10:12:00  INFO\tНовая ");
  Tick();
  EXPECT_EQ(Rows(), 6);  // a half line waits for its end
  Append(path, "строка\r\n");
  Tick();
  ASSERT_EQ(Rows(), 7);
  EXPECT_EQ(Cell(6, 1), "Новая строка");
  EXPECT_EQ(SelectedRow(), 6);
  EXPECT_EQ(Text(kIdTableGroup), "Всего 7 строк");

  Menu(kIdMenuClear);  // the position stays: new lines keep arriving
  EXPECT_EQ(Rows(), 0);
  EXPECT_EQ(Text(kIdTableGroup), "Всего 0 строк");
  Append(path, "21.09.2015 10:12:01  ERROR\tЕщё\r\n");
  Tick();
  EXPECT_EQ(Events(), (std::vector<std::string>{"Ещё"}));
}

TEST_F(ProtoViewTest, WithoutSavedWidthsTheColumnsFitTheTable) {
  const auto style = [&] { return GetWindowLongPtrW(Table(), GWL_STYLE); };
  const auto client_width = [&] {
    RECT client{};
    GetClientRect(Table(), &client);
    return static_cast<int>(client.right);
  };
  const std::string path = Write("protokol.log", kMixedLog);
  Open(path);
  const DesignScale s = DesignScale::ForScreen();
  // A short log: the time column as designed, the event column up to the room of a vertical
  // scroll bar.
  EXPECT_EQ(style() & WS_VSCROLL, 0);
  EXPECT_EQ(style() & WS_HSCROLL, 0);
  EXPECT_EQ(ColumnWidth(0), s(153));
  EXPECT_EQ(ColumnWidth(0) + ColumnWidth(1), client_width() - GetSystemMetrics(SM_CXVSCROLL));
  // A long one brings the vertical scroll bar: the columns fill the table exactly.
  std::string more;
  for (int i = 0; i < 40; ++i) more += "21.09.2015 10:12:00  INFO\tЕщё строка\r\n";
  Append(path, more);
  Tick();
  EXPECT_NE(style() & WS_VSCROLL, 0);
  EXPECT_EQ(style() & WS_HSCROLL, 0);
  EXPECT_EQ(ColumnWidth(0) + ColumnWidth(1), client_width());
  // Narrower and wider windows keep the columns inside the table.
  for (const int width : {s(500), s(900), s(554)}) {
    SetWindowPos(view_, nullptr, 0, 0, width, s(400), SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(style() & WS_HSCROLL, 0) << width;
    EXPECT_LE(ColumnWidth(0) + ColumnWidth(1), client_width()) << width;
  }
}

TEST_F(ProtoViewTest, FiltersShowTheRowsTheModelShows) {
  const std::string path = Write("protokol.log", kMixedLog);
  Open(path);
  const auto model_events = [&](std::int32_t type, const std::string& text) {
    TLogViewModel model(false, kLogFormatOwn);
    model.SetFilterText(text);
    model.SetTypeFilter(type);
    model.LoadFile(path);
    std::vector<std::string> out;
    for (const LogRow& row : model.Rows()) out.push_back(row.text);
    return out;
  };
  for (int type = 0; type < 5; ++type) {
    SelectType(type);
    EXPECT_EQ(Events(), model_events(type, "")) << type;
  }
  SelectType(3);  // "Ошибки"
  EXPECT_EQ(Events(),
            (std::vector<std::string>{"Нет связи с сервером Corvid", "Отказ в регистрации"}));
  EXPECT_EQ(Text(kIdTableGroup), "Показано 2 строк из 6");
  SelectType(0);

  // The text filter: taken by the timer, applied to the whole file two ticks later.
  SetWindowTextUtf8(Item(kIdFilterEdit), "сервер");
  Tick();
  EXPECT_EQ(Rows(), 6);
  Tick(2);
  EXPECT_EQ(Events(), model_events(0, "сервер"));
  EXPECT_EQ(Events().size(), 2u);
  EXPECT_EQ(Text(kIdTableGroup).rfind("Показано ", 0), 0u);
  EXPECT_TRUE(Visible(kIdClearFilterButton));
  SelectType(2);  // both filters at once
  EXPECT_EQ(Events(), model_events(2, "сервер"));

  Click(kIdClearFilterButton);
  EXPECT_EQ(Text(kIdFilterEdit), "");
  EXPECT_FALSE(Visible(kIdClearFilterButton));
  EXPECT_EQ(Events(), model_events(2, ""));
}

TEST_F(ProtoViewTest, BoundsColumnsOptionsAndFontSurviveClosingAndOpeningAgain) {
  const std::string path = Write("protokol.log", kMixedLog);
  Open(path);
  const DesignScale s = DesignScale::ForScreen();
  SetWindowPos(view_, nullptr, 40, 30, s(620), s(420), SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(Table(), LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(111, 0));
  SendMessageW(Table(), LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(333, 0));
  Click(kIdGotoNewMessCB);
  SetWindowTextUtf8(Item(kIdFilterEdit), "ERROR");
  Tick(3);
  SelectType(2);

  // The font dialog, answered from within its own loop: another face, 12 points.
  std::wstring chosen_face;
  {
    InModalLoop answer([&] {
      HWND dialog = FindWindowW(L"#32770", nullptr);
      if (dialog == nullptr || !IsWindowVisible(dialog)) return false;
      HWND faces = GetDlgItem(dialog, 0x470);  // cmb1
      HWND sizes = GetDlgItem(dialog, 0x472);  // cmb3
      const auto count = static_cast<int>(SendMessageW(faces, CB_GETCOUNT, 0, 0));
      const auto current = static_cast<int>(SendMessageW(faces, CB_GETCURSEL, 0, 0));
      if (count > 1) {
        const int pick = current == 0 ? 1 : 0;
        wchar_t face[LF_FACESIZE] = {};
        SendMessageW(faces, CB_GETLBTEXT, static_cast<WPARAM>(pick),
                     reinterpret_cast<LPARAM>(face));
        chosen_face = face;
        SendMessageW(faces, CB_SETCURSEL, static_cast<WPARAM>(pick), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x470, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(faces));
      }
      const LRESULT twelve = SendMessageW(sizes, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(L"12"));
      if (twelve >= 0) {
        SendMessageW(sizes, CB_SETCURSEL, static_cast<WPARAM>(twelve), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x472, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(sizes));
      } else {
        SetWindowTextW(sizes, L"12");
      }
      PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      return true;
    });
    Menu(kIdMenuFont);
  }
  ASSERT_FALSE(chosen_face.empty());
  const int dpi = DesignScale::ForScreen().Dpi();
  EXPECT_EQ(std::wstring(TableFont().lfFaceName), chosen_face);
  EXPECT_EQ(FontPointsFromHeight(TableFont().lfHeight, dpi), 12);

  CloseAndReload();
  TMYIniFile ini(Params(), false, false);
  EXPECT_EQ(ini.ReadString(kProtoViewFormName, "LogSG_col1", ""), "111");
  EXPECT_EQ(ini.ReadString(kProtoViewFormName, "GotoNewMess", ""), "False");
  EXPECT_EQ(ini.ReadString(kProtoViewFormName, "TextFilter", ""), "ERROR");
  EXPECT_EQ(ini.ReadString(kProtoViewFormName, "FontSize", ""), "12");
  EXPECT_EQ(ini.ReadString(kProtoViewFormName, "Left", ""), "40");

  Open(path);
  RECT bounds{};
  GetWindowRect(view_, &bounds);
  EXPECT_EQ(bounds.left, 40);
  EXPECT_EQ(bounds.top, 30);
  EXPECT_EQ(bounds.right - bounds.left, s(620));
  EXPECT_EQ(bounds.bottom - bounds.top, s(420));
  EXPECT_EQ(ColumnWidth(0), 111);
  EXPECT_EQ(ColumnWidth(1), 333);
  EXPECT_EQ(SendMessageW(Item(kIdGotoNewMessCB), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(Text(kIdFilterEdit), "ERROR");
  EXPECT_TRUE(Visible(kIdClearFilterButton));
  EXPECT_EQ(Events(),
            (std::vector<std::string>{"Нет связи с сервером Corvid", "Отказ в регистрации"}));
  EXPECT_EQ(std::wstring(TableFont().lfFaceName), chosen_face);
  EXPECT_EQ(FontPointsFromHeight(TableFont().lfHeight, dpi), 12);
  RECT row{};
  row.left = LVIR_BOUNDS;
  SendMessageW(Table(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
  EXPECT_EQ(row.bottom - row.top, LogRowHeight(FontHeightFromPoints(12, dpi)));
  // The type filter is not kept.
  EXPECT_EQ(SendMessageW(Item(kIdFilterByTypeCB), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(SelectedRow(), -1);  // the last row is not followed any more
}

TEST_F(ProtoViewTest, DoubleClickShowsTheEventInAModalMessageWindow) {
  const std::string path = Write("protokol.log", kMixedLog);
  Open(path);
  std::string caption;
  std::string text;
  bool owner_disabled = false;
  {
    InModalLoop inspect([&] {
      HWND message = MessageFormWindow();
      if (message == nullptr || !IsWindowVisible(message)) return false;
      caption = WindowTextUtf8(message);
      text = WindowTextUtf8(GetDlgItem(message, kIdMessageMemo));
      owner_disabled = IsWindowEnabled(view_) == FALSE;
      SendMessageW(GetDlgItem(message, kIdMessageMemo), WM_KEYDOWN, VK_ESCAPE, 0);
      return true;
    });
    DoubleClickRow(2);
  }
  EXPECT_EQ(caption, "Событие на 21.09.2015 10:11:14");
  EXPECT_EQ(text, "Нет связи с сервером Corvid");
  EXPECT_TRUE(owner_disabled);
  EXPECT_EQ(MessageFormWindow(), nullptr);
  EXPECT_NE(IsWindowEnabled(view_), FALSE);
}

TEST_F(ProtoViewTest, CopyPutsTheWholeTableOnTheClipboard) {
  const std::string path = Write("protokol.log",
                                 "21.09.2015 10:11:12  INFO\tПервая\r\n"
                                 "21.09.2015 10:11:13  ERROR\tВторая\tстрока\r\n");
  Open(path);
  Menu(kIdMenuCopy);
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  std::wstring text;
  if (data != nullptr) {
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  EXPECT_EQ(Narrow(text),
            " Время\t Событие\r\n"
            "21.09.2015 10:11:12\tПервая\r\n"
            "21.09.2015 10:11:13\tВторая строка\r\n");
}

TEST_F(ProtoViewTest, RowsAreColouredByLevelAndTheViewerIsPhotographed) {
  const std::string path = Write("protokol.log", kMixedLog);
  Open(path);
  Click(kIdGotoNewMessCB);  // nothing selected: every row shows its own colour
  SendMessageW(Table(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), [] {
    static LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    return reinterpret_cast<LPARAM>(&none);
  }());
  RedrawWindow(view_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pump(50);
  HDC dc = GetDC(Table());
  const auto background = [&](int row) {
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(Table(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
    // Far right in the event cell, beyond its short text.
    return GetPixel(dc, ColumnWidth(0) + ColumnWidth(1) - 8, (bounds.top + bounds.bottom) / 2);
  };
  EXPECT_EQ(background(0), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(background(1), RGB(255, 255, 130));
  EXPECT_EQ(background(2), RGB(255, 130, 130));
  EXPECT_EQ(background(3), RGB(220, 220, 220));
  EXPECT_EQ(background(4), GetSysColor(COLOR_WINDOW));
  ReleaseDC(Table(), dc);

  // With the last row selected, as the viewer opens on a growing log.
  Click(kIdGotoNewMessCB);
  Append(path, "21.09.2015 10:11:17  INFO\tСоединение восстановлено\r\n");
  Tick();
  RedrawWindow(view_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pump(50);
  const std::wstring shot = testing::ScreenshotPath("protoview.png");
  if (!shot.empty()) {
    EXPECT_TRUE(SaveWindowPng(view_, shot));
  }
}

TEST_F(ProtoViewTest, ScreenshotWithEarlierRecordsAFilterAndTheLevelList) {
  const std::string path = folder_.WriteFile("protokol.log", NumberedLog(kMiB + 65536));
  Open(path);
  SetWindowTextUtf8(Item(kIdFilterEdit), "0000");
  Tick(3);
  EXPECT_TRUE(Visible(kIdMoreButton));
  EXPECT_TRUE(Visible(kIdClearFilterButton));
  EXPECT_EQ(Text(kIdTableGroup).rfind("Показано ", 0), 0u);
  SendMessageW(Item(kIdFilterByTypeCB), CB_SHOWDROPDOWN, TRUE, 0);
  RedrawWindow(view_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pump(100);
  const std::wstring shot = testing::ScreenshotPath("protoview_filtered.png");
  if (!shot.empty()) {
    EXPECT_TRUE(SaveWindowPng(view_, shot));
  }
  SendMessageW(Item(kIdFilterByTypeCB), CB_SHOWDROPDOWN, FALSE, 0);
}

// Answers the open dialog from within its loop: the file `path`, or Cancel when empty.
class OpenDialogAnswer {
 public:
  explicit OpenDialogAnswer(const std::string& path)
      : answer_([path, this] {
          HWND dialog = FindWindowW(L"#32770", nullptr);
          if (dialog == nullptr || !IsWindowVisible(dialog)) return false;
          title_ = WindowTextUtf8(dialog);
          if (path.empty()) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            return true;
          }
          // The file name box: cmb13 in the explorer style, edt1 in older templates.
          HWND name = GetDlgItem(dialog, 0x47C);
          if (name == nullptr) name = GetDlgItem(dialog, 0x480);
          SetWindowTextUtf8(name, path);
          PostMessageW(dialog, WM_COMMAND, IDOK, 0);
          return true;
        }) {}
  const std::string& Title() const { return title_; }

 private:
  std::string title_;
  InModalLoop answer_;
};

TEST_F(ProtoViewTest, WithoutAFileNameTheOpenDialogChoosesFileAndFormat) {
  {
    OpenDialogAnswer cancel("");
    EXPECT_FALSE(ShowProtoView(nullptr, "", true, kLogFormatOwn, store_.get()));
    EXPECT_EQ(cancel.Title(), "Просмотр текстового протокола");
  }
  ASSERT_NE(ProtoViewWindow(), nullptr);  // created, but not shown
  EXPECT_FALSE(IsWindowVisible(ProtoViewWindow()));

  const std::string path = Write("mydebug.log",
                                 "Sep 21 10:11:12 host kern.warning: ядро перегрето\n"
                                 "Sep 21 10:11:13 host daemon.info: всё хорошо\n");
  {
    OpenDialogAnswer choose(path);
    EXPECT_TRUE(ShowProtoView(nullptr, "", true, kLogFormatOwn, store_.get()));
  }
  view_ = ProtoViewWindow();
  EXPECT_TRUE(IsWindowVisible(view_));
  EXPECT_EQ(Caption(), "Протокол [" + path + "]");
  ASSERT_EQ(Rows(), 2);
  EXPECT_EQ(Cell(0, 0), "Sep 21 10:11:12");  // syslog-style: read by the file's name
  EXPECT_EQ(Cell(0, 1), "host kern.warning: ядро перегрето");
  SelectType(2);  // warnings
  EXPECT_EQ(Events(), (std::vector<std::string>{"host kern.warning: ядро перегрето"}));
}

TEST_F(ProtoViewTest, AMissingFileLeavesAnEmptyTableAndTheNextLoadTriesAgain) {
  const std::string path = folder_.Path("missing.log");
  Open(path);
  EXPECT_EQ(Caption(), "Протокол [" + path + "]");
  EXPECT_EQ(Text(kIdTableGroup), "Всего 0 строк");
  Tick();
  EXPECT_EQ(Rows(), 0);
  Write("missing.log", "21.09.2015 10:11:12  INFO\tПоявился\r\n");
  SelectType(1);
  EXPECT_EQ(Events(), (std::vector<std::string>{"Появился"}));
  // Showing the same file again does not read it again.
  Menu(kIdMenuClear);
  EXPECT_TRUE(ShowProtoView(nullptr, path, true, kLogFormatOwn, store_.get()));
  EXPECT_EQ(Rows(), 0);
}

// The popup menu's entries, read from within its own loop and then closed.
std::vector<std::string> PopupMenuEntries(HWND table) {
  std::vector<std::string> entries;
  InModalLoop read([&] {
    HWND menu_window = FindWindowW(L"#32768", nullptr);
    if (menu_window == nullptr || !IsWindowVisible(menu_window)) return false;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menu_window, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      wchar_t text[128] = {};
      GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
      entries.push_back(Narrow(text));
    }
    EndMenu();
    return true;
  });
  RECT bounds{};
  GetWindowRect(table, &bounds);
  SendMessageW(GetParent(table), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(table),
               MAKELPARAM(bounds.left + 40, bounds.top + 60));
  return entries;
}

TEST_F(ProtoViewTest, PopupMenuOffersWhatTheViewerCanDo) {
  const std::string big = folder_.WriteFile("big.log", NumberedLog(kMiB + 4096));
  Open(big);
  EXPECT_EQ(PopupMenuEntries(Table()),
            (std::vector<std::string>{"Прочитать записи ранее", "Очистить", "Шрифт",
                                      "Копировать в буфер обмена"}));
  CloseProtoView();
  // Without live mode there is nothing to clear and no last line to follow.
  Open(Write("small.log", kMixedLog), false);
  EXPECT_EQ(PopupMenuEntries(Table()),
            (std::vector<std::string>{"Шрифт", "Копировать в буфер обмена"}));
  EXPECT_FALSE(Visible(kIdGotoNewMessCB));
}

TEST_F(ProtoViewTest, AFullTableIsReportedOnceAndReadsNoMore) {
  std::string tiny;
  for (int i = 0; i < 350000; ++i) tiny += "a\n";  // more rows than the table takes
  const std::string path = folder_.WriteFile("tiny.log", tiny);
  int messages = 0;
  std::string text;
  {
    InModalLoop close([&] {
      HWND message = MessageFormWindow();
      if (message == nullptr || !IsWindowVisible(message)) return false;
      ++messages;
      text = WindowTextUtf8(GetDlgItem(message, kIdMessageMemo));
      SendMessageW(GetDlgItem(message, kIdMessageOk), BM_CLICK, 0, 0);
      return true;
    });
    Open(path);
  }
  EXPECT_EQ(messages, 1);
  EXPECT_EQ(text, "Максимальное количество строк превышено");
  const int rows = Rows();
  EXPECT_EQ(rows, TLogViewModel::kMaxRows - 1);
  Append(path, "b\n");
  Tick(2);
  EXPECT_EQ(MessageFormWindow(), nullptr);  // told once
  EXPECT_EQ(Rows(), rows);
  Menu(kIdMenuClear);  // cleared, the table takes the waiting and the new lines
  Append(path, "c\n");
  Tick();
  EXPECT_EQ(Events(), (std::vector<std::string>{"b", "c"}));
}

}  // namespace
}  // namespace corvid::ui
