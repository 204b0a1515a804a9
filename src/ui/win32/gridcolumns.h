// TStringGridLivingColumns: attached to a report-mode list view, keeps its columns' widths in the
// proportions that the user gave them while the window is resized (LivingColumns decides). It
// watches the size of the list view's parent window and the left button's release over the
// column headers, and takes itself out of both when destroyed.
#pragma once

#include <windows.h>

#include <vector>

#include "ui/model/livingcolumns.h"

namespace corvid::ui {

class TStringGridLivingColumns {
 public:
  // Takes the current widths as the proportions to keep.
  explicit TStringGridLivingColumns(HWND list_view);
  ~TStringGridLivingColumns();
  TStringGridLivingColumns(const TStringGridLivingColumns&) = delete;
  TStringGridLivingColumns& operator=(const TStringGridLivingColumns&) = delete;

  void RecordShares();
  // Sum of the column widths plus the column count.
  int TotalColumnWidth() const;
  const LivingColumns& Model() const { return columns_; }

 private:
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR self);
  static LRESULT CALLBACK HeaderProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR id, DWORD_PTR self);
  void FormResized();
  void MouseUp(bool left_button);
  int ClientWidth() const;

  HWND grid_;
  HWND form_;
  HWND header_;
  LivingColumns columns_;
};

// The column widths of a report-mode list view, and setting them.
std::vector<int> ColumnWidths(HWND list_view);
void SetColumnWidths(HWND list_view, const std::vector<int>& widths);

}  // namespace corvid::ui
