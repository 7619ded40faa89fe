#include "production/WriterSettings.h"

#include <sstream>
#include <vector>

#include "files/SafeFile.h"
#include "production/ProductionLog.h"

namespace {

constexpr std::size_t kMaxSettings = 64 * 1024;

std::vector<std::string> Lines(const std::string& startDir) {
  std::string text;
  std::vector<std::string> lines;
  if (!ReadFileHead(SettingsPath(startDir), kMaxSettings, text)) return lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool IsKey(const std::string& line, const std::string& key) {
  return line.size() > key.size() && line.compare(0, key.size(), key) == 0 && line[key.size()] == '=';
}

}  // namespace

std::optional<std::string> LoadWriterSetting(const std::string& startDir, const std::string& key) {
  for (const std::string& line : Lines(startDir))
    if (IsKey(line, key)) return line.substr(key.size() + 1);
  return std::nullopt;
}

bool SaveWriterSetting(const std::string& startDir, const std::string& key, const std::string& value,
                       std::string* error) {
  if (value.find_first_of("\r\n") != std::string::npos) {
    if (error) *error = "a value with a line break";
    return false;
  }
  std::string text;
  bool set = false;
  for (const std::string& line : Lines(startDir)) {
    if (IsKey(line, key)) {
      if (set) continue;
      text += key + '=' + value + '\n';
      set = true;
    } else {
      text += line + '\n';
    }
  }
  if (!set) text += key + '=' + value + '\n';
  return WriteFileSafely(SettingsPath(startDir), text, error);
}
