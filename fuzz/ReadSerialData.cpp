// Feeds arbitrary bytes to the QTP record reader, record after record, and
// stamps every number it accepts, as an Auto Program batch would.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "production/QtpFile.h"
#include "production/SerialNumber.h"
#include "../tests/support/ScriptedPrompts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MainState state = [] {
    MainState s;
    s.DeviceIndex = GetICInfo(s, "K7E1/E3");
    for (int n = 0; n < s.ProgramWords(); ++n) s.SetProgramWord(n, 0x3100);
    return s;
  }();
  ScriptedPrompts prompts;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  state.SerialLsbFirst = size % 2;
  state.SerialMode = 1;
  for (int record = 0; record < 64 && in; ++record) {
    if (ReadSerialData(state, in, prompts) != QtpReadResult::Ok || state.QtpEnd) break;
    SerialNo2Memory(state);
    SerialNoNext(state);
  }
  return 0;
}
