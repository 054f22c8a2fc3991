// Resampling: fast nearest-neighbour resize, area-weighted resize, and the
// fixed-point smoothing reduction.
#pragma once

#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

int ResizeFast(Image* source, Image* destination, int width, int height);
int Resize(Image* source, Image* destination, int width, int height, int method);
// rowCallback (optional) is asked before every source row with
// (row, target height, userData, 0); nonzero cancels with 15.
int ReduceSmooth(Image* source, Image* destination, int width, int height, int bgrOrder,
                 RowCallback rowCallback = nullptr, void* userData = nullptr);
