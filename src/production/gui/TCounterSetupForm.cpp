#include "production/gui/TCounterSetupForm.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/MainState.h"
#include "app/gui/DialogButtons.h"

namespace {

// Nine digits always fit the pass counter's 32-bit arithmetic.
constexpr int kMaxDigits = 9;

bool EditsTheCount(int key) {
  return (key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Backspace || key == Qt::Key_Delete;
}

}  // namespace

TCounterSetupForm::TCounterSetupForm(MainState& state, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      state_(state) {
  setObjectName("TCounterSetupForm");
  setWindowTitle("Counter Setup");

  auto* caption = new QLabel("Start Value :", this);
  caption->setObjectName("Label1");
  edit1_ = new QLineEdit(QString::fromStdString(state.Panel.Label13), this);
  edit1_->setObjectName("Edit1");
  edit1_->setMaxLength(kMaxDigits);
  edit1_->setReadOnly(true);
  // Keys decide whether the field takes the key; a paste or drop must bring digits too.
  edit1_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit1_));
  edit1_->installEventFilter(this);
  auto* note = new QLabel("( Only available in Auto program mode!! )", this);
  note->setObjectName("Label2");

  auto* row = new QHBoxLayout;
  row->addWidget(caption);
  row->addWidget(edit1_);
  auto* column = new QVBoxLayout(this);
  column->addLayout(row);
  column->addWidget(note);
  column->addLayout(OkCancelRow(this, [this] { BitBtn1Click(); }));
  column->setSizeConstraint(QLayout::SetFixedSize);
}

bool TCounterSetupForm::eventFilter(QObject* watched, QEvent* event) {
  // Every key that goes down decides first whether the field is writable for it.
  if (watched == edit1_ && event->type() == QEvent::KeyPress)
    edit1_->setReadOnly(!EditsTheCount(static_cast<QKeyEvent*>(event)->key()));
  return QDialog::eventFilter(watched, event);
}

void TCounterSetupForm::BitBtn1Click() {
  state_.Panel.Label13 = edit1_->text().toStdString();
  accept();
}
