#pragma once
// The pass counter is the caption of the panel's pass count: decimal text,
// kept as the user typed it until a pass is counted.

struct MainState;

// Caption := its decimal value + 1. A caption that is not a number (emptied
// in the counter dialog, or text from a configuration file) counts on from 0.
void CountPass(MainState& state);
// The caption's value; 0 when it is not a number.
long long PassCountValue(const MainState& state);
