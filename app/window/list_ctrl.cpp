#include "app/window/list_ctrl.h"

#include "platform/commctrl.h"

CListCtrl::CListCtrl(HINSTANCE instance, const MessageMapEntry* messageMap, bool autoDelete)
    : CWindow(instance, messageMap, autoDelete) {
  className_ = WC_LISTVIEW;
}

CListCtrl::~CListCtrl() = default;

HWND CListCtrl::Create(DWORD exStyle, DWORD style, const RECT& rect, HWND parent, UINT id) {
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
  if (!IsRectEmpty(&rect)) {
    x = rect.left;
    y = rect.top;
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;
  }
  HWND hwnd = CreateWindowEx(exStyle, className_.c_str(), u"", style, x, y, width, height, parent,
                             (HMENU)(uintptr_t)id, instance_, nullptr);
  if (!hwnd) return nullptr;
  Subclass(hwnd);
  return hwnd;
}
