// The soft-key bar inside the device: bars the layer makes for its own
// windows (message boxes), and the bar that takes the soft keys now.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace platform::shell {

// A bar at the bottom of the screen for `owner` with two plain buttons
// (an empty label leaves that button out). A press posts WM_COMMAND
// (command, 0) to the owner. Destroyed with its owner.
HWND CreatePlainSoftKeyBar(HWND owner, const std::u16string& leftLabel, int leftCommand,
                           const std::u16string& rightLabel, int rightCommand);

}  // namespace platform::shell
