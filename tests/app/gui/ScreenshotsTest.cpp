// Pictures of the windows a new user meets first: the main window, the ID
// window (a blank ID, then one holding "AB") and the OPTION editor.
// scripts/screenshots.sh runs this on a virtual X server and keeps the
// pictures in the folder WRITER_SCREENSHOT_DIR names. As a test it checks
// that each window draws at its own size and that none is blank.

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QTest>
#include <filesystem>
#include <set>

#include "link/Clock.h"
#include "support/ScriptedPrompts.h"
#include "support/TestMainForm.h"
#include "views/IdChecksum.h"
#include "views/gui/TEditOption.h"
#include "views/gui/TIDChecksumForm.h"

namespace {

// Keeps the picture when a folder was asked for; checks it either way.
void Keep(QWidget& window, const char* name) {
  const QImage image = window.grab().toImage();
  EXPECT_EQ(image.size(), window.size() * window.devicePixelRatio()) << name;
  std::set<QRgb> colours;
  for (int y = 0; y < image.height() && colours.size() < 3; y += 3)
    for (int x = 0; x < image.width() && colours.size() < 3; x += 3) colours.insert(image.pixel(x, y));
  EXPECT_GE(colours.size(), 3u) << name << " draws nothing";
  const QString dir = qEnvironmentVariable("WRITER_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  std::filesystem::create_directories(dir.toStdString());
  const QString path = dir + "/" + name + ".png";
  EXPECT_TRUE(image.save(path)) << path.toStdString();
}

}  // namespace

TEST(Screenshots, MainWindowIdWindowAndOptionEditor) {
  ScriptedPrompts prompts;
  FakeClock clock;
  TestMainForm form(prompts, clock);
  form.resize(1024, 720);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.WindowTileItem2Click();
  QCoreApplication::processEvents();
  Keep(form, "main-window");

  auto* id = form.findChild<TIDChecksumForm*>();
  ASSERT_NE(id, nullptr);
  Keep(*id, "id-window-blank");
  StoreIdAsciiEntry(form.State(), U"AB");
  form.RecreateIdWindow();
  QCoreApplication::processEvents();
  id = form.findChild<TIDChecksumForm*>();
  ASSERT_NE(id, nullptr);
  Keep(*id, "id-window-ab");
  Keep(form, "main-window-ab");

  TEditOption editor(form.State(), &form);
  editor.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
  Keep(editor, "option-editor");
}
