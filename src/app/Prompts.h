#pragma once
// Every message box, confirmation and file dialog of the program goes through
// this interface. The window implementation shows real dialogs; tests script
// the answers (tests/support/ScriptedPrompts.h), so no test ever blocks.

#include <optional>
#include <string>
#include <vector>

enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptButtons { Ok, OkCancel, YesNo, AbortIgnore, AbortRetryIgnore };
enum class PromptAnswer { Ok, Cancel, Yes, No, Abort, Retry, Ignore };

// The answer that changes nothing: No, Abort or Cancel.
inline PromptAnswer SafeAnswer(PromptButtons buttons) {
  switch (buttons) {
    case PromptButtons::YesNo: return PromptAnswer::No;
    case PromptButtons::AbortIgnore:
    case PromptButtons::AbortRetryIgnore: return PromptAnswer::Abort;
    default: return PromptAnswer::Cancel;
  }
}

// The answer a question gets without a user: the safe one, or with goAhead
// the one that lets the work go on.
inline PromptAnswer UnattendedAnswer(PromptButtons buttons, bool goAhead) {
  switch (buttons) {
    case PromptButtons::Ok: return PromptAnswer::Ok;
    case PromptButtons::OkCancel: return goAhead ? PromptAnswer::Ok : PromptAnswer::Cancel;
    case PromptButtons::YesNo: return goAhead ? PromptAnswer::Yes : PromptAnswer::No;
    case PromptButtons::AbortIgnore:
    case PromptButtons::AbortRetryIgnore: return goAhead ? PromptAnswer::Ignore : PromptAnswer::Abort;
  }
  return PromptAnswer::Cancel;
}

struct FileFilter {
  std::string name;     // "Config file"
  std::string pattern;  // "*.cfg" (several separated by ';')
};

struct FileDialogRequest {
  std::string title;
  std::vector<FileFilter> filters;
  int filterIndex = 0;         // filter selected when the dialog opens
  std::string initialDir;
  std::string fileName;        // proposed name
  std::string defaultExt;      // without the dot
};

struct FileChoice {
  std::string path;
  int filterIndex = 0;  // position of the filter the user had chosen
};

class Prompts {
 public:
  virtual ~Prompts() = default;
  // A plain message box. An empty caption means the application's title.
  virtual void Message(const std::string& text, const std::string& caption = {},
                       PromptIcon icon = PromptIcon::None) = 0;
  virtual PromptAnswer Ask(const std::string& text, const std::string& caption,
                           PromptButtons buttons, PromptIcon icon = PromptIcon::Question) = 0;
  // std::nullopt when the user cancels.
  virtual std::optional<FileChoice> OpenFile(const FileDialogRequest& request) = 0;
  virtual std::optional<FileChoice> SaveFile(const FileDialogRequest& request) = 0;
};
