#pragma once
// "Fill Buffer": one 14-bit value into a range of program words.

#include <string>

struct MainState;

struct FillRequest {
  std::string start = "0";  // hexadecimal texts as typed; empty reads as 0
  std::string end;
  std::string data = "3FFF";
};

// The device's last program word address, as the dialog shows it ("3FF").
std::string FillDefaultEnd(const MainState& state);

// Checks the request and fills the words. Returns the error text to show
// (nothing changed), or an empty text when the words were written.
std::string FillProgramBuffer(MainState& state, const FillRequest& request);
