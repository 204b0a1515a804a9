// The small pictures of the log viewer (menu entries and flat buttons), drawn at run time at the
// screen's size, and the drawing of a flat picture button.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace corvid::ui {

enum Picture : int {
  kPictureLeftArrow = 0,    // read earlier records
  kPictureLetterA = 1,      // font
  kPictureCurvedArrow = 2,  // copy to the clipboard
  kPictureRedCross = 3,     // clear
  kPictureCount = 4,
};

// A 32-bit bitmap with premultiplied alpha, `size` pixels square, for a menu entry; the caller
// owns it.
HBITMAP CreatePictureBitmap(Picture picture, int size);
// All pictures in order, `size` pixels square; the caller owns the list.
HIMAGELIST CreatePictureList(int size);

// WM_DRAWITEM of an owner-drawn button: the dialog face, the picture centred (moved down and
// right by a pixel and framed while pressed), a focus rectangle when focused.
void DrawPictureButton(const DRAWITEMSTRUCT& item, HIMAGELIST pictures, int index);

}  // namespace corvid::ui
