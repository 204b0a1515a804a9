// Push buttons with a picture just before their caption, the two centred together in the
// button. The button draws its own face; its window hands the button's custom draw
// notification (NM_CUSTOMDRAW) here, which draws the picture, the caption and the focus.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <vector>

namespace corvid::ui {

class PictureButtons {
 public:
  PictureButtons() = default;
  ~PictureButtons();
  PictureButtons(const PictureButtons&) = delete;
  PictureButtons& operator=(const PictureButtons&) = delete;

  // Gives `button` the icon resource `icon`, `picture_size` pixels square, `spacing` pixels
  // before its caption.
  void Add(HWND button, int icon, int picture_size, int spacing);
  // The window's WM_NOTIFY: true, with the result to return, when it was the custom draw of
  // one of these buttons.
  bool Notify(const NMHDR& header, LRESULT& result) const;

 private:
  struct Entry {
    HWND button;
    HIMAGELIST picture;
    int size;
    int spacing;
  };
  void Draw(const Entry& entry, const NMCUSTOMDRAW& draw) const;

  std::vector<Entry> entries_;
};

}  // namespace corvid::ui
