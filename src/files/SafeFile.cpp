#include "files/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

bool Fail(std::string* error, const char* what, int err) {
  if (error) *error = std::string(what) + ": " + std::strerror(err);
  return false;
}

// Writing through a link replaces the file it points at, not the link.
std::string ResolvedTarget(const std::string& path) {
  char resolved[PATH_MAX];
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(path.c_str(), resolved))
    return resolved;
  return path;
}

}  // namespace

bool WriteFileSafely(const std::string& path, std::string_view bytes, std::string* error) {
  if (path.empty()) return Fail(error, "no file name", ENOENT);
  const std::string target = ResolvedTarget(path);
  std::string tmp = target + ".XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) return Fail(error, "create", errno);

  // Keep the permissions of the file being replaced; a new file gets the usual ones.
  struct stat st {};
  mode_t mode = 0666;
  if (stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode &= ~mask;
  }
  fchmod(fd, mode);

  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      close(fd);
      unlink(tmp.c_str());
      return Fail(error, "write", err);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0) {
    int err = errno;
    close(fd);
    unlink(tmp.c_str());
    return Fail(error, "write", err);
  }
  if (close(fd) != 0) {
    int err = errno;
    unlink(tmp.c_str());
    return Fail(error, "write", err);
  }
  if (rename(tmp.c_str(), target.c_str()) != 0) {
    int err = errno;
    unlink(tmp.c_str());
    return Fail(error, "rename", err);
  }
  return true;
}

bool ReadFileHead(const std::string& path, std::size_t maxBytes, std::string& out) {
  out.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.resize(maxBytes);
  in.read(out.data(), static_cast<std::streamsize>(maxBytes));
  if (in.bad()) return false;
  out.resize(static_cast<std::size_t>(in.gcount()));
  return true;
}
