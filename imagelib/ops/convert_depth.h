// Colour depth conversion: to black and white (six binarisation methods),
// to grey levels, to a palette (ordered dithering into a colour cube, the
// picture's own colours, or the two-pass median-cut quantizer), and to the
// six direct-colour types.
#pragma once

#include <cstdint>

#include "imagelib/core/image.h"

// Modes of ConvertDepth.
enum : int {
  DEPTH_BW = 1,
  DEPTH_GREY_4 = 2,     // 2..9: 4, 8, 16, 32, 64, 128, 216, 256 grey levels
  DEPTH_GREY_256 = 9,
  DEPTH_COLOURS_8 = 12, // 12..18: 8, 16, 32, 64, 128, 216, 256 palette colours
  DEPTH_COLOURS_256 = 18,
  DEPTH_RGB = 19,       // 19..24: RGB, RGBA, BGR, ABGR, BGRA, ARGB
  DEPTH_ARGB = 24,
};

// Methods of ConvertDepth. For black and white: 0 threshold, 1 ordered
// 16 x 16, 2 and 4 dispersed 6 x 6 pattern, 3 clustered 6 x 6 pattern,
// 5 error diffusion. For grey levels and palettes: 1 ordered 8 x 8
// dithering, anything else none.
enum : int {
  DITHER_NONE = 0,
  DITHER_ORDERED = 1,
  BW_THRESHOLD = 0,
  BW_ORDERED_16 = 1,
  BW_DISPERSED = 2,
  BW_CLUSTERED = 3,
  BW_DISPERSED_2 = 4,
  BW_ERROR_DIFFUSION = 5,
};

// Returns 0, 1 (no memory; the source is unchanged) or 16 (mode not
// supported). The result has the source's size, row alignment and extras
// and goes into the destination when given, otherwise replaces the source.
// A PIXEL_BW source converted to mode 1 is copied into the destination
// (nothing happens without one).
int ConvertDepth(Image* source, Image* destination, int mode, int method);

// table[i] = i x (m - 1) / (n - 1) for i below n.
void LevelRamp(uint8_t* table, int n, int m);

// Levels of grey modes 2..9 and colours of palette modes 12..18; 0 for
// other modes.
int GreyLevelsOfMode(int mode);
int ColoursOfMode(int mode);
