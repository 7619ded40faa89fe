#include "ops/ProgramMemoryWorker.h"

#include <algorithm>

#include "app/MainState.h"
#include "ops/Handover.h"

const OperationLayout& ProgramMemoryLayout() {
  static const OperationLayout layout{
      "Program Memory",
      "Program memory",
      {{"Label1", "Program....."}, {"Label2", "0000"}},
      {"Button1"},
      {"OK"},
      false,
  };
  return layout;
}

namespace {

// Every byte with its low five bits set: a cleared buffer, nothing to program.
bool ImageLooksBlank(const MainState& state) {
  const int n = std::clamp(state.ProgramBytes, 0, kProgramBufferBytes);
  return std::all_of(state.ProgramBuffer.begin(), state.ProgramBuffer.begin() + n,
                     [](std::uint8_t b) { return (b & 0x1F) == 0x1F; });
}

// Runs the stages; false when one of them ended the operation.
bool Program(OperationContext& ctx) {
  MainState& state = ctx.state;
  OperationPanel& panel = ctx.panel;

  bool blank = false;
  if (!ctx.handover.Run([&] { blank = ImageLooksBlank(state); }, ctx.stop)) return false;
  if (blank) return ctx.FailRed("Label1", Verdict::BlankImage, "Data memory are blank or error!");
  if (!ProbeWriter(ctx, "Label1")) return false;
  ctx.outcome.Enter(OpStage::Program);
  if (!SendWriteHeader(ctx, kAreaProgram, kModeProgram, "Label1")) return false;

  const int n = std::clamp(state.ProgramBytes, 0, kProgramBufferBytes);
  bool stopped = false;
  const auto copy = ImageCopy(ctx, kProgramBufferBytes, &stopped);
  if (stopped) return false;
  const StreamEnd end = ctx.link.StreamImage(copy, n + 6, kStreamTicks, [&](int j) {
    if (j % 32 == 0) panel.SetText("Label2", HexDigits(j / 2, 4));
  });
  const auto word = static_cast<std::uint32_t>(end.index / 2);
  switch (end.kind) {
    case StreamEnd::AllWritten:
      panel.SetText("Label2", HexDigits(word, 4));
      panel.SetText("Label1", "Program Ok!!");
      break;
    case StreamEnd::Exhausted:
      // The Writer never said it was done: the read-back tells, the first line keeps "Program.....".
      ctx.Fail(Verdict::NotFinished, "Program.....");
      break;
    case StreamEnd::CtsTimeout:
    case StreamEnd::ReplyTimeout: return ctx.FailRed("Label1", Verdict::Link, "Connect Timeout!!", kLinkTimeout);
    case StreamEnd::Reply:
      if (end.reply == writer_reply::kWriteFailed) {
        panel.SetText("Label2", HexDigits(word, 4));
        return ctx.FailRed("Label1", Verdict::WriteFailed, "Programming fail !!", 0, {word, {}, {}});
      }
      if (end.reply == writer_reply::kSocketError)
        return ctx.FailRed("Label1", Verdict::Link, "Nothing in socket or type error!", kLinkSocketError);
      return ctx.FailRed("Label1", Verdict::Reply, "Unknow return value!!", 0, {word, end.reply, {}});
  }

  ctx.outcome.Enter(OpStage::ProgramVerify);
  const std::int32_t read = ReadExactly(ctx, kAreaProgram, n);
  if (read != kLinkFinished) return ctx.FailStatus("Label2", read);
  const auto diff = std::mismatch(copy.begin(), copy.begin() + n, state.ReadBuffer.begin());
  if (diff.first != copy.begin() + n) {
    const auto at = static_cast<std::size_t>(diff.first - copy.begin());
    return ctx.FailRed("Label2", Verdict::Differs, "Data verify Fail!!", 0,
                       {static_cast<std::uint32_t>(at / 2), WordOfByte(state.ReadBuffer, at), WordOfByte(copy, at)});
  }
  panel.SetText("Label2", "Data verify OK!!");
  return true;
}

}  // namespace

Outcome ProgramMemoryWorker(OperationContext& ctx) {
  if (Program(ctx)) ctx.outcome.Done();
  ctx.panel.SetEnabled("Button1", true);
  return ctx.outcome;
}
