#pragma once
// The whole-state resets of the main window: start-up, device change and the
// state written to Default.cfg at shutdown. No Qt here.

#include <string>

struct MainState;

// Start-up values: blank buffers and the start flags and serial-number settings.
void BlankStartState(MainState& state);

// A device change: loads the device's parameters by name (DeviceIndex = the row,
// or -1 keeping the old parameters), blanks OPTION, ID, program memory and EEPROM
// and turns serial-number and QTP modes off with their panel texts. ReadBuffer,
// IcReadDone, CommandHeader and the serial-number settings stay as they are.
void ResetDeviceData(MainState& state, const std::string& deviceName);

// Shutdown: serial-number and QTP modes off, so Default.cfg never records them on.
void ClearModesForSave(MainState& state);

// startDir + host separator + "Default.cfg".
std::string DefaultCfgPath(const std::string& startDir);

// Text of Label1 for the serial-number mode.
const char* SerialModeText(const MainState& state);

// The state part of the main window's 500 ms timer: counts the tick and sets
// the serial-number mode text. True when the panel is to be refreshed now
// (RefreshData); while an operation window is open the refresh waits, since
// the refresh reads the device parameters and OPTION word the worker writes.
bool TimerTick(MainState& state, bool operationOpen);
