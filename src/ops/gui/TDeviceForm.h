#pragma once
// The device download window: the catalogue devices, up to 16 of them ticked,
// and "Download", which sends the ticked devices' records to the Writer on a
// worker thread. The window stays open for another download; "Exit" closes
// it, stopping a download that is still running.

#include <QDialog>

#include "ops/DownloadWorker.h"
#include "ops/gui/OperationRunner.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;
class TMainForm;

class TDeviceForm : public QDialog {
  Q_OBJECT

 public:
  explicit TDeviceForm(TMainForm& main);
  ~TDeviceForm() override;

  const DownloadSelection& Selection() const { return selection_; }
  bool DownloadRunning() const { return runner_.Running(); }

  void FormCreate();
  void CheckListBox1ClickCheck();  // the user ticked or unticked the current row
  void DownLoadClick();            // "Download": the ticked devices' records to the Writer
  void ExitClick();                // "Exit"

 public slots:
  void done(int result) override;

 signals:
  // A download has ended, done or failed.
  void DownloadFinished();

 private:
  void ItemChanged(QListWidgetItem* item);
  void ShowCount();
  void SetBusy(bool busy);

  TMainForm& main_;
  DownloadSelection selection_;
  QListWidget* CheckListBox1;
  QLabel* StaticText1;
  QProgressBar* CGauge1;
  QPushButton* DownLoad;
  QPushButton* Exit;
  bool filling_ = false;
  OperationRunner runner_;
};
