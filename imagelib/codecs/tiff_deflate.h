// Deflate (TIFF compression 8 and 32946): a zlib stream per strip or tile.
#pragma once

#include "imagelib/codecs/tiff_decompressor.h"

std::unique_ptr<TiffDecompressor> NewDeflateDecompressor();
