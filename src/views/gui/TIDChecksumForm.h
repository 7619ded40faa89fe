#pragma once
// "ID and Checksum": shows the user ID, the IC checksum characters and, on
// request, the Writer information and the body-option bytes left by a read.

#include <QMdiSubWindow>

struct MainState;
class QButtonGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;

class TIDChecksumForm : public QMdiSubWindow {
  Q_OBJECT

 public:
  // Heights that choose what is visible.
  static constexpr int kIdHeight = 210;           // ID, checksum, buttons
  static constexpr int kWriterInfoHeight = 430;   // and the Writer information
  static constexpr int kBodyOptionHeight = 490;   // and the body-option lines

  explicit TIDChecksumForm(MainState& state, QWidget* parent = nullptr);

  void FormCreate();
  void IDLabelShow();
  void RadioGroup1Change(int index);
  void StaticText1DblClick();  // double click on the title: shows or hides the Writer information
  void StaticText5DblClick();  // double click there: shows or hides the body-option lines
  void Label2DblClick();       // double click on the ID (or Button1): the ID editor
  void Button2Click();         // closes the window

  int FormHeight() const { return height(); }
  void SetFormHeight(int height);

 signals:
  // Label17 or Label18 of the main window's panel changed.
  void PanelTextsChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  MainState& state_;
  QFrame* Panel1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QGroupBox* RadioGroup1;
  QButtonGroup* radioButtons_;
  QPushButton* Button1;
  QPushButton* Button2;
  QLabel* StaticText1;
  QFrame* Panel2;
  QLabel* Label5;
  QLabel* Label6;
  QLabel* Label7;
  QLabel* Label9;
  QLabel* Label10;
  QLabel* Label11;
  QLabel* Label8;
  QLabel* StaticText5;
  QLabel* BodyOption1;
  QLabel* BodyOption2;
};
