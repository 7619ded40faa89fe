#include "ops/ForceWriteWorker.h"

#include <algorithm>

#include "app/MainState.h"
#include "ops/Handover.h"
#include "production/PassCount.h"
#include "production/PassLedger.h"

const OperationLayout& ForceWriteLayout() {
  static const OperationLayout layout{
      "Program Memory Without Check",
      "Program Memory Without Check",
      {{"Label1", "", false}, {"Label2", ""}, {"Label3", "", false}},
      {"Button1", "Button2"},
      {"Exit", "Continue"},
      true,
  };
  return layout;
}

namespace {

constexpr int kForceTicks = 2;
constexpr std::uint8_t kForceTiming = 5;

enum class PassEnd { Counted, Simulated, LinkFailure, ReadBackFailure };

PassEnd RunPass(OperationContext& ctx, long long& passCount) {
  MainState& state = ctx.state;
  OperationPanel& panel = ctx.panel;
  PassRecord& record = *ctx.outcome.pass;

  panel.SetVisible("Label1", true);
  panel.SetText("Label2", "");
  panel.SetText("Label3", "");
  bool simulate = false;
  int n = 0;
  PassStart facts;
  facts.numbered = false;  // force-written parts never get serial numbers
  if (!ctx.handover.Run(
          [&] {
            simulate = state.SimMode != 0;
            n = std::clamp(state.ProgramBytes, 0, kProgramBufferBytes);
            record.checksum = state.Panel.Label11;
            facts.device = state.DeviceName;
            facts.image = state.CurrentFileName;
            facts.checksum = record.checksum;
            facts.passCount = passCount = PassCountValue(state);
          },
          ctx.stop))
    return PassEnd::LinkFailure;
  std::string serial;
  long long qtpRecord = 0;
  if (!BeginLedgerPass(ctx, facts, "Label1", &serial, &qtpRecord)) return PassEnd::LinkFailure;
  if (simulate) {
    panel.SetText("Label1", "Simulate Programming OK!");
    return PassEnd::Simulated;
  }
  panel.ClearRed("Label1");
  panel.SetText("Label1", "Program Memory...");
  if (!ProbeWriter(ctx, "Label1")) return PassEnd::LinkFailure;
  ctx.outcome.Enter(OpStage::Program);
  if (!MarkLedgerStream(ctx, "Label1")) return PassEnd::LinkFailure;
  bool stopped = false;
  const auto copy = ImageCopy(ctx, kForceWriteCopyBytes, &stopped);
  if (stopped) return PassEnd::LinkFailure;
  ctx.link.GetHeader(kAreaProgram, kModeProgramPulse, ctx.inputs);
  state.CommandHeader[7] = kForceTiming;
  const std::int32_t header = ctx.link.SendHeader(10);
  if (header != kLinkHeaderAccepted) {
    ctx.FailStatus("Label1", header);
    return PassEnd::LinkFailure;
  }

  panel.SetGauge(0);
  int shown = 0;
  const StreamEnd end = ctx.link.StreamImage(copy, n + 6, kForceTicks, [&](int j) {
    const int percent = n > 0 ? static_cast<int>(static_cast<long long>(j) * 100 / n) : 0;
    if (percent > shown) {
      shown = percent;
      panel.SetGauge(percent);
    }
  });
  const auto word = static_cast<std::uint32_t>(end.index / 2);
  switch (end.kind) {
    case StreamEnd::AllWritten:
      panel.SetText("Label1", "Program memory Ok!!");
      panel.SetGauge(100);
      break;
    case StreamEnd::Exhausted:
      // The Writer never said it was done; the line keeps "Program Memory...".
      ctx.Fail(Verdict::NotFinished, "Program Memory...");
      break;
    case StreamEnd::CtsTimeout:
    case StreamEnd::ReplyTimeout:
      ctx.FailRed("Label1", Verdict::Link, "Connect Timeout!!", kLinkTimeout);
      return PassEnd::LinkFailure;
    case StreamEnd::Reply:
      switch (end.reply) {
        case writer_reply::kWriteFailed:
          ctx.FailRed("Label1", Verdict::WriteFailed, "Programming memory fail!!", 0, {word, {}, {}});
          break;
        case writer_reply::kSocketError:
          ctx.FailRed("Label1", Verdict::Link, "Nothing in socket or type error!", kLinkSocketError);
          break;
        case writer_reply::kAdapterError:
          ctx.FailRed("Label1", Verdict::Link, "IC adapter board error!", kLinkAdapterError);
          break;
        default: ctx.FailRed("Label1", Verdict::Reply, "Unknow return value!!", 0, {word, end.reply, {}}); break;
      }
      return PassEnd::LinkFailure;
  }

  ctx.outcome.Enter(OpStage::ProgramVerify);
  const std::int32_t read = ReadExactly(ctx, kAreaProgram, n);
  if (read != kLinkFinished) {
    ctx.FailStatus("Label2", read);
    return PassEnd::ReadBackFailure;
  }
  // Two bits of every byte are compared against the image as it stands now.
  std::vector<std::uint8_t> image;
  bool protect = false;
  if (!ctx.handover.Run(
          [&] {
            image.assign(state.ProgramBuffer.begin(), state.ProgramBuffer.begin() + n);
            image.push_back(kBlankHalf);  // the high half an odd size would lack
            protect = state.VerifyProtect != 0;
          },
          ctx.stop))
    return PassEnd::LinkFailure;
  for (int i = 0; i < n; ++i) {
    if ((image[i] & 0x60) == (state.ReadBuffer[i] & 0x60)) continue;
    const std::uint32_t icWord = WordOfByte(state.ReadBuffer, i);
    std::uint32_t bufferWord = WordOfByte(image, i);
    if (protect) bufferWord |= 0xF9F;
    const auto address = static_cast<std::uint32_t>(i / 2);
    const std::string text = "Data Verify error at " + HexDigits(address, 4) + "H";
    panel.SetText("Label2", text);
    panel.SetText("Label3", "IC=" + HexDigits(icWord, 4) + "H, Buffer=" + HexDigits(bufferWord, 4) + "H");
    panel.SetVisible("Label3", true);
    ctx.Fail(Verdict::Differs, text, 0, {address, icWord, bufferWord});
    return PassEnd::Counted;
  }
  panel.SetText("Label2", "Data verify OK!!");
  return PassEnd::Counted;
}

}  // namespace

Outcome ForceWriteWorker(OperationContext& ctx) {
  PassRecord& record = ctx.outcome.pass.emplace();
  long long passCount = 0;
  PassEnd end;
  try {
    end = RunPass(ctx, passCount);
    if (end == PassEnd::Counted || end == PassEnd::Simulated) {
      ctx.outcome.Enter(OpStage::Count);
      record.counted = ctx.handover.Run(
          [&] {
            CountPass(ctx.state);
            passCount = PassCountValue(ctx.state);
          },
          ctx.stop);
      if (record.counted && end == PassEnd::Simulated) ctx.outcome.Simulate();
      if (record.counted && end == PassEnd::Counted) ctx.outcome.Done();
    }
    record.passCount = passCount;
    EndLedgerPass(ctx, passCount, record.checksum);
  } catch (const std::exception& e) {
    ctx.outcome.EndByLineFault(e.what());
    record.passCount = passCount;
    EndLedgerPass(ctx, passCount, record.checksum);
    throw;
  }
  // A pass whose read-back failed offers no next part.
  record.batchOver = record.batchOver || end == PassEnd::ReadBackFailure;
  ctx.panel.SetEnabled("Button1", true);
  if (!record.batchOver) ctx.panel.SetEnabled("Button2", true);
  return ctx.outcome;
}
