// Where the red, green, blue and alpha bytes sit in a pixel of each
// direct-colour type.
#pragma once

#include <cstdint>

#include "imagelib/core/image.h"

struct ChannelPositions {
  int red;
  int green;
  int blue;
  int alpha;  // -1 when the type has none
};

inline ChannelPositions ChannelsOf(uint32_t pixelType) {
  switch (pixelType) {
    case PIXEL_BGR: return {2, 1, 0, -1};
    case PIXEL_RGBA: return {0, 1, 2, 3};
    case PIXEL_ABGR: return {3, 2, 1, 0};
    case PIXEL_BGRA: return {2, 1, 0, 3};
    case PIXEL_ARGB: return {1, 2, 3, 0};
    default: return {0, 1, 2, -1};  // PIXEL_RGB, and the inks of PIXEL_CMYK taken in order
  }
}

// Luminance of an 8-bit colour: (77 R + 150 G + 29 B) >> 8.
inline int Luminance(int r, int g, int b) { return (77 * r + 150 * g + 29 * b) >> 8; }
