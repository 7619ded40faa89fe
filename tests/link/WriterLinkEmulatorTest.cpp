// The primitives against the emulated Writer through the in-process line.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stop_token>
#include <string>
#include <thread>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "emulator/EmulatorLine.h"
#include "emulator/WriterEmulator.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/DevicePair.h"
#include "link/WriterLink.h"
#include "support/EmulatedWriter.h"

namespace {

class LinkEmulatorTest : public ::testing::Test, protected EmulatedWriter<FakeClock> {
 protected:
  LinkEmulatorTest() : EmulatedWriter(Clock::Duration{50}) {}
  void SetUp() override {
    ASSERT_TRUE(OpenLink());
    ASSERT_EQ(GetICInfo(state, "K7E1/E3"), 0);
  }

  std::int32_t Header(std::uint32_t area, std::int32_t mode) {
    link.GetHeader(area, mode, HeaderInputs{"K7E1/E3"});
    return link.SendHeader(10);
  }

};

TEST_F(LinkEmulatorTest, ProbeByModel) {
  EXPECT_EQ(link.CheckWriter(), kLinkWriterUniversal);
  emulator.SetModel(WriterModel::Model2);
  EXPECT_EQ(link.CheckWriter(), kLinkWriterModel2);  // the first device needs model 2
  emulator.SetModel(WriterModel::Model1);
  EXPECT_EQ(link.CheckWriter(), kLinkWriterMismatch);
}

TEST_F(LinkEmulatorTest, ReadsTheBlankPart) {
  link.GetHeader(kAreaProgram, kModeRead, HeaderInputs{"K7E1/E3"});
  ASSERT_EQ(link.Read7BitData(state.ProgramBytes, true), kLinkFinished);
  for (int i = 0; i < state.ProgramBytes; ++i) ASSERT_EQ(state.ReadBuffer[i], 0x7F) << i;
  link.GetHeader(kAreaOption, kModeRead, HeaderInputs{"K7E1/E3"});
  EXPECT_EQ(link.Read7BitData(2, true), kLinkFinished);
}

TEST_F(LinkEmulatorTest, WritesAndReadsBackProgramMemory) {
  ASSERT_EQ(Header(kAreaProgram, kModeProgram), kLinkHeaderAccepted);
  for (int i = 0; i < state.ProgramBytes; ++i) state.ReadBuffer[i] = static_cast<std::uint8_t>(i & 0x3F);
  ASSERT_EQ(link.WriteData(state.ProgramBytes, true), kLinkWritten);
  EXPECT_EQ(emulator.ProgramWord(1), PackedWord(2, 3));
  state.ReadBuffer.fill(0);
  link.GetHeader(kAreaProgram, kModeRead, HeaderInputs{"K7E1/E3"});
  ASSERT_EQ(link.Read7BitData(state.ProgramBytes, true), kLinkFinished);
  EXPECT_EQ(state.ReadBuffer[5], 5);
  EXPECT_EQ(state.ReadBuffer[2047], 2047 & 0x3F);
}

TEST_F(LinkEmulatorTest, OneTimePartRefusesToSetBits) {
  emulator.SetProgramWord(0, 0x0000);
  ASSERT_EQ(Header(kAreaProgram, kModeProgram), kLinkHeaderAccepted);
  for (int i = 0; i < state.ProgramBytes; ++i) state.ReadBuffer[i] = 0x7F;
  state.ReadBuffer[0] = 0x01;  // word 0 needs bit 0 back
  EXPECT_EQ(link.WriteData(state.ProgramBytes, true), kLinkWriteFailed);
  EXPECT_EQ(state.WriteFailIndex, 0);
}

TEST_F(LinkEmulatorTest, FaultsGiveTheirStatus) {
  EmulatorFaults f;
  f.emptySocket = true;
  emulator.SetFaults(f);
  EXPECT_EQ(Header(kAreaProgram, kModeRead), kLinkSocketError);
  f = {};
  f.adapterError = true;
  emulator.SetFaults(f);
  EXPECT_EQ(Header(kAreaProgram, kModeRead), kLinkAdapterError);
  f = {};
  f.garbage = true;
  emulator.SetFaults(f);
  EXPECT_EQ(link.CheckWriter(), kLinkUnexpected);
  f = {};
  f.earlyEndAfter = 100;
  emulator.SetFaults(f);
  link.GetHeader(kAreaProgram, kModeRead, HeaderInputs{"K7E1/E3"});
  EXPECT_EQ(link.Read7BitData(state.ProgramBytes, true), kLinkUnexpected);
  f = {};
  f.silenceAfter = 3;
  emulator.SetFaults(f);
  link.GetHeader(kAreaProgram, kModeRead, HeaderInputs{"K7E1/E3"});
  EXPECT_EQ(link.Read7BitData(state.ProgramBytes, true), kLinkTimeout);
  f = {};
  f.ctsNeverRaised = true;
  emulator.SetFaults(f);
  EXPECT_EQ(link.CheckWriter(), kLinkTimeout);
}

// The ASCII editor keeps all eight bits of an ID character: the Writer
// answers every byte and the write completes without waiting for time-outs.
TEST_F(LinkEmulatorTest, AnIdWithLatinOneCharactersIsWrittenInStep) {
  ASSERT_EQ(Header(kAreaId, kModeProgram), kLinkHeaderAccepted);
  const std::string id = "Gr\xFC\xDF" "e \xA0\xA1 fa\xE7" "ad\xB1\xFF";
  ASSERT_EQ(id.size(), 16u);
  std::copy(id.begin(), id.end(), state.ReadBuffer.begin());
  EXPECT_EQ(link.WriteData(16, true), kLinkWritten);  // a byte left unanswered gives 8
  const auto cells = emulator.IdArea();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(cells[i], static_cast<std::uint8_t>(id[i]) & 0x7F) << i;
  EXPECT_EQ(link.CheckWriter(), kLinkWriterUniversal);  // in step afterwards
}

// A window closed in the middle of a long transfer at the Writer's real pace:
// the worker's primitive returns within a few polls, and the Writer hears
// nothing after the byte that was on its way when the stop came.
TEST(LinkEmulatorStop, AStopFromAnotherThreadEndsAPacedTransferPromptly) {
  for (const bool write : {false, true}) {
    SCOPED_TRACE(write ? "write" : "read");
    WriterEmulator emulator(SystemClock::Instance());
    LineModel paced;
    paced.baud = 2000;  // five milliseconds a byte: the whole transfer takes ten seconds
    emulator.SetLineModel(paced);
    DevicePair pair;
    auto line = AttachEmulator(pair, emulator);
    TComm comm(pair.MakePcEnd());
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    MainState state;
    ASSERT_EQ(GetICInfo(state, "K7E1/E3"), 0);
    WriterLink link(state, comm, SystemClock::Instance());
    std::stop_source stop;
    link.SetStopToken(stop.get_token());
    link.GetHeader(kAreaProgram, write ? kModeProgram : kModeRead, HeaderInputs{"K7E1/E3"});
    if (write) {
      ASSERT_EQ(link.SendHeader(10), kLinkHeaderAccepted);
    }
    state.ReadBuffer.fill(0x7F);

    std::int32_t result = 0;
    std::thread worker([&] {
      result = write ? link.WriteData(state.ProgramBytes, true) : link.Read7BitData(state.ProgramBytes, true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto heardAtStop = emulator.BytesReceived();
    const auto stoppedAt = std::chrono::steady_clock::now();
    stop.request_stop();
    worker.join();
    const auto took = std::chrono::steady_clock::now() - stoppedAt;
    EXPECT_EQ(result, kLinkTimeout);
    EXPECT_LT(took, std::chrono::milliseconds(1000));  // a time-out is 2 s, the transfer 10 s
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_LE(emulator.BytesReceived(), heardAtStop + 1);
    EXPECT_LT(emulator.BytesReceived(), 100u);
    comm.Close();
  }
}

}  // namespace
