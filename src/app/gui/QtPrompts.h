#pragma once
// Prompts shown as real dialogs: QMessageBox and QFileDialog, parented to the
// active window. An empty caption shows the program's title.

#include <QStringList>

#include "app/Prompts.h"

class QtPrompts : public Prompts {
 public:
  void Message(const std::string& text, const std::string& caption = {},
               PromptIcon icon = PromptIcon::None) override;
  PromptAnswer Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                   PromptIcon icon = PromptIcon::Question) override;
  std::optional<FileChoice> OpenFile(const FileDialogRequest& request) override;
  std::optional<FileChoice> SaveFile(const FileDialogRequest& request) override;
  std::optional<std::string> AskText(const std::string& text, const std::string& caption,
                                     const std::string& initial) override;

  // "Config file (*.cfg)" for {"Config file", "*.cfg"}; patterns split at ';'.
  // A name that already ends with its pattern list is kept as it is.
  static QStringList NameFilters(const std::vector<FileFilter>& filters);

 private:
  std::optional<FileChoice> RunFileDialog(const FileDialogRequest& request, bool save);
};
