// Tone adjustments through 256-entry lookup tables: brightness, contrast
// and gamma, the negative, the luminance histogram, auto levels and auto
// contrast.
//
// Operations that change a picture take (source, optional destination,
// optional region). With a destination, the destination becomes a copy of
// the whole source and the change is made there; without one the source is
// changed in place. The region is cut to the picture; an empty one gives 16.
#pragma once

#include <cstdint>

#include "imagelib/core/image.h"

// The operation is not possible on this picture (a 1-bit picture, or one
// with samples wider than 8 bits); it is left unchanged.
constexpr int RESULT_NOT_POSSIBLE = 17;

// Output level for each input level.
struct ToneTable {
  uint8_t level[256];
};

// One table per colour byte of a pixel (in memory order), or per red,
// green and blue palette plane.
struct ToneTables3 {
  ToneTable table[3];
};

struct Histogram {
  uint32_t count[256];
};

void BuildToneTable(ToneTable* table, int brightness, int contrast, double gamma);

// Turns a table over 0..255 into one over the level numbers of a PIXEL_BW
// picture or a PIXEL_GREY picture with fewer than 256 levels; other
// pictures leave it alone.
void FitToneTableToLevels(const Image* image, ToneTable* table);

// Return 0, 1 (no memory for the destination copy) or 16 (empty region).
// For PIXEL_INDEXED the palette entries (up to paletteCount) change and the
// pixels stay. Alpha bytes never change.
int ApplyToneTable(Image* source, Image* destination, const Rect* region, const ToneTable* table);
int ApplyToneTables3(Image* source, Image* destination, const Rect* region,
                     const ToneTables3* tables);

// 0, 1, 16, or 17 for a PIXEL_BW picture.
int AdjustTone(Image* source, Image* destination, const Rect* region, int brightness,
               int contrast, double gamma);
// 0, 1 or 16; a PIXEL_BW picture has its bits inverted.
int Negative(Image* source, Image* destination, const Rect* region);

// Counts the luminance of every pixel (the level itself for 8-bit grey).
void LuminanceHistogram(const Image* image, Histogram* histogram);

// 0, 1, 16, or 17 for a PIXEL_BW picture.
int AutoLevels(Image* source, Image* destination, const Rect* region);
int AutoContrast(Image* source, Image* destination, const Rect* region);
