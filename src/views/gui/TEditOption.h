#pragma once
// The modal OPTION editor: one choice list per field, built from the device's
// schemes. It edits a working copy; the state changes only on OK.

#include <QDialog>
#include <array>
#include <cstdint>

#include "app/MainState.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

class TEditOption : public QDialog {
  Q_OBJECT

 public:
  explicit TEditOption(MainState& state, QWidget* parent = nullptr);

  // Takes the working copy and fills the captions and lists from it.
  void FormShow();
  // A field's list changed: OSC type, OST, WDT, PED, security, PRD.
  void ComboBox1Change() { FieldChange(kOsc); }
  void ComboBox2Change() { FieldChange(kOst); }
  void ComboBox3Change() { FieldChange(kWdt); }
  void ComboBox4Change() { FieldChange(kPed); }
  void ComboBox5Change() { FieldChange(kSecurity); }
  void ComboBox6Change() { FieldChange(kPrd); }
  // OK: copies the working bytes into the state and asks for a panel refresh.
  void BitBtn1Click();

  std::uint16_t WorkingWord() const { return PackedWord(low_, high_); }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void FieldChange(OptionField field);
  void FitHelpText();

  MainState& state_;
  std::uint8_t low_ = kBlankHalf;
  std::uint8_t high_ = kBlankHalf;
  std::array<QLabel*, kOptionFieldCount> captions_{};
  std::array<QComboBox*, kOptionFieldCount> lists_{};
  QPlainTextEdit* Memo1 = nullptr;
};
