#pragma once
// The disassembly window: an MDI child holding the listing of the program
// buffer as it was when the window was created. It does not follow later
// buffer changes; the commands that change the buffer close it instead.

#include <QMdiSubWindow>
#include <string>

class QPlainTextEdit;
struct MainState;

class TDisassembleForm : public QMdiSubWindow {
  Q_OBJECT

 public:
  // Builds the whole listing from state (FormCreate).
  explicit TDisassembleForm(const MainState& state, QWidget* parent = nullptr);

  // The listing as shown, lines ended by CR LF; this is what "Save Disassmble" writes.
  const std::string& Listing() const { return listing_; }

 signals:
  // The user closed the window; it deletes itself next.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::string listing_;
  QPlainTextEdit* Memo1_ = nullptr;
};
