// Driving the headless device: the virtual clock, injected input, the
// driver script, and the screen for tests and screenshots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform::headless {

// True when the running device is headless.
bool Active();

// Appends driver commands, one a line:
//   key NAME            press and release (F1 F2 up down left right enter
//                       back star hash 0-9, or a single character)
//   hold NAME MS        press, keep down for MS virtual ms, release
//   type TEXT           the characters of TEXT (digits as keys)
//   wait MS             let MS virtual milliseconds pass
//   click X Y           a left click on the screen
//   shot FILE           save the screen as PNG
// Blank lines and lines starting with '#' are ignored. False with a
// message naming the line on a malformed command (nothing is appended).
bool AddScript(const std::string& text, std::string* error);
bool LoadScriptFile(const std::string& path, std::string* error);
// When the script runs out inside GetMessage: post WM_QUIT (the default),
// or wait for posts from other threads.
void SetQuitWhenScriptEnds(bool quit);
bool ScriptFinished();

// Dispatches everything ready now, without moving the clock.
void RunPending();
// Lets `ms` virtual milliseconds pass, dispatching timers and messages at
// the moments they fall due.
void AdvanceTime(uint32_t ms);
uint32_t Now();

// The screen.
COLORREF ScreenPixel(int x, int y);
std::vector<uint8_t> ScreenRgb();  // top-down RGB
bool SaveScreenshot(const std::string& path);

}  // namespace platform::headless
