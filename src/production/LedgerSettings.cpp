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

namespace {

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


std::string Lower(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The length of a "postgresql://" or "postgres://" prefix in any case, else 0.
std::size_t UriPrefix(const std::string& location) {
  for (const std::string prefix : {"postgresql://", "postgres://"})
    if (Lower(location.substr(0, prefix.size())) == prefix) return prefix.size();
  return 0;
}

bool IsSecretKey(const std::string& key) { return Lower(key).find("password") != std::string::npos; }

bool Space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool HasControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

// The connection-string keywords a key-value location may start with.
bool IsConnectionKeyword(const std::string& key) {
  static const char* const keywords[] = {
      "host", "hostaddr", "port", "dbname", "user", "password", "passfile", "connect_timeout", "client_encoding",
      "options", "application_name", "fallback_application_name", "keepalives", "keepalives_idle",
      "keepalives_interval", "keepalives_count", "tcp_user_timeout", "sslmode", "sslcert", "sslkey", "sslpassword",
      "sslrootcert", "sslcrl", "sslcrldir", "sslsni", "gssencmode", "krbsrvname", "service", "target_session_attrs",
      "channel_binding", "require_auth", "load_balance_hosts"};
  return std::find(std::begin(keywords), std::end(keywords), key) != std::end(keywords);
}

// "host=db dbname=ledger": the first word is a keyword followed by '='.
bool IsKeyValueLocation(const std::string& location) {
  std::size_t i = 0;
  while (i < location.size() && Space(location[i])) ++i;
  const std::size_t key = i;
  while (i < location.size() && (std::isalnum(static_cast<unsigned char>(location[i])) || location[i] == '_')) ++i;
  const std::string word = location.substr(key, i - key);
  while (i < location.size() && Space(location[i])) ++i;
  return i < location.size() && location[i] == '=' && IsConnectionKeyword(word);
}

// A PostgreSQL location taken apart: what may be shown, and the secrets in
// it as written and as meant (percent-decoded, unquoted).
struct PgLocation {
  bool parsed = true;
  std::string shown;
  std::string connection;  // for libpq: each secret percent-encoded, so it is read as meant
  std::vector<std::string> secrets;
};

void AddSecret(PgLocation& out, const std::string& written, const std::string& meant) {
  for (const std::string& s : {written, meant})
    if (!s.empty() && std::find(out.secrets.begin(), out.secrets.end(), s) == out.secrets.end())
      out.secrets.push_back(s);
}

// A secret query value runs to the next "&key=", not merely the next '&': a
// password may hold an unencoded '&'.
std::size_t QueryValueEnd(const std::string& uri, std::size_t from) {
  for (std::size_t amp = uri.find('&', from); amp != std::string::npos; amp = uri.find('&', amp + 1)) {
    std::size_t k = amp + 1;
    while (k < uri.size() && (std::isalnum(static_cast<unsigned char>(uri[k])) || uri[k] == '_')) ++k;
    if (k > amp + 1 && k < uri.size() && uri[k] == '=') return amp;
  }
  return uri.size();
}

// postgresql://[user[:password]@][host][/dbname][?key=value&...], where the
// password may hold unencoded '?', '#', '/' and '@': the user part ends at
// the last '@'. Reading too much as the password hides more than needed,
// never less.
PgLocation ParseUri(const std::string& uri, std::size_t prefix) {
  PgLocation out;
  // No URI holds these; its secrets are still found as well as they can be.
  out.parsed = !HasControl(uri) && std::none_of(uri.begin(), uri.end(), Space);
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  std::size_t host = prefix;
  // The user part ends before any "password=" of the query, whose value may
  // hold an '@' too.
  std::size_t limit = std::string::npos;
  const std::string lower = Lower(uri);
  for (std::size_t p = lower.find("password=", prefix); p != std::string::npos; p = lower.find("password=", p + 1))
    if (lower[p - 1] == '?' || lower[p - 1] == '&') {
      limit = p;
      break;
    }
  const std::size_t at = uri.rfind('@', limit);
  if (at != std::string::npos && at >= prefix) {
    const std::size_t colon = uri.find(':', prefix);
    if (colon < at) ranges.emplace_back(colon + 1, at);
    host = at + 1;
  }
  if (const std::size_t query = uri.find('?', host); query != std::string::npos) {
    for (std::size_t p = query + 1; p < uri.size();) {
      std::size_t end = std::min(uri.find('&', p), uri.size());
      const std::size_t eq = uri.find('=', p);
      if (eq < end && IsSecretKey(uri.substr(p, eq - p))) {
        end = QueryValueEnd(uri, eq + 1);
        ranges.emplace_back(eq + 1, end);
      }
      p = end + 1;
    }
  }
  out.shown = out.connection = Lower(uri.substr(0, prefix)) + uri.substr(prefix);
  for (auto r = ranges.rbegin(); r != ranges.rend(); ++r) {
    const std::string written = uri.substr(r->first, r->second - r->first);
    const std::string meant = PercentDecoded(written);
    AddSecret(out, written, meant);
    AddSecret(out, Encoded(meant), meant);
    out.shown.replace(r->first, r->second - r->first, "***");
    out.connection.replace(r->first, r->second - r->first, Encoded(meant));
  }
  out.shown.replace(0, prefix, uri.substr(0, prefix));
  return out;
}

// key=value pairs apart by spaces; a value may be quoted ('...') and may
// escape any character with a backslash.
PgLocation ParseKeyValue(const std::string& text) {
  PgLocation out;
  out.parsed = false;
  if (HasControl(text)) return out;
  std::string shown;
  for (std::size_t i = 0;;) {
    while (i < text.size() && Space(text[i])) ++i;
    if (i == text.size()) break;
    const std::size_t keyStart = i;
    while (i < text.size() && !Space(text[i]) && text[i] != '=') ++i;
    const std::string key = text.substr(keyStart, i - keyStart);
    while (i < text.size() && Space(text[i])) ++i;
    if (key.empty() || i == text.size() || text[i] != '=') return out;
    ++i;
    while (i < text.size() && Space(text[i])) ++i;
    const std::size_t valueStart = i;
    std::string value;
    const bool quoted = i < text.size() && text[i] == '\'';
    if (quoted) ++i;
    for (bool closed = !quoted; i < text.size() || !closed;) {
      if (i == text.size()) return out;  // an unterminated quote
      const char c = text[i];
      if (c == '\\') {
        if (i + 1 == text.size()) return out;
        value += text[i + 1];
        i += 2;
      } else if (quoted && c == '\'') {
        ++i;
        break;
      } else if (!quoted && Space(c)) {
        break;
      } else {
        value += c;
        ++i;
      }
    }
    const std::string written = text.substr(valueStart, i - valueStart);
    if (IsSecretKey(key)) {
      AddSecret(out, written, value);
      if (quoted && written.size() >= 2) AddSecret(out, written.substr(1, written.size() - 2), value);
    }
    shown += (shown.empty() ? "" : " ") + key + "=" + (IsSecretKey(key) ? std::string("***") : written);
  }
  out.parsed = !shown.empty();
  out.shown = shown;
  return out;
}

std::optional<PgLocation> ParsePgLocation(const std::string& location) {
  if (const std::size_t prefix = UriPrefix(location)) return ParseUri(location, prefix);
  if (IsKeyValueLocation(location)) return ParseKeyValue(location);
  return std::nullopt;
}

}  // namespace

bool IsPgLocation(const std::string& location) { return UriPrefix(location) > 0 || IsKeyValueLocation(location); }

std::string PgConnectionText(const std::string& location) {
  const std::size_t prefix = UriPrefix(location);
  if (!prefix) return location;
  const PgLocation uri = ParseUri(location, prefix);
  return uri.parsed ? uri.connection : location;
}

std::string RedactLocation(const std::string& location) {
  const auto pg = ParsePgLocation(location);
  // A URI of no scheme this program knows ("postgresq://u:pw@h") may carry a password all the same.
  if (!pg) return location.find("://") == std::string::npos ? location : "(location hidden)";
  return pg->parsed ? pg->shown : "(location hidden)";
}

std::vector<std::string> LocationSecrets(const std::string& location) {
  const auto pg = ParsePgLocation(location);
  if (!pg) return {};
  if (pg->parsed) return pg->secrets;
  // Which part is secret is not known for sure: any part of it may be.
  std::vector<std::string> secrets = pg->secrets;
  secrets.push_back(location);
  std::istringstream words(location);
  for (std::string word; words >> word;) {
    secrets.push_back(word);
    const std::size_t eq = word.find('=');
    if (eq == std::string::npos) continue;
    std::string value = word.substr(eq + 1);
    value.erase(std::remove(value.begin(), value.end(), '\''), value.end());
    if (!value.empty()) secrets.push_back(value);
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


std::pair<std::string, std::string> SplitUriPassword(const std::string& uri) {
  const std::size_t authority = UriPrefix(uri);
  if (!authority) return {uri, {}};
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
  const std::size_t authority = UriPrefix(uri);
  if (password.empty() || !authority) return uri;
  const std::size_t end = std::min(uri.find_first_of("/?#", authority), uri.size());
  const std::size_t at = uri.rfind('@', end);
  if (at != std::string::npos && at >= authority && at < end)
    return uri.substr(0, at) + ":" + Encoded(password) + uri.substr(at);
  return uri + (uri.find('?') == std::string::npos ? "?" : "&") + "password=" + Encoded(password);
}

