#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "app/MainState.h"
#include "views/gui/ModalDialogs.h"
#include "views/gui/TIDChecksumForm.h"
#include "views/gui/TIDModify.h"

namespace {

QString LabelText(QWidget& w, const char* name) { return w.findChild<QLabel*>(name)->text(); }

const QString kBlankHex = "7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F";

}  // namespace

TEST(IdWindow, FillsItsLabelsAndThePanel) {
  MainState s;
  s.IdShowHex = 1;
  s.IdBuffer[12] = 'A';
  s.IdBuffer[16] = 0x9C;
  s.IdBuffer[24] = 0x02;
  TIDChecksumForm form(s);
  EXPECT_EQ(form.windowTitle(), "ID and Checksum");
  EXPECT_EQ(LabelText(form, "Label2"), kBlankHex);
  EXPECT_EQ(LabelText(form, "Label4"), "A\x7F\x7F\x7F");
  EXPECT_EQ(s.Panel.Label17, "A\x7F\x7F\x7F");
  EXPECT_EQ(s.Panel.Label18, kBlankHex.toStdString());
  EXPECT_EQ(LabelText(form, "Label5"), "9C");
  EXPECT_EQ(LabelText(form, "Label6"), "02");
  EXPECT_TRUE(LabelText(form, "Label8").startsWith("9C 7F"));
  EXPECT_EQ(LabelText(form, "BodyOption2"), "7F 7F 00 00 00 00 ");
}

TEST(IdWindow, SwitchingModeRerendersLabelAndPanelAtOnce) {
  MainState s;
  s.IdBuffer[0] = 'H';
  s.IdBuffer[1] = 'i';
  s.IdBuffer[2] = 0;
  TIDChecksumForm form(s);
  QSignalSpy panel(&form, &TIDChecksumForm::PanelTextsChanged);
  EXPECT_EQ(LabelText(form, "Label2"), "Hi");
  auto buttons = form.findChildren<QRadioButton*>();
  ASSERT_EQ(buttons.size(), 2);
  buttons[1]->click();  // HEX
  EXPECT_EQ(s.IdShowHex, 1);
  EXPECT_EQ(LabelText(form, "Label2"), "48 69 00 7F 7F 7F 7F 7F 7F 7F 7F 7F");
  EXPECT_EQ(s.Panel.Label18, "48 69 00 7F 7F 7F 7F 7F 7F 7F 7F 7F");
  buttons[0]->click();
  EXPECT_EQ(s.IdShowHex, 0);
  EXPECT_EQ(s.Panel.Label18, "Hi");
  EXPECT_EQ(panel.count(), 2);
}

TEST(IdWindow, HeightsOpenTheInformationPanels) {
  MainState s;
  TIDChecksumForm form(s);
  auto* panel2 = form.findChild<QWidget*>("Panel2");
  auto* body = form.findChild<QWidget*>("BodyOption1");
  form.show();
  EXPECT_EQ(form.FormHeight(), 210);
  EXPECT_FALSE(panel2->isVisible());
  QTest::mouseDClick(form.findChild<QWidget*>("StaticText1"), Qt::LeftButton);
  EXPECT_EQ(form.FormHeight(), 430);
  EXPECT_TRUE(panel2->isVisible());
  EXPECT_FALSE(body->isVisible());
  form.StaticText5DblClick();
  EXPECT_EQ(form.FormHeight(), 490);
  EXPECT_TRUE(body->isVisible());
  form.StaticText5DblClick();
  EXPECT_EQ(form.FormHeight(), 430);
  form.StaticText5DblClick();
  form.StaticText1DblClick();  // from 490 straight back to the ID only
  EXPECT_EQ(form.FormHeight(), 210);
}

TEST(IdWindow, EditIdInHexThroughTheEditor) {
  MainState s;
  s.IdShowHex = 1;
  TIDChecksumForm form(s);
  OnNextModal<TIDModify>([](TIDModify* editor) {
    auto* mask = editor->findChild<QLineEdit*>("MaskEdit2");
    EXPECT_TRUE(mask->isVisibleTo(editor));
    EXPECT_FALSE(editor->findChild<QLineEdit*>("Edit1")->isVisibleTo(editor));
    EXPECT_EQ(mask->displayText(), kBlankHex);
    mask->clear();
    mask->setCursorPosition(0);
    QTest::keyClicks(mask, "12x34");
    editor->findChild<QPushButton*>("BitBtn1")->click();
  });
  QTest::mouseDClick(form.findChild<QWidget*>("Label2"), Qt::LeftButton);
  const std::uint8_t expected[] = {0x12, 0x34, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F};
  for (int k = 0; k < 12; ++k) EXPECT_EQ(s.IdBuffer[k], expected[k]) << k;
  EXPECT_EQ(LabelText(form, "Label2"), "12 34 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F");
  EXPECT_EQ(s.Panel.Label18, "12 34 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F");
}

TEST(IdWindow, EditIdAsAsciiAndCancel) {
  MainState s;
  TIDChecksumForm form(s);
  OnNextModal<TIDModify>([](TIDModify* editor) {
    auto* edit = editor->findChild<QLineEdit*>("Edit1");
    EXPECT_EQ(edit->text(), QString(12, QChar(0x7F)));
    edit->setText("AB");
    editor->findChild<QPushButton*>("BitBtn1")->click();
  });
  form.findChild<QPushButton*>("Button1")->click();
  EXPECT_EQ(s.IdBuffer[0], 0x41);
  EXPECT_EQ(s.IdBuffer[2], 0x7F);
  EXPECT_EQ(LabelText(form, "Label2"), "AB" + QString(10, QChar(0x7F)));

  OnNextModal<TIDModify>([](TIDModify* editor) {
    editor->findChild<QLineEdit*>("Edit1")->setText("ZZ");
    editor->findChild<QPushButton*>("BitBtn2")->click();
  });
  form.Label2DblClick();
  EXPECT_EQ(s.IdBuffer[0], 0x41);
}
