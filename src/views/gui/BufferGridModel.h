#pragma once
// A grid of hex cells read straight from MainState: no copy of the buffer is
// kept, so a view of the largest buffer costs only the cells on screen.
// Header row and address column are the model's headers.

#include <QAbstractTableModel>
#include <string>

struct MainState;

struct GridLayout {
  int columns;
  int (*rows)(const MainState& state);
  std::string (*header)(int column);
  std::string (*rowLabel)(int row);
  // Empty text: no cell there (outside the buffer); it is shown blank and cannot be chosen.
  std::string (*cell)(const MainState& state, int row, int column);
};

const GridLayout& ProgramGridLayout();  // eight words a row
const GridLayout& EepromGridLayout();   // sixteen bytes a row

class BufferGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  BufferGridModel(const MainState& state, const GridLayout& layout, QObject* parent = nullptr);

  // Re-reads the row count and every cell (the buffer or the device changed).
  void Refresh();
  // One cell changed in the buffer.
  void CellChanged(int row, int column);
  std::string CellText(int row, int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  bool InGrid(const QModelIndex& index) const;

  const MainState& state_;
  const GridLayout& layout_;
  int rows_;  // fixed between resets, whatever the state does meanwhile
};
