// The command layer both front ends prepare their commands through: which
// commands the window offers, the order of the guards and what each command
// sets before its worker starts, and what a load tells the front end.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "commands/LoadCommands.h"
#include "commands/WriterCommands.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/DevicePair.h"
#include "link/WriterLink.h"
#include "production/QtpFile.h"
#include "support/ScriptedPrompts.h"

namespace {

namespace fs = std::filesystem;
using enum WriterCommand;

constexpr WriterCommand kAll[] = {BlankCheck,    Erase,         Read,        Verify,
                                  VerifyProtect, ProgramMemory, ProgramId,   ProgramOption,
                                  ProgramEeprom, AutoProgram,   AutoProgramNoBlankCheck,
                                  ForceWrite,    Download};

// A front end whose port opens or not, with a blank reset vector in the buffer.
class Front : public CommandFrontEnd {
 public:
  explicit Front(MainState& state) : link(state, comm, clock) {}
  bool PortReady() override {
    ++guards;
    return portOk;
  }
  WriterLink& Link() override { return link; }
  Prompts& prompts() override { return scripted; }

  bool portOk = true;
  int guards = 0;
  ScriptedPrompts scripted;
  FakeClock clock;
  DevicePair pair;
  TComm comm{pair.MakePcEnd()};
  WriterLink link;
};

TEST(WriterCommands, WhatTheWindowOffers) {
  MainState otp, flash, serial;
  GetICInfo(otp, "K7E1/E3");
  flash.MemoryKind = 2;
  GetICInfo(serial, "K7E1/E3");
  serial.SerialMode = 1;
  for (WriterCommand c : kAll) {
    SCOPED_TRACE(static_cast<int>(c));
    const bool eeprom = c == Erase || c == ProgramEeprom;
    const bool singleArea = c == ProgramMemory || c == ProgramId || c == ProgramOption;
    EXPECT_EQ(CommandOffered(c, otp), !eeprom);
    EXPECT_EQ(CommandOffered(c, flash), true);
    EXPECT_EQ(CommandOffered(c, serial), !eeprom && !singleArea);
    EXPECT_EQ(RefusalText(c, otp, "K7E1/E3").empty(), !eeprom);
  }
  EXPECT_EQ(RefusalText(Erase, otp, "K7E1/E3"), "K7E1/E3 is a one-time-programmable part: it cannot be erased");
  EXPECT_EQ(RefusalText(ProgramEeprom, otp, "K7E1/E3"), "K7E1/E3 has no data EEPROM");
  EXPECT_EQ(RefusalText(ProgramId, serial, "K7E1/E3"), "serial-number mode is on: program parts with auto-program");
}

TEST(WriterCommands, GuardsInOrderThenWhatTheWorkerReads) {
  constexpr int kKept = 9;  // what a field held before: the command leaves it alone
  struct Case {
    WriterCommand command;
    bool guarded, asks;
    int eraseFirst, verifyProtect, noBlankCheck, icReadDone, serialMode;
  } cases[] = {
      {BlankCheck, true, false, 0, kKept, kKept, kKept, kKept},
      {Erase, true, false, 1, kKept, kKept, kKept, kKept},
      {Read, true, false, kKept, kKept, kKept, 0, kKept},
      {Verify, true, false, kKept, 0, kKept, kKept, kKept},
      {VerifyProtect, true, false, kKept, 1, kKept, kKept, kKept},
      {ProgramMemory, true, true, kKept, kKept, kKept, kKept, kKept},
      {ProgramId, true, false, kKept, kKept, kKept, kKept, kKept},
      {ProgramOption, true, false, kKept, kKept, kKept, kKept, kKept},
      {ProgramEeprom, true, false, kKept, kKept, kKept, kKept, kKept},
      {AutoProgram, true, true, 1, kKept, 0, kKept, kKept},  // a flash part: erased first
      {AutoProgramNoBlankCheck, true, true, kKept, kKept, 1, kKept, kKept},
      {ForceWrite, true, false, kKept, kKept, kKept, kKept, 0},
      {Download, false, false, kKept, kKept, kKept, kKept, kKept},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.command));
    MainState state;
    GetICInfo(state, "K7E1/E3");
    state.MemoryKind = 2;
    state.EraseFirst = state.VerifyProtect = state.NoBlankCheck = state.IcReadDone = state.SerialMode = kKept;
    state.SetProgramWord(0, kBlankWord);
    state.SetProgramWord(state.ProgramWords() - 1, kBlankWord);
    Front front(state);

    // A port that does not open stops the command before it asks anything.
    front.portOk = false;
    EXPECT_EQ(PrepareCommand(c.command, state, front), c.guarded ? CommandStart::PortFailed : CommandStart::Go);
    EXPECT_EQ(front.guards, c.guarded ? 1 : 0);
    EXPECT_TRUE(front.scripted.messages.empty());

    // The blank reset vector is asked about; Abort stops, Ignore goes on.
    front.portOk = true;
    if (c.asks) {
      EXPECT_EQ(PrepareCommand(c.command, state, front), CommandStart::Aborted);
      ASSERT_EQ(front.scripted.messages.size(), 1u);
      EXPECT_EQ(front.scripted.messages[0].text.rfind("Reset address (", 0), 0u);
      EXPECT_EQ(state.NoBlankCheck, kKept);  // nothing set after an Abort
      front.scripted.answers.push_back(PromptAnswer::Ignore);
    }
    EXPECT_EQ(PrepareCommand(c.command, state, front), CommandStart::Go);
    EXPECT_EQ(front.scripted.messages.size(), c.asks ? 2u : 0u);
    EXPECT_EQ(state.EraseFirst, c.eraseFirst);
    EXPECT_EQ(state.VerifyProtect, c.verifyProtect);
    EXPECT_EQ(state.NoBlankCheck, c.noBlankCheck);
    EXPECT_EQ(state.IcReadDone, c.icReadDone);
    EXPECT_EQ(state.SerialMode, c.serialMode);
  }
}

// What each load tells the front end, and what it leaves in the state.
TEST(LoadCommands, FrontEndHearsWhatTheLoadChanged) {
  const fs::path dir = fs::path(::testing::TempDir()) / "load-commands";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string image = (dir / "prog.bin").string();
  std::ofstream(image, std::ios::binary) << std::string("\x05\x28\x06\x28", 4);
  // The configuration saved beside the image: port Com3, the second device, serial mode on.
  MainState saved;
  GetICInfo(saved, "K7E2/E4");
  saved.CurrentFileName = image;
  saved.SerialMode = 1;
  saved.CfgPath = (dir / "prog.cfg").string();
  ScriptedPrompts quiet;
  ASSERT_TRUE(SaveCfg(saved, {"Com3", "K7E2/E4"}, quiet));
  const std::string broken = (dir / "broken.cfg").string();
  std::ofstream(broken, std::ios::binary) << "not a configuration";

  struct Heard {
    std::vector<std::string> calls;
    LoadView View() {
      LoadView v;
      v.selectPort = [this](int i) { calls.push_back("port " + std::to_string(i)); };
      v.showDevice = [this](const std::string& name) { calls.push_back("device " + name); };
      v.panelChanged = [this] { if (calls.empty() || calls.back() != "panel") calls.push_back("panel"); };
      v.recreateViews = [this] { calls.push_back("views"); };
      v.resetData = [this] { calls.push_back("reset"); };
      return v;
    }
  };
  struct Case {
    const char* name;
    std::function<bool(MainState&, Prompts&, const LoadView&)> load;
    bool loaded;
    std::vector<std::string> calls;
  } cases[] = {
      // "Open" of the image: the companion configuration comes along, device list untouched.
      {"open image", [&](MainState& s, Prompts& p, const LoadView& v) {
         return OpenChosenPath(s, p, image, v) == OpenOutcome::Loaded; }, true,
       {"panel", "port 2", "panel"}},
      // "Load Config File ": the full load also picks the device.
      {"load config", [&](MainState& s, Prompts& p, const LoadView& v) {
         return LoadConfigPath(s, p, saved.CfgPath, v); }, true,
       {"port 2", "device K7E2/E4", "panel"}},
      {"rejected config", [&](MainState& s, Prompts& p, const LoadView& v) {
         return LoadConfigPath(s, p, broken, v); }, false, {"reset"}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    MainState state;
    GetICInfo(state, "K7E1/E3");
    state.Panel.Label13 = "7";
    ScriptedPrompts prompts;
    Heard heard;
    EXPECT_EQ(c.load(state, prompts, heard.View()), c.loaded);
    EXPECT_EQ(heard.calls, c.calls);
    if (c.loaded) {
      EXPECT_EQ(state.CurrentFileName, image);
    }
  }
  // "Open" ends serial-number mode whatever the configuration beside the image said.
  MainState opened;
  GetICInfo(opened, "K7E1/E3");
  EXPECT_EQ(OpenChosenPath(opened, quiet, image, {}), OpenOutcome::Loaded);
  EXPECT_EQ(opened.SerialMode, 0);
  EXPECT_EQ(opened.Panel.Label13, "0");
  fs::remove_all(dir);
}

TEST(LoadCommands, QtpFileTurnsSerialModeOnOrSaysDisable) {
  const std::string path = ::testing::TempDir() + "/load-commands.txt";
  MainState state;
  GetICInfo(state, "K7E1/E3");
  state.SetProgramWord(0x10, 0x3100);
  MainState numbers;
  numbers.SerialAddress = 0x10;
  std::ofstream(path, std::ios::binary) << QtpRecordText(numbers) << kQtpEndRecord;
  ScriptedPrompts prompts;
  state.QtpRecord = 5;
  EXPECT_TRUE(LoadQtpPath(state, prompts, path));
  EXPECT_EQ(state.QtpRecord, 0);
  EXPECT_EQ(state.Panel.Label1, "Enable");
  EXPECT_EQ(state.Panel.Label19, "load-commands.txt");
  state.SetProgramWord(0x10, 0x2800);  // no RTIW word there any more
  EXPECT_FALSE(LoadQtpPath(state, prompts, path));
  EXPECT_EQ(state.Panel.Label1, "Disable");
  EXPECT_EQ(state.Panel.Label19, "Disable");
  std::remove(path.c_str());
}

}  // namespace
