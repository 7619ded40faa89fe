#include "production/QtpFile.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/MainState.h"
#include "app/Prompts.h"
#include "files/HexText.h"
#include "files/ProgramFile.h"
#include "production/SerialNumber.h"

namespace {

constexpr int kRtiwLiteralHigh = 0x31;  // second byte of the RTIW word in the file

int Length(const MainState& s) { return std::clamp(s.SerialLength, 1, kMaxSerialBytes); }

// Reads exactly n characters and converts them as hex; false on a short read or a bad digit.
bool ReadHex(MainState& state, std::istream& in, int n, int& value) {
  std::array<char, 4> buf{};
  in.read(buf.data(), n);
  if (in.gcount() != n) return false;
  value = HexToInt(state, std::string_view(buf.data(), n));
  return state.HexValid != 0;
}

}  // namespace

std::string QtpRecordText(const MainState& state) {
  const int n = Length(state);
  const int address = state.SerialAddress & 0xFFFF;
  std::string text = ":" + HexDigits(2 * n, 2) + HexDigits(address, 4) + "00";
  unsigned sum = 2 * n + address;
  for (int i = 0; i < n; ++i) {
    const int b = state.SerialValue[state.SerialLsbFirst ? i : n - 1 - i] & 0xFF;
    text += HexDigits(b, 2) + HexDigits(kRtiwLiteralHigh, 2);
    sum += b + kRtiwLiteralHigh;
  }
  return text + HexDigits((0u - sum) & 0xFF, 2) + "\r\n";
}

void QTP_File(MainState& state, std::string& out) {
  out += QtpRecordText(state);
  SerialNoNext(state);
}

std::string QtpFileText(MainState& state, int parts) {
  std::string out;
  for (int i = 0; i < parts; ++i) QTP_File(state, out);
  return out + kQtpEndRecord;
}

const char* QtpReadMessage(QtpReadResult result) {
  switch (result) {
    case QtpReadResult::InformationError: return "File Information Error!";
    case QtpReadResult::DataError: return "File data error!";
    case QtpReadResult::ChecksumError: return "File Checksum Error!";
    default: return "";
  }
}

namespace {

QtpReadResult ReadRecord(MainState& state, std::istream& in) {
  char start = 0;
  if (!in.get(start) || start != ':') return QtpReadResult::InformationError;
  int count = 0, address = 0, type = 0;
  if (!ReadHex(state, in, 2, count)) return QtpReadResult::InformationError;
  const int length = count / 2;
  if (!ReadHex(state, in, 4, address) || !ReadHex(state, in, 2, type)) return QtpReadResult::DataError;
  unsigned sum = 2 * length + address + type;
  std::array<std::int32_t, kMaxSerialBytes> value = state.SerialValue;
  const bool end = type == 1;
  if (!end) {
    if (length == 0 || length > kMaxSerialBytes) return QtpReadResult::InformationError;
    for (int i = 0; i < length; ++i) {
      const int k = state.SerialLsbFirst ? i : length - 1 - i;
      int b = 0, high = 0;
      if (!ReadHex(state, in, 2, b)) return QtpReadResult::DataError;
      sum += b;
      value[k] = b;
      if (!ReadHex(state, in, 2, high) || high != kRtiwLiteralHigh) return QtpReadResult::DataError;
      sum += high;
    }
  }
  int checksum = 0;
  if (!ReadHex(state, in, 2, checksum)) return QtpReadResult::DataError;
  if (((checksum + sum) & 0xFF) != 0) return QtpReadResult::ChecksumError;
  // The whole record is good: only now does it become the number in use.
  state.SerialLength = end ? 0 : length;
  state.SerialAddress = end ? 0 : address;
  if (!end) state.SerialValue = value;
  state.QtpEnd = end ? 1 : 0;
  state.QtpMode = 1;
  char lineEnd[2];
  in.read(lineEnd, 2);
  in.clear(in.rdstate() & ~(std::ios::failbit | std::ios::eofbit));
  return QtpReadResult::Ok;
}

}  // namespace

QtpReadResult ReadSerialData(MainState& state, std::istream& in, Prompts& prompts) {
  const QtpReadResult result = ReadRecord(state, in);
  if (result != QtpReadResult::Ok) prompts.Message(QtpReadMessage(result));
  return result;
}

std::vector<std::string> QtpFileSerials(std::istream& in, bool lsbFirst) {
  std::vector<std::string> serials;
  auto scratch = std::make_unique<MainState>();
  scratch->SerialLsbFirst = lsbFirst ? 1 : 0;
  // Line by line, so that one broken record costs only itself.
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::istringstream record(line);
    if (ReadRecord(*scratch, record) != QtpReadResult::Ok) {
      serials.emplace_back();
      continue;
    }
    if (scratch->QtpEnd) break;
    serials.push_back(SerialNumberText(*scratch));
  }
  return serials;
}

void CloseQtpFile(MainState& state) { state.QtpIn.reset(); }

bool LoadQtpFile(MainState& state, const std::string& path, Prompts& prompts) {
  state.QtpMode = 0;
  state.QtpRecord = 0;
  CloseQtpFile(state);
  if (!IsReadableFile(path)) return false;
  auto in = std::make_shared<std::ifstream>(path, std::ios::binary);
  if (!*in) return false;
  state.QtpIn = in;
  ReadSerialData(state, *in, prompts);
  if (state.QtpMode && !SerialWordsAreRtiw(state, state.SerialAddress, state.SerialLength)) {
    prompts.Message("The program memory is not 'RTIW'");
    state.QtpMode = 0;
  }
  if (!state.QtpMode) {
    state.SerialMode = 0;
    CloseQtpFile(state);
    state.QtpRecord = 0;
    return false;
  }
  state.SerialMode = 1;
  state.Panel.Label19 = std::filesystem::path(path).filename().string();
  SerialNo2Memory(state);
  return true;
}
