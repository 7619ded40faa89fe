#pragma once
// writer-emulator as a process, for the tests and benchmarks that need a
// Writer on a real pseudo-terminal: started with options, its terminal's path
// read from the first line it prints, stopped (or killed, as a pulled cable)
// and reaped.

#include <sys/types.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

// Generous bound so a stuck program fails a test instead of hanging it.
inline constexpr int kEmulatorWaitMs = 20000;

class EmulatorProcess {
 public:
  // Starts the writer-emulator built beside this program with args.
  explicit EmulatorProcess(std::vector<std::string> args = {});
  // Stops it with SIGTERM unless it has already been stopped or waited for.
  ~EmulatorProcess();
  EmulatorProcess(const EmulatorProcess&) = delete;
  EmulatorProcess& operator=(const EmulatorProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // The terminal's path; empty when the program did not start or refused.
  const std::string& Path() const { return path_; }
  pid_t Pid() const { return pid_; }

  // Sends sig and reaps the process: its exit status, or -1 when it did not
  // end normally (killed).
  int Stop(int sig = SIGTERM);
  // Waits for the process to end by itself; the same result as Stop.
  int Wait();

  // The program beside the running test or benchmark.
  static std::string Program();

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  std::string path_;
};

// A raw terminal opened on the emulator's path, for tests that speak the
// Writer's bytes themselves.
class RawTerminal {
 public:
  explicit RawTerminal(const std::string& path);
  ~RawTerminal();
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

  bool Ok() const { return ok_; }
  // Writes send, then reads until expect bytes came or the line stays quiet
  // for kEmulatorWaitMs.
  std::vector<std::uint8_t> Exchange(const std::vector<std::uint8_t>& send, std::size_t expect);

 private:
  int fd_ = -1;
  bool ok_ = false;
};
