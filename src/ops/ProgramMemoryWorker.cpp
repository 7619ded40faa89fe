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
      {"Program Ok!!", "Data verify OK!!"},
  };
  return layout;
}

namespace {

// Every byte with its low five bits set: a cleared buffer, nothing to program.
bool ImageLooksBlank(const MainState& s) {
  const int n = std::clamp(s.ProgramBytes, 0, kProgramBufferBytes);
  return std::all_of(s.ProgramBuffer.begin(), s.ProgramBuffer.begin() + n,
                     [](std::uint8_t b) { return (b & 0x1F) == 0x1F; });
}

void Program(OperationContext& ctx) {
  MainState& s = ctx.state;
  OperationPanel& p = ctx.panel;

  bool blank = false;
  if (!ctx.handover.Run([&] { blank = ImageLooksBlank(s); }, ctx.stop)) return;
  if (blank) {
    p.Red("Label1", "Data memory are blank or error!");
    return;
  }
  if (!ProbeWriter(ctx, "Label1")) return;
  if (!SendWriteHeader(ctx, kAreaProgram, kModeProgram, "Label1")) return;

  const int n = std::clamp(s.ProgramBytes, 0, kProgramBufferBytes);
  bool stopped = false;
  const auto copy = ImageCopy(ctx, kProgramBufferBytes, &stopped);
  if (stopped) return;
  const StreamEnd end = ctx.link.StreamImage(copy, n + 6, kStreamTicks, [&](int j) {
    if (j % 32 == 0) p.SetText("Label2", HexDigits(j / 2, 4));
  });
  switch (end.kind) {
    case StreamEnd::AllWritten:
      p.SetText("Label2", HexDigits(end.index / 2, 4));
      p.SetText("Label1", "Program Ok!!");
      break;
    case StreamEnd::Exhausted: break;  // the Writer never said it was done: the read-back tells
    case StreamEnd::CtsTimeout:
    case StreamEnd::ReplyTimeout: p.Red("Label1", "Connect Timeout!!"); return;
    case StreamEnd::Reply:
      if (end.reply == writer_reply::kWriteFailed) {
        p.SetText("Label2", HexDigits(end.index / 2, 4));
        p.Red("Label1", "Programming fail !!");
      } else if (end.reply == writer_reply::kSocketError) {
        p.Red("Label1", "Nothing in socket or type error!");
      } else {
        p.Red("Label1", "Unknow return value!!");
      }
      return;
  }

  const std::int32_t read = ReadExactly(ctx, kAreaProgram, n);
  if (read != kLinkFinished) {
    ShowStageFailure(p, "Label2", read);
    return;
  }
  if (!std::equal(copy.begin(), copy.begin() + n, s.ReadBuffer.begin())) {
    p.Red("Label2", "Data verify Fail!!");
    return;
  }
  p.SetText("Label2", "Data verify OK!!");
}

}  // namespace

void ProgramMemoryWorker(OperationContext& ctx) {
  Program(ctx);
  ctx.panel.SetEnabled("Button1", true);
}
