// The tree-view control wrapper: a CWindow bound to a dialog's tree-view
// control with Attach; its messages pass through the owner class's message
// map first and then to the control itself.
#pragma once

#include "app/window/wnd.h"

class CTreeCtrl : public CWindow {
 public:
  CTreeCtrl(HINSTANCE instance, const MessageMapEntry* messageMap, bool autoDelete = false);
  ~CTreeCtrl() override;
};
