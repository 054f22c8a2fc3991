// The keypad inside a dialog, applied in the dialog's loop before a key
// message is dispatched: Up and Down walk the tab stops (wrapping) unless
// the focused control wants the arrows, Action presses a button-like control
// or else means OK, a Back key nobody took over means Cancel. Every other
// key goes to the focused control, which acts on it itself.
#include "platform/controls/button.h"
#include "platform/controls/notify.h"
#include "platform/window/dialog_internal.h"

namespace platform::dialogs {

bool HandleDialogKey(HWND dialog, const MSG& msg) {
  // Key-ups and characters reach the control as they are.
  if (msg.message != WM_KEYDOWN) return false;
  if (msg.hwnd != dialog && !IsChild(dialog, msg.hwnd)) return false;
  HWND control = msg.hwnd;
  auto dialogCode = [&]() -> UINT {
    if (control == dialog) return 0;
    return (UINT)SendMessage(control, WM_GETDLGCODE, msg.wParam, (LPARAM)&msg);
  };
  switch (msg.wParam) {
    case VK_UP:
    case VK_DOWN: {
      if (dialogCode() & (DLGC_WANTARROWS | DLGC_WANTALLKEYS)) return false;
      HWND next = GetNextDlgTabItem(dialog, control == dialog ? nullptr : control,
                                    msg.wParam == VK_UP);
      if (next && next != GetFocus()) SetFocus(next);
      return true;
    }
    case VK_RETURN:
      if (dialogCode() & DLGC_BUTTON) return false;
      SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return true;
    case VK_ESCAPE:
      // Arriving as a key, the Back key has no override.
      SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      return true;
  }
  return false;
}

bool ForeignBackKey(HWND modal, const MSG& msg, bool* pressed, bool* released) {
  *released = false;
  if (msg.message != WM_HOTKEY || HIWORD(msg.lParam) != VK_ESCAPE) return false;
  if (msg.hwnd == modal || IsChild(modal, msg.hwnd)) return false;
  WORD modifiers = LOWORD(msg.lParam);
  if (modifiers == 0) *pressed = true;
  if ((modifiers & MOD_KEYUP) && *pressed) {
    *pressed = false;
    *released = true;
  }
  return true;
}

}  // namespace platform::dialogs
