#include "views/gui/BufferGridForm.h"

#include <QHeaderView>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <algorithm>

#include "views/gui/TEditSingleData.h"

BufferGridForm::BufferGridForm(MainState& state, Prompts& prompts, const GridLayout& layout,
                               int columnWidth, QWidget* parent)
    : QMdiSubWindow(parent), state_(state), prompts_(prompts) {
  setAttribute(Qt::WA_DeleteOnClose);
  model_ = new BufferGridModel(state, layout, this);
  StringGrid1 = new QTableView(this);
  StringGrid1->setObjectName("StringGrid1");
  StringGrid1->setModel(model_);
  StringGrid1->setFrameShape(QFrame::NoFrame);
  StringGrid1->setShowGrid(true);
  StringGrid1->setWordWrap(false);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  StringGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
  // Fixed sections: the views never measure thousands of rows.
  QHeaderView* rowsHeader = StringGrid1->verticalHeader();
  rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
  rowsHeader->setDefaultSectionSize(20);
  rowsHeader->setDefaultAlignment(Qt::AlignCenter);
  QHeaderView* columnsHeader = StringGrid1->horizontalHeader();
  columnsHeader->setSectionResizeMode(QHeaderView::Fixed);
  columnsHeader->setMinimumSectionSize(columnWidth);
  columnsHeader->setDefaultSectionSize(columnWidth);
  setWidget(StringGrid1);
}

void BufferGridForm::FormCreate() { model_->Refresh(); }

void BufferGridForm::OpenWideEnough(int height) {
  // One width for all, kept when the grid is filled anew.
  QHeaderView* columns = StringGrid1->horizontalHeader();
  int width = columns->defaultSectionSize();
  for (int c = 0; c < model_->columnCount(); ++c) {
    width = std::max(width, columns->sectionSizeHint(c));
    if (model_->rowCount() > 0) width = std::max(width, StringGrid1->sizeHintForIndex(model_->index(0, c)).width());
  }
  columns->setMinimumSectionSize(width);
  columns->setDefaultSectionSize(width);
  // The row labels, the columns, the scroll bar beside them and the frames
  // of the grid and of the window.
  const int frame = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
  const int scrollBar = StringGrid1->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, StringGrid1);
  resize(StringGrid1->verticalHeader()->sizeHint().width() + columns->length() + scrollBar +
             2 * StringGrid1->frameWidth() + 2 * frame,
         height);
}

BufferGridForm::Place BufferGridForm::CurrentPlace() const {
  Place place{StringGrid1->verticalScrollBar()->value(), StringGrid1->horizontalScrollBar()->value()};
  const QModelIndex cell = StringGrid1->currentIndex();
  if (cell.isValid() && StringGrid1->selectionModel()->isSelected(cell)) {
    place.row = cell.row();
    place.column = cell.column();
  }
  return place;
}

namespace {
// A grid not laid out yet has no scroll range: open it wide enough for the
// value, and the grid's own layout narrows it (and the value) to the rows it has.
void ScrollTo(QScrollBar* bar, int value) {
  bar->setRange(bar->minimum(), std::max(bar->maximum(), value));
  bar->setValue(value);
}
}  // namespace

void BufferGridForm::RestorePlace(const Place& place) {
  const QModelIndex cell = model_->index(place.row, place.column);
  if (cell.isValid() && (model_->flags(cell) & Qt::ItemIsSelectable)) {
    // Selecting scrolls the cell into view; the old scroll position is set after.
    StringGrid1->setCurrentIndex(cell);
  }
  ScrollTo(StringGrid1->verticalScrollBar(), place.vertical);
  ScrollTo(StringGrid1->horizontalScrollBar(), place.horizontal);
}

bool BufferGridForm::SelectClickedCell(const QModelIndex& cell) {
  // A click on a blank cell leaves the previous cell current: never edit that one instead.
  if (!(model_->flags(cell) & Qt::ItemIsEnabled)) return false;
  StringGrid1->setCurrentIndex(cell);
  return true;
}

void BufferGridForm::EditSelectedCell(int limit, StoreCell store) {
  const QModelIndex cell = StringGrid1->currentIndex();
  if (!cell.isValid()) return;
  const int row = cell.row();
  const int column = cell.column();
  const std::string noted = model_->CellText(row, column);
  if (noted.empty()) return;  // no buffer behind this cell
  // No parent: the editor opens centred on the screen, and lives on its own
  // should this view be re-created while it is open.
  QPointer<BufferGridForm> self(this);
  int result;
  {
    TEditSingleData editor(noted, prompts_, limit);
    editor.exec();
    result = editor.Result();
  }
  if (self.isNull()) return;  // the cell it was opened on is gone
  if (store(state_, row, column, noted, result)) model_->CellChanged(row, column);
  emit CellEdited();
}
