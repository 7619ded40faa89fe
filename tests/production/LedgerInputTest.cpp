// What the ledger refuses to take in: dates that are no dates, names that are
// empty or hold control characters, a version that is no number.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "production/LedgerStores.h"
#include "production/PassLedger.h"

using ::testing::HasSubstr;

namespace {

TEST(LedgerInput, SinceIsARealUtcDateOrDateAndTime) {
  const std::pair<const char*, bool> cases[] = {
      {"2026-12-08", true},           {"2026-12-08 12:00", true},     {"2026-12-08T12:00:00Z", true},
      {"2026-12-08T12:00:00.5Z", true}, {"2028-02-29", true},         {"2026-12-08T23:59:59.999", true},
      {"2026-13-45", false},          {"2026-02-29", false},          {"2100-02-29", false},
      {"2026-04-31", false},          {"2026-00-10", false},          {"2026-12-00", false},
      {"2026-12-08T24:00", false},    {"2026-12-08T12:60", false},    {"2026-12-08T12:00:61", false},
      {"2026-12-08T12", false},       {"2026-12-08T12:00:00.", false}, {"2026-12-08+02:00", false},
      {"yesterday", false},           {"", false},
  };
  for (const auto& [since, ok] : cases) EXPECT_EQ(SinceError(since).empty(), ok) << since;
  EXPECT_EQ(SinceError("2026-13-45"), "\"2026-13-45\" is no UTC date or date and time: give one as 2026-12-08, "
                                      "2026-12-08 12:00 or 2026-12-08T12:00:00Z");
  LedgerPlace place(Store::Sqlite, "since");
  EXPECT_THROW(place.Open()->List({}, "2026-02-30"), std::invalid_argument);
}

TEST(LedgerInput, NamesAreRefusedEmptyOrWithControlCharacters) {
  EXPECT_EQ(LedgerNameError("station", "bench1"), "");
  EXPECT_EQ(LedgerNameError("station", "Bänk 2"), "");
  EXPECT_EQ(LedgerNameError("station", ""), "The station name is empty: give it a name");
  EXPECT_EQ(LedgerNameError("job", "a\x1b[2Jb\n"),
            "The job name \"a\\x1B[2Jb\\x0A\" holds a control character: give one of printable characters");

  LedgerPlace place(Store::Sqlite, "names");
  std::shared_ptr<Ledger> ledger = place.Open();
  const auto refused = ledger->OpenJob(SerialJob("line\t2", "0001"));
  EXPECT_EQ(refused.outcome, JobOpening::Outcome::Refused);
  EXPECT_THAT(refused.message, HasSubstr("The job name \"line\\x092\""));
  EXPECT_EQ(ledger->OpenJob(SerialJob("", "0001")).message, "The job name is empty: give it a name");
  EXPECT_EQ(ErrorOf([&] { PassLedger(ledger, "line", "", "Com1"); }).kind(), LedgerError::Kind::Refused);
  EXPECT_EQ(ErrorOf([&] { PassLedger(ledger, "label\x7f", "bench1", "Com1"); }).kind(), LedgerError::Kind::Refused);
  PassStart pass = PassOn("label");
  pass.numbered = false;
  pass.station = "bench\r1";
  EXPECT_EQ(ErrorOf([&] { ledger->Reserve(pass); }).kind(), LedgerError::Kind::Refused);
  EXPECT_TRUE(ledger->List().empty());

  // Names written before these checks show without their control characters.
  place.Sql("INSERT INTO passes (job, station, port, device, image, checksum, pass_count, started, result, stage,"
            " message) VALUES ('old\nname', 'b\x1b', 'Com1', '', '', '', 0, '2026-12-08T12:00:00.000Z', 'open', '', '')");
  const std::string status = StatusText(ledger->Status());
  EXPECT_THAT(status, HasSubstr("old\\x0Aname: next -,"));
  EXPECT_THAT(status, HasSubstr("open on station b\\x1B, Com1"));
  EXPECT_THAT(InterruptedText(ledger->List().at(0)), HasSubstr("station b\\x1B, Com1"));
}

TEST(LedgerInput, AVersionThatIsNoNumberIsNoLedgerOfThisProgram) {
  for (const Store store : {Store::Sqlite, Store::Postgres}) {
    LedgerPlace place(store, std::string("garbage_version_") + (store == Store::Sqlite ? "s" : "p"));
    place.Open();
    place.Sql("UPDATE ledger_meta SET value = 'one' WHERE key = 'schema_version'");
    const LedgerError e = ErrorOf([&] { place.Open(); });
    EXPECT_EQ(e.kind(), LedgerError::Kind::CannotOpen);
    EXPECT_EQ(e.what(), "Ledger " + RedactLocation(place.Location()) + " is not a ledger of this program");
  }
}

}  // namespace
