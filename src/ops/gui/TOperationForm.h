#pragma once
// The progress window of a writer operation: title, rule, status lines, an
// optional gauge and the buttons, as the operation's layout describes them.
// From its first show it runs the worker on a thread of its own (see
// OperationRunner). Closing the window (a button, close(), reject(), done() or
// destruction) stops the worker and waits for it, so nothing reaches the
// Writer once the window has gone.

#include <QDialog>
#include <QFont>
#include <map>
#include <string>
#include <string_view>

#include "ops/Operation.h"
#include "ops/OperationPanel.h"
#include "ops/gui/OperationRunner.h"

class QLabel;
class QProgressBar;
class QPushButton;
class TMainForm;

// Fonts of a progress window.
struct OperationLook {
  QFont window;
  QFont title;  // shown bold
  QFont lines;
};
// The application's font, with a title half as large again.
OperationLook DefaultOperationLook();

class TOperationForm : public QDialog {
  Q_OBJECT

 public:
  TOperationForm(TMainForm& main, const OperationLayout& layout, Worker worker,
                 const OperationLook& look = DefaultOperationLook(),
                 WriterCommand command = WriterCommand::BlankCheck);
  ~TOperationForm() override;

  const OperationLayout& Layout() const { return layout_; }
  // A worker has been started and has not returned yet.
  bool WorkerRunning() const { return runner_.Running(); }
  // What the last pass that returned came to; result Stopped before the first.
  const Outcome& LastOutcome() const { return lastOutcome_; }
  // What the session reported of the last pass (count, number, log).
  const PassReport& LastReport() const { return runner_.LastReport(); }
  // Stops the running worker, puts every control back as the window starts
  // and runs the worker again on a fresh thread ("Continue").
  void Restart();

  // The window's controls, by name; nullptr for a name the layout lacks.
  QWidget* Control(std::string_view name) const;
  QLabel* Label(std::string_view name) const;
  QPushButton* Button(std::string_view name) const;
  QProgressBar* Gauge() const { return gauge_; }
  // The label's text is in the red of a failure.
  bool IsRed(std::string_view name) const { return OperationRunner::IsRed(Control(name)); }

 public slots:
  void done(int result) override;

 signals:
  // After the worker of the current pass has returned.
  void WorkerFinished();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Starts the worker now instead of at the first show: for a window whose
  // pass begins as it is made.
  void StartNow();
  // Puts every control back as the layout starts it; a "Continue" window may
  // keep some of what the last pass left.
  virtual void ResetControls();
  // Changes controls at once through a panel, as a worker would: see ResetControls.
  void ApplyNow(const std::function<void(OperationPanel&)>& change) { runner_.ApplyNow(change); }
  // A click on one of the layout's buttons: "Button1" and "ButtonOk" close.
  virtual void ButtonClicked(const std::string& name);

 private:
  void BuildControls(const OperationLook& look);
  void FixSize();
  void Finished(const Outcome& outcome);

  TMainForm& main_;
  OperationLayout layout_;
  Worker worker_;
  Outcome lastOutcome_;
  std::map<std::string, QWidget*, std::less<>> controls_;
  QLabel* title_ = nullptr;
  QProgressBar* gauge_ = nullptr;
  OperationRunner runner_;
  bool started_ = false;
};
