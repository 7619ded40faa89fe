// A job pins the image it was made with, and moves to another only when told
// (keeping its numbers); ledgers written by the program before these
// columns existed open, migrate and go on from their records.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "production/LedgerStores.h"

using ::testing::HasSubstr;

namespace {

JobSpec WithImage(JobSpec spec, const std::string& name, const std::string& checksum) {
  spec.imageName = name;
  spec.imageChecksum = checksum;
  return spec;
}

class LedgerImage : public ::testing::TestWithParam<Store> {};

TEST_P(LedgerImage, JobPinsItsImageUntilMoved) {
  LedgerPlace place(GetParam());
  auto ledger = place.Open();
  const JobSpec made = WithImage(SerialJob("example", "0001"), "example.hex", "1A2B");
  const auto created = ledger->OpenJob(made);
  ASSERT_EQ(created.outcome, JobOpening::Outcome::Created);
  EXPECT_EQ(created.job.imageName, "example.hex");
  EXPECT_FALSE(created.job.imageSince.empty());
  EXPECT_EQ(ledger->Reserve(PassOn("example")).pass.serial, "0001");

  const struct {
    JobSpec spec;
    const char* refusal;  // "" opened
  } cases[] = {
      {made, ""},
      {WithImage(made, "renamed.hex", "1a2b"), ""},  // the contents count, not the name
      {WithImage(made, "", ""), ""},                 // a pass without an image checksum: no check
      {WithImage(made, "other.hex", "3C4D"), "Job example was made with example.hex, checksum 1A2B, not other.hex, checksum 3C4D"},
      {[&] {
         JobSpec s = WithImage(made, "other.hex", "3C4D");
         s.serial.increment = 2;
         return s;
       }(),
       "Job example was made with example.hex, checksum 1A2B, not other.hex, checksum 3C4D; "
       "Job example uses increment 1, not 2"},
  };
  for (const auto& c : cases) {
    const auto opening = ledger->OpenJob(c.spec);
    EXPECT_EQ(opening.message, c.refusal) << c.spec.imageName;
    EXPECT_EQ(opening.outcome, *c.refusal ? JobOpening::Outcome::Refused : JobOpening::Outcome::Opened);
  }

  EXPECT_FALSE(ledger->MoveJobImage("nobody", "other.hex", "3C4D"));
  EXPECT_TRUE(ledger->MoveJobImage("example", "other.hex", "3C4D"));
  EXPECT_EQ(ledger->OpenJob(WithImage(made, "other.hex", "3C4D")).outcome, JobOpening::Outcome::Opened);
  EXPECT_EQ(ledger->OpenJob(made).message,
            "Job example was made with other.hex, checksum 3C4D, not example.hex, checksum 1A2B");
  EXPECT_EQ(ledger->Reserve(PassOn("example")).pass.serial, "0002") << "the numbers go on";
  const auto events = place.Rows("SELECT job, event, detail FROM job_events");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], (SqlRow{"example", "image", "from example.hex, checksum 1A2B to other.hex, checksum 3C4D"}));
}

INSTANTIATE_TEST_SUITE_P(Stores, LedgerImage, ::testing::Values(Store::Sqlite, Store::Postgres), StoreName);

// The ledger as the first version of the program wrote it: its tables as
// they were created then, a job with numbers handed out, a pass left open.
std::vector<std::string> FirstVersion(Store store) {
  const std::string id = store == Store::Sqlite ? "INTEGER PRIMARY KEY AUTOINCREMENT"
                                                : "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY";
  return {
      "CREATE TABLE ledger_meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
      "CREATE TABLE jobs (name TEXT PRIMARY KEY, kind TEXT NOT NULL CHECK (kind IN ('serial', 'qtp')),"
      " random INTEGER NOT NULL, address INTEGER NOT NULL, bytes INTEGER NOT NULL, increment INTEGER NOT NULL,"
      " lsb_first INTEGER NOT NULL, first_serial TEXT NOT NULL, next_serial TEXT NOT NULL, qtp_file TEXT NOT NULL,"
      " next_record BIGINT NOT NULL, used_up INTEGER NOT NULL,"
      " policy TEXT NOT NULL CHECK (policy IN ('reuse-failed', 'strict')), created TEXT NOT NULL)",
      "CREATE TABLE passes (id " + id +
          ", job TEXT NOT NULL, station TEXT NOT NULL, port TEXT NOT NULL, device TEXT NOT NULL,"
          " image TEXT NOT NULL, checksum TEXT NOT NULL, serial TEXT, qtp_record BIGINT, pass_count BIGINT NOT NULL,"
          " started TEXT NOT NULL, stream_started TEXT, ended TEXT,"
          " result TEXT NOT NULL CHECK (result IN ('open', 'ok', 'failed', 'simulated', 'interrupted')),"
          " stage TEXT NOT NULL, message TEXT NOT NULL)",
      "CREATE INDEX passes_by_job ON passes (job, started)",
      "CREATE INDEX passes_by_start ON passes (started)",
      "CREATE INDEX passes_by_result ON passes (result, station, port)",
      "CREATE TABLE serials (job TEXT NOT NULL REFERENCES jobs (name), serial TEXT NOT NULL,"
      " state TEXT NOT NULL CHECK (state IN ('held', 'used', 'free')), pass BIGINT NOT NULL, released TEXT,"
      " PRIMARY KEY (job, serial))",
      "CREATE INDEX serials_free ON serials (job, released, serial) WHERE state = 'free'",
      "INSERT INTO ledger_meta (key, value) VALUES ('schema_version', '1')",
      "INSERT INTO jobs VALUES ('line', 'serial', 0, 0, 2, 1, 0, '0001', '0004', '', 1, 0, 'reuse-failed',"
      " '2026-12-01T08:00:00.000Z')",
      "INSERT INTO passes (job, station, port, device, image, checksum, serial, pass_count, started, stream_started,"
      " ended, result, stage, message) VALUES"
      " ('line', 'bench1', 'Com1', 'K7E1/E3', 'prog.hex', '3A7C', '0001', 1, '2026-12-01T08:01:00.000Z',"
      "  '2026-12-01T08:01:01.000Z', '2026-12-01T08:01:09.000Z', 'ok', '', ''),"
      " ('line', 'bench1', 'Com1', 'K7E1/E3', 'prog.hex', '3A7C', '0002', 2, '2026-12-01T08:02:00.000Z',"
      "  NULL, '2026-12-01T08:02:03.000Z', 'failed', 'blank check', 'Writer Error!!'),"
      " ('line', 'bench1', 'Com1', 'K7E1/E3', 'prog.hex', '3A7C', '0003', 3, '2026-12-01T08:03:00.000Z',"
      "  '2026-12-01T08:03:01.000Z', NULL, 'open', '', '')",
      "INSERT INTO serials VALUES ('line', '0001', 'used', 1, NULL), ('line', '0002', 'free', 2,"
      " '2026-12-01T08:02:03.000Z'), ('line', '0003', 'held', 3, NULL)",
  };
}

class LedgerMigration : public ::testing::TestWithParam<Store> {};

TEST_P(LedgerMigration, FirstVersionLedgerGoesOnFromItsRecords) {
  LedgerPlace place(GetParam());
  for (const auto& statement : FirstVersion(GetParam())) place.Sql(statement);

  auto ledger = place.Open();
  EXPECT_EQ(place.Rows("SELECT value FROM ledger_meta WHERE key = 'schema_version'").at(0)[0], "3");
  const auto job = ledger->FindJob("line");
  ASSERT_TRUE(job);
  EXPECT_EQ(job->next, "0004");
  EXPECT_EQ(job->imageChecksum, "");
  // Its job opens with any image (it pins none), its open pass is found, the
  // released number goes first, then the sequence.
  EXPECT_EQ(ledger->OpenJob(WithImage(SerialJob("line", "0001"), "prog.hex", "3A7C")).outcome,
            JobOpening::Outcome::Opened);
  auto claim = ledger->ClaimStation("bench1", "Com1");
  const auto interrupted = ledger->RecoverInterrupted("bench1", "Com1");
  ASSERT_EQ(interrupted.size(), 1u);
  EXPECT_EQ(interrupted[0].serial, "0003");
  EXPECT_EQ(ledger->Reserve(PassOn("line")).pass.serial, "0002");
  EXPECT_EQ(ledger->Reserve(PassOn("line")).pass.serial, "0004");
  EXPECT_EQ(ledger->List().size(), 5u);
  EXPECT_TRUE(ledger->MoveJobImage("line", "prog.hex", "3A7C"));

  // A second open finds it current and leaves it so.
  EXPECT_EQ(place.Open()->FindJob("line")->imageChecksum, "3A7C");
}

INSTANTIATE_TEST_SUITE_P(Stores, LedgerMigration, ::testing::Values(Store::Sqlite, Store::Postgres), StoreName);

}  // namespace
