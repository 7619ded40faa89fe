#pragma once
// Common shape of the two buffer views: an MDI child holding the grid
// `StringGrid1` over a BufferGridModel, edited one cell at a time through
// TEditSingleData.

#include <QMdiSubWindow>
#include <string>

#include "views/gui/BufferGridModel.h"

class Prompts;
class QTableView;

class BufferGridForm : public QMdiSubWindow {
  Q_OBJECT

 public:
  BufferGridModel* Model() const { return model_; }
  QTableView* Grid() const { return StringGrid1; }

  // Fills the grid anew from the buffer.
  void FormCreate();

  // Where the user is in the grid: the scroll position and the selected cell.
  struct Place {
    int vertical = 0;
    int horizontal = 0;
    int row = -1;  // -1: no cell selected
    int column = -1;
  };
  Place CurrentPlace() const;
  // Takes up a place left by another view of the same buffer. A cell the
  // grid no longer has is not selected; the scroll stops at the grid's end.
  void RestorePlace(const Place& place);

 signals:
  // A cell edit ended (also when nothing was stored).
  void CellEdited();

 protected:
  using StoreCell = bool (*)(MainState& state, int row, int column, const std::string& notedText,
                             int result);

  BufferGridForm(MainState& state, Prompts& prompts, const GridLayout& layout, int columnWidth,
                 QWidget* parent);
  // Widens the columns to their header and cell texts at the grid's font and
  // sizes the window to show all of them side by side, `height` high.
  void OpenWideEnough(int height);
  // Makes the clicked cell the selected one; false for a cell with no buffer
  // behind it, which the view then leaves alone.
  bool SelectClickedCell(const QModelIndex& cell);
  // Edits the selected cell: the editor opens with the cell's text, and
  // store() decides whether the result reaches the buffer.
  void EditSelectedCell(int limit, StoreCell store);

  MainState& state_;
  Prompts& prompts_;
  QTableView* StringGrid1;
  BufferGridModel* model_;
};
