#include "platform/window/keypad.h"

#include "platform/backend/device.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

std::function<bool(int, bool)> g_softKeys;
HWND g_backOwner = nullptr;
bool g_backDown = false;
bool g_backOverridden = false;
const int kBackHoldSlot = 1;

LPARAM KeyLParam(bool down) { return down ? 1 : (LPARAM)(1u | (1u << 30) | (1u << 31)); }

HWND KeyTarget() {
  HWND f = GetFocus();
  return f ? f : GetActiveWindow();
}

void PlainKey(UINT vk, bool down) {
  HWND target = KeyTarget();
  if (!target) return;
  wm::PostInput(target, down ? WM_KEYDOWN : WM_KEYUP, vk, KeyLParam(down));
}

}  // namespace

void KeypadKey(UINT vk, bool down) {
  if (vk == VK_F1 || vk == VK_F2) {
    if (g_softKeys) g_softKeys(vk == VK_F1 ? 0 : 1, down);
    return;
  }
  if (vk == VK_ESCAPE) {
    if (down && g_backDown) return;  // host auto-repeat
    if (down) {
      g_backDown = true;
      g_backOverridden = g_backOwner && IsWindow(g_backOwner);
      if (g_backOverridden) {
        HWND owner = g_backOwner;
        wm::PostInput(owner, WM_HOTKEY, 0, MAKELPARAM(0, VK_ESCAPE));
        Backend* b = CurrentBackend();
        uint32_t due = (b ? b->Now() : 0) + CurrentOptions().backHoldMs;
        wm::SetInternalDeadline(kBackHoldSlot, due, [owner] {
          if (IsWindow(owner)) wm::PostInput(owner, WM_HOTKEY, 0, MAKELPARAM(MOD_HOLD, VK_ESCAPE));
        });
        return;
      }
    } else {
      if (!g_backDown) return;
      g_backDown = false;
      wm::ClearInternalDeadline(kBackHoldSlot);
      if (g_backOverridden) {
        g_backOverridden = false;
        if (IsWindow(g_backOwner))
          wm::PostInput(g_backOwner, WM_HOTKEY, 0, MAKELPARAM(MOD_KEYUP, VK_ESCAPE));
        return;
      }
    }
    PlainKey(vk, down);
    return;
  }
  HWND hotWindow = nullptr;
  int hotId = 0;
  if (wm::FindHotKey(vk, &hotWindow, &hotId)) {
    if (down) wm::PostInput(hotWindow, WM_HOTKEY, (WPARAM)hotId, MAKELPARAM(0, vk));
    return;
  }
  PlainKey(vk, down);
}

void KeypadChar(WCHAR c) {
  HWND target = KeyTarget();
  if (target) wm::PostInput(target, WM_CHAR, c, 1);
}

void ScreenClick(int x, int y) {
  wm::ClickAt(POINT{x, y}, true);
  wm::ClickAt(POINT{x, y}, false);
}

void SetSoftKeyHandler(std::function<bool(int, bool)> handler) { g_softKeys = std::move(handler); }

void SetBackKeyOverride(HWND owner, bool on) {
  if (on) {
    g_backOwner = owner;
  } else if (g_backOwner == owner) {
    g_backOwner = nullptr;
  }
}

HWND BackKeyOverrideOwner() { return g_backOwner && IsWindow(g_backOwner) ? g_backOwner : nullptr; }

void ResetKeypad() {
  g_softKeys = nullptr;
  g_backOwner = nullptr;
  g_backDown = false;
  g_backOverridden = false;
}

}  // namespace platform
