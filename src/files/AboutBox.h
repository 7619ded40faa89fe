#pragma once
// Texts of the about box: version, operating system, installed memory.

#include <cstdint>
#include <string>

struct OsVersion {
  int platform = 0;  // 1: consumer family, 2: NT family, anything else: not listed
  int major = 0;
  int minor = 0;
  int build = 0;
  std::string servicePack;  // appended to the build number as it stands
};

// "Version " and the window title from its first "V".
std::string AboutVersionText(const std::string& windowTitle);
// Name of a listed system (may be empty), then " (Build major.minor.build<servicePack>)".
std::string AboutOsLine(const OsVersion& version);
// "<bytes / 1024> KB".
std::string AboutMemoryText(std::uint64_t bytes);

// The running system: the numbers of the kernel release and whatever follows them.
OsVersion OsVersionFromRelease(const std::string& release);
OsVersion CurrentOsVersion();
std::uint64_t InstalledMemoryBytes();  // 0 when the system does not say
