#include "link/WriterLink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/DevicePair.h"
#include "link/LineFixtures.h"
#include "support/ScriptedPrompts.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A Writer played by the test: every byte the PC sends is recorded and
// answered by `reply` (which may answer nothing).
class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pair.SetReceiver([this](std::span<const std::uint8_t> bytes) {
      for (std::uint8_t b : bytes) {
        received.push_back(b);
        if (reply) {
          Bytes answer = reply(b);
          if (!answer.empty()) pair.SendToPc(answer);
        }
      }
    });
    comm.SetDeviceName("Com1");
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    link.SetPollIntervalMs(1);
    ASSERT_EQ(GetICInfo(state, "K7E1/E3"), 0);
  }

  // Answers every header byte with nothing and the tenth with `answer`.
  void AnswerAfterHeader(Bytes answer) {
    reply = [this, answer, n = 0](std::uint8_t) mutable {
      return ++n == 10 ? answer : Bytes{};
    };
  }

  Clock::Duration Elapsed(Clock::Duration since) { return clock.Now() - since; }

  DevicePair pair;
  TComm comm{pair.MakePcEnd()};
  // Every look at the clock moves it 50 ms, so a time-out takes about 50 polls.
  FakeClock clock{Clock::Duration{50}};
  MainState state;
  WriterLink link{state, comm, clock};
  ScriptedPrompts prompts;
  Bytes received;
  std::function<Bytes(std::uint8_t)> reply;
};

Bytes Header(const MainState& s) { return Bytes(s.CommandHeader.begin(), s.CommandHeader.begin() + 10); }

TEST_F(LinkTest, HeadersOfTheFirstDevice) {
  const HeaderInputs inputs{"K7E1/E3"};
  link.GetHeader(kAreaOption, kModeRead, inputs);
  EXPECT_EQ(Header(state), (Bytes{0xA1, 0, 0, 0x02, 0, 0x01, 0x30, 0x30, 0xC1, 0xA5}));
  link.GetHeader(kAreaProgram, kModeRead, inputs);
  EXPECT_EQ(Header(state), (Bytes{0xA1, 0, 0, 0xFF, 0x03, 0, 0x30, 0x02, 0xC1, 0xA5}));
  link.GetHeader(kAreaProgram, kModeProgram, inputs);
  EXPECT_EQ(Header(state), (Bytes{0xA1, 0, 0, 0xFF, 0x03, 0, 0x30, 0x02, 0xC1, 0xA6}));
  link.GetHeader(kAreaProgram, kModeErase, inputs);
  EXPECT_EQ(Header(state), (Bytes{0xA1, 0, 0, 0xFF, 0x03, 0, 0x30, 0x50, 0xC1, 0xA8}));
  link.GetHeader(kAreaId, kModeRead, inputs);
  EXPECT_EQ(Header(state), (Bytes{0xA1, 0, 0, 0x0F, 0, 0x02, 0x30, 0x02, 0xC1, 0xA5}));
  link.GetHeader(kAreaId, kModeProgram, inputs);
  EXPECT_EQ(state.CommandHeader[3], 7);
  EXPECT_EQ(state.DeviceIndex, 0);
}

TEST_F(LinkTest, HeaderAreasModesAndPulses) {
  const DeviceRecord rows[] = {
      {"EE-RC", 0x07, 0xFF, 2, 2, 0x10, 0x35, 1, 0x7F, 0, 0x7F, 0, 2, 0x00, 0x7F, 1, 0, 0, 0},
      {"EE3", 0x07, 0xFF, 2, 2, 0x10, 0x05, 1, 0x7F, 0, 0x7F, 0, 2, 0x00, 0x7F, 3, 0, 0, 0},
      {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
  };
  ScopedDeviceTable table(rows);
  HeaderInputs inputs{"EE3"};
  link.GetHeader(kAreaEeprom, kModeRead, inputs);
  EXPECT_EQ(Header(state), (Bytes{0xA1, 0, 0, 0x7F, 0x00, 0x03, 0x90, 0x0C, 0x85, 0xA5}));
  // Programming a device that takes a pulse: the hidden edits give 24 and 80.
  link.GetHeader(kAreaProgram, kModeProgram, inputs);
  EXPECT_EQ(state.CommandHeader[7], 24);
  EXPECT_EQ(state.CommandHeader[9], 0xA7);
  link.GetHeader(kAreaEeprom, kModeProgramPulse, inputs);
  EXPECT_EQ(state.CommandHeader[7], 24);
  EXPECT_EQ(state.CommandHeader[8], 0x05);  // the read bit only for mode 1
  inputs.pulseEditsVisible = true;
  inputs.pulseWidthText = "127";
  inputs.eraseWidthText = "255";
  link.GetHeader(kAreaProgram, kModeProgram, inputs);
  EXPECT_EQ(state.CommandHeader[7], 254);
  link.GetHeader(kAreaProgram, kModeErase, inputs);
  EXPECT_EQ(state.CommandHeader[7], 255);
  link.GetHeader(kAreaOption2, kModeRead, inputs);
  EXPECT_EQ(state.CommandHeader[3], 2);
  EXPECT_EQ(state.CommandHeader[5], 5);
  link.GetHeader(4, 7, inputs);
  EXPECT_EQ(state.CommandHeader[5], 2);
  EXPECT_EQ(state.CommandHeader[9], 0xA5);

  // RC oscillator bits: kind 3 looks at OPTION bits 11-12.
  state.OptionLow = 0x0A;
  state.OptionHigh = 0x00;
  link.GetHeader(kAreaProgram, kModeRead, inputs);
  EXPECT_EQ(state.CommandHeader[8], 0x85);
  state.OptionHigh = 0x10;
  link.GetHeader(kAreaProgram, kModeRead, inputs);
  EXPECT_EQ(state.CommandHeader[8], 0x05);
  // Kind 1 with a "-RC" name: the RC bit is set, then bits 4 and 5 cleared.
  inputs.deviceChoice = "EE-RC";
  link.GetHeader(kAreaProgram, kModeRead, inputs);
  EXPECT_EQ(state.CommandHeader[8], 0x85);
  state.OptionLow = 0x05;
  link.GetHeader(kAreaProgram, kModeRead, inputs);
  EXPECT_EQ(state.CommandHeader[8], 0x05);
}

TEST_F(LinkTest, ProbeAnswersAgainstTheDevicesWriterModel) {
  struct Case {
    std::uint8_t answer;
    int writerType;
    std::int32_t expected;
  } cases[] = {
      {0xB2, 1, kLinkWriterModel1}, {0xB2, 2, kLinkWriterMismatch}, {0xB3, 2, kLinkWriterModel2},
      {0xB3, 1, kLinkWriterMismatch}, {0xB4, 1, kLinkWriterUniversal}, {0xB4, 2, kLinkWriterUniversal},
      {0xB5, 2, kLinkUnexpected},
  };
  for (const Case& c : cases) {
    state.WriterType = c.writerType;
    reply = [&](std::uint8_t) { return Bytes{c.answer}; };
    EXPECT_EQ(link.CheckWriter(), c.expected) << std::hex << int(c.answer) << " type " << c.writerType;
  }
  // 0xB5 is no answer to a probe: it is tried once more.
  EXPECT_EQ(received, Bytes(std::size(cases) + 1, kProbeByte));
}

// What a Writer, or the rest of an exchange a crashed program left on the
// line, answers to each probe in turn: a missing or wrong answer gets one
// more probe, sent once the line has been quiet for the retry's time, on a
// port cleared of what came meanwhile.
TEST_F(LinkTest, AProbeWithoutAGoodAnswerIsTriedOnceMoreOnAQuietLine) {
  const Bytes stale(200, 0x11);  // the rest of a read stream
  struct Case {
    const char* what;
    std::vector<Bytes> answers;  // to the first probe, to the second
    std::int32_t expected;
    std::size_t probes;
  } cases[] = {
      {"a Writer inside a write", {{0xB5}, {0xB4}}, kLinkWriterUniversal, 2},
      {"a Writer inside a header", {{}, {0xB4}}, kLinkWriterUniversal, 2},
      {"stale bytes, then the Writer", {stale, {0xB4}}, kLinkWriterUniversal, 2},
      {"the answer with stale bytes after it", {{0xB4, 0x11, 0x12}, {0xEE}}, kLinkWriterUniversal, 1},
      {"garbage twice", {{0xEE}, {0xEE}}, kLinkUnexpected, 2},
      {"silent twice", {{}, {}}, kLinkTimeout, 2},
      {"the other model is an answer", {{0xB2}, {0xB4}}, kLinkWriterMismatch, 1},
  };
  state.WriterType = 2;
  for (const Case& c : cases) {
    received.clear();
    std::vector<Clock::Duration> sentAt;
    reply = [&](std::uint8_t) {
      sentAt.push_back(clock.Now());
      return received.size() <= c.answers.size() ? c.answers[received.size() - 1] : Bytes{};
    };
    EXPECT_EQ(link.CheckWriter(), c.expected) << c.what;
    EXPECT_EQ(received, Bytes(c.probes, kProbeByte)) << c.what;
    if (sentAt.size() == 2) {
      EXPECT_GE((sentAt[1] - sentAt[0]).count(), WriterLink::kProbeRetryQuiet.count()) << c.what;
    }
  }
}

TEST_F(LinkTest, WithoutCtsNothingIsSentAndEveryPrimitiveTimesOut) {
  pair.SetCts(false);
  reply = [](std::uint8_t) { return Bytes{0xB4}; };
  const auto start = clock.Now();
  EXPECT_EQ(link.CheckWriter(), kLinkTimeout);
  const auto waited = Elapsed(start);
  EXPECT_GE(waited.count(), 2000);
  EXPECT_LE(waited.count(), 3100);
  EXPECT_EQ(link.SendHeader(10), kLinkTimeout);
  EXPECT_EQ(link.Read7BitData(2, true), kLinkTimeout);
  EXPECT_EQ(link.Read8BitData(2), kLinkTimeout);
  EXPECT_EQ(link.ReadWriterID(2), kLinkTimeout);
  EXPECT_EQ(link.WriteData(2, true), kLinkTimeout);
  EXPECT_TRUE(received.empty());
}

TEST_F(LinkTest, SecondsFieldWrapDoesNotEndTheWaitEarly) {
  clock.Advance(Clock::Duration{59'500});  // seconds field 59
  const auto start = clock.Now();
  EXPECT_EQ(link.SendHeader(1), kLinkTimeout);  // nobody answers
  const auto waited = Elapsed(start);
  EXPECT_GE(waited.count(), 2000);
  EXPECT_LE(waited.count(), 3100);
}

TEST_F(LinkTest, SendHeaderMapsTheReply) {
  const std::pair<std::uint8_t, std::int32_t> cases[] = {
      {0xB5, kLinkHeaderAccepted}, {0xB8, kLinkFinished}, {0xFD, kLinkAdapterError},
      {0xFE, kLinkSocketError}, {0x42, kLinkUnexpected}};
  for (auto [answer, expected] : cases) {
    received.clear();
    AnswerAfterHeader({answer});
    EXPECT_EQ(link.SendHeader(10), expected);
    EXPECT_EQ(received.size(), 10u);
  }
  reply = nullptr;
  EXPECT_EQ(link.SendHeader(10), kLinkTimeout);
}

TEST_F(LinkTest, SevenBitReadEndMarkAndSurplus) {
  Bytes data31(31, 0x11);
  data31.push_back(0xB8);
  AnswerAfterHeader(data31);
  EXPECT_EQ(link.Read7BitData(32, true), kLinkFinished);  // one short of count is accepted

  Bytes data30(30, 0x11);
  data30.push_back(0xB8);
  AnswerAfterHeader(data30);
  EXPECT_EQ(link.Read7BitData(32, true), kLinkUnexpected);

  state.ReadBuffer.fill(0);
  AnswerAfterHeader({0x01, 0x02, 0x03, 0x04, 0x05, 0xB8});
  EXPECT_EQ(link.Read7BitData(2, true), kLinkFinished);
  EXPECT_EQ(state.ReadBuffer[0], 0x01);
  EXPECT_EQ(state.ReadBuffer[1], 0x02);
  EXPECT_EQ(state.ReadBuffer[2], 0x00);  // surplus dropped

  AnswerAfterHeader({0x01, 0x02, 0x03});
  EXPECT_EQ(link.Read7BitData(2, false), kLinkFinished);  // no end mark needed
  EXPECT_EQ(comm.InQueCount(), 1);                         // nothing read past what was due
}

TEST_F(LinkTest, SevenBitReadErrorsAndTimeOut) {
  AnswerAfterHeader({0x01, 0xFD});
  EXPECT_EQ(link.Read7BitData(4, true), kLinkAdapterError);
  AnswerAfterHeader({0xFE});
  EXPECT_EQ(link.Read7BitData(4, true), kLinkSocketError);
  AnswerAfterHeader({0x01, 0x90});
  EXPECT_EQ(link.Read7BitData(4, true), kLinkUnexpected);
  AnswerAfterHeader({0x01, 0x02, 0x03, 0x04});  // no end mark
  EXPECT_EQ(link.Read7BitData(4, true), kLinkTimeout);
}

TEST_F(LinkTest, ReadWriterIdSendsOnlyTheCommandByte) {
  reply = [](std::uint8_t) { return Bytes{0x51, 0x52, 0x53}; };
  state.CommandHeader[0] = 0xA1;
  EXPECT_EQ(link.ReadWriterID(3), kLinkFinished);
  EXPECT_EQ(received, Bytes{0xA1});
  EXPECT_EQ(state.ReadBuffer[2], 0x53);
}

TEST_F(LinkTest, EightBitReadIsCountedAndTakesEveryValue) {
  AnswerAfterHeader({0xB8, 0xFE, 0x00, 0xFF, 0x99});
  EXPECT_EQ(link.Read8BitData(4), kLinkFinished);
  EXPECT_EQ((Bytes(state.ReadBuffer.begin(), state.ReadBuffer.begin() + 4)), (Bytes{0xB8, 0xFE, 0x00, 0xFF}));
  EXPECT_EQ(comm.InQueCount(), 1);
  AnswerAfterHeader({0x01});
  EXPECT_EQ(link.Read8BitData(4), kLinkTimeout);
  AnswerAfterHeader({});
  EXPECT_EQ(link.Read8BitData(0), kLinkFinished);
}

// A Writer that answers byte i of a 16-byte write with `last` at index `at`.
std::function<Bytes(std::uint8_t)> WriteReplies(int at, std::uint8_t last) {
  return [at, last, i = 0](std::uint8_t) mutable { return Bytes{i++ == at ? last : std::uint8_t{0xB5}}; };
}

TEST_F(LinkTest, WriteDataReplies) {
  for (int i = 0; i < 16; ++i) state.ReadBuffer[i] = static_cast<std::uint8_t>(i);

  reply = WriteReplies(3, 0xB1);
  EXPECT_EQ(link.WriteData(16, true), kLinkWriteFailed);
  EXPECT_EQ(state.WriteFailIndex, 3);
  EXPECT_EQ(received, (Bytes{0, 1, 2, 3}));  // nothing more after the failure

  received.clear();
  reply = WriteReplies(15, 0xB0);
  pair.SendToPc(Bytes{0xB1});  // a stale reply is purged, not taken for byte 0's
  EXPECT_EQ(link.WriteData(16, true), kLinkWritten);
  EXPECT_EQ(received.size(), 16u);

  reply = WriteReplies(14, 0xB0);
  EXPECT_EQ(link.WriteData(16, true), kLinkUnexpected);
  reply = WriteReplies(17, 0xB0);  // a late confirmation is still a good write
  EXPECT_EQ(link.WriteData(16, true), kLinkWritten);
  reply = WriteReplies(5, 0xFD);
  EXPECT_EQ(link.WriteData(16, true), kLinkAdapterError);
  reply = WriteReplies(5, 0xFE);
  EXPECT_EQ(link.WriteData(16, true), kLinkSocketError);
  reply = WriteReplies(5, 0x33);
  EXPECT_EQ(link.WriteData(16, true), kLinkUnexpected);
}

TEST_F(LinkTest, WriteDataWithoutConfirmationIsNotASuccess) {
  received.clear();
  reply = [](std::uint8_t) { return Bytes{0xB5}; };
  EXPECT_EQ(link.WriteData(16, true), kLinkUnexpected);
  EXPECT_EQ(received.size(), 21u);  // count + 5 bytes at the most
}

TEST_F(LinkTest, WriteDataGoesOnAfterAMissingReply) {
  // Byte 2 gets no answer: the time-out is kept unless a later reply is an error.
  reply = [i = 0](std::uint8_t) mutable {
    const int n = i++;
    if (n == 2) return Bytes{};
    return Bytes{n == 15 ? std::uint8_t{0xB0} : std::uint8_t{0xB5}};
  };
  EXPECT_EQ(link.WriteData(16, true), kLinkTimeout);
  reply = [i = 0](std::uint8_t) mutable {
    const int n = i++;
    if (n == 2) return Bytes{};
    return Bytes{n == 6 ? std::uint8_t{0xB1} : std::uint8_t{0xB5}};
  };
  EXPECT_EQ(link.WriteData(16, true), kLinkWriteFailed);
  EXPECT_EQ(state.WriteFailIndex, 6);
  // A Writer gone silent: given up after the second missing reply in a row.
  received.clear();
  reply = [i = 0](std::uint8_t) mutable { return i++ < 2 ? Bytes{0xB5} : Bytes{}; };
  const auto start = clock.Now();
  EXPECT_EQ(link.WriteData(16, true), kLinkTimeout);
  EXPECT_EQ(received.size(), 4u);
  EXPECT_LE(Elapsed(start).count(), 2 * 3100);
}

TEST_F(LinkTest, ResetVectorGuard) {
  // The first device (attribute bit 0x20) starts at word 0.
  EXPECT_FALSE(link.CheckResetAddr(prompts));  // unscripted: Abort
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.LastText(), "Reset address (0000h) is blank!!");
  prompts.answers.push_back(PromptAnswer::Ignore);
  EXPECT_TRUE(link.CheckResetAddr(prompts));
  state.SetProgramWord(0, 0x2800);
  EXPECT_TRUE(link.CheckResetAddr(prompts));
  EXPECT_EQ(prompts.messages.size(), 2u);
  // Without the bit the reset vector is the last word; bit 7 of a byte does
  // not make a blank word programmed.
  state.DeviceAttr = 0x10;
  state.ProgramBuffer[2 * 0x3FF] = 0xFF;
  EXPECT_FALSE(link.CheckResetAddr(prompts));
  EXPECT_EQ(prompts.LastText(), "Reset address (03FFh) is blank!!");
  state.SetProgramWord(0x3FF, 0x3F7F);
  EXPECT_TRUE(link.CheckResetAddr(prompts));
}

TEST_F(LinkTest, PortOpenFailureAndRetry) {
  comm.SetBaudRate(br9600);
  pair.FailOpen(ENOENT);
  link.CheckComPort({"Com3", 0}, prompts);
  EXPECT_EQ(state.PortFailed, 1);
  EXPECT_EQ(prompts.LastText(), "Open  COM3 Port Error!!");
  EXPECT_FALSE(comm.Enabled());
  // The settings in force before are kept for the close.
  EXPECT_EQ(state.PortName, "Com1");
  EXPECT_EQ(state.PortBaud, br9600);

  // The entry guard tries once more.
  EXPECT_FALSE(link.PortReady({"Com3", 0}, prompts));
  EXPECT_EQ(prompts.messages.size(), 2u);
  pair.FailOpen(0);
  EXPECT_TRUE(link.PortReady({"Com3", 2}, prompts));
  EXPECT_EQ(state.PortFailed, 0);
  EXPECT_TRUE(comm.Enabled());
  EXPECT_EQ(comm.DeviceName(), "Com3");
  EXPECT_EQ(comm.BaudRate(), br115200);
  EXPECT_EQ(comm.FlowControl(), fcNone);
  EXPECT_EQ(pair.Settings().baudRate, 115200u);
  EXPECT_TRUE(link.PortReady({"Com4", 1}, prompts));  // open: nothing to do
  EXPECT_EQ(comm.DeviceName(), "Com3");
}

TEST_F(LinkTest, StopRequestEndsAWaitAtOnce) {
  std::stop_source stop;
  link.SetStopToken(stop.get_token());
  stop.request_stop();
  const auto start = clock.Now();
  EXPECT_EQ(link.CheckWriter(), kLinkTimeout);
  EXPECT_LT(Elapsed(start).count(), 500);
}

// Every primitive against a Writer that answers everything, cut off before
// the call or by the Writer's side once it has received `stopAt` bytes, by a
// stop (the window closed) or by the device going away (the cable pulled):
// the Writer gets nothing more and the primitive ends at once with a
// time-out. A device that went is closed; the next entry guard opens it
// afresh. A line without modem inputs reads CTS as on, so CTS is on throughout.
TEST_F(LinkTest, AStoppedOrUnpluggedPrimitiveSendsNothingMoreAndTimesOutAtOnce) {
  using Script = std::function<Bytes(std::size_t index)>;  // reply to byte `index`
  const auto afterHeader = [](Bytes answer) {
    return Script([answer](std::size_t i) { return i == 9 ? answer : Bytes{}; });
  };
  Bytes idData(31, 0x11);
  idData.push_back(0xB8);
  const Script writeAnswers = [](std::size_t i) { return Bytes{i == 15 ? std::uint8_t{0xB0} : std::uint8_t{0xB5}}; };
  const Script silentAt3 = [](std::size_t i) {
    return i == 3 ? Bytes{} : Bytes{i == 15 ? std::uint8_t{0xB0} : std::uint8_t{0xB5}};
  };
  struct Case {
    const char* name;
    std::function<std::int32_t(WriterLink&)> call;
    Script writer;
    std::int32_t unstopped;           // the result when nobody stops it
    std::vector<std::size_t> stopAt;  // 0: before the call
  } cases[] = {
      {"CheckWriter", [](WriterLink& l) { return l.CheckWriter(); },
       [](std::size_t) { return Bytes{0xB4}; }, kLinkWriterUniversal, {0, 1}},
      {"SendHeader", [](WriterLink& l) { return l.SendHeader(10); }, afterHeader({0xB5}),
       kLinkHeaderAccepted, {0, 4, 10}},
      {"Read7BitData", [](WriterLink& l) { return l.Read7BitData(32, true); }, afterHeader(idData),
       kLinkFinished, {0, 4, 10}},
      {"Read8BitData", [](WriterLink& l) { return l.Read8BitData(4); }, afterHeader({0xB8, 0xFE, 0, 1}),
       kLinkFinished, {0, 4, 10}},
      {"ReadWriterID", [](WriterLink& l) { return l.ReadWriterID(3); },
       [](std::size_t) { return Bytes{0x51, 0x52, 0x53}; }, kLinkFinished, {0, 1}},
      {"WriteData", [](WriterLink& l) { return l.WriteData(16, true); }, writeAnswers, kLinkWritten,
       {0, 1, 5, 15}},
      // The byte that gets no reply: the transfer would go on, but not once stopped.
      {"WriteData unanswered", [](WriterLink& l) { return l.WriteData(16, true); }, silentAt3,
       kLinkTimeout, {4}},
      {"StreamImage",
       [](WriterLink& l) {
         const Bytes image(16, 0x3F);
         const StreamEnd end = l.StreamImage(image, 16, kStreamTicks, [](int) {});
         return end.kind == StreamEnd::AllWritten ? kLinkWritten : end.kind == StreamEnd::Reply ? kLinkUnexpected
                                                                                                 : kLinkTimeout;
       },
       writeAnswers, kLinkWritten, {0, 1, 5, 15}},
      {"ReadImage",
       [](WriterLink& l) {
         std::vector<std::uint8_t> image(4 + 11);
         return l.ReadImage(image, 4, [](int) {}) == ImageReadEnd::Complete ? kLinkFinished : kLinkTimeout;
       },
       afterHeader({1, 2, 3, 4, 0xB8}), kLinkFinished, {0, 4, 10}},
  };
  state.CommandHeader[0] = 0xA1;
  for (const bool unplugged : {false, true}) {
    for (const Case& c : cases) {
      std::vector<std::size_t> runs = c.stopAt;
      runs.push_back(SIZE_MAX);  // not cut off: the script is a cooperative Writer
      for (const std::size_t stopAt : runs) {
        SCOPED_TRACE(std::string(c.name) + (unplugged ? " unplugged" : " stopped") +
                     (stopAt == SIZE_MAX ? " never" : " at byte " + std::to_string(stopAt)));
        std::stop_source stop;
        link.SetStopToken(stop.get_token());
        received.clear();
        comm.PurgeIn();  // the stream follows a header, which would have purged the line
        Clock::Duration stoppedAt{-1};
        const auto cut = [&] {
          if (unplugged) pair.FailIo(EIO);
          else stop.request_stop();
          stoppedAt = clock.Now();
        };
        reply = [&](std::uint8_t) {
          if (received.size() == stopAt) cut();
          return c.writer(received.size() - 1);
        };
        if (stopAt == 0) cut();
        std::int32_t result = 0;
        ASSERT_NO_THROW(result = c.call(link));
        if (stopAt == SIZE_MAX) {
          EXPECT_EQ(result, c.unstopped);
          continue;
        }
        EXPECT_EQ(result, kLinkTimeout);
        EXPECT_EQ(received.size(), stopAt);
        ASSERT_GE(stoppedAt.count(), 0);
        EXPECT_LT(Elapsed(stoppedAt).count(), 500);  // a time-out takes 2000 and more
        if (!unplugged) continue;
        EXPECT_FALSE(comm.Enabled());
        EXPECT_EQ(link.CheckWriter(), kLinkTimeout);  // at once, nothing sent
        EXPECT_EQ(received.size(), stopAt);
        EXPECT_LT(Elapsed(stoppedAt).count(), 500);
        pair.FailIo(0);  // plugged back
        ASSERT_TRUE(link.PortReady({"Com1", 0}, prompts));
      }
    }
  }
  EXPECT_TRUE(prompts.messages.empty()) << prompts.LastText();
  link.SetStopToken({});
}

// The stop comes from another thread (the window being closed) while the
// Writer's side holds on to byte 6: nothing follows it.
TEST_F(LinkTest, AStopFromAnotherThreadEndsAWriteAfterTheByteOnTheLine) {
  std::stop_source stop;
  link.SetStopToken(stop.get_token());
  std::mutex mutex;
  std::condition_variable changed;
  bool sixth = false;
  reply = [&](std::uint8_t) {
    if (received.size() == 6) {
      std::unique_lock lock(mutex);
      sixth = true;
      changed.notify_all();
      changed.wait_for(lock, std::chrono::seconds(5), [&] { return stop.stop_requested(); });
    }
    return Bytes{0xB5};
  };
  std::thread closer([&] {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(5), [&] { return sixth; });
    stop.request_stop();
    changed.notify_all();
  });
  EXPECT_EQ(link.WriteData(16, true), kLinkTimeout);
  closer.join();
  EXPECT_EQ(received.size(), 6u);
  link.SetStopToken({});
}

// A system out of threads cannot start the port's watcher: that is a failed
// open with its usual message, not an exception out of a window's handler.
TEST_F(LinkTest, AWatcherThreadThatCannotStartIsAFailedOpen) {
  comm.Close();
  comm.SetThreadStarter([](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  EXPECT_NO_THROW(link.CheckComPort({"Com2", 0}, prompts));
  EXPECT_EQ(state.PortFailed, 1);
  EXPECT_EQ(prompts.LastText(), "Open  COM2 Port Error!!");
  EXPECT_FALSE(comm.Enabled());
  EXPECT_FALSE(pair.PcOpen());
  EXPECT_EQ(comm.LastOpenError(), EAGAIN);
  EXPECT_EQ(link.CheckWriter(), kLinkTimeout);

  comm.SetThreadStarter(nullptr);
  EXPECT_TRUE(link.PortReady({"Com2", 0}, prompts));
  EXPECT_EQ(comm.LastOpenError(), 0);
  reply = [](std::uint8_t) { return Bytes{0xB4}; };
  EXPECT_EQ(link.CheckWriter(), kLinkWriterUniversal);
}

TEST(LinkTexts, MessagesAndPulseClamping) {
  EXPECT_STREQ(LinkStatusMessage(kLinkSocketError), "Nothing in socket or type error!!");
  EXPECT_STREQ(LinkStatusMessage(kLinkAdapterError), "IC adapter board error!!");
  EXPECT_STREQ(LinkStatusMessage(kLinkWriterMismatch), "Writer type is error!");
  EXPECT_STREQ(LinkStatusMessage(kLinkUnexpected), "Writer Error!!");
  EXPECT_STREQ(LinkStatusMessage(kLinkTimeout), "Connect Timeout!!");
  EXPECT_EQ(ConnectResultText(kLinkWriterUniversal, "Com1"), "Connect OK!");
  EXPECT_EQ(ConnectResultText(kLinkTimeout, "Com1"), "Connect COM1 Timeout!!");
  // A device path keeps its own spelling.
  EXPECT_EQ(ConnectResultText(kLinkTimeout, "/dev/pts/2"), "Connect /dev/pts/2 Timeout!!");
  EXPECT_EQ(PortOpenErrorText("com3"), "Open  COM3 Port Error!!");
  EXPECT_EQ(PortOpenErrorText("/dev/ttyUSB0"), "Open  /dev/ttyUSB0 Port Error!!");
  EXPECT_EQ(ConnectResultText(kLinkWriterMismatch, "Com1"), "Connect Fail!");
  EXPECT_EQ(ConnectResultText(kLinkUnexpected, "Com1"), "Connect Fail!");

  EXPECT_EQ(ClampPulseText("", kPulseWidthDefault, kPulseWidthMax), "5");
  EXPECT_EQ(ClampPulseText("", kEraseWidthDefault, kEraseWidthMax), "120");
  EXPECT_EQ(ClampPulseText("128", kPulseWidthDefault, kPulseWidthMax), "127");
  EXPECT_EQ(ClampPulseText("127", kPulseWidthDefault, kPulseWidthMax), "127");
  EXPECT_EQ(ClampPulseText("256", kEraseWidthDefault, kEraseWidthMax), "255");
  EXPECT_EQ(ClampPulseText("99999999999", kEraseWidthDefault, kEraseWidthMax), "255");
  EXPECT_EQ(ClampPulseText("0", kPulseWidthDefault, kPulseWidthMax), "1");
  EXPECT_EQ(ClampPulseText("x", kPulseWidthDefault, kPulseWidthMax), "5");
  EXPECT_EQ(ClampPulseText("40", kEraseWidthDefault, kEraseWidthMax), "40");
}

}  // namespace

namespace {

// Com1 unplugged from a station that has a port map: the window's box says
// the port is missing, nothing else is opened, and the next command finds
// the link put back.
TEST(LinkPortMap, APortMissingFromTheMapIsReportedAndLookedUpAfresh) {
  const std::filesystem::path config =
      std::filesystem::temp_directory_path() / ("writer-link-map-" + std::to_string(::getpid()));
  std::filesystem::remove_all(config);
  const std::filesystem::path ports = config / "qel-writer" / "ports";
  std::filesystem::create_directories(ports);
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string savedValue = saved ? saved : "";
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);

  PtyLine pty;
  TComm comm{pty.MakeDevice()};
  MainState state;
  FakeClock clock{Clock::Duration{50}};
  WriterLink link(state, comm, clock);
  ScriptedPrompts prompts;
  const std::string missing = "Com1 is not in the port map: is the Writer's cable plugged in?";
  for (const bool explain : {false, true}) {
    link.SetExplainMissingPort(explain);
    EXPECT_FALSE(link.PortReady({"Com1", 0}, prompts));
    EXPECT_EQ(prompts.LastText(), explain ? "Open  COM1 Port Error!!\n" + missing : "Open  COM1 Port Error!!");
    EXPECT_EQ(comm.LastOpenError(), ENOENT);
  }
  std::filesystem::create_symlink(pty.Name(), ports / "com1");
  EXPECT_TRUE(link.PortReady({"Com1", 0}, prompts));
  EXPECT_EQ(state.PortFailed, 0);
  EXPECT_EQ(prompts.messages.size(), 2u);

  comm.Close();
  if (saved) ::setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
  else ::unsetenv("XDG_CONFIG_HOME");
  std::filesystem::remove_all(config);
}

}  // namespace
