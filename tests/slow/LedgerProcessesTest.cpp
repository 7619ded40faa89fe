// Several writer processes on one machine drawing from one job of a fresh
// ledger at once, one of them killed in the middle of a pass: every part gets
// its own number, the numbers form one sequence without gaps, and the killed
// station finds its part when it starts again.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <sstream>

#include "production/LedgerStores.h"

namespace {

constexpr int kProcesses = 4;
constexpr int kPassesEach = 10;
constexpr int kKilledAfter = 3;  // process 0 dies holding its fourth number

// One station: opens the ledger and the job, reserves and finishes its
// passes, writing "I created" and "I NUMBER" lines to `out` (I: its index).
[[noreturn]] void Station(const std::string& location, int index, int go, int out) {
  const std::string me = std::to_string(index) + " ";
  std::string report;
  int status = 0;
  char byte;
  while (read(go, &byte, 1) < 0) {  // all start together, when the test closes the pipe
  }
  try {
    auto ledger = OpenLedger(location);
    if (ledger->OpenJob(SerialJob("line", "0100", 2, 1, LedgerPolicy::Strict)).outcome == JobOpening::Outcome::Created)
      report += me + "created\n";
    for (int i = 0; i < kPassesEach; ++i) {
      const auto r = ledger->Reserve(PassOn("line", "station" + std::to_string(index)));
      if (r.outcome != ReserveResult::Outcome::Reserved) throw std::runtime_error(r.message);
      report += me + r.pass.serial + "\n";
      if (index == 0 && i == kKilledAfter) {
        if (write(out, report.data(), report.size())) {
        }
        kill(getpid(), SIGKILL);
      }
      ledger->Finish(r.pass.id, i % 2 ? PassResult::Failed : PassResult::Ok, "", "", i);
    }
  } catch (const std::exception& e) {
    report += me + "error " + e.what() + "\n";
    status = 1;
  }
  if (write(out, report.data(), report.size())) {
  }
  _exit(status);
}

class LedgerProcesses : public ::testing::TestWithParam<Store> {};

TEST_P(LedgerProcesses, ProcessesDrawingAtOnceGetOneSequence) {
  LedgerPlace place(GetParam());
  int go[2], out[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(out), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < kProcesses; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(go[1]);
      close(out[0]);
      Station(place.Location(), i, go[0], out[1]);
    }
    children.push_back(pid);
  }
  close(go[0]);
  close(out[1]);
  close(go[1]);  // go
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  close(out[0]);
  for (std::size_t i = 0; i < children.size(); ++i) {
    int status = 0;
    waitpid(children[i], &status, 0);
    if (i == 0)
      EXPECT_TRUE(WIFSIGNALED(status));
    else
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
  }

  std::istringstream lines(text);
  std::vector<std::string> numbers;
  std::string killedLast;
  int created = 0;
  for (std::string index, word; lines >> index >> word;) {
    if (word == "created") {
      ++created;
    } else {
      numbers.push_back(word);
      if (index == "0") killedLast = word;
    }
  }
  EXPECT_EQ(created, 1);
  ASSERT_EQ(numbers.size(), static_cast<std::size_t>((kProcesses - 1) * kPassesEach + kKilledAfter + 1)) << text;
  const std::set<std::string> distinct(numbers.begin(), numbers.end());
  EXPECT_EQ(distinct.size(), numbers.size());
  const SerialNumberSettings settings = SerialJob("line", "0100").serial;
  std::set<std::string> sequence;
  for (std::string n = "0100"; sequence.size() < numbers.size(); n = NextSerial(settings, n)) sequence.insert(n);
  EXPECT_EQ(distinct, sequence);

  const auto found = place.Open()->RecoverInterrupted("station0", "Com1");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].serial, killedLast);
}

INSTANTIATE_TEST_SUITE_P(Stores, LedgerProcesses, ::testing::Values(Store::Sqlite, Store::Postgres), StoreName);

}  // namespace
