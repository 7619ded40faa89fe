#include "files/AboutBox.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <cctype>

std::string AboutVersionText(const std::string& windowTitle) {
  std::size_t v = windowTitle.find('V');
  return "Version " + (v == std::string::npos ? windowTitle : windowTitle.substr(v));
}

std::string AboutOsLine(const OsVersion& version) {
  std::string name;
  if (version.platform == 1) {
    if (version.minor == 10) name = "Windows 98";
    else if (version.minor == 90) name = "Windows me";
    else if (version.minor == 0) name = "Windows 95";
  } else if (version.platform == 2) {
    if (version.minor == 1) name = "Windows XP";
    else if (version.minor == 0) name = "Windows 2000";
    else if (version.minor == 10) name = "Windows NT";
  }
  return name + " (Build " + std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.build) + version.servicePack + ")";
}

std::string AboutMemoryText(std::uint64_t bytes) { return std::to_string(bytes / 1024) + " KB"; }

OsVersion OsVersionFromRelease(const std::string& release) {
  OsVersion v;
  int* parts[] = {&v.major, &v.minor, &v.build};
  std::size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    std::size_t start = pos;
    long long n = 0;
    while (pos < release.size() && std::isdigit(static_cast<unsigned char>(release[pos])) && pos - start < 9)
      n = n * 10 + (release[pos++] - '0');
    if (pos == start) break;
    *parts[i] = static_cast<int>(n);
    if (i < 2 && pos + 1 < release.size() && release[pos] == '.' &&
        std::isdigit(static_cast<unsigned char>(release[pos + 1])))
      ++pos;
    else
      break;
  }
  v.servicePack = release.substr(pos);
  return v;
}

OsVersion CurrentOsVersion() {
  utsname u{};
  if (uname(&u) != 0) return {};
  return OsVersionFromRelease(u.release);
}

std::uint64_t InstalledMemoryBytes() {
  struct sysinfo info {};
  if (sysinfo(&info) != 0) return 0;
  return static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
}
