// A panel that writer-cli reuses for every pass of a batch keeps the window's
// state but no history, so a batch of thousands of parts does not grow.

#include <gtest/gtest.h>

#include "ops/AutoProgramWorker.h"
#include "ops/RecordingPanel.h"

namespace {

TEST(BatchPanel, KeepsTheWindowButNoHistory) {
  RecordingPanel batch(AutoProgramLayout(), false);
  RecordingPanel window(AutoProgramLayout());
  for (RecordingPanel* p : {&batch, &window}) {
    for (int pass = 0; pass < 100; ++pass) {
      AutoProgramContinueReset(*p);
      for (int j = 0; j < 64; ++j) p->SetText("Label3", HexDigits(j * 16, 4));
      p->SetGauge(pass % 100);
      p->Red("Label2", "Data program fail !!");
    }
  }
  EXPECT_TRUE(batch.Transcript().empty());
  EXPECT_TRUE(batch.GaugeHistory().empty());
  EXPECT_EQ(window.GaugeHistory().size(), 100u);
  // What is shown is the same either way.
  EXPECT_EQ(batch.Lines(), window.Lines());
  EXPECT_EQ(batch.Text("Label3"), "03F0");
  EXPECT_TRUE(batch.IsRed("Label2"));
  batch.Message("QTP Program Finished!");
  EXPECT_EQ(batch.Messages().size(), 1u);
}

}  // namespace
