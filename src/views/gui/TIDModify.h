#pragma once
// "ID Modify": the modal editor of the twelve user ID bytes, as text (Edit1)
// or as hex groups (MaskEdit2), whichever the ID window shows.

#include <QDialog>

struct MainState;
class ByteTextEdit;
class QLabel;
class QLineEdit;
class QPushButton;

class TIDModify : public QDialog {
  Q_OBJECT

 public:
  explicit TIDModify(MainState& state, QWidget* parent = nullptr);

  void BitBtn1Click();  // OK: store the entry in IdBuffer
  void BitBtn2Click();  // Cancel

 private:
  MainState& state_;
  bool hex_;
  QLabel* Label1;
  ByteTextEdit* Edit1;
  QLineEdit* MaskEdit2;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;
};
