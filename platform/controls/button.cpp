// (being written)
#include "platform/controls/controls.h"

namespace platform::controls {
void RegisterButtonClass() {}
}  // namespace platform::controls
