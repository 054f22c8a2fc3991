// (being written)
#include "platform/controls/controls.h"

namespace platform::controls {
void RegisterTreeViewClass() {}
}  // namespace platform::controls
