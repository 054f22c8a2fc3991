#include "platform/controls/controls.h"

#include "platform/window/window_internal.h"

namespace platform::controls {

void RegisterControlClasses() {
  RegisterStaticClass();
  RegisterButtonClass();
  RegisterEditClass();
  RegisterListBoxClass();
  RegisterUpDownClass();
  RegisterTrackbarClass();
  RegisterListViewClass();
  RegisterTreeViewClass();
  RegisterSoftKeyBarClass();
}

void SetControlData(HWND hwnd, std::shared_ptr<void> data) {
  if (wm::Window* w = wm::Lookup(hwnd)) w->controlData = std::move(data);
}

void* GetControlData(HWND hwnd) {
  wm::Window* w = wm::Lookup(hwnd);
  return w ? w->controlData.get() : nullptr;
}

}  // namespace platform::controls
