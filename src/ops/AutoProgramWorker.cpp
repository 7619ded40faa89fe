#include "ops/AutoProgramWorker.h"

#include <algorithm>

#include "app/MainState.h"
#include "app/Prompts.h"
#include "production/QtpFile.h"
#include "ops/Handover.h"
#include "ops/ImageStream.h"
#include "production/PassCount.h"
#include "ops/ProgramIdWorker.h"
#include "production/SerialNumber.h"

const OperationLayout& AutoProgramLayout() {
  static const OperationLayout layout{
      "Auto Program",
      "Auto Program",
      {{"Label1", "Blank Check....."},
       {"EraseMsg", "", false},
       {"Label4", "Program OPTION.....", false},
       {"Label2", "Program.....", false},
       {"Label3", "", false}},
      {"Button1", "Button2"},
      {"Exit", "Continue"},
      false,
      {"Blank Check ..... OK.", "Erase End", "OPTION program & verify OK!!", "Data program & verify OK!!",
       "ID & Checksum verify OK!!"},
      "Button2",  // Enter starts the next part
      {"Auto-Program", "Auto-Program without Blank Check"},
  };
  return layout;
}

void AutoProgramContinueReset(OperationPanel& p) {
  p.SetEnabled("Button1", false);
  p.SetEnabled("Button2", false);
  for (const char* line : {"Label2", "Label3", "Label4"}) p.SetVisible(line, false);
  for (const char* line : {"Label1", "Label2", "Label3", "Label4"}) p.ClearRed(line);
  p.SetText("Label1", "");
  p.SetText("Label2", "Program.....");
  p.SetText("Label3", "Verify.....");
  p.SetText("Label4", "Program OPTION.....");
}

void ToggleSimulation(MainState& state) {
  if (!state.SerialMode) return;
  state.SimMode = state.SimMode ? 0 : 1;
  state.Panel.SpeedButton1 = state.SimMode ? "QTP Sim Disable" : "QTP Sim Enable";
}

namespace {

// What the pass reads of the main window's state, taken there at its start.
struct PassInputs {
  bool noBlankCheck = false, eraseFirst = false, serialMode = false, simMode = false;
  int optionErrors = 0;
  std::uint8_t optionLow = 0, optionHigh = 0;
  bool rtiw = true, imageBlank = false;
};

const char* AutoOptionGuardText(int errors) {
  switch (errors) {
    case 1: return "Some Options are Blank!";
    case 2: return "Some Options are error!";
    case 3: return "Some Options are Blank or error!";
    default: return "";
  }
}

class Pass {
 public:
  Pass(OperationContext& ctx, AutoProgramPass& out)
      : ctx_(ctx), s_(ctx.state), p_(ctx.panel), link_(ctx.link), out_(out) {}

  // Steps 1 to 13; true when the pass goes on to the accounting.
  bool Run() {
    if (!ctx_.handover.Run([this] { TakeInputs(); }, ctx_.stop)) return false;
    stage_ = "Check";
    p_.SetText(kTitleControl, in_.noBlankCheck ? "Auto-Program without Blank Check" : "Auto-Program");
    p_.SetText("Label1", "");
    if (in_.serialMode && !in_.rtiw) return Fail("Label1", "The program memory is not 'RTIW'");
    if (!ctx_.handover.Run(
            [this] {
              SerialNo2Memory(s_);
              if (in_.serialMode) out_.serial = SerialNumberText(s_);
              out_.checksum = s_.Panel.Label11;
              if (s_.QtpMode) out_.qtpRecord = s_.QtpRecord + 1;
            },
            ctx_.stop))
      return false;
    if (in_.simMode) {
      p_.SetText("Label2", "Simulate Programming OK!");  // Label2 stays hidden
      return true;
    }
    if (!ctx_.handover.Run([this] { in_.imageBlank = ImageBlank(); }, ctx_.stop)) return false;
    if (in_.imageBlank) return Fail("Label1", "Data memory are blank or error!");
    if (*AutoOptionGuardText(in_.optionErrors)) return Fail("Label1", AutoOptionGuardText(in_.optionErrors));
    const std::int32_t probe = link_.CheckWriter();
    if (probe == kLinkWriterMismatch || probe == kLinkTimeout) return Fail("Label1", LinkStatusMessage(probe));
    if (!in_.noBlankCheck && !EraseAndBlankCheck()) return false;
    if (!WriteOption(0x40)) return false;
    p_.SetVisible("Label4", false);
    if (!ProgramId() || !ProgramData()) return false;
    if (!VerifyId()) return false;
    return FinalOption();
  }

 private:
  void TakeInputs() {
    in_.noBlankCheck = s_.NoBlankCheck != 0;
    in_.eraseFirst = s_.EraseFirst != 0;
    in_.serialMode = s_.SerialMode != 0;
    in_.simMode = s_.SimMode != 0;
    in_.optionErrors = s_.OptionErrors;
    in_.optionLow = s_.OptionLow;
    in_.optionHigh = s_.OptionHigh;
    in_.rtiw = SerialWordsAreRtiw(s_, s_.SerialAddress, std::clamp(s_.SerialLength, 0, kMaxSerialBytes));
  }

  bool ImageBlank() const {
    const int n = std::clamp(s_.ProgramBytes, 0, kProgramBufferBytes);
    return std::all_of(s_.ProgramBuffer.begin(), s_.ProgramBuffer.begin() + n,
                       [](std::uint8_t b) { return (b & 0x1F) == 0x1F; });
  }

  // The pass's first shortcoming, for the production log.
  void Note(std::string_view text) {
    if (out_.failure.empty()) out_.failure = std::string(stage_) + ": " + std::string(text);
  }
  bool Fail(std::string_view line, std::string_view text) {
    p_.Red(line, text);
    Note(text);
    return false;
  }
  bool Failed(std::string_view line, std::int32_t status) { return Fail(line, StageFailureText(status)); }
  // Header for area/mode answered with `want`, else the failure in line.
  bool Header(std::uint32_t area, std::int32_t mode, std::string_view line, std::int32_t want) {
    link_.GetHeader(area, mode, ctx_.inputs);
    const std::int32_t status = link_.SendHeader(10);
    return status == want || Failed(line, status);
  }
  bool Read(std::uint32_t area, int count, std::string_view line) {
    const std::int32_t status = ReadExactly(ctx_, area, count, area == kAreaId ? kIdBytesCompared : count);
    return status == kLinkFinished || Failed(line, status);
  }
  bool AllBlank(int count) const {
    return std::all_of(s_.ReadBuffer.begin(), s_.ReadBuffer.begin() + count,
                       [](std::uint8_t b) { return b == kBlankHalf; });
  }

  bool EraseAndBlankCheck() {
    if (in_.eraseFirst) {
      stage_ = "Erase";
      p_.SetVisible("EraseMsg", true);
      p_.SetText("EraseMsg", "Erase flash memory...");
      p_.ClearRed("EraseMsg");
      if (!Header(kAreaProgram, kModeErase, "EraseMsg", kLinkFinished)) return false;
      p_.SetText("EraseMsg", "Erase End");
    }
    stage_ = "Blank check";
    p_.SetVisible("Label1", true);
    p_.SetText("Label1", "Blank Check.....");
    if (!Read(kAreaOption, 2, "Label1")) return false;
    if ((s_.ReadBuffer[0] & s_.OptionLowMask) != s_.OptionLowMask ||
        (s_.ReadBuffer[1] & s_.OptionHighMask) != s_.OptionHighMask) {
      p_.SetText("Label1", "OPTION ....... Not Blank!!");
      Note("OPTION ....... Not Blank!!");
      return false;
    }
    if (!Read(kAreaId, 32, "Label1")) return false;
    if (!AllBlank(16)) return Fail("Label1", "ID Checksum ....... Not Blank!!");
    const int n = std::clamp(s_.ProgramBytes, 0, kReadBufferBytes);
    if (!Read(kAreaProgram, n, "Label1")) return false;
    if (!AllBlank(n)) return Fail("Label1", "Device not blank!!");
    p_.SetText("Label1", "Blank Check ..... OK.");
    return true;
  }

  // The OPTION word with `highBits` ORed into its high half; Label4.
  bool WriteOption(std::uint8_t highBits) {
    stage_ = "OPTION";
    p_.SetVisible("Label4", true);
    if (!Header(kAreaOption, kModeProgram, "Label4", kLinkHeaderAccepted)) return false;
    s_.ReadBuffer[0] = in_.optionLow;
    s_.ReadBuffer[1] = in_.optionHigh | highBits;
    const std::int32_t written = link_.WriteData(2, true);
    if (written == kLinkWriteFailed) return Fail("Label4", "OPTION program fail !!");
    return written == kLinkWritten || Failed("Label4", written);
  }

  bool ProgramId() {
    stage_ = "ID";
    p_.SetVisible("Label2", true);
    p_.SetText("Label2", "Program ID...");
    if (!Header(kAreaId, kModeProgram, "Label2", kLinkHeaderAccepted)) return false;
    if (!StageIdImage(ctx_, id_)) return false;
    const int count = (s_.CommandHeader[3] + 256 * s_.CommandHeader[4] + 1) * 2;
    p_.SetVisible("Label3", true);
    const std::int32_t written = link_.WriteData(count, true);
    if (written == kLinkWriteFailed) {
      const int word = s_.WriteFailIndex / 2;
      return Fail("Label2", word >= 5 ? std::string("Checksum program fail !!")
                                      : "ID program fail at address " + HexDigits(word, 4) + " !!");
    }
    return written == kLinkWritten || Failed("Label2", written);
  }

  bool ProgramData() {
    stage_ = "Data";
    p_.SetText("Label2", "Program Data...");
    if (!Header(kAreaProgram, kModeProgram, "Label2", kLinkHeaderAccepted)) return false;
    bool stopped = false;
    const auto copy = ImageCopy(ctx_, kProgramBufferBytes, &stopped);
    if (stopped) return false;
    const int n = std::clamp(s_.ProgramBytes, 0, kProgramBufferBytes);
    p_.SetVisible("Label3", true);
    const StreamEnd end = StreamImage(ctx_, copy, n + 6, kStreamTicks, [&](int j) {
      if (j % 32 == 0) p_.SetText("Label3", HexDigits(j / 2, 4));
    });
    switch (end.kind) {
      case StreamEnd::AllWritten: p_.SetText("Label2", "Data program Ok!!"); break;
      case StreamEnd::Exhausted: break;
      case StreamEnd::CtsTimeout:
      case StreamEnd::ReplyTimeout: return Fail("Label2", "Connect Timeout!!");
      case StreamEnd::Reply:
        if (end.reply == writer_reply::kWriteFailed) {
          p_.SetText("Label3", HexDigits(end.index / 2, 4));
          return Fail("Label2", "Data program fail !!");
        }
        return Fail("Label2", end.reply == writer_reply::kSocketError ? "Nothing in socket or type error!"
                                                                       : "Unknow return value!!");
    }
    p_.SetVisible("Label3", false);
    if (!Read(kAreaProgram, n, "Label2")) return false;
    if (!std::equal(copy.begin(), copy.begin() + n, s_.ReadBuffer.begin()))
      return Fail("Label2", "Data verify Fail!!");
    p_.SetText("Label2", "Data program & verify OK!!");
    return true;
  }

  // Reports a difference but lets the pass go on.
  bool VerifyId() {
    stage_ = "ID verify";
    p_.SetVisible("Label3", true);
    if (!Read(kAreaId, 32, "Label3")) return false;
    const int result = CompareIdReadBack(ctx_, id_);
    if (result < 0) return false;
    if (result == 0)
      p_.SetText("Label3", IdVerifyText(result));
    else
      Fail("Label3", IdVerifyText(result));  // reported; the pass goes on
    return true;
  }

  bool FinalOption() {
    if (!WriteOption(0)) return false;
    stage_ = "OPTION verify";
    if (!Read(kAreaOption, 2, "Label4")) return false;
    const bool same = (in_.optionLow & s_.OptionLowMask) == (s_.ReadBuffer[0] & s_.OptionLowMask) &&
                      (in_.optionHigh & s_.OptionHighMask) == (s_.ReadBuffer[1] & s_.OptionHighMask);
    if (same)
      p_.SetText("Label4", "OPTION program & verify OK!!");
    else
      Fail("Label4", "OPTION verify Fail!!");  // reported; the pass goes on
    return true;
  }

  OperationContext& ctx_;
  MainState& s_;
  OperationPanel& p_;
  WriterLink& link_;
  AutoProgramPass& out_;
  PassInputs in_;
  IdImage id_;
  const char* stage_ = "Check";
};

// The file is done with: serial-number and QTP mode off, so nothing reads
// on from a closed file when serial numbers are set up again.
void EndQtpRun(MainState& s) {
  s.SerialMode = 0;
  CloseQtpFile(s);
  s.QtpMode = 0;
  s.QtpEnd = 0;
  s.QtpRecord = 0;
  s.SimMode = 0;
  s.Panel.SpeedButton1 = "QTP Sim disable";
  s.Panel.Label19 = "Disable";
}

// Step 14 on the main window's side: count, then the next number.
void Account(OperationContext& ctx, AutoProgramPass& pass) {
  MainState& s = ctx.state;
  CountPass(s);
  ++s.QtpRecord;
  if (s.SerialMode) {
    if (s.QtpMode) {
      // A file whose end record was read already has nothing more to give.
      if (!s.QtpEnd) {
        const QtpReadResult read = s.QtpIn && ctx.prompts ? ReadSerialData(s, *s.QtpIn, *ctx.prompts)
                                                          : QtpReadResult::InformationError;
        if (read != QtpReadResult::Ok) {
          // A broken record ends the run as the end record would: no part
          // may get a stale or half-read number, now or at the next F8.
          if (pass.failure.empty()) pass.failure = std::string("QTP file: ") + QtpReadMessage(read);
          EndQtpRun(s);
          pass.batchOver = true;
          return;
        }
      }
      if (s.QtpEnd) {
        EndQtpRun(s);
        if (ctx.prompts) ctx.prompts->Message("QTP Program Finished!");
        pass.batchOver = pass.qtpFinished = true;
        return;
      }
    } else {
      SerialNoNext(s);
    }
  }
  SerialNo2Memory(s);
}

}  // namespace

void AutoProgramWorker(OperationContext& ctx, AutoProgramPass& pass) {
  pass = {};
  Pass steps(ctx, pass);
  if (steps.Run()) {
    pass.counted = ctx.handover.Run([&] { Account(ctx, pass); }, ctx.stop);
  }
  ctx.panel.SetEnabled("Button1", true);
  if (!pass.batchOver) ctx.panel.SetEnabled("Button2", true);
}

ProductionLogEntry PassLogEntry(const MainState& state, const AutoProgramPass& pass,
                                std::chrono::system_clock::time_point when) {
  ProductionLogEntry e;
  e.time = Iso8601Utc(when);
  e.device = state.DeviceName;
  e.image = state.CurrentFileName;
  e.checksum = pass.checksum;
  e.serial = pass.serial;
  e.qtpRecord = pass.qtpRecord > 0 ? std::to_string(pass.qtpRecord) : std::string();
  e.passCount = state.Panel.Label13;
  e.result = pass.failure.empty() && pass.counted ? "OK" : pass.failure.empty() ? "Stopped" : pass.failure;
  return e;
}
