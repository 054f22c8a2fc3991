// Inside the dialog manager: the state a dialog keeps beside its window
// and the keyboard model applied in the dialog's loop.
#pragma once

#include "platform/window/dialog.h"

namespace platform::dialogs {

struct DialogState {
  DLGPROC proc = nullptr;
  HFONT font = nullptr;
  bool ended = false;
  // Until the dialog shows, activation leaves the focus to the procedure.
  bool initialising = true;
  INT_PTR result = 0;
  // The control that had the focus when the dialog was last deactivated.
  HWND savedFocus = nullptr;
};

// The state of a dialog window, null for any other window.
DialogState* FindDialog(HWND hwnd);

// The first visible, enabled tab-stop control of a dialog (or null).
HWND FirstTabStop(HWND dialog);

// Applies the dialog keyboard to a key message aimed at `dialog` or one of
// its controls before it is dispatched; true when the message was used up.
bool HandleDialogKey(HWND dialog, const MSG& msg);

// A Back key some other window took over reaches that window as WM_HOTKEY.
// While a modal window with no override of its own is up, it is the modal
// window's Back key: true for such a message, with `released` set when the
// key went up after going down while `modal` was up.
bool ForeignBackKey(HWND modal, const MSG& msg, bool* pressed, bool* released);

}  // namespace platform::dialogs
