#include "app/StateReset.h"

#include <filesystem>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"

namespace {
constexpr const char* kDisable = "Disable";

void ModesOff(MainState& state) {
  state.Panel.Label1 = kDisable;
  state.Panel.Label19 = kDisable;
  state.Panel.Label13 = "0";
  state.SerialMode = 0;
  state.SimMode = 0;  // a simulation only runs in serial-number mode
  state.QtpMode = 0;
}
}  // namespace

void BlankStartState(MainState& state) {
  state.BlankOption();
  state.BlankId();
  state.BlankProgram();
  state.BlankEeprom();
  state.EraseFirst = 0;
  state.EepromWindowOpen = 0;
  state.HexValid = 1;
  state.StartupLoad = 0;
  state.QtpMode = 0;
  state.SerialMode = 0;
  state.SimMode = 0;
  state.IcReadDone = 0;
  state.IdWindowOpen = 0;
  state.MemoryWindowOpen = 0;
  state.RefreshPending = 0;
  state.ResetSerialSettings();
}

void ResetDeviceData(MainState& state, const std::string& deviceName) {
  state.DeviceIndex = GetICInfo(state, deviceName);
  state.BlankOption();
  ModesOff(state);
  state.BlankId();
  state.BlankProgram();
  state.BlankEeprom();
}

void ClearModesForSave(MainState& state) { ModesOff(state); }

std::string DefaultCfgPath(const std::string& startDir) {
  return (std::filesystem::path(startDir) / "Default.cfg").string();
}

const char* SerialModeText(const MainState& state) {
  return state.SerialMode ? "Enable" : kDisable;
}

bool TimerTick(MainState& state, bool operationOpen) {
  ++state.TickCount;
  state.Panel.Label1 = SerialModeText(state);
  if (operationOpen || !state.RefreshPending) return false;
  state.RefreshPending = 0;
  return true;
}
