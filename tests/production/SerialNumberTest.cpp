// Serial numbers: advancing, stamping into RTIW words, and the QTP file.

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "production/QtpFile.h"
#include "production/SerialNumber.h"
#include "support/ScriptedPrompts.h"

namespace {

class SerialNumberTest : public ::testing::Test {
 protected:
  void SetUp() override { state.DeviceIndex = GetICInfo(state, "K7E1/E3"); }
  void SetNumber(std::uint64_t value, int bytes) {
    state.SerialLength = bytes;
    for (int k = 0; k < 8; ++k) state.SerialValue[k] = k < bytes ? static_cast<int>((value >> (8 * k)) & 0xFF) : 0;
  }
  std::uint64_t Number() const {
    std::uint64_t v = 0;
    for (int k = state.SerialLength - 1; k >= 0; --k) v = (v << 8) | static_cast<std::uint64_t>(state.SerialValue[k]);
    return v;
  }
  // Words from `address` on become RTIW words with literal 0.
  void MakeRtiw(int address, int count) {
    for (int i = 0; i < count; ++i) state.SetProgramWord(address + i, 0x3100);
  }
  MainState state;
  ScriptedPrompts prompts;
};

TEST_F(SerialNumberTest, SequentialCarriesAndWraps) {
  SetNumber(0x12FF, 2);
  state.SerialStep = 1;
  SerialNoNext(state);
  EXPECT_EQ(Number(), 0x1300u);
  SerialNoNext(state);
  EXPECT_EQ(Number(), 0x1301u);
  SetNumber(0xFFFF, 2);
  SerialNoNext(state);
  EXPECT_EQ(Number(), 0u);
  SetNumber(0xFFFFFFFFFFFFFFF0ull, 8);
  state.SerialStep = 0x20;
  SerialNoNext(state);
  EXPECT_EQ(Number(), 0x10u);
}

TEST_F(SerialNumberTest, ShiftRegisterSequenceAndFullPeriods) {
  state.SerialRandom = 1;
  SetNumber(0x01, 1);
  std::vector<std::uint64_t> seen;
  for (int i = 0; i < 8; ++i) {
    SerialNoNext(state);
    seen.push_back(Number());
  }
  EXPECT_EQ(seen, (std::vector<std::uint64_t>{0x03, 0x06, 0x0D, 0x1B, 0x37, 0x6F, 0xDE, 0xBD}));
  for (int bytes : {1, 2}) {
    SCOPED_TRACE(bytes);
    SetNumber(0, bytes);
    std::set<std::uint64_t> states;
    const std::uint64_t period = (1ull << (8 * bytes)) - 1;
    for (std::uint64_t i = 0; i < period; ++i) {
      SerialNoNext(state);
      states.insert(Number());
    }
    EXPECT_EQ(Number(), 0u);  // back at the start
    EXPECT_EQ(states.size(), period);
    EXPECT_EQ(states.count(period), 0u);  // all ones is never reached
  }
  SetNumber(0xFFFF, 2);
  SerialNoNext(state);
  EXPECT_EQ(Number(), 0xFFFFu);
}

TEST_F(SerialNumberTest, StampingOrderAndBitSeven) {
  MakeRtiw(0x10, 2);
  state.SerialMode = 1;
  state.SerialAddress = 0x10;
  SetNumber(0x1280, 2);
  SerialNo2Memory(state);
  EXPECT_EQ(state.ProgramBuffer[0x20], 0x12);
  EXPECT_EQ(state.ProgramBuffer[0x21], 0x62);
  EXPECT_EQ(state.ProgramBuffer[0x22], 0x00);
  EXPECT_EQ(state.ProgramBuffer[0x23], 0x63);
  EXPECT_EQ(state.Panel.Label15, "1280");
  state.SerialLsbFirst = 1;
  SerialNo2Memory(state);
  EXPECT_EQ(state.ProgramBuffer[0x20], 0x00);
  EXPECT_EQ(state.ProgramBuffer[0x21], 0x63);
  EXPECT_EQ(state.ProgramBuffer[0x22], 0x12);
  EXPECT_EQ(state.ProgramBuffer[0x23], 0x62);
}

TEST_F(SerialNumberTest, NeverStampsOverCodeOrOutsideTheBuffer) {
  state.SerialMode = 1;
  state.SetProgramWord(0x20, 0x1234);  // not an RTIW word
  state.SerialAddress = 0x20;
  SetNumber(0xAB, 1);
  SerialNo2Memory(state);
  EXPECT_EQ(state.ProgramWord(0x20), 0x1234);
  state.SerialAddress = 0xFFFF;
  SetNumber(0x0102030405060708ull, 8);
  SerialNo2Memory(state);  // nothing to check but that nothing outside is touched (ASan)
  EXPECT_EQ(state.Panel.Label15, "0102030405060708");
  EXPECT_FALSE(SerialWordsAreRtiw(state, 0x3FE, 4));  // runs past the 1024-word device
  MakeRtiw(0x3FE, 2);
  EXPECT_TRUE(SerialWordsAreRtiw(state, 0x3FE, 2));
  state.SetProgramWord(0x3FF, 0x3200);
  EXPECT_FALSE(SerialWordsAreRtiw(state, 0x3FE, 2));
}

TEST_F(SerialNumberTest, QtpRecordsByteForByte) {
  state.SerialAddress = 0x10;
  SetNumber(0x1234, 2);
  EXPECT_EQ(QtpRecordText(state), ":040010001231343144\r\n");
  state.SerialLsbFirst = 1;
  EXPECT_EQ(QtpRecordText(state), ":040010003431123144\r\n");
  state.SerialLsbFirst = 0;
  state.SerialAddress = 0x123;
  SetNumber(0, 1);
  EXPECT_EQ(QtpRecordText(state), ":020123000031AA\r\n");
}

TEST_F(SerialNumberTest, QtpRoundTripOfEightByteNumbers) {
  for (int lsb : {0, 1}) {
    SCOPED_TRACE(lsb);
    state.SerialLsbFirst = lsb;
    state.SerialAddress = 0x0200;
    state.SerialStep = 3;
    SetNumber(0x0123456789ABCDEFull, 8);
    MainState writer = state;
    const std::string text = QtpFileText(writer, 5);
    EXPECT_EQ(text.substr(0, 3), ":10");
    EXPECT_EQ(text.substr(text.size() - 11), kQtpEndRecord);
    std::istringstream in(text);
    for (int i = 0; i < 5; ++i) {
      SetNumber(0, 1);
      ASSERT_EQ(ReadSerialData(state, in, prompts), QtpReadResult::Ok);
      EXPECT_EQ(state.SerialLength, 8);
      EXPECT_EQ(state.SerialAddress, 0x200);
      EXPECT_EQ(Number(), 0x0123456789ABCDEFull + 3u * i);
      EXPECT_EQ(state.QtpEnd, 0);
    }
    ASSERT_EQ(ReadSerialData(state, in, prompts), QtpReadResult::Ok);
    EXPECT_EQ(state.QtpEnd, 1);
    EXPECT_EQ(state.SerialLength, 0);
    EXPECT_TRUE(prompts.messages.empty());
  }
}

TEST_F(SerialNumberTest, DamagedRecordsAreRefusedAndChangeNothing) {
  struct Case {
    const char* text;
    QtpReadResult result;
  };
  const std::vector<Case> cases = {
      {"", QtpReadResult::InformationError},
      {"X040010001231343144", QtpReadResult::InformationError},
      {":G40010001231343144", QtpReadResult::InformationError},
      {":000010000031AA", QtpReadResult::InformationError},            // no bytes
      {":640010001231343144", QtpReadResult::InformationError},        // 50 bytes
      {":0400Z0001231343144", QtpReadResult::DataError},
      {":04001000123G343144", QtpReadResult::DataError},
      {":040010001230343144", QtpReadResult::DataError},               // not an RTIW literal
      {":0400100012313431", QtpReadResult::DataError},                 // truncated before the checksum
      {":04001000123134", QtpReadResult::DataError},                   // truncated in the data
      {":040010001231343145", QtpReadResult::ChecksumError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    state.QtpMode = 0;
    state.SerialAddress = 7;
    SetNumber(0x55, 1);
    prompts.messages.clear();
    std::istringstream in(c.text);
    EXPECT_EQ(ReadSerialData(state, in, prompts), c.result);
    EXPECT_EQ(prompts.LastText(), QtpReadMessage(c.result));
    EXPECT_EQ(state.QtpMode, 0);
    EXPECT_EQ(state.SerialAddress, 7);
    EXPECT_EQ(Number(), 0x55u);
  }
  std::istringstream odd(":0300100012313431AA\r\n");  // count 3 is one byte
  EXPECT_EQ(ReadSerialData(state, odd, prompts), QtpReadResult::ChecksumError);
}

}  // namespace
