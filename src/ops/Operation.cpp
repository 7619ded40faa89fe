#include "ops/Operation.h"

#include <algorithm>
#include <cstdio>

#include "app/MainState.h"
#include "ops/Handover.h"
#include "ops/OperationPanel.h"

std::vector<std::uint8_t> ImageCopy(OperationContext& ctx, int bytes, bool* stopped) {
  std::vector<std::uint8_t> copy(static_cast<std::size_t>(std::clamp(bytes, 0, kProgramBufferBytes)));
  const bool ran = ctx.handover.Run(
      [&] { std::copy_n(ctx.state.ProgramBuffer.begin(), copy.size(), copy.begin()); }, ctx.stop);
  if (stopped) *stopped = !ran;
  return copy;
}

bool ProbeWriter(OperationContext& ctx, std::string_view line) {
  const std::int32_t probe = ctx.link.CheckWriter();
  if (probe != kLinkWriterMismatch && probe != kLinkTimeout) return true;
  ctx.panel.Red(line, LinkStatusMessage(probe));
  return false;
}

bool SendWriteHeader(OperationContext& ctx, std::uint32_t area, std::int32_t mode, std::string_view line) {
  ctx.link.GetHeader(area, mode, ctx.inputs);
  const std::int32_t header = ctx.link.SendHeader(10);
  if (header == kLinkHeaderAccepted) return true;
  ShowStageFailure(ctx.panel, line, header);
  return false;
}

std::int32_t ReadExactly(OperationContext& ctx, std::uint32_t area, std::int32_t count) {
  return ReadExactly(ctx, area, count, count);
}

std::int32_t ReadExactly(OperationContext& ctx, std::uint32_t area, std::int32_t count, std::int32_t used) {
  constexpr std::uint8_t kUnfilled = 0x80;  // no 7-bit data byte has this value
  ctx.link.GetHeader(area, kModeRead, ctx.inputs);
  auto& buffer = ctx.state.ReadBuffer;
  const bool marked = used >= count && count > 0 && count <= static_cast<std::int32_t>(buffer.size());
  if (marked) buffer[count - 1] = kUnfilled;
  const std::int32_t status = ctx.link.Read7BitData(count, true);
  if (status == kLinkFinished && marked && buffer[count - 1] == kUnfilled) return kLinkUnexpected;
  return status;
}

const char* StageFailureText(std::int32_t status) {
  switch (status) {
    case kLinkSocketError:
    case kLinkAdapterError:
    case kLinkTimeout: return LinkStatusMessage(status);
    default: return "Writer Error!!";
  }
}

void ShowStageFailure(OperationPanel& panel, std::string_view line, std::int32_t status) {
  panel.Red(line, StageFailureText(status));
}

std::string HexDigits(std::uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", digits, value);
  std::string s(buf);
  return s.size() > static_cast<std::size_t>(digits) ? s.substr(s.size() - digits) : s;
}
