#include <QApplication>

#include "app/gui/TMainForm.h"
#include "link/Clock.h"

class NoPrompts : public Prompts {
 public:
  void Message(const std::string&, const std::string&, PromptIcon) override {}
  PromptAnswer Ask(const std::string&, const std::string&, PromptButtons, PromptIcon) override {
    return PromptAnswer::Cancel;
  }
  std::optional<FileChoice> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<FileChoice> SaveFile(const FileDialogRequest&) override { return std::nullopt; }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  NoPrompts prompts;
  TMainForm form(prompts, SystemClock::Instance());
  form.show();
  return app.exec();
}
