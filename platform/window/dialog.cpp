// Modal dialogs built from templates: the dialog window and its procedure
// rules, the default dialog processing, the dialog's own message loop, and
// the access to dialog items by id.
#include "platform/window/dialog.h"

#include <climits>
#include <cstdio>
#include <memory>

#include "platform/backend/device.h"
#include "platform/controls/button.h"
#include "platform/controls/controls.h"
#include "platform/gdi/gdi.h"
#include "platform/text/wide.h"
#include "platform/window/dialog_internal.h"
#include "platform/window/keypad.h"
#include "platform/window/window_internal.h"

namespace platform::dialogs {
namespace {

LRESULT CALLBACK DialogWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  DialogState* state = FindDialog(hwnd);
  DLGPROC proc = state ? state->proc : nullptr;
  if (!proc) return DefDlgProc(hwnd, msg, wParam, lParam);
  SetWindowLong(hwnd, DWL_MSGRESULT, 0);
  INT_PTR result = proc(hwnd, msg, wParam, lParam);
  switch (msg) {
    // The procedure's value is the answer itself.
    case WM_INITDIALOG:
    case WM_GETDLGCODE:
    case WM_VKEYTOITEM:
      return result;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORDLG:
      if (result || !IsWindow(hwnd)) return result;
      return DefDlgProc(hwnd, msg, wParam, lParam);
  }
  if (!IsWindow(hwnd)) return 0;
  // Handled: the answer is what the procedure left in the message result.
  if (result) return GetWindowLong(hwnd, DWL_MSGRESULT);
  return DefDlgProc(hwnd, msg, wParam, lParam);
}

void EnsureDialogClass() {
  WNDCLASS wc{};
  if (GetClassInfo(nullptr, WC_DIALOG, &wc)) return;
  wc.lpfnWndProc = DialogWndProc;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = WC_DIALOG;
  RegisterClass(&wc);
}

// The template's font (its point size at the screen's dots per inch), or
// "MS Sans Serif" 8 when it names none.
HFONT CreateDialogFont(const DialogTemplate& t) {
  int points = t.fontSize > 0 ? t.fontSize : 8;
  std::u16string face = t.fontSize > 0 && !t.fontFace.empty() ? t.fontFace : u"MS Sans Serif";
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  if (dpi <= 0) dpi = 96;
  LOGFONT lf{};
  lf.lfHeight = -((points * dpi + 36) / 72);
  lf.lfWeight = FW_NORMAL;
  CopyWide(face, lf.lfFaceName, LF_FACESIZE);
  return CreateFontIndirect(&lf);
}

bool IsTabStop(const wm::Window* c) {
  return !c->destroyed && (c->style & WS_TABSTOP) && (c->style & WS_VISIBLE) &&
         !(c->style & WS_DISABLED);
}

// Gives the focus back to the control that had it, or to the first tab
// stop, unless it already lies inside the dialog.
void RestoreFocus(HWND dialog, bool focusOnDialog) {
  DialogState* state = FindDialog(dialog);
  HWND focus = GetFocus();
  if (focus && IsChild(dialog, focus)) return;
  HWND target = nullptr;
  if (state && state->savedFocus && IsChild(dialog, state->savedFocus) &&
      IsWindowVisible(state->savedFocus) && IsWindowEnabled(state->savedFocus))
    target = state->savedFocus;
  if (!target) target = FirstTabStop(dialog);
  if (target) {
    SetFocus(target);
  } else if (focusOnDialog && focus != dialog) {
    SetFocus(dialog);
  }
}

}  // namespace

DialogState* FindDialog(HWND hwnd) {
  wm::Window* w = wm::Lookup(hwnd);
  if (!w || w->className != WC_DIALOG) return nullptr;
  return static_cast<DialogState*>(w->controlData.get());
}

HWND FirstTabStop(HWND dialog) {
  wm::Window* d = wm::Lookup(dialog);
  if (!d) return nullptr;
  for (wm::Window* c : d->children)
    if (IsTabStop(c)) return c->handle;
  return nullptr;
}

}  // namespace platform::dialogs

using namespace platform;
using namespace platform::dialogs;

INT_PTR DialogBoxIndirectParam(HINSTANCE instance, LPCDLGTEMPLATE dialogTemplate, HWND owner,
                               DLGPROC proc, LPARAM param) {
  if (!dialogTemplate || (owner && !IsWindow(owner))) return -1;
  EnsureDialogClass();
  DWORD style = (dialogTemplate->style | WS_POPUP) & ~(DWORD)(WS_CHILD | WS_VISIBLE);
  // A template with a size opens at the top of the work area; without one
  // the empty rectangle gives the dialog the whole work area.
  RECT size{0, 0, dialogTemplate->cx, dialogTemplate->cy};
  int top = 0;
  if (size.right > 0 && size.bottom > 0) {
    MapDialogRect(nullptr, &size);
    top = Screen().taskBarHeight;
  } else {
    size = RECT{0, 0, 0, 0};
  }
  HWND dialog = CreateWindowEx(0, WC_DIALOG, dialogTemplate->title.c_str(), style, 0, top,
                               size.right, size.bottom, owner, nullptr, instance, nullptr);
  if (!dialog) return -1;
  auto state = std::make_shared<DialogState>();
  state->font = CreateDialogFont(*dialogTemplate);
  if (!state->font) state->font = (HFONT)GetStockObject(SYSTEM_FONT);
  controls::SetControlData(dialog, state);

  // The controls in template order, which is the tab order.
  for (const DialogItemTemplate& item : dialogTemplate->items) {
    RECT r{item.x, item.y, item.x + item.cx, item.y + item.cy};
    MapDialogRect(dialog, &r);
    HWND control = CreateWindowEx(item.exStyle, item.className.c_str(), item.text.c_str(),
                                  WS_CHILD | item.style, r.left, r.top, r.right - r.left,
                                  r.bottom - r.top, dialog, (HMENU)(intptr_t)item.id, instance,
                                  nullptr);
    if (!control) {
      std::string cls;
      for (char16_t c : item.className) cls += c < 0x80 ? (char)c : '?';
      std::fprintf(stderr, "quivra: dialog %d: control %d of class \"%s\" cannot be created\n",
                   dialogTemplate->id, item.id, cls.c_str());
      if (IsWindow(dialog)) DestroyWindow(dialog);
      DeleteObject(state->font);
      return -1;
    }
    SendMessage(control, WM_SETFONT, (WPARAM)state->font, FALSE);
  }

  HWND ownerTop = GetWindow(dialog, GW_OWNER);
  // The window that had the Back key before the dialog took it over.
  HWND backOwner = BackKeyOverrideOwner();
  bool ownerDisabled = false;
  if (ownerTop && IsWindowEnabled(ownerTop)) {
    EnableWindow(ownerTop, FALSE);
    ownerDisabled = true;
  }

  state->proc = proc;
  LRESULT init = SendMessage(dialog, WM_INITDIALOG, (WPARAM)FirstTabStop(dialog), param);
  if (IsWindow(dialog) && !state->ended) {
    // Non-zero: the first tab stop (as it is now) takes the focus; zero:
    // the procedure placed it.
    if (init) {
      if (HWND first = FirstTabStop(dialog)) SetFocus(first);
    }
    if (IsWindow(dialog) && !state->ended) {
      state->initialising = false;
      ShowWindow(dialog, SW_SHOW);
      // No focus placed: the first tab stop takes it.
      if (IsWindow(dialog)) RestoreFocus(dialog, true);
    }
  }

  // The dialog's own loop: every message of the thread is dispatched, the
  // dialog keyboard applied first.
  bool quit = false, backPressed = false, backReleased = false;
  int quitCode = 0;
  while (IsWindow(dialog) && !state->ended) {
    MSG msg;
    if (!GetMessage(&msg, nullptr, 0, 0)) {
      quit = true;
      quitCode = (int)msg.wParam;
      break;
    }
    if (ForeignBackKey(dialog, msg, &backPressed, &backReleased)) {
      if (backReleased) SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      continue;
    }
    if (HandleDialogKey(dialog, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }

  INT_PTR result = state->result;
  if (ownerDisabled && IsWindow(ownerTop)) EnableWindow(ownerTop, TRUE);
  if (IsWindow(dialog)) DestroyWindow(dialog);
  if (ownerTop && IsWindow(ownerTop) && IsWindowVisible(ownerTop)) SetForegroundWindow(ownerTop);
  // The Back key goes back to the window that had it when the dialog's
  // own override ended with the dialog.
  if (backOwner && IsWindow(backOwner) && !BackKeyOverrideOwner())
    SetBackKeyOverride(backOwner, true);
  DeleteObject(state->font);
  state->font = nullptr;
  // A quit met inside the dialog ends it and goes on to the outer loop.
  if (quit) PostQuitMessage(quitCode);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  DialogState* state = FindDialog(dialog);
  if (!state) return FALSE;
  state->ended = true;
  state->result = result;
  return TRUE;
}

LRESULT DefDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  DialogState* state = FindDialog(dialog);
  switch (msg) {
    case WM_GETFONT:
      return state ? (LRESULT)state->font : 0;
    case WM_CLOSE:
      PostMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                  (LPARAM)GetDlgItem(dialog, IDCANCEL));
      return 0;
    case WM_ERASEBKGND: {
      HBRUSH brush = (HBRUSH)SendMessage(dialog, WM_CTLCOLORDLG, wParam, (LPARAM)dialog);
      if (!brush) brush = (HBRUSH)GetStockObject(WHITE_BRUSH);
      RECT r;
      GetClientRect(dialog, &r);
      FillRect((HDC)wParam, &r, brush);
      return 1;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      SetTextColor((HDC)wParam, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor((HDC)wParam, GetSysColor(COLOR_WINDOW));
      return (LRESULT)GetStockObject(WHITE_BRUSH);
    case WM_ACTIVATE:
      if (LOWORD(wParam) == 0) {
        HWND focus = GetFocus();
        if (state && focus && IsChild(dialog, focus)) state->savedFocus = focus;
      } else if (state && !state->initialising) {
        RestoreFocus(dialog, true);
      }
      return 0;
    case WM_SETFOCUS:
      RestoreFocus(dialog, false);
      return 0;
    case WM_GETDLGCODE:
      return 0;
  }
  return DefWindowProc(dialog, msg, wParam, lParam);
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
  wm::Window* d = wm::Lookup(dialog);
  if (!d) return nullptr;
  std::vector<wm::Window*> kids;
  for (wm::Window* c : d->children)
    if (!c->destroyed) kids.push_back(c);
  int n = (int)kids.size();
  if (n == 0) return nullptr;
  // The control, or the dialog's child that holds it.
  wm::Window* from = wm::Lookup(control);
  while (from && from->parent && from->parent != d) from = from->parent;
  int at = -1;
  for (int i = 0; i < n; ++i)
    if (kids[i] == from) at = i;
  if (at < 0) at = previous ? 0 : n - 1;  // search starts at the other end
  for (int k = 1; k <= n; ++k) {
    int i = previous ? (at - k + n * 2) % n : (at + k) % n;
    if (IsTabStop(kids[i])) return kids[i]->handle;
  }
  return nullptr;
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SendMessage(item, msg, wParam, lParam) : 0;
}

BOOL SetDlgItemText(HWND dialog, int id, LPCWSTR text) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SetWindowText(item, text) : FALSE;
}

UINT GetDlgItemText(HWND dialog, int id, LPWSTR buffer, int maxCount) {
  if (buffer && maxCount > 0) buffer[0] = 0;
  HWND item = GetDlgItem(dialog, id);
  return item ? (UINT)GetWindowText(item, buffer, maxCount) : 0;
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
  if (translated) *translated = FALSE;
  HWND item = GetDlgItem(dialog, id);
  if (!item) return 0;
  int length = GetWindowTextLength(item);
  std::u16string text((size_t)std::max(length, 0) + 1, u'\0');
  GetWindowText(item, text.data(), (int)text.size());
  const char16_t* p = text.c_str();
  while (*p == u' ') ++p;
  bool negative = false;
  if (isSigned && *p == u'-') {
    negative = true;
    ++p;
  }
  if (*p < u'0' || *p > u'9') return 0;
  // Digits up to the first other character.
  unsigned long long value = 0;
  for (; *p >= u'0' && *p <= u'9'; ++p) {
    value = value * 10 + (unsigned)(*p - u'0');
    if (value > 0xFFFFFFFFull) return 0;
  }
  if (isSigned) {
    long long v = negative ? -(long long)value : (long long)value;
    if (v < INT_MIN || v > INT_MAX) return 0;
    if (translated) *translated = TRUE;
    return (UINT)(int)v;
  }
  if (translated) *translated = TRUE;
  return (UINT)value;
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
  std::u16string text = isSigned ? FormatWide(u"%d", (int)value) : FormatWide(u"%u", value);
  return SetDlgItemText(dialog, id, text.c_str());
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) return FALSE;
  SendMessage(item, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  return (UINT)SendDlgItemMessage(dialog, id, BM_GETCHECK, 0, 0);
}
