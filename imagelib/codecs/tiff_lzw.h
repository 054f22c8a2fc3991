// LZW (TIFF compression 5): 9- to 12-bit codes, most significant bit first,
// with the code width growing one code early. The early variant written by
// old software (least significant bit first, width growing on time) is
// recognised from the first strip of a page and kept for the whole page.
#pragma once

#include "imagelib/codecs/tiff_decompressor.h"

std::unique_ptr<TiffDecompressor> NewLzwDecompressor();
