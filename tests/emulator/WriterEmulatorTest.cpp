#include <gtest/gtest.h>

#include <vector>

#include "app/MainState.h"
#include "emulator/WriterEmulator.h"
#include "link/Clock.h"

using namespace emu;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Headers as the PC builds them for the first catalogue device (attributes 30 / C1).
enum Area { kProgram = 0, kOption = 1, kId = 2, kEeprom = 3, kArea5 = 5 };

Bytes HeaderFor(int area, std::uint8_t op, int top, std::uint8_t attr = 0x30,
                std::uint8_t attr2 = 0xC1) {
  return {kHeader, 0, 0, static_cast<std::uint8_t>(top & 0xFF), static_cast<std::uint8_t>(top >> 8),
          static_cast<std::uint8_t>(area),
          static_cast<std::uint8_t>(attr | (area == kEeprom ? 0x80 : 0)), 2, attr2, op};
}

Bytes DownloadRecord(std::uint8_t number, const std::string& name, std::uint8_t top = 3) {
  Bytes r(25, 0);
  r[0] = kDownload;
  r[1] = number;
  for (int i = 0; i < 16; ++i) r[2 + i] = i < static_cast<int>(name.size()) ? name[i] : ' ';
  r[18] = top;
  r[20] = 0x30;
  r[21] = 0xC1;
  r[22] = 0x3F;
  r[23] = 1;
  unsigned sum = 0;
  for (int i = 1; i <= 23; ++i) sum += r[i];
  r[24] = sum & 0xFF;
  return r;
}

class EmulatorTest : public ::testing::Test {
 protected:
  EmulatorTest() : emu_(clock_) {
    emu_.SetOutput([this](std::span<const std::uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); });
  }

  // Sends the bytes and returns what came back for them.
  Bytes Send(const Bytes& bytes) {
    out_.clear();
    emu_.Receive(bytes);
    return out_;
  }
  // A write phase the way the PC runs it: one byte, one reply; stops at the
  // first reply that is not "accepted".
  Bytes WriteStream(const Bytes& data) {
    Bytes replies;
    for (auto b : data) {
      const auto r = Send({b});
      replies.insert(replies.end(), r.begin(), r.end());
      if (r.size() != 1 || r[0] != kAccepted) break;
    }
    return replies;
  }
  static Bytes Words(std::initializer_list<std::uint16_t> words) {
    Bytes b;
    for (auto w : words) {
      b.push_back(w & 0x7F);
      b.push_back((w >> 7) & 0x7F);
    }
    return b;
  }
  void UseIc(IcDescription ic) { emu_.SetIc(ic); }

  FakeClock clock_;
  WriterEmulator emu_;
  Bytes out_;
};

TEST_F(EmulatorTest, ProbeAnswersWithTheModel) {
  EXPECT_EQ(Send({kProbe}), Bytes{kModelUniversal});  // the default Writer
  emu_.SetModel(WriterModel::Model1);
  EXPECT_EQ(Send({kProbe}), Bytes{kModel1});
  emu_.SetModel(WriterModel::Model2);
  EXPECT_EQ(Send({kProbe}), Bytes{kModel2});
  EXPECT_TRUE(emu_.Cts());
}

TEST_F(EmulatorTest, HeadersThatDoNotFitThePartAreRefused) {
  // Mode bits 7, 5, 4 of byte 8 are not part of the device's identity.
  EXPECT_EQ(Send(HeaderFor(kOption, kOpRead, 2, 0x30, 0x71)).back(), kFinished);
  EXPECT_EQ(Send(HeaderFor(kProgram, kOpRead, 0x3FF, 0x31)), Bytes{kSocketError});
  EXPECT_EQ(Send(HeaderFor(kProgram, kOpRead, 0x3FF, 0x30, 0x03)), Bytes{kSocketError});
  EXPECT_EQ(Send(HeaderFor(kProgram, kOpRead, 0x400)), Bytes{kSocketError});  // 1025 words
  EXPECT_EQ(Send(HeaderFor(kEeprom, kOpRead, 0x3F)), Bytes{kSocketError});   // no EEPROM
  EXPECT_EQ(Send(HeaderFor(kProgram, kOpErase, 0x3FF)), Bytes{kSocketError}); // one-time part
  EXPECT_EQ(Send(HeaderFor(kId, kOpProgram, 15)), Bytes{kSocketError});       // Writer's bytes
  EXPECT_EQ(Send(HeaderFor(kProgram, 0x99, 0x3FF)), Bytes{kWriteFailed});     // no such op
  EXPECT_EQ(Send(HeaderFor(4, kOpRead, 0)), Bytes{kWriteFailed});              // no such area
  EXPECT_EQ(emu_.HeadersAccepted(), 1);
  // After all that the Writer is still in step.
  EXPECT_EQ(Send({kProbe}), Bytes{kModelUniversal});
}

TEST_F(EmulatorTest, SocketAndAdapterFaultsAnswerEveryHeader) {
  const auto hdr = HeaderFor(kProgram, kOpRead, 0x3FF);
  EmulatorFaults f;
  f.emptySocket = true;
  emu_.SetFaults(f);
  EXPECT_EQ(Send(hdr), Bytes{kSocketError});
  EXPECT_EQ(Send({kProbe}), Bytes{kModelUniversal});  // the Writer itself still answers
  f = {};
  f.wrongIc = true;
  emu_.SetFaults(f);
  EXPECT_EQ(Send(hdr), Bytes{kSocketError});
  f = {};
  f.adapterError = true;
  emu_.SetFaults(f);
  EXPECT_EQ(Send(hdr), Bytes{kAdapterError});
  emu_.SetFaults({});
  EXPECT_EQ(Send(hdr).size(), 2049u);
}

TEST_F(EmulatorTest, BlankPartReadsAllOnesWithTheWritersOwnIdBytes) {
  auto r = Send(HeaderFor(kProgram, kOpRead, 0x3FF));
  ASSERT_EQ(r.size(), 2049u);
  EXPECT_EQ(r.back(), kFinished);
  for (std::size_t i = 0; i < 2048; ++i) ASSERT_EQ(r[i], 0x7F) << i;

  r = Send(HeaderFor(kOption, kOpRead, 2));
  EXPECT_EQ(r, Bytes({0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, kFinished}));
  r = Send(HeaderFor(kArea5, kOpRead, 2));
  EXPECT_EQ(r.size(), 7u);

  r = Send(HeaderFor(kId, kOpRead, 15));
  ASSERT_EQ(r.size(), 33u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(r[i], 0x7F);
  EXPECT_EQ(std::string(r.begin() + 16, r.begin() + 32), "WRITER UNIVERSAL");
  for (int i = 0; i < 32; ++i) EXPECT_LT(r[i], 0x80);  // the stream stays 7-bit
}

TEST_F(EmulatorTest, ProgrammedAndProtectedPartsReadBackAsTheChipWould) {
  IcDescription ic;
  ic.program = {0x1234, 0x0000, 0x3FFF};
  ic.option = 0x2ABC;
  ic.id = {1, 2, 3, 0xFF};
  ic.option2 = 0x0101;
  ic.bodyOptions = {0, 1, 2, 3, 4, 5, 6, 7};
  UseIc(ic);
  EXPECT_EQ(Send(HeaderFor(kOption, kOpRead, 2)), Bytes({0x3C, 0x55, 0, 1, 2, 3, kFinished}));
  EXPECT_EQ(Send(HeaderFor(kArea5, kOpRead, 2)), Bytes({0x01, 0x02, 4, 5, 6, 7, kFinished}));
  auto r = Send(HeaderFor(kProgram, kOpRead, 0x3FF));
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 6), Words({0x1234, 0x0000, 0x3FFF}));
  EXPECT_EQ(Send(HeaderFor(kOption, kOpRead, 0)), Bytes({0x3C, 0x55, kFinished}));
  r = Send(HeaderFor(kId, kOpRead, 15));
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 5), Bytes({1, 2, 3, 0x7F, 0x7F}));

  ic.isProtected = true;  // clears OPTION bit 13
  UseIc(ic);
  EXPECT_TRUE(emu_.IsProtected());
  EXPECT_EQ(emu_.OptionWord(), 0x0ABC);
  r = Send(HeaderFor(kProgram, kOpRead, 0x3FF));
  const auto hidden = [](std::uint16_t w) { return static_cast<std::uint16_t>((w & 0x3060) | 0x0F9F); };
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 6), Words({hidden(0x1234), hidden(0x0000), hidden(0x3FFF)}));
  // The cells themselves are untouched.
  EXPECT_EQ(emu_.ProgramWord(0), 0x1234);
}

TEST_F(EmulatorTest, OneTimePartOnlyLosesBitsAndRefusesTheByteNeedingAOne) {
  IcDescription ic;
  ic.words = 4;
  UseIc(ic);
  ASSERT_EQ(Send(HeaderFor(kProgram, kOpProgram, 3)), Bytes{kAccepted});
  // Four words, eight bytes; the extra bytes the PC may send are never asked for.
  auto replies = WriteStream(Words({0x1234, 0x0FFF, 0x3FFF, 0x0000}));
  EXPECT_EQ(replies, Bytes({kAccepted, kAccepted, kAccepted, kAccepted, kAccepted, kAccepted,
                            kAccepted, kAllWritten}));
  EXPECT_EQ(emu_.ProgramWord(0), 0x1234);
  EXPECT_EQ(emu_.ProgramWord(3), 0x0000);

  // Clearing more bits works; 0x1234 -> 0x1230 only clears bit 2.
  ASSERT_EQ(Send(HeaderFor(kProgram, kOpProgramPulse, 3)), Bytes{kAccepted});
  replies = WriteStream(Words({0x1230, 0x0FFF, 0x0001, 0x0000}));
  EXPECT_EQ(replies.back(), kAllWritten);

  // Word 1's high half needs bit 12 (0x0FFF -> 0x1FFF): 0xB1 at byte index 3.
  ASSERT_EQ(Send(HeaderFor(kProgram, kOpProgram, 3)), Bytes{kAccepted});
  replies = WriteStream(Words({0x1230, 0x1FFF, 0x0001, 0x0000}));
  EXPECT_EQ(replies, Bytes({kAccepted, kAccepted, kAccepted, kWriteFailed}));
  EXPECT_EQ(emu_.ProgramWord(1), 0x0FFF);
  // The write ended: the next byte is a command again.
  EXPECT_EQ(Send({kProbe}), Bytes{kModelUniversal});

  // OPTION and ID obey the same rule.
  ASSERT_EQ(Send(HeaderFor(kOption, kOpProgram, 0)), Bytes{kAccepted});
  EXPECT_EQ(WriteStream(Words({0x2FFF})), Bytes({kAccepted, kAllWritten}));
  ASSERT_EQ(Send(HeaderFor(kOption, kOpProgram, 0)), Bytes{kAccepted});
  EXPECT_EQ(WriteStream(Words({0x3FFF})), Bytes({kAccepted, kWriteFailed}));
  EXPECT_EQ(emu_.OptionWord(), 0x2FFF);
  EXPECT_FALSE(emu_.IsProtected());
  ASSERT_EQ(Send(HeaderFor(kId, kOpProgram, 7)), Bytes{kAccepted});
  Bytes id(16, 0x30);
  const auto r = WriteStream(id);
  EXPECT_EQ(r.size(), 16u);
  EXPECT_EQ(r.back(), kAllWritten);
  EXPECT_EQ(emu_.IdArea()[15], 0x30);
}

TEST_F(EmulatorTest, FlashPartErasesToAllOnesAndCanBeRewritten) {
  IcDescription ic;
  ic.flash = true;
  ic.words = 16;
  ic.program = {0x0000, 0x1111};
  ic.isProtected = true;
  ic.id = {0, 0, 0};
  UseIc(ic);
  auto hdr = HeaderFor(kProgram, kOpErase, 15);
  EXPECT_EQ(Send(hdr), Bytes{kFinished});
  for (int n = 0; n < 16; ++n) ASSERT_EQ(emu_.ProgramWord(n), 0x3FFF);
  EXPECT_FALSE(emu_.IsProtected());
  EXPECT_EQ(emu_.IdArea()[0], 0x7F);

  ASSERT_EQ(Send(HeaderFor(kProgram, kOpProgramPulse, 15)), Bytes{kAccepted});
  Bytes image = Words({0x2AAA});
  image.resize(32, 0x7F);
  EXPECT_EQ(WriteStream(image).back(), kAllWritten);
  EXPECT_EQ(emu_.ProgramWord(0), 0x2AAA);
}

TEST_F(EmulatorTest, EepromTakesDataAddressPairsAndReadsAsACountedStream) {
  IcDescription ic;
  ic.flash = true;
  ic.eepromBytes = 4;
  UseIc(ic);
  ASSERT_EQ(Send(HeaderFor(kEeprom, kOpProgramPulse, 3)), Bytes{kAccepted});
  EXPECT_EQ(WriteStream({0xFF, 0, 0xB8, 1, 0x00, 2, 0x80, 3}).back(), kAllWritten);
  // Eight-bit data, end mark values included, and no end mark after it.
  EXPECT_EQ(Send(HeaderFor(kEeprom, kOpRead, 3)), Bytes({0xFF, 0xB8, 0x00, 0x80}));
  // Data can be overwritten freely; an address out of step is refused.
  ASSERT_EQ(Send(HeaderFor(kEeprom, kOpProgramPulse, 1)), Bytes{kAccepted});
  EXPECT_EQ(WriteStream({0x12, 0, 0x34, 7}), Bytes({kAccepted, kAccepted, kAccepted, kWriteFailed}));
  EXPECT_EQ(emu_.Eeprom(), Bytes({0x12, 0xB8, 0x00, 0x80}));
  EXPECT_EQ(Send(HeaderFor(kEeprom, kOpRead, 4)), Bytes{kSocketError});  // five bytes on a four-byte part
}

TEST_F(EmulatorTest, DownloadRecordsAreCheckedByTheirCheckByte) {
  Bytes opening(25, 0);
  opening[0] = kDownload;
  opening[1] = 0xFF;
  opening[24] = 0xFF;
  EXPECT_EQ(Send(opening), Bytes{kFinished});
  EXPECT_EQ(Send(DownloadRecord(1, "K7E1/E3")), Bytes{kFinished});
  auto bad = DownloadRecord(2, "K7E2/E4");
  bad[24] ^= 1;
  EXPECT_EQ(Send(bad), Bytes{kWriteFailed});
  const auto list = emu_.Downloaded();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "K7E1/E3");
  EXPECT_EQ(list[0].number, 1);
  EXPECT_EQ(list[0].attr3, 0x3F);

  for (int n = 2; n <= 16; ++n) EXPECT_EQ(Send(DownloadRecord(n, "X")), Bytes{kFinished});
  EXPECT_EQ(Send(DownloadRecord(17, "X")), Bytes{kWriteFailed});  // the Writer holds 16
  EXPECT_EQ(Send(opening), Bytes{kFinished});
  EXPECT_TRUE(emu_.Downloaded().empty());
}

TEST_F(EmulatorTest, LineFaults) {
  EmulatorFaults f;
  f.ctsNeverRaised = true;
  bool cts = true;
  emu_.SetCtsCallback([&](bool on) { cts = on; });
  emu_.SetFaults(f);
  EXPECT_FALSE(cts);
  EXPECT_FALSE(emu_.Cts());
  EXPECT_TRUE(Send({kProbe}).empty());
  emu_.SetFaults({});
  EXPECT_TRUE(cts);

  f = {};
  f.silenceAfter = 11;  // the header is answered, the next probe is not
  emu_.SetFaults(f);
  EXPECT_EQ(Send({kProbe}), Bytes{kModelUniversal});
  EXPECT_EQ(Send(HeaderFor(kOption, kOpRead, 0)).size(), 3u);
  EXPECT_TRUE(Send({kProbe}).empty());

  f = {};
  f.garbage = true;
  emu_.SetFaults(f);
  EXPECT_EQ(Send({kProbe}), Bytes{kGarbage});
}

TEST_F(EmulatorTest, DataFaults) {
  IcDescription ic;
  ic.words = 8;
  UseIc(ic);
  EmulatorFaults f;
  f.failAtByte = 5;
  emu_.SetFaults(f);
  ASSERT_EQ(Send(HeaderFor(kProgram, kOpProgram, 7)), Bytes{kAccepted});
  EXPECT_EQ(WriteStream(Bytes(16, 0x7F)), Bytes({kAccepted, kAccepted, kAccepted, kAccepted, kAccepted,
                                                  kWriteFailed}));

  f = {};
  f.earlyEndAfter = 3;
  emu_.SetFaults(f);
  EXPECT_EQ(Send(HeaderFor(kProgram, kOpRead, 7)), Bytes({0x7F, 0x7F, 0x7F, kFinished}));
  ASSERT_EQ(Send(HeaderFor(kProgram, kOpProgram, 7)), Bytes{kAccepted});
  EXPECT_EQ(WriteStream(Bytes(16, 0x7F)), Bytes({kAccepted, kAccepted, kAllWritten}));
}

// A PC that dies inside a command (killed mid-stream, a cable pulled) leaves
// the Writer in it; once the bytes have stopped for the give-up time the next
// byte starts afresh, and before that it still belongs to the command.
TEST_F(EmulatorTest, ACommandWhoseBytesStopIsGivenUp) {
  const auto giveUp = WriterEmulator::kGiveUpQuiet;
  emu_.SetGiveUpQuiet(giveUp);
  const Bytes writeStarted = HeaderFor(kProgram, kOpProgram, 0x3FF);
  const Bytes headerCut = {kHeader, 0, 0};
  const Bytes downloadCut = {kDownload, 1, 'K'};
  struct Case {
    const char* what;
    Bytes cutOff;  // the command as far as it came
    std::chrono::milliseconds pause;
    std::uint8_t next;
    Bytes expected;
  } cases[] = {
      {"write, in step", writeStarted, std::chrono::milliseconds(100), kProbe, {kAccepted}},
      {"write, after the give-up", writeStarted, giveUp, kProbe, {kModelUniversal}},
      {"write, data after the give-up is noise", writeStarted, std::chrono::seconds(5), 0x7F, {}},
      {"header, in step", headerCut, std::chrono::milliseconds(100), kProbe, {}},
      {"header, after the give-up", headerCut, giveUp, kProbe, {kModelUniversal}},
      {"download, after the give-up", downloadCut, giveUp + std::chrono::milliseconds(1), kProbe, {kModelUniversal}},
  };
  for (const Case& c : cases) {
    UseIc(IcDescription{});
    clock_.Advance(std::chrono::seconds(10));  // idle between cases
    emu_.Receive(c.cutOff);
    if (c.cutOff == writeStarted) {
      ASSERT_EQ(Send({0x7F}), Bytes{kAccepted}) << c.what;
    }
    clock_.Advance(c.pause);
    EXPECT_EQ(Send({c.next}), c.expected) << c.what;
    // Ready for the next command in every case once the line has been quiet.
    clock_.Advance(giveUp);
    EXPECT_EQ(Send({kProbe}), Bytes{kModelUniversal}) << c.what;
  }
}

// The ID editor keeps all eight bits of a character. Every such byte of a
// write is answered, in every 7-bit area, and the cell keeps its low seven.
TEST_F(EmulatorTest, TopBitBytesOfAWriteAreAnsweredAndKeepTheirLowSevenBits) {
  struct Case {
    int area;
    int top;
    std::size_t bytes;
  } cases[] = {{kId, 7, 16}, {kProgram, 7, 16}, {kOption, 0, 2}, {kArea5, 2, 6}};
  for (const Case& c : cases) {
    UseIc(IcDescription{});
    Bytes data;
    for (std::size_t i = 0; i < c.bytes; ++i) data.push_back(static_cast<std::uint8_t>(0x80 | (0xE9 - 17 * i)));
    data[0] = 0xA0;  // command byte values are data here too
    if (c.bytes > 1) data[1] = 0xA1;
    ASSERT_EQ(Send(HeaderFor(c.area, kOpProgram, c.top)), Bytes{kAccepted}) << c.area;
    Bytes expected(c.bytes - 1, kAccepted);
    expected.push_back(kAllWritten);
    EXPECT_EQ(WriteStream(data), expected) << c.area;
    Bytes stored;
    // Each accessor returns a copy: take one before pointing into it.
    const auto id = emu_.IdArea();
    const auto option = emu_.OptionArea();
    const auto area5 = emu_.Area5();
    if (c.area == kId) stored.assign(id.begin(), id.begin() + 16);
    if (c.area == kOption) stored.assign(option.begin(), option.begin() + 2);
    if (c.area == kArea5) stored.assign(area5.begin(), area5.end());
    if (c.area == kProgram)
      for (int n = 0; n < 8; ++n) {
        stored.push_back(WordLowHalf(emu_.ProgramWord(n)));
        stored.push_back(WordHighHalf(emu_.ProgramWord(n)));
      }
    for (std::size_t i = 0; i < c.bytes; ++i) EXPECT_EQ(stored[i], data[i] & 0x7F) << c.area << " byte " << i;
    EXPECT_EQ(Send({kProbe}), Bytes{kModelUniversal});  // the write is over
  }
  // A one-time cell refuses a top-bit byte that needs a bit back, as any other.
  IcDescription ic;
  ic.id = {0x7F, 0x00};
  UseIc(ic);
  ASSERT_EQ(Send(HeaderFor(kId, kOpProgram, 7)), Bytes{kAccepted});
  EXPECT_EQ(WriteStream({0xFF, 0x81}), Bytes({kAccepted, kWriteFailed}));
}

TEST_F(EmulatorTest, LatencyDelaysEveryReplyButNotTheStreamsPace) {
  LineModel line;
  line.baud = 10000;                             // one millisecond a byte
  line.latency = std::chrono::microseconds(1500);  // two, rounded up
  emu_.SetLineModel(line);
  // The probe takes a millisecond to arrive, its reply one to leave, then the latency.
  EXPECT_TRUE(Send({kProbe}).empty());
  EXPECT_EQ(emu_.NextEventIn(), std::chrono::milliseconds(4));
  clock_.Advance(std::chrono::milliseconds(3));
  emu_.Pump();
  EXPECT_TRUE(out_.empty());
  EXPECT_FALSE(emu_.Cts());  // busy until the reply has left
  clock_.Advance(std::chrono::milliseconds(1));
  emu_.Pump();
  EXPECT_EQ(out_, Bytes{kModelUniversal});
  EXPECT_TRUE(emu_.Cts());

  // A read stream is late by the latency once, then runs at the line's pace.
  out_.clear();
  emu_.Receive(HeaderFor(kOption, kOpRead, 2));  // ten bytes: in at 14 ms, first reply due 17
  EXPECT_EQ(emu_.NextEventIn(), std::chrono::milliseconds(13));
  clock_.Advance(std::chrono::milliseconds(15));
  emu_.Pump();
  EXPECT_EQ(out_.size(), 3u);
  clock_.Advance(std::chrono::milliseconds(4));
  emu_.Pump();
  EXPECT_EQ(out_.size(), 7u);
}

TEST_F(EmulatorTest, LineModelPacesRepliesAndHoldsCtsLowWhileBusy) {
  LineModel line;
  line.baud = 10000;  // one millisecond a byte
  line.wordTime = std::chrono::milliseconds(5);
  emu_.SetLineModel(line);
  std::vector<bool> ctsSeen;
  emu_.SetCtsCallback([&](bool on) { ctsSeen.push_back(on); });

  // Every byte takes its time both ways: the probe arrives, then the answer leaves.
  EXPECT_TRUE(Send({kProbe}).empty());
  EXPECT_FALSE(emu_.Cts());
  EXPECT_EQ(emu_.NextEventIn(), std::chrono::milliseconds(2));
  clock_.Advance(std::chrono::milliseconds(2));
  emu_.Pump();
  EXPECT_EQ(out_, Bytes{kModelUniversal});
  EXPECT_TRUE(emu_.Cts());
  EXPECT_EQ(ctsSeen, std::vector<bool>({false, true}));

  // The second byte of a word waits for the word to be burnt.
  emu_.Receive(HeaderFor(kProgram, kOpProgram, 0x3FF));  // ten bytes, ten milliseconds
  EXPECT_EQ(emu_.NextEventIn(), std::chrono::milliseconds(11));
  clock_.Advance(std::chrono::milliseconds(11));
  emu_.Pump();
  emu_.Receive(Bytes{0x7F});
  EXPECT_EQ(emu_.NextEventIn(), std::chrono::milliseconds(2));
  clock_.Advance(std::chrono::milliseconds(2));
  emu_.Pump();
  emu_.Receive(Bytes{0x7F});
  EXPECT_EQ(emu_.NextEventIn(), std::chrono::milliseconds(7));
}

TEST(IcDescriptionTest, CatalogueDevicesAndUnknownNames) {
  const auto ic = IcDescription::ForDevice("K7E2/E4");
  ASSERT_TRUE(ic);
  EXPECT_EQ(ic->words, 1024);
  EXPECT_EQ(ic->attr2, 0x03);
  EXPECT_FALSE(ic->flash);
  EXPECT_FALSE(IcDescription::ForDevice("k7e2/e4"));
}

}  // namespace
