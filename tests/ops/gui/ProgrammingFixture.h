#pragma once
// The main window with an image worth programming: data in every word, two
// RTIW words for a serial number at 0x100, a valid OPTION word, an ID and its
// checksum. The emulated socket holds a blank part of the first device.

#include <QAction>

#include "app/MainState.h"
#include "ops/Operation.h"
#include "ops/gui/OperationWindowFixture.h"
#include "support/SerialWords.h"

// Words of the image: none blank, none an RTIW word but the serial words.
inline std::uint16_t ImageWord(int n) { return static_cast<std::uint16_t>(0x2800 | (n & 0xFF)); }

// Puts that image into the main window's state.
inline void LoadProgrammingImage(TMainForm& main) {
  MainState& s = main.State();
  for (int n = 0; n < s.ProgramWords(); ++n) s.SetProgramWord(n, ImageWord(n));
  for (int i = 0; i < 2; ++i) s.SetProgramWord(kSerialWord + i, 0x3100);
  s.OptionLow = 0x1A;   // OST 20mS
  s.OptionHigh = 0x4B;  // WDT and PED off, security off
  for (int i = 0; i < 12; ++i) s.IdBuffer[i] = static_cast<std::uint8_t>(0x41 + i);
  main.RefreshData();
  main.CalChecksum();
  EXPECT_EQ(s.OptionErrors, 0);
}

class ProgrammingTest : public OperationWindowTest {
 protected:
  TMainForm& Loaded() {
    LoadProgrammingImage(Main());
    return Main();
  }

  void SerialNumbers() { UseSerialNumbers(Main().State()); }

  void FreshPart() { emulator.SetIc(*IcDescription::ForDevice("K7E1/E3")); }

  // The serial number the emulated part carries.
  int PartSerial() const {
    return ((emulator.ProgramWord(kSerialWord) & 0xFF) << 8) | (emulator.ProgramWord(kSerialWord + 1) & 0xFF);
  }

  bool SingleAreaEnabled(const char* item) { return Main().CommandAction(item)->isEnabled(); }

  // What an operation window showed at its worker's end.
  struct Shown {
    std::string caption, title;
    Texts lines;
    bool operator==(const Shown&) const = default;
  };
  friend void PrintTo(const Shown& s, std::ostream* os) {
    *os << s.caption << " / " << s.title << " /";
    for (const std::string& line : s.lines) *os << " [" << line << "]";
  }
  // Runs a command to its worker's end and closes the window with `button`.
  Shown RunOnce(const std::function<void()>& command, const char* button = "Button1") {
    Shown out;
    EXPECT_TRUE(RunCommand(command, [&](QDialog& d) {
      auto& w = dynamic_cast<TOperationForm&>(d);
      ASSERT_TRUE(WaitPass(w));
      out = {w.windowTitle().toStdString(), w.Label("StaticText1")->text().toStdString(), ShownLines(w)};
      EXPECT_TRUE(w.Button(button)->isEnabled());
      w.Button(button)->click();
    }));
    return out;
  }

  static bool WaitPass(TOperationForm& w) {
    QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
    return finished.wait(20000);
  }
};
