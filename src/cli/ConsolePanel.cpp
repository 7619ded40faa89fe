#include "cli/ConsolePanel.h"

#include <ostream>

void ConsolePanel::OnMessage(const std::string& text) {
  if (!json_) out_ << text << std::endl;
}
