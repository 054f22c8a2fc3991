// ThunderScan (TIFF compression 32809): 4-bit grey rows coded as runs,
// 2- and 3-bit deltas and raw values.
#pragma once

#include "imagelib/codecs/tiff_decompressor.h"

std::unique_ptr<TiffDecompressor> NewThunderScanDecompressor(int width);
