// (being written)
#include "platform/controls/controls.h"

namespace platform::controls {
void RegisterSoftKeyBarClass() {}
}  // namespace platform::controls
