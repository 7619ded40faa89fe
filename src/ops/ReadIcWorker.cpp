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
      {"Read OPTION OK!", "Read ID and Checksum OK!", "Read Data OK", "Read EEPROM OK!"},
  };
  return layout;
}

namespace {

// Data bytes kept past the image: the Writer may send a few more than asked.
constexpr int kImageSlack = 11;

std::string Timeout(int stage) { return "Connect Timeout!! (" + std::to_string(stage) + ")"; }

class Reader {
 public:
  explicit Reader(OperationContext& ctx) : ctx_(ctx), s_(ctx.state), p_(ctx.panel), link_(ctx.link) {}

  void Run() {
    if (!Identify()) return;
    if (!ReadOptionArea()) return;
    if (!ReadArea5()) return;
    if (!ReadId()) return;
    if (!ReadProgram()) return;
    ReadEeprom();
  }

 private:
  bool Stopped() const { return ctx_.stop.stop_requested(); }

  // A closing window gets no more texts: what the link says after the stop
  // is not the Writer's answer.
  void Red(std::string_view line, std::string_view text) {
    if (!Stopped()) p_.Red(line, text);
  }

  // Red text of a failed 7-bit or 8-bit read: socket, adapter and time-out in
  // `line`, anything else "Writer Error!!" in `otherLine`.
  void Fail(std::string_view line, std::string_view otherLine, std::int32_t status, int stage) {
    switch (status) {
      case kLinkSocketError:
      case kLinkAdapterError: Red(line, LinkStatusMessage(status)); break;
      case kLinkTimeout: Red(line, Timeout(stage)); break;
      default: Red(otherLine, "Writer Error!!"); break;
    }
  }

  bool Identify() {
    if (s_.DeviceIndex == -1) {
      p_.Red("Label1", "Unknow IC Type!!");
      return false;
    }
    const std::int32_t probe = link_.CheckWriter();
    if (probe == kLinkWriterMismatch) {
      Red("Label1", LinkStatusMessage(probe));
      return false;
    }
    if (probe == kLinkTimeout) {
      Red("Label1", Timeout(1));
      return false;
    }
    return !Stopped();
  }

  bool ReadOptionArea() {
    const std::int32_t status = ReadExactly(ctx_, kAreaOption, 6);
    if (status != kLinkFinished) {
      Fail("Label1", "Label2", status, 2);
      return false;
    }
    std::array<std::uint8_t, 6> got;
    std::copy_n(s_.ReadBuffer.begin(), got.size(), got.begin());
    const bool stored = ctx_.handover.Run(
        [&] {
          s_.OptionLow = got[0];
          s_.OptionHigh = got[1];
          std::copy_n(got.begin() + 2, 4, s_.BodyOptionBytes.begin());
        },
        ctx_.stop);
    if (!stored) return false;
    p_.SetText("Label1", "Read OPTION OK!");
    return true;
  }

  bool ReadArea5() {
    const std::int32_t status = ReadExactly(ctx_, kAreaOption2, 6);
    if (status != kLinkFinished) {
      Fail("Label1", "Label2", status, 3);
      return false;
    }
    // The first word of this area is not kept.
    std::array<std::uint8_t, 4> got;
    std::copy_n(s_.ReadBuffer.begin() + 2, got.size(), got.begin());
    return ctx_.handover.Run([&] { std::copy(got.begin(), got.end(), s_.BodyOptionBytes.begin() + 4); },
                             ctx_.stop);
  }

  bool ReadId() {
    const std::int32_t status = ReadExactly(ctx_, kAreaId, kIdBytes);
    if (status != kLinkFinished) {
      Fail("Label2", "Label2", status, 4);
      return false;
    }
    std::array<std::uint8_t, kIdBytes> got;
    std::copy_n(s_.ReadBuffer.begin(), got.size(), got.begin());
    if (!ctx_.handover.Run([&] { s_.IdBuffer = got; }, ctx_.stop)) return false;
    p_.SetText("Label2", "Read ID and Checksum OK!");
    return true;
  }

  bool ReadProgram() {
    link_.GetHeader(kAreaProgram, kModeRead, ctx_.inputs);
    const int n = std::clamp(s_.ProgramBytes, 2, kProgramBufferBytes);
    p_.SetGauge(0);
    std::vector<std::uint8_t> image(static_cast<std::size_t>(n) + kImageSlack, 0);
    switch (link_.ReadImage(image, n, [this](int percent) { p_.SetGauge(percent); })) {
      case ImageReadEnd::Complete: return Complete(image, n);
      case ImageReadEnd::HeaderTimeout: Red("Label3", Timeout(5)); return false;
      case ImageReadEnd::DataTimeout: Red("Label3", Timeout(6)); return false;
      case ImageReadEnd::ShortImage: Red("Label3", "Read error!!"); return false;
      case ImageReadEnd::SocketError: Red("Label3", LinkStatusMessage(kLinkSocketError)); return false;
      case ImageReadEnd::AdapterError: Red("Label3", LinkStatusMessage(kLinkAdapterError)); return false;
      case ImageReadEnd::Stopped: return false;
    }
    return false;
  }

  bool Complete(const std::vector<std::uint8_t>& image, int n) {
    p_.SetGauge(100);
    const bool stored = ctx_.handover.Run(
        [&] {
          std::copy_n(image.begin(), n, s_.ProgramBuffer.begin());
          s_.IcReadDone = 1;
          ::CalChecksum(s_);
        },
        ctx_.stop);
    if (!stored) return false;
    p_.SetText("Label3", "Read Data OK");
    // The read is complete: the user may close now, cutting the EEPROM phase off.
    p_.SetEnabled("Button1", true);
    return true;
  }

  void ReadEeprom() {
    if (s_.MemoryKind != 2 || Stopped()) return;
    const int e = (s_.EepromTopHi << 8) + s_.EepromTopLo + 1;
    link_.GetHeader(kAreaEeprom, kModeRead, ctx_.inputs);
    p_.SetVisible("EEInfo", true);
    const std::int32_t status = link_.Read8BitData(e);
    if (status != kLinkFinished) {
      Fail("EEInfo", "EEInfo", status, 7);
      return;
    }
    // The buffer holds the largest EEPROM of the catalogue; a part claiming
    // more is read whole and kept as far as it fits.
    std::vector<std::uint8_t> got(s_.ReadBuffer.begin(), s_.ReadBuffer.begin() + std::min(e, kEepromBufferBytes));
    if (!ctx_.handover.Run([&] { std::copy(got.begin(), got.end(), s_.EepromBuffer.begin()); }, ctx_.stop))
      return;
    p_.SetText("EEInfo", "Read EEPROM OK!");
  }

  OperationContext& ctx_;
  MainState& s_;
  OperationPanel& p_;
  WriterLink& link_;
};

}  // namespace

void ReadIcWorker(OperationContext& ctx) {
  Reader(ctx).Run();
  ctx.panel.SetEnabled("Button1", true);
}
