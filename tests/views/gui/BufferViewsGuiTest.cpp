#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "support/ScriptedPrompts.h"
#include "views/EditSingleData.h"
#include "views/gui/ModalDialogs.h"
#include "views/gui/TEEDataForm.h"
#include "views/gui/TEditSingleData.h"
#include "views/gui/TMDIChild.h"

namespace {

const DeviceRecord kRows[] = {
    // 16384 words (one more than the buffer) and an EEPROM top of 07FFh.
    {"BIG", 0x3F, 0xFF, 0, 2, 0, 0, 1, 0x7F, 0, 0x7F, 0, 2, 0x07, 0xFF, 0, 0, 0, 0},
    {"SMALL", 0x00, 0xFF, 0, 2, 0, 0, 1, 0x7F, 0, 0x7F, 0, 2, 0x00, 0x1F, 0, 0, 0, 0},
    // 24 EEPROM bytes: the second grid row ends in blank cells.
    {"E24", 0x00, 0xFF, 0, 2, 0, 0, 1, 0x7F, 0, 0x7F, 0, 2, 0x00, 0x17, 0, 0, 0, 0},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

class GridViews : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(GetICInfo(state, "BIG"), 0); }

  // Double-clicks (or clicks) the cell and answers the editor with text and OK.
  template <class Form>
  void EditCell(Form& form, int row, int column, const QString& text, void (Form::*handler)()) {
    OnNextModal<TEditSingleData>([text](TEditSingleData* editor) {
      auto* edit = editor->findChild<QLineEdit*>("Edit1");
      edit->setText(text);
      editor->findChild<QPushButton*>("OKBtn")->click();
    });
    form.Grid()->setCurrentIndex(form.Model()->index(row, column));
    (form.*handler)();
  }

  QString Cell(BufferGridForm& form, int row, int column) {
    return form.Model()->data(form.Model()->index(row, column)).toString();
  }

  ScopedDeviceTable table{kRows};
  MainState state;
  ScriptedPrompts prompts;
};

}  // namespace

TEST_F(GridViews, ModelsPassTheTesterAndStayInsideTheBuffers) {
  TMDIChild program(state, prompts);
  TEEDataForm eeprom(state, prompts);
  QAbstractItemModelTester programTester(program.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  QAbstractItemModelTester eepromTester(eeprom.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  BufferGridModel* model = program.Model();
  ASSERT_EQ(model->rowCount(), 2048);
  EXPECT_EQ(model->headerData(2047, Qt::Vertical).toString(), "0x3FF8");
  EXPECT_EQ(model->headerData(7, Qt::Horizontal).toString(), "+7/F");
  EXPECT_EQ(Cell(program, 2047, 6), "3FFF");
  EXPECT_EQ(model->flags(model->index(2047, 7)), Qt::NoItemFlags);  // word 16383 does not exist
  EXPECT_EQ(eeprom.Model()->rowCount(), 64);  // the buffer, not the device's 2048 bytes

  // The cell past the buffer opens no editor.
  QSignalSpy edited(&program, &BufferGridForm::CellEdited);
  program.Grid()->setCurrentIndex(model->index(2047, 7));
  program.StringGrid1DblClick();
  EXPECT_EQ(edited.count(), 0);

  ASSERT_EQ(GetICInfo(state, "SMALL"), 1);
  program.FormCreate();
  eeprom.FormCreate();
  EXPECT_EQ(program.Model()->rowCount(), 32);
  EXPECT_EQ(eeprom.Model()->rowCount(), 2);
}

TEST_F(GridViews, DoubleClickEditsAWordAndAsksForChecksums) {
  TMDIChild view(state, prompts);
  EXPECT_EQ(view.windowTitle(), "Program Memory");
  QSignalSpy edited(&view, &BufferGridForm::CellEdited);
  EditCell(view, 0, 2, "12", &TMDIChild::StringGrid1DblClick);
  EXPECT_EQ(state.ProgramBuffer[4], 0x12);
  EXPECT_EQ(state.ProgramBuffer[5], 0x00);
  EXPECT_EQ(Cell(view, 0, 2), "0012");
  EXPECT_EQ(edited.count(), 1);

  // Cancel leaves the word, yet the checksums are still asked for.
  OnNextModal<TEditSingleData>([](TEditSingleData* editor) {
    editor->findChild<QLineEdit*>("Edit1")->setText("1");
    editor->findChild<QPushButton*>("CancelBtn")->click();
  });
  view.Grid()->setCurrentIndex(view.Model()->index(0, 2));
  view.StringGrid1DblClick();
  EXPECT_EQ(state.ProgramWord(2), 0x12);
  EXPECT_EQ(edited.count(), 2);
}

TEST_F(GridViews, EditIsDroppedWhenTheBufferChangedMeanwhile) {
  TMDIChild view(state, prompts);
  OnNextModal<TEditSingleData>([this](TEditSingleData* editor) {
    state.SetProgramWord(1, 0x0555);  // written behind the open editor
    editor->findChild<QLineEdit*>("Edit1")->setText("12");
    editor->findChild<QPushButton*>("OKBtn")->click();
  });
  view.Grid()->setCurrentIndex(view.Model()->index(0, 1));
  view.StringGrid1DblClick();
  EXPECT_EQ(state.ProgramWord(1), 0x0555);
}

TEST_F(GridViews, EditorRefusesTooLargeValuesAndStaysOpen) {
  TEditSingleData editor("3FFF", prompts, kWordLimit);
  auto* edit = editor.findChild<QLineEdit*>("Edit1");
  EXPECT_EQ(editor.windowTitle(), "Enter new value");
  EXPECT_EQ(edit->text(), "3FFF");
  EXPECT_EQ(editor.Result(), 0x3FFF);
  edit->setText("4000");
  editor.OKBtnClick();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "Invalid Value,too large!");
  EXPECT_EQ(prompts.messages[0].caption, "Error");
  EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);
  EXPECT_EQ(editor.result(), 0);  // not closed
  EXPECT_EQ(edit->text(), "3FFF");
  EXPECT_EQ(editor.Result(), 0x3FFF);

  // Only hex digits reach the field; they are padded and read on OK.
  edit->clear();
  QTest::keyClicks(edit, "g1 z-a");
  EXPECT_EQ(edit->text(), "1a");
  edit->setCursorPosition(0);
  QTest::keyClick(edit, Qt::Key_Delete);  // editing keys still work
  EXPECT_EQ(edit->text(), "a");
  QTest::keyClicks(edit, "1");
  editor.OKBtnClick();
  EXPECT_EQ(editor.result(), QDialog::Accepted);
  EXPECT_EQ(editor.Result(), 0x1A);
  EXPECT_EQ(edit->text(), "001A");
}

TEST_F(GridViews, EepromClickEditsBytesAndRefusesLargerValues) {
  TEEDataForm view(state, prompts);
  EXPECT_EQ(view.windowTitle(), "EEPROM data");
  EditCell(view, 2, 5, "a5", &TEEDataForm::StringGrid1Click);
  EXPECT_EQ(state.EepromBuffer[0x25], 0xA5);
  EXPECT_EQ(Cell(view, 2, 5), "A5");

  OnNextModal<TEditSingleData>([this](TEditSingleData* editor) {
    editor->findChild<QLineEdit*>("Edit1")->setText("1FF");
    editor->findChild<QPushButton*>("OKBtn")->click();
    EXPECT_EQ(prompts.LastText(), "Invalid Value,too large!");
    EXPECT_TRUE(editor->isVisible());
    editor->findChild<QPushButton*>("CancelBtn")->click();
  });
  view.Grid()->setCurrentIndex(view.Model()->index(2, 5));
  view.StringGrid1Click();
  EXPECT_EQ(state.EepromBuffer[0x25], 0xA5);
}

TEST_F(GridViews, ViewReplacedWhileItsEditorIsOpen) {
  auto* view = new TMDIChild(state, prompts);
  OnNextModal<TEditSingleData>([view](TEditSingleData* editor) {
    delete view;  // a buffer change re-created the view meanwhile
    editor->findChild<QLineEdit*>("Edit1")->setText("12");
    editor->findChild<QPushButton*>("OKBtn")->click();
  });
  view->Grid()->setCurrentIndex(view->Model()->index(0, 0));
  view->StringGrid1DblClick();
  EXPECT_EQ(state.ProgramWord(0), 0x3FFF);
}

// A real click: the clicked byte is the one edited, and a blank cell past the
// device's bytes edits nothing, though another cell is still current.
TEST_F(GridViews, ClickEditsTheClickedByteAndBlankCellsNothing) {
  ASSERT_EQ(GetICInfo(state, "E24"), 2);
  TEEDataForm view(state, prompts);
  view.resize(800, 200);
  view.show();
  QTableView* grid = view.Grid();
  auto click = [grid](int row, int column, const QString& text) {
    // Answers an editor should one open; does nothing otherwise.
    QTimer::singleShot(0, [text] {
      if (auto* editor = qobject_cast<TEditSingleData*>(QApplication::activeModalWidget())) {
        editor->findChild<QLineEdit*>("Edit1")->setText(text);
        editor->findChild<QPushButton*>("OKBtn")->click();
      }
    });
    const QPoint at = grid->visualRect(grid->model()->index(row, column)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QApplication::processEvents();
  };
  click(1, 3, "55");
  EXPECT_EQ(state.EepromBuffer[0x13], 0x55);
  click(1, 9, "66");  // the device has 24 bytes
  EXPECT_EQ(state.EepromBuffer[0x13], 0x55);
  EXPECT_EQ(state.EepromBuffer[0x19], 0x00);
}

// Both views open with every column in full at the desktop's font, whatever
// its size: no header cut, nothing behind a scroll bar; also after the grid
// is filled anew.
TEST_F(GridViews, OpenWithEveryColumnInView) {
  QMdiArea area;
  area.resize(1280, 768);
  area.show();
  const QFont desktop = QApplication::font();
  QFont large = desktop;
  large.setPixelSize(18);
  const auto check = [&](BufferGridForm* form) {
    SCOPED_TRACE(form->objectName().toStdString() + " at " + std::to_string(QFontInfo(form->font()).pixelSize()));
    area.addSubWindow(form);
    form->show();
    form->FormCreate();
    QCoreApplication::sendPostedEvents();
    QTableView* grid = form->Grid();
    EXPECT_EQ(grid->horizontalScrollBar()->maximum(), 0);
    EXPECT_LE(grid->horizontalHeader()->length(), grid->viewport()->width());
    for (int c = 0; c < form->Model()->columnCount(); ++c)
      EXPECT_GE(grid->columnWidth(c), grid->horizontalHeader()->sectionSizeHint(c)) << c;
  };
  for (const QFont& font : {desktop, large}) {
    QApplication::setFont(font);
    check(new TMDIChild(state, prompts));
    check(new TEEDataForm(state, prompts));
  }
  QApplication::setFont(desktop);
}
