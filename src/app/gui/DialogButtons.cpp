#include "app/gui/DialogButtons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>

QHBoxLayout* OkCancelRow(QDialog* dialog, std::function<void()> onOk) {
  auto* ok = new QPushButton(dialog->style()->standardIcon(QStyle::SP_DialogOkButton), "OK", dialog);
  ok->setObjectName("BitBtn1");
  ok->setDefault(true);
  auto* cancel = new QPushButton(dialog->style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", dialog);
  cancel->setObjectName("BitBtn2");
  QObject::connect(ok, &QPushButton::clicked, dialog, std::move(onOk));
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);

  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}
