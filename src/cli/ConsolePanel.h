#pragma once
// The operation window of writer-cli: it records what the worker shows,
// prints each message box as it appears and, once the worker has returned,
// the window's lines in their order.

#include <iosfwd>

#include "ops/RecordingPanel.h"

class ConsolePanel final : public RecordingPanel {
 public:
  // No history: a batch reuses one panel for every pass.
  ConsolePanel(const OperationLayout& layout, std::ostream& out) : RecordingPanel(layout, false), out_(out) {}

  // The visible, non-blank lines, red ones behind "error: ".
  void PrintLines();
  // 0 when every line shown is a success text and no message box appeared, else 1.
  int ExitStatus() const { return Succeeded() ? 0 : 1; }

 protected:
  void OnMessage(const std::string& text) override;

 private:
  std::ostream& out_;
};
