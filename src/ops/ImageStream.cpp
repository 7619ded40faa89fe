#include "ops/ImageStream.h"

#include <algorithm>

#include "app/MainState.h"
#include "link/Comm.h"
#include "ops/Handover.h"

std::vector<std::uint8_t> ImageCopy(OperationContext& ctx, int bytes, bool* stopped) {
  std::vector<std::uint8_t> copy(static_cast<std::size_t>(std::clamp(bytes, 0, kProgramBufferBytes)));
  const bool ran = ctx.handover.Run(
      [&] { std::copy_n(ctx.state.ProgramBuffer.begin(), copy.size(), copy.begin()); }, ctx.stop);
  if (stopped) *stopped = !ran;
  return copy;
}

StreamEnd StreamImage(OperationContext& ctx, const std::vector<std::uint8_t>& image, int count, int ticks,
                      const std::function<void(int)>& accepted) {
  TCustomComm& comm = ctx.link.Comm();
  TickTimer timer(ctx.clock);
  for (int j = 0; j < count; ++j) {
    timer.Reset();
    if (!WaitCtsTicks(comm, timer, ticks, ctx.stop)) return {StreamEnd::CtsTimeout, j};
    const std::uint8_t byte = j < static_cast<int>(image.size()) ? image[j] : kBlankHalf;
    if (!WriteByteUnlessStopped(comm, byte, ctx.stop)) return {StreamEnd::CtsTimeout, j};
    timer.Reset();
    if (!WaitInputTicks(comm, timer, ticks, ctx.stop)) return {StreamEnd::ReplyTimeout, j};
    std::uint8_t reply = 0;
    if (comm.Read(&reply, 1) != 1) return {StreamEnd::ReplyTimeout, j};
    if (reply == writer_reply::kAllWritten) return {StreamEnd::AllWritten, j, reply};
    if (reply != writer_reply::kAccepted) return {StreamEnd::Reply, j, reply};
    accepted(j);
  }
  return {StreamEnd::Exhausted, count};
}
