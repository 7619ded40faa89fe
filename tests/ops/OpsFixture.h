#pragma once
// An operation against the emulated Writer through the in-process line, on a
// fake clock: a time-out takes milliseconds. Run() plays the window: it runs
// the worker with a recording panel and hands main-window routines over inline.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "emulator/EmulatorLine.h"
#include "emulator/WriterEmulator.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/DevicePair.h"
#include "link/WriterLink.h"
#include "ops/Handover.h"
#include "ops/Operation.h"
#include "ops/RecordingPanel.h"

// Faults built by a setter, so a table names only the fault it is about.
template <class Set>
EmulatorFaults MakeFaults(Set set) {
  EmulatorFaults faults;
  set(faults);
  return faults;
}

class OpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    comm.SetDeviceName("Com1");
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    link.SetPollIntervalMs(1);
    state.DeviceIndex = GetICInfo(state, "K7E1/E3");
    ASSERT_EQ(state.DeviceIndex, 0);
  }

  // Runs the worker to its end and returns what its window shows.
  std::unique_ptr<RecordingPanel> Run(const OperationLayout& layout, const Worker& worker,
                                      HeaderInputs inputs = HeaderInputs{"K7E1/E3"}) {
    auto panel = std::make_unique<RecordingPanel>(layout);
    OperationContext ctx{state, link, clock, std::move(inputs), {}, *panel, handover};
    worker(ctx);
    return panel;
  }

  void SetFaults(const EmulatorFaults& faults) {
    emulator.SetFaults(faults);
    line->Poke();
  }

  // Every fake-clock reading moves time on, so waits for a silent Writer end.
  FakeClock clock{Clock::Duration{50}};
  WriterEmulator emulator{clock};
  DevicePair pair;
  std::unique_ptr<EmulatorLine> line = AttachEmulator(pair, emulator);
  TComm comm{pair.MakePcEnd()};
  MainState state;
  WriterLink link{state, comm, clock};
  InlineHandover handover;
};
