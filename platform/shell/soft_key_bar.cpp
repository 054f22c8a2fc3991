// (being written)
#include "platform/shell/soft_key_bar.h"

#include "platform/controls/controls.h"

namespace platform::controls {
void RegisterSoftKeyBarClass() {}
}  // namespace platform::controls

namespace platform::shell {
HWND CreatePlainSoftKeyBar(HWND, const std::u16string&, int, const std::u16string&, int) {
  return nullptr;
}
}  // namespace platform::shell
