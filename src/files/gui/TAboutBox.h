#pragma once
// The about box: version, operating system and installed memory, computed
// afresh each time the box is created.

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  TAboutBox(const QString& mainTitle, QWidget* parent = nullptr);

  QLabel* Label3 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;
  QPushButton* OKButton = nullptr;
};
