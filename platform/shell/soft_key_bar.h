// The soft-key bar inside the device: bars the layer makes for its own
// windows (message boxes), and the bar that takes the soft keys now.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"
#include "platform/window/messages.h"

// The bar's window class.
#define SOFTKEYBAR_CLASS u"menu_worker"

namespace platform::shell {

// Posted to a bar when one of the soft keys it took goes down or up:
// wParam the button (0 left, 1 right), lParam 1 down, 0 up. A drop-down
// menu's loop watches for it to close the menu.
const UINT kSoftKeyMessage = WM_USER + 0x3F00;

// A bar at the bottom of the screen for `owner` with two plain buttons
// (an empty label leaves that button out). A press posts WM_COMMAND
// (command, 0) to the owner. Destroyed with its owner.
HWND CreatePlainSoftKeyBar(HWND owner, const std::u16string& leftLabel, int leftCommand,
                           const std::u16string& rightLabel, int rightCommand);

// A bar built from SOFTKEYBAR resource `barId` for `owner`: labels from
// the string table when the resource names a string, menus loaded from
// `instance`. Null when the resource or the owner is missing.
HWND CreateSoftKeyBar(HWND owner, int barId, HINSTANCE instance);

// The bars of a window (shown or hidden), top first.
std::vector<HWND> SoftKeyBarsOf(HWND owner);

// The bar that takes the soft keys now: the topmost visible bar of the
// active window; null when it has none.
HWND ActiveSoftKeyBar();

}  // namespace platform::shell
