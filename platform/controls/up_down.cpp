// (being written)
#include "platform/controls/controls.h"

namespace platform::controls {
void RegisterUpDownClass() {}
}  // namespace platform::controls
