#include "production/ProductionLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include <filesystem>

#include "app/MainState.h"
#include "files/SafeFile.h"

std::string Iso8601Utc(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}


namespace {

std::string Field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string CsvField(const std::string& text) { return Field(text); }

std::string ProductionLogLine(const ProductionLogEntry& e) {
  return Field(e.time) + ',' + Field(e.device) + ',' + Field(e.image) + ',' + Field(e.checksum) + ',' +
         Field(e.serial) + ',' + Field(e.qtpRecord) + ',' + Field(e.passCount) + ',' + Field(e.result);
}

namespace {

// The log opened for appending, or -1 with the reason. Only a regular file
// will do: a pipe or a device would hang or swallow the record.
int OpenLog(const std::string& path, struct stat& st, std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return -1;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (error) *error = "not a regular file";
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool ProductionLogWritable(const std::string& path, std::string* error) {
  struct stat st {};
  const int fd = OpenLog(path, st, error);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

bool AppendProductionLog(const std::string& path, const ProductionLogEntry& entry, std::string* error) {
  struct stat st {};
  const int fd = OpenLog(path, st, error);
  if (fd < 0) return false;
  const std::string text =
      (st.st_size == 0 ? std::string(kProductionLogHeader) + "\n" : std::string()) + ProductionLogLine(entry) + "\n";
  errno = 0;
  const bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  if (!ok) {
    const int why = errno ? errno : ENOSPC;
    if (error) *error = std::strerror(why);
    // All or nothing: a torn line would glue the next run's record to it.
    if (::ftruncate(fd, st.st_size) == 0) ::fsync(fd);
  }
  ::close(fd);
  return ok;
}

namespace {
constexpr std::string_view kLogKey = "ProductionLog=";
}

std::string SettingsPath(const std::string& startDir) {
  return (std::filesystem::path(startDir) / "Writer.ini").string();
}

std::string LoadProductionLogSetting(const std::string& startDir) {
  std::string text;
  if (!ReadFileHead(SettingsPath(startDir), 64 * 1024, text)) return {};
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, kLogKey.size()) == kLogKey) return std::string(line.substr(kLogKey.size()));
    at = end + 1;
  }
  return {};
}

bool SaveProductionLogSetting(const std::string& startDir, const std::string& logPath, std::string* error) {
  if (logPath.find_first_of("\r\n") != std::string::npos) {
    if (error) *error = "a file name with a line break";
    return false;
  }
  return WriteFileSafely(SettingsPath(startDir), std::string(kLogKey) + logPath + "\n", error);
}
