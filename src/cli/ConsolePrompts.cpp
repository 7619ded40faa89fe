#include "cli/ConsolePrompts.h"

#include <ostream>
#include <utility>

void ConsolePrompts::Message(const std::string& text, const std::string&, PromptIcon) {
  ++messages_;
  if (failuresOnStderr_) {
    err_ << text << std::endl;
    return;
  }
  shown_.push_back(text);
  if (!json_) out_ << text << std::endl;
}

std::vector<std::string> ConsolePrompts::TakeShown() { return std::exchange(shown_, {}); }

PromptAnswer ConsolePrompts::Ask(const std::string& text, const std::string&, PromptButtons buttons, PromptIcon) {
  (json_ ? err_ : out_) << text << std::endl;
  return UnattendedAnswer(buttons, yes_);
}

std::optional<FileChoice> ConsolePrompts::OpenFile(const FileDialogRequest&) { return std::nullopt; }
std::optional<FileChoice> ConsolePrompts::SaveFile(const FileDialogRequest&) { return std::nullopt; }
