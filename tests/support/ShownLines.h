#pragma once
// What an operation window shows, as writer-cli would print it.

#include <QLabel>
#include <string>
#include <vector>

#include "ops/gui/TOperationForm.h"

using Texts = std::vector<std::string>;

// The status lines as the window shows them: visible, not blank, in window
// order, red ones behind "error: ".
inline Texts ShownLines(const TOperationForm& w) {
  Texts out;
  for (const PanelLineSpec& spec : w.Layout().lines) {
    const QLabel* label = w.Label(spec.name);
    const std::string text = label->text().toStdString();
    if (label->isHidden() || text.find_first_not_of(' ') == std::string::npos) continue;
    out.push_back(w.IsRed(spec.name) ? "error: " + text : text);
  }
  return out;
}
