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
class WriterSession;
class Ledger;
struct PassReport;
struct RunSettings;
struct SerialNumberSettings;
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
  void FormCreate();  // construction: device list, blank state, the port list's first entry
  // Default.cfg, the EEPROM controls and the port probe: the start-up steps
  // that can show messages, run after the first show so that they appear over
  // the window. Runs once; a later call does nothing.
  void FinishStartup();
  bool StartupDone() const { return startupDone_; }
  void FormShow();     // first show: the ID window and the program-memory view
  void FormClose();    // shutdown: port closed, QTP files closed, Default.cfg written
  void Timer1Timer();  // the 500 ms timer: panel refresh, serial-number mode text
  void FileExit1Execute();  // File > Exit
  void ResetData();    // the chosen device's blank state: buffers, modes, views
  void ComboBox2Change();   // another device chosen in the device list
  void ClearBuffer1Click();  // Edit > Clear Buffer: program memory blank
  void ClearID1Click();      // Edit > Clear ID
  void ClearOPTION1Click();  // Edit > Clear OPTION
  void ClearEEPROMBuffer1Click();  // Edit > Clear EEPROM Buffer
  void DownLoad1Click();     // DownLoad: the device list of the Writer
  void Label3DblClick();     // double click on "Serial Port :": shows or hides force write (ToolButton23)
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
  void WindowCascadeItemClick();  // "Cascade"
  void WindowTileItemClick();    // "Tile Horizontally": full-width windows, one above another
  void WindowTileItem2Click();   // "Tile Vertically": full-height windows side by side
  void WindowMinimizeItemClick();  // "Minimize All"
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
  void RefreshData();      // the option panel redrawn from the OPTION word
  void CalChecksum();      // the three checksums of the panel recomputed
  void EditOPTIONClick();  // F4 Edit > OPTION: the option word editor

  // --- Buffer views and ID windows ---
  void ProgramMemory1Click();  // View > Program Memory
  void ID2Click();             // View > ID: the ID and checksum window
  void EEPROM1Click();         // View > EEPROM (parts with data EEPROM)
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
  void FileOpen1Execute();  // File > Open: an image or a configuration file
  // "Open" on a file chosen without the dialog (one dropped on the window):
  // the same loading, messages and views as after the dialog.
  void OpenChosenFile(const std::string& path);
  void LoadConfig1Click();   // Ctrl+L "Load Config File "
  void FileSaveItemClick();  // Ctrl+S "Save Config File"
  // The configuration named by CfgPath; fullLoad also picks its device and image.
  bool LoadCfg(bool fullLoad);
  // What this window shows of a load: port and device lists, panel, views.
  LoadView ShownLoads();
  void SaveCfg();                  // writes the configuration to CfgPath
  void SaveProgramMemory1Click();  // File > Save Program Memory: a QEL binary
  void HelpAbout1Execute();        // Help > About
  void FillBuffer1Click();         // Ctrl+F Edit > Fill Buffer
  void Disassemble1Click();        // View > Disassemble
  void FileSaveAsItemClick();      // File > "Save Disassmble": the listing
  void DestroyDisassemblyWindow();

  // --- Serial link ---
  void CreateLinkArea();  // called once by the constructor
  TComm& Comm1();      // the serial port component
  WriterLink& Link();  // the protocol primitives over Comm1
  // The Writer session of the chosen port: every operation window runs its
  // worker on it, and it records and logs the passes.
  WriterSession& Session();
  // The port and handshake choice of the tool bar, and what a header needs of
  // the window; taken on the GUI thread.
  PortSelection CurrentPortSelection() const;
  HeaderInputs CurrentHeaderInputs() const;
  // The entry guard of every command that talks to the Writer.
  bool PortReady();
  void ComboBox1Change();   // another port or handshake chosen: reopen and probe
  void PulseWidthChange();  // the hidden write-pulse edit changed: clamp it
  void EraseWidthChange();  // the hidden erase-pulse edit changed: clamp it
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
  void BlankCheckActionExecute();  // F5 Blank Check
  void ToolButton7Click();         // F6 Read: the part into the buffers
  void Veryfy1Click();             // F7 Verify
  void VerifywithProtect1Click();  // Verify with Protect
  void AutoProgram1Click();        // F8 Auto Program: the production pass
  void AutoProgramwithoutBlankCheck1Click();  // F9 Auto Program without Blank Check
  void OPTION3Click();             // Program > OPTION: the OPTION word alone
  void ID3Click();                 // Program > ID and Checksum
  void ProgramMemory2Click();      // Program > Program Memory
  void GangAutoProgram1Click();    // Program > "Gang Auto Program...": several Writers side by side
  // Every command of the window, the port choice and the views on or off:
  // off while the gang window's Writers read the image.
  void SetCommandsEnabled(bool enabled);
  bool CommandsEnabled() const;
  void EraseClick();               // "Erase Flash memory", then the blank check
  void WriteEEClick();             // "Write EEPROM"
  void ToolButton23Click();        // force write: "Program Memory Without Check" (hidden button)
  void SpeedButton1Click();        // the simulation switch of Auto Program ("Sim Enable")
  void SerialNoMode1Click();       // Edit > Serial No. Mode: the serial-number set-up
  void CounterMode1Click();        // Edit > Set Counter Value: the pass count
  void LoadQTPFile1Click();        // Edit > Load QTP File: serial numbers from a file
  // Shutdown: close the QTP files.
  void CloseQtpFiles();

  // --- Production log ---
  // Edit menu: choose a CSV file to log every Auto Program pass to, or stop logging.
  void ProductionLog1Click();
  // Reads the choice kept in the program's settings file; called at start-up.
  void InitProductionLog();
  const std::string& ProductionLogPath() const { return productionLog_; }
  // After each pass of Auto Program or force write (GUI thread): a run that
  // could not start and a log that could not be written are said, and the
  // status line shows the next number. A pass of another Writer (the gang's)
  // also stamps that number into the buffer, as this window's own passes do.
  void PassReported(const PassReport& report, bool otherWriter = false);

  // --- Part ledger ---
  // Start-up: the choice kept in Writer.ini (on, at the default file, unless
  // chosen otherwise) and the ledger opened; one that cannot be is said so.
  void InitLedger();
  void ProductionLedger1Click();  // Edit > "Production Ledger...": location and job
  // The status line: the job, the ledger's location (no password) and the next number.
  void ShowLedgerStatus();
  std::string LedgerStatusText() const;
  bool LedgerOn() const;
  std::string LedgerLocation() const;  // as chosen; empty: the default file
  Ledger* CurrentLedger() const;       // null when off or not open
  std::string LedgerProblem() const;   // why the chosen ledger is not open
  // Puts a choice in force and keeps it in Writer.ini; `ledger` is the one
  // the choice opened (null when off).
  void UseLedger(bool on, const std::string& location, std::shared_ptr<Ledger> ledger);
  // The job this window's passes draw from: the one named in the serial-number
  // dialog for the current image, else the image's name.
  std::string LedgerJobName() const;
  void SetLedgerJobName(const std::string& name);
  // The serial-number dialog's OK: the typed settings against the job's. A job
  // with other settings asks for a new job name; the job's next number rules
  // (settings.start is set to it). False: keep the dialog open.
  bool TakeSerialSettings(SerialNumberSettings& settings);
  // What the passes of an Auto Program or force-write window are recorded
  // under: the ledger, the job, this station, the QTP file and the log.
  // The Writer session opens the job on its own thread at the first pass.
  RunSettings LedgerRunSettings(bool logged) const;
  void QtpFileLoaded(const std::string& path);
  // The chosen ledger opened on a thread of its own; the status line says so meanwhile.
  void OpenChosenLedger();
  // The ledger is being opened, or asked for the next number, on its thread.
  bool LedgerBusy() const;
  // Lets the window go on drawing (not clicking) until the ledger has been
  // opened: a dialog's OK that checks against the job waits for it.
  void WaitForLedgerOpen();
  // The job's next number asked on a thread of its own when what it depends on has changed.
  void AskNextNumber(const std::string& job);
  // A warning of the ledger's, shown once no other box is up.
  void SayWhenNoBoxIsUp(const std::string& text);

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
  std::unique_ptr<AreaState> ledgerArea_;

  // The window's own controls (menus, tool bar, panel).
  struct Widgets;
  std::unique_ptr<Widgets> widgets_;
  void BuildMenusAndToolBar();
  void BuildPanel();
  void RunCommand(const Command& command);
};
