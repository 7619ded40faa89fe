#include "files/ConfigFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "app/DeviceCatalogue.h"
#include "app/Prompts.h"
#include "files/SafeFile.h"

namespace {

// Field numbers as they appear in the file, counted from 1.
enum Field {
  kMagic = 1, kImageName, kPort, kDevice, kOption1, kOption6 = 10, kDataSum, kPassCount,
  kSerialShown, kSerialMode, kSerialAddress, kSerialLength, kSerialValue, kSerialStep,
  kSerialRandom, kSerialLsbFirst
};

// Panel order of the OPTION value labels Label5 ... Label10.
constexpr std::array<OptionField, 6> kLabelOrder{kOsc, kOst, kWdt, kPed, kSecurity, kPrd};

// A display text that is never read back: spaces would split it into two fields.
std::string DisplayField(const std::string& text) {
  std::string out = text.substr(0, kCfgFieldLimit);
  std::replace(out.begin(), out.end(), ' ', '_');
  return out;
}

bool Storable(const std::string& text, char terminator) {
  return text.size() <= kCfgFieldLimit && text.find(terminator) == std::string::npos;
}

std::string Hex2(int value) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", value & 0xFF);
  return buf;
}

// Reads one field: up to its terminator (consumed) or 500 bytes, after which
// one more byte is dropped. False when the file ends first.
bool ReadField(std::string_view bytes, std::size_t& pos, char terminator, std::string& out) {
  out.clear();
  while (pos < bytes.size()) {
    char c = bytes[pos++];
    if (c == terminator) return true;
    out.push_back(c);
    if (out.size() == kCfgFieldLimit) {
      if (pos >= bytes.size()) return false;
      ++pos;
      return true;
    }
  }
  return false;
}

// Decimal number with an optional sign, within 32 bits; nothing else accepted.
bool ParseDecimal(const std::string& text, std::int32_t& value) {
  std::size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (i == text.size() || text.size() - i > 10) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    v = v * 10 + (text[i] - '0');
  }
  if (text[0] == '-') v = -v;
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Everything a configuration file holds, checked before any of it is applied.
struct CfgContent {
  std::array<std::string, kCfgTextFields + 1> text;  // text[1] ... text[20]
  int portIndex = 0;
  std::int32_t serialMode = 0, serialAddress = 0, serialLength = 0, serialStep = 0;
  std::int32_t serialRandom = 0, serialLsbFirst = 0;
  std::array<std::int32_t, 8> serialValue{};
  std::uint8_t optionLow = 0, optionHigh = 0;
  std::array<std::uint8_t, kIdBytes> id{};
};

bool Parse(std::string_view bytes, CfgContent& c) {
  if (bytes.size() < 3) return false;
  c.text[kMagic] = std::string(bytes.substr(0, 3));
  if (c.text[kMagic] != "qel" && c.text[kMagic] != "zar") return false;
  std::size_t pos = 3;
  if (!ReadField(bytes, pos, kCfgNameEnd, c.text[kImageName])) return false;
  for (int f = kPort; f <= kCfgTextFields; ++f)
    if (!ReadField(bytes, pos, ' ', c.text[f])) return false;
  if (bytes.size() - pos < kCfgTailBytes) return false;
  c.optionLow = static_cast<std::uint8_t>(bytes[pos]);
  c.optionHigh = static_cast<std::uint8_t>(bytes[pos + 1]);
  for (int i = 0; i < kIdBytes; ++i) c.id[i] = static_cast<std::uint8_t>(bytes[pos + 2 + i]);

  // The port entry is the digit after "Com".
  const std::string& port = c.text[kPort];
  if (port.size() < 4 || port[3] < '1' || port[3] > '8') return false;
  c.portIndex = port[3] - '1';

  // The pass count (field 12) is taken as the caption it was written from,
  // whatever text it holds.
  if (!ParseDecimal(c.text[kSerialMode], c.serialMode) ||
      !ParseDecimal(c.text[kSerialAddress], c.serialAddress) ||
      !ParseDecimal(c.text[kSerialLength], c.serialLength) ||
      !ParseDecimal(c.text[kSerialStep], c.serialStep) ||
      !ParseDecimal(c.text[kSerialRandom], c.serialRandom) ||
      !ParseDecimal(c.text[kSerialLsbFirst], c.serialLsbFirst))
    return false;

  // Byte count - 1 comes first, byte 0 last; the count bounds the value bytes.
  const std::string& value = c.text[kSerialValue];
  if (c.serialLength < 0 || c.serialLength > static_cast<int>(c.serialValue.size())) return false;
  if (value.size() < static_cast<std::size_t>(c.serialLength) * 2) return false;
  for (int k = 0; k < c.serialLength; ++k) {
    std::size_t at = static_cast<std::size_t>(c.serialLength - k - 1) * 2;
    int hi = HexDigit(value[at]), lo = HexDigit(value[at + 1]);
    if (hi < 0 || lo < 0) return false;
    c.serialValue[k] = hi * 16 + lo;
  }
  if (c.serialMode != 0) {
    // Settings that would stamp one number into every part: a step of 0
    // (or one the window could never have saved), no bytes, or the
    // pseudo-random sequence's fixed point of all ones.
    if (c.serialStep < 1 || c.serialStep > 255 || c.serialLength < 1) return false;
    if (c.serialRandom != 0 &&
        std::all_of(c.serialValue.begin(), c.serialValue.begin() + c.serialLength, [](int b) { return b == 0xFF; }))
      return false;
  }
  return true;
}

bool ImageExists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(name, ec);
}

}  // namespace

std::string CfgFileBytes(const MainState& state, const CfgWindowTexts& texts, std::string* reason) {
  auto refuse = [&](const char* why) {
    if (reason) *reason = why;
    return std::string();
  };
  if (!Storable(state.CurrentFileName, kCfgNameEnd))
    return refuse(state.CurrentFileName.size() > kCfgFieldLimit ? "image file name too long"
                                                                 : "image file name holds a 0x0F byte");
  if (!Storable(texts.port, ' ')) return refuse("port name holds a space");
  if (!Storable(texts.device, ' ')) return refuse("device name holds a space");

  const int length = std::clamp<std::int32_t>(state.SerialLength, 0, 8);
  std::string value;
  for (int k = length - 1; k >= 0; --k) value += Hex2(state.SerialValue[k]);

  std::string out = "qel";
  out += state.CurrentFileName;
  out += kCfgNameEnd;
  auto field = [&out](const std::string& text) {
    out += text;
    out += ' ';
  };
  field(texts.port);
  field(texts.device);
  for (OptionField f : kLabelOrder) field(DisplayField(state.Panel.option[f].value));
  field(DisplayField(state.Panel.Label11));
  field("0");
  field(DisplayField(state.Panel.Label15));
  field(state.SerialMode ? "1" : "0");
  field(std::to_string(state.SerialAddress));
  field(std::to_string(length));
  field(value);
  field(std::to_string(state.SerialStep));
  field(std::to_string(state.SerialRandom));
  field(std::to_string(state.SerialLsbFirst));
  out += static_cast<char>(state.OptionLow);
  out += static_cast<char>(state.OptionHigh);
  for (std::uint8_t b : state.IdBuffer) out += static_cast<char>(b);
  return out;
}

bool SaveCfg(const MainState& state, const CfgWindowTexts& texts, Prompts& prompts) {
  std::string reason;
  std::string bytes = CfgFileBytes(state, texts, &reason);
  if (!bytes.empty() && WriteFileSafely(state.CfgPath, bytes, &reason)) return true;
  prompts.Message("'" + state.CfgPath + "' file can't be saved! (" + reason + ")");
  return false;
}

bool LoadCfg(MainState& state, std::string_view bytes, bool fullLoad, Prompts& prompts,
             const CfgLoadHooks& hooks) {
  const std::string dataError = "'" + state.CfgPath + "' file data error!";
  CfgContent c;
  if (!Parse(bytes.substr(0, kCfgMaxBytes), c)) {
    prompts.Message(dataError);
    return false;
  }

  state.CurrentFileName = c.text[kImageName];
  if (hooks.selectPort) hooks.selectPort(c.portIndex);

  if (fullLoad) {
    const std::string& device = c.text[kDevice];
    int index = GetICInfo(state, device);
    if (index < 0) {
      prompts.Message(dataError);
      return false;
    }
    state.DeviceIndex = index;
    if (hooks.showDevice) hooks.showDevice(device);
  }

  // Default.cfg of a session that had no image loaded names none. Read back at
  // start-up that is no error: its OPTION word, ID and settings still apply.
  const bool noImage = state.StartupLoad && state.CurrentFileName.empty();
  if (!noImage && !ImageExists(state.CurrentFileName)) {
    prompts.Message(state.CurrentFileName.empty() ? "No data file name"
                                                  : "'" + state.CurrentFileName + "' file do not find!");
    state.CurrentFileName.clear();
    return false;
  }
  if (hooks.calChecksum) hooks.calChecksum();

  state.Panel.Label13 = c.text[kPassCount];
  state.SerialMode = c.serialMode != 0 ? 1 : 0;
  state.SerialAddress = c.serialAddress;
  state.SerialLength = c.serialLength;
  for (int k = 0; k < c.serialLength; ++k) state.SerialValue[k] = c.serialValue[k];
  state.Panel.Label15 = c.text[kSerialValue];
  state.SerialStep = c.serialStep;
  state.SerialRandom = c.serialRandom;
  state.SerialLsbFirst = c.serialLsbFirst;

  state.OptionLow = c.optionLow;
  state.OptionHigh = c.optionHigh;
  state.IdBuffer = c.id;
  if (hooks.refreshData) hooks.refreshData();

  if (fullLoad && !noImage && hooks.loadImage && !hooks.loadImage(state.CurrentFileName)) return false;
  if (hooks.calChecksum) hooks.calChecksum();
  if (state.Shown) {
    state.RefreshPending = 1;
    if (hooks.recreateViews) hooks.recreateViews();
  }
  return true;
}
