#include "files/gui/TFillBufferForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "app/gui/DialogButtons.h"
#include "app/MainState.h"
#include "app/Prompts.h"
#include "files/Checksum.h"
#include "files/FillBuffer.h"

TFillBufferForm::TFillBufferForm(MainState& state, Prompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      state_(state),
      prompts_(prompts) {
  setObjectName("FillBufferForm");
  setWindowTitle("Fill Buffer");

  auto* grid = new QGridLayout;
  // Only hexadecimal digits can be typed or pasted.
  auto* hexOnly = new QRegularExpressionValidator(QRegularExpression("[0-9A-Fa-f]{0,4}"), this);
  const char* captions[] = {"Start address :", "End address :", "Data :"};
  const QString texts[] = {"0", QString::fromStdString(FillDefaultEnd(state)), "3FFF"};
  QLineEdit* edits[3];
  for (int i = 0; i < 3; ++i) {
    auto* caption = new QLabel(captions[i], this);
    caption->setObjectName(QString("StaticText%1").arg(i + 1));
    edits[i] = new QLineEdit(texts[i], this);
    edits[i]->setObjectName(QString("Edit%1").arg(i + 1));
    edits[i]->setMaxLength(4);
    edits[i]->setValidator(hexOnly);
    grid->addWidget(caption, i, 0);
    grid->addWidget(edits[i], i, 1);
  }
  edit1_ = edits[0];
  edit2_ = edits[1];
  edit3_ = edits[2];

  auto* buttons = OkCancelRow(this, [this] { BitBtn1Click(); });
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(grid);
  outer->addLayout(buttons);
  outer->setSizeConstraint(QLayout::SetFixedSize);
}

void TFillBufferForm::BitBtn1Click() {
  const FillRequest request{edit1_->text().toStdString(), edit2_->text().toStdString(),
                            edit3_->text().toStdString()};
  const std::string error = FillProgramBuffer(state_, request);
  if (error.empty()) CalChecksum(state_);
  else prompts_.Message(error, "Error", PromptIcon::Error);
  accept();
}
