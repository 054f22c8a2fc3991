// New-style JPEG (TIFF compression 7): every strip or tile is a JPEG stream
// of its own, read after the page's JPEGTables stream.
#pragma once

#include "imagelib/codecs/tiff_decompressor.h"

// `tables` must outlive the decompressor. `width` and `rows` are the size of
// a strip or tile; `components` the samples per pixel it holds.
std::unique_ptr<TiffDecompressor> NewJpegDecompressor(const uint8_t* tables, size_t tablesSize,
                                                      bool ycbcrToRgb, int width, int rows,
                                                      int components);
