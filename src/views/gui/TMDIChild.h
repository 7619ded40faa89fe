#pragma once
// The program-memory view: eight words a row, a word edited by double click.

#include "views/gui/BufferGridForm.h"

class TMDIChild : public BufferGridForm {
  Q_OBJECT

 public:
  TMDIChild(MainState& state, Prompts& prompts, QWidget* parent = nullptr);

  void StringGrid1DblClick();  // a double click on a program word: edit it

 protected:
  void closeEvent(QCloseEvent* event) override;
};
