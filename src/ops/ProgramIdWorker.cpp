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

// Runs the stages; false when one of them ended the operation.
bool Program(OperationContext& ctx) {
  MainState& state = ctx.state;
  OperationPanel& panel = ctx.panel;

  if (!ProbeWriter(ctx, "Label1")) return false;
  ctx.outcome.Enter(OpStage::Id);
  if (!SendWriteHeader(ctx, kAreaId, kModeProgram, "Label1")) return false;
  IdImage image;
  if (!StageIdImage(ctx, image)) return false;
  const int count = (state.CommandHeader[3] + 256 * state.CommandHeader[4] + 1) * 2;
  const std::int32_t written = ctx.link.WriteData(count, true);
  switch (written) {
    case kLinkWritten:
      panel.SetText("Label1", "Program Ok!!");
      panel.SetEnabled("Button1", true);
      break;
    case kLinkWriteFailed: {
      const auto word = static_cast<std::uint32_t>(state.WriteFailIndex / 2);
      return ctx.FailRed("Label1", Verdict::WriteFailed,
                         word >= 5 ? std::string("Checksum program fail !!")
                                   : "Program ID fail at address " + HexDigits(word, 4) + " !!",
                         written, {word, {}, {}});
    }
    default: return ctx.FailStatus("Label1", written);
  }

  ctx.outcome.Enter(OpStage::IdVerify);
  const std::int32_t read = ReadExactly(ctx, kAreaId, 32, kIdBytesCompared);
  if (read != kLinkFinished) return ctx.FailStatus("Label2", read);
  const int result = CompareIdReadBack(ctx, image);
  if (result < 0) return false;
  if (result > 0) return ctx.FailRed("Label2", Verdict::Differs, IdVerifyText(result));
  panel.SetText("Label2", IdVerifyText(result));
  return true;
}

}  // namespace

bool StageIdImage(OperationContext& ctx, IdImage& image) {
  if (!ctx.handover.Run([&] { image.id = ctx.state.IdBuffer; }, ctx.stop) || !ChecksumChars(ctx, image.sum))
    return false;
  std::copy(image.id.begin(), image.id.end(), ctx.state.ReadBuffer.begin());
  std::copy(image.sum.begin(), image.sum.end(), ctx.state.ReadBuffer.begin() + 12);
  return true;
}

int CompareIdReadBack(OperationContext& ctx, IdImage& image) {
  // The caption is read again: a checksum that changed meanwhile is compared as it is now.
  if (!ChecksumChars(ctx, image.sum)) return -1;
  const auto& r = ctx.state.ReadBuffer;
  int result = 0;
  if (!std::equal(image.id.begin(), image.id.begin() + 12, r.begin())) result |= 1;
  if (!std::equal(image.sum.begin(), image.sum.end(), r.begin() + 12)) result |= 2;
  return result;
}

const char* IdVerifyText(int result) {
  switch (result) {
    case 0: return "ID & Checksum verify OK!!";
    case 1: return "ID verify fail!!";
    case 2: return "Checksum verify fail!!";
    default: return "ID & Checksum verify fail!!";
  }
}

Outcome ProgramIdWorker(OperationContext& ctx) {
  if (Program(ctx)) ctx.outcome.Done();
  ctx.panel.SetEnabled("Button1", true);
  return ctx.outcome;
}
