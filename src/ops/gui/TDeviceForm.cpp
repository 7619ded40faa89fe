#include "ops/gui/TDeviceForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/DeviceCatalogue.h"
#include "app/gui/TMainForm.h"

TDeviceForm::TDeviceForm(TMainForm& main)
    : QDialog(&main, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      main_(main),
      runner_(main, *this, DownloadLayout()) {
  setObjectName("TDeviceForm");
  setWindowTitle(QString::fromStdString(DownloadLayout().caption));
  setModal(true);

  auto* column = new QVBoxLayout(this);
  CheckListBox1 = new QListWidget(this);
  CheckListBox1->setObjectName("CheckListBox1");
  CheckListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  column->addWidget(CheckListBox1);

  auto* limit = new QLabel("Maxium 16 devices can be selected.", this);
  limit->setObjectName("Label1");
  column->addWidget(limit);

  auto* total = new QHBoxLayout;
  auto* caption = new QLabel("Total selected devices :", this);
  caption->setObjectName("Label2");
  total->addWidget(caption);
  StaticText1 = new QLabel(this);
  StaticText1->setObjectName("StaticText1");
  total->addWidget(StaticText1);
  total->addStretch();
  column->addLayout(total);

  CGauge1 = new QProgressBar(this);
  CGauge1->setObjectName("CGauge1");
  CGauge1->setRange(0, 100);
  CGauge1->setValue(0);
  column->addWidget(CGauge1);

  const OperationLayout& layout = DownloadLayout();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  DownLoad = new QPushButton(QString::fromStdString(layout.buttonCaptions.at(0)), this);
  DownLoad->setObjectName(QString::fromStdString(layout.buttons.at(0)));
  DownLoad->setDefault(true);
  buttons->addWidget(DownLoad);
  Exit = new QPushButton(QString::fromStdString(layout.buttonCaptions.at(1)), this);
  Exit->setObjectName(QString::fromStdString(layout.buttons.at(1)));
  buttons->addWidget(Exit);
  column->addLayout(buttons);

  connect(CheckListBox1, &QListWidget::itemChanged, this, &TDeviceForm::ItemChanged);
  connect(DownLoad, &QPushButton::clicked, this, &TDeviceForm::DownLoadClick);
  connect(Exit, &QPushButton::clicked, this, &TDeviceForm::ExitClick);
  connect(&runner_, &OperationRunner::Finished, this, [this] {
    SetBusy(false);
    emit DownloadFinished();
  });

  FormCreate();
}

TDeviceForm::~TDeviceForm() { runner_.Stop(); }

void TDeviceForm::FormCreate() {
  filling_ = true;
  CheckListBox1->clear();
  for (int row = 0; row < selection_.Rows(); ++row) {
    auto* item = new QListWidgetItem(QString::fromStdString(GetIcName(row)), CheckListBox1);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(selection_.IsTicked(row) ? Qt::Checked : Qt::Unchecked);
  }
  filling_ = false;
  ShowCount();
}

void TDeviceForm::ItemChanged(QListWidgetItem* item) {
  if (filling_) return;
  CheckListBox1->setCurrentItem(item);
  CheckListBox1ClickCheck();
}

void TDeviceForm::CheckListBox1ClickCheck() {
  const int row = CheckListBox1->currentRow();
  QListWidgetItem* item = CheckListBox1->item(row);
  if (!item) return;
  CGauge1->setValue(0);
  const bool ticked = item->checkState() == Qt::Checked;
  if (!selection_.SetTicked(row, ticked)) {
    filling_ = true;
    item->setCheckState(Qt::Unchecked);
    filling_ = false;
    main_.prompts().Message(kDownloadLimitText);
  }
  ShowCount();
}

void TDeviceForm::ShowCount() { StaticText1->setText(QString::number(selection_.TickedCount())); }

void TDeviceForm::SetBusy(bool busy) {
  // Exit stays usable: it stops a download that waits on a silent Writer.
  DownLoad->setEnabled(!busy);
  CheckListBox1->setEnabled(!busy);
}

void TDeviceForm::DownLoadClick() {
  if (runner_.Running()) return;
  SetBusy(true);
  runner_.Start([ticks = selection_.Ticks()](OperationContext& ctx) { return DownloadWorker(ctx, ticks); });
}

void TDeviceForm::ExitClick() { reject(); }

void TDeviceForm::done(int result) {
  runner_.Stop();
  SetBusy(false);
  QDialog::done(result);
}
