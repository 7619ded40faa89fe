#pragma once
// The application window: MDI frame, menus, tool bar, status panel, timer.
// It owns the one MainState. Command handlers of every area are members of
// this class; each area defines its own handlers in its own source file.

#include <QMainWindow>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "app/MainState.h"
#include "app/Prompts.h"

class QAction;
class QDialog;
class QComboBox;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QTimer;
class QToolButton;
class Clock;
class SerialDevice;
class TComm;
class WriterLink;
struct PortSelection;
struct HeaderInputs;
struct LoadView;
enum class WriterCommand : std::uint8_t;

// Opens the serial line for Comm1; empty means the platform's serial ports.
using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;

// State of one area of the window that lives as long as the window. Each area
// derives its own and creates it in its Create...Area() member.
struct AreaState {
  virtual ~AreaState() = default;
};

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // prompts and clock must outlive the window. The window takes no ownership.
  // Construction ends with FormCreate (device list, blank state); the first
  // show runs FinishStartup once the window is on screen.
  TMainForm(Prompts& prompts, Clock& clock, SerialDeviceFactory serialDevices = {},
            QWidget* parent = nullptr);
  ~TMainForm() override;

  static TMainForm* Instance();  // the one main window, or nullptr

  MainState& State() { return state_; }
  Prompts& prompts() { return prompts_; }
  Clock& clock() { return clock_; }
  QMdiArea* MdiArea() const { return mdiArea_; }

  // --- Main window (start-up, shutdown, panel) ---
  void FormCreate();
  // Default.cfg, the EEPROM controls and the port probe: the start-up steps
  // that can show messages, run after the first show so that they appear over
  // the window. Runs once; a later call does nothing.
  void FinishStartup();
  bool StartupDone() const { return startupDone_; }
  void FormShow();
  void FormClose();
  void Timer1Timer();
  void FileExit1Execute();
  void ResetData();
  void ComboBox2Change();
  void ClearBuffer1Click();
  void ClearID1Click();
  void ClearOPTION1Click();
  void ClearEEPROMBuffer1Click();
  void DownLoad1Click();
  void Label3DblClick();
  // Redraws every panel control from State().Panel and the device list.
  void ShowPanel();
  // Text of the device list (ComboBox2).
  std::string DeviceListText() const;
  // Selects the entry of exactly that name and loads its parameters (DeviceIndex);
  // no change handler runs, nothing is blanked. False when the name is not listed.
  bool SelectDevice(const std::string& name);
  // Enables or disables Erase, WriteEE, EEPROM1 and ClearEEPROMBuffer1.
  void SetEepromControlsEnabled(bool enabled);
  // Enables or disables programming one area alone (program memory, ID and
  // OPTION: menu items and tool buttons); off while serial-number mode is on,
  // so parts are made by Auto Program only.
  void SetSingleAreaProgramming(bool enabled);
  // Window menu: the standard MDI arrangements.
  void WindowCascadeItemClick();
  void WindowTileItemClick();    // "Tile Horizontally": full-width windows, one above another
  void WindowTileItem2Click();   // "Tile Vertically": full-height windows side by side
  void WindowMinimizeItemClick();
  void WindowArrangeItemClick();  // lines up the minimised windows
  void FileClose1Execute();       // closes the active view

  // One row of the command table: the menu item (a QAction named `item`), its
  // action name, short-cut and tool button, and the handler it runs.
  struct Command {
    const char* menu;        // objectName of the menu holding the item; nullptr: none
    const char* item;        // objectName of the QAction
    const char* action;      // the action's own name (FileOpen1, BlankCheckAction ...), or nullptr
    const char* caption;
    const char* shortcut;    // e.g. "F5", "Ctrl+L"; nullptr: none
    const char* toolButton;  // objectName of the tool button, or nullptr
    const char* hint;        // tool tip
    void (TMainForm::*handler)();  // nullptr: bound to nothing (Ctrl+N)
    const char* handlerName;
  };
  static std::span<const Command> Commands();
  // The QAction of a command, by item or action name; nullptr when unknown.
  QAction* CommandAction(const std::string& name) const;
  // Test hook: called with the handler's name whenever a command runs. With
  // runHandlers false the handler itself is skipped (no window can open).
  void SetCommandHook(std::function<void(const char*)> hook, bool runHandlers = true);

  // --- Option word and checksums ---
  void RefreshData();
  void CalChecksum();
  void EditOPTIONClick();

  // --- Buffer views and ID windows ---
  void ProgramMemory1Click();
  void ID2Click();
  void EEPROM1Click();
  // Re-create a window if it is open (its flag stays set).
  void RecreateMemoryView();
  void RecreateIdWindow();
  void RecreateEepromWindow();
  // Create (or re-create) the window and set its flag.
  void CreateMemoryView();
  void CreateIdWindow();
  void CreateEepromWindow();
  void DestroyEepromWindow();

  // --- Files ---
  void CreateFilesArea();  // called once by the constructor
  void FileOpen1Execute();
  // "Open" on a file chosen without the dialog (one dropped on the window):
  // the same loading, messages and views as after the dialog.
  void OpenChosenFile(const std::string& path);
  void LoadConfig1Click();
  void FileSaveItemClick();
  bool LoadCfg(bool fullLoad);
  // What this window shows of a load: port and device lists, panel, views.
  LoadView ShownLoads();
  void SaveCfg();
  void SaveProgramMemory1Click();
  void HelpAbout1Execute();
  void FillBuffer1Click();
  void Disassemble1Click();
  void FileSaveAsItemClick();
  void DestroyDisassemblyWindow();

  // --- Serial link ---
  void CreateLinkArea();  // called once by the constructor
  TComm& Comm1();
  WriterLink& Link();
  // The port and handshake choice of the tool bar, and what a header needs of
  // the window; taken on the GUI thread.
  PortSelection CurrentPortSelection() const;
  HeaderInputs CurrentHeaderInputs() const;
  // The entry guard of every command that talks to the Writer.
  bool PortReady();
  void ComboBox1Change();
  void PulseWidthChange();
  void EraseWidthChange();
  // Start-up: open the port, probe the Writer, pick the handshake default.
  // The probe runs on a thread of its own; its message and the handshake
  // default follow on the GUI thread when it ends.
  void StartupProbe();
  // Waits for the start-up probe to end and shows its message now; nothing
  // when none is pending. Every command that uses the line calls it first.
  void FinishStartupProbe();
  bool StartupProbePending() const;  // started, its message not yet shown
  // Shutdown: close the port and put back the settings saved when it was opened.
  void ShutdownLink();
  // The tool bar's port and handshake selectors and the hidden pulse-width edits.
  // Setting an index never runs ComboBox1Change.
  std::string PortChoice() const;  // "Com1" ... "Com8"
  bool SetPortIndex(int index);    // false (nothing changed) outside 0..7
  int HandShakeIndex() const;      // 0 "Default", 1 "CTS", 2 "None"
  void SetHandShakeIndex(int index);
  QLineEdit* PulseWidthEdit() const;
  QLineEdit* EraseWidthEdit() const;
  bool PulseWidthVisible() const;

  // --- Writer operations ---
  // True while an operation window is open: its worker owns the state it writes.
  bool OperationOpen() const { return operationOpen_; }
  // Shows an operation window modally; OperationOpen() holds meanwhile.
  int RunOperationWindow(QDialog& window);
  // The command layer's guards and preparations of a Writer command (the
  // entry guard first); true when its window may open.
  bool StartCommand(WriterCommand command);
  // Test hook: runs the window in place of its modal loop and returns its result.
  void SetOperationWindowHook(std::function<int(QDialog&)> hook) { operationWindowHook_ = std::move(hook); }
  void BlankCheckActionExecute();
  void ToolButton7Click();
  void Veryfy1Click();
  void VerifywithProtect1Click();
  void AutoProgram1Click();
  void AutoProgramwithoutBlankCheck1Click();
  void OPTION3Click();
  void ID3Click();
  void ProgramMemory2Click();
  void EraseClick();
  void WriteEEClick();
  void ToolButton23Click();
  void SpeedButton1Click();
  void SerialNoMode1Click();
  void CounterMode1Click();
  void LoadQTPFile1Click();
  // Shutdown: close the QTP files.
  void CloseQtpFiles();

  // --- Production log ---
  // Edit menu: choose a CSV file to log every Auto Program pass to, or stop logging.
  void ProductionLog1Click();
  // Reads the choice kept in the program's settings file; called at start-up.
  void InitProductionLog();
  // After each Auto Program pass (GUI thread): appends its line when logging is on.
  void LogAutoProgramPass(const struct Outcome& pass);
  const std::string& ProductionLogPath() const { return productionLog_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  MainState state_;
  bool startupDone_ = false;
  bool operationOpen_ = false;
  std::string productionLog_;  // empty: no production log
  std::function<int(QDialog&)> operationWindowHook_;
  Prompts& prompts_;
  Clock& clock_;
  QMdiArea* mdiArea_ = nullptr;

  // Open windows; null when closed. The flags in MainState say the same.
  QMdiSubWindow* memoryView_ = nullptr;
  QMdiSubWindow* idWindow_ = nullptr;
  QMdiSubWindow* eepromWindow_ = nullptr;
  QMdiSubWindow* disassemblyWindow_ = nullptr;

  SerialDeviceFactory serialDevices_;
  std::unique_ptr<AreaState> linkArea_;
  std::unique_ptr<AreaState> filesArea_;

  // The window's own controls (menus, tool bar, panel).
  struct Widgets;
  std::unique_ptr<Widgets> w_;
  void BuildMenusAndToolBar();
  void BuildPanel();
  void RunCommand(const Command& command);
};
