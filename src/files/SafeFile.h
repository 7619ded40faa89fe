#pragma once
// Files the program rewrites are written beside the target under a temporary
// name and renamed over it, so a crash or a full disk never leaves a
// half-written file where a good one was.

#include <string>
#include <string_view>

// Writes bytes to path. On failure the old file (if any) is untouched, the
// temporary file is removed and error (when given) receives the system's reason.
bool WriteFileSafely(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// Reads at most maxBytes from the start of path. False when it cannot be opened or read.
bool ReadFileHead(const std::string& path, std::size_t maxBytes, std::string& out);
