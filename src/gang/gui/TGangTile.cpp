#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "gang/gui/TGangForm.h"

namespace {

// Ground and text of the status line: green and red that read from two
// metres, a quiet grey while the Writer waits or is idle, amber while it works.
struct Colours {
  QColor ground, text;
};
Colours ColoursOf(GangTileView::Tone tone) {
  switch (tone) {
    case GangTileView::Tone::Ok: return {QColor(0, 150, 0), Qt::white};
    case GangTileView::Tone::Fail: return {QColor(210, 0, 0), Qt::white};
    case GangTileView::Tone::Busy: return {QColor(255, 200, 40), Qt::black};
    case GangTileView::Tone::Idle: break;
  }
  return {QColor(215, 215, 215), Qt::black};
}

QLabel* NewLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  return label;
}

}  // namespace

int TileGauge(const GangTileView& view) {
  // The stream's words and its gauge come as two reports, and a pass that
  // begins says "0%" while the last pass's full bar is still up.
  const std::string& s = view.status;
  if (!s.ends_with('%')) return std::clamp(view.gauge, 0, 100);
  std::size_t digits = s.size() - 1;
  while (digits > 0 && s[digits - 1] >= '0' && s[digits - 1] <= '9') --digits;
  const std::size_t count = s.size() - 1 - digits;
  if (count == 0 || count > 3 || digits == 0 || s[digits - 1] != ' ') return std::clamp(view.gauge, 0, 100);
  return std::clamp(std::stoi(s.substr(digits, count)), 0, 100);
}

TGangTile::TGangTile(const std::string& port, QWidget* parent) : QFrame(parent), port_(port) {
  setObjectName(QString::fromStdString("Tile" + port));
  setFrameShape(QFrame::StyledPanel);
  auto* column = new QVBoxLayout(this);

  auto* portLabel = NewLabel("PortLabel", this);
  portLabel->setText(QString::fromStdString(port));
  QFont portFont = font();
  portFont.setBold(true);
  portFont.setPointSizeF(portFont.pointSizeF() * 1.4);
  portLabel->setFont(portFont);
  column->addWidget(portLabel);

  status_ = NewLabel("StatusLabel", this);
  QFont statusFont = font();
  statusFont.setBold(true);
  statusFont.setPointSizeF(statusFont.pointSizeF() * 2.0);
  status_->setFont(statusFont);
  status_->setAlignment(Qt::AlignCenter);
  status_->setWordWrap(true);
  status_->setAutoFillBackground(true);
  // Room for a stream's words on one line; longer words wrap. Four tiles
  // side by side fit a screen 1280 pixels wide.
  status_->setMinimumSize(QFontMetrics(statusFont).horizontalAdvance("Programming 100%") + 12,
                          QFontMetrics(statusFont).height() * 3);
  column->addWidget(status_, 1);
  activity_ = NewLabel("ActivityLabel", this);
  activity_->setAlignment(Qt::AlignCenter);
  column->addWidget(activity_);

  gauge_ = new QProgressBar(this);
  gauge_->setObjectName("CGauge1");
  gauge_->setRange(0, 100);
  column->addWidget(gauge_);

  auto* figures = new QGridLayout;
  figures->addWidget(new QLabel("Pass Count :", this), 0, 0);
  passes_ = NewLabel("PassCount", this);
  passes_->setAlignment(Qt::AlignRight);
  figures->addWidget(passes_, 0, 1);
  figures->addWidget(new QLabel("Serial No. (HEX) :", this), 1, 0);
  serial_ = NewLabel("LastSerial", this);
  serial_->setAlignment(Qt::AlignRight);
  figures->addWidget(serial_, 1, 1);
  column->addLayout(figures);

  auto* buttons = new QHBoxLayout;
  continue_ = new QPushButton("Continue", this);
  continue_->setObjectName("ContinueButton");
  continue_->setEnabled(false);
  connect(continue_, &QPushButton::clicked, this, &TGangTile::ContinueClicked);
  showLines_ = new QPushButton("Panel", this);
  showLines_->setObjectName("PanelButton");
  showLines_->setCheckable(true);
  showLines_->setToolTip("The last lines of this Writer's Auto Program panel");
  buttons->addWidget(continue_);
  buttons->addWidget(showLines_);
  column->addLayout(buttons);

  lines_ = new QPlainTextEdit(this);
  lines_->setObjectName("PanelLines");
  lines_->setReadOnly(true);
  lines_->setMaximumBlockCount(12);
  lines_->setVisible(false);
  connect(showLines_, &QPushButton::toggled, lines_, &QWidget::setVisible);
  column->addWidget(lines_);

  Show({});
}

void TGangTile::Show(const GangTileView& view) {
  const Colours colours = ColoursOf(view.tone);
  QPalette palette = status_->palette();
  palette.setColor(QPalette::Window, colours.ground);
  palette.setColor(QPalette::WindowText, colours.text);
  status_->setPalette(palette);
  status_->setText(QString::fromStdString(view.status));
  activity_->setText(QString::fromStdString(view.activity));
  gauge_->setValue(TileGauge(view));
  passes_->setText(QString::number(view.passes));
  serial_->setText(QString::fromStdString(view.lastSerial));
  QStringList lines;
  for (const std::string& line : view.lines) lines << QString::fromStdString(line);
  if (lines_->toPlainText() != lines.join('\n')) lines_->setPlainText(lines.join('\n'));
}
