// What a job is made of before it reaches a store: serial settings and their
// checks, the next number, default names and the ledger's location.

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app/MainState.h"
#include "ops/Operation.h"
#include "production/SerialNumber.h"
#include "production/LedgerStore.h"

const char* PolicyName(LedgerPolicy policy) {
  return policy == LedgerPolicy::Strict ? "strict" : "reuse-failed";
}

std::optional<LedgerPolicy> ParsePolicy(const std::string& text) {
  if (text == "reuse-failed") return LedgerPolicy::ReuseFailed;
  if (text == "strict") return LedgerPolicy::Strict;
  return std::nullopt;
}

std::optional<std::string> NormalizeSerialText(const std::string& text, int bytes) {
  if (bytes < 1 || bytes > kMaxSerialBytes || text.empty() || text.size() > static_cast<std::size_t>(2 * bytes))
    return std::nullopt;
  std::string out(static_cast<std::size_t>(2 * bytes) - text.size(), '0');
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

std::string SerialSettingsError(const SerialNumberSettings& s) {
  if (s.bytes < 1 || s.bytes > kMaxSerialBytes)
    return "A serial number has 1 to 8 bytes, not " + std::to_string(s.bytes);
  if (s.increment < 1 || s.increment > 255)
    return "The serial number increment is 1 to 255, not " + std::to_string(s.increment);
  if (s.address < 0 || s.address + s.bytes > kProgramBufferWords)
    return "Serial number words from " + HexDigits(static_cast<std::uint32_t>(std::max(s.address, 0)), 4) +
           "h on lie outside program memory";
  const auto start = NormalizeSerialText(s.start, s.bytes);
  if (!start)
    return "Serial number start \"" + s.start + "\" is not a number of " + std::to_string(s.bytes) +
           (s.bytes == 1 ? " byte" : " bytes") + " in hex";
  // The shift register stays at all ones for ever: every part would get the same number.
  if (s.random && start->find_first_not_of('F') == std::string::npos)
    return "Pseudo-random serial numbers cannot start at " + *start + ": the sequence never leaves it";
  return {};
}

SerialNumberSettings SerialSettingsOf(const MainState& state) {
  SerialNumberSettings s;
  s.random = state.SerialRandom != 0;
  s.address = state.SerialAddress;
  s.bytes = state.SerialLength;
  s.increment = state.SerialStep;
  s.lsbFirst = state.SerialLsbFirst != 0;
  s.start = SerialNumberText(state);
  return s;
}

void SetSerialValue(MainState& state, const std::string& serial) {
  state.SerialValue.fill(0);
  const std::size_t digits = serial.size();
  for (std::size_t k = 0; k < state.SerialValue.size() && 2 * k + 2 <= digits; ++k)
    state.SerialValue[k] = std::stoi(serial.substr(digits - 2 * k - 2, 2), nullptr, 16);
}

std::string NextSerial(const SerialNumberSettings& settings, const std::string& current) {
  auto state = std::make_unique<MainState>();
  state->SerialLength = settings.bytes;
  state->SerialStep = settings.increment;
  state->SerialRandom = settings.random ? 1 : 0;
  SetSerialValue(*state, current);
  SerialNoNext(*state);
  return SerialNumberText(*state);
}

std::string DefaultJobName(const std::string& imagePath) {
  return std::filesystem::path(imagePath).stem().string();
}

std::string DefaultStationName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

std::string DefaultLedgerLocation() {
  namespace fs = std::filesystem;
  fs::path base;
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') {  // a relative value is to be ignored
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* pw = getpwuid(getuid());
      home = pw && pw->pw_dir ? pw->pw_dir : "/";
    }
    base = fs::path(home) / ".local" / "share";
  }
  const fs::path dir = base / "qel-writer";
  std::error_code ignored;  // opening the ledger says what is wrong with the folder
  fs::create_directories(dir, ignored);
  return (dir / "ledger.sqlite").string();
}

bool IsPgLocation(const std::string& location) {
  return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

namespace {

// Where the passwords of a PostgreSQL URI lie: [begin, end) ranges.
std::vector<std::pair<std::size_t, std::size_t>> PasswordRanges(const std::string& uri) {
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  if (!IsPgLocation(uri)) return ranges;
  const std::size_t authority = uri.find("://") + 3;
  const std::size_t query = std::min(uri.find_first_of("?#", authority), uri.size());
  // The last '@' before the query: a password may hold an unescaped '/' or '@'.
  const std::size_t at = uri.rfind('@', query == 0 ? 0 : query - 1);
  if (at != std::string::npos && at >= authority) {
    const std::size_t colon = uri.find(':', authority);
    if (colon < at) ranges.emplace_back(colon + 1, at);
  }
  for (std::size_t p = query; p < uri.size() && uri[p] != '#';) {
    const std::size_t end = std::min(uri.find_first_of("&#", p + 1), uri.size());
    if (uri.compare(p + 1, 9, "password=") == 0) ranges.emplace_back(p + 10, end);
    p = end;
  }
  return ranges;
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string RedactLocation(const std::string& location) {
  std::string out = location;
  const auto ranges = PasswordRanges(location);
  for (auto r = ranges.rbegin(); r != ranges.rend(); ++r) out.replace(r->first, r->second - r->first, "***");
  return out;
}

std::vector<std::string> LocationSecrets(const std::string& location) {
  std::vector<std::string> secrets;
  for (const auto& [begin, end] : PasswordRanges(location)) {
    if (begin == end) continue;
    secrets.push_back(location.substr(begin, end - begin));
    secrets.push_back(PercentDecoded(secrets.back()));
  }
  return secrets;
}

std::string ScrubSecrets(std::string text, const std::vector<std::string>& secrets) {
  for (const auto& secret : secrets)
    if (!secret.empty())
      for (std::size_t at = 0; (at = text.find(secret, at)) != std::string::npos; at += 3)
        text.replace(at, secret.size(), "***");
  return text;
}

namespace {

std::string Encoded(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += hex[u >> 4];
      out += hex[u & 15];
    }
  }
  return out;
}

}  // namespace

std::pair<std::string, std::string> SplitUriPassword(const std::string& uri) {
  if (!IsPgLocation(uri)) return {uri, {}};
  const std::size_t authority = uri.find("://") + 3;
  const std::size_t query = std::min(uri.find_first_of("?#", authority), uri.size());
  std::string head = uri.substr(0, query), tail = uri.substr(query), password;
  // The last '@': a password may hold an unescaped '@' or '/'.
  const std::size_t at = head.rfind('@');
  if (at != std::string::npos && at >= authority) {
    const std::size_t colon = head.find(':', authority);
    if (colon < at) {
      password = PercentDecoded(head.substr(colon + 1, at - colon - 1));
      head.erase(colon, at - colon);
    }
  }
  if (!tail.empty() && tail[0] == '?') {
    const std::size_t hash = tail.find('#');
    const std::string fragment = hash == std::string::npos ? std::string() : tail.substr(hash);
    std::istringstream params(tail.substr(1, hash == std::string::npos ? std::string::npos : hash - 1));
    std::string kept;
    for (std::string param; std::getline(params, param, '&');) {
      if (param.rfind("password=", 0) == 0) password = PercentDecoded(param.substr(9));
      else kept += (kept.empty() ? "?" : "&") + param;
    }
    tail = kept + fragment;
  }
  return {head + tail, password};
}

std::string JoinUriPassword(const std::string& uri, const std::string& password) {
  if (password.empty() || !IsPgLocation(uri)) return uri;
  const std::size_t authority = uri.find("://") + 3;
  const std::size_t end = std::min(uri.find_first_of("/?#", authority), uri.size());
  const std::size_t at = uri.rfind('@', end);
  if (at != std::string::npos && at >= authority && at < end)
    return uri.substr(0, at) + ":" + Encoded(password) + uri.substr(at);
  return uri + (uri.find('?') == std::string::npos ? "?" : "&") + "password=" + Encoded(password);
}

