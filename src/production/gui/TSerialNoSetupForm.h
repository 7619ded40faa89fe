#pragma once
// "Serial No.": the serial-number settings. "OK" turns serial-number mode on
// when the number's words are RTIW words and stamps the number; "Disable
// Serial Mode" turns it off; "QTP File" writes a file of numbered records
// from the same settings.

#include <QDialog>

class QButtonGroup;
class QLineEdit;
class TMainForm;
struct MainState;
struct SerialNumberSettings;

class TSerialNoSetupForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSerialNoSetupForm(TMainForm& main);
  ~TSerialNoSetupForm() override;

  // The fields from the serial-number settings.
  void FormCreate();

  // Run as the user leaves a field.
  void StartAddressExit();
  void NoOfByteExit();
  void StartValueExit();
  void IncrementExit();
  void NoOfPartExit();
  void RadioGroup1Click();

  void BitBtn1Click();  // OK
  void BitBtn3Click();  // Disable Serial Mode
  void BitBtn4Click();  // QTP File

  QLineEdit* Field(const char* name) const;
  QButtonGroup* RadioGroup1() const { return radio1_; }
  QButtonGroup* RadioGroup2() const { return radio2_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  // The byte count typed, or 1 when the field holds none.
  int ByteCount() const;
  // The byte count and increment as "OK" checks them; false after the message.
  bool ReadCountAndStep(int& count, int& step);
  // The start address upper-cased and padded to four digits in its field.
  int TakeStartAddress();
  // The start value cut to its rightmost 2N characters and padded to 2N.
  void FitStartValue(int count);
  void StoreSettings(int address, int count, int step);
  SerialNumberSettings TypedSettings(int address, int count, int step) const;
  // False, with the error box and serial-number mode off, when a word of the
  // number is no RTIW word.
  bool CheckRtiwWords(int address, int count);

  TMainForm& main_;
  MainState& state_;
  QLineEdit* startAddress_ = nullptr;
  QLineEdit* noOfByte_ = nullptr;
  QLineEdit* startValue_ = nullptr;
  QLineEdit* increment_ = nullptr;
  QLineEdit* noOfPart_ = nullptr;
  QButtonGroup* radio1_ = nullptr;
  QButtonGroup* radio2_ = nullptr;
};
