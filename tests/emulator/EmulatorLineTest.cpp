#include <gtest/gtest.h>

#include "emulator/EmulatorLine.h"
#include "link/DevicePair.h"

namespace {

constexpr int kWaitMs = 20000;  // only bounds a broken run

std::uint8_t ReadOne(SerialDevice& pc) {
  std::uint8_t b = 0;
  if (!pc.WaitReadable(kWaitMs)) return 0;
  pc.Read(&b, 1);
  return b;
}

bool CtsOn(SerialDevice& pc) {
  std::uint32_t lines = 0;
  pc.GetModemLines(lines);
  return (lines & ModemLine::Cts) != 0;
}

TEST(EmulatorLineTest, ThePcEndTalksToTheEmulatorAndSeesItsCts) {
  DevicePair pair;
  WriterEmulator writer;
  auto pc = pair.MakePcEnd();
  auto line = AttachEmulator(pair, writer);
  ASSERT_EQ(pc->Open("Com1"), 0);

  const std::uint8_t probe = emu::kProbe;
  ASSERT_EQ(pc->Write(&probe, 1, kWaitMs).count, 1);
  EXPECT_EQ(ReadOne(*pc), emu::kModelUniversal);
  EXPECT_TRUE(CtsOn(*pc));

  EmulatorFaults f;
  f.ctsNeverRaised = true;
  writer.SetFaults(f);
  EXPECT_FALSE(CtsOn(*pc));
  writer.SetFaults({});
  EXPECT_TRUE(CtsOn(*pc));
  pc->Close();
}

TEST(EmulatorLineTest, PacedRepliesArriveThroughThePump) {
  DevicePair pair;
  WriterEmulator writer;
  LineModel paced;
  paced.baud = 115200;
  paced.wordTime = std::chrono::microseconds(200);
  writer.SetLineModel(paced);
  auto pc = pair.MakePcEnd();
  auto line = AttachEmulator(pair, writer);
  ASSERT_EQ(pc->Open("Com1"), 0);

  // A whole OPTION-area read: six data bytes and the end mark, in order.
  const std::uint8_t header[] = {emu::kHeader, 0, 0, 2, 0, 1, 0x30, 0x30, 0xC1, emu::kOpRead};
  ASSERT_EQ(pc->Write(header, sizeof header, kWaitMs).count, 10);
  std::vector<std::uint8_t> got;
  while (got.size() < 7 && pc->WaitReadable(kWaitMs)) {
    std::uint8_t buf[16];
    const auto r = pc->Read(buf, sizeof buf);
    got.insert(got.end(), buf, buf + r.count);
  }
  EXPECT_EQ(got, std::vector<std::uint8_t>({0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, emu::kFinished}));
  pc->Close();
}

}  // namespace
