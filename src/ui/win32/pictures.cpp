// Pictures drawn with GDI on a key colour that becomes transparent.
#include "ui/win32/pictures.h"

#include <cstdint>

namespace corvid::ui {
namespace {

constexpr COLORREF kKey = RGB(255, 0, 255);

// Drawing in a 16 × 16 design grid, scaled to the bitmap's size.
class Canvas {
 public:
  Canvas(HDC dc, int size) : dc_(dc), size_(size) {}
  int operator()(int design) const { return MulDiv(design, size_, 16); }
  POINT At(int x, int y) const { return POINT{(*this)(x), (*this)(y)}; }
  HDC dc() const { return dc_; }

  void Polygon(const POINT* design, int count, COLORREF color) const {
    POINT points[16];
    for (int i = 0; i < count && i < 16; ++i) points[i] = At(design[i].x, design[i].y);
    HBRUSH brush = CreateSolidBrush(color);
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ old_brush = SelectObject(dc_, brush);
    HGDIOBJ old_pen = SelectObject(dc_, pen);
    ::Polygon(dc_, points, count < 16 ? count : 16);
    SelectObject(dc_, old_brush);
    SelectObject(dc_, old_pen);
    DeleteObject(brush);
    DeleteObject(pen);
  }
  HPEN ThickPen(int design_width, COLORREF color) const {
    LOGBRUSH brush{BS_SOLID, color, 0};
    const int width = (*this)(design_width) > 0 ? (*this)(design_width) : 1;
    return ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER,
                        static_cast<DWORD>(width), &brush, 0, nullptr);
  }

 private:
  HDC dc_;
  int size_;
};

void DrawLeftArrow(const Canvas& c) {
  static const POINT kArrow[] = {{1, 8}, {8, 1}, {8, 5}, {15, 5}, {15, 11}, {8, 11}, {8, 15}};
  c.Polygon(kArrow, 7, RGB(0, 110, 200));
}

void DrawLetterA(const Canvas& c) {
  HFONT font = CreateFontW(-c(16), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                           VARIABLE_PITCH | FF_ROMAN, L"Times New Roman");
  HGDIOBJ old = SelectObject(c.dc(), font);
  SetBkMode(c.dc(), TRANSPARENT);
  SetTextColor(c.dc(), RGB(0, 0, 160));
  RECT box{0, 0, c(16), c(16)};
  DrawTextW(c.dc(), L"A", 1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(c.dc(), old);
  DeleteObject(font);
}

void DrawCurvedArrow(const Canvas& c) {
  const COLORREF green = RGB(0, 140, 60);
  HPEN pen = c.ThickPen(2, green);
  HGDIOBJ old = SelectObject(c.dc(), pen);
  // The upper half of a circle from right to left, then a head pointing down at its left end.
  Arc(c.dc(), c(4), c(4), c(15), c(15), c(15), c(10), c(4), c(10));
  SelectObject(c.dc(), old);
  DeleteObject(pen);
  static const POINT kHead[] = {{0, 9}, {8, 9}, {4, 14}};
  c.Polygon(kHead, 3, green);
}

void DrawRedCross(const Canvas& c) {
  HPEN pen = c.ThickPen(3, RGB(220, 0, 0));
  HGDIOBJ old = SelectObject(c.dc(), pen);
  MoveToEx(c.dc(), c(3), c(3), nullptr);
  LineTo(c.dc(), c(13), c(13));
  MoveToEx(c.dc(), c(13), c(3), nullptr);
  LineTo(c.dc(), c(3), c(13));
  SelectObject(c.dc(), old);
  DeleteObject(pen);
}

}  // namespace

HBITMAP CreatePictureBitmap(Picture picture, int size) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) {
    DeleteDC(dc);
    return nullptr;
  }
  HGDIOBJ old = SelectObject(dc, bitmap);
  HBRUSH key = CreateSolidBrush(kKey);
  RECT all{0, 0, size, size};
  FillRect(dc, &all, key);
  DeleteObject(key);
  const Canvas canvas(dc, size);
  switch (picture) {
    case kPictureLeftArrow:
      DrawLeftArrow(canvas);
      break;
    case kPictureLetterA:
      DrawLetterA(canvas);
      break;
    case kPictureCurvedArrow:
      DrawCurvedArrow(canvas);
      break;
    case kPictureRedCross:
      DrawRedCross(canvas);
      break;
    default:
      break;
  }
  GdiFlush();
  SelectObject(dc, old);
  DeleteDC(dc);
  // The key colour becomes transparent, everything else opaque.
  auto* pixel = static_cast<std::uint32_t*>(bits);
  for (int i = 0; i < size * size; ++i) {
    const std::uint32_t rgb = pixel[i] & 0x00FFFFFFu;
    pixel[i] = rgb == 0x00FF00FFu ? 0u : (rgb | 0xFF000000u);
  }
  return bitmap;
}

HIMAGELIST CreatePictureList(int size) {
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32, kPictureCount, 0);
  for (int i = 0; i < kPictureCount; ++i) {
    HBITMAP bitmap = CreatePictureBitmap(static_cast<Picture>(i), size);
    ImageList_Add(list, bitmap, nullptr);
    DeleteObject(bitmap);
  }
  return list;
}

void DrawPictureButton(const DRAWITEMSTRUCT& item, HIMAGELIST pictures, int index) {
  RECT box = item.rcItem;
  FillRect(item.hDC, &box, GetSysColorBrush(COLOR_BTNFACE));
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  if (pressed) DrawEdge(item.hDC, &box, BDR_SUNKENOUTER, BF_RECT);
  int width = 0;
  int height = 0;
  ImageList_GetIconSize(pictures, &width, &height);
  const int shift = pressed ? 1 : 0;
  ImageList_Draw(pictures, index, item.hDC, box.left + (box.right - box.left - width) / 2 + shift,
                 box.top + (box.bottom - box.top - height) / 2 + shift, ILD_TRANSPARENT);
  if ((item.itemState & ODS_FOCUS) != 0) {
    InflateRect(&box, -1, -1);
    DrawFocusRect(item.hDC, &box);
  }
}

}  // namespace corvid::ui
