#include "link/PortMap.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path HomeDir() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* result = nullptr;
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
    return result->pw_dir;
  return "/";
}

}  // namespace

int ComNumber(const std::string& name) {
  if (name.size() != 4) return 0;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  if (lower(name[0]) != 'c' || lower(name[1]) != 'o' || lower(name[2]) != 'm') return 0;
  return (name[3] >= '1' && name[3] <= '8') ? name[3] - '0' : 0;
}

fs::path PortMapDir() {
  fs::path base;
  // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg && fs::path(xdg).is_absolute())
    base = xdg;
  else
    base = HomeDir() / ".config";
  return base / "qel-writer" / "ports";
}

std::string ResolvePort(const std::string& name, const fs::path& dir) {
  const int n = ComNumber(name);
  if (n == 0) return name;
  const fs::path link = dir / ("com" + std::to_string(n));
  std::error_code ec;
  const fs::file_status entry = fs::symlink_status(link, ec);
  if (fs::is_symlink(entry)) {
    fs::path target = fs::read_symlink(link, ec);
    if (!ec) return (target.is_relative() ? dir / target : target).string();
  }
  if (fs::exists(entry)) return link.string();  // a device node kept in the map itself
  // With a map, a port it does not name is missing (its Writer unplugged),
  // never whatever serial port the machine happens to have.
  if (PortMapExists(dir)) return {};
  return "/dev/ttyS" + std::to_string(n - 1);
}

bool PortMapExists(const fs::path& dir) {
  std::error_code ec;
  return fs::is_directory(dir, ec);
}

bool MissingFromPortMap(const std::string& name, const fs::path& dir) {
  return ComNumber(name) != 0 && ResolvePort(name, dir).empty();
}
