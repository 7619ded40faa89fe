#pragma once
// The program's own settings file, "Writer.ini" beside Default.cfg: one
// "Key=value" line per choice of the window (the production log, the part
// ledger), so Default.cfg keeps the form every reader of it expects.

#include <optional>
#include <string>

// The value of `key`, or nullopt when the file has no such line.
std::optional<std::string> LoadWriterSetting(const std::string& startDir, const std::string& key);
// Sets `key` (other keys kept), writing the file safely. False with the reason.
bool SaveWriterSetting(const std::string& startDir, const std::string& key, const std::string& value,
                       std::string* error);
