// One suite for every SerialDevice: what TComm relies on must hold on a real
// tty and on the in-process pair alike.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "link/Comm.h"
#include "link/LineFixtures.h"

namespace {

template <typename LineT>
class SerialDeviceContract : public ::testing::Test {
 protected:
  void SetUp() override {
    device = line.MakeDevice();
    ASSERT_EQ(device->Open(line.Name()), 0);
  }

  // Waits (bounded) until the receive queue holds n bytes.
  std::int32_t InQueueReaches(std::int32_t n) {
    SerialStatus s;
    for (int i = 0; i < kPatienceMs / 10; ++i) {
      EXPECT_EQ(device->GetStatus(s), 0);
      if (s.inQueue >= n) break;
      device->WaitReadable(10);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return s.inQueue;
  }

  LineT line;
  std::unique_ptr<SerialDevice> device;
};

using Lines = ::testing::Types<PtyLine, PairLine>;
TYPED_TEST_SUITE(SerialDeviceContract, Lines);

TYPED_TEST(SerialDeviceContract, ReadsReturnAtOnceWithWhatHasArrived) {
  std::uint8_t b[8] = {};
  IoResult r = this->device->Read(b, 1);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.count, 0);

  this->line.FarSend({0x00, 0xB5, 0xFF});
  EXPECT_EQ(this->InQueueReaches(3), 3);
  r = this->device->Read(b, 1);
  ASSERT_EQ(r.count, 1);
  EXPECT_EQ(b[0], 0x00);
  r = this->device->Read(b, 8);
  ASSERT_EQ(r.count, 2);
  EXPECT_EQ(b[0], 0xB5);
  EXPECT_EQ(b[1], 0xFF);
  EXPECT_EQ(this->device->Read(b, 1).count, 0);
}

TYPED_TEST(SerialDeviceContract, WritesReachTheFarEndUnchanged) {
  const Bytes sent = {0xA0, 0x00, 0x0A, 0x0D, 0x11, 0x13, 0xFF};
  const IoResult r = this->device->Write(sent.data(), static_cast<std::int32_t>(sent.size()), 1000);
  EXPECT_EQ(r.error, 0);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.count, static_cast<std::int32_t>(sent.size()));
  EXPECT_EQ(this->line.FarReceive(sent.size()), sent);
}

TYPED_TEST(SerialDeviceContract, PurgeDiscardsTheReceiveQueue) {
  this->line.FarSend({1, 2, 3, 4});
  EXPECT_EQ(this->InQueueReaches(4), 4);
  EXPECT_EQ(this->device->Purge(true, true), 0);
  SerialStatus s;
  ASSERT_EQ(this->device->GetStatus(s), 0);
  EXPECT_EQ(s.inQueue, 0);
  std::uint8_t b = 0;
  EXPECT_EQ(this->device->Read(&b, 1).count, 0);
}

TYPED_TEST(SerialDeviceContract, OpenIsExclusiveUntilClosed) {
  auto second = this->line.MakeDevice();
  EXPECT_EQ(second->Open(this->line.Name()), EBUSY);
  EXPECT_FALSE(second->IsOpen());
  this->device->Close();
  EXPECT_FALSE(this->device->IsOpen());
  this->device->Close();  // closing twice is harmless
  EXPECT_EQ(second->Open(this->line.Name()), 0);
  second->Close();
}

TYPED_TEST(SerialDeviceContract, CtsAndDsrReadAsOnAndWaitsAnswerAtOnce) {
  std::uint32_t lines = 0;
  ASSERT_EQ(this->device->GetModemLines(lines), 0);
  EXPECT_TRUE(lines & ModemLine::Cts);
  EXPECT_TRUE(lines & ModemLine::Dsr);
  EXPECT_TRUE(this->device->WaitModemLine(ModemLine::Cts, kPatienceMs));
  EXPECT_FALSE(this->device->WaitReadable(0));
}

TYPED_TEST(SerialDeviceContract, WaitsWakeWhenBytesArriveAndWhenTheDeviceCloses) {
  std::thread far([this] { this->line.FarSend({0x42}); });
  EXPECT_TRUE(this->device->WaitReadable(kPatienceMs));
  far.join();

  std::uint32_t events = 0;
  this->device->Purge(true, true);
  std::thread far2([this] { this->line.FarSend({0x43}); });
  ASSERT_EQ(this->device->WaitEvents(LineEvent::RxChar, kPatienceMs, events), 0);
  EXPECT_EQ(events, LineEvent::RxChar);
  far2.join();
  this->device->Purge(true, true);

  // A close from another thread ends a long wait instead of leaving it hanging.
  std::atomic<bool> result{true};
  std::thread waiter([&] { result = this->device->WaitReadable(60000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  this->device->Close();
  waiter.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(this->device->Read(&events, 1).error, EBADF);
}

TYPED_TEST(SerialDeviceContract, ACancelThatComesFirstIsNotLost) {
  this->device->CancelWait();
  std::uint32_t events = 0xFFFF;
  EXPECT_EQ(this->device->WaitEvents(LineEvent::All, -1, events), 0);
  EXPECT_EQ(events, 0u);

  std::thread canceller([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    this->device->CancelWait();
  });
  EXPECT_EQ(this->device->WaitEvents(LineEvent::Cts | LineEvent::Break, -1, events), 0);
  canceller.join();
}

TYPED_TEST(SerialDeviceContract, SettingsReadBackAsApplied) {
  SerialSettings s;
  ASSERT_EQ(this->device->GetSettings(s), 0);
  s.baudRate = 115200;
  s.byteSize = 7;
  s.parity = 2;
  s.stopBits = 2;
  s.outxCtsFlow = true;
  s.rtsControl = RtsControl::Handshake;
  s.xonLimit = s.xoffLimit = 2048;
  ASSERT_EQ(this->device->ApplySettings(s), 0);
  SerialSettings back;
  ASSERT_EQ(this->device->GetSettings(back), 0);
  EXPECT_EQ(back, s);
  s.parity = 9;
  EXPECT_EQ(this->device->ApplySettings(s), EINVAL);
}

TYPED_TEST(SerialDeviceContract, CommOpenOfAMissingDeviceStaysClosedAndRaisesNothing) {
  this->device->Close();
  TComm comm(this->line.MakeDevice());
  this->line.PrepareMissing();
  comm.SetDeviceName(this->line.MissingName());
  EXPECT_NO_THROW(comm.Open());
  EXPECT_FALSE(comm.Enabled());
  EXPECT_NE(comm.LastOpenError(), 0);
  EXPECT_EQ(comm.InQueCount(), -1);
  EXPECT_NO_THROW(comm.Close());
}

}  // namespace
