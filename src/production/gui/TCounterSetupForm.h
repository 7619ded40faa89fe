#pragma once
// "Counter Setup": the pass count's starting value. Only digits, Backspace
// and Delete edit the field; "OK" makes its text the pass count as typed.

#include <QDialog>

class QLineEdit;
struct MainState;

class TCounterSetupForm : public QDialog {
  Q_OBJECT

 public:
  TCounterSetupForm(MainState& state, QWidget* parent = nullptr);

  QLineEdit* Edit1() const { return edit1_; }
  void BitBtn1Click();  // OK: the pass count becomes the value entered

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  MainState& state_;
  QLineEdit* edit1_ = nullptr;
};
