#include "ops/RecordingPanel.h"

#include <algorithm>
#include <stdexcept>

namespace {

// The control of that name; a name the window lacks is the caller's fault.
template <class Controls>
auto& Lookup(Controls& controls, std::string_view control, const std::string& window) {
  auto it = controls.find(control);
  if (it == controls.end())
    throw std::invalid_argument("the window \"" + window + "\" has no control \"" + std::string(control) + "\"");
  return it->second;
}

}  // namespace

bool IsBlankLine(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

RecordingPanel::RecordingPanel(OperationLayout layout, bool keepHistory)
    : layout_(std::move(layout)), keepHistory_(keepHistory) {
  Reset();
}

void RecordingPanel::Note(std::string entry) {
  if (keepHistory_) transcript_.push_back(std::move(entry));
}

void RecordingPanel::Reset() {
  std::lock_guard lock(mutex_);
  controls_.clear();
  controls_[std::string(kTitleControl)] = Control{layout_.title};
  for (const auto& line : layout_.lines) controls_[line.name] = Control{line.text, false, line.visible};
  for (const auto& button : layout_.buttons) controls_[button] = Control{{}, false, true, false};
  gauge_ = 0;
  gaugeHistory_.clear();
  messages_.clear();
  rows_.clear();
  transcript_.clear();
}

RecordingPanel::Control& RecordingPanel::At(std::string_view control) {
  return Lookup(controls_, control, layout_.caption);
}

void RecordingPanel::SetText(std::string_view control, std::string_view text) {
  std::lock_guard lock(mutex_);
  At(control).text = text;
  Note(std::string(control) + " = " + std::string(text));
}

void RecordingPanel::SetRed(std::string_view control) {
  std::lock_guard lock(mutex_);
  At(control).red = true;
  Note(std::string(control) + " red");
}

void RecordingPanel::ClearRed(std::string_view control) {
  std::lock_guard lock(mutex_);
  At(control).red = false;
  Note(std::string(control) + " black");
}

void RecordingPanel::SetVisible(std::string_view control, bool visible) {
  std::lock_guard lock(mutex_);
  At(control).visible = visible;
  Note(std::string(control) + (visible ? " shown" : " hidden"));
}

void RecordingPanel::SetEnabled(std::string_view control, bool enabled) {
  std::lock_guard lock(mutex_);
  At(control).enabled = enabled;
  Note(std::string(control) + (enabled ? " on" : " off"));
}

void RecordingPanel::SetGauge(int percent) {
  std::lock_guard lock(mutex_);
  gauge_ = percent;
  if (keepHistory_) gaugeHistory_.push_back(percent);
  Note("gauge " + std::to_string(percent));
}

void RecordingPanel::Message(std::string_view text) {
  {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(text);
    Note("message " + std::string(text));
  }
  OnMessage(std::string(text));
}

void RecordingPanel::SelectRow(int row) {
  std::lock_guard lock(mutex_);
  rows_.push_back(row);
}

RecordingPanel::Control RecordingPanel::Get(std::string_view control) const {
  std::lock_guard lock(mutex_);
  return Lookup(controls_, control, layout_.caption);
}

int RecordingPanel::Gauge() const {
  std::lock_guard lock(mutex_);
  return gauge_;
}

std::vector<int> RecordingPanel::GaugeHistory() const {
  std::lock_guard lock(mutex_);
  return gaugeHistory_;
}

std::vector<std::string> RecordingPanel::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<int> RecordingPanel::SelectedRows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::vector<std::string> RecordingPanel::Transcript() const {
  std::lock_guard lock(mutex_);
  return transcript_;
}

std::vector<std::string> RecordingPanel::Lines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& line : layout_.lines) {
    const Control& c = controls_.at(line.name);
    if (!c.visible || IsBlankLine(c.text)) continue;
    out.push_back((c.red ? "error: " : "") + c.text);
  }
  return out;
}

