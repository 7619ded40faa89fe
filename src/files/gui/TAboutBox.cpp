#include "files/gui/TAboutBox.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "files/AboutBox.h"

namespace {
QLabel* NamedLabel(QWidget* parent, const char* name, const std::string& text) {
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setObjectName(name);
  return label;
}
}  // namespace

TAboutBox::TAboutBox(const QString& mainTitle, QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About Writer");
  setModal(true);

  Label3 = NamedLabel(this, "Label3", AboutVersionText(mainTitle.toStdString()));
  Label6 = NamedLabel(this, "Label6", AboutOsLine(CurrentOsVersion()));
  Label7 = NamedLabel(this, "Label7", "Memory Available to Windows :");
  Label8 = NamedLabel(this, "Label8", AboutMemoryText(InstalledMemoryBytes()));
  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  for (QWidget* w : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(Label6),
                     static_cast<QWidget*>(Label7), static_cast<QWidget*>(Label8)})
    layout->addWidget(w);
  layout->addWidget(OKButton, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}
