#include "views/gui/HexKeyFilter.h"

#include <QKeyEvent>

#include "views/EditSingleData.h"

bool HexKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Only printable characters are judged; control codes (Delete too) are editing keys.
    if (text.size() == 1 && text[0].isPrint() && !IsHexEntryKey(text[0].unicode())) {
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}
