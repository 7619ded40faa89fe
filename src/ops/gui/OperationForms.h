#pragma once
// The progress windows of the reading operations: blank check (and erase),
// read and verify. Each is the common progress window with its worker.

#include "ops/gui/TOperationForm.h"

class TBlankCheckForm : public TOperationForm {
  Q_OBJECT
 public:
  explicit TBlankCheckForm(TMainForm& main);
};

class TReadForm : public TOperationForm {
  Q_OBJECT
 public:
  explicit TReadForm(TMainForm& main);
};

class TVerifyForm : public TOperationForm {
  Q_OBJECT
 public:
  explicit TVerifyForm(TMainForm& main);
};
