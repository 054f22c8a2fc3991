// CCITT bilevel decompression for TIFF: Modified Huffman run lengths
// (compression 2), Group 3 one- and two-dimensional (compression 3, with or
// without byte-aligned EOL codes) and Group 4 (compression 4), including the
// uncompressed mode of T.4/T.6. Rows come out one bit per pixel, most
// significant bit first, with black pixels as 1.
#pragma once

#include "imagelib/codecs/tiff_decompressor.h"

enum class TiffFaxKind { kModifiedHuffman, kGroup3, kGroup4 };

// T4Options bit 0: two-dimensional coding of Group 3.
constexpr uint32_t kT4TwoDimensional = 0x1;

std::unique_ptr<TiffDecompressor> NewFaxDecompressor(TiffFaxKind kind, int width,
                                                     uint32_t t4Options);
