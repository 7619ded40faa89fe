#include "ops/ProgramIdWorker.h"

#include <algorithm>
#include <array>

#include "app/MainState.h"
#include "ops/Handover.h"

const OperationLayout& ProgramIdLayout() {
  static const OperationLayout layout{
      "Program ID Checksum",
      "ID and Checksum",
      {{"Label1", "Programming....."}, {"Label2", ""}},
      {"Button1"},
      {"OK"},
      false,
      {"Program Ok!!", "ID & Checksum verify OK!!"},
  };
  return layout;
}

namespace {

// The first four characters of the data checksum caption ("3A7F", or "Blan"
// of "Blank"), read on the main window's side.
bool ChecksumChars(OperationContext& ctx, std::array<std::uint8_t, 4>& chars) {
  return ctx.handover.Run(
      [&] {
        const std::string& caption = ctx.state.Panel.Label11;
        for (std::size_t i = 0; i < chars.size(); ++i)
          chars[i] = i < caption.size() ? static_cast<std::uint8_t>(caption[i]) : 0;
      },
      ctx.stop);
}

void Program(OperationContext& ctx) {
  MainState& s = ctx.state;
  OperationPanel& p = ctx.panel;
  WriterLink& link = ctx.link;

  const std::int32_t probe = link.CheckWriter();
  if (probe == kLinkWriterMismatch || probe == kLinkTimeout) {
    p.Red("Label1", LinkStatusMessage(probe));
    return;
  }
  link.GetHeader(kAreaId, kModeProgram, ctx.inputs);
  const std::int32_t header = link.SendHeader(10);
  if (header != kLinkHeaderAccepted) {
    ShowStageFailure(p, "Label1", header);
    return;
  }

  std::array<std::uint8_t, kIdBytes> id{};
  std::array<std::uint8_t, 4> sum{};
  if (!ctx.handover.Run([&] { id = s.IdBuffer; }, ctx.stop) || !ChecksumChars(ctx, sum)) return;
  std::copy(id.begin(), id.end(), s.ReadBuffer.begin());
  std::copy(sum.begin(), sum.end(), s.ReadBuffer.begin() + 12);

  const int count = (s.CommandHeader[3] + 256 * s.CommandHeader[4] + 1) * 2;
  const std::int32_t written = link.WriteData(count, true);
  switch (written) {
    case kLinkWritten:
      p.SetText("Label1", "Program Ok!!");
      p.SetEnabled("Button1", true);
      break;
    case kLinkWriteFailed: {
      const int word = s.WriteFailIndex / 2;
      if (word >= 5)
        p.Red("Label1", "Checksum program fail !!");
      else
        p.Red("Label1", "Program ID fail at address " + HexDigits(word, 4) + " !!");
      return;
    }
    default: ShowStageFailure(p, "Label1", written); return;
  }

  link.GetHeader(kAreaId, kModeRead, ctx.inputs);
  const std::int32_t read = link.Read7BitData(32, true);
  if (read != kLinkFinished) {
    ShowStageFailure(p, "Label2", read);
    return;
  }
  // The caption is read again: a checksum that changed meanwhile is compared as it is now.
  if (!ChecksumChars(ctx, sum)) return;
  int result = 0;
  if (!std::equal(id.begin(), id.begin() + 12, s.ReadBuffer.begin())) result |= 1;
  if (!std::equal(sum.begin(), sum.end(), s.ReadBuffer.begin() + 12)) result |= 2;
  switch (result) {
    case 0: p.SetText("Label2", "ID & Checksum verify OK!!"); break;
    case 1: p.Red("Label2", "ID verify fail!!"); break;
    case 2: p.Red("Label2", "Checksum verify fail!!"); break;
    default: p.Red("Label2", "ID & Checksum verify fail!!"); break;
  }
}

}  // namespace

void ProgramIdWorker(OperationContext& ctx) {
  Program(ctx);
  ctx.panel.SetEnabled("Button1", true);
}
