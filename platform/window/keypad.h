// The keypad: how the phone's keys reach windows (focus key messages, the
// '#' hot key, the Back-key override with its hold report, soft keys to the
// active soft-key bar). Both backends and the scripted driver feed it.
#pragma once

#include <functional>

#include "platform/win_types.h"

namespace platform {

// A key of the keypad went down or up (virtual key of the device).
void KeypadKey(UINT vk, bool down);
// A printable desktop character typed into the focus window (WM_CHAR).
void KeypadChar(WCHAR c);
// A left click on the screen (screen coordinates).
void ScreenClick(int x, int y);

// Soft keys (VK_F1 button 0, VK_F2 button 1) go to this handler, never to
// windows as key messages. It returns whether a bar took the key.
void SetSoftKeyHandler(std::function<bool(int button, bool down)> handler);

// The Back key reports to `owner` as WM_HOTKEY (key 27 in the high word of
// lParam; modifiers 0 on press, MOD_HOLD once after the hold threshold,
// MOD_KEYUP on release) instead of its default action.
void SetBackKeyOverride(HWND owner, bool on);
HWND BackKeyOverrideOwner();

}  // namespace platform
