#include "cli/ConsolePanel.h"

#include <ostream>

void ConsolePanel::PrintLines() {
  for (const std::string& line : Lines()) out_ << line << '\n';
  out_.flush();
}

void ConsolePanel::OnMessage(const std::string& text) {
  if (!json_) out_ << text << std::endl;
}
