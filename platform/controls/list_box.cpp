// (being written)
#include "platform/controls/controls.h"

namespace platform::controls {
void RegisterListBoxClass() {}
}  // namespace platform::controls
