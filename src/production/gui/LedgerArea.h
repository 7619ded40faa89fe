#pragma once
// The main window's part ledger: the choice of the Edit menu, the open
// ledger, the job its passes draw from and its line in the status bar.

#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/gui/TMainForm.h"
#include "production/Ledger.h"
#include "production/PassLedger.h"

class QLabel;

struct LedgerArea : AreaState {
  bool on = true;
  std::string location;            // as chosen; empty: the default file
  std::shared_ptr<Ledger> ledger;  // null: off, or it could not be opened
  std::string problem;             // why the chosen ledger is not open
  std::string job;                 // named in the serial-number dialog; empty: the image's name
  std::string jobImage;            // the image that name goes with
  std::string qtpFile;             // the QTP file loaded last, for a QTP job
  QLabel* status = nullptr;
  // What the status line shows after "Next", as the ledger last said: from
  // the passes' reports, or a query on a thread of its own (the window never
  // waits on the database). `asked` is what that answer was asked for.
  std::string next;
  std::string asked;
  bool opening = false;  // the chosen ledger is being opened on its own thread
  bool asking = false;   // the next number is being asked on its own thread
  int generation = 0;    // a later choice makes what an earlier one finds stale
  // Last: joined (a call on the database ends within its deadline) before the rest goes.
  std::jthread worker;
};

// Keys of Writer.ini.
inline constexpr const char* kLedgerOnKey = "LedgerOn";
inline constexpr const char* kLedgerKey = "Ledger";
inline constexpr const char* kLedgerJobKey = "LedgerJob";
inline constexpr const char* kLedgerJobImageKey = "LedgerJobImage";

// "Sequential, 2 bytes at 0100h, increment 1, MSB first"
std::string SerialSettingsText(const SerialNumberSettings& settings);
