#include "ops/ReadIcWorker.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/MainState.h"
#include "files/Checksum.h"
#include "ops/Handover.h"

const OperationLayout& ReadIcLayout() {
  static const OperationLayout layout{
      "Read",
      "Read",
      {{"Label1", ""}, {"Label2", ""}, {"Label3", ""}, {"EEInfo", "", false}},
      {"Button1"},
      {"OK"},
      true,
  };
  return layout;
}

namespace {

// Data bytes kept past the image: the Writer may send a few more than asked.
constexpr int kImageSlack = 11;

std::string Timeout(int stage) { return "Connect Timeout!! (" + std::to_string(stage) + ")"; }

class Reader {
 public:
  explicit Reader(OperationContext& ctx) : ctx_(ctx), state_(ctx.state), panel_(ctx.panel), link_(ctx.link) {}

  // True when everything the part holds is in the buffers.
  bool Run() {
    return Identify() && ReadOptionArea() && ReadArea5() && ReadId() && ReadProgram() && ReadEeprom();
  }

 private:
  bool Stopped() const { return ctx_.stop.stop_requested(); }

  // A closing window gets no more texts: what the link says after the stop
  // is not the Writer's answer.
  bool Red(std::string_view line, Verdict why, std::string_view text, std::int32_t status = 0) {
    return Stopped() ? false : ctx_.FailRed(line, why, text, status);
  }

  // Red text of a failed 7-bit or 8-bit read: socket, adapter and time-out in
  // `line`, anything else "Writer Error!!" in `otherLine`.
  bool Fail(std::string_view line, std::string_view otherLine, std::int32_t status, int stage) {
    switch (status) {
      case kLinkSocketError:
      case kLinkAdapterError: return Red(line, Verdict::Link, LinkStatusMessage(status), status);
      case kLinkTimeout: return Red(line, Verdict::Link, Timeout(stage), status);
      default: return Red(otherLine, Verdict::Link, "Writer Error!!", status);
    }
  }

  bool Identify() {
    if (state_.DeviceIndex == -1) return ctx_.FailRed("Label1", Verdict::UnknownDevice, "Unknow IC Type!!");
    ctx_.outcome.Enter(OpStage::Probe);
    const std::int32_t probe = link_.CheckWriter();
    if (probe == kLinkWriterMismatch) return Red("Label1", Verdict::Link, LinkStatusMessage(probe), probe);
    if (probe == kLinkTimeout) return Red("Label1", Verdict::Link, Timeout(1), probe);
    return !Stopped();
  }

  bool ReadOptionArea() {
    ctx_.outcome.Enter(OpStage::Option);
    const std::int32_t status = ReadExactly(ctx_, kAreaOption, 6);
    if (status != kLinkFinished) return Fail("Label1", "Label2", status, 2);
    std::array<std::uint8_t, 6> got;
    std::copy_n(state_.ReadBuffer.begin(), got.size(), got.begin());
    const bool stored = ctx_.handover.Run(
        [&] {
          state_.OptionLow = got[0];
          state_.OptionHigh = got[1];
          std::copy_n(got.begin() + 2, 4, state_.BodyOptionBytes.begin());
        },
        ctx_.stop);
    if (!stored) return false;
    panel_.SetText("Label1", "Read OPTION OK!");
    return true;
  }

  bool ReadArea5() {
    ctx_.outcome.Enter(OpStage::BodyOption);
    const std::int32_t status = ReadExactly(ctx_, kAreaOption2, 6);
    if (status != kLinkFinished) return Fail("Label1", "Label2", status, 3);
    // The first word of this area is not kept.
    std::array<std::uint8_t, 4> got;
    std::copy_n(state_.ReadBuffer.begin() + 2, got.size(), got.begin());
    return ctx_.handover.Run([&] { std::copy(got.begin(), got.end(), state_.BodyOptionBytes.begin() + 4); },
                             ctx_.stop);
  }

  bool ReadId() {
    ctx_.outcome.Enter(OpStage::Id);
    const std::int32_t status = ReadExactly(ctx_, kAreaId, kIdBytes);
    if (status != kLinkFinished) return Fail("Label2", "Label2", status, 4);
    std::array<std::uint8_t, kIdBytes> got;
    std::copy_n(state_.ReadBuffer.begin(), got.size(), got.begin());
    if (!ctx_.handover.Run([&] { state_.IdBuffer = got; }, ctx_.stop)) return false;
    panel_.SetText("Label2", "Read ID and Checksum OK!");
    return true;
  }

  bool ReadProgram() {
    ctx_.outcome.Enter(OpStage::Program);
    link_.GetHeader(kAreaProgram, kModeRead, ctx_.inputs);
    const int n = std::clamp(state_.ProgramBytes, 2, kProgramBufferBytes);
    panel_.SetGauge(0);
    std::vector<std::uint8_t> image(static_cast<std::size_t>(n) + kImageSlack, 0);
    switch (link_.ReadImage(image, n, [this](int percent) { panel_.SetGauge(percent); })) {
      case ImageReadEnd::Complete: return Complete(image, n);
      case ImageReadEnd::HeaderTimeout: return Red("Label3", Verdict::Link, Timeout(5), kLinkTimeout);
      case ImageReadEnd::DataTimeout: return Red("Label3", Verdict::Link, Timeout(6), kLinkTimeout);
      case ImageReadEnd::ShortImage: return Red("Label3", Verdict::ReadError, "Read error!!");
      case ImageReadEnd::SocketError:
        return Red("Label3", Verdict::Link, LinkStatusMessage(kLinkSocketError), kLinkSocketError);
      case ImageReadEnd::AdapterError:
        return Red("Label3", Verdict::Link, LinkStatusMessage(kLinkAdapterError), kLinkAdapterError);
      case ImageReadEnd::Stopped: return false;
    }
    return false;
  }

  bool Complete(const std::vector<std::uint8_t>& image, int n) {
    panel_.SetGauge(100);
    const bool stored = ctx_.handover.Run(
        [&] {
          std::copy_n(image.begin(), n, state_.ProgramBuffer.begin());
          state_.IcReadDone = 1;
          ::CalChecksum(state_);
        },
        ctx_.stop);
    if (!stored) return false;
    panel_.SetText("Label3", "Read Data OK");
    // The read is complete: the user may close now, cutting the EEPROM phase off.
    panel_.SetEnabled("Button1", true);
    return true;
  }

  bool ReadEeprom() {
    if (state_.MemoryKind != 2) return true;
    if (Stopped()) return false;
    ctx_.outcome.Enter(OpStage::Eeprom);
    const int e = (state_.EepromTopHi << 8) + state_.EepromTopLo + 1;
    link_.GetHeader(kAreaEeprom, kModeRead, ctx_.inputs);
    panel_.SetVisible("EEInfo", true);
    const std::int32_t status = link_.Read8BitData(e);
    if (status != kLinkFinished) return Fail("EEInfo", "EEInfo", status, 7);
    // The buffer holds the largest EEPROM of the catalogue; a part claiming
    // more is read whole and kept as far as it fits.
    std::vector<std::uint8_t> got(state_.ReadBuffer.begin(),
                                  state_.ReadBuffer.begin() + std::min(e, kEepromBufferBytes));
    if (!ctx_.handover.Run([&] { std::copy(got.begin(), got.end(), state_.EepromBuffer.begin()); }, ctx_.stop))
      return false;
    panel_.SetText("EEInfo", "Read EEPROM OK!");
    return true;
  }

  OperationContext& ctx_;
  MainState& state_;
  OperationPanel& panel_;
  WriterLink& link_;
};

}  // namespace

Outcome ReadIcWorker(OperationContext& ctx) {
  if (Reader(ctx).Run()) ctx.outcome.Done();
  ctx.panel.SetEnabled("Button1", true);
  return ctx.outcome;
}
