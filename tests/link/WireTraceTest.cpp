// The wire trace: every byte each way, one line per run in one direction,
// stamped with the milliseconds since the port was opened.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "link/Comm.h"
#include "link/DevicePair.h"
#include "link/TracingSerialDevice.h"
#include "link/WriterLink.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Case {
  const char* name;
  std::function<void(WriterLink&)> exchange;
  // The Writer's answer to the PC's byte number i; it takes 2 ms to give it.
  std::function<Bytes(std::size_t i)> writer;
  std::string trace;
};

TEST(WireTrace, AShortExchangeGivesExactlyTheseLines) {
  const Case cases[] = {
      {"probe", [](WriterLink& l) { l.CheckWriter(); }, [](std::size_t) { return Bytes{0xB4}; },
       "5 > A0\n7 < B4\n"},
      {"OPTION read",
       [](WriterLink& l) {
         l.GetHeader(kAreaOption, kModeRead, {"K7E1/E3"});
         l.Read7BitData(2, true);
       },
       [](std::size_t i) { return i == 9 ? Bytes{0x1A, 0x4B, 0xB8} : Bytes{}; },
       "5 > A1 00 00 02 00 01 30 30 C1 A5\n25 < 1A 4B B8\n"},
      {"a write that fails at its second byte",
       [](WriterLink& l) { l.WriteData(4, true); },
       [](std::size_t i) { return Bytes{i == 1 ? std::uint8_t{0xB1} : std::uint8_t{0xB5}}; },
       "5 > 7F\n7 < B5\n7 > 3F\n9 < B1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    DevicePair pair;
    auto out = std::make_shared<std::ostringstream>();
    TComm comm(std::make_unique<TracingSerialDevice>(pair.MakePcEnd(), out, clock));
    MainState state;
    ASSERT_EQ(GetICInfo(state, "K7E1/E3"), 0);
    state.ReadBuffer[0] = 0x7F;
    state.ReadBuffer[1] = 0x3F;
    WriterLink link(state, comm, clock);
    std::size_t sent = 0;
    pair.SetReceiver([&](std::span<const std::uint8_t> bytes) {
      for (std::size_t n = 0; n < bytes.size(); ++n, ++sent) {
        clock.Advance(Clock::Duration{2});
        pair.SendToPc(c.writer(sent));
      }
    });
    comm.SetDeviceName("Com1");
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    clock.Advance(Clock::Duration{5});
    c.exchange(link);
    comm.Close();
    EXPECT_EQ(out->str(), c.trace);
  }
}

}  // namespace
