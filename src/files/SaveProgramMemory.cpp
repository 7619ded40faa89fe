#include "files/SaveProgramMemory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

std::vector<std::uint8_t> ProgramImageBytes(const MainState& state) {
  std::vector<std::uint8_t> image(kProgramBufferBytes);
  for (std::size_t at = 0; at + 1 < image.size(); at += 2) {
    const std::uint8_t lo = state.ProgramBuffer[at];
    const std::uint8_t hi = state.ProgramBuffer[at + 1];
    image[at] = static_cast<std::uint8_t>((lo & 0x7F) + ((hi & 1) ? 0x80 : 0));
    image[at + 1] = (hi & 0x7F) >> 1;
  }
  return image;
}

bool WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (path.empty()) return false;
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      ok = errno == EINTR;
      continue;
    }
    done += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  // A replaced file keeps its permissions; a new one gets the usual ones, not the
  // private ones of a temporary file.
  struct stat old {};
  mode_t mode = 0;
  if (::stat(path.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ok = ok && ::fchmod(fd, mode) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

std::vector<std::uint8_t> DeviceImageBytes(const MainState& state) {
  std::vector<std::uint8_t> image = ProgramImageBytes(state);
  image.resize(static_cast<std::size_t>(std::clamp(state.ProgramWords() * 2, 0, kProgramBufferBytes)));
  return image;
}

bool SaveProgramImage(const MainState& state, const std::string& path) {
  return WriteFileReplacing(path, DeviceImageBytes(state));
}
