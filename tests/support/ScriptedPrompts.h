#pragma once
// Prompts for tests: records every message and answers from a script.
// An unscripted question is answered with its "safe" choice (Cancel, No,
// Abort, no file) and recorded, so no test can block on a dialog.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/Prompts.h"

class ScriptedPrompts : public Prompts {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    PromptIcon icon;
  };

  std::vector<Shown> messages;      // every Message and Ask, in order
  std::deque<PromptAnswer> answers;  // answers for Ask, in order
  std::deque<std::optional<FileChoice>> files;  // answers for OpenFile / SaveFile
  std::vector<FileDialogRequest> fileRequests;
  std::deque<std::optional<std::string>> texts;  // answers for AskText, in order
  // Runs while a message is up, as the event loop of a real box would.
  std::function<void()> whileShown;

  void Message(const std::string& text, const std::string& caption, PromptIcon icon) override {
    messages.push_back({text, caption, icon});
    if (whileShown) whileShown();
  }

  PromptAnswer Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                   PromptIcon icon) override {
    messages.push_back({text, caption, icon});
    if (!answers.empty()) {
      PromptAnswer a = answers.front();
      answers.pop_front();
      return a;
    }
    return SafeAnswer(buttons);
  }

  std::optional<FileChoice> OpenFile(const FileDialogRequest& request) override { return NextFile(request); }
  std::optional<FileChoice> SaveFile(const FileDialogRequest& request) override { return NextFile(request); }
  std::optional<std::string> AskText(const std::string& text, const std::string& caption,
                                     const std::string&) override {
    messages.push_back({text, caption, PromptIcon::Question});
    if (texts.empty()) return std::nullopt;
    auto answer = texts.front();
    texts.pop_front();
    return answer;
  }

  // Texts of all messages shown so far.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.text);
    return out;
  }
  std::string LastText() const { return messages.empty() ? std::string() : messages.back().text; }

 private:
  std::optional<FileChoice> NextFile(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (files.empty()) return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
  }
};
