#pragma once
// The download of the Writer's device list: an opening record, then one
// 25-byte record for every ticked row of the device-select window, numbered
// from 1 in list order. Also the list rules of that window, free of any GUI.

#include <string>
#include <vector>

#include "ops/Operation.h"
#include "ops/OperationPanel.h"

struct MainState;

inline constexpr int kDownloadListMaxRows = 64;
inline constexpr int kDownloadMaxTicked = 16;
inline constexpr int kDownloadRecordBytes = 25;
inline constexpr int kOpeningRecord = 0xFF;
inline constexpr const char* kDownloadLimitText = "Already selected 16 devices";

// Rows the window lists: from row 0, at most 64, up to the first nameless row.
int DownloadListRows();
// Ticks as the window opens: rows marked for download by default, at most 16.
std::vector<bool> DefaultDownloadTicks();

// The window's ticks under the rule of at most 16.
class DownloadSelection {
 public:
  DownloadSelection();  // the listed rows with their default ticks

  int Rows() const { return static_cast<int>(ticks_.size()); }
  int TickedCount() const { return count_; }
  bool IsTicked(int row) const { return row >= 0 && row < Rows() && ticks_[row]; }
  const std::vector<bool>& Ticks() const { return ticks_; }
  // The user ticked or unticked a row. False when a 17th tick is refused: the
  // row stays unticked and the window shows kDownloadLimitText.
  bool SetTicked(int row, bool ticked);

 private:
  std::vector<bool> ticks_;
  int count_ = 0;
};

// Fills CommandHeader bytes 0-24 with the record of the device whose
// parameters are in state, numbered recordNumber; kOpeningRecord gives the
// opening record, which carries no device.
void BuildDownloadRecord(MainState& state, int recordNumber);

// The device-select window: no status lines, its two buttons and the gauge.
const OperationLayout& DownloadLayout();
// ticked: one entry per listed row, in row order; missing entries are unticked.
// A record the Writer did not take ends the download with a message box.
Outcome DownloadWorker(OperationContext& ctx, const std::vector<bool>& ticked);
