// (being written)
#include "platform/controls/controls.h"

namespace platform::controls {
void RegisterEditClass() {}
}  // namespace platform::controls
