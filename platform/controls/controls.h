// The device's built-in controls: their window classes, registered when the
// device starts, and the per-window state each control keeps.
#pragma once

#include <memory>

#include "platform/win_types.h"

namespace platform::controls {

// Registers every built-in class (static, button, edit, list box, up-down,
// trackbar, list view, tree view, soft-key bar). Called by StartDevice.
void RegisterControlClasses();

// One registration per family, each beside its control.
void RegisterStaticClass();
void RegisterButtonClass();
void RegisterEditClass();
void RegisterListBoxClass();
void RegisterUpDownClass();
void RegisterTrackbarClass();
void RegisterListViewClass();
void RegisterTreeViewClass();
void RegisterSoftKeyBarClass();

// A control's own state, kept in its window record (the user-data word
// stays the program's). Released with the window; the state's destructor
// must not call the window manager.
void SetControlData(HWND hwnd, std::shared_ptr<void> data);
void* GetControlData(HWND hwnd);
template <class T>
T* ControlData(HWND hwnd) {
  return static_cast<T*>(GetControlData(hwnd));
}

}  // namespace platform::controls
