// What the part ledger adds to a pass: reserve a number and end the pass (and
// the full round with the stream mark between), each a committed, durable
// transaction. On SQLite (a file in a temporary folder) and on a local
// PostgreSQL cluster started with the tests' fixture. Goal: at most 10 ms a
// pass. The PostgreSQL label says whether the server syncs its commits: a
// cluster of a running ctest (fsync off) would be taken if one is up.

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <stdlib.h>

#include <filesystem>

#include "production/Ledger.h"
#include "support/PgCluster.h"

namespace {

std::string Location(bool postgres, const std::string& name) {
  if (postgres) return PgCluster::Instance().FreshUri("bench_" + name);
  static const struct Folder {
    Folder() {
      char d[] = "/tmp/qel-ledger-bench.XXXXXX";
      if (mkdtemp(d)) path = d;
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string path;
  } folder;
  return folder.path + "/" + name + ".sqlite";
}

std::string ServerFsync() {
  std::unique_ptr<PGconn, decltype(&PQfinish)> c(PQconnectdb(PgCluster::Instance().Uri().c_str()), PQfinish);
  std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(c.get(), "SHOW fsync"), PQclear);
  return PQresultStatus(r.get()) == PGRES_TUPLES_OK ? std::string("fsync=") + PQgetvalue(r.get(), 0, 0) : "fsync=?";
}

void Pass(benchmark::State& state, bool postgres, bool stream) {
  auto ledger = OpenLedger(Location(postgres, stream ? "full" : "reserve"));
  JobSpec spec;
  spec.name = "bench";
  spec.serial.bytes = 8;
  spec.serial.start = "1";
  ledger->OpenJob(spec);
  PassStart pass;
  pass.job = "bench";
  pass.station = "bench1";
  pass.port = "Com1";
  pass.device = "K7E1/E3";
  pass.image = "bench.hex";
  pass.checksum = "3A7C";
  for (auto _ : state) {
    const auto r = ledger->Reserve(pass);
    if (stream) ledger->MarkStreamStarted(r.pass.id);
    ledger->Finish(r.pass.id, PassResult::Ok, "verify", "", ++pass.passCount);
  }
  if (postgres) state.SetLabel(ServerFsync());
}

void BM_ReserveFinishSqlite(benchmark::State& s) { Pass(s, false, false); }
void BM_ReserveFinishPostgres(benchmark::State& s) { Pass(s, true, false); }
void BM_ReserveStreamFinishSqlite(benchmark::State& s) { Pass(s, false, true); }
void BM_ReserveStreamFinishPostgres(benchmark::State& s) { Pass(s, true, true); }
BENCHMARK(BM_ReserveFinishSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReserveFinishPostgres)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReserveStreamFinishSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReserveStreamFinishPostgres)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
