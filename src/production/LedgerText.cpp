// The ledger as the front ends print it: status lines, the interrupted-part
// warning and the CSV export.

#include <cstdio>
#include <ctime>

#include "files/SafeFile.h"
#include "production/ProductionLog.h"
#include "production/Ledger.h"

namespace {

// Seconds since the epoch of an ISO 8601 UTC time as the ledger stores it; -1 if it is none.
long long EpochSeconds(const std::string& iso) {
  std::tm tm{};
  if (std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec) != 6)
    return -1;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return static_cast<long long>(timegm(&tm));
}

// "45 s", "12 min", "3 h 05 min", "2 d 04 h".
std::string Age(long long s) {
  char buf[48];
  if (s < 60)
    std::snprintf(buf, sizeof buf, "%lld s", s < 0 ? 0 : s);
  else if (s < 3600)
    std::snprintf(buf, sizeof buf, "%lld min", s / 60);
  else if (s < 86400)
    std::snprintf(buf, sizeof buf, "%lld h %02lld min", s / 3600, s / 60 % 60);
  else
    std::snprintf(buf, sizeof buf, "%lld d %02lld h", s / 86400, s / 3600 % 24);
  return buf;
}

// A name as a line may show it: control characters written as \xNN, so a
// name cannot break or rewrite the lines around it.
std::string Shown(const std::string& name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f)
      out += std::string("\\x") + hex[u >> 4] + hex[u & 15];
    else
      out += c;
  }
  return out;
}

}  // namespace

std::string StatusText(const LedgerStatus& status) {
  const long long now = EpochSeconds(status.now);
  std::string text;
  for (const auto& s : status.jobs) {
    // Every line has the same fields, so a script reads them alike: "next -"
    // for passes without numbers, "next none" for a used-up job.
    text += Shown(s.job) + ":";
    if (!s.settings) {
      text += " next -,";
    } else {
      const Job& j = *s.settings;
      text += j.usedUp                 ? " next none,"
              : j.kind == JobKind::Qtp ? " next record " + std::to_string(j.nextRecord) + ","
                                       : " next " + j.next + ",";
    }
    text += " ok " + std::to_string(s.ok) + ", failed " + std::to_string(s.failed) + ", interrupted " +
            std::to_string(s.interrupted) + ", simulated " + std::to_string(s.simulated) + ", open " +
            std::to_string(s.open) + "\n";
    for (const auto& p : s.unsettled) {
      text += "  " + p.result + " on station " + Shown(p.station) + ", " + Shown(p.port);
      if (!p.serial.empty()) text += ", serial " + p.serial;
      if (p.qtpRecord > 0) text += ", QTP record " + std::to_string(p.qtpRecord);
      text += ", started " + p.started + ", " + Age(now - EpochSeconds(p.started)) + " ago\n";
    }
  }
  return text;
}

std::string InterruptedText(const LedgerRecord& pass) {
  const std::string time = pass.started.size() >= 19 ? pass.started.substr(11, 8) : pass.started;
  return "Part interrupted on station " + Shown(pass.station) + ", " + Shown(pass.port) + ", at " + time + " UTC" +
         (pass.serial.empty() ? std::string() : ", serial " + pass.serial) + ": check that part";
}

std::string LedgerCsv(const std::vector<LedgerRecord>& passes) {
  std::string text = std::string(kLedgerCsvHeader) + "\n";
  for (const auto& p : passes) {
    for (const std::string& f :
         {p.started, p.ended, p.job, p.station, p.port, p.device, p.image, p.checksum, p.serial,
          p.qtpRecord > 0 ? std::to_string(p.qtpRecord) : std::string(), std::to_string(p.passCount), p.result,
          p.stage})
      text += CsvField(f) + ",";
    text += CsvField(p.message) + "\n";
  }
  return text;
}

bool ExportLedgerCsv(const std::vector<LedgerRecord>& passes, const std::string& path, std::string* error) {
  return WriteFileSafely(path, LedgerCsv(passes), error);
}
