#pragma once
// Prompts of writer-cli: there is nobody to click, so a message box becomes a
// line of text and a question gets its safe answer (Abort, No, Cancel), or
// the go-ahead when the user passed --yes. File dialogs never open: every
// file comes from the command line.

#include <iosfwd>
#include <string>
#include <vector>

#include "app/Prompts.h"

class ConsolePrompts final : public Prompts {
 public:
  // json: standard output carries only JSON Lines, so questions go to
  // standard error and message boxes of an operation into its object.
  ConsolePrompts(std::ostream& out, std::ostream& err, bool yes, bool json)
      : out_(out), err_(err), yes_(yes), json_(json) {}

  // While loading files and opening the port a message box reports a failure:
  // it goes to standard error. During an operation it is part of the outcome
  // and goes to standard output (with --json: into the operation's object).
  void ReportFailuresOnStderr(bool on) { failuresOnStderr_ = on; }
  // Message boxes shown since the count was last cleared.
  int MessagesShown() const { return messages_; }
  void ClearMessageCount() { messages_ = 0; }
  // The texts of the message boxes of an operation shown since the last call.
  std::vector<std::string> TakeShown();

  void Message(const std::string& text, const std::string& caption, PromptIcon icon) override;
  PromptAnswer Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                   PromptIcon icon) override;
  std::optional<FileChoice> OpenFile(const FileDialogRequest& request) override;
  std::optional<FileChoice> SaveFile(const FileDialogRequest& request) override;

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool yes_;
  bool json_;
  bool failuresOnStderr_ = true;
  int messages_ = 0;
  std::vector<std::string> shown_;
};
