#pragma once
// The EEPROM view: sixteen bytes a row, a byte edited by a single click.

#include "views/gui/BufferGridForm.h"

class TEEDataForm : public BufferGridForm {
  Q_OBJECT

 public:
  TEEDataForm(MainState& state, Prompts& prompts, QWidget* parent = nullptr);

  void StringGrid1Click();  // a click on an EEPROM cell: edit that byte

 protected:
  void closeEvent(QCloseEvent* event) override;
};
