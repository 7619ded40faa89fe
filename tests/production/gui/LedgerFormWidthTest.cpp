// The ledger dialog keeps a sensible width whatever its texts say: a long
// error in its Job box wraps instead of widening the dialog.

#include <QLabel>

#include "ops/gui/ProgrammingFixture.h"
#include "production/WriterSettings.h"
#include "production/gui/TLedgerForm.h"

namespace {

class LedgerFormWidthTest : public ProgrammingTest {};

TEST_F(LedgerFormWidthTest, ALongErrorWrapsAndTheDialogKeepsItsWidth) {
  // A server the ledger cannot reach, behind a long socket folder: its error
  // names the folder, and more.
  const std::string folder = "/nonexistent/" + std::string(40, 'd') + "/socket folder of the production line";
  const std::string uri = "postgresql://line@/writer?host=" + folder;
  ASSERT_TRUE(SaveWriterSetting(std::filesystem::current_path().string(), "Ledger", uri, nullptr));
  ScriptedPrompts startup;
  TestMainForm window(startup, clock);
  ASSERT_EQ(window.CurrentLedger(), nullptr);

  TLedgerForm form(window);
  form.show();
  QCoreApplication::processEvents();
  const QLabel* job = form.JobText();
  const std::string text = job->text().toStdString();
  EXPECT_EQ(text.rfind("Job untitled: the ledger can't be opened (", 0), 0u) << text;
  EXPECT_GT(job->fontMetrics().horizontalAdvance(job->text()), 900);  // one line would be wider than the screen wants
  // Wrapped: the box is as wide as the fields, and tall enough for every line.
  EXPECT_TRUE(job->wordWrap());
  EXPECT_LE(form.width(), 720);
  EXPECT_GE(job->height(), job->heightForWidth(job->width()));
  EXPECT_LE(form.findChild<QLabel*>("DefaultPath")->width(), form.width());
}

}  // namespace
