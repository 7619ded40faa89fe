// The serial-number and counter set-up dialogs: what each field takes, what
// leaving a field does, and the OK, "Disable Serial Mode" and "QTP File"
// paths with their messages.

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <fstream>

#include "production/QtpFile.h"
#include "files/SafeFile.h"
#include "ops/gui/ProgrammingFixture.h"
#include "production/gui/TCounterSetupForm.h"
#include "production/gui/TSerialNoSetupForm.h"
#include "views/gui/ModalDialogs.h"
#include "views/gui/TMDIChild.h"

namespace {

// What the user has typed into the serial-number dialog.
struct Fields {
  const char* startAddress = "0100";
  const char* noOfByte = "2";
  const char* startValue = "0005";
  const char* increment = "1";
  const char* noOfPart = "3";
  bool random = false;
  bool lsbFirst = false;
};

void Fill(TSerialNoSetupForm& form, const Fields& f) {
  form.Field("StartValue")->setMaxLength(16);  // as before the byte count was left
  const std::pair<const char*, const char*> texts[] = {{"StartAddress", f.startAddress},
                                                       {"NoOfByte", f.noOfByte},
                                                       {"StartValue", f.startValue},
                                                       {"Increment", f.increment},
                                                       {"NoOfPart", f.noOfPart}};
  for (const auto& [name, text] : texts) form.Field(name)->setText(text);
  form.RadioGroup1()->button(f.random ? 1 : 0)->setChecked(true);
  form.RadioGroup2()->button(f.lsbFirst ? 1 : 0)->setChecked(true);
}

class SetupDialogsTest : public ProgrammingTest {
 protected:
  std::string Path(const char* name) const { return (std::filesystem::current_path() / name).string(); }
};

TEST_F(SetupDialogsTest, SerialFieldsTakeOnlyTheirKeys) {
  struct Keys {
    const char* field;
    const char* typed;
    const char* shown;
  };
  const Keys cases[] = {
      {"StartAddress", "1a2g3", "1A23"}, {"StartAddress", "12345", "1234"}, {"NoOfByte", "0927", "2"},
      {"StartValue", "xa1b", "A1"},      {"Increment", "1x2-34", "123"},    {"NoOfPart", "12a34567", "123456"},
  };
  TSerialNoSetupForm form(Loaded());
  for (const Keys& k : cases) {
    SCOPED_TRACE(std::string(k.field) + " " + k.typed);
    QLineEdit* edit = form.Field(k.field);
    edit->clear();
    QTest::keyClicks(edit, k.typed);
    EXPECT_EQ(edit->text().toStdString(), k.shown);
  }
  // Pasted text is held to the same rules.
  QLineEdit* address = form.Field("StartAddress");
  address->clear();
  QApplication::clipboard()->setText("ab");
  address->paste();
  EXPECT_EQ(address->text(), "AB");
  QApplication::clipboard()->setText("x");
  address->paste();
  EXPECT_EQ(address->text(), "AB");
}

TEST_F(SetupDialogsTest, LeavingAFieldTidiesIt) {
  struct Exit {
    const char* name;
    Fields fields;
    void (TSerialNoSetupForm::*handler)();
    const char* field;
    const char* shown;
  };
  const Exit cases[] = {
      {"address padded", {.startAddress = "1F"}, &TSerialNoSetupForm::StartAddressExit, "StartAddress", "001F"},
      {"address empty", {.startAddress = ""}, &TSerialNoSetupForm::StartAddressExit, "StartAddress", "0000"},
      {"value cut from the left", {.noOfByte = "2", .startValue = "12345678"}, &TSerialNoSetupForm::NoOfByteExit,
       "StartValue", "5678"},
      {"value padded", {.noOfByte = "3", .startValue = "AB"}, &TSerialNoSetupForm::NoOfByteExit, "StartValue",
       "0000AB"},
      {"byte count empty", {.noOfByte = "", .startValue = "1234"}, &TSerialNoSetupForm::NoOfByteExit, "NoOfByte",
       "1"},
      {"byte count empty cuts to one byte", {.noOfByte = "", .startValue = "1234"},
       &TSerialNoSetupForm::NoOfByteExit, "StartValue", "34"},
      {"random all ones", {.startValue = "FFFF", .random = true}, &TSerialNoSetupForm::StartValueExit,
       "StartValue", "0000"},
      {"sequential all ones", {.startValue = "FFFF"}, &TSerialNoSetupForm::StartValueExit, "StartValue", "FFFF"},
      {"random short all ones", {.startValue = "FF", .random = true}, &TSerialNoSetupForm::StartValueExit,
       "StartValue", "00FF"},
      {"increment zero", {.increment = "0"}, &TSerialNoSetupForm::IncrementExit, "Increment", "1"},
      {"increment empty", {.increment = ""}, &TSerialNoSetupForm::IncrementExit, "Increment", "1"},
      {"increment kept", {.increment = "25"}, &TSerialNoSetupForm::IncrementExit, "Increment", "25"},
      {"parts zero", {.noOfPart = "000"}, &TSerialNoSetupForm::NoOfPartExit, "NoOfPart", "1"},
      {"parts empty", {.noOfPart = ""}, &TSerialNoSetupForm::NoOfPartExit, "NoOfPart", "1"},
  };
  TSerialNoSetupForm form(Loaded());
  for (const Exit& c : cases) {
    SCOPED_TRACE(c.name);
    Fill(form, c.fields);
    (form.*c.handler)();
    EXPECT_EQ(form.Field(c.field)->text().toStdString(), c.shown);
  }
  Fill(form, {.noOfByte = "3"});
  form.NoOfByteExit();
  EXPECT_EQ(form.Field("StartValue")->maxLength(), 6);
}

TEST_F(SetupDialogsTest, FieldsAreTidiedWhenTheUserMovesOn) {
  TSerialNoSetupForm form(Loaded());
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QLineEdit* address = form.Field("StartAddress");
  address->setFocus(Qt::TabFocusReason);
  address->clear();
  QTest::keyClicks(address, "2f");
  form.Field("NoOfByte")->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(address->text(), "002F");

  // The increment only counts for the sequential mode.
  EXPECT_TRUE(form.Field("Increment")->isEnabled());
  form.RadioGroup1()->button(1)->click();
  EXPECT_FALSE(form.Field("Increment")->isEnabled());
  form.RadioGroup1()->button(0)->click();
  EXPECT_TRUE(form.Field("Increment")->isEnabled());
}

TEST_F(SetupDialogsTest, OpensWithTheStoredSettings) {
  MainState& s = Loaded().State();
  s.SerialAddress = 0x1A;
  s.SerialLength = 3;
  s.SerialValue = {0x56, 0x34, 0x12};
  s.SerialStep = 7;
  s.SerialRandom = 1;
  TSerialNoSetupForm form(Main());
  QStringList texts;
  for (const char* name : {"StartAddress", "NoOfByte", "StartValue", "Increment", "NoOfPart"})
    texts << form.Field(name)->text();
  EXPECT_EQ(texts, (QStringList{"001A", "3", "123456", "7", "1"}));
  EXPECT_EQ(form.Field("StartValue")->maxLength(), 6);
  EXPECT_FALSE(form.Field("Increment")->isEnabled());
  EXPECT_EQ(form.RadioGroup1()->checkedId(), 1);
  EXPECT_EQ(form.RadioGroup2()->checkedId(), 0);
}

TEST_F(SetupDialogsTest, OkRefusesWhatItCannotUseAndKeepsTheSettings) {
  struct Refusal {
    Fields fields;
    const char* message;
    const char* incrementAfter;
  };
  const Refusal cases[] = {
      {{.noOfByte = ""}, "\"No. of Byte\" is not a valid value!!", "1"},
      {{.increment = ""}, " \"Increment\" is not a valid value!!", ""},
      {{.increment = "0"}, " \"Increment\" is not a valid value!!", ""},
      {{.increment = "256"}, " \"Increment\" is not a valid value!!", ""},
      {{.noOfByte = "1", .startValue = "1234"}, "Start value overflow!!", "1"},
      // Typed without leaving the field, which would have cleared it.
      {{.startValue = "FFFF", .random = true},
       "Pseudo-random serial numbers cannot start at FFFF: the sequence never leaves it", "1"},
  };
  MainState& s = Loaded().State();
  SerialNumbers();
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.message);
    prompts.messages.clear();
    TSerialNoSetupForm form(Main());
    Fill(form, c.fields);
    form.BitBtn1Click();
    EXPECT_EQ(prompts.Texts(), Texts{c.message});
    EXPECT_NE(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Field("Increment")->text().toStdString(), c.incrementAfter);
    EXPECT_EQ(s.SerialMode, 1);
    EXPECT_EQ(s.SerialValue[0], 0x34);
  }

  // Words that are program code turn the mode off rather than take a number.
  prompts.messages.clear();
  TSerialNoSetupForm form(Main());
  Fill(form, {.startAddress = "0FF"});
  form.BitBtn1Click();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "The program memory is not 'RTIW'. Serial No. will be disable!");
  EXPECT_EQ(prompts.messages[0].caption, "Error");
  EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);
  EXPECT_NE(form.result(), QDialog::Accepted);
  EXPECT_EQ(s.SerialMode, 0);
  EXPECT_EQ(s.SerialAddress, kSerialWord);
}

TEST_F(SetupDialogsTest, OkTurnsTheModeOnAndDisableTurnsItOff) {
  MainState& s = Loaded().State();
  Main().ProgramMemory1Click();
  Main().ShowPanel();
  EXPECT_TRUE(SingleAreaEnabled("ProgramMemory2"));

  OnNextModal<TSerialNoSetupForm>([](TSerialNoSetupForm* form) {
    Fill(*form, {.startValue = "12ab", .increment = "3", .lsbFirst = true});
    QTest::mouseClick(form->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
  });
  Main().SerialNoMode1Click();
  // The ledger's job for these settings is new.
  EXPECT_EQ(prompts.Texts(), Texts{"New job untitled: serial numbers from 12AB"});
  prompts.messages.clear();
  EXPECT_EQ(s.SerialMode, 1);
  EXPECT_EQ(s.SerialAddress, kSerialWord);
  EXPECT_EQ(s.SerialLength, 2);
  EXPECT_EQ(s.SerialValue[0], 0xAB);
  EXPECT_EQ(s.SerialValue[1], 0x12);
  EXPECT_EQ(s.SerialStep, 3);
  EXPECT_EQ(s.SerialLsbFirst, 1);
  // Stamped least significant byte first; bit 7 of a byte is bit 0 of its word's second byte.
  EXPECT_EQ(s.ProgramWord(kSerialWord), 0x31AB);
  EXPECT_EQ(s.ProgramWord(kSerialWord + 1), 0x3112);
  EXPECT_EQ(PanelLabel("Label15")->text(), "12AB");
  EXPECT_EQ(PanelLabel("Label1")->text(), "Enable");
  EXPECT_EQ(PanelLabel("Label11")->text().toStdString(), s.Panel.Label11);
  const auto views = Main().MdiArea()->findChildren<TMDIChild*>();
  ASSERT_EQ(views.size(), 1);
  EXPECT_EQ(views[0]->Model()->CellText(kSerialWord / 8, kSerialWord % 8), "31AB");
  for (const char* item : {"ProgramMemory2", "ID3", "OPTION3"}) EXPECT_FALSE(SingleAreaEnabled(item)) << item;
  // The timer keeps them so.
  Main().Timer1Timer();
  EXPECT_FALSE(SingleAreaEnabled("ID3"));

  s.SimMode = 1;
  OnNextModal<TSerialNoSetupForm>([](TSerialNoSetupForm* form) {
    QTest::mouseClick(form->findChild<QPushButton*>("BitBtn3"), Qt::LeftButton);
  });
  Main().SerialNoMode1Click();
  EXPECT_EQ(s.SerialMode, 0);
  EXPECT_EQ(s.SimMode, 0);
  EXPECT_EQ(Main().CommandAction("SpeedButton1")->text(), "QTP Sim Disable");
  EXPECT_EQ(PanelLabel("Label1")->text(), "Disable");
  for (const char* item : {"ProgramMemory2", "ID3", "OPTION3"}) EXPECT_TRUE(SingleAreaEnabled(item)) << item;

  // Abort changes nothing.
  OnNextModal<TSerialNoSetupForm>([](TSerialNoSetupForm* form) {
    Fill(*form, {.startValue = "7777"});
    form->findChild<QPushButton*>("BitBtn2")->click();
  });
  Main().SerialNoMode1Click();
  EXPECT_EQ(s.SerialValue[0], 0xAB);
  EXPECT_EQ(s.SerialMode, 0);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SetupDialogsTest, OkWithOtherSettingsThanTheJobsAsksForANewJob) {
  MainState& s = Loaded().State();
  const auto ok = [&](const Fields& fields) {
    prompts.messages.clear();
    TSerialNoSetupForm form(Main());
    Fill(form, fields);
    form.BitBtn1Click();
    return form.result() == QDialog::Accepted;
  };
  ASSERT_TRUE(ok({}));
  EXPECT_EQ(prompts.Texts(), Texts{"New job untitled: serial numbers from 0005"});

  // Another increment is another sequence: cancelling the name keeps the dialog and the settings.
  EXPECT_FALSE(ok({.increment = "2"}));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].caption, "New job");
  EXPECT_NE(prompts.messages[0].text.find("Job untitled"), std::string::npos) << prompts.messages[0].text;
  EXPECT_EQ(s.SerialStep, 1);

  prompts.texts = {"untitled-b"};
  ASSERT_TRUE(ok({.startValue = "0100", .increment = "2"}));
  EXPECT_EQ(prompts.LastText(), "New job untitled-b: serial numbers from 0100");
  EXPECT_EQ(Main().LedgerJobName(), "untitled-b");
  EXPECT_EQ(s.SerialStep, 2);
  Main().ShowPanel();  // as the menu command does after the dialog
  EXPECT_EQ(Main().LedgerStatusText().rfind("Job untitled-b ", 0), 0u) << Main().LedgerStatusText();

  // The job's settings again with another start: the job's next number rules.
  ASSERT_TRUE(ok({.startValue = "0300", .increment = "2"}));
  EXPECT_EQ(prompts.Texts(),
            Texts{"Job untitled-b goes on from 0100: a start value counts only when its job is created"});
  EXPECT_EQ(s.Panel.Label15, "0100");
}

TEST_F(SetupDialogsTest, SimulationEndsWithSerialNumberMode) {
  MainState& s = Loaded().State();
  SerialNumbers();
  Main().SpeedButton1Click();
  EXPECT_EQ(s.SimMode, 1);
  // As a configuration or a finished QTP run leaves it.
  s.SerialMode = 0;
  Main().ShowPanel();
  EXPECT_EQ(s.SimMode, 0);
  EXPECT_EQ(Main().CommandAction("SpeedButton1")->text(), "QTP Sim Disable");
}

TEST_F(SetupDialogsTest, QtpFileWritesOneRecordAPartAfterItsChecks) {
  MainState& s = Loaded().State();
  auto expected = std::make_unique<MainState>();
  expected->SerialAddress = kSerialWord;
  expected->SerialValue = {0x05, 0x00};
  expected->SerialLength = 2;
  const std::string records = QtpFileText(*expected, 3);
  // Typed without an extension, the name gets ".txt"; that file exists.
  const std::string typed = Path("parts"), path = typed + ".txt";
  std::ofstream(path) << "old";
  const struct {
    const char* name;
    Fields fields;
    std::optional<FileChoice> file;
    std::optional<PromptAnswer> answer;
    Texts messages;
    int valueAfter;  // settings are stored once the counts check out
  } cases[] = {
      {"replace refused", {}, FileChoice{typed, 1}, PromptAnswer::No, {"File Exists, Replace?"}, 0x05},
      {"another filter", {}, FileChoice{typed, 0}, {}, {"File can't be saved!"}, 0x05},
      {"cancelled", {}, std::nullopt, {}, {}, 0x05},
      {"no parts", {.noOfPart = "0"}, FileChoice{typed, 1}, {}, {"\"No. of Parts\" value overflow!"}, 0x11},
      {"too many parts", {.noOfPart = "100001"}, FileChoice{typed, 1}, {}, {"\"No. of Parts\" value overflow!"},
       0x11},
      {"bad increment", {.increment = "300"}, FileChoice{typed, 1}, {}, {" \"Increment\" is not a valid value!!"},
       0x11},
      {"not RTIW", {.startAddress = "0200"}, FileChoice{typed, 1}, {},
       {"The program memory is not 'RTIW'. Serial No. will be disable!"}, 0x05},
      {"replaced", {}, FileChoice{typed, 1}, PromptAnswer::Yes, {"File Exists, Replace?"}, 0x08},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool written = c.answer == PromptAnswer::Yes;
    prompts.messages.clear();
    prompts.files = {c.file};
    prompts.answers.clear();
    if (c.answer) prompts.answers.push_back(*c.answer);
    s.SerialValue = {0x11, 0x22};
    TSerialNoSetupForm form(Main());
    Fill(form, c.fields);
    form.BitBtn4Click();
    EXPECT_EQ(prompts.Texts(), c.messages);
    std::string text;
    ASSERT_TRUE(ReadFileHead(path, 1 << 16, text));
    EXPECT_EQ(text, written ? records : "old");
    EXPECT_EQ(form.result() == QDialog::Accepted, written);
    // The number moves past the file's last record only once the file is written.
    EXPECT_EQ(s.SerialValue[0], c.valueAfter);
  }
  ASSERT_FALSE(prompts.fileRequests.empty());
  EXPECT_EQ(prompts.fileRequests[0].filterIndex, 1);
  EXPECT_EQ(prompts.fileRequests[0].filters.at(1).pattern, "*.txt");
  EXPECT_EQ(s.SerialMode, 0);
}

TEST_F(SetupDialogsTest, CounterTakesDigitsBackspaceAndDeleteOnly) {
  MainState& s = Main().State();
  s.Panel.Label13 = "5";
  OnNextModal<TCounterSetupForm>([](TCounterSetupForm* form) {
    QLineEdit* edit = form->Edit1();
    EXPECT_EQ(form->windowTitle(), "Counter Setup");
    EXPECT_EQ(edit->text(), "5");
    EXPECT_TRUE(edit->isReadOnly());
    edit->selectAll();
    QTest::keyClicks(edit, "x");
    EXPECT_EQ(edit->text(), "5");
    QTest::keyClicks(edit, "0001239");
    EXPECT_EQ(edit->text(), "0001239");
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "4567890");  // nine digits at most
    EXPECT_EQ(edit->text(), "000123456");
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), "00123456");
    QTest::keyClick(edit, Qt::Key_End);
    for (int i = 0; i < 3; ++i) QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "a");
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_EQ(edit->text(), "00123");
    // Writable after a digit, but a paste must bring digits too.
    QTest::keyClicks(edit, "4");
    QApplication::clipboard()->setText("7z");
    edit->paste();
    EXPECT_EQ(edit->text(), "001234");
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::mouseClick(form->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
  });
  Main().CounterMode1Click();
  EXPECT_EQ(s.Panel.Label13, "00123");  // as typed, leading zeros too
  EXPECT_EQ(PanelLabel("Label13")->text(), "00123");

  OnNextModal<TCounterSetupForm>([](TCounterSetupForm* form) {
    form->Edit1()->setReadOnly(false);
    form->Edit1()->setText("99");
    form->findChild<QPushButton*>("BitBtn2")->click();
  });
  Main().CounterMode1Click();
  EXPECT_EQ(s.Panel.Label13, "00123");
}

}  // namespace
