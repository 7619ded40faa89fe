#pragma once
// "Production Ledger": where every pass is recorded and serial numbers come
// from (the default file, another file, or a PostgreSQL server; its password
// typed apart and never shown), and the current job as the ledger holds it.
// Switching the ledger off asks first; a location that cannot be opened is
// refused and the dialog stays.

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class TMainForm;

class TLedgerForm : public QDialog {
  Q_OBJECT

 public:
  explicit TLedgerForm(TMainForm& main);

  void BrowseClick();   // a ledger file, new or existing
  void BitBtn1Click();  // OK

  QCheckBox* LedgerOn() const { return ledgerOn_; }
  QRadioButton* DefaultFile() const { return defaultFile_; }
  QRadioButton* OtherFile() const { return otherFile_; }
  QRadioButton* Server() const { return server_; }
  QLineEdit* FilePath() const { return filePath_; }
  QLineEdit* Uri() const { return uri_; }
  QLineEdit* Password() const { return password_; }
  QLabel* JobText() const { return jobText_; }

 private:
  void ShowChoice();
  void EnableFields();
  std::string JobDescription() const;

  TMainForm& main_;
  QCheckBox* ledgerOn_ = nullptr;
  QRadioButton* defaultFile_ = nullptr;
  QRadioButton* otherFile_ = nullptr;
  QRadioButton* server_ = nullptr;
  QLineEdit* filePath_ = nullptr;
  QLineEdit* uri_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLabel* jobText_ = nullptr;
};
