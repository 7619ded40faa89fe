// Any text fed to the Intel HEX reader: no crash, no write outside the buffer,
// a bounded result.

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "files/HexText.h"
#include "files/PicConvert.h"
#include "files/ProgramFile.h"
#include "../tests/support/ScriptedPrompts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MainState state;
  ScriptedPrompts prompts;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  state.StartupLoad = size > 0 && (data[0] & 1);
  state.CoreKind = size > 1 ? data[1] & 1 : 0;
  state.ProgramBytes = 2048;
  state.ProgramFileSize = HexToObj(state, prompts, in);
  if (state.ProgramFileSize < 0 || state.ProgramFileSize > kProgramBufferBytes) std::abort();
  TranslatePicImage(state, prompts);
  RepackProgramBuffer(state);
  if (prompts.messages.size() > 2) std::abort();  // one hex fault, one format warning
  for (std::uint8_t b : state.ProgramBuffer) {
    if (b > 0x7F) std::abort();
  }
  return 0;
}
