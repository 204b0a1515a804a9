// The log viewer's table: a report-mode list view of two columns (time, event) whose rows the
// model holds (owner data) and which draws every row itself, filled with the colour of the
// row's level (owner draw). Its row height follows its font.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/model/logview.h"
#include "ui/win32/uicommon.h"

namespace corvid::ui {

class TLogTable {
 public:
  // Creates the list view with the columns " Время" and " Событие".
  TLogTable(HWND parent, int id, const DesignScale& scale, const std::vector<LogRow>& rows);
  ~TLogTable();
  TLogTable(const TLogTable&) = delete;
  TLogTable& operator=(const TLogTable&) = delete;

  HWND Handle() const { return list_; }

  // The model's rows changed: `reset` after a load or clear (selection and scroll position start
  // again at the top), otherwise rows were appended.
  void RowsChanged(bool reset);
  // Selects the last row and scrolls it into view.
  void SelectLastRow();
  // The selected row, or -1.
  int CurrentRow() const;

  // Takes the font (a copy) and sets the row height from it.
  void SetFont(const LOGFONTW& font);
  const LOGFONTW& Font() const { return log_font_; }
  int RowHeight() const;

  // The parent forwards these; true when the message was the table's.
  bool MeasureItem(MEASUREITEMSTRUCT& item) const;
  bool DrawItem(const DRAWITEMSTRUCT& item) const;
  bool Notify(NMHDR& header, LRESULT& result) const;

 private:
  void DrawCell(HDC dc, const RECT& cell, const std::string& text, COLORREF background,
                COLORREF text_color, int text_height) const;

  HWND list_ = nullptr;
  DesignScale scale_;
  const std::vector<LogRow>& rows_;
  LOGFONTW log_font_{};
  HFONT font_ = nullptr;
};

}  // namespace corvid::ui
