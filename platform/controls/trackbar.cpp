// (being written)
#include "platform/controls/controls.h"

namespace platform::controls {
void RegisterTrackbarClass() {}
}  // namespace platform::controls
