#pragma once
// The main window's part ledger: the choice of the Edit menu, the open
// ledger, the job its passes draw from and its line in the status bar.

#include <memory>
#include <set>
#include <string>

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
  std::set<std::string> portsRecovered;  // interrupted passes already reported
  std::string qtpFile;                   // the QTP file loaded last, for a QTP job
  // The Writer's use of the ledger while an Auto Program or force-write window is open.
  std::unique_ptr<PassLedger> pass;
  QLabel* status = nullptr;
};

// Keys of Writer.ini.
inline constexpr const char* kLedgerOnKey = "LedgerOn";
inline constexpr const char* kLedgerKey = "Ledger";
inline constexpr const char* kLedgerJobKey = "LedgerJob";
inline constexpr const char* kLedgerJobImageKey = "LedgerJobImage";

// "Sequential, 2 bytes at 0100h, increment 1, MSB first"
std::string SerialSettingsText(const SerialNumberSettings& settings);
