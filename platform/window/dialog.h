// Modal dialogs built from templates, the dialog items, the keyboard inside
// a dialog, and message boxes.
#pragma once

#include <string>
#include <vector>

#include "platform/resources/resources.h"
#include "platform/win_types.h"
#include "platform/window/window.h"

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// The window class of every dialog.
#define WC_DIALOG u"platform_Dialog"

// Runs `dialogTemplate` modally: the dialog fills the work area (or takes
// the template's size at its top), its controls are created in template
// order with the template's font, the owner is disabled, WM_INITDIALOG gets
// the first tab stop and `param`, and the dialog's own loop dispatches every
// message of the thread, applying the dialog keypad first (Up / Down walk
// the tab stops, Action is the button-like control's or IDOK, a Back key
// nobody took over is IDCANCEL). Returns the EndDialog value (-1 when the
// dialog or one of its controls could not be created); a quit met inside
// ends the dialog and is posted again.
INT_PTR DialogBoxIndirectParam(HINSTANCE instance, LPCDLGTEMPLATE dialogTemplate, HWND owner,
                               DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
// The dialog's default processing (what happens when the procedure returns
// 0): the dialog font, WM_CLOSE as IDCANCEL, the white background, the
// default colours of statics, the focus kept across activation.
LRESULT DefDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);

// Dialog items by id.
LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemText(HWND dialog, int id, LPCWSTR text);
UINT GetDlgItemText(HWND dialog, int id, LPWSTR buffer, int maxCount);
// Unsigned when `isSigned` is false: leading spaces skipped, a non-number
// gives 0 with *translated FALSE.
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);

// Message boxes.
#define MB_OK 0x00000000
#define MB_OKCANCEL 0x00000001
#define MB_YESNO 0x00000004
#define MB_ICONHAND 0x00000010
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020
#define MB_ICONEXCLAMATION 0x00000030
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_SETFOREGROUND 0x00010000
#define IDYES 6
#define IDNO 7

// Shows a modal box (full screen, text, icon, soft keys OK / Cancel) and
// returns IDOK or IDCANCEL. Action answers IDOK; Back answers IDCANCEL
// (IDOK when the box has no Cancel key), also when the Back key is taken
// over by another window; a quit met inside answers as Back and is posted
// again. From a thread other than the UI thread the box is only recorded
// and written on stderr, and IDOK returned.
int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

namespace platform {

// Every message box shown, with its answer, in order (for tests and
// scripted runs). Read it on the UI thread.
struct MessageBoxRecord {
  std::u16string text;
  std::u16string caption;
  UINT type = 0;
  int answer = 0;
};
const std::vector<MessageBoxRecord>& MessageBoxLog();
void ClearMessageBoxLog();

}  // namespace platform
