// The tool bar's glyphs: small coloured tiles with a short mark, and window
// outlines for the arrangement commands.

#include <QAction>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <cstring>
#include <map>

#include "app/gui/MainFormWidgets.h"

namespace {

constexpr int kSize = 48;  // drawn large, scaled down crisply

QPixmap Canvas() {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

QIcon Tile(const char* mark, QColor colour) {
  QPixmap pixmap = Canvas();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 0, kSize);
  fill.setColorAt(0, colour.lighter(125));
  fill.setColorAt(1, colour.darker(115));
  QPainterPath tile;
  tile.addRoundedRect(QRectF(3, 3, kSize - 6, kSize - 6), 9, 9);
  p.fillPath(tile, fill);
  p.setPen(QPen(colour.darker(150), 1.5));
  p.drawPath(tile);
  QFont font;
  font.setBold(true);
  font.setPixelSize(std::strlen(mark) > 2 ? 14 : 19);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(3, 3, kSize - 6, kSize - 6), Qt::AlignCenter, QString::fromLatin1(mark));
  return QIcon(pixmap);
}

// Window outlines: 0 cascade, 1 one above another, 2 side by side.
QIcon Windows(int arrangement) {
  QPixmap pixmap = Canvas();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor frame(0x35, 0x5f, 0x9e);
  auto window = [&](QRectF r) {
    p.setPen(QPen(frame, 2.5));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.fillRect(QRectF(r.left(), r.top(), r.width(), 7), frame);
  };
  if (arrangement == 0) {
    window(QRectF(4, 4, 28, 24));
    window(QRectF(11, 12, 28, 24));
    window(QRectF(18, 20, 26, 24));
  } else if (arrangement == 1) {
    window(QRectF(4, 4, 40, 19));
    window(QRectF(4, 26, 40, 19));
  } else {
    window(QRectF(4, 4, 19, 40));
    window(QRectF(26, 4, 19, 40));
  }
  return QIcon(pixmap);
}

}  // namespace

QIcon ToolButtonIcon(const std::string& toolButton, QStyle* style) {
  if (toolButton == "ToolButton1") return style->standardIcon(QStyle::SP_DialogOpenButton);
  if (toolButton == "ToolButton2") return style->standardIcon(QStyle::SP_DialogSaveButton);
  if (toolButton == "ToolButton8") return Windows(0);
  if (toolButton == "ToolButton10") return Windows(1);
  if (toolButton == "ToolButton11") return Windows(2);
  struct Mark {
    const char* mark;
    QRgb colour;
  };
  static const std::map<std::string, Mark> kMarks = {
      {"Erase", {"ER", 0xd9822b}},        {"ToolButton6", {"BC", 0x1f8a8a}},
      {"ToolButton7", {"RD", 0x2f6fb7}},  {"ToolButton17", {"VF", 0x2e8b3e}},
      {"ToolButton18", {"VP", 0x1d6b2c}}, {"ToolButton20", {"ID", 0x7b4fb0}},
      {"ToolButton21", {"PM", 0xb8413c}}, {"ToolButton19", {"OP", 0x8a6a2f}},
      {"WriteEE", {"EE", 0x5a6e7f}},      {"ToolButton5", {"AP", 0xc0392b}},
      {"ToolButton12", {"AP-", 0xd35400}}, {"ToolButton23", {"FW", 0x606060}},
      {"SpeedButton1", {"SIM", 0x808000}},
  };
  auto it = kMarks.find(toolButton);
  if (it == kMarks.end()) return {};
  return Tile(it->second.mark, QColor(it->second.colour));
}

void TidyToolBarSeparators(const std::vector<QAction*>& items) {
  // A separator shows only between two groups that each show something.
  bool shownBefore = false;
  QAction* pending = nullptr;
  for (QAction* item : items) {
    if (item->isSeparator()) {
      if (pending) pending->setVisible(false);
      pending = shownBefore ? item : nullptr;
      if (!shownBefore) item->setVisible(false);
      continue;
    }
    if (!item->isVisible()) continue;
    if (pending) {
      pending->setVisible(true);
      pending = nullptr;
    }
    shownBefore = true;
  }
  if (pending) pending->setVisible(false);
}
