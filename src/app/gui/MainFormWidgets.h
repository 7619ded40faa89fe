#pragma once
// The main window's own controls, shared by its construction and its handlers.

#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/MainState.h"
#include "app/gui/TMainForm.h"

class QActionGroup;
class QGroupBox;
class QMenu;
class QToolBar;

struct TMainForm::Widgets {
  QTimer* Timer1 = nullptr;
  QToolBar* ToolBar2 = nullptr;
  QComboBox* ComboBox1 = nullptr;  // port
  QComboBox* HandShake = nullptr;
  QComboBox* ComboBox2 = nullptr;  // device list
  QLabel* Label3 = nullptr;
  QWidget* Panel1 = nullptr;
  QMenu* Window1 = nullptr;

  // Indexed by OptionField: caption (StaticText2..7) and value (Label5..10).
  std::array<QLabel*, kOptionFieldCount> optionCaption{};
  std::array<QLabel*, kOptionFieldCount> optionValue{};
  QLabel* Label11 = nullptr;
  QLabel* OptChecksum = nullptr;
  QLabel* ProtectSum = nullptr;
  QLabel* Label17 = nullptr;
  QLabel* Label18 = nullptr;
  QLabel* Label13 = nullptr;
  QLabel* Label15 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label19 = nullptr;

  // The hidden pulse-width group: two edits and their four captions.
  QLineEdit* PulseWidth = nullptr;
  QLineEdit* EraseWidth = nullptr;
  std::vector<QWidget*> pulseGroup;

  // Every command's QAction, by item name and by action name.
  std::map<std::string, QAction*> actions;
  QActionGroup* commands = nullptr;     // every command, to switch them off together
  std::vector<QAction*> toolBarItems;  // tool bar order, separators included

  // Panel controls whose double-click runs a handler; a null handler swallows the click.
  struct DoubleClick {
    void (TMainForm::*handler)();
    const char* name;
  };
  std::map<QObject*, DoubleClick> doubleClick;

  std::function<void(const char*)> hook;
  bool runHandlers = true;
  bool closed = false;  // FormClose has run

  QAction* Action(const char* name) const {
    auto it = actions.find(name);
    return it == actions.end() ? nullptr : it->second;
  }
};

// Hides tool-bar separators that would stand next to each other or at an end.
void TidyToolBarSeparators(const std::vector<QAction*>& items);

// Icon of a tool button, drawn so the tool bar looks the same on every desktop.
class QIcon;
class QStyle;
QIcon ToolButtonIcon(const std::string& toolButton, QStyle* style);
