#pragma once
// Drops typed characters other than backspace and hex digits before they
// reach an entry field. Editing keys (arrows, Delete, Return, Escape, short
// cuts) pass untouched.

#include <QObject>

class HexKeyFilter : public QObject {
  Q_OBJECT

 public:
  explicit HexKeyFilter(QObject* parent = nullptr) : QObject(parent) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};
