#pragma once
// The operation window of writer-cli: it records what the worker shows and
// prints each message box as it appears; the session prints the window's
// lines once the worker has returned. With --json it prints nothing itself:
// the lines and message boxes go into the operation's object.

#include <iosfwd>

#include "ops/RecordingPanel.h"

class ConsolePanel final : public RecordingPanel {
 public:
  // No history: a batch reuses one panel for every pass.
  ConsolePanel(const OperationLayout& layout, std::ostream& out, bool json)
      : RecordingPanel(layout, false), out_(out), json_(json) {}

 protected:
  void OnMessage(const std::string& text) override;

 private:
  std::ostream& out_;
  bool json_;
};
