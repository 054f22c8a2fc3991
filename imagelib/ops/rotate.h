// Turning a picture by quarter and half turns.
#pragma once

#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

// angle: 90 and -270 clockwise, -90 and 270 counter-clockwise, 180 and -180
// half round; any other angle makes a plain copy (into the destination when
// given, otherwise nothing happens). Bottom-up and mirrored pictures turn as
// they look on the screen. rowCallback (optional) is asked before each result
// row of a quarter turn with (source column, source width, userData, 0);
// nonzero cancels with 15. Returns 0, 1 (no memory) or 15.
int Rotate(Image* source, Image* destination, int angle, int reserved,
           RowCallback rowCallback = nullptr, void* userData = nullptr);
