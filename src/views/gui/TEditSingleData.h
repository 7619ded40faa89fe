#pragma once
// "Enter new value": the modal editor of one grid cell. It opens with the
// cell's text; Result() is the accepted value, or the cell's own value when
// the edit was cancelled or the dialog closed.

#include <QDialog>
#include <string>

class Prompts;
class QLabel;
class QLineEdit;
class QPushButton;

class TEditSingleData : public QDialog {
  Q_OBJECT

 public:
  // limit: values from limit up are refused with "Invalid Value,too large!".
  TEditSingleData(const std::string& initialText, Prompts& prompts, int limit,
                  QWidget* parent = nullptr);

  int Result() const { return result_; }

  void OKBtnClick();      // OK: the value entered goes into the cell
  void CancelBtnClick();  // Cancel: the cell stays as it was

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Prompts& prompts_;
  std::string initialText_;
  int limit_;
  int result_;
  QLabel* Label1;
  QLineEdit* Edit1;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;
};
