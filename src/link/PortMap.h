#pragma once
// "Com1" ... "Com8" on this system: a per-user directory of links com1 ...
// com8 pointing at the real devices, like a DOS device map. Without a link,
// ComN is /dev/ttyS<N-1>.

#include <filesystem>
#include <string>

// $XDG_CONFIG_HOME (else $HOME/.config) + "/qel-writer/ports".
std::filesystem::path PortMapDir();

// 1..8 for "Com1".."Com8" in any case; 0 for any other name (a device path).
int ComNumber(const std::string& name);

// "Com1".."Com8" (any case) -> the target of dir/"comN" when that link exists,
// else "/dev/ttyS<N-1>"; any other name unchanged.
std::string ResolvePort(const std::string& name, const std::filesystem::path& dir = PortMapDir());
