#include "app/gui/TMainForm.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QShowEvent>
#include <QCloseEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <limits>

#include "app/DeviceCatalogue.h"
#include "app/gui/MainFormWidgets.h"
#include "commands/LoadCommands.h"
#include "commands/WriterCommands.h"
#include "views/gui/ByteTextLabel.h"

namespace {

TMainForm* g_mainForm = nullptr;

// The member and its name, written once so the two cannot disagree.
#define HANDLER(member) &TMainForm::member, #member

// Menu items, actions, short-cuts and tool buttons, in menu order.
constexpr TMainForm::Command kCommands[] = {
    {"File1", "FileOpenItem", "FileOpen1", "&Open", nullptr, "ToolButton1", "Open",
     HANDLER(FileOpen1Execute)},
    {"File1", "LoadConfig1", "LoadConfigAction", "Load Config File ", "Ctrl+L", nullptr, nullptr,
     HANDLER(LoadConfig1Click)},
    {"File1", "SaveConfigFile1", "SaveConfigAction", "Save Config File", "Ctrl+S", nullptr, nullptr,
     HANDLER(FileSaveItemClick)},
    {"File1", "FileSaveAsItem", nullptr, "Save Disassmble", nullptr, nullptr, nullptr,
     HANDLER(FileSaveAsItemClick)},
    {"File1", "SaveProgramMemory1", "FileSave1", "Save Program Memory", nullptr, "ToolButton2",
     "Save Program Memory", HANDLER(SaveProgramMemory1Click)},
    {"File1", "FileExitItem", "FileExit1", "E&xit", nullptr, nullptr, nullptr, HANDLER(FileExit1Execute)},

    {"View1", "ProgramMemory1", nullptr, "Program Memory", nullptr, nullptr, nullptr,
     HANDLER(ProgramMemory1Click)},
    {"View1", "ID2", nullptr, "ID", nullptr, nullptr, nullptr, HANDLER(ID2Click)},
    {"View1", "Disassemble1", nullptr, "Disassemble", nullptr, nullptr, nullptr, HANDLER(Disassemble1Click)},
    {"View1", "EEPROM1", nullptr, "EEPROM", nullptr, nullptr, nullptr, HANDLER(EEPROM1Click)},

    {"Edit1", "EditOPTION", "EditOptionAction", "OPTION", "F4", nullptr, nullptr, HANDLER(EditOPTIONClick)},
    {"Edit1", "SerialNoMode1", nullptr, "Serial No. Mode", nullptr, nullptr, nullptr,
     HANDLER(SerialNoMode1Click)},
    {"Edit1", "CounterMode1", nullptr, "Set Counter Value", nullptr, nullptr, nullptr,
     HANDLER(CounterMode1Click)},
    {"Edit1", "LoadQTPFile1", nullptr, "Load QTP File", nullptr, nullptr, nullptr, HANDLER(LoadQTPFile1Click)},
    {"Edit1", "ProductionLog1", nullptr, "Production Log...", nullptr, nullptr,
     "Append a line per Auto Program pass to a CSV file", HANDLER(ProductionLog1Click)},
    {"Edit1", "ProductionLedger1", nullptr, "Production Ledger...", nullptr, nullptr,
     "Where every pass is recorded and serial numbers come from", HANDLER(ProductionLedger1Click)},
    {"Edit1", "ClearOPTION1", nullptr, "Clear OPTION", nullptr, nullptr, nullptr, HANDLER(ClearOPTION1Click)},
    {"Edit1", "ClearID1", nullptr, "Clear ID", nullptr, nullptr, nullptr, HANDLER(ClearID1Click)},
    {"Edit1", "ClearBuffer1", nullptr, "Clear Buffer", nullptr, nullptr, nullptr, HANDLER(ClearBuffer1Click)},
    {"Edit1", "FillBuffer1", "FillBufferAction", "Fill Buffer", "Ctrl+F", nullptr, nullptr,
     HANDLER(FillBuffer1Click)},
    {"Edit1", "ClearEEPROMBuffer1", nullptr, "Clear EEPROM Buffer", nullptr, nullptr, nullptr,
     HANDLER(ClearEEPROMBuffer1Click)},

    {"Program1", "BlankCheck1", "BlankCheckAction", "Blank Check", "F5", "ToolButton6", "Blank Check",
     HANDLER(BlankCheckActionExecute)},
    {"Program1", "Read1", "ReadICAction", "Read", "F6", "ToolButton7", "Read", HANDLER(ToolButton7Click)},
    {"Program1", "Veryfy1", "VerifyICAction", "Verify", "F7", "ToolButton17", "Verify", HANDLER(Veryfy1Click)},
    {"Program1", "VerifywithProtect1", nullptr, "Verify with Protect", nullptr, "ToolButton18",
     "Verify with protect", HANDLER(VerifywithProtect1Click)},
    {"Program1", "AutoProgram1", "AutoProgramAction", "Auto Program", "F8", "ToolButton5", "Auto program",
     HANDLER(AutoProgram1Click)},
    {"Program1", "AutoProgramwithoutBlankCheck1", "AutoProgramNoBlankCheckAction",
     "Auto Program without Blank Check", "F9", "ToolButton12", "Auto program without blank check",
     HANDLER(AutoProgramwithoutBlankCheck1Click)},
    {"Program1", "OPTION3", "ProgramOption", "OPTION", nullptr, "ToolButton19", "Program OPTION",
     HANDLER(OPTION3Click)},
    {"Program1", "ID3", nullptr, "ID and Checksum", nullptr, "ToolButton20", "Program ID & Checksum",
     HANDLER(ID3Click)},
    {"Program1", "ProgramMemory2", nullptr, "Program Memory", nullptr, "ToolButton21", "Program Memory",
     HANDLER(ProgramMemory2Click)},
    {"Program1", "GangAutoProgram1", nullptr, "Gang Auto Program...", nullptr, nullptr,
     "Auto Program on several Writers side by side", HANDLER(GangAutoProgram1Click)},

    {"Window1", "WindowCascadeItem", nullptr, "&Cascade", nullptr, "ToolButton8", "Cascade",
     HANDLER(WindowCascadeItemClick)},
    {"Window1", "WindowTileItem", nullptr, "Tile &Horizontally", nullptr, "ToolButton10",
     "Tile horizontally", HANDLER(WindowTileItemClick)},
    {"Window1", "WindowTileItem2", nullptr, "Tile &Vertically", nullptr, "ToolButton11", "Tile vertically",
     HANDLER(WindowTileItem2Click)},
    {"Window1", "WindowMinimizeItem", nullptr, "&Minimize All", nullptr, nullptr, nullptr,
     HANDLER(WindowMinimizeItemClick)},
    {"Window1", "WindowArrangeItem", nullptr, "&Arrange All", nullptr, nullptr, nullptr,
     HANDLER(WindowArrangeItemClick)},

    {"DownLoadMenu", "DownLoad1", nullptr, "DownLoad", nullptr, nullptr, nullptr, HANDLER(DownLoad1Click)},
    {"Help1", "HelpAboutItem", "HelpAbout1", "&About...", nullptr, nullptr, nullptr, HANDLER(HelpAbout1Execute)},

    // Tool-bar only, hidden.
    {nullptr, "Erase", nullptr, "Erase", nullptr, "Erase", "Erase Flash memory", HANDLER(EraseClick)},
    {nullptr, "WriteEE", nullptr, "WriteEE", nullptr, "WriteEE", "Write EEPROM", HANDLER(WriteEEClick)},
    {nullptr, "ToolButton23", nullptr, "", nullptr, "ToolButton23", nullptr, HANDLER(ToolButton23Click)},
    {nullptr, "SpeedButton1", nullptr, "Sim Enable", nullptr, "SpeedButton1", "AutoProgram Test mode",
     HANDLER(SpeedButton1Click)},

    // Bound to no menu item or button: Ctrl+N is taken and does nothing.
    {nullptr, "FileNew1", nullptr, "&New", "Ctrl+N", nullptr, nullptr, nullptr, nullptr},
    {nullptr, "FileClose1", nullptr, "&Close", nullptr, nullptr, nullptr, HANDLER(FileClose1Execute)},
};
#undef HANDLER

struct MenuDef {
  const char* name;
  const char* caption;
};
constexpr MenuDef kMenus[] = {{"File1", "&File"},       {"View1", "&View"},
                              {"Edit1", "&Edit"},       {"Program1", "&Program"},
                              {"Window1", "&Window"},   {"DownLoadMenu", "&DownLoad"},
                              {"Help1", "&Help"}};

// Tool bar, left to right; "|" is a separator.
constexpr const char* kToolBarOrder[] = {
    "ToolButton1", "ToolButton2", "|", "Erase", "|", "ToolButton6", "ToolButton7", "ToolButton17",
    "ToolButton18", "|", "ToolButton20", "ToolButton21", "ToolButton19", "|", "WriteEE", "ToolButton5",
    "ToolButton12", "|", "ToolButton8", "ToolButton10", "ToolButton11", "|", "Label3", "ComboBox1",
    "HandShake", "|", "ToolButton23", "|", "SpeedButton1"};

constexpr const char* kHiddenButtons[] = {"Erase", "WriteEE", "ToolButton23", "SpeedButton1"};

QLabel* NewLabel(const char* name, const char* text, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(name);
  return label;
}

}  // namespace

TMainForm::TMainForm(Prompts& prompts, Clock& clock, SerialDeviceFactory serialDevices, QWidget* parent)
    : QMainWindow(parent),
      prompts_(prompts),
      clock_(clock),
      serialDevices_(std::move(serialDevices)),
      widgets_(std::make_unique<Widgets>()) {
  g_mainForm = this;
  setObjectName("MainForm");
  setAcceptDrops(true);  // an image or configuration file dropped here is opened
  resize(800, 628);

  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  mdiArea_ = new QMdiArea(central);
  mdiArea_->setObjectName("MdiArea");
  mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  row->addWidget(mdiArea_, 1);
  setCentralWidget(central);

  BuildMenusAndToolBar();
  BuildPanel();
  row->addWidget(widgets_->Panel1);

  widgets_->Timer1 = new QTimer(this);
  widgets_->Timer1->setObjectName("Timer1");
  widgets_->Timer1->setInterval(500);
  connect(widgets_->Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

  CreateLinkArea();
  CreateFilesArea();
  FormCreate();
  widgets_->Timer1->start();
}

TMainForm::~TMainForm() {
  if (g_mainForm == this) g_mainForm = nullptr;
}

TMainForm* TMainForm::Instance() { return g_mainForm; }

std::span<const TMainForm::Command> TMainForm::Commands() { return kCommands; }

QAction* TMainForm::CommandAction(const std::string& name) const { return widgets_->Action(name.c_str()); }

void TMainForm::SetCommandHook(std::function<void(const char*)> hook, bool runHandlers) {
  widgets_->hook = std::move(hook);
  widgets_->runHandlers = runHandlers;
}

void TMainForm::RunCommand(const Command& command) {
  if (command.handler == nullptr || !CommandsEnabled()) return;
  if (widgets_->hook) widgets_->hook(command.handlerName);
  if (widgets_->runHandlers) (this->*command.handler)();
}

void TMainForm::BuildMenusAndToolBar() {
  std::map<std::string, QMenu*> menus;
  for (const MenuDef& m : kMenus) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(m.caption));
    menu->setObjectName(m.name);
    menus[m.name] = menu;
  }
  widgets_->Window1 = menus["Window1"];

  std::map<std::string, QAction*> byButton;
  for (const Command& c : kCommands) {
    auto* action = new QAction(QString::fromUtf8(c.caption), this);
    action->setObjectName(c.item);
    if (c.shortcut) action->setShortcut(QKeySequence(QString::fromUtf8(c.shortcut)));
    if (c.hint) action->setToolTip(QString::fromUtf8(c.hint));
    if (c.toolButton) {
      action->setIcon(ToolButtonIcon(c.toolButton, style()));
      action->setIconVisibleInMenu(true);
      byButton[c.toolButton] = action;
    }
    connect(action, &QAction::triggered, this, [this, &c] { RunCommand(c); });
    if (c.menu) {
      menus[c.menu]->addAction(action);
    } else if (c.shortcut) {
      addAction(action);  // a short-cut needs a widget to live on
    }
    widgets_->actions[c.item] = action;
    if (c.action) widgets_->actions[c.action] = action;
  }
  menus["Edit1"]->insertSeparator(widgets_->Action("ClearOPTION1"));
  menus["File1"]->insertSeparator(widgets_->Action("FileExitItem"));
  menus["Program1"]->insertSeparator(widgets_->Action("AutoProgram1"));
  menus["Program1"]->insertSeparator(widgets_->Action("OPTION3"));
  menus["Program1"]->insertSeparator(widgets_->Action("GangAutoProgram1"));
  widgets_->commands = new QActionGroup(this);
  widgets_->commands->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
  for (const auto& [name, action] : widgets_->actions) widgets_->commands->addAction(action);

  // The Window menu also lists the open views.
  QMenu* windowMenu = widgets_->Window1;
  QAction* listStart = windowMenu->addSeparator();
  listStart->setVisible(false);
  connect(windowMenu, &QMenu::aboutToShow, this, [this, windowMenu, listStart] {
    const auto all = windowMenu->actions();
    for (qsizetype i = all.indexOf(listStart) + 1; i < all.size(); ++i) {
      windowMenu->removeAction(all[i]);
      all[i]->deleteLater();
    }
    const auto children = mdiArea_->subWindowList();
    listStart->setVisible(!children.isEmpty());
    int n = 1;
    for (QMdiSubWindow* child : children) {
      auto* item = windowMenu->addAction(QString("&%1 %2").arg(n++).arg(child->windowTitle()));
      item->setCheckable(true);
      item->setChecked(child == mdiArea_->activeSubWindow());
      connect(item, &QAction::triggered, this, [this, child = QPointer<QMdiSubWindow>(child)] {
        if (child) mdiArea_->setActiveSubWindow(child);
      });
    }
  });

  auto* bar = addToolBar("ToolBar2");
  widgets_->ToolBar2 = bar;
  bar->setObjectName("ToolBar2");
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setIconSize(QSize(24, 24));
  bar->setToolButtonStyle(Qt::ToolButtonIconOnly);

  widgets_->Label3 = NewLabel("Label3", "Serial Port :", bar);
  widgets_->Label3->setContentsMargins(8, 0, 4, 0);
  widgets_->ComboBox1 = new QComboBox(bar);
  widgets_->ComboBox1->setObjectName("ComboBox1");
  for (int i = 1; i <= 8; ++i) widgets_->ComboBox1->addItem(QString("Com%1").arg(i));
  widgets_->HandShake = new QComboBox(bar);
  widgets_->HandShake->setObjectName("HandShake");
  widgets_->HandShake->addItems({"Default", "CTS", "None"});
  widgets_->HandShake->setToolTip("Handshake");
  // Only the user's choice reaches the handler; code sets the lists with signals blocked.
  connect(widgets_->ComboBox1, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });
  connect(widgets_->HandShake, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });
  for (QComboBox* combo : {widgets_->ComboBox1, widgets_->HandShake}) {
    combo->setFocusPolicy(Qt::StrongFocus);
    combo->installEventFilter(this);
  }
  widgets_->Label3->installEventFilter(this);
  widgets_->doubleClick[widgets_->Label3] = {&TMainForm::Label3DblClick, "Label3DblClick"};

  for (const char* name : kToolBarOrder) {
    const std::string n = name;
    QAction* item = nullptr;
    if (n == "|") {
      item = bar->addSeparator();
    } else if (n == "Label3") {
      item = bar->addWidget(widgets_->Label3);
    } else if (n == "ComboBox1") {
      item = bar->addWidget(widgets_->ComboBox1);
    } else if (n == "HandShake") {
      item = bar->addWidget(widgets_->HandShake);
    } else {
      item = byButton.at(n);
      bar->addAction(item);
      if (QWidget* button = bar->widgetForAction(item)) button->setObjectName(name);
    }
    widgets_->toolBarItems.push_back(item);
  }
  for (const char* name : kHiddenButtons) widgets_->Action(name)->setVisible(false);
  TidyToolBarSeparators(widgets_->toolBarItems);
  widgets_->Action("FileSaveAsItem")->setEnabled(false);
  // The menu item's own hint; its tool button keeps "Program OPTION".
  widgets_->Action("OPTION3")->setStatusTip("Program Option Only");
}

void TMainForm::BuildPanel() {
  auto* panel = new QFrame(this);
  widgets_->Panel1 = panel;
  panel->setObjectName("Panel1");
  panel->setFixedWidth(200);
  panel->setFrameShape(QFrame::StyledPanel);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(6);

  auto valueFont = font();
  valueFont.setBold(true);
  const Widgets::DoubleClick editOption{&TMainForm::EditOPTIONClick, "EditOPTIONClick"};
  const Widgets::DoubleClick none{nullptr, nullptr};
  auto watch = [this](QWidget* widget, Widgets::DoubleClick handler) {
    widget->installEventFilter(this);
    widgets_->doubleClick[widget] = handler;
  };

  // Device and OPTION.
  auto* group2 = new QGroupBox(panel);
  group2->setObjectName("GroupBox2");
  watch(group2, editOption);
  auto* grid = new QGridLayout(group2);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(3);
  auto* label4 = NewLabel("Label4", "Device:", group2);
  watch(label4, none);
  grid->addWidget(label4, 0, 0, 1, 2);
  widgets_->ComboBox2 = new QComboBox(group2);
  widgets_->ComboBox2->setObjectName("ComboBox2");
  widgets_->ComboBox2->setMaxVisibleItems(28);
  connect(widgets_->ComboBox2, &QComboBox::currentIndexChanged, this, [this] { ComboBox2Change(); });
  widgets_->ComboBox2->setFocusPolicy(Qt::StrongFocus);
  widgets_->ComboBox2->installEventFilter(this);
  grid->addWidget(widgets_->ComboBox2, 1, 0, 1, 2);

  struct OptionRow {
    OptionField field;
    const char* caption;
    const char* captionName;
    const char* valueName;
  };
  constexpr OptionRow kOptionRows[] = {
      {kOsc, "OSC Type:", "StaticText2", "Label5"}, {kPrd, "PRD:", "StaticText7", "Label10"},
      {kOst, "OST:", "StaticText3", "Label6"},      {kWdt, "WDT:", "StaticText4", "Label7"},
      {kPed, "PED:", "StaticText5", "Label8"},      {kSecurity, "Security:", "StaticText6", "Label9"},
  };
  int r = 2;
  for (const OptionRow& o : kOptionRows) {
    auto* caption = NewLabel(o.captionName, o.caption, group2);
    auto* value = NewLabel(o.valueName, "Blank", group2);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setFont(valueFont);
    watch(caption, editOption);
    watch(value, editOption);
    widgets_->optionCaption[o.field] = caption;
    widgets_->optionValue[o.field] = value;
    grid->addWidget(caption, r, 0);
    grid->addWidget(value, r, 1);
    ++r;
  }
  auto* line = new QFrame(group2);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  grid->addWidget(line, r++, 0, 1, 2);

  struct SumRow {
    const char* captionName;
    const char* caption;
    const char* valueName;
    const char* hint;
    QLabel* Widgets::*member;
    bool opensEditor;
  };
  const SumRow kSums[] = {
      {"StaticText8", "Checksum:", "Label11", "Checksum for data", &Widgets::Label11, true},
      {"Label16", "IC Checksum:", "Label17", "Checksum on IC", &Widgets::Label17, false},
      {"StaticText10", "OPTION Sum:", "OptChecksum", "Checksum include OPTION", &Widgets::OptChecksum,
       false},
      {"StaticText11", "Protect Sum:", "ProtectSum", "Checksum for protected IC", &Widgets::ProtectSum,
       false},
  };
  for (const SumRow& s : kSums) {
    auto* caption = NewLabel(s.captionName, s.caption, group2);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The IC checksum characters are ID bytes: draw those without a glyph visibly.
    QLabel* value = s.member == &Widgets::Label17 ? new ByteTextLabel(group2) : new QLabel(group2);
    value->setObjectName(s.valueName);
    value->setFont(valueFont);
    value->setToolTip(s.hint);
    value->setTextInteractionFlags(Qt::NoTextInteraction);
    widgets_.get()->*s.member = value;
    watch(caption, s.opensEditor ? editOption : none);
    watch(value, s.opensEditor ? editOption : none);
    grid->addWidget(caption, r, 0);
    grid->addWidget(value, r, 1);
    ++r;
  }
  grid->setColumnStretch(1, 1);
  column->addWidget(group2);

  auto addBoxWithLabel = [&](const char* boxName, const char* title, const char* labelName,
                             const char* text, Qt::Alignment align, Widgets::DoubleClick handler,
                             QLabel* label = nullptr) {
    auto* box = new QGroupBox(QString::fromUtf8(title), panel);
    box->setObjectName(boxName);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(8, 4, 8, 6);
    if (label == nullptr) label = new QLabel(box);
    label->setParent(box);
    label->setObjectName(labelName);
    label->setText(QString::fromUtf8(text));
    label->setAlignment(align | Qt::AlignVCenter);
    label->setFont(valueFont);
    layout->addWidget(label);
    watch(box, handler);
    watch(label, handler);
    column->addWidget(box);
    return label;
  };
  // The ID in ASCII is raw bytes: those without a glyph are drawn visibly.
  widgets_->Label18 = addBoxWithLabel("GroupBox3", "ID :", "Label18", "7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F",
                                Qt::AlignLeft, {&TMainForm::ID2Click, "ID2Click"}, new ByteTextLabel);
  widgets_->Label18->setWordWrap(true);
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setBold(true);
  widgets_->Label18->setFont(mono);
  // The count fills its frame, so it answers a double-click as the frame does.
  widgets_->Label13 = addBoxWithLabel("GroupBox4", "Pass Count :", "Label13", "0", Qt::AlignRight,
                                {&TMainForm::CounterMode1Click, "CounterMode1Click"});
  widgets_->Label15 =
      addBoxWithLabel("GroupBox5", "Serial No. (HEX) :", "Label15", "00", Qt::AlignRight, none);

  auto* group1 = new QGroupBox(panel);
  group1->setObjectName("GroupBox1");
  auto* modes = new QGridLayout(group1);
  modes->addWidget(NewLabel("Label12", "Serial No. Mode :", group1), 0, 0);
  widgets_->Label1 = NewLabel("Label1", "Disable", group1);
  widgets_->Label1->setFont(valueFont);
  modes->addWidget(widgets_->Label1, 0, 1);
  modes->addWidget(NewLabel("StaticText1", "QTP file :", group1), 1, 0);
  widgets_->Label19 = NewLabel("Label19", "Disable", group1);
  widgets_->Label19->setFont(valueFont);
  modes->addWidget(widgets_->Label19, 1, 1);
  modes->setColumnStretch(1, 1);
  column->addWidget(group1);

  // Write and erase pulse widths: present but hidden.
  auto* pulse = new QGridLayout();
  auto addPulse = [&](int row, const char* captionName, const char* caption, const char* editName,
                      const char* text, const char* unitName, const char* unit) {
    auto* c = NewLabel(captionName, caption, panel);
    auto* edit = new QLineEdit(QString::fromUtf8(text), panel);
    edit->setObjectName(editName);
    edit->setMaximumWidth(48);
    auto* u = NewLabel(unitName, unit, panel);
    pulse->addWidget(c, row, 0);
    pulse->addWidget(edit, row, 1);
    pulse->addWidget(u, row, 2);
    for (QWidget* widget : {static_cast<QWidget*>(c), static_cast<QWidget*>(edit), static_cast<QWidget*>(u)}) {
      widget->hide();
      widgets_->pulseGroup.push_back(widget);
    }
    return edit;
  };
  widgets_->PulseWidth =
      addPulse(0, "StaticText12", "Write pulse width:", "PulseWidth", "5", "StaticText13", "x 0.2ms");
  widgets_->EraseWidth =
      addPulse(1, "StaticText14", "Erase Pulse Width:", "EraseWidth", "120", "StaticText15", "x 0.1ms");
  connect(widgets_->PulseWidth, &QLineEdit::textChanged, this, [this] { PulseWidthChange(); });
  connect(widgets_->EraseWidth, &QLineEdit::textChanged, this, [this] { EraseWidthChange(); });
  column->addLayout(pulse);
  column->addStretch(1);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  // A wheel turned over a list it is not focused on must not switch the device
  // (which blanks every buffer) or the port.
  if (event->type() == QEvent::Wheel) {
    auto* combo = qobject_cast<QComboBox*>(watched);
    if (combo && !combo->hasFocus()) return true;
  }
  if (event->type() == QEvent::MouseButtonDblClick) {
    auto it = widgets_->doubleClick.find(watched);
    if (it != widgets_->doubleClick.end()) {
      const Widgets::DoubleClick& run = it->second;
      if (run.handler) {
        if (widgets_->hook) widgets_->hook(run.name);
        if (widgets_->runHandlers) (this->*run.handler)();
      }
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

namespace {

// Start-up's messages and its wait for a silent Writer come once the window
// can be seen: when the window system shows it (or after a bounded wait for
// that), it is painted, then the rest of start-up runs.
constexpr int kExposeWaitMs = 1000;
constexpr int kExposePollMs = 10;

void FinishStartupWhenOnScreen(QPointer<TMainForm> form, int waitedMs) {
  if (form.isNull()) return;
  QWindow* native = form->windowHandle();
  if (native != nullptr && !native->isExposed() && waitedMs < kExposeWaitMs) {
    QTimer::singleShot(kExposePollMs, form, [form, waitedMs] {
      FinishStartupWhenOnScreen(form, waitedMs + kExposePollMs);
    });
    return;
  }
  form->repaint();
  form->FinishStartup();
}

}  // namespace

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  const bool first = !state_.Shown;
  FormShow();
  if (first && !startupDone_)
    QTimer::singleShot(0, this, [form = QPointer<TMainForm>(this)] { FinishStartupWhenOnScreen(form, 0); });
}

namespace {

// The one local file a drag carries; empty when it carries anything else.
QString DraggedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  const QList<QUrl> urls = data->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return {};
  return urls.front().toLocalFile();
}

}  // namespace

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!DraggedFile(event->mimeData()).isEmpty() && !OperationOpen() && CommandsEnabled())
    event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  const QString path = DraggedFile(event->mimeData());
  if (path.isEmpty() || OperationOpen() || !CommandsEnabled()) return;
  event->acceptProposedAction();
  // Loaded after the drop has ended: its messages must not hold up the
  // program the file was dragged from.
  QTimer::singleShot(0, this, [this, file = path.toStdString()] { OpenChosenFile(file); });
}

void TMainForm::OpenChosenFile(const std::string& path) {
  switch (OpenChosenPath(state_, prompts_, path, ShownLoads())) {
    case OpenOutcome::Loaded:
    case OpenOutcome::ConfigRejected: break;
    case OpenOutcome::Missing:
    case OpenOutcome::CannotOpen:
    case OpenOutcome::WrongType: return;
  }
  CreateMemoryView();
  // Also a listing left open after its flag went with the program-memory view.
  DestroyDisassemblyWindow();
  ShowPanel();
  if (const std::string warning = ImagePastDeviceWarning(state_); !warning.empty())
    prompts_.Message(warning, {}, PromptIcon::Warning);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // Closed before start-up read Default.cfg: writing the blank state over it
  // would lose the user's settings.
  if (startupDone_) FormClose();
  event->accept();
}

void TMainForm::ShowPanel() {
  // Simulation belongs to serial-number mode: whatever turned the mode off
  // (a configuration, a finished QTP run, force write) ends it too.
  if (!state_.SerialMode && state_.SimMode) {
    state_.SimMode = 0;
    state_.Panel.SpeedButton1 = "QTP Sim Disable";
  }
  const PanelTexts& p = state_.Panel;
  for (int f = 0; f < kOptionFieldCount; ++f) {
    const OptionFieldView& v = p.option[f];
    widgets_->optionCaption[f]->setText(QString::fromStdString(v.caption));
    widgets_->optionValue[f]->setText(QString::fromStdString(v.value));
    widgets_->optionCaption[f]->setEnabled(v.enabled);
    widgets_->optionValue[f]->setEnabled(v.enabled);
  }
  widgets_->Label11->setText(QString::fromStdString(p.Label11));
  widgets_->OptChecksum->setText(QString::fromStdString(p.OptChecksum));
  widgets_->ProtectSum->setText(QString::fromStdString(p.ProtectSum));
  widgets_->Label17->setText(QString::fromStdString(p.Label17));
  widgets_->Label18->setText(QString::fromStdString(p.Label18));
  widgets_->Label13->setText(QString::fromStdString(p.Label13));
  widgets_->Label15->setText(QString::fromStdString(p.Label15));
  widgets_->Label1->setText(QString::fromStdString(p.Label1));
  widgets_->Label19->setText(QString::fromStdString(p.Label19));
  widgets_->Action("SpeedButton1")->setText(QString::fromStdString(p.SpeedButton1));
  SetSingleAreaProgramming(CommandOffered(WriterCommand::ProgramMemory, state_));
  // The list follows the selected device (a configuration load may have changed it).
  if (state_.DeviceIndex >= 0 && state_.DeviceIndex < widgets_->ComboBox2->count() &&
      state_.DeviceIndex != widgets_->ComboBox2->currentIndex()) {
    QSignalBlocker block(widgets_->ComboBox2);
    widgets_->ComboBox2->setCurrentIndex(state_.DeviceIndex);
  }
  ShowLedgerStatus();
}

void TMainForm::SetCommandsEnabled(bool enabled) {
  // The group keeps each action's own state (EEPROM, single-area programming)
  // and gives it back when it is enabled again.
  widgets_->commands->setEnabled(enabled);
  widgets_->ComboBox1->setEnabled(enabled);
  widgets_->HandShake->setEnabled(enabled);
  centralWidget()->setEnabled(enabled);
}

bool TMainForm::CommandsEnabled() const { return widgets_->commands->isEnabled(); }

std::string TMainForm::DeviceListText() const { return widgets_->ComboBox2->currentText().toStdString(); }

bool TMainForm::SelectDevice(const std::string& name) {
  const int index = widgets_->ComboBox2->findText(QString::fromStdString(name),
                                            Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (index < 0) return false;
  {
    QSignalBlocker block(widgets_->ComboBox2);
    widgets_->ComboBox2->setCurrentIndex(index);
  }
  state_.DeviceIndex = GetICInfo(state_, name);
  return true;
}

void TMainForm::SetEepromControlsEnabled(bool enabled) {
  for (const char* name : {"Erase", "WriteEE", "EEPROM1", "ClearEEPROMBuffer1"})
    widgets_->Action(name)->setEnabled(enabled);
}

std::string TMainForm::PortChoice() const { return widgets_->ComboBox1->currentText().toStdString(); }

bool TMainForm::SetPortIndex(int index) {
  if (index < 0 || index >= widgets_->ComboBox1->count()) return false;
  QSignalBlocker block(widgets_->ComboBox1);
  widgets_->ComboBox1->setCurrentIndex(index);
  return true;
}

int TMainForm::HandShakeIndex() const { return widgets_->HandShake->currentIndex(); }

void TMainForm::SetHandShakeIndex(int index) {
  if (index < 0 || index >= widgets_->HandShake->count()) return;
  QSignalBlocker block(widgets_->HandShake);
  widgets_->HandShake->setCurrentIndex(index);
}

QLineEdit* TMainForm::PulseWidthEdit() const { return widgets_->PulseWidth; }
QLineEdit* TMainForm::EraseWidthEdit() const { return widgets_->EraseWidth; }
bool TMainForm::PulseWidthVisible() const {
  return !widgets_->PulseWidth->isHidden() || !widgets_->EraseWidth->isHidden();
}

// --- Window menu ---
//
// The arrangements place the windows themselves: a window of fixed size (the
// ID window) cannot take the size a plain tile gives it, so it gets a strip of
// its own, and the other windows share what is left without overlapping it.

namespace {

// Below this a grid shows too few cells to work with.
constexpr QSize kUsableSize(160, 120);

QList<QMdiSubWindow*> OpenChildren(QMdiArea* area) {
  QList<QMdiSubWindow*> out;
  for (QMdiSubWindow* child : area->subWindowList())
    if (child->isVisible() && !child->isMinimized()) out << child;
  return out;
}

bool FixedSize(const QMdiSubWindow* child) { return child->minimumSize() == child->maximumSize(); }

QSize UsableSize(const QMdiSubWindow* child) {
  return child->minimumSizeHint().expandedTo(kUsableSize).expandedTo(child->minimumSize());
}

struct Placement {
  QList<QRect> fixed;     // one per fixed window, in order
  QList<QRect> flexible;  // one per other window, in order
};

// Splits area into n slots, side by side or one above another.
QList<QRect> Split(const QRect& area, int n, bool sideBySide) {
  QList<QRect> out;
  const int extent = sideBySide ? area.width() : area.height();
  for (int i = 0; i < n; ++i) {
    const int from = extent * i / n;
    const int to = extent * (i + 1) / n;
    out << (sideBySide ? QRect(area.left() + from, area.top(), to - from, area.height())
                       : QRect(area.left(), area.top() + from, area.width(), to - from));
  }
  return out;
}

// The fixed windows in a row across the top (or a column down the left),
// wrapping where the viewport ends; the others split the rest.
Placement Place(const QRect& all, const QList<QSize>& fixed, int flexible, bool sideBySide,
                bool fixedInColumn) {
  Placement p;
  int along = 0, across = 0, strip = 0, used = 0;
  const int limit = fixedInColumn ? all.height() : all.width();
  for (const QSize& size : fixed) {
    const int a = fixedInColumn ? size.height() : size.width();
    const int c = fixedInColumn ? size.width() : size.height();
    if (along > 0 && along + a > limit) {
      across += strip;
      along = strip = 0;
    }
    p.fixed << (fixedInColumn ? QRect(QPoint(all.left() + across, all.top() + along), size)
                              : QRect(QPoint(all.left() + along, all.top() + across), size));
    along += a;
    strip = std::max(strip, c);
    used = across + strip;
  }
  const QRect rest = fixedInColumn ? all.adjusted(used, 0, 0, 0) : all.adjusted(0, used, 0, 0);
  p.flexible = Split(rest, flexible, sideBySide);
  return p;
}

// Smallest side any flexible window gets; higher is better.
int Score(const Placement& p) {
  int score = std::numeric_limits<int>::max();
  for (const QRect& r : p.flexible) score = std::min({score, r.width(), r.height()});
  return score;
}

bool Usable(const Placement& p, const QList<QMdiSubWindow*>& flexible) {
  for (int i = 0; i < flexible.size(); ++i) {
    const QSize usable = UsableSize(flexible[i]);
    if (p.flexible[i].width() < usable.width() || p.flexible[i].height() < usable.height()) return false;
  }
  return true;
}

// Puts the open children side by side or one above another. Fixed-size
// windows get a strip of their own, along the top or down the left, whichever
// leaves the others more room. Where the asked-for direction leaves a window
// too small to work in, the others are laid the other way instead; only when
// nothing fits does a window reach past the area, which then scrolls.
void Tile(QMdiArea* area, bool sideBySide) {
  const auto children = OpenChildren(area);
  if (children.isEmpty()) return;
  QList<QMdiSubWindow*> fixed, flexible;
  QList<QSize> fixedSizes;
  for (QMdiSubWindow* child : children) {
    child->showNormal();
    if (FixedSize(child)) {
      fixed << child;
      fixedSizes << child->size();
    } else {
      flexible << child;
    }
  }
  const QRect all = area->viewport()->rect();
  const int n = static_cast<int>(flexible.size());
  // The asked-for direction first, with the fixed windows lined up the same
  // way (a column beside windows side by side, a row above windows one above
  // another); between two that fit, the one leaving the most room wins.
  const Placement candidates[] = {
      Place(all, fixedSizes, n, sideBySide, sideBySide),
      Place(all, fixedSizes, n, sideBySide, !sideBySide),
      Place(all, fixedSizes, n, !sideBySide, sideBySide),
      Place(all, fixedSizes, n, !sideBySide, !sideBySide),
  };
  const bool direction[] = {sideBySide, sideBySide, !sideBySide, !sideBySide};
  int best = -1;
  auto consider = [&](int i, bool mustFit) {
    if (mustFit && !Usable(candidates[i], flexible)) return;
    if (best < 0 || Score(candidates[i]) > Score(candidates[best])) best = i;
  };
  consider(0, true);
  consider(1, true);
  if (best < 0) {
    consider(2, true);
    consider(3, true);
  }
  if (best < 0)
    for (int i = 0; i < 4; ++i) consider(i, false);
  const Placement& p = candidates[best];
  const bool along = direction[best];

  for (int i = 0; i < fixed.size(); ++i) fixed[i]->move(p.fixed[i].topLeft());
  // A slot too small to work in is widened; the area then scrolls to the rest.
  int shift = 0;
  for (int i = 0; i < flexible.size(); ++i) {
    QRect r = p.flexible[i].translated(along ? shift : 0, along ? 0 : shift);
    const QSize size = r.size().expandedTo(UsableSize(flexible[i]));
    shift += along ? size.width() - r.width() : size.height() - r.height();
    r.setSize(size);
    flexible[i]->setGeometry(r);
  }
}

// Staggers the windows by a title bar each, so every title stays in sight.
// Windows of fixed size go on top: they cover only a corner of the larger
// ones, which fill the rest of the area.
void Cascade(QMdiArea* area) {
  const auto children = OpenChildren(area);
  if (children.isEmpty()) return;
  QList<QMdiSubWindow*> order;
  for (QMdiSubWindow* child : children)
    if (!FixedSize(child)) order << child;
  for (QMdiSubWindow* child : children)
    if (FixedSize(child)) order << child;

  for (QMdiSubWindow* child : order) child->showNormal();
  const QRect all = area->viewport()->rect();
  const int n = static_cast<int>(order.size());
  const int step = order.front()->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, order.front()) + 4;
  const QSize big = QSize(all.width() - (n - 1) * step, all.height() - (n - 1) * step);
  for (int i = 0; i < n; ++i) {
    QMdiSubWindow* child = order[i];
    const QPoint at(all.left() + i * step, all.top() + i * step);
    if (FixedSize(child)) {
      // Pulled back into the area if it would reach past it.
      child->move(std::max(all.left(), std::min(at.x(), all.right() + 1 - child->width())),
                  std::max(all.top(), std::min(at.y(), all.bottom() + 1 - child->height())));
    } else {
      child->setGeometry(QRect(at, big.expandedTo(UsableSize(child))));
    }
  }
  area->setActiveSubWindow(order.back());
  // Raised after the activation, which may lift a window that was maximised.
  for (QMdiSubWindow* child : order) child->raise();
}

}  // namespace

void TMainForm::WindowCascadeItemClick() { Cascade(mdiArea_); }
void TMainForm::WindowTileItemClick() { Tile(mdiArea_, false); }
void TMainForm::WindowTileItem2Click() { Tile(mdiArea_, true); }

void TMainForm::WindowMinimizeItemClick() {
  for (QMdiSubWindow* child : mdiArea_->subWindowList()) child->showMinimized();
}

void TMainForm::WindowArrangeItemClick() {
  const QRect all = mdiArea_->viewport()->rect();
  int x = 0;
  int y = all.bottom();
  for (QMdiSubWindow* child : mdiArea_->subWindowList()) {
    if (!child->isMinimized()) continue;
    const QSize size = child->size();
    if (x > 0 && x + size.width() > all.width()) {
      x = 0;
      y -= size.height();
    }
    child->move(x, y - size.height() + 1);
    x += size.width();
  }
}

void TMainForm::FileClose1Execute() {
  if (QMdiSubWindow* child = mdiArea_->activeSubWindow()) child->close();
}
