// Feeds arbitrary bytes to the configuration reader, full and settings-only.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/MainState.h"
#include "app/Prompts.h"
#include "files/ConfigFile.h"

namespace {
class QuietPrompts : public Prompts {
 public:
  void Message(const std::string&, const std::string&, PromptIcon) override {}
  PromptAnswer Ask(const std::string&, const std::string&, PromptButtons, PromptIcon) override {
    return PromptAnswer::Cancel;
  }
  std::optional<FileChoice> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<FileChoice> SaveFile(const FileDialogRequest&) override { return std::nullopt; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MainState state;
  QuietPrompts prompts;
  CfgLoadHooks hooks;
  hooks.loadImage = [](const std::string&) { return true; };
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  state.Shown = size % 2;
  LoadCfg(state, bytes, true, prompts, hooks);
  LoadCfg(state, bytes, false, prompts, hooks);
  return 0;
}
