// (being written)
#include "platform/controls/controls.h"

namespace platform::controls {
void RegisterListViewClass() {}
}  // namespace platform::controls
