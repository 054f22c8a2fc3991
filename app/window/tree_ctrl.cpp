#include "app/window/tree_ctrl.h"

CTreeCtrl::CTreeCtrl(HINSTANCE instance, const MessageMapEntry* messageMap, bool autoDelete)
    : CWindow(instance, messageMap, autoDelete) {}

CTreeCtrl::~CTreeCtrl() = default;
