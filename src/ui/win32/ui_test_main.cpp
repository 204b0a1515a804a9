// The Win32 window tests: a GoogleTest main with the common controls set up, and the helpers of
// ui_test_support.h.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "ui/win32/ui_test_support.h"
#include "ui/win32/uicommon.h"
#include "util/text.h"

namespace corvid::ui::testing {

std::vector<std::string> LogMessages(const std::string& log_path) {
  std::ifstream in(std::filesystem::path(std::u8string(log_path.begin(), log_path.end())),
                   std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::string> messages;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    const std::size_t text = line.find("  ");  // date, blank, time, two blanks, message
    messages.push_back(Cp1251ToUtf8(text == std::string::npos ? line : line.substr(text + 2)));
    start = end + 2;
  }
  return messages;
}

void Pump(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

bool TakeQuitMessage() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

namespace {
std::string closed_box_text;

BOOL CALLBACK FindThreadMessageBox(HWND window, LPARAM found) {
  wchar_t class_name[16] = {};
  GetClassNameW(window, class_name, 16);
  if (IsWindowVisible(window) && std::wstring(class_name) == L"#32770") {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK CloseMessageBox(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindThreadMessageBox, reinterpret_cast<LPARAM>(&box));
  if (box == nullptr) return;
  closed_box_text = WindowTextUtf8(GetDlgItem(box, 0xFFFF));  // the box's message static
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}
}  // namespace

MessageBoxCloser::MessageBoxCloser() {
  closed_box_text.clear();
  timer_ = SetTimer(nullptr, 0, 50, CloseMessageBox);
}

MessageBoxCloser::~MessageBoxCloser() {
  KillTimer(nullptr, timer_);
}

const std::string& MessageBoxCloser::Text() const {
  return closed_box_text;
}

namespace {

// A 32-bit memory picture of `width` × `height` pixels to draw into and read back.
class Picture {
 public:
  Picture(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    if (bitmap_ != nullptr) old_ = SelectObject(dc_, bitmap_);
  }
  ~Picture() {
    if (bitmap_ != nullptr) {
      SelectObject(dc_, old_);
      DeleteObject(bitmap_);
    }
    DeleteDC(dc_);
  }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  bool Valid() const { return bitmap_ != nullptr; }
  HDC Dc() const { return dc_; }
  std::uint32_t At(int x, int y) const {
    GdiFlush();
    return static_cast<const std::uint32_t*>(bits_)[y * width_ + x] & 0xFFFFFFu;
  }
  // The colour most of the rectangle has.
  std::uint32_t MostCommon(int left, int top, int right, int bottom) const {
    std::map<std::uint32_t, int> counts;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) ++counts[At(x, y)];
    }
    std::uint32_t colour = 0;
    int most = 0;
    for (const auto& [value, count] : counts) {
      if (count > most) {
        most = count;
        colour = value;
      }
    }
    return colour;
  }
  // Rows of the rectangle with anything but `background`.
  int InkedRows(int left, int top, int right, int bottom, std::uint32_t background) const {
    int rows = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) {
        if (At(x, y) != background) {
          ++rows;
          break;
        }
      }
    }
    return rows;
  }

 private:
  int width_;
  int height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

// The rows a button's caption takes when drawn whole in the button's font.
int CaptionRows(HWND button) {
  const std::wstring caption = Wide(WindowTextUtf8(button));
  Picture picture(400, 100);
  if (!picture.Valid()) return 0;
  RECT all{0, 0, 400, 100};
  FillRect(picture.Dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SelectObject(picture.Dc(), reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)));
  SetBkMode(picture.Dc(), TRANSPARENT);
  const auto ui_state = static_cast<UINT>(SendMessageW(button, WM_QUERYUISTATE, 0, 0));
  RECT at{10, 10, 390, 90};
  DrawTextW(picture.Dc(), caption.c_str(), -1, &at,
            DT_SINGLELINE | DT_NOCLIP | ((ui_state & UISF_HIDEACCEL) != 0 ? DT_HIDEPREFIX : 0));
  return picture.InkedRows(0, 0, 400, 100, 0xFFFFFFu);
}

}  // namespace

ButtonInk InkOfButton(HWND button, int frame) {
  RECT client{};
  GetClientRect(button, &client);
  const int width = client.right;
  const int height = client.bottom;
  ButtonInk ink;
  Picture picture(width, height);
  if (!picture.Valid() || width <= 2 * frame || height <= 2 * frame) return ink;
  SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(picture.Dc()),
               PRF_CLIENT | PRF_ERASEBKGND);
  // The face: the colour most of the inside has (themes draw it in colours of their own).
  const std::uint32_t face = picture.MostCommon(frame, frame, width - frame, height - frame);
  int first = -1;
  int last = -1;
  int gap = 0;
  int caption_left = -1;
  for (int x = frame; x < width - frame; ++x) {
    if (picture.InkedRows(x, frame, x + 1, height - frame, face) == 0) {
      ++gap;
      continue;
    }
    if (first < 0) first = x;
    if (last >= 0 && gap > ink.widest_gap) {
      ink.widest_gap = gap;
      caption_left = x;
    }
    last = x;
    gap = 0;
  }
  ink.any = first >= 0;
  if (ink.any) {
    ink.left_room = first - frame;
    ink.right_room = width - frame - 1 - last;
  }
  if (caption_left >= 0) {
    ink.caption_rows = picture.InkedRows(caption_left, frame, last + 1, height - frame, face);
  }
  return ink;
}

void ExpectPictureBesideCaption(HWND button, int spacing) {
  SCOPED_TRACE(WindowTextUtf8(button));
  const DesignScale scale = DesignScale::ForScreen();
  const ButtonInk ink = InkOfButton(button, scale(5));
  ASSERT_TRUE(ink.any);
  // The pictures leave up to a sixth of their size transparent at the sides, and a caption's
  // letters can be drawn a few pixels narrower than the font's advance widths (Wine's Tahoma).
  const int slack = scale(8);
  EXPECT_LE(std::abs(ink.left_room - ink.right_room), slack)
      << "left " << ink.left_room << ", right " << ink.right_room;
  EXPECT_LE(ink.widest_gap, spacing + slack);
  // The caption is drawn whole, not cut at the top or bottom.
  EXPECT_EQ(ink.caption_rows, CaptionRows(button));
}

std::wstring ScreenshotPath(const std::string& name) {
  const std::wstring folder = ScreenshotFolder();
  if (folder.empty()) return {};
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\" + Wide(name);
}

}  // namespace corvid::ui::testing

int wmain(int argc, wchar_t** argv) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
