#pragma once
// writer-cli --json: one JSON object per operation (per pass of auto-program
// and force-write), one object per line of standard output.
//
//   {"command":"blank-check","port":"/dev/pts/3","device":"K7E1/E3","image":null,"checksum":"Blank",
//    "outcome":{"stage":"blank_check","result":"ok","verdict":"none","link":null,"address":null,
//               "ic":null,"buffer":null,"text":null,"lines":["OPTION ....... OK",...],"messages":[]},
//    "serial":null,"pass_count":null,"started":"2026-01-05T09:30:00Z","ended":"2026-01-05T09:30:01Z"}

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ops/Outcome.h"

// With several Writers every object starts with the Writer's name as given:
//   {"writer":"Com2","command":"auto-program",...}
struct OperationReport {
  std::optional<std::string> writer;  // several Writers: "Com2" or the path
  std::string command;              // "auto-program"
  std::optional<std::string> port;  // the port used; none when the command needs no Writer
  std::string device;
  std::string image;                // the loaded file; empty: none
  std::string checksum;             // the data checksum the operation worked with
  Outcome outcome;
  bool staged = true;               // false for a file tool: no stage of a Writer operation
  std::vector<std::string> lines;     // the window's lines, as writer-cli prints them
  std::vector<std::string> messages;  // message boxes shown during the operation
  std::optional<std::string> serial;      // the serial number the part got
  std::optional<std::string> passCount;   // the pass count after an Auto Program or force-write pass
  std::chrono::system_clock::time_point started, ended;
};

// The object as one line, without the line end.
std::string JsonLine(const OperationReport& report);
