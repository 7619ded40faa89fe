#include "views/gui/TMDIChild.h"

#include <QTableView>

#include "app/MainState.h"
#include "views/EditSingleData.h"
#include "views/ProgramMemoryView.h"

TMDIChild::TMDIChild(MainState& state, Prompts& prompts, QWidget* parent)
    : BufferGridForm(state, prompts, ProgramGridLayout(), 40, parent) {
  setObjectName("TMDIChild");
  setWindowTitle("Program Memory");
  OpenWideEnough(319);
  connect(StringGrid1, &QTableView::doubleClicked, this, &TMDIChild::StringGrid1DblClick);
}

void TMDIChild::StringGrid1DblClick() { EditSelectedCell(kWordLimit, StoreProgramCell); }

void TMDIChild::closeEvent(QCloseEvent* event) {
  state_.MemoryWindowOpen = 0;
  // The disassembly follows this view; "Save Disassmble" goes grey with it.
  state_.DisassemblyWindowOpen = 0;
  BufferGridForm::closeEvent(event);
}
