#pragma once
// The configuration file (.cfg): the image file name, serial port, device,
// panel texts, serial-number settings as single-byte text fields, then the
// OPTION word and the ID bytes as a 34-byte binary tail.
//
// Every text field but the first two ends with a space, so a text that may
// hold a space (an OPTION caption such as "RC, PB4") is written with its
// spaces as '_'; those fields are never read back. Texts that are read back
// and cannot be stored as they are (a space in the device or port name, a
// 0x0F byte or more than 500 bytes in the image name) refuse the save instead
// of writing a file that would not read back.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/MainState.h"

class Prompts;

constexpr std::size_t kCfgFieldLimit = 500;
constexpr int kCfgTextFields = 20;
constexpr std::size_t kCfgTailBytes = 2 + kIdBytes;
// Nothing past this many bytes can belong to a configuration file.
constexpr std::size_t kCfgMaxBytes = 3 + (kCfgTextFields - 1) * (kCfgFieldLimit + 1) + kCfgTailBytes;
constexpr char kCfgNameEnd = 0x0F;

// Texts of the main window that go into the file besides MainState.
struct CfgWindowTexts {
  std::string port;    // text of the port list, "Com1" ... "Com8"
  std::string device;  // text of the device list
};

// The whole file for the state. Empty, with reason set, when a field that is
// read back cannot be stored unchanged.
std::string CfgFileBytes(const MainState& state, const CfgWindowTexts& texts, std::string* reason = nullptr);

// Writes the file to state.CfgPath safely. Reports a failure through prompts
// and returns false; the old file is then left as it was.
bool SaveCfg(const MainState& state, const CfgWindowTexts& texts, Prompts& prompts);

// What the window does for the loader. Empty members are skipped.
struct CfgLoadHooks {
  std::function<void(int)> selectPort;                  // moves the port list only
  std::function<void(const std::string&)> showDevice;   // selects the device list entry
  std::function<void()> calChecksum;
  std::function<void()> refreshData;
  // Full load: reads the image into ProgramBuffer; false when it cannot be opened.
  std::function<bool(const std::string&)> loadImage;
  // After a load once the main window has been shown: rebuild the views.
  std::function<void()> recreateViews;
};

// Applies the configuration held in bytes (the start of the file at
// state.CfgPath). With fullLoad it also selects the device and loads the
// image. Reports its own failures; whatever was applied before a failure
// stays applied.
bool LoadCfg(MainState& state, std::string_view bytes, bool fullLoad, Prompts& prompts,
             const CfgLoadHooks& hooks);
