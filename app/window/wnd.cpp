#include "app/window/wnd.h"

#include "app/window/debug_console.h"
#include "app/window/message_dispatch.h"

CWindow::CWindow(HINSTANCE instance, const MessageMapEntry* messageMap, bool autoDelete)
    : instance_(instance), messageMap_(messageMap), autoDelete_(autoDelete ? 1 : 0) {
  DebugPrint("## CWindow()\n");
}

CWindow::~CWindow() {
  // Unbind first: the derived parts of the object are gone, so the window's
  // last messages must not reach its handlers.
  HWND hwnd = hwnd_;
  Unbind();
  if (hwnd && IsWindow(hwnd)) DestroyWindow(hwnd);
  DebugPrint("## ~CWindow()\n");
}

BOOL CWindow::RegisterClass(UINT classStyle, LPCWSTR className) {
  className_ = className ? className : u"";
  WNDCLASS existing;
  if (className && GetClassInfo(instance_, className, &existing)) return TRUE;
  WNDCLASS wc{};
  wc.style = classStyle;
  wc.lpfnWndProc = &CWindow::WindowProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance_;
  wc.hIcon = nullptr;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = className;
  if (!::RegisterClass(&wc)) {
    MessageBox(nullptr, u"RegisterClass() failed", u"Error", MB_OK);
    return FALSE;
  }
  return TRUE;
}

HWND CWindow::CreateOfClass(DWORD exStyle, LPCWSTR title, DWORD style, const RECT& rect,
                            HWND parent, UINT id, LPVOID param) {
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
  if (!IsRectEmpty(&rect)) {
    x = rect.left;
    y = rect.top;
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;
  }
  return CreateWindowEx(exStyle, className_.c_str(), title, style, x, y, width, height, parent,
                        (HMENU)(uintptr_t)id, instance_, param);
}

HWND CWindow::Create(DWORD exStyle, LPCWSTR title, DWORD style, const RECT& rect, HWND parent,
                     UINT id) {
  HWND hwnd = CreateOfClass(exStyle, title, style, rect, parent, id, this);
  // An auto-delete object whose window failed during creation is gone now.
  if (hwnd) hwnd_ = hwnd;
  return hwnd;
}

BOOL CWindow::Attach(HWND dialog, int id) { return Subclass(GetDlgItem(dialog, id)); }

BOOL CWindow::Subclass(HWND hwnd) {
  if (!hwnd) return FALSE;
  hwnd_ = hwnd;
  SetWindowLong(hwnd, GWL_USERDATA, (LONG_PTR)this);
  previousProc_ = (WNDPROC)SetWindowLong(hwnd, GWL_WNDPROC, (LONG_PTR)&CWindow::WindowProc);
  return TRUE;
}

void CWindow::Unbind() {
  HWND hwnd = hwnd_;
  hwnd_ = nullptr;
  if (!hwnd || !IsWindow(hwnd)) {
    previousProc_ = nullptr;
    return;
  }
  if ((CWindow*)GetWindowLong(hwnd, GWL_USERDATA) == this) SetWindowLong(hwnd, GWL_USERDATA, 0);
  if (previousProc_) {
    SetWindowLong(hwnd, GWL_WNDPROC, (LONG_PTR)previousProc_);
    previousProc_ = nullptr;
  }
}

LRESULT CWindow::PassOn(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) const {
  if (previousProc_) return CallWindowProc(previousProc_, hwnd, msg, wParam, lParam);
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK CWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CWindow* self = nullptr;
  if (msg == WM_CREATE) {
    const CREATESTRUCT* cs = (const CREATESTRUCT*)lParam;
    self = cs ? (CWindow*)cs->lpCreateParams : nullptr;
    if (self) {
      SetWindowLong(hwnd, GWL_USERDATA, (LONG_PTR)self);
      self->hwnd_ = hwnd;
    }
  } else {
    self = (CWindow*)GetWindowLong(hwnd, GWL_USERDATA);
  }
  if (!self) return DefWindowProc(hwnd, msg, wParam, lParam);

  const MessageMapEntry* row = FindMessageRow(self->messageMap_, msg, wParam, lParam);
  WNDPROC previous = self->previousProc_;
  auto passOn = [&]() -> LRESULT {
    if (previous) return CallWindowProc(previous, hwnd, msg, wParam, lParam);
    return DefWindowProc(hwnd, msg, wParam, lParam);
  };

  if (msg == WM_DESTROY) {
    // The binding ends here whether or not the map has a row for it.
    if (row) message_map::DispatchRow<CWindow>(self, *row, hwnd, msg, wParam, lParam, nullptr);
    self->Unbind();
    if (self->autoDelete_) delete self;
    return passOn();
  }
  if (!row) return passOn();

  LRESULT notifyResult = -1;
  LRESULT result =
      message_map::DispatchRow<CWindow>(self, *row, hwnd, msg, wParam, lParam, &notifyResult);
  // The handler may have destroyed the window (and with it an auto-delete
  // object): nothing is left to pass the message on to.
  if (!IsWindow(hwnd)) return result;
  switch (msg) {
    case WM_CREATE:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_GETDLGCODE:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_MOUSEWHEEL:
      return result;
    case WM_SETCURSOR:
      return result == 0 ? 0 : passOn();
    case WM_VKEYTOITEM:
      SetWindowLong(hwnd, 0, result);
      return -1;
    case WM_NOTIFY:
      if (row->first != 0 || row->code != 0) return notifyResult;
      return result != 0 ? notifyResult : passOn();
    case WM_SIZE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_PAINT:
    case WM_CLOSE:
    case WM_INITMENUPOPUP:
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
    case WM_HOTKEY:
      return passOn();
    default:
      return result;
  }
}
