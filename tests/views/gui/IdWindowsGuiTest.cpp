#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "app/MainState.h"
#include "views/IdChecksum.h"
#include "views/gui/ByteTextEdit.h"
#include "views/gui/ByteTextLabel.h"
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
    EXPECT_EQ(edit->text(), QString(12, ByteTextLabel::kPlaceholder));  // as the ID window draws them
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

// A blank or partly filled ID in ASCII: the labels keep the bytes as text,
// and draw every byte the font has no glyph for as a dimmed dot.
TEST(IdWindow, AsciiIdDrawsBytesWithoutGlyphVisibly) {
  const QString dot(ByteTextLabel::kPlaceholder);
  struct Case {
    const char* entry;  // typed in the editor; nullptr: the blank ID
    QString stored, drawn;
  } cases[] = {
      {nullptr, QString(12, QChar(0x7F)), dot.repeated(12)},
      {"AB", "AB" + QString(10, QChar(0x7F)), "AB" + dot.repeated(10)},
      {"Lot 7", "Lot 7" + QString(7, QChar(0x7F)), "Lot 7" + dot.repeated(7)},
      {"\xC3\xA9t\xC3\xA9", QString::fromUtf8("\xC3\xA9t\xC3\xA9") + QString(9, QChar(0x7F)),
       QString::fromUtf8("\xC3\xA9t\xC3\xA9") + dot.repeated(9)},
  };
  for (const Case& c : cases) {
    MainState s;
    if (c.entry) StoreIdAsciiEntry(s, QString::fromUtf8(c.entry).toStdU32String());
    TIDChecksumForm form(s);
    auto* label = qobject_cast<ByteTextLabel*>(form.findChild<QLabel*>("Label2"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), c.stored);
    EXPECT_EQ(QString::fromStdString(s.Panel.Label18), c.stored);
    EXPECT_EQ(label->DrawnText(), c.drawn);
    auto* checksum = qobject_cast<ByteTextLabel*>(form.findChild<QLabel*>("Label4"));
    ASSERT_NE(checksum, nullptr);
    EXPECT_EQ(checksum->text(), QString(4, QChar(0x7F)));
    EXPECT_EQ(checksum->DrawnText(), dot.repeated(4));
  }
}

// The ID as text in the editor: drawn as the ID window draws it, and bytes
// the user did not touch, drawn as dots, stay what they were.
TEST(IdWindow, AsciiEditorShowsTheDotsAndKeepsTheirBytes) {
  MainState s;
  StoreIdAsciiEntry(s, U"A\x05" U"B");  // a control code, then nine blank bytes
  TIDChecksumForm form(s);
  const QString drawn = qobject_cast<ByteTextLabel*>(form.findChild<QLabel*>("Label2"))->DrawnText();
  OnNextModal<TIDModify>([&](TIDModify* editor) {
    auto* edit = editor->findChild<ByteTextEdit*>("Edit1");
    EXPECT_EQ(edit->text(), drawn);
    edit->setFocus();
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "C");
    EXPECT_EQ(edit->text(), drawn.left(11) + "C");
    editor->findChild<QPushButton*>("BitBtn1")->click();
  });
  form.Label2DblClick();
  const std::uint8_t expected[] = {'A', 0x05, 'B', 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 'C'};
  for (int k = 0; k < 12; ++k) EXPECT_EQ(s.IdBuffer[k], expected[k]) << k;
}

TEST(IdWindow, OnlyCharactersWithoutGlyphBecomeTheDot) {
  ByteTextLabel label;
  for (char16_t c = 0; c < 0x100; ++c) {
    const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0xAD;  // 0xAD: soft hyphen
    EXPECT_EQ(label.Drawable(QChar(c)), !control) << int(c);
  }
  label.setText(QString("A") + QChar(0x7F) + QChar(0x9C) + " " + QChar(0xE9));
  EXPECT_EQ(label.DrawnText(), QString("A") + ByteTextLabel::kPlaceholder + ByteTextLabel::kPlaceholder +
                                   " " + QChar(0xE9));
  label.setText("<b>7F</b>");
  EXPECT_EQ(label.textFormat(), Qt::PlainText);  // an ID is never markup
}

// The dot is painted where the missing-glyph box would be, and it shows.
TEST(IdWindow, TheDotIsPaintedVisibly) {
  auto ink = [](const QImage& image, const QColor& background) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) != background;
    return n;
  };
  ByteTextLabel label;
  label.resize(200, 24);
  const QColor background = label.palette().color(QPalette::Window);
  label.setText(QString(6, QChar(0x7F)));
  const QImage dots = label.grab().toImage();
  label.setText(QString());
  const QImage empty = label.grab().toImage();
  EXPECT_EQ(ink(empty, background), 0);
  EXPECT_GT(ink(dots, background), 0);
  // Drawn as the dot, not as the font's box: the same pixels as dots of the
  // label's own text would cover.
  label.setText(QString(6, ByteTextLabel::kPlaceholder));
  const QImage real = label.grab().toImage();
  EXPECT_EQ(ink(dots, background), ink(real, background));
}
