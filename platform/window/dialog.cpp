// (being written)
#include "platform/window/dialog.h"

INT_PTR DialogBoxIndirectParam(HINSTANCE, LPCDLGTEMPLATE, HWND, DLGPROC, LPARAM) { return -1; }
BOOL EndDialog(HWND, INT_PTR) { return FALSE; }
LRESULT DefDlgProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) { return DefWindowProc(hwnd, msg, w, l); }
HWND GetNextDlgTabItem(HWND, HWND, BOOL) { return nullptr; }
LRESULT SendDlgItemMessage(HWND d, int id, UINT msg, WPARAM w, LPARAM l) {
  return SendMessage(GetDlgItem(d, id), msg, w, l);
}
BOOL SetDlgItemText(HWND d, int id, LPCWSTR t) { return SetWindowText(GetDlgItem(d, id), t); }
UINT GetDlgItemText(HWND d, int id, LPWSTR b, int n) { return GetWindowText(GetDlgItem(d, id), b, n); }
UINT GetDlgItemInt(HWND, int, BOOL* t, BOOL) { if (t) *t = FALSE; return 0; }
BOOL SetDlgItemInt(HWND, int, UINT, BOOL) { return FALSE; }
BOOL CheckDlgButton(HWND, int, UINT) { return FALSE; }
UINT IsDlgButtonChecked(HWND, int) { return 0; }
int MessageBox(HWND, LPCWSTR, LPCWSTR, UINT) { return IDCANCEL; }
