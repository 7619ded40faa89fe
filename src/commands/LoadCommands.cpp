#include "commands/LoadCommands.h"

#include "app/MainState.h"
#include "app/StateReset.h"
#include "files/Checksum.h"
#include "files/ProgramFile.h"
#include "production/QtpFile.h"
#include "views/OptionScheme.h"

namespace {

void Call(const std::function<void()>& fn) {
  if (fn) fn();
}

OpenHooks OpenHooksFor(MainState& state, Prompts& prompts, const LoadView& view) {
  OpenHooks hooks;
  hooks.refreshData = [&state, &view] {
    ::RefreshData(state);
    Call(view.panelChanged);
  };
  hooks.loadCfg = [&state, &prompts, &view](bool fullLoad) {
    return LoadConfiguration(state, prompts, fullLoad, view);
  };
  hooks.resetData = view.resetData;
  return hooks;
}

}  // namespace

bool LoadConfiguration(MainState& state, Prompts& prompts, bool fullLoad, const LoadView& view) {
  CfgLoadHooks hooks;
  hooks.selectPort = view.selectPort;
  hooks.showDevice = view.showDevice;
  hooks.calChecksum = [&state, &view] {
    ::CalChecksum(state);
    Call(view.panelChanged);
  };
  hooks.refreshData = [&state, &view] {
    ::RefreshData(state);
    Call(view.panelChanged);
  };
  hooks.loadImage = [&state, &prompts](const std::string& path) { return LoadProgramImage(state, prompts, path); };
  hooks.recreateViews = view.recreateViews;
  const bool loaded = LoadCfgFile(state, prompts, fullLoad, hooks);
  if (loaded) Call(view.configLoaded);
  return loaded;
}

OpenOutcome OpenChosenPath(MainState& state, Prompts& prompts, const std::string& path, const LoadView& view) {
  const OpenOutcome outcome = OpenImageOrConfig(state, prompts, path, OpenHooksFor(state, prompts, view));
  if (outcome == OpenOutcome::Loaded || outcome == OpenOutcome::ConfigRejected) FinishOpen(state);
  return outcome;
}

bool LoadConfigPath(MainState& state, Prompts& prompts, const std::string& path, const LoadView& view) {
  return LoadConfigFile(state, path, OpenHooksFor(state, prompts, view));
}

bool LoadQtpPath(MainState& state, Prompts& prompts, const std::string& path) {
  state.QtpMode = 0;
  state.QtpRecord = 0;
  const bool loaded = LoadQtpFile(state, path, prompts);
  // No file is in use now, whatever the panel said before.
  if (!loaded) state.Panel.Label19 = "Disable";
  state.Panel.Label1 = SerialModeText(state);
  return loaded;
}
