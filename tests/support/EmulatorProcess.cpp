#include "support/EmulatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, kEmulatorWaitMs) == 1;
}

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

std::string EmulatorProcess::Program() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "writer-emulator").string();
}

EmulatorProcess::EmulatorProcess(std::vector<std::string> args) {
  args.insert(args.begin(), Program());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  // The rest of its output is of no interest; the pipe closes with the reader.
  char c = 0;
  while (pid_ > 0 && Readable(out[0]) && read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
  close(out[0]);
}

EmulatorProcess::~EmulatorProcess() {
  if (pid_ > 0 && !reaped_) Stop(SIGTERM);
}

int EmulatorProcess::Stop(int sig) {
  if (pid_ <= 0 || reaped_) return -1;
  kill(pid_, sig);
  return Wait();
}

int EmulatorProcess::Wait() {
  if (pid_ <= 0 || reaped_) return -1;
  int status = 0;
  waitpid(pid_, &status, 0);
  reaped_ = true;
  return ExitStatus(status);
}

RawTerminal::RawTerminal(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return;
  termios tio{};
  tcgetattr(fd_, &tio);
  cfmakeraw(&tio);
  ok_ = tcsetattr(fd_, TCSANOW, &tio) == 0;
}

RawTerminal::~RawTerminal() {
  if (fd_ >= 0) close(fd_);
}

std::vector<std::uint8_t> RawTerminal::Exchange(const std::vector<std::uint8_t>& send, std::size_t expect) {
  std::vector<std::uint8_t> got;
  if (!ok_ || write(fd_, send.data(), send.size()) != static_cast<ssize_t>(send.size())) return got;
  std::uint8_t buf[256];
  while (got.size() < expect && Readable(fd_)) {
    const auto n = read(fd_, buf, std::min(sizeof buf, expect - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}
