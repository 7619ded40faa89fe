#include "link/OpenFailure.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string GroupName(gid_t gid) {
  std::vector<char> buf(16384);
  group g{};
  group* found = nullptr;
  if (getgrgid_r(gid, &g, buf.data(), buf.size(), &found) != 0 || !found || !found->gr_name) return {};
  return found->gr_name;
}

}  // namespace

std::string LockHolder(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  char id[64];
  std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5 0 EOF"; waiters carry a "->".
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, file;
    if (!(fields >> number >> kind) || kind == "->") continue;
    if (!(fields >> mode >> access >> pid >> file) || file != id) continue;
    std::string program;
    std::getline(std::ifstream("/proc/" + pid + "/comm"), program);
    return (program.empty() ? std::string("process ") : program + ", process ") + pid;
  }
  return {};
}

std::string PortOpenFailureReason(const std::string& name, int error, const fs::path& portMapDir) {
  if (error == 0) return {};
  const int com = ComNumber(name);
  if (error == ENOENT && MissingFromPortMap(name, portMapDir))
    return "Com" + std::to_string(com) + " is not in the port map: is the Writer's cable plugged in?";
  const std::string path = ResolvePort(name, portMapDir);
  const std::string port = com ? name + " (" + path + ")" : path;
  switch (error) {
    case EBUSY: {
      const std::string holder = LockHolder(path);
      return port + " is in use by another program" + (holder.empty() ? "" : " (" + holder + ")");
    }
    case ENOENT: {
      const fs::path link = portMapDir / ("com" + std::to_string(com));
      std::error_code ec;
      if (com && !fs::is_symlink(fs::symlink_status(link, ec)))
        return port + " does not exist; make " + link.string() + " a link to the Writer's serial device";
      return port + " does not exist: is the Writer's cable plugged in?";
    }
    case EACCES:
    case EPERM: {
      struct stat st {};
      const std::string group = ::stat(path.c_str(), &st) == 0 && st.st_gid != 0 ? GroupName(st.st_gid) : "";
      if (group.empty()) return "no permission to open " + port;
      return "no permission to open " + port + "; join the group " + group + " (usermod -aG " + group +
             " $USER) and log in again";
    }
    case ENOTTY: return port + " is not a serial device";
    case ENXIO:
    case ENODEV: return port + " has no device behind it: is the Writer's cable plugged in?";
    default: return port + ": " + std::strerror(error);
  }
}
