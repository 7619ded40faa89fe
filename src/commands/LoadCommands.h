#pragma once
// The loading commands as both front ends run them: "Open", "Load Config
// File " and the configuration loader behind them, and "Load QTP File". The
// steps of the state (checksums, option panel, image, serial-number and QTP
// modes) are taken here; the front end only says what it shows of them.

#include <functional>
#include <string>

#include "files/OpenCommands.h"

struct MainState;
class Prompts;

// What a front end shows of a load. Empty members are skipped.
struct LoadView {
  std::function<void(int)> selectPort;                 // a configuration chose the port of index 0..7
  std::function<void(const std::string&)> showDevice;  // ... and a device of the list
  std::function<void()> panelChanged;                  // option panel, checksums or mode texts changed
  std::function<void()> recreateViews;                 // a load after the first show replaced the buffers
  std::function<void()> resetData;                     // a rejected configuration: the device's blank state
  std::function<void()> configLoaded;  // a configuration's fields are in the state, before Open ends its modes
};

// LoadCfg on the file named by state.CfgPath: its fields, checksums and
// option panel and, with fullLoad, its device and its image. False when the
// file was rejected (reported through prompts).
bool LoadConfiguration(MainState& state, Prompts& prompts, bool fullLoad, const LoadView& view);

// "Open" on a chosen path: an image with the configuration saved beside it,
// or a configuration in full; serial-number and QTP modes end and the pass
// count starts from 0. A file that could not be read changes nothing more.
OpenOutcome OpenChosenPath(MainState& state, Prompts& prompts, const std::string& path, const LoadView& view);

// "Load Config File " on a chosen path; a rejected file resets the device's
// state. False when it was rejected.
bool LoadConfigPath(MainState& state, Prompts& prompts, const std::string& path, const LoadView& view);

// "Load QTP File" on a chosen path: its first record is stamped and
// serial-number mode goes on, or QTP mode stays off with the panel saying so.
// True when QTP mode is on.
bool LoadQtpPath(MainState& state, Prompts& prompts, const std::string& path);
