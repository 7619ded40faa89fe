#pragma once
// A panel that keeps the state of every control of one operation window, and
// a transcript of every call. Tests assert on it; writer-cli prints from it.
// A control the window's layout does not have is a fault of the worker: the
// call throws std::invalid_argument, so a test fails instead of recording it.
// Thread-safe: a worker may write while another thread reads.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ops/OperationPanel.h"

class RecordingPanel : public OperationPanel {
 public:
  struct Control {
    std::string text;
    bool red = false;
    bool visible = true;
    bool enabled = true;
  };

  // Without history the panel keeps only the controls' state and the message
  // boxes: no transcript and no gauge history, so a front end that reuses one
  // panel for a batch of thousands of passes does not grow with it.
  explicit RecordingPanel(OperationLayout layout, bool keepHistory = true);

  void SetText(std::string_view control, std::string_view text) override;
  void SetRed(std::string_view control) override;
  void ClearRed(std::string_view control) override;
  void SetVisible(std::string_view control, bool visible) override;
  void SetEnabled(std::string_view control, bool enabled) override;
  void SetGauge(int percent) override;
  void Message(std::string_view text) override;
  void SelectRow(int row) override;

  // Back to the window's start: captions, colours, visibility, buttons, gauge.
  void Reset();

  const OperationLayout& Layout() const { return layout_; }
  Control Get(std::string_view control) const;
  std::string Text(std::string_view control) const { return Get(control).text; }
  bool IsRed(std::string_view control) const { return Get(control).red; }
  bool IsVisible(std::string_view control) const { return Get(control).visible; }
  bool IsEnabled(std::string_view control) const { return Get(control).enabled; }
  int Gauge() const;
  std::vector<int> GaugeHistory() const;
  std::vector<std::string> Messages() const;
  std::vector<int> SelectedRows() const;
  // Every call in order: "Label2 red", "Label2 = OPTION ....... OK", "Button1 on",
  // "Label1 shown", "gauge 50", "message Connect Timeout!!". Empty without history.
  std::vector<std::string> Transcript() const;

  // The status lines as writer-cli prints them: visible, not blank, in window
  // order, red ones behind "error: ".
  std::vector<std::string> Lines() const;

 protected:
  // Called after a message box was recorded, with the lock released.
  virtual void OnMessage(const std::string& /*text*/) {}

 private:
  Control& At(std::string_view control);  // throws for a name the layout lacks
  void Note(std::string entry);           // a transcript entry, when history is kept

  OperationLayout layout_;
  bool keepHistory_ = true;
  mutable std::mutex mutex_;
  std::map<std::string, Control, std::less<>> controls_;
  int gauge_ = 0;
  std::vector<int> gaugeHistory_;
  std::vector<std::string> messages_;
  std::vector<int> rows_;
  std::vector<std::string> transcript_;
};

// True when the text is empty or only blanks, as the windows' idle lines are.
bool IsBlankLine(std::string_view text);
