// PackBits (TIFF compression 32773): byte runs and literal runs.
#pragma once

#include "imagelib/codecs/tiff_decompressor.h"

std::unique_ptr<TiffDecompressor> NewPackBitsDecompressor();
