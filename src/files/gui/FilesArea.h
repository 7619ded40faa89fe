#pragma once
// State of the file commands that lives as long as the main window.

#include <string>

#include "app/gui/TMainForm.h"

struct FilesArea : AreaState {
  // OpenDialog1 remembers its file name and filter between runs.
  std::string openDialog1FileName;
  int openDialog1Filter = 0;
};
