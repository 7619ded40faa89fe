#include "ops/AutoProgramWorker.h"

#include <algorithm>

#include "app/MainState.h"
#include "app/Prompts.h"
#include "production/QtpFile.h"
#include "ops/Handover.h"
#include "production/PassCount.h"
#include "production/PassLedger.h"
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
  PassStart ledger;  // what the part ledger records of the pass as it starts
};

const char* AutoOptionGuardText(int errors) {
  switch (errors) {
    case 1: return "Some Options are Blank!";
    case 2: return "Some Options are error!";
    case 3: return "Some Options are Blank or error!";
    default: return "";
  }
}

// Steps 1 to 13 of a pass, on the worker's thread.
class PassSteps {
 public:
  explicit PassSteps(OperationContext& ctx)
      : ctx_(ctx), state_(ctx.state), panel_(ctx.panel), link_(ctx.link), record_(*ctx.outcome.pass) {}

  // True when the pass goes on to the pass count.
  bool Run() {
    if (!ctx_.handover.Run([this] { TakeInputs(); }, ctx_.stop)) return false;
    panel_.SetText(kTitleControl, in_.noBlankCheck ? "Auto-Program without Blank Check" : "Auto-Program");
    panel_.SetText("Label1", "");
    if (in_.serialMode && !in_.rtiw) return Fail("Label1", Verdict::NotRtiw, "The program memory is not 'RTIW'");
    std::string reserved;
    long long reservedRecord = 0;
    if (!BeginLedgerPass(ctx_, in_.ledger, "Label1", &reserved, &reservedRecord)) return false;
    if (!ctx_.handover.Run(
            [&] {
              // With a ledger the number is the ledger's, whatever the panel showed.
              if (ctx_.ledger && in_.serialMode) SetSerialValue(state_, reserved);
              SerialNo2Memory(state_);
              if (in_.serialMode) record_.serial = SerialNumberText(state_);
              record_.checksum = state_.Panel.Label11;
              if (state_.QtpMode)
                record_.qtpRecord = ctx_.ledger ? static_cast<int>(reservedRecord) : state_.QtpRecord + 1;
            },
            ctx_.stop))
      return false;
    if (in_.simMode) {
      panel_.SetText("Label2", "Simulate Programming OK!");  // Label2 stays hidden
      simulated_ = true;
      return true;
    }
    if (!ctx_.handover.Run([this] { in_.imageBlank = ImageBlank(); }, ctx_.stop)) return false;
    if (in_.imageBlank) return Fail("Label1", Verdict::BlankImage, "Data memory are blank or error!");
    if (*AutoOptionGuardText(in_.optionErrors))
      return Fail("Label1", Verdict::OptionFields, AutoOptionGuardText(in_.optionErrors));
    if (!ProbeWriter(ctx_, "Label1")) return false;
    if (!in_.noBlankCheck && !EraseAndBlankCheck()) return false;
    if (!WriteOption(0x40)) return false;
    panel_.SetVisible("Label4", false);
    if (!ProgramId() || !ProgramData()) return false;
    if (!VerifyId()) return false;
    return FinalOption();
  }

  // A simulation pass: the Writer was not contacted.
  bool Simulated() const { return simulated_; }
  // The pass count shown when the pass started.
  long long PassCountAtStart() const { return in_.ledger.passCount; }

 private:
  void TakeInputs() {
    in_.noBlankCheck = state_.NoBlankCheck != 0;
    in_.eraseFirst = state_.EraseFirst != 0;
    in_.serialMode = state_.SerialMode != 0;
    in_.simMode = state_.SimMode != 0 && in_.serialMode;  // a simulation ends with serial-number mode
    in_.optionErrors = state_.OptionErrors;
    in_.optionLow = state_.OptionLow;
    in_.optionHigh = state_.OptionHigh;
    in_.rtiw = SerialWordsAreRtiw(state_, state_.SerialAddress, std::clamp(state_.SerialLength, 0, kMaxSerialBytes));
    in_.ledger.numbered = in_.serialMode;
    in_.ledger.device = state_.DeviceName;
    in_.ledger.image = state_.CurrentFileName;
    in_.ledger.checksum = state_.Panel.Label11;
    in_.ledger.passCount = PassCountValue(state_);
  }

  bool ImageBlank() const {
    const int n = std::clamp(state_.ProgramBytes, 0, kProgramBufferBytes);
    return std::all_of(state_.ProgramBuffer.begin(), state_.ProgramBuffer.begin() + n,
                       [](std::uint8_t b) { return (b & 0x1F) == 0x1F; });
  }

  bool Fail(std::string_view line, Verdict why, std::string_view text, std::int32_t status = 0,
            const VerdictValues& values = {}) {
    return ctx_.FailRed(line, why, text, status, values);
  }
  void Enter(OpStage stage) { ctx_.outcome.Enter(stage); }
  // Header for area/mode answered with `want`, else the failure in line.
  bool Header(std::uint32_t area, std::int32_t mode, std::string_view line, std::int32_t want) {
    return SendHeaderFor(ctx_, area, mode, line, want);
  }
  bool Read(std::uint32_t area, int count, std::string_view line) {
    const std::int32_t status = ReadExactly(ctx_, area, count, area == kAreaId ? kIdBytesCompared : count);
    return status == kLinkFinished || ctx_.FailStatus(line, status);
  }
  // The first byte of the read that is not blank, or -1.
  int FirstNotBlank(int count) const {
    const auto it = std::find_if(state_.ReadBuffer.begin(), state_.ReadBuffer.begin() + count,
                                 [](std::uint8_t b) { return b != kBlankHalf; });
    return it == state_.ReadBuffer.begin() + count ? -1 : static_cast<int>(it - state_.ReadBuffer.begin());
  }

  bool EraseAndBlankCheck() {
    if (in_.eraseFirst) {
      Enter(OpStage::Erase);
      panel_.SetVisible("EraseMsg", true);
      panel_.SetText("EraseMsg", "Erase flash memory...");
      panel_.ClearRed("EraseMsg");
      if (!Header(kAreaProgram, kModeErase, "EraseMsg", kLinkFinished)) return false;
      panel_.SetText("EraseMsg", "Erase End");
    }
    Enter(OpStage::BlankCheck);
    panel_.SetVisible("Label1", true);
    panel_.SetText("Label1", "Blank Check.....");
    if (!Read(kAreaOption, 2, "Label1")) return false;
    if ((state_.ReadBuffer[0] & state_.OptionLowMask) != state_.OptionLowMask ||
        (state_.ReadBuffer[1] & state_.OptionHighMask) != state_.OptionHighMask) {
      panel_.SetText("Label1", "OPTION ....... Not Blank!!");
      return ctx_.Fail(Verdict::NotBlank, "OPTION ....... Not Blank!!", 0,
                       {{}, PackedWord(state_.ReadBuffer[0], state_.ReadBuffer[1]), {}});
    }
    if (!Read(kAreaId, 32, "Label1")) return false;
    if (const int i = FirstNotBlank(16); i >= 0)
      return Fail("Label1", Verdict::NotBlank, "ID Checksum ....... Not Blank!!", 0,
                  {static_cast<std::uint32_t>(i), state_.ReadBuffer[i], {}});
    const int n = std::clamp(state_.ProgramBytes, 0, kReadBufferBytes);
    if (!Read(kAreaProgram, n, "Label1")) return false;
    if (const int i = FirstNotBlank(n); i >= 0)
      return Fail("Label1", Verdict::NotBlank, "Device not blank!!", 0,
                  {static_cast<std::uint32_t>(i / 2), state_.ReadBuffer[i], {}});
    panel_.SetText("Label1", "Blank Check ..... OK.");
    return true;
  }

  // The OPTION word with `highBits` ORed into its high half; Label4.
  bool WriteOption(std::uint8_t highBits) {
    Enter(OpStage::Option);
    panel_.SetVisible("Label4", true);
    if (!Header(kAreaOption, kModeProgram, "Label4", kLinkHeaderAccepted)) return false;
    state_.ReadBuffer[0] = in_.optionLow;
    state_.ReadBuffer[1] = in_.optionHigh | highBits;
    const std::int32_t written = link_.WriteData(2, true);
    if (written == kLinkWriteFailed)
      return Fail("Label4", Verdict::WriteFailed, "OPTION program fail !!", written,
                  {static_cast<std::uint32_t>(state_.WriteFailIndex / 2), {}, {}});
    return written == kLinkWritten || ctx_.FailStatus("Label4", written);
  }

  bool ProgramId() {
    Enter(OpStage::Id);
    panel_.SetVisible("Label2", true);
    panel_.SetText("Label2", "Program ID...");
    if (!Header(kAreaId, kModeProgram, "Label2", kLinkHeaderAccepted)) return false;
    if (!StageIdImage(ctx_, id_)) return false;
    const int count = (state_.CommandHeader[3] + 256 * state_.CommandHeader[4] + 1) * 2;
    panel_.SetVisible("Label3", true);
    const std::int32_t written = link_.WriteData(count, true);
    if (written == kLinkWriteFailed) {
      const auto word = static_cast<std::uint32_t>(state_.WriteFailIndex / 2);
      return Fail("Label2", Verdict::WriteFailed,
                  word >= 5 ? std::string("Checksum program fail !!")
                            : "ID program fail at address " + HexDigits(word, 4) + " !!",
                  written, {word, {}, {}});
    }
    return written == kLinkWritten || ctx_.FailStatus("Label2", written);
  }

  bool ProgramData() {
    Enter(OpStage::Program);
    panel_.SetText("Label2", "Program Data...");
    if (!MarkLedgerStream(ctx_, "Label2")) return false;
    if (!Header(kAreaProgram, kModeProgram, "Label2", kLinkHeaderAccepted)) return false;
    bool stopped = false;
    const auto copy = ImageCopy(ctx_, kProgramBufferBytes, &stopped);
    if (stopped) return false;
    const int n = std::clamp(state_.ProgramBytes, 0, kProgramBufferBytes);
    panel_.SetVisible("Label3", true);
    const StreamEnd end = link_.StreamImage(copy, n + 6, kStreamTicks, [&](int j) {
      if (j % 32 == 0) panel_.SetText("Label3", HexDigits(j / 2, 4));
    });
    const auto word = static_cast<std::uint32_t>(end.index / 2);
    switch (end.kind) {
      case StreamEnd::AllWritten: panel_.SetText("Label2", "Data program Ok!!"); break;
      case StreamEnd::Exhausted: break;  // the read-back below tells
      case StreamEnd::CtsTimeout:
      case StreamEnd::ReplyTimeout: return Fail("Label2", Verdict::Link, "Connect Timeout!!", kLinkTimeout);
      case StreamEnd::Reply:
        if (end.reply == writer_reply::kWriteFailed) {
          panel_.SetText("Label3", HexDigits(word, 4));
          return Fail("Label2", Verdict::WriteFailed, "Data program fail !!", 0, {word, {}, {}});
        }
        if (end.reply == writer_reply::kSocketError)
          return Fail("Label2", Verdict::Link, "Nothing in socket or type error!", kLinkSocketError);
        return Fail("Label2", Verdict::Reply, "Unknow return value!!", 0, {word, end.reply, {}});
    }
    Enter(OpStage::ProgramVerify);
    panel_.SetVisible("Label3", false);
    if (!Read(kAreaProgram, n, "Label2")) return false;
    const auto diff = std::mismatch(copy.begin(), copy.begin() + n, state_.ReadBuffer.begin());
    if (diff.first != copy.begin() + n) {
      const auto at = static_cast<std::size_t>(diff.first - copy.begin());
      return Fail("Label2", Verdict::Differs, "Data verify Fail!!", 0,
                  {static_cast<std::uint32_t>(at / 2), WordOfByte(state_.ReadBuffer, at), WordOfByte(copy, at)});
    }
    panel_.SetText("Label2", "Data program & verify OK!!");
    return true;
  }

  // Reports a difference but lets the pass go on.
  bool VerifyId() {
    Enter(OpStage::IdVerify);
    panel_.SetVisible("Label3", true);
    if (!Read(kAreaId, 32, "Label3")) return false;
    const int result = CompareIdReadBack(ctx_, id_);
    if (result < 0) return false;
    if (result == 0)
      panel_.SetText("Label3", IdVerifyText(result));
    else
      Fail("Label3", Verdict::Differs, IdVerifyText(result));  // reported; the pass goes on
    return true;
  }

  bool FinalOption() {
    if (!WriteOption(0)) return false;
    Enter(OpStage::OptionVerify);
    if (!Read(kAreaOption, 2, "Label4")) return false;
    const bool same = (in_.optionLow & state_.OptionLowMask) == (state_.ReadBuffer[0] & state_.OptionLowMask) &&
                      (in_.optionHigh & state_.OptionHighMask) == (state_.ReadBuffer[1] & state_.OptionHighMask);
    if (same)
      panel_.SetText("Label4", "OPTION program & verify OK!!");
    else  // reported; the pass goes on
      Fail("Label4", Verdict::Differs, "OPTION verify Fail!!", 0,
           {{}, PackedWord(state_.ReadBuffer[0], state_.ReadBuffer[1]), PackedWord(in_.optionLow, in_.optionHigh)});
    return true;
  }

  OperationContext& ctx_;
  MainState& state_;
  OperationPanel& panel_;
  WriterLink& link_;
  PassRecord& record_;
  PassInputs in_;
  IdImage id_;
  bool simulated_ = false;
};

// The file is done with: serial-number and QTP mode off, so nothing reads
// on from a closed file when serial numbers are set up again.
void EndQtpRun(MainState& state) {
  state.SerialMode = 0;
  CloseQtpFile(state);
  state.QtpMode = 0;
  state.QtpEnd = 0;
  state.QtpRecord = 0;
  state.SimMode = 0;
  state.Panel.SpeedButton1 = "QTP Sim disable";
  state.Panel.Label19 = "Disable";
}

// Step 14 on the main window's side: count the pass, then stamp the next
// number (or the next QTP record's).
void CountAndAdvance(OperationContext& ctx) {
  MainState& state = ctx.state;
  PassRecord& record = *ctx.outcome.pass;
  CountPass(state);
  ++state.QtpRecord;
  if (ctx.ledger) return;  // the ledger gives the next number (ShowNextNumber)
  if (state.SerialMode) {
    if (state.QtpMode) {
      // A file whose end record was read already has nothing more to give.
      if (!state.QtpEnd) {
        const QtpReadResult read = state.QtpIn && ctx.prompts ? ReadSerialData(state, *state.QtpIn, *ctx.prompts)
                                                              : QtpReadResult::InformationError;
        if (read != QtpReadResult::Ok) {
          // A broken record ends the run as the end record would: no part
          // may get a stale or half-read number, now or at the next F8.
          ctx.Fail(Verdict::QtpFile, QtpReadMessage(read));
          EndQtpRun(state);
          record.batchOver = true;
          return;
        }
      }
      if (state.QtpEnd) {
        EndQtpRun(state);
        if (ctx.prompts) ctx.prompts->Message("QTP Program Finished!");
        record.batchOver = record.qtpFinished = true;
        return;
      }
    } else {
      SerialNoNext(state);
    }
  }
  SerialNo2Memory(state);
}

// With a ledger, after the pass: the number the next part is to get, stamped
// so that the panel shows it. A QTP job whose file has no record left ends
// the run as its end record does.
void ShowNextNumber(OperationContext& ctx) {
  PassRecord& record = *ctx.outcome.pass;
  if (!ctx.ledger || !ctx.outcome.ledgerError.empty()) return;
  std::optional<std::string> next;
  try {
    next = ctx.ledger->NextNumber();
  } catch (const LedgerError&) {
    return;  // only a display: the next pass's reservation will say what is wrong
  }
  record.next = next.value_or(std::string());
  ctx.handover.Run(
      [&] {
        MainState& state = ctx.state;
        if (!state.SerialMode) return;
        if (next) {
          SetSerialValue(state, *next);
          SerialNo2Memory(state);
        } else if (state.QtpMode) {
          EndQtpRun(state);
          if (ctx.prompts) ctx.prompts->Message("QTP Program Finished!");
          record.batchOver = record.qtpFinished = true;
        }
      },
      ctx.stop);
}

}  // namespace

Outcome AutoProgramWorker(OperationContext& ctx) {
  PassRecord& record = ctx.outcome.pass.emplace();
  PassSteps steps(ctx);
  long long shownCount = 0;
  try {
    if (steps.Run()) {
      ctx.outcome.Enter(OpStage::Count);
      record.counted = ctx.handover.Run(
          [&] {
            CountAndAdvance(ctx);
            shownCount = PassCountValue(ctx.state);
          },
          ctx.stop);
      if (record.counted && steps.Simulated()) ctx.outcome.Simulate();
      if (record.counted && !steps.Simulated()) ctx.outcome.Done();
    }
    record.passCount = record.counted ? shownCount : steps.PassCountAtStart();
    EndLedgerPass(ctx, record.passCount, record.checksum);
    if (record.counted) ShowNextNumber(ctx);
  } catch (const std::exception& e) {
    // The line failed under the pass: the ledger records how far it got.
    ctx.outcome.EndByLineFault(e.what());
    record.passCount = steps.PassCountAtStart();
    EndLedgerPass(ctx, record.passCount, record.checksum);
    throw;
  }
  ctx.panel.SetEnabled("Button1", true);
  if (!record.batchOver) ctx.panel.SetEnabled("Button2", true);
  return ctx.outcome;
}

namespace {

// The production log's name of the stage a pass failed in.
const char* LogStageName(OpStage stage) {
  switch (stage) {
    case OpStage::Erase: return "Erase";
    case OpStage::BlankCheck: return "Blank check";
    case OpStage::Option: return "OPTION";
    case OpStage::OptionVerify: return "OPTION verify";
    case OpStage::Id: return "ID";
    case OpStage::IdVerify: return "ID verify";
    case OpStage::Program:
    case OpStage::ProgramVerify: return "Data";
    case OpStage::Count: return "QTP file";
    default: return "Check";
  }
}

}  // namespace

ProductionLogEntry PassLogEntry(const std::string& device, const std::string& image, const Outcome& pass,
                                std::chrono::system_clock::time_point when) {
  const PassRecord record = pass.pass.value_or(PassRecord{});
  ProductionLogEntry e;
  e.time = Iso8601Utc(when);
  e.device = device;
  e.image = image;
  e.checksum = record.checksum;
  e.serial = record.serial;
  e.qtpRecord = record.qtpRecord > 0 ? std::to_string(record.qtpRecord) : std::string();
  e.passCount = std::to_string(record.passCount);
  switch (pass.result) {
    case OpResult::Ok: e.result = "OK"; break;
    case OpResult::Simulated: e.result = "Simulated"; break;  // no part was programmed
    case OpResult::Stopped: e.result = "Stopped"; break;
    case OpResult::Failed:
      // A ledger's failure says so itself ("Ledger error: ..."), whatever stage it came in.
      if (pass.verdict == Verdict::LedgerLost || pass.verdict == Verdict::LedgerRefused)
        e.result = pass.text;
      else
        e.result = std::string(LogStageName(pass.stage)) + ": " + pass.text;
      break;
  }
  return e;
}
