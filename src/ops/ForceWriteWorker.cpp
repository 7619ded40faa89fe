#include "ops/ForceWriteWorker.h"

#include <algorithm>

#include "app/MainState.h"
#include "ops/Handover.h"
#include "ops/PassCount.h"

const OperationLayout& ForceWriteLayout() {
  static const OperationLayout layout{
      "Program Memory Without Check",
      "Program Memory Without Check",
      {{"Label1", "", false}, {"Label2", ""}, {"Label3", "", false}},
      {"Button1", "Button2"},
      {"Exit", "Continue"},
      true,
      {"Program memory Ok!!", "Data verify OK!!", "Simulate Programming OK!"},
  };
  return layout;
}

namespace {

constexpr int kForceTicks = 2;
constexpr std::uint8_t kForceTiming = 5;

enum class PassEnd { Counted, LinkFailure, ReadBackFailure };

PassEnd Pass(OperationContext& ctx) {
  MainState& s = ctx.state;
  OperationPanel& p = ctx.panel;
  WriterLink& link = ctx.link;

  p.SetVisible("Label1", true);
  p.SetText("Label2", "");
  p.SetText("Label3", "");
  bool simulate = false;
  int n = 0;
  if (!ctx.handover.Run(
          [&] {
            simulate = s.SimMode != 0;
            n = std::clamp(s.ProgramBytes, 0, kProgramBufferBytes);
          },
          ctx.stop))
    return PassEnd::LinkFailure;
  if (simulate) {
    p.SetText("Label1", "Simulate Programming OK!");
    return PassEnd::Counted;
  }
  p.ClearRed("Label1");
  p.SetText("Label1", "Program Memory...");
  if (!ProbeWriter(ctx, "Label1")) return PassEnd::LinkFailure;
  bool stopped = false;
  const auto copy = ImageCopy(ctx, kForceWriteCopyBytes, &stopped);
  if (stopped) return PassEnd::LinkFailure;
  link.GetHeader(kAreaProgram, kModeProgramPulse, ctx.inputs);
  s.CommandHeader[7] = kForceTiming;
  const std::int32_t header = link.SendHeader(10);
  if (header != kLinkHeaderAccepted) {
    ShowStageFailure(p, "Label1", header);
    return PassEnd::LinkFailure;
  }

  p.SetGauge(0);
  int shown = 0;
  const StreamEnd end = ctx.link.StreamImage(copy, n + 6, kForceTicks, [&](int j) {
    const int percent = n > 0 ? static_cast<int>(static_cast<long long>(j) * 100 / n) : 0;
    if (percent > shown) {
      shown = percent;
      p.SetGauge(percent);
    }
  });
  switch (end.kind) {
    case StreamEnd::AllWritten:
      p.SetText("Label1", "Program memory Ok!!");
      p.SetGauge(100);
      break;
    case StreamEnd::Exhausted: break;
    case StreamEnd::CtsTimeout:
    case StreamEnd::ReplyTimeout: p.Red("Label1", "Connect Timeout!!"); return PassEnd::LinkFailure;
    case StreamEnd::Reply:
      switch (end.reply) {
        case writer_reply::kWriteFailed: p.Red("Label1", "Programming memory fail!!"); break;
        case writer_reply::kSocketError: p.Red("Label1", "Nothing in socket or type error!"); break;
        case writer_reply::kAdapterError: p.Red("Label1", "IC adapter board error!"); break;
        default: p.Red("Label1", "Unknow return value!!"); break;
      }
      return PassEnd::LinkFailure;
  }

  const std::int32_t read = ReadExactly(ctx, kAreaProgram, n);
  if (read != kLinkFinished) {
    ShowStageFailure(p, "Label2", read);
    return PassEnd::ReadBackFailure;
  }
  // Two bits of every byte are compared against the image as it stands now.
  std::vector<std::uint8_t> image;
  bool protect = false;
  if (!ctx.handover.Run(
          [&] {
            image.assign(s.ProgramBuffer.begin(), s.ProgramBuffer.begin() + n);
            image.push_back(kBlankHalf);  // the high half an odd size would lack
            protect = s.VerifyProtect != 0;
          },
          ctx.stop))
    return PassEnd::LinkFailure;
  for (int i = 0; i < n; ++i) {
    if ((image[i] & 0x60) == (s.ReadBuffer[i] & 0x60)) continue;
    const int w = i & ~1;
    const int icWord = s.ReadBuffer[w] + 128 * s.ReadBuffer[w + 1];
    int bufferWord = image[w] + 128 * image[w + 1];
    if (protect) bufferWord |= 0xF9F;
    p.SetText("Label2", "Data Verify error at " + HexDigits(i / 2, 4) + "H");
    p.SetText("Label3", "IC=" + HexDigits(icWord, 4) + "H, Buffer=" + HexDigits(bufferWord, 4) + "H");
    p.SetVisible("Label3", true);
    return PassEnd::Counted;
  }
  p.SetText("Label2", "Data verify OK!!");
  return PassEnd::Counted;
}

}  // namespace

void ForceWriteWorker(OperationContext& ctx) {
  const PassEnd end = Pass(ctx);
  if (end == PassEnd::Counted) ctx.handover.Run([&] { CountPass(ctx.state); }, ctx.stop);
  ctx.panel.SetEnabled("Button1", true);
  if (end != PassEnd::ReadBackFailure) ctx.panel.SetEnabled("Button2", true);
}
