// Every operation against every fault of the emulated Writer at every stage
// of its byte exchange. A clean run of the operation is traced first; its
// commands (probe, headers with their data phases, download records) are the
// stages, and each fault is placed at the start and in the middle of each
// one. What the window must then show comes from the operation's table of
// stages: the line each stage reports in, and the texts of its kind of
// transfer. Each case must end with its button enabled, the right red line,
// and MainState changed only where the operation may change it.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "emulator/EmulatorLine.h"
#include "emulator/WriterEmulator.h"
#include "faults/StateDiff.h"
#include "files/Checksum.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/DevicePair.h"
#include "link/WriterLink.h"
#include "ops/AutoProgramWorker.h"
#include "ops/BlankCheckWorker.h"
#include "ops/DownloadWorker.h"
#include "ops/ForceWriteWorker.h"
#include "ops/Handover.h"
#include "ops/ProgramEepromWorker.h"
#include "ops/ProgramIdWorker.h"
#include "ops/ProgramMemoryWorker.h"
#include "ops/ProgramOptionWorker.h"
#include "ops/ReadIcWorker.h"
#include "ops/RecordingPanel.h"
#include "production/SerialNumber.h"
#include "ops/VerifyWorker.h"
#include "support/EmulatedWriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;
using Fields = std::set<std::string>;

// Small parts keep the streams short: a one-time part and a flash part with
// data EEPROM, 64 words each.
constexpr const char* kOtp = "K7E1/E3";
constexpr const char* kFlash = "K7F8/EE";
constexpr DeviceRecord kRows[] = {
    {"K7E1/E3", 0x00, 0x3F, 19, 1, 0x30, 0xC1, 2, 0x70, 0x0A, 0x5F, 0x00, 1, 0x00, 0x00, 0, 0, 0x3F, 1},
    {"K7F8/EE", 0x00, 0x3F, 19, 1, 0x30, 0xC1, 2, 0x70, 0x0A, 0x5F, 0x00, 2, 0x00, 0x0F, 0, 0, 0x3F, 1},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// A case that has not ended after this long has hung.
constexpr auto kCaseBound = std::chrono::seconds(20);

// ---- The exchange as the PC sent it -------------------------------------

struct Command {
  enum Kind { Probe, Header, Record } kind = Probe;
  std::size_t start = 0;        // offset of its first byte among the PC's bytes
  std::size_t headerBytes = 1;  // 1, 10 or 25
  int area = 0;
  std::uint8_t op = 0;
  std::size_t writerCount = 0;  // data bytes the header announces
  std::size_t dataStart = 0;    // the PC's data bytes of a write
  std::size_t dataBytes = 0;
  std::size_t End() const { return dataBytes ? dataStart + dataBytes : start + headerBytes; }
};

// Splits the PC's bytes into commands as the Writer does.
std::vector<Command> ParseExchange(const Bytes& sent) {
  std::vector<Command> out;
  std::size_t i = 0;
  while (i < sent.size()) {
    Command c;
    c.start = i;
    switch (sent[i]) {
      case emu::kProbe: break;
      case emu::kDownload:
        c.kind = Command::Record;
        c.headerBytes = emu::kDownloadBytes;
        break;
      case emu::kHeader: {
        c.kind = Command::Header;
        c.headerBytes = emu::kHeaderBytes;
        if (i + c.headerBytes > sent.size()) break;
        c.area = sent[i + 5];
        c.op = sent[i + 9];
        const std::size_t units = sent[i + 3] + 256u * sent[i + 4] + 1;
        c.writerCount = c.area == 3 && c.op == emu::kOpRead ? units : units * 2;
        if (c.op == emu::kOpProgram || c.op == emu::kOpProgramPulse) {
          c.dataStart = i + c.headerBytes;
          c.dataBytes = std::min(c.writerCount, sent.size() - c.dataStart);
        }
        break;
      }
      default:
        ADD_FAILURE() << "byte " << i << " (" << int(sent[i]) << ") starts no command";
        return out;
    }
    out.push_back(c);
    i = c.End();
  }
  return out;
}

// ---- What each stage shows -----------------------------------------------

// The kind of transfer a command is, as the worker runs it.
enum class Via {
  Probe,       // CheckWriter
  Erase,       // SendHeader answered by the end mark
  Write,       // SendHeader, then WriteData
  Stream,      // SendHeader, then the image byte by byte (ImageStream)
  Read7,       // header and a 7-bit read of an exact count
  ReadStream,  // Read IC's own program read
  Read8,       // header and a counted 8-bit read
  Record,      // a download record; failures in a message box
};

struct Stage {
  Via via;
  std::string line;  // where its failures show
  // Reads: bytes the worker takes (0: what the header announces).
  std::size_t count = 0;
  // Writes and streams: the text of a byte the Writer failed (0xB1), by index.
  std::function<std::string(std::size_t)> writeFail = {};
  // Read IC: "Writer Error!!" of its first reads goes here; time-outs carry the stage number.
  std::string otherLine = {};
  int timeoutStage = 0;
  // Counted reads: what shows when every byte comes back as garbage ("" = taken as data).
  std::string garbled = {};
  // 7-bit reads: the worker never looks at the last byte (an ID read past the
  // checksum characters), so an end mark one byte early is taken.
  bool lastUnused = false;
};

struct Expected {
  enum Kind { Success, Red, Plain, Message } kind = Success;
  std::string line;
  std::string text;
};

Expected Red(const std::string& line, const std::string& text) { return {Expected::Red, line, text}; }

// How a stage reports a link status.
Expected StatusOutcome(const Stage& s, std::int32_t status, bool ctsLost = false) {
  if (s.via == Via::Record)
    return {Expected::Message, "", status == kLinkTimeout ? "Connect Timeout!!" : "Writer Error!!"};
  if (status == kLinkTimeout) {
    int stage = s.timeoutStage;
    if (s.via == Via::ReadStream) stage = ctsLost ? 5 : 6;
    const std::string text = stage ? "Connect Timeout!! (" + std::to_string(stage) + ")" : "Connect Timeout!!";
    return Red(s.line, text);
  }
  if (status == kLinkUnexpected) return Red(s.otherLine.empty() ? s.line : s.otherLine, "Writer Error!!");
  return Red(s.line, LinkStatusMessage(status));
}

struct Fault {
  enum Kind { Silence, NoCts, Garbage, EmptySocket, Adapter, FailAt, EarlyEnd } kind;
  std::size_t at;  // PC byte offset, or data byte index for FailAt / EarlyEnd

  // Faults tied to an offset are switched on when the PC sends that byte.
  bool Armed() const { return kind == NoCts || kind == Garbage || kind == EmptySocket || kind == Adapter; }
  EmulatorFaults Settings() const {
    EmulatorFaults f;
    switch (kind) {
      case Silence: f.silenceAfter = at; break;
      case NoCts: f.ctsNeverRaised = true; break;
      case Garbage: f.garbage = true; break;
      case EmptySocket: f.emptySocket = true; break;
      case Adapter: f.adapterError = true; break;
      case FailAt: f.failAtByte = at; break;
      case EarlyEnd: f.earlyEndAfter = at; break;
    }
    return f;
  }
  std::string Name() const {
    static const char* names[] = {"silence after", "no CTS from byte", "garbage from byte", "0xFE from byte",
                                  "0xFD from byte", "0xB1 at data byte", "end mark after data byte"};
    return std::string(names[kind]) + " " + std::to_string(at);
  }
};

// What the window must show when `fault` meets the exchange of a clean run.
Expected Expect(const std::vector<Command>& cmds, const std::vector<Stage>& stages, const Fault& fault) {
  const auto containing = [&](std::size_t k) -> std::size_t {
    for (std::size_t i = 0; i < cmds.size(); ++i)
      if (k < cmds[i].End()) return i;
    return cmds.size();
  };
  const auto readCount = [&](std::size_t i) { return stages[i].count ? stages[i].count : cmds[i].writerCount; };

  switch (fault.kind) {
    case Fault::Silence:
    case Fault::NoCts: {
      const std::size_t i = containing(fault.at);
      if (i == cmds.size()) return {};
      return StatusOutcome(stages[i], kLinkTimeout, fault.kind == Fault::NoCts);
    }
    case Fault::EmptySocket:
    case Fault::Adapter:
      // Only command headers are refused; a counted read takes the refusal as data.
      for (std::size_t i = 0; i < cmds.size(); ++i) {
        if (cmds[i].start < fault.at || cmds[i].kind != Command::Header) continue;
        if (stages[i].via == Via::Read8) return StatusOutcome(stages[i], kLinkTimeout);
        return StatusOutcome(stages[i], fault.kind == Fault::EmptySocket ? kLinkSocketError : kLinkAdapterError);
      }
      return {};
    case Fault::Garbage: {
      std::size_t i = containing(fault.at);
      if (i < cmds.size() && stages[i].via == Via::Probe) ++i;  // a strange probe reply lets the operation go on
      if (i == cmds.size()) return {};
      const Stage& s = stages[i];
      const bool inData = cmds[i].dataBytes && fault.at >= cmds[i].dataStart;
      switch (s.via) {
        case Via::Stream:
          return inData ? Red(s.line, "Unknow return value!!") : StatusOutcome(s, kLinkUnexpected);
        case Via::ReadStream: return StatusOutcome(s, kLinkTimeout);  // replies it does not know are ignored
        case Via::Read8:
          if (s.garbled.empty()) return {};
          return {Expected::Plain, s.line, s.garbled};
        default: return StatusOutcome(s, kLinkUnexpected);
      }
    }
    case Fault::FailAt:
      for (std::size_t i = 0; i < cmds.size(); ++i) {
        if ((stages[i].via == Via::Write || stages[i].via == Via::Stream) && cmds[i].dataBytes > fault.at)
          return Red(stages[i].line, stages[i].writeFail(fault.at));
      }
      return {};
    case Fault::EarlyEnd:
      for (std::size_t i = 0; i < cmds.size(); ++i) {
        const Stage& s = stages[i];
        switch (s.via) {
          case Via::Read7:
            if (fault.at + (s.lastUnused ? 1 : 0) < readCount(i)) return StatusOutcome(s, kLinkUnexpected);
            break;
          case Via::ReadStream:
            if (fault.at < readCount(i)) return Red(s.line, "Read error!!");
            break;
          case Via::Read8:
            if (fault.at < readCount(i)) return StatusOutcome(s, kLinkTimeout);
            break;
          case Via::Write:
            if (fault.at >= 1 && fault.at < cmds[i].dataBytes) return StatusOutcome(s, kLinkUnexpected);
            break;
          default: break;  // a stream the Writer ends early is taken as done; its read-back tells
        }
      }
      return {};
  }
  return {};
}

// Faults at the start and in the middle of every phase of every command.
std::vector<Fault> Placements(const std::vector<Command>& cmds, const std::vector<Stage>& stages) {
  std::vector<Fault> out;
  const auto add = [&](Fault f) {
    for (const auto& g : out)
      if (g.kind == f.kind && g.at == f.at) return;
    out.push_back(f);
  };
  for (std::size_t i = 0; i < cmds.size(); ++i) {
    const Command& c = cmds[i];
    std::vector<std::size_t> points = {c.start};
    if (c.headerBytes > 1) points.push_back(c.start + c.headerBytes / 2);
    if (c.dataBytes) {
      points.push_back(c.dataStart);
      points.push_back(c.dataStart + c.dataBytes / 2);
    }
    for (std::size_t k : points) {
      add({Fault::Silence, k});
      add({Fault::NoCts, k});
      add({Fault::Garbage, k});
    }
    add({Fault::EmptySocket, c.start});
    add({Fault::Adapter, c.start});
    if (c.dataBytes) {
      add({Fault::FailAt, 0});
      add({Fault::FailAt, c.dataBytes / 2});
      add({Fault::EarlyEnd, 1});
      add({Fault::EarlyEnd, c.dataBytes / 2});
    }
    const Via via = stages[i].via;
    if (via == Via::Read7 || via == Via::ReadStream || via == Via::Read8) {
      const std::size_t n = stages[i].count ? stages[i].count : c.writerCount;
      add({Fault::EarlyEnd, 0});
      add({Fault::EarlyEnd, n / 2});
      add({Fault::EarlyEnd, n - 1});
    }
  }
  return out;
}

// ---- One operation against the emulated Writer ---------------------------

struct Operation {
  std::string name;
  const char* device;
  OperationLayout layout;
  Worker worker;
  std::vector<Stage> stages;
  std::function<void(MainState&)> prepare;
  // The emulated part; by default a blank one of the device.
  std::function<void(const MainState&, IcDescription&)> part = {};
  Fields mayChange = {};           // besides ReadBuffer, CommandHeader, WriteFailIndex, TickCount
  Fields mayChangeWhenDone = {};   // also, once the operation got that far
  std::string doneLine = {};       // failures in this line come after the "done" point
};

// The PC's bytes pass through here to the emulator; a fault can be switched
// on just before a given byte arrives.
class Bench : public EmulatedWriter<FakeClock> {
 public:
  explicit Bench(const char* device) : EmulatedWriter(Clock::Duration{200}) {
    OpenLink();
    state.DeviceIndex = GetICInfo(state, device);
    pair.SetReceiver([this](std::span<const std::uint8_t> bytes) {
      for (std::uint8_t b : bytes) {
        if (armAt && sent.size() == *armAt) emulator.SetFaults(armed);
        sent.push_back(b);
        emulator.Receive(b);
      }
      line->Poke();
    });
  }

  // Runs the worker on a thread of its own so a hang shows as a failure.
  std::unique_ptr<RecordingPanel> Run(const Operation& op, bool* ended, Outcome* outcome) {
    auto panel = std::make_unique<RecordingPanel>(op.layout);
    std::stop_source stop;
    link.SetStopToken(stop.get_token());
    std::promise<void> done;
    auto finished = done.get_future();
    std::jthread worker([&] {
      OperationContext ctx{state, link, clock, HeaderInputs{op.device}, stop.get_token(), *panel, handover};
      *outcome = op.worker(ctx);
      done.set_value();
    });
    *ended = finished.wait_for(kCaseBound) == std::future_status::ready;
    if (!*ended) stop.request_stop();
    worker.join();
    link.SetStopToken({});
    return panel;
  }

  InlineHandover handover;
  Bytes sent;
  std::optional<std::size_t> armAt;
  EmulatorFaults armed;
};

// ---- The operations --------------------------------------------------------

void Image(MainState& s) {
  s.BlankProgram();
  for (int n = 0; n < s.ProgramWords(); ++n) s.SetProgramWord(n, static_cast<std::uint16_t>((n * 37 + 5) & 0x3FFF));
  s.OptionLow = 0x1A;
  s.OptionHigh = 0x4B;
  s.BlankId();
  for (int i = 0; i < 12; ++i) s.IdBuffer[i] = static_cast<std::uint8_t>('A' + i);
  for (int i = 0; i < s.EepromBytes(); ++i) s.EepromBuffer[i] = static_cast<std::uint8_t>(3 * i + 1);
  CalChecksum(s);
}

// The part as programming the buffers would leave it.
void Programmed(const MainState& s, IcDescription& ic) {
  for (int n = 0; n < ic.words; ++n) ic.program.push_back(s.ProgramWord(n));
  ic.option = s.OptionWord();
  ic.id.assign(s.IdBuffer.begin(), s.IdBuffer.begin() + 12);
  for (int i = 0; i < 4; ++i) ic.id.push_back(static_cast<std::uint8_t>(s.Panel.Label11[i]));
  ic.eeprom.assign(s.EepromBuffer.begin(), s.EepromBuffer.begin() + s.EepromBytes());
}

// Serial numbers stamped as the main window leaves them before a pass:
// two bytes at words 10 and 11, which hold RTIW words.
void SerialMode(MainState& s) {
  s.SetProgramWord(10, 0x3100);
  s.SetProgramWord(11, 0x3100);
  s.SerialMode = 1;
  s.SerialAddress = 10;
  s.SerialLength = 2;
  s.SerialValue = {0x34, 0x12};
  s.SerialStep = 1;
  SerialNo2Memory(s);
}

std::function<std::string(std::size_t)> Always(const std::string& text) {
  return [text](std::size_t) { return text; };
}
std::function<std::string(std::size_t)> IdFail(const std::string& lead) {
  return [lead](std::size_t i) {
    return i / 2 >= 5 ? std::string("Checksum program fail !!") : lead + HexDigits(i / 2, 4) + " !!";
  };
}

Stage Probe(const std::string& line, int timeoutStage = 0) {
  return {Via::Probe, line, 0, {}, {}, timeoutStage};
}
Stage Read7(const std::string& line, std::size_t count = 0) { return {Via::Read7, line, count}; }
Stage IdRead(const std::string& line) {
  Stage s = Read7(line);
  s.lastUnused = true;
  return s;
}

std::vector<Operation> Operations() {
  const Fields read = {"OptionLow", "OptionHigh", "BodyOptionBytes", "IdBuffer"};
  const Fields readDone = {"ProgramBuffer", "IcReadDone", "EepromBuffer", "CodeSum", "Panel.Label11",
                           "Panel.OptChecksum", "Panel.ProtectSum", "Panel.option"};
  const Fields passDone = {"Panel.Label13", "QtpRecord", "SerialValue", "Panel.Label15", "ProgramBuffer",
                           "CodeSum", "Panel.Label11", "Panel.OptChecksum", "Panel.ProtectSum"};
  // The blank check's three reads: OPTION (two bytes), ID, program memory.
  const auto blankReads = [](const char* option, const char* id, const char* data) {
    return std::vector<Stage>{Read7(option, 2), IdRead(id), Read7(data)};
  };
  const auto blankCheck = [&](bool erase) {
    std::vector<Stage> s = {Probe("Label3")};
    if (erase) s.push_back({Via::Erase, "Label1"});
    for (auto& st : blankReads("Label2", "Label3", "Label4")) s.push_back(st);
    return s;
  };
  // A counted read cannot tell garbage from data: it shows as a difference.
  const std::vector<Stage> verifyStages = {
      Probe("Label2"), Read7("Label2", 2), IdRead("Label4"), Read7("Label5"),
      Stage{Via::Read8, "EEInfo", 0, {}, {}, 0, "EEPROM Data Verify error at 0000H"}};
  const auto autoTail = [](std::vector<Stage> s) {
    const std::vector<Stage> tail = {
        {Via::Write, "Label4", 0, Always("OPTION program fail !!")},
        {Via::Write, "Label2", 0, IdFail("ID program fail at address ")},
        {Via::Stream, "Label2", 0, Always("Data program fail !!")},
        Read7("Label2"),
        IdRead("Label3"),
        {Via::Write, "Label4", 0, Always("OPTION program fail !!")},
        Read7("Label4", 2),
    };
    s.insert(s.end(), tail.begin(), tail.end());
    return s;
  };
  std::vector<Stage> autoStages = {Probe("Label1"), {Via::Erase, "EraseMsg"}};
  for (auto& st : blankReads("Label1", "Label1", "Label1")) autoStages.push_back(st);

  return {
      {"BlankCheck", kOtp, BlankCheckLayout(), BlankCheckWorker, blankCheck(false), [](MainState&) {}},
      {"Erase", kFlash, BlankCheckLayout(), BlankCheckWorker, blankCheck(true),
       [](MainState& s) { s.EraseFirst = 1; },
       Programmed},
      {"Read", kFlash, ReadIcLayout(), ReadIcWorker,
       {Probe("Label1", 1),
        {Via::Read7, "Label1", 6, {}, "Label2", 2},
        {Via::Read7, "Label1", 6, {}, "Label2", 3},
        {Via::Read7, "Label2", 0, {}, "Label2", 4},
        {Via::ReadStream, "Label3"},
        {Via::Read8, "EEInfo", 0, {}, {}, 7}},
       [](MainState& s) { s.BlankProgram(); s.BlankEeprom(); CalChecksum(s); },
       [](const MainState&, IcDescription& ic) {
         MainState image;
         GetICInfo(image, kFlash);
         Image(image);
         Programmed(image, ic);
       },
       read, readDone, "EEInfo"},
      {"Verify", kFlash, VerifyLayout(), VerifyWorker, verifyStages, Image, Programmed},
      {"VerifyProtect", kFlash, VerifyLayout(), VerifyWorker, verifyStages,
       [](MainState& s) {
         Image(s);
         s.OptionHigh = 0x0B;  // a protected part reads the protect bit as 0
         CalChecksum(s);
         s.VerifyProtect = 1;
       },
       [](const MainState& s, IcDescription& ic) {
         Programmed(s, ic);
         ic.isProtected = true;
       }},
      {"ProgramMemory", kOtp, ProgramMemoryLayout(), ProgramMemoryWorker,
       {Probe("Label1"), {Via::Stream, "Label1", 0, Always("Programming fail !!")}, Read7("Label2")}, Image},
      {"ProgramId", kOtp, ProgramIdLayout(), ProgramIdWorker,
       {Probe("Label1"), {Via::Write, "Label1", 0, IdFail("Program ID fail at address ")}, IdRead("Label2")},
       Image},
      {"ProgramOption", kOtp, ProgramOptionLayout(), ProgramOptionWorker,
       {Probe("Label1"), {Via::Write, "Label1", 0, Always("OPTION program fail !!")}, Read7("Label1", 2)}, Image},
      {"ProgramEeprom", kFlash, ProgramEepromLayout(), ProgramEepromWorker,
       {Probe("Label1"),
        {Via::Write, "Label1", 0, [](std::size_t i) { return "EEPROM program fail at " + HexDigits(i / 2, 4) + "H"; }},
        {Via::Read8, "Label3", 0, {}, {}, 0, "Data Verify error at 0000H"}},
       Image},
      {"ForceWrite", kOtp, ForceWriteLayout(), ForceWriteWorker,
       {Probe("Label1"), {Via::Stream, "Label1", 0, Always("Programming memory fail!!")}, Read7("Label2")}, Image,
       {}, {}, {"Panel.Label13"}},
      {"AutoProgram", kFlash, AutoProgramLayout(), AutoProgramWorker, autoTail(autoStages),
       [](MainState& s) {
         Image(s);
         SerialMode(s);
         s.EraseFirst = 1;
       },
       {}, {}, passDone},
      {"AutoProgramWithoutBlankCheck", kOtp, AutoProgramLayout(), AutoProgramWorker, autoTail({Probe("Label1")}),
       [](MainState& s) {
         Image(s);
         s.NoBlankCheck = 1;
       },
       {}, {}, {"Panel.Label13", "QtpRecord"}},
      {"Download", kOtp, DownloadLayout(),
       [](OperationContext& ctx) { return DownloadWorker(ctx, {true, true}); },
       {{Via::Record, ""}, {Via::Record, ""}, {Via::Record, ""}}, [](MainState&) {}},
  };
}

void PrintTo(const Operation& op, std::ostream* os) { *os << op.name; }

std::string Describe(const Expected& o) {
  switch (o.kind) {
    case Expected::Success: return "success";
    case Expected::Message: return "message box \"" + o.text + "\"";
    case Expected::Red: return o.line + " red \"" + o.text + "\"";
    case Expected::Plain: return o.line + " \"" + o.text + "\"";
  }
  return "";
}

class FaultMatrix : public ::testing::TestWithParam<Operation> {
 protected:
  ScopedDeviceTable table{kRows};

  std::unique_ptr<Bench> MakeBench() {
    const Operation& op = GetParam();
    auto bench = std::make_unique<Bench>(op.device);
    op.prepare(bench->state);
    IcDescription ic = *IcDescription::ForDevice(op.device);
    if (op.part) op.part(bench->state, ic);
    bench->emulator.SetIc(ic);
    return bench;
  }
};

TEST_P(FaultMatrix, EveryFaultAtEveryStage) {
  const Operation& op = GetParam();
  // The device-select window enables its own buttons; its worker ends with a message or none.
  const std::string button = op.name == "Download" ? "" : op.layout.buttons.front();

  // The clean run: it succeeds, shows no failure, and its exchange gives the stages.
  auto clean = MakeBench();
  bool ended = false;
  Outcome cleanOutcome;
  const auto cleanPanel = clean->Run(op, &ended, &cleanOutcome);
  ASSERT_TRUE(ended);
  const Texts cleanLines = cleanPanel->Lines();
  ASSERT_EQ(cleanOutcome.result, OpResult::Ok) << ::testing::PrintToString(cleanLines);
  ASSERT_TRUE(cleanPanel->Messages().empty()) << ::testing::PrintToString(cleanPanel->Messages());
  for (const auto& line : cleanLines) ASSERT_NE(line.rfind("error: ", 0), 0u) << line;
  const auto cmds = ParseExchange(clean->sent);
  ASSERT_EQ(cmds.size(), op.stages.size()) << "stages of the clean run";

  const Fields always = {"ReadBuffer", "CommandHeader", "WriteFailIndex", "TickCount"};
  int cases = 0;
  for (const Fault& fault : Placements(cmds, op.stages)) {
    const Expected want = Expect(cmds, op.stages, fault);
    SCOPED_TRACE(op.name + ", " + fault.Name() + ": want " + Describe(want));
    auto bench = MakeBench();
    if (fault.Armed()) {
      bench->armAt = fault.at;
      bench->armed = fault.Settings();
    } else {
      bench->emulator.SetFaults(fault.Settings());
    }
    const MainState before = bench->state;
    Outcome outcome;
    const auto panel = bench->Run(op, &ended, &outcome);
    ++cases;
    ASSERT_TRUE(ended) << "the operation hung";

    const auto lines = ::testing::PrintToString(panel->Lines());
    if (want.kind == Expected::Message) {
      EXPECT_EQ(panel->Messages(), Texts{want.text});
    } else {
      if (!button.empty()) {
        EXPECT_TRUE(panel->IsEnabled(button)) << lines;
      }
      EXPECT_TRUE(panel->Messages().empty());
    }
    // The outcome says what the window shows: success, or the failing line's text.
    switch (want.kind) {
      case Expected::Success:
        EXPECT_EQ(outcome.result, OpResult::Ok) << lines;
        EXPECT_EQ(panel->Lines(), cleanLines);
        break;
      case Expected::Message:
        EXPECT_EQ(outcome.result, OpResult::Failed);
        EXPECT_EQ(outcome.text, want.text);
        break;
      case Expected::Red:
      case Expected::Plain:
        EXPECT_EQ(panel->Text(want.line), want.text) << lines;
        EXPECT_EQ(panel->IsRed(want.line), want.kind == Expected::Red) << lines;
        EXPECT_TRUE(panel->IsVisible(want.line)) << lines;
        EXPECT_EQ(outcome.result, OpResult::Failed) << lines;
        EXPECT_EQ(outcome.text, want.text) << lines;
        break;
    }

    Fields allowed = always;
    allowed.insert(op.mayChange.begin(), op.mayChange.end());
    const bool done = want.kind == Expected::Success || (!op.doneLine.empty() && want.line == op.doneLine);
    if (done) allowed.insert(op.mayChangeWhenDone.begin(), op.mayChangeWhenDone.end());
    for (const auto& field : faults::ChangedFields(before, bench->state))
      EXPECT_TRUE(allowed.count(field)) << field << " changed";
  }
  RecordProperty("cases", cases);
  EXPECT_GT(cases, 10);
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultMatrix, ::testing::ValuesIn(Operations()),
                         [](const ::testing::TestParamInfo<Operation>& info) { return info.param.name; });

// The stage table itself: a clean exchange splits into the commands the
// Writer saw, data phases included.
TEST(FaultMatrixExchange, SplitsProbeHeadersDataAndRecords) {
  Bytes sent = {0xA0, 0xA1, 0, 0, 0x07, 0, 0x02, 0x30, 0x02, 0xC1, 0xA6};
  for (int i = 0; i < 16; ++i) sent.push_back(0x41);
  for (std::uint8_t b : {0xA1, 0, 0, 0x0F, 0, 0x02, 0x30, 0x02, 0xC1, 0xA5}) sent.push_back(b);
  sent.push_back(0xA9);
  sent.resize(sent.size() + 24, 0);
  const auto cmds = ParseExchange(sent);
  ASSERT_EQ(cmds.size(), 4u);
  EXPECT_EQ(cmds[0].kind, Command::Probe);
  EXPECT_EQ(cmds[1].dataStart, 11u);
  EXPECT_EQ(cmds[1].dataBytes, 16u);
  EXPECT_EQ(cmds[2].writerCount, 32u);
  EXPECT_EQ(cmds[2].dataBytes, 0u);
  EXPECT_EQ(cmds[3].kind, Command::Record);
  EXPECT_EQ(cmds[3].End(), sent.size());
}

}  // namespace
