// Row converters of the load pipeline. An unpacking converter turns one
// delivered row into a working row; a storing converter writes a working
// row into a result row. Each is chosen once per picture, so the pixel
// loops never branch on the layout.
//
// Working rows:
//  - bilevel results: packed bits, most significant first;
//  - one-byte results: one index or grey level per pixel;
//  - direct-colour results: four bytes per pixel, in the order
//    R, G, B, A (or the raw channels of CMYK and CIE L*a*b* data, or an
//    index repeated in the first three bytes for palette pictures);
//  - wide-sample results: the result's own pixel bytes.
#pragma once

#include <cstdint>
#include <vector>

struct UnpackParams {
  int width = 0;
  int bitsPerPlane = 0;    // per plane, or per sample when samples > 0
  int planes = 1;
  int bytesPerPlane = 0;
  int samples = 0;         // samples per pixel, 0 when stated by planes
  int shift = 0;           // right shift bringing a wide sample to 8 bits
  // 16-bit pixel layouts: position and width of each component.
  int redShift = 0, redBits = 0, greenShift = 0, greenBits = 0, blueShift = 0, blueBits = 0;
};

using UnpackFunction = void (*)(const uint8_t* source, uint8_t* working, const UnpackParams& p);

// Storing: `columns` maps each result column to a working column (null for
// the identity); `count` is the number of result columns.
using StoreFunction = void (*)(const uint8_t* working, uint8_t* result, int count,
                               const int* columns);

enum class WorkingKind { Bilevel, Byte, Direct, Wide };

// Channel orders of direct-colour results.
enum class ResultOrder { RGB, BGR, RGBA, ABGR, ARGB, BGRA, Raw3, Raw4 };

// The unpacker for a delivered layout; null when the layout is not one the
// pipeline knows.
UnpackFunction ChooseUnpacker(WorkingKind kind, uint32_t sourceFlags, int bitsPerPixel,
                              UnpackParams* params);
StoreFunction ChooseStorer(WorkingKind kind, ResultOrder order, int wideBytesPerPixel,
                           bool picking);
