#pragma once
// How a worker shows what it does. A worker never touches a widget: it names
// the control of its window ("Label2", "StaticText1", "Button1") and the panel
// carries the change there. The window queues each call to the GUI thread,
// writer-cli prints the lines at the end, and tests record a transcript.
// What the operation came to is the worker's Outcome, not these texts.

#include <string>
#include <string_view>
#include <vector>

// One status line of an operation window, as the window starts.
struct PanelLineSpec {
  std::string name;     // control name, e.g. "Label2"
  std::string text;     // caption at start
  bool visible = true;
};

// What a front end needs to draw an operation window or print its outcome.
struct OperationLayout {
  std::string caption;                  // window caption, e.g. "Blank Check"
  std::string title;                    // StaticText1 at start
  std::vector<PanelLineSpec> lines;     // status lines, top to bottom
  std::vector<std::string> buttons;     // e.g. {"Button1"}; "Continue" buttons too; all disabled at start
  std::vector<std::string> buttonCaptions;  // same order as buttons
  bool gauge = false;                   // a CGauge1 0-100
  std::string defaultButton = {};  // the one Enter presses; the first button when empty

  // True for the controls a worker may name: the title, the lines, the buttons.
  bool Names(std::string_view control) const;
  // Every other title the worker puts in StaticText1 ("Erase Flash Memory"):
  // the window is wide enough for each from the start.
  std::vector<std::string> titles = {};
};

inline constexpr std::string_view kTitleControl = "StaticText1";

inline bool OperationLayout::Names(std::string_view control) const {
  if (control == kTitleControl) return true;
  for (const auto& line : lines)
    if (line.name == control) return true;
  for (const auto& button : buttons)
    if (button == control) return true;
  return false;
}

class OperationPanel {
 public:
  virtual ~OperationPanel() = default;
  virtual void SetText(std::string_view control, std::string_view text) = 0;
  // Sets the control's font colour to pure red (255); it stays red.
  virtual void SetRed(std::string_view control) = 0;
  // Back to the window-text colour.
  virtual void ClearRed(std::string_view /*control*/) {}
  virtual void SetVisible(std::string_view control, bool visible) = 0;
  virtual void SetEnabled(std::string_view control, bool enabled) = 0;
  virtual void SetGauge(int percent) = 0;
  // A message box with an OK button; the worker does not wait for it.
  virtual void Message(std::string_view text) = 0;
  // Makes a row of the window's list the current one (the download's device list).
  virtual void SelectRow(int /*row*/) {}

  // The usual pair: red first, then the text.
  void Red(std::string_view control, std::string_view text) {
    SetRed(control);
    SetText(control, text);
  }
};
