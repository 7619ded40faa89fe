#include "link/PortList.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "link/OpenFailure.h"

namespace fs = std::filesystem;

std::string PortState(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return "missing";
  // A holder's lock tells without opening the line.
  if (!LockHolder(path).empty()) return "busy";
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case EBUSY: return "busy";
      case EACCES:
      case EPERM: return "no permission";
      default: return "missing";  // a device node without hardware behind it
    }
  }
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return locked ? "free" : "busy";
}

std::vector<std::string> PortListing(const fs::path& portMapDir, const fs::path& byIdDir) {
  std::vector<std::string> lines;
  for (int n = 1; n <= 8; ++n) {
    const std::string name = "Com" + std::to_string(n);
    const std::string target = ResolvePort(name, portMapDir);
    if (target.empty()) {
      lines.push_back(name + " -> not in the port map");
      continue;
    }
    std::string line = name + " -> " + target + " " + PortState(target);
    std::error_code ec;
    const fs::path device = fs::canonical(target, ec);
    if (!ec) {
      for (const auto& entry : fs::directory_iterator(byIdDir, ec)) {
        std::error_code same;
        if (fs::canonical(entry.path(), same) == device && !same) {
          line += " " + entry.path().string();
          break;
        }
      }
    }
    lines.push_back(line);
  }
  return lines;
}
