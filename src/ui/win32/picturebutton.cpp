// Picture and caption of push buttons, drawn in the buttons' custom draw.
#include "ui/win32/picturebutton.h"

#include <string>

#include "ui/model/formlayout.h"
#include "ui/win32/uicommon.h"

namespace corvid::ui {

PictureButtons::~PictureButtons() {
  for (const Entry& entry : entries_) ImageList_Destroy(entry.picture);
}

void PictureButtons::Add(HWND button, int icon, int picture_size, int spacing) {
  HIMAGELIST picture = ImageList_Create(picture_size, picture_size, ILC_COLOR32 | ILC_MASK, 1, 0);
  if (picture == nullptr) return;
  ImageList_AddIcon(picture, LoadIconResource(icon, picture_size));
  entries_.push_back(Entry{button, picture, picture_size, spacing});
}

bool PictureButtons::Notify(const NMHDR& header, LRESULT& result) const {
  if (header.code != NM_CUSTOMDRAW) return false;
  for (const Entry& entry : entries_) {
    if (entry.button != header.hwndFrom) continue;
    const auto& draw = reinterpret_cast<const NMCUSTOMDRAW&>(header);
    // The face is the button's own; what lies on it is drawn here.
    if (draw.dwDrawStage == CDDS_PREPAINT) {
      Draw(entry, draw);
      result = CDRF_SKIPDEFAULT;
    } else {
      result = CDRF_DODEFAULT;
    }
    return true;
  }
  return false;
}

void PictureButtons::Draw(const Entry& entry, const NMCUSTOMDRAW& draw) const {
  HDC dc = draw.hdc;
  const std::wstring caption = Wide(WindowTextUtf8(entry.button));
  const auto ui_state = static_cast<UINT>(SendMessageW(entry.button, WM_QUERYUISTATE, 0, 0));
  const UINT format = DT_SINGLELINE | DT_LEFT | DT_VCENTER | DT_END_ELLIPSIS |
                      ((ui_state & UISF_HIDEACCEL) != 0 ? DT_HIDEPREFIX : 0);
  HGDIOBJ old_font =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(entry.button, WM_GETFONT, 0, 0)));
  // Measured whole and unaligned: the ellipsis is for drawing only, and vertical centring
  // would take half the height off the measured box.
  RECT measured{0, 0, 0, 0};
  DrawTextW(dc, caption.c_str(), -1, &measured,
            (format & ~(DT_END_ELLIPSIS | DT_VCENTER)) | DT_CALCRECT);
  RECT client{};
  GetClientRect(entry.button, &client);
  // Inside the button's frame (a default button's frame is a pixel wider).
  const bool default_button =
      (GetWindowLongPtrW(entry.button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
  const int frame = default_button ? 3 : 2;
  const Box content{client.left + frame, client.top + frame, client.right - client.left - 2 * frame,
                    client.bottom - client.top - 2 * frame};
  PictureCaptionLayout l = LayOutPictureCaption(content, entry.size, measured.right - measured.left,
                                                measured.bottom - measured.top, entry.spacing);
  if ((draw.uItemState & CDIS_SELECTED) != 0) {  // pressed: the face's contents move in
    for (Box* box : {&l.picture, &l.caption}) {
      ++box->left;
      ++box->top;
    }
  }
  ImageList_Draw(entry.picture, 0, dc, l.picture.left, l.picture.top, ILD_TRANSPARENT);
  RECT text{l.caption.left, l.caption.top, l.caption.left + l.caption.width,
            l.caption.top + l.caption.height};
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  const COLORREF old_color = SetTextColor(
      dc, GetSysColor((draw.uItemState & CDIS_DISABLED) != 0 ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  DrawTextW(dc, caption.c_str(), -1, &text, format);
  SetTextColor(dc, old_color);
  SetBkMode(dc, old_mode);
  SelectObject(dc, old_font);

  if ((draw.uItemState & CDIS_FOCUS) != 0 && (ui_state & UISF_HIDEFOCUS) == 0) {
    RECT focus = client;
    InflateRect(&focus, -(frame + 1), -(frame + 1));
    DrawFocusRect(dc, &focus);
  }
}

}  // namespace corvid::ui
