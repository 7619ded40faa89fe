// Feeds arbitrary bytes to the configuration reader, full and settings-only.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/MainState.h"
#include "files/ConfigFile.h"
#include "../tests/support/ScriptedPrompts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MainState state;
  ScriptedPrompts prompts;
  CfgLoadHooks hooks;
  hooks.loadImage = [](const std::string&) { return true; };
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  state.Shown = size % 2;
  LoadCfg(state, bytes, true, prompts, hooks);
  LoadCfg(state, bytes, false, prompts, hooks);
  return 0;
}
