#include "app/window/dialog.h"

#include "app/window/debug_console.h"
#include "app/window/message_dispatch.h"
#include "platform/aygshell.h"

CDlg::CDlg(HWND parent, HINSTANCE instance, WORD templateId, const MessageMapEntry* messageMap)
    : instance_(instance), parent_(parent), templateId_(templateId), messageMap_(messageMap) {}

CDlg::~CDlg() {
  if (hwnd_ && IsWindow(hwnd_) && (CDlg*)GetWindowLong(hwnd_, GWL_USERDATA) == this)
    SetWindowLong(hwnd_, GWL_USERDATA, 0);
}

INT_PTR CDlg::Run() {
  modal_ = 1;
  HRSRC resource = FindResource(instance_, MAKEINTRESOURCE(templateId_), RT_DIALOG);
  if (!resource) return -1;
  HGLOBAL loaded = LoadResource(instance_, resource);
  LPCDLGTEMPLATE dialogTemplate = loaded ? (LPCDLGTEMPLATE)LockResource(loaded) : nullptr;
  if (!dialogTemplate) return -1;
  return DialogBoxIndirectParam(instance_, dialogTemplate, parent_, &CDlg::DialogProc,
                                (LPARAM)this);
}

INT_PTR CALLBACK CDlg::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CDlg* self = nullptr;
  if (msg == WM_INITDIALOG) {
    self = (CDlg*)lParam;
    if (self) {
      SetWindowLong(hwnd, GWL_USERDATA, (LONG_PTR)self);
      self->hwnd_ = hwnd;
      if (self->fullScreen_) {
        SHINITDLGINFO info{};
        info.dwMask = SHIDIM_FLAGS;
        info.hDlg = hwnd;
        info.dwFlags = SHIDIF_SIZEDLGFULLSCREEN;
        SHInitDialog(&info);
      }
    }
  } else {
    self = (CDlg*)GetWindowLong(hwnd, GWL_USERDATA);
    if (msg == WM_DESTROY) DebugPrint("WM_DESTROY  %x \n", (unsigned)(uintptr_t)hwnd);
  }
  if (!self || !self->messageMap_) return 0;
  const MessageMapEntry* row = FindMessageRow(self->messageMap_, msg, wParam, lParam);
  if (!row) return 0;

  LRESULT notifyResult = -1;
  LRESULT result =
      message_map::DispatchRow<CDlg>(self, *row, hwnd, msg, wParam, lParam, &notifyResult);
  switch (msg) {
    case WM_NOTIFY: {
      // A row for every notification gives its result word only when the
      // handler says it handled the message.
      bool anyRow = row->first == 0 && row->code == 0;
      LRESULT value = anyRow && result == 0 ? -1 : notifyResult;
      if (value == -1) return 0;
      SetWindowLong(hwnd, DWL_MSGRESULT, value);
      return 1;
    }
    case WM_VKEYTOITEM:
      SetWindowLong(hwnd, DWL_MSGRESULT, result);
      return -1;
    case WM_CREATE:
    case WM_DESTROY:
    case WM_SIZE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_PAINT:
    case WM_CLOSE:
    case WM_SETCURSOR:
    case WM_INITMENUPOPUP:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_COMMAND:
    case WM_TIMER:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MOUSEWHEEL:
    case WM_HOTKEY:
      return 0;
    default:
      // WM_INITDIALOG, WM_CTLCOLORDLG, WM_CTLCOLORSTATIC, WM_GETDLGCODE and
      // every message without a rule of its own.
      return result;
  }
}
