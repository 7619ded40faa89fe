#pragma once
// "Fill Buffer": start address, end address and data, in hexadecimal.

#include <QDialog>

struct MainState;
class Prompts;
class QLineEdit;

class TFillBufferForm : public QDialog {
  Q_OBJECT

 public:
  TFillBufferForm(MainState& state, Prompts& prompts, QWidget* parent = nullptr);

  // OK: checks and fills, or shows why not; the dialog closes either way.
  void BitBtn1Click();

 private:
  MainState& state_;
  Prompts& prompts_;
  QLineEdit* edit1_ = nullptr;
  QLineEdit* edit2_ = nullptr;
  QLineEdit* edit3_ = nullptr;
};
