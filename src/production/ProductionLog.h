#pragma once
// The production log: one CSV line per Auto Program pass, appended and
// flushed to the disk before the next pass starts, so a crash loses no
// earlier line. Columns: time (ISO 8601, UTC), device, image file, data
// checksum, serial number stamped, QTP record, pass count, result ("OK", or
// the failing stage and its message).

#include <chrono>
#include <string>


struct ProductionLogEntry {
  std::string time;
  std::string device;
  std::string image;
  std::string checksum;
  std::string serial;
  std::string qtpRecord;
  std::string passCount;
  std::string result;
};

inline constexpr const char* kProductionLogHeader =
    "time,device,image,checksum,serial,qtp_record,pass_count,result";

// "2026-12-07T23:59:01Z"
std::string Iso8601Utc(std::chrono::system_clock::time_point when);


// A CSV field: quoted (quotes doubled) when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

// The entry as one CSV line (no line end); fields with a comma, a quote or a
// line break are quoted.
std::string ProductionLogLine(const ProductionLogEntry& entry);

// Before a batch: the log can be appended to (a new file is created empty).
bool ProductionLogWritable(const std::string& path, std::string* error);

// Appends the line (and the header first, to a new or empty file) and flushes
// it to the disk. False with the reason when the file cannot be written; the
// file is then as it was (a full disk leaves no half line).
bool AppendProductionLog(const std::string& path, const ProductionLogEntry& entry, std::string* error);

// The window's choice of log lives in a settings file of the program's own,
// "Writer.ini" beside Default.cfg, so Default.cfg keeps the form every reader
// of it expects. Empty: no log.
std::string SettingsPath(const std::string& startDir);
std::string LoadProductionLogSetting(const std::string& startDir);
bool SaveProductionLogSetting(const std::string& startDir, const std::string& logPath, std::string* error);
