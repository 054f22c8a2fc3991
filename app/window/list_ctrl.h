// The list-view control wrapper: a CWindow bound to a list-view control,
// either created for it or attached to one of a dialog's controls. Its
// messages pass through the owner class's message map first and then to
// the control itself.
#pragma once

#include "app/window/wnd.h"

class CListCtrl : public CWindow {
 public:
  CListCtrl(HINSTANCE instance, const MessageMapEntry* messageMap, bool autoDelete = false);
  ~CListCtrl() override;

  // Creates a list-view child control of `parent` and binds it to the
  // object; an empty rectangle gives the default position and size.
  HWND Create(DWORD exStyle, DWORD style, const RECT& rect, HWND parent, UINT id);
};
