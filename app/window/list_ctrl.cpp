#include "app/window/list_ctrl.h"

#include "platform/commctrl.h"

CListCtrl::CListCtrl(HINSTANCE instance, const MessageMapEntry* messageMap, bool autoDelete)
    : CWindow(instance, messageMap, autoDelete) {
  className_ = WC_LISTVIEW;
}

CListCtrl::~CListCtrl() = default;

HWND CListCtrl::Create(DWORD exStyle, DWORD style, const RECT& rect, HWND parent, UINT id) {
  HWND hwnd = CreateOfClass(exStyle, u"", style, rect, parent, id, nullptr);
  if (!hwnd) return nullptr;
  Subclass(hwnd);
  return hwnd;
}
