// Tone adjustments through lookup tables.
#include "imagelib/ops/tone.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imagelib/ops/pixel_channels.h"

namespace {

// The three colour bytes of a pixel in memory order (alpha skipped).
struct ColourBytes {
  int count;  // 1 for one-byte pictures, else 3
  int position[3];
};

ColourBytes ColourBytesOf(const Image* image) {
  if (image->bytesPerPixel == 1) return {1, {0, 0, 0}};
  if (image->pixelType == PIXEL_ARGB || image->pixelType == PIXEL_ABGR) return {3, {1, 2, 3}};
  return {3, {0, 1, 2}};
}

bool WideSamples(const Image* image) { return image->bitsPerSample > 8; }

// Cuts the region and, with a destination, makes it a copy of the source.
// On success *target is the picture to change.
int PrepareTarget(Image* source, Image* destination, const Rect* region, Image** target,
                  Rect* cut) {
  if (!source || !source->pixels) return RESULT_EMPTY_REGION;
  if (ClipRect(source, region, cut) != 0) return RESULT_EMPTY_REGION;
  if (destination && destination != source) {
    std::memset(destination, 0, sizeof(*destination));
    int result = ImageCopy(source, destination, nullptr);
    if (result != RESULT_OK) return result;
    *target = destination;
  } else {
    *target = source;
  }
  return RESULT_OK;
}

int PaletteEntries(const Image* image) {
  return image->paletteCount > 0 && image->paletteCount <= 256 ? image->paletteCount : 256;
}

void ApplyToBits(Image* image, const Rect& r, const uint8_t* table) {
  const int zero = table[0] & 1, one = table[1] & 1;
  for (int y = r.y; y < r.y + r.height; ++y) {
    uint8_t* row = ImageRow(image, y);
    for (int x = r.x; x < r.x + r.width; ++x) PutBit(row, x, GetBit(row, x) ? one : zero);
  }
}

void ApplyToOneByte(Image* image, const Rect& r, const uint8_t* table) {
  for (int y = r.y; y < r.y + r.height; ++y) {
    uint8_t* p = ImageRow(image, y) + r.x;
    for (int x = 0; x < r.width; ++x) p[x] = table[p[x]];
  }
}

template <int BPP>
void ApplyToColour(Image* image, const Rect& r, const uint8_t* t0, const uint8_t* t1,
                   const uint8_t* t2, int first) {
  for (int y = r.y; y < r.y + r.height; ++y) {
    uint8_t* p = ImageRow(image, y) + (size_t)r.x * BPP + first;
    for (int x = 0; x < r.width; ++x, p += BPP) {
      p[0] = t0[p[0]];
      p[1] = t1[p[1]];
      p[2] = t2[p[2]];
    }
  }
}

// Applies one table per colour byte (the same table three times for
// ApplyToneTable) to an already prepared target.
void ApplyTables(Image* image, const Rect& r, const uint8_t* t0, const uint8_t* t1,
                 const uint8_t* t2) {
  switch (image->pixelType) {
    case PIXEL_BW:
      ApplyToBits(image, r, t0);
      return;
    case PIXEL_INDEXED: {
      uint8_t* pal = image->palette;
      if (!pal) return;
      for (int i = 0; i < PaletteEntries(image); ++i) {
        pal[i] = t0[pal[i]];
        pal[256 + i] = t1[pal[256 + i]];
        pal[512 + i] = t2[pal[512 + i]];
      }
      return;
    }
    default:
      break;
  }
  const ColourBytes cb = ColourBytesOf(image);
  if (cb.count == 1)
    ApplyToOneByte(image, r, t0);
  else if (image->bytesPerPixel == 3)
    ApplyToColour<3>(image, r, t0, t1, t2, 0);
  else
    ApplyToColour<4>(image, r, t0, t1, t2, cb.position[0]);
}

// low and high of a histogram: the first levels from each end at which the
// running sum exceeds the cut count; when they meet, the lowest and highest
// levels that occur at all.
void FindSpan(const uint32_t* count, uint64_t cut, int* low, int* high) {
  uint64_t sum = 0;
  int lo = 0, hi = 255;
  for (lo = 0; lo < 255; ++lo) {
    sum += count[lo];
    if (sum > cut) break;
  }
  sum = 0;
  for (hi = 255; hi > 0; --hi) {
    sum += count[hi];
    if (sum > cut) break;
  }
  if (lo == hi) {
    int first = 0, last = 255;
    while (first < 255 && count[first] == 0) ++first;
    while (last > 0 && count[last] == 0) --last;
    if (first <= last) {
      lo = first;
      hi = last;
    }
  }
  *low = lo;
  *high = hi;
}

void LevelsTable(uint8_t* table, int low, int high) {
  for (int i = 0; i < 256; ++i) {
    if (high <= low)
      table[i] = (uint8_t)i;
    else if (i < low)
      table[i] = 0;
    else if (i > high)
      table[i] = 255;
    else
      table[i] = (uint8_t)((i - low) * 255 / (high - low));
  }
}

}  // namespace

void BuildToneTable(ToneTable* table, int brightness, int contrast, double gamma) {
  // Contrast beyond +-127 would divide by zero or turn the ramp over.
  const int c = std::clamp(contrast, -127, 127);
  const bool applyGamma = !(gamma > 0.9999 && gamma < 1.0001) && gamma > 0;
  for (int i = 0; i < 256; ++i) {
    int v = std::clamp(i + brightness, 0, 255);
    if (c > 0)
      v = (v - c) * 255 / (255 - 2 * c);
    else
      v = (2 * c + 255) * v / 255 - c;
    v = std::clamp(v, 0, 255);
    if (applyGamma) v = std::clamp((int)(std::pow(v / 255.0, 1.0 / gamma) * 255.0 + 0.5), 0, 255);
    table->level[i] = (uint8_t)v;
  }
}

void FitToneTableToLevels(const Image* image, ToneTable* table) {
  int n;
  if (image->pixelType == PIXEL_BW)
    n = 2;
  else if (image->pixelType == PIXEL_GREY && image->paletteCount > 1 && image->paletteCount < 256)
    n = image->paletteCount;
  else
    return;
  ToneTable fitted;
  std::memset(&fitted, 0, sizeof(fitted));
  for (int i = 0; i < n; ++i) fitted.level[i] = (uint8_t)(table->level[i * 255 / (n - 1)] * (n - 1) / 255);
  *table = fitted;
}

int ApplyToneTable(Image* source, Image* destination, const Rect* region, const ToneTable* table) {
  if (source && source->pixels && WideSamples(source)) return RESULT_NOT_POSSIBLE;
  Image* target;
  Rect r;
  int result = PrepareTarget(source, destination, region, &target, &r);
  if (result != RESULT_OK) return result;
  ToneTable fitted = *table;
  FitToneTableToLevels(target, &fitted);
  ApplyTables(target, r, fitted.level, fitted.level, fitted.level);
  return RESULT_OK;
}

int ApplyToneTables3(Image* source, Image* destination, const Rect* region,
                     const ToneTables3* tables) {
  if (source && source->pixels && WideSamples(source)) return RESULT_NOT_POSSIBLE;
  Image* target;
  Rect r;
  int result = PrepareTarget(source, destination, region, &target, &r);
  if (result != RESULT_OK) return result;
  ApplyTables(target, r, tables->table[0].level, tables->table[1].level, tables->table[2].level);
  return RESULT_OK;
}

int AdjustTone(Image* source, Image* destination, const Rect* region, int brightness,
               int contrast, double gamma) {
  if (source && source->pixelType == PIXEL_BW) return RESULT_NOT_POSSIBLE;
  ToneTable table;
  BuildToneTable(&table, brightness, contrast, gamma);
  return ApplyToneTable(source, destination, region, &table);
}

int Negative(Image* source, Image* destination, const Rect* region) {
  ToneTable table;
  for (int i = 0; i < 256; ++i) table.level[i] = (uint8_t)(255 - i);
  return ApplyToneTable(source, destination, region, &table);
}

void LuminanceHistogram(const Image* image, Histogram* histogram) {
  std::memset(histogram, 0, sizeof(*histogram));
  if (!image || !image->pixels || WideSamples(image)) return;
  uint32_t* count = histogram->count;
  const int w = image->width;
  switch (image->pixelType) {
    case PIXEL_BW:
      for (int y = 0; y < image->height; ++y) {
        const uint8_t* row = ImageRow(image, y);
        for (int x = 0; x < w; ++x) ++count[GetBit(row, x) ? 255 : 0];
      }
      return;
    case PIXEL_INDEXED: {
      // An index says nothing about brightness: count its colour.
      uint8_t lum[256];
      const uint8_t* pal = image->palette;
      for (int i = 0; i < 256; ++i)
        lum[i] = pal ? (uint8_t)Luminance(pal[i], pal[256 + i], pal[512 + i]) : (uint8_t)i;
      for (int y = 0; y < image->height; ++y) {
        const uint8_t* row = ImageRow(image, y);
        for (int x = 0; x < w; ++x) ++count[lum[row[x]]];
      }
      return;
    }
    case PIXEL_GREY: {
      // Fewer than 256 levels: count the grey each level stands for.
      const int n = image->paletteCount > 1 && image->paletteCount < 256 ? image->paletteCount : 256;
      uint8_t grey[256];
      for (int i = 0; i < 256; ++i) grey[i] = (uint8_t)std::min(255, i * 255 / (n - 1));
      for (int y = 0; y < image->height; ++y) {
        const uint8_t* row = ImageRow(image, y);
        for (int x = 0; x < w; ++x) ++count[grey[row[x]]];
      }
      return;
    }
    default:
      break;
  }
  if (image->bytesPerPixel == 1) {
    for (int y = 0; y < image->height; ++y) {
      const uint8_t* row = ImageRow(image, y);
      for (int x = 0; x < w; ++x) ++count[row[x]];
    }
    return;
  }
  const ChannelPositions c = ChannelsOf(image->pixelType);
  const int n = image->bytesPerPixel;
  for (int y = 0; y < image->height; ++y) {
    const uint8_t* p = ImageRow(image, y);
    for (int x = 0; x < w; ++x, p += n) ++count[(150 * p[c.green] + 77 * p[c.red] + 29 * p[c.blue]) >> 8];
  }
}

int AutoLevels(Image* source, Image* destination, const Rect* region) {
  if (!source || !source->pixels) return RESULT_EMPTY_REGION;
  if (source->pixelType == PIXEL_BW || WideSamples(source)) return RESULT_NOT_POSSIBLE;
  Rect cut;
  if (ClipRect(source, region, &cut) != 0) return RESULT_EMPTY_REGION;

  // One histogram per colour byte over the whole picture; a palette
  // picture counts the colours its pixels show.
  Histogram h[3];
  std::memset(h, 0, sizeof(h));
  const int w = source->width;
  int channels;
  if (source->pixelType == PIXEL_INDEXED) {
    channels = 3;
    const uint8_t* pal = source->palette;
    uint32_t uses[256] = {};
    for (int y = 0; y < source->height; ++y) {
      const uint8_t* row = ImageRow(source, y);
      for (int x = 0; x < w; ++x) ++uses[row[x]];
    }
    for (int i = 0; i < 256; ++i)
      for (int k = 0; k < 3; ++k) h[k].count[pal ? pal[256 * k + i] : i] += uses[i];
  } else {
    const ColourBytes cb = ColourBytesOf(source);
    channels = cb.count;
    const int n = source->bytesPerPixel;
    for (int y = 0; y < source->height; ++y) {
      const uint8_t* p = ImageRow(source, y);
      for (int x = 0; x < w; ++x, p += n)
        for (int k = 0; k < channels; ++k) ++h[k].count[p[cb.position[k]]];
    }
  }

  const uint64_t cutCount = (uint64_t)source->width * (uint64_t)source->height / 1000;
  ToneTables3 tables;
  for (int k = 0; k < 3; ++k) {
    int low, high;
    FindSpan(h[k < channels ? k : 0].count, cutCount, &low, &high);
    LevelsTable(tables.table[k].level, low, high);
  }
  int result = ApplyToneTables3(source, destination, &cut, &tables);
  if (result != RESULT_OK) return result;
  Image* target = destination && destination != source ? destination : source;
  if (target->pixelType == PIXEL_GREY || target->pixelType == PIXEL_INDEXED)
    target->paletteCount = 256;
  return RESULT_OK;
}

int AutoContrast(Image* source, Image* destination, const Rect* region) {
  if (!source || !source->pixels) return RESULT_EMPTY_REGION;
  if (source->pixelType == PIXEL_BW || WideSamples(source)) return RESULT_NOT_POSSIBLE;
  Histogram h;
  LuminanceHistogram(source, &h);
  int low, high;
  FindSpan(h.count, (uint64_t)source->width * (uint64_t)source->height / 1000, &low, &high);
  return AdjustTone(source, destination, region, 128 - (high + low) / 2, (low - high + 255) / 2,
                    1.0);
}
