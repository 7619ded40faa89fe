#pragma once
// "Com1" ... "Com8" on this system: a per-user directory of links com1 ...
// com8 pointing at the real devices, like a DOS device map. A port the map
// does not name is missing; only where there is no map at all is ComN the
// machine's own /dev/ttyS<N-1>. Nothing is cached: every open looks afresh.

#include <filesystem>
#include <string>

// $XDG_CONFIG_HOME (else $HOME/.config) + "/qel-writer/ports".
std::filesystem::path PortMapDir();

// 1..8 for "Com1".."Com8" in any case; 0 for any other name (a device path).
int ComNumber(const std::string& name);

// "Com1".."Com8" (any case) -> the target of dir/"comN" when that link
// exists; empty when dir exists without it (the port is missing); else
// "/dev/ttyS<N-1>". Any other name unchanged.
std::string ResolvePort(const std::string& name, const std::filesystem::path& dir = PortMapDir());

bool PortMapExists(const std::filesystem::path& dir = PortMapDir());

// True for a ComN name that a port map exists for but does not name.
bool MissingFromPortMap(const std::string& name, const std::filesystem::path& dir = PortMapDir());
