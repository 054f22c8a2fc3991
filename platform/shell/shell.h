// The soft-key menu bar, full-screen dialogs and windows, and the other
// services of the smartphone shell library.
#pragma once

#include "platform/win_types.h"
#include "platform/window/messages.h"

// Soft-key menu bar (ordinal 34): cbSize = sizeof(SHMENUBARINFO), the
// parent, nToolBarId a SOFTKEYBAR resource of hInstRes. The bar is made at
// the bottom of the screen, shown, and handed back in hwndMB (null and
// FALSE on failure); it is destroyed with its parent.
struct SHMENUBARINFO {
  DWORD cbSize;
  HWND hwndParent;
  DWORD dwFlags;
  UINT nToolBarId;
  HINSTANCE hInstRes;
  int nBmpId;
  int cBmpImages;
  HWND hwndMB;  // the bar, filled in
  COLORREF clrBk;
};
BOOL SHCreateMenuBar(SHMENUBARINFO* info);

// Messages to a bar.
#define SHCMBM_GETMENU (WM_USER + 402)
#define SHCMBM_OVERRIDEKEY (WM_USER + 403)
#define SHMBOF_NODEFAULT 0x00000001
#define SHMBOF_NOTIFY 0x00000002

// Dialog initialisation (ordinal 56): with SHIDIF_SIZEDLGFULLSCREEN the
// dialog takes the work area (the screen less the task bar and the
// soft-key strip).
#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
struct SHINITDLGINFO {
  DWORD dwMask;
  HWND hDlg;
  DWORD dwFlags;
};
BOOL SHInitDialog(SHINITDLGINFO* info);

// Full-screen switch of a window (ordinal 65): SHFS_HIDETASKBAR hides the
// task bar, SHFS_HIDESIPBUTTON the window's soft-key bars, so that a window
// at (0, 0) with the screen's size covers it all; the SHOW flags bring back
// what was hidden.
#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
BOOL SHFullScreen(HWND hwnd, DWORD state);

// Control initialisation (ordinal 9) and closing on the Back key (183).
BOOL SHInitExtraControls();
void SHNavigateBack();

// The bar's buttons, read and written by index (TBIF_BYINDEX, wParam = 0
// or 1) or by command (wParam = the command id). TB_GETBUTTONINFO returns
// the button's index, TB_SETBUTTONINFO TRUE (a new text shows at once);
// both return -1 on a miss. A one-key bar has no index 1.
#define TB_GETBUTTONINFO (WM_USER + 63)
#define TB_SETBUTTONINFO (WM_USER + 64)
#define TBIF_TEXT 0x00000002
#define TBIF_STATE 0x00000004
#define TBIF_COMMAND 0x00000020
#define TBIF_BYINDEX 0x80000000
#define TBSTATE_ENABLED 0x04
struct TBBUTTONINFO {
  UINT cbSize;
  DWORD dwMask;
  int idCommand;
  int iImage;
  BYTE fsState;
  BYTE fsStyle;
  WORD cx;
  DWORD_PTR lParam;
  LPWSTR pszText;
  int cchText;
};
