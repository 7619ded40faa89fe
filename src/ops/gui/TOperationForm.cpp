#include "ops/gui/TOperationForm.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/gui/TMainForm.h"

namespace {

bool ClosesWindow(const std::string& button) { return button == "Button1" || button == "ButtonOk"; }

// The longest failures a status line shows, besides the layout's own texts.
constexpr const char* kWidestTexts[] = {
    "Nothing in socket or type error!!",  "EEPROM Data Verify error at 0000H",
    "IC=0000H, Buffer=0000H",             "Program ID fail at address 0000 !!",
    "Some Options are Blank or Error!!",  "The program memory is not 'RTIW'",
};

}  // namespace

OperationLook DefaultOperationLook() {
  OperationLook look;
  if (look.title.pointSizeF() > 0) look.title.setPointSizeF(look.title.pointSizeF() * 1.5);
  return look;
}

TOperationForm::TOperationForm(TMainForm& main, const OperationLayout& layout, Worker worker,
                               const OperationLook& look, WriterCommand command)
    : QDialog(&main, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      main_(main),
      layout_(layout),
      worker_(std::move(worker)),
      runner_(main, *this, layout_, command) {
  setWindowTitle(QString::fromStdString(layout_.caption));
  setModal(true);
  BuildControls(look);
  FixSize();
  connect(&runner_, &OperationRunner::Finished, this, &TOperationForm::Finished);
}

TOperationForm::~TOperationForm() { runner_.Stop(); }

void TOperationForm::BuildControls(const OperationLook& look) {
  setFont(look.window);
  auto* column = new QVBoxLayout(this);

  title_ = new QLabel(this);
  title_->setObjectName(QString::fromUtf8(kTitleControl.data(), static_cast<int>(kTitleControl.size())));
  title_->setAlignment(Qt::AlignCenter);
  QFont titleFont = look.title;
  titleFont.setBold(true);
  title_->setFont(titleFont);
  controls_.emplace(std::string(kTitleControl), title_);
  column->addWidget(title_);

  auto* bevel = new QFrame(this);
  bevel->setObjectName("Bevel1");
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  column->addWidget(bevel);

  for (const PanelLineSpec& spec : layout_.lines) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromStdString(spec.name));
    label->setAlignment(Qt::AlignCenter);
    label->setFont(look.lines);
    // A line that appears later takes the place kept for it: the window never jumps.
    QSizePolicy policy = label->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
    controls_.emplace(spec.name, label);
    column->addWidget(label);
  }

  if (layout_.gauge) {
    gauge_ = new QProgressBar(this);
    gauge_->setObjectName("CGauge1");
    gauge_->setRange(0, 100);
    QPalette palette = gauge_->palette();
    palette.setColor(QPalette::Highlight, Qt::blue);
    gauge_->setPalette(palette);
    controls_.emplace("CGauge1", gauge_);
    column->addWidget(gauge_);
  }

  auto* row = new QHBoxLayout;
  row->addStretch();
  for (std::size_t i = 0; i < layout_.buttons.size(); ++i) {
    const std::string name = layout_.buttons[i];
    const std::string caption = i < layout_.buttonCaptions.size() ? layout_.buttonCaptions[i] : name;
    auto* button = new QPushButton(QString::fromStdString(caption), this);
    button->setObjectName(QString::fromStdString(name));
    button->setDefault(layout_.defaultButton.empty() ? i == 0 : name == layout_.defaultButton);
    connect(button, &QPushButton::clicked, this, [this, name] { ButtonClicked(name); });
    controls_.emplace(name, button);
    row->addWidget(button);
  }
  row->addStretch();
  column->addLayout(row);

  ResetControls();
}

void TOperationForm::FixSize() {
  // As wide as the widest text the layout names, each in the font it is drawn in.
  const QFontMetrics lines(layout_.lines.empty() ? font() : Label(layout_.lines.front().name)->font());
  const QFontMetrics title(title_->font());
  const auto advance = [](const QFontMetrics& font, const std::string& text) {
    return font.horizontalAdvance(QString::fromStdString(text));
  };
  int width = 320;
  for (const char* text : kWidestTexts) width = std::max(width, lines.horizontalAdvance(text));
  for (const PanelLineSpec& spec : layout_.lines) width = std::max(width, advance(lines, spec.text));
  width = std::max(width, advance(title, layout_.title));
  for (const std::string& text : layout_.titles) width = std::max(width, advance(title, text));
  for (const auto& [name, widget] : controls_)
    if (qobject_cast<QLabel*>(widget)) widget->setMinimumWidth(width + 24);
  // Hidden lines keep their place, so this is the size for every state.
  setFixedSize(sizeHint());
}

bool TOperationForm::event(QEvent* event) {
  const bool handled = QDialog::event(event);
  // A text no layout names (a longer message) widens the window rather than
  // being cut off; the layout has just taken the label's new width.
  if (event->type() == QEvent::LayoutRequest && sizeHint().width() > width()) setFixedWidth(sizeHint().width());
  return handled;
}

void TOperationForm::ResetControls() {
  title_->setText(QString::fromStdString(layout_.title));
  title_->setPalette(QPalette());
  for (const PanelLineSpec& spec : layout_.lines) {
    QLabel* label = Label(spec.name);
    label->setText(QString::fromStdString(spec.text));
    label->setPalette(QPalette());
    label->setVisible(spec.visible);
  }
  if (gauge_) gauge_->setValue(0);
  for (const std::string& name : layout_.buttons) Button(name)->setEnabled(false);
}

QWidget* TOperationForm::Control(std::string_view name) const {
  auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second;
}

QLabel* TOperationForm::Label(std::string_view name) const { return qobject_cast<QLabel*>(Control(name)); }

QPushButton* TOperationForm::Button(std::string_view name) const {
  return qobject_cast<QPushButton*>(Control(name));
}

void TOperationForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  StartNow();
}

void TOperationForm::StartNow() {
  if (started_) return;
  started_ = true;
  runner_.Start(worker_);
}

void TOperationForm::keyPressEvent(QKeyEvent* event) {
  // No cancel while the Writer is at work, as there is no close box: the
  // buttons come on when the worker ends.
  if (event->key() == Qt::Key_Escape && runner_.Running()) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TOperationForm::ButtonClicked(const std::string& name) {
  if (ClosesWindow(name)) accept();
}

void TOperationForm::done(int result) {
  runner_.Stop();
  QDialog::done(result);
}

void TOperationForm::Restart() {
  runner_.Stop();
  lastOutcome_ = {};
  ResetControls();
  started_ = true;
  runner_.Start(worker_);
}

void TOperationForm::Finished(const Outcome& outcome) {
  lastOutcome_ = outcome;
  // A line fault cut the worker short of its own end: let the user out.
  if (outcome.verdict == Verdict::LineFault)
    for (const std::string& name : layout_.buttons) Button(name)->setEnabled(true);
  emit WorkerFinished();
}
