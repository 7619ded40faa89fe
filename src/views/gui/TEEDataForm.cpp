#include "views/gui/TEEDataForm.h"

#include <QTableView>

#include "app/MainState.h"
#include "views/EditSingleData.h"
#include "views/EepromView.h"

TEEDataForm::TEEDataForm(MainState& state, Prompts& prompts, QWidget* parent)
    : BufferGridForm(state, prompts, EepromGridLayout(), 30, parent) {
  setObjectName("TEEDataForm");
  setWindowTitle("EEPROM data");
  OpenWideEnough(322);
  connect(StringGrid1, &QTableView::clicked, this, [this](const QModelIndex& cell) {
    if (SelectClickedCell(cell)) StringGrid1Click();
  });
}

// A byte value of 100h or more is refused in the editor rather than dropped afterwards.
void TEEDataForm::StringGrid1Click() { EditSelectedCell(kByteLimit, StoreEepromCell); }

void TEEDataForm::closeEvent(QCloseEvent* event) {
  state_.EepromWindowOpen = 0;
  BufferGridForm::closeEvent(event);
}
