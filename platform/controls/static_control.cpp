// (being written)
#include "platform/controls/controls.h"

namespace platform::controls {
void RegisterStaticClass() {}
}  // namespace platform::controls
