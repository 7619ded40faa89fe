#pragma once
// writer-cli and writer-emulator as processes: the emulator serves a
// pseudo-terminal, writer-cli runs against it with --port-path, in a scratch
// directory of its own, and its output and exit status are collected.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/EmulatorProcess.h"

namespace cli_test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

inline std::vector<char*> Argv(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

struct CliResult {
  int status = -1;  // exit status; -1 when it did not end by itself
  std::string out;
  std::string err;
  std::vector<std::string> OutLines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

// Runs writer-cli with args in dir and waits for it, at most waitMs.
inline CliResult RunCli(std::vector<std::string> args, const fs::path& dir, int waitMs = kEmulatorWaitMs) {
  args.insert(args.begin(), WRITER_BINARY_DIR "/writer-cli");
  auto argv = Argv(args);
  int out[2], err[2];
  CliResult result;
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&fa, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
  pid_t pid = -1;
  const bool spawned = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  close(err[1]);
  if (spawned) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&result.out, &result.err};
    int open = 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
      if (poll(fds, 2, 100) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
        char buf[4096];
        const auto n = read(fds[i].fd, buf, sizeof buf);
        if (n > 0) {
          texts[i]->append(buf, static_cast<std::size_t>(n));
        } else {
          fds[i].fd = -1;
          --open;
        }
      }
    }
    if (open > 0) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (open == 0 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  }
  close(out[0]);
  close(err[0]);
  return result;
}

// writer-emulator on a pseudo-terminal, stopped when the object goes, that
// can burn a part the way the Writer's own write commands do.
class Emulator : public EmulatorProcess {
 public:
  using EmulatorProcess::EmulatorProcess;

  // Burns program words 0... and the 16 ID bytes of the part (a 1024-word
  // K7E1/E3). True when every byte was accepted.
  bool Burn(const std::vector<std::uint16_t>& words, const Bytes& id = {}) {
    RawTerminal t(Path());
    if (!t.Ok()) return false;
    if (!words.empty()) {
      Bytes data;
      for (int n = 0; n < 1024; ++n) {
        const std::uint16_t w = n < static_cast<int>(words.size()) ? words[n] : 0x3FFF;
        data.push_back(w & 0x7F);
        data.push_back((w >> 7) & 0x7F);
      }
      if (!Write(t, {0xA1, 0, 0, 0xFF, 0x03, 0, 0x30, 0x02, 0xC1, 0xA6}, data)) return false;
    }
    if (!id.empty()) {
      Bytes data(16, 0x7F);
      std::copy(id.begin(), id.begin() + std::min<std::size_t>(id.size(), 16), data.begin());
      if (!Write(t, {0xA1, 0, 0, 0x07, 0, 0x02, 0x30, 0x02, 0xC1, 0xA6}, data)) return false;
    }
    return true;
  }

 private:
  // A header answered 0xB5, then each data byte answered 0xB5, the last 0xB0.
  static bool Write(RawTerminal& t, const Bytes& header, const Bytes& data) {
    if (t.Exchange(header, 1) != Bytes{0xB5}) return false;
    for (std::size_t i = 0; i < data.size(); ++i)
      if (t.Exchange({data[i]}, 1) != Bytes{static_cast<std::uint8_t>(i + 1 == data.size() ? 0xB0 : 0xB5)})
        return false;
    return true;
  }
};

inline Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Runs a shell command line (the image tools); true when it exits 0.
inline bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// The serial number a part carries in its two RTIW words at 0x100, or "".
inline std::string PartSerial(const std::string& partsLine) {
  std::istringstream in(partsLine);
  std::vector<unsigned> words;
  for (std::string w; in >> w;) words.push_back(static_cast<unsigned>(std::stoul(w, nullptr, 16)));
  if (words.size() < 0x102) return {};
  const unsigned hi = words[0x100], lo = words[0x101];
  if ((hi >> 8) != 0x31 || (lo >> 8) != 0x31) return {};  // never stamped, or cut off before it
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X", hi & 0xFF, lo & 0xFF);
  return text;
}

// How many parts carry each number, over the parts logs given.
inline std::map<std::string, int> PartsBySerial(const std::vector<fs::path>& logs) {
  std::map<std::string, int> found;
  for (const auto& log : logs) {
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);)
      if (const auto serial = PartSerial(line); !serial.empty()) ++found[serial];
  }
  return found;
}

// prog.hex in dir, made by gpasm: a 12-bit program with two RTIW words
// (RETLW 0) at 0x100 for a serial number. True when gpasm made it.
inline bool MakeProgImage(const fs::path& dir) {
  WriteText(dir / "prog.asm",
            " LIST P=16C54\n ORG 0\n MOVLW 5\n MOVWF 6\n GOTO 0\n ORG 0x100\n RETLW 0\n RETLW 0\n END\n");
  return Shell("cd " + dir.string() + " && gpasm -o prog.hex prog.asm");
}

// A configuration file naming image, port and device, with the OPTION word's halves.
// The serial fields, from the pass count on: count, shown number, mode,
// address (decimal), length, number (hex), step, random, LSB first.
inline std::string ConfigText(const fs::path& image, const std::string& port, const std::string& device,
                       std::uint8_t optionLow = 0x7F, std::uint8_t optionHigh = 0x7F,
                       const std::string& serialFields = "0 00 0 0 1 00 1 0 0") {
  std::string cfg = "qel" + image.string() + '\x0f' + port + " " + device + " ";
  for (int i = 0; i < 6; ++i) cfg += "false ";
  cfg += "F6A0 " + serialFields + " ";
  cfg += static_cast<char>(optionLow);
  cfg += static_cast<char>(optionHigh);
  return cfg + std::string(32, '\x7f');
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("writer-cli-test-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // The part ledger is on by default: each test gets a fresh one of its own.
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(dir_); }

  CliResult Run(std::vector<std::string> args) { return RunCli(std::move(args), dir_); }
  // An operation against the emulator's terminal.
  CliResult RunOn(const Emulator& emu, std::vector<std::string> args) {
    args.insert(args.begin(), {"--port-path", emu.Path()});
    return Run(std::move(args));
  }
  fs::path Path(const std::string& name) const { return dir_ / name; }

  fs::path dir_;
};

// The assembled test program and set.cfg, which programs it on Com1.
class WithImage : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    ASSERT_TRUE(MakeProgImage(dir_)) << "gpasm";
    WriteText(Path("set.cfg"), ConfigText(Path("prog.hex"), "Com1", "K7E1/E3", 0x1A, 0x4B));
  }
};

}  // namespace cli_test
