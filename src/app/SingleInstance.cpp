#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// A directory others cannot plant files or links in: ours, no symlink, no group/other write.
bool PrivateDir(const std::filesystem::path& dir) {
  struct stat st{};
  if (lstat(dir.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 022) == 0;
}

}  // namespace

std::filesystem::path SingleInstance::RuntimeDir() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg != nullptr && xdg[0] == '/' && PrivateDir(xdg)) return xdg;
  std::filesystem::path dir = "/tmp/" + std::to_string(getuid()) + "-qel-writer";
  mkdir(dir.c_str(), 0700);  // when it exists already, the constructor checks whose it is
  return dir;
}

SingleInstance::SingleInstance(const std::string& name, const std::filesystem::path& dir) {
  const std::filesystem::path base = dir.empty() ? RuntimeDir() : dir;
  path_ = base / name;
  // In a shared /tmp someone else could have made the directory first.
  if (dir.empty() && !PrivateDir(base)) {
    error_ = EACCES;
    return;
  }
  fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    outcome_ = Outcome::Acquired;
    return;
  }
  error_ = errno;
  outcome_ = (error_ == EWOULDBLOCK) ? Outcome::HeldElsewhere : Outcome::Failed;
  close(fd_);
  fd_ = -1;
}

SingleInstance::~SingleInstance() {
  // Closing drops the lock; the file stays so a running copy never sees it vanish.
  if (fd_ >= 0) close(fd_);
}
