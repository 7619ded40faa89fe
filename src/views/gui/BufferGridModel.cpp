#include "views/gui/BufferGridModel.h"

#include "app/MainState.h"
#include "views/EepromView.h"
#include "views/ProgramMemoryView.h"

const GridLayout& ProgramGridLayout() {
  static const GridLayout layout{kProgramGridColumns, ProgramGridRows, ProgramGridHeader,
                                 ProgramGridRowLabel, ProgramCellText};
  return layout;
}

const GridLayout& EepromGridLayout() {
  static const GridLayout layout{kEepromGridColumns, EepromGridRows, EepromGridHeader,
                                 EepromGridRowLabel, EepromCellText};
  return layout;
}

BufferGridModel::BufferGridModel(const MainState& state, const GridLayout& layout, QObject* parent)
    : QAbstractTableModel(parent), state_(state), layout_(layout), rows_(layout.rows(state)) {}

void BufferGridModel::Refresh() {
  beginResetModel();
  rows_ = layout_.rows(state_);
  endResetModel();
}

void BufferGridModel::CellChanged(int row, int column) {
  const QModelIndex cell = index(row, column);
  if (cell.isValid()) emit dataChanged(cell, cell, {Qt::DisplayRole});
}

std::string BufferGridModel::CellText(int row, int column) const {
  if (row < 0 || row >= rows_) return {};
  return layout_.cell(state_, row, column);
}

bool BufferGridModel::InGrid(const QModelIndex& index) const {
  return index.isValid() && !index.parent().isValid() && index.row() < rows_ &&
         index.column() < layout_.columns;
}

int BufferGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int BufferGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : layout_.columns;
}

QVariant BufferGridModel::data(const QModelIndex& index, int role) const {
  if (!InGrid(index)) return {};
  if (role == Qt::DisplayRole) return QString::fromStdString(CellText(index.row(), index.column()));
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
  return {};
}

QVariant BufferGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || section < 0) return {};
  if (orientation == Qt::Horizontal) {
    if (section >= layout_.columns) return {};
    return QString::fromStdString(layout_.header(section));
  }
  if (section >= rows_) return {};
  return QString::fromStdString(layout_.rowLabel(section));
}

Qt::ItemFlags BufferGridModel::flags(const QModelIndex& index) const {
  if (!InGrid(index) || CellText(index.row(), index.column()).empty()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
