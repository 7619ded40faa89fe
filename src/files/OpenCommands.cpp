#include "files/OpenCommands.h"

#include <filesystem>

#include "app/MainState.h"
#include "app/Prompts.h"
#include "files/Checksum.h"
#include "files/HexText.h"
#include "files/ProgramFile.h"
#include "files/SafeFile.h"

namespace {

bool Exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::exists(path, ec);
}

void Call(const std::function<void()>& fn) {
  if (fn) fn();
}

bool LoadCfgHook(const OpenHooks& hooks, bool fullLoad) { return hooks.loadCfg && hooks.loadCfg(fullLoad); }

}  // namespace

OpenOutcome OpenImageOrConfig(MainState& s, Prompts& prompts, const std::string& path, const OpenHooks& hooks) {
  s.BlankOption();
  Call(hooks.refreshData);
  if (!Exists(path)) {
    prompts.Message("File don't exist!");
    return OpenOutcome::Missing;
  }
  if (!IsReadableFile(path)) {
    prompts.Message("File can't open!");
    return OpenOutcome::CannotOpen;
  }
  s.CurrentFileName = path;

  OpenOutcome outcome = OpenOutcome::Loaded;
  const ImageKind kind = ImageKindOf(path);
  if (kind == ImageKind::Config) {
    s.CfgPath = path;
    if (!LoadCfgHook(hooks, true)) {
      Call(hooks.resetData);
      outcome = OpenOutcome::ConfigRejected;
    }
  } else {
    switch (OpenProgramImage(s, prompts, path)) {
      case ImageLoadResult::Loaded: break;
      case ImageLoadResult::CannotOpen: prompts.Message("File can't open!"); return OpenOutcome::CannotOpen;
      case ImageLoadResult::WrongType: prompts.Message("File type incorrect!"); return OpenOutcome::WrongType;
    }
  }
  s.SerialMode = 0;
  s.SimMode = 0;
  if (kind != ImageKind::Config) {
    // Settings saved beside the image (port, OPTION, ID, serial) come with it.
    s.CfgPath = WithoutExtension(path) + ".cfg";
    if (IsReadableFile(s.CfgPath)) LoadCfgHook(hooks, false);
  }
  return outcome;
}

std::string ImagePastDeviceWarning(const MainState& s) {
  const int words = s.ProgramWords();
  int first = -1, last = -1;
  for (int n = words; n < kProgramBufferWords; ++n) {
    if (s.ProgramWord(n) == kBlankWord) continue;
    if (first < 0) first = n;
    last = n;
  }
  if (first < 0) return {};
  const bool one = first == last;
  const std::string at = HexDigits(first, 4) + (one ? "h" : "h to " + HexDigits(last, 4) + "h");
  return "The image has data at " + at + ", past the last word of " + s.DeviceName + " (" +
         HexDigits(words - 1, 4) + "h): " + (one ? "it is" : "those words are") + " not programmed.";
}

void FinishOpen(MainState& s) {
  s.Panel.Label1 = "Disable";
  s.Panel.Label19 = "Disable";
  s.SerialMode = 0;
  s.SimMode = 0;
  s.QtpMode = 0;
  s.Panel.Label13 = "0";
  CalChecksum(s);
}

bool LoadConfigFile(MainState& s, const std::string& path, const OpenHooks& hooks) {
  s.CfgPath = path;
  if (LoadCfgHook(hooks, true)) return true;
  Call(hooks.resetData);
  return false;
}

bool LoadCfgFile(MainState& s, Prompts& prompts, bool fullLoad, const CfgLoadHooks& hooks) {
  std::string bytes;
  if (IsReadableFile(s.CfgPath)) ReadFileHead(s.CfgPath, kCfgMaxBytes, bytes);
  return LoadCfg(s, bytes, fullLoad, prompts, hooks);
}

std::string WithDefaultExtension(const std::string& path, const std::string& ext) {
  const std::size_t nameStart = path.find_last_of('/') + 1;  // npos + 1 == 0
  if (path.find('.', nameStart) != std::string::npos) return path;
  return path + "." + ext;
}
