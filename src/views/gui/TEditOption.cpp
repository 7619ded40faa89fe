#include "views/gui/TEditOption.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <algorithm>

#include "app/gui/DialogButtons.h"
#include "views/OptionScheme.h"

namespace {
// Number of each field's editor controls (StaticTextN / ComboBoxN).
constexpr int kControlNumber[kOptionFieldCount] = {1, 6, 2, 3, 4, 5};
}  // namespace

TEditOption::TEditOption(MainState& state, QWidget* parent) : QDialog(parent), state_(state) {
  setObjectName("EditOption");
  setWindowTitle("Edit OPTION");

  auto* fields = new QGridLayout;
  for (int f = 0; f < kOptionFieldCount; ++f) {
    const int n = kControlNumber[f];
    auto* caption = new QLabel(this);
    caption->setObjectName(QString("StaticText%1").arg(n));
    auto* list = new QComboBox(this);
    list->setObjectName(QString("ComboBox%1").arg(n));
    list->setMinimumWidth(120);
    fields->addWidget(caption, n - 1, 0);
    fields->addWidget(list, n - 1, 1);
    captions_[f] = caption;
    lists_[f] = list;
    // activated: the user's pick, also of the item already shown.
    connect(list, &QComboBox::activated, this, [this, f] { FieldChange(static_cast<OptionField>(f)); });
  }

  auto* memo = new QPlainTextEdit(this);
  memo->setObjectName("Memo1");
  memo->setReadOnly(true);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  for (const char* line : OptionHelpLines()) memo->appendPlainText(line);
  memo->moveCursor(QTextCursor::Start);
  memo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  Memo1 = memo;
  FitHelpText();

  auto* buttons = OkCancelRow(this, [this] { BitBtn1Click(); });
  auto* top = new QHBoxLayout;
  fields->setRowStretch(kOptionFieldCount, 1);  // the lists stay at the top as the window grows
  top->addLayout(fields);
  top->addWidget(memo, 1);
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(top);
  outer->addLayout(buttons);

  FormShow();
}

// The whole note shows without scrolling, at whatever font; a larger window
// gives the note the extra room.
void TEditOption::FitHelpText() {
  const QFontMetrics metrics(Memo1->font());
  int widest = 0;
  int lines = 0;
  for (const char* line : OptionHelpLines()) {
    widest = std::max(widest, metrics.horizontalAdvance(QString::fromUtf8(line)));
    ++lines;
  }
  const int chrome = 2 * (Memo1->frameWidth() + static_cast<int>(Memo1->document()->documentMargin())) + 4;
  // A line of the note can take a fraction of a pixel more than the font's spacing.
  Memo1->setMinimumSize(widest + chrome + metrics.averageCharWidth(), lines * (metrics.lineSpacing() + 1) + chrome);
}

void TEditOption::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::FontChange && Memo1 != nullptr) FitHelpText();
}

void TEditOption::FormShow() {
  low_ = state_.OptionLow;
  high_ = state_.OptionHigh;
  const std::uint16_t word = WorkingWord();
  for (int f = 0; f < kOptionFieldCount; ++f) {
    const auto field = static_cast<OptionField>(f);
    const int scheme = OptionSchemeNumber(state_, field);
    const bool exists = FieldExists(field, scheme);
    captions_[f]->setText(QString::fromStdString(EditorCaption(field, scheme)));
    QComboBox* list = lists_[f];
    list->clear();
    for (const std::string& choice : EditorChoices(field, scheme)) list->addItem(QString::fromStdString(choice));
    list->setCurrentIndex(EditorSelection(field, scheme, word));
    captions_[f]->setEnabled(exists);
    list->setEnabled(exists);
  }
}

void TEditOption::FieldChange(OptionField field) {
  const int scheme = OptionSchemeNumber(state_, field);
  const std::uint16_t word = ApplyEditorChoice(field, scheme, lists_[field]->currentIndex(), WorkingWord());
  low_ = WordLowHalf(word);
  high_ = WordHighHalf(word);
}

void TEditOption::BitBtn1Click() {
  state_.RefreshPending = 1;
  state_.OptionLow = low_;
  state_.OptionHigh = high_;
  accept();
}
