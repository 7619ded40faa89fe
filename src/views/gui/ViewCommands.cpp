// The "View" commands and the creation, re-creation and removal of the
// buffer views and the ID window. A window's pointer in the main window and
// its open flag in MainState always change together.

#include <QMdiArea>
#include <QPointer>
#include <optional>

#include "app/gui/TMainForm.h"
#include "views/gui/TEEDataForm.h"
#include "views/gui/TIDChecksumForm.h"
#include "views/gui/TMDIChild.h"

namespace {

void BringForward(QMdiArea* area, QMdiSubWindow* window) {
  if (window->isMinimized()) window->showNormal();
  area->setActiveSubWindow(window);
}

// Shows fresh in place of the window in slot (which is deleted); a window
// that replaces another keeps its place on screen, a grid its scroll position
// and selected cell, and the window that was in front stays in front.
void Install(TMainForm* form, QMdiSubWindow*& slot, QMdiSubWindow* fresh) {
  QMdiSubWindow* old = slot;
  const bool maximized = old != nullptr && old->isMaximized();
  const QRect place = old != nullptr ? old->geometry() : QRect();
  std::optional<BufferGridForm::Place> gridPlace;
  if (auto* grid = qobject_cast<BufferGridForm*>(old)) gridPlace = grid->CurrentPlace();
  QPointer<QMdiSubWindow> front = form->MdiArea()->activeSubWindow();
  if (front == old) front = nullptr;
  delete old;
  slot = fresh;
  // The closed window is deleted later; forget it then unless it was replaced.
  QObject::connect(fresh, &QObject::destroyed, form, [form, &slot, fresh] {
    if (TMainForm::Instance() == form && slot == fresh) slot = nullptr;
  });
  form->MdiArea()->addSubWindow(fresh);
  if (maximized) {
    fresh->showMaximized();
  } else {
    if (place.isValid()) {
      fresh->move(place.topLeft());
      fresh->resize(place.size());
    }
    fresh->show();
  }
  if (auto* grid = qobject_cast<BufferGridForm*>(fresh); grid && gridPlace) grid->RestorePlace(*gridPlace);
  if (old != nullptr && front != nullptr) form->MdiArea()->setActiveSubWindow(front);
}

}  // namespace

void TMainForm::ProgramMemory1Click() {
  if (state_.MemoryWindowOpen && memoryView_ != nullptr) {
    BringForward(mdiArea_, memoryView_);
    return;
  }
  CreateMemoryView();
}

void TMainForm::ID2Click() {
  if (state_.IdWindowOpen && idWindow_ != nullptr) {
    BringForward(mdiArea_, idWindow_);
    return;
  }
  CreateIdWindow();
}

void TMainForm::EEPROM1Click() {
  if (state_.MemoryKind != 2) return;  // the device has no data EEPROM
  if (state_.EepromWindowOpen && eepromWindow_ != nullptr) {
    BringForward(mdiArea_, eepromWindow_);
    return;
  }
  CreateEepromWindow();
}

void TMainForm::CreateMemoryView() {
  auto* view = new TMDIChild(state_, prompts_);
  view->setWindowTitle(state_.CurrentFileName.empty() ? QString("Program Memory")
                                                      : QString::fromStdString(state_.CurrentFileName));
  connect(view, &BufferGridForm::CellEdited, this, [this] {
    CalChecksum();
    ShowPanel();
  });
  Install(this, memoryView_, view);
  state_.MemoryWindowOpen = 1;
}

void TMainForm::CreateIdWindow() {
  auto* window = new TIDChecksumForm(state_);
  connect(window, &TIDChecksumForm::PanelTextsChanged, this, &TMainForm::ShowPanel);
  Install(this, idWindow_, window);
  state_.IdWindowOpen = 1;
  ShowPanel();  // the new window has just set Label17 and Label18
}

void TMainForm::CreateEepromWindow() {
  Install(this, eepromWindow_, new TEEDataForm(state_, prompts_));
  state_.EepromWindowOpen = 1;
}

void TMainForm::RecreateMemoryView() {
  if (state_.MemoryWindowOpen) CreateMemoryView();
}

void TMainForm::RecreateIdWindow() {
  if (state_.IdWindowOpen) CreateIdWindow();
}

void TMainForm::RecreateEepromWindow() {
  if (state_.EepromWindowOpen) CreateEepromWindow();
}

void TMainForm::DestroyEepromWindow() {
  delete eepromWindow_;
  eepromWindow_ = nullptr;
  state_.EepromWindowOpen = 0;
}
