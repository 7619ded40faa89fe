#pragma once
// What the file commands "Open" and "Load Config File " do to the state once
// a file has been chosen. The main window adds its dialogs and views around
// them; writer-cli calls them with the paths on its command line.

#include <functional>
#include <string>

#include "files/ConfigFile.h"

struct MainState;
class Prompts;

// What the caller does for the commands. Empty members are skipped.
struct OpenHooks {
  std::function<void()> refreshData;            // the option panel and checksums
  std::function<bool(bool fullLoad)> loadCfg;   // LoadCfg on state.CfgPath
  std::function<void()> resetData;              // after a rejected configuration
};

enum class OpenOutcome {
  Loaded,          // image or configuration in the buffers
  ConfigRejected,  // a .cfg that LoadCfg refused (reported, state reset)
  Missing,         // "File don't exist!"
  CannotOpen,      // "File can't open!"
  WrongType,       // "File type incorrect!"
};

// "Open" on the chosen path: blanks the OPTION word, loads a configuration in
// full or an image with its companion configuration, and turns the
// serial-number mode off. Reports its own failures through prompts.
OpenOutcome OpenImageOrConfig(MainState& state, Prompts& prompts, const std::string& path,
                              const OpenHooks& hooks);

// The end of every "Open", also of a cancelled one: serial-number and QTP
// modes off with their panel texts, pass count 0, checksums recomputed.
void FinishOpen(MainState& state);

// A warning when the program buffer holds data past the selected device's
// last word, which no operation programs ("The image has data at 0500h to
// 05FFh, past the last word of K7E1/E3 (03FFh): those words are not
// programmed."); empty when the image fits the device.
std::string ImagePastDeviceWarning(const MainState& state);

// "Load Config File " on the chosen path: a full load; a rejected file resets
// the state. False when the file was rejected.
bool LoadConfigFile(MainState& state, const std::string& path, const OpenHooks& hooks);

// LoadCfg on the file named by state.CfgPath. A file that cannot be read gives
// no bytes and is reported as a data error; a pipe or device is not read at
// all, so it cannot hang the caller.
bool LoadCfgFile(MainState& state, Prompts& prompts, bool fullLoad, const CfgLoadHooks& hooks);

// path with "." + ext appended when its file name has no extension, as the
// save dialogs promise with their default extension.
std::string WithDefaultExtension(const std::string& path, const std::string& ext);
