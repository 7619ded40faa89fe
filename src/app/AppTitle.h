#pragma once
// The program's name and version as the title bar and the dialogs show them.

#include <string>

inline constexpr const char* kAppCaption = "Writer";
inline constexpr const char* kAppVersion = " V2.63";

// "Writer V2.63": the caption with the version appended.
inline std::string AppTitle() { return std::string(kAppCaption) + kAppVersion; }
