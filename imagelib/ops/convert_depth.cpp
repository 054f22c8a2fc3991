// Colour depth conversion. Every source type is read as rows of R, G, B
// bytes (and its alpha where it has one), so that each target kind has one
// pixel loop.
#include "imagelib/ops/convert_depth.h"

#include <cstring>

#include "imagelib/ops/dither_matrices.h"
#include "imagelib/ops/median_cut.h"
#include "imagelib/ops/pixel_channels.h"
#include "imagelib/ops/result_placement.h"
#include "imagelib/ops/work_buffer.h"

namespace {

// ---------------------------------------------------------------------------
// Reading any picture as R, G, B rows

int BytesPerSample(const Image* image) {
  return image->bitsPerSample > 16 ? 4 : image->bitsPerSample > 8 ? 2 : 1;
}

// The upper 8 bits of sample i of a wide-sample pixel.
inline uint8_t WideSample(const uint8_t* pixel, int i, int bytes, int bits) {
  if (bytes == 2) {
    uint16_t v;
    std::memcpy(&v, pixel + i * 2, 2);
    return (uint8_t)(v >> (bits - 8));
  }
  uint32_t v;
  std::memcpy(&v, pixel + i * 4, 4);
  return (uint8_t)(v >> (bits - 8));
}

class RgbRows {
 public:
  explicit RgbRows(const Image* image) : image_(image) {}

  bool Init() {
    if (!scratch_.Allocate((size_t)image_->width * 3)) return false;
    const int n = image_->paletteCount > 1 && image_->paletteCount < 256 ? image_->paletteCount : 256;
    for (int i = 0; i < 256; ++i) greyOfLevel_[i] = (uint8_t)(i < n ? i * 255 / (n - 1) : 255);
    return true;
  }

  // Row y as width x (R, G, B).
  const uint8_t* Row(int y) {
    const Image* im = image_;
    const uint8_t* src = ImageRow(im, y);
    uint8_t* out = scratch_.data();
    const int w = im->width;
    if (im->bitsPerSample > 8 && im->pixelType != PIXEL_BW) {
      const int bytes = BytesPerSample(im), bits = im->bitsPerSample;
      const int spp = im->samplesPerPixel, step = spp * bytes;
      for (int x = 0; x < w; ++x, src += step, out += 3) {
        if (spp < 3) {
          out[0] = out[1] = out[2] = WideSample(src, 0, bytes, bits);
        } else {
          out[0] = WideSample(src, 0, bytes, bits);
          out[1] = WideSample(src, 1, bytes, bits);
          out[2] = WideSample(src, 2, bytes, bits);
        }
      }
      return scratch_.data();
    }
    switch (im->pixelType) {
      case PIXEL_RGB:
        return src;
      case PIXEL_BW:
        for (int x = 0; x < w; ++x, out += 3)
          out[0] = out[1] = out[2] = ((src[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
        break;
      case PIXEL_GREY:
        for (int x = 0; x < w; ++x, out += 3) out[0] = out[1] = out[2] = greyOfLevel_[src[x]];
        break;
      case PIXEL_INDEXED: {
        const uint8_t* pal = im->palette;
        for (int x = 0; x < w; ++x, out += 3) {
          const int i = src[x];
          out[0] = pal[i];
          out[1] = pal[256 + i];
          out[2] = pal[512 + i];
        }
        break;
      }
      case PIXEL_CMYK:
        // The inks as the colour they print.
        for (int x = 0; x < w; ++x, src += 4, out += 3) {
          const int k = 255 - src[3];
          out[0] = (uint8_t)((255 - src[0]) * k / 255);
          out[1] = (uint8_t)((255 - src[1]) * k / 255);
          out[2] = (uint8_t)((255 - src[2]) * k / 255);
        }
        break;
      default: {
        const ChannelPositions c = ChannelsOf(im->pixelType);
        const int n = im->bytesPerPixel;
        for (int x = 0; x < w; ++x, src += n, out += 3) {
          out[0] = src[c.red];
          out[1] = src[c.green];
          out[2] = src[c.blue];
        }
        break;
      }
    }
    return scratch_.data();
  }

 private:
  const Image* image_;
  WorkBuffer<uint8_t> scratch_;
  uint8_t greyOfLevel_[256];
};

void LuminanceRow(const uint8_t* rgb, int width, uint8_t* out) {
  for (int x = 0; x < width; ++x, rgb += 3) out[x] = (uint8_t)Luminance(rgb[0], rgb[1], rgb[2]);
}

// ---------------------------------------------------------------------------
// Ordered dithering to L levels: for each luminance, the lower level and
// the fraction (0 to 63) of the way to the next one.

struct LevelDither {
  uint8_t low[256];
  uint8_t fraction[256];
  void Build(int levels) {
    const double step = 255.0 / (levels - 1);
    for (int v = 0; v < 256; ++v) {
      int k = (int)(v / step);
      if (k >= levels - 1) k = levels - 2;
      int f = (int)((v - k * step) * 63.0 / step);
      if (f > 63) f = 63;
      if (f < 0) f = 0;
      low[v] = (uint8_t)k;
      fraction[v] = (uint8_t)f;
    }
  }
  // The level for luminance v at a matrix value.
  int At(int v, int threshold) const { return low[v] + (threshold < fraction[v] ? 1 : 0); }
};

// ---------------------------------------------------------------------------
// Black and white

int ToBlackAndWhite(const Image* src, Image* out, int method) {
  RgbRows rows(src);
  WorkBuffer<uint8_t> lum;
  WorkBuffer<int32_t> errors;
  const int w = src->width;
  if (!rows.Init() || !lum.Allocate((size_t)w) || !errors.Allocate(((size_t)w + 1) * 2))
    return RESULT_NO_MEMORY;
  int32_t* carried = errors.data();
  int32_t* below = errors.data() + w + 1;
  const auto& m16 = Ordered16();
  for (int y = 0; y < src->height; ++y) {
    LuminanceRow(rows.Row(y), w, lum.data());
    const uint8_t* v = lum.data();
    uint8_t* d = ImageRow(out, y);
    std::memset(d, 0, (size_t)out->bytesPerRow);
    switch (method) {
      case BW_ORDERED_16: {
        const uint8_t* m = m16[y & 15];
        for (int x = 0; x < w; ++x)
          if (v[x] >= m[x & 15]) d[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
        break;
      }
      case BW_DISPERSED:
      case BW_CLUSTERED:
      case BW_DISPERSED_2: {
        const uint8_t* pattern = method == BW_CLUSTERED ? &kClustered6[0][0] : &kDispersed6[0][0];
        const uint8_t* m = pattern + (y % 6) * 6;
        for (int x = 0; x < w; ++x) {
          const int t = v[x] * 36 / 255;
          if (t >= m[x % 6]) d[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
        }
        break;
      }
      case BW_ERROR_DIFFUSION: {
        for (int x = 0; x < w; ++x) {
          const int sum = v[x] + carried[x];
          int e = sum;
          if (sum >= 128) {
            d[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
            e = sum - 255;
          }
          const int threeEighths = 3 * e / 8;
          carried[x + 1] += threeEighths;
          below[x] += threeEighths;
          below[x + 1] += e / 4;
          carried[x] = 0;
        }
        carried[w] = 0;
        int32_t* t = carried;
        carried = below;
        below = t;
        break;
      }
      default:  // threshold
        for (int x = 0; x < w; ++x)
          if (v[x] >= 127) d[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
        break;
    }
  }
  return RESULT_OK;
}

// ---------------------------------------------------------------------------
// Grey levels

int ToGrey(const Image* src, Image* out, int levels, int method) {
  RgbRows rows(src);
  WorkBuffer<uint8_t> lum;
  const int w = src->width;
  if (!rows.Init() || !lum.Allocate((size_t)w)) return RESULT_NO_MEMORY;
  uint8_t ramp[256];
  LevelRamp(ramp, 256, levels);
  LevelDither dither;
  const bool dithered = method == DITHER_ORDERED && levels < 256;
  if (dithered) dither.Build(levels);
  for (int y = 0; y < src->height; ++y) {
    LuminanceRow(rows.Row(y), w, lum.data());
    const uint8_t* v = lum.data();
    uint8_t* d = ImageRow(out, y);
    if (dithered) {
      const uint8_t* m = kOrdered8[y & 7];
      for (int x = 0; x < w; ++x) d[x] = (uint8_t)dither.At(v[x], m[x & 7]);
    } else {
      for (int x = 0; x < w; ++x) d[x] = ramp[v[x]];
    }
  }
  out->paletteCount = (int16_t)levels;
  return RESULT_OK;
}

// ---------------------------------------------------------------------------
// Palettes

struct Cube {
  int red, green, blue;
};

Cube CubeFor(int colours) {
  switch (colours) {
    case 8: return {2, 2, 2};
    case 16: return {2, 4, 2};
    case 32: return {4, 4, 2};
    case 64: return {4, 4, 4};
    case 216: return {6, 6, 6};
    default: return {8, 8, 4};  // 128 and 256
  }
}

int ToColourCube(const Image* src, Image* out, int colours) {
  RgbRows rows(src);
  if (!rows.Init()) return RESULT_NO_MEMORY;
  const Cube cube = CubeFor(colours);
  LevelDither dr, dg, db;
  dr.Build(cube.red);
  dg.Build(cube.green);
  db.Build(cube.blue);
  const int gb = cube.green * cube.blue;
  const int w = src->width;
  for (int y = 0; y < src->height; ++y) {
    const uint8_t* p = rows.Row(y);
    const uint8_t* m = kOrdered8[y & 7];
    uint8_t* d = ImageRow(out, y);
    for (int x = 0; x < w; ++x, p += 3) {
      const int t = m[x & 7];
      d[x] = (uint8_t)(dr.At(p[0], t) * gb + dg.At(p[1], t) * cube.blue + db.At(p[2], t));
    }
  }
  uint8_t* pal = out->palette;
  for (int r = 0; r < cube.red; ++r)
    for (int g = 0; g < cube.green; ++g)
      for (int b = 0; b < cube.blue; ++b) {
        const int i = r * gb + g * cube.blue + b;
        pal[i] = (uint8_t)(r * 255 / (cube.red - 1));
        pal[256 + i] = (uint8_t)(g * 255 / (cube.green - 1));
        pal[512 + i] = (uint8_t)(b * 255 / (cube.blue - 1));
      }
  out->paletteCount = (int16_t)(cube.red * gb);
  return RESULT_OK;
}

// The distinct colours of a picture, up to a limit, in order of first
// occurrence: a small open-addressing table from colour to index.
class ColourSet {
 public:
  static constexpr int kSlots = 1024;  // four times the largest limit
  void Clear() {
    std::memset(keys_, 0, sizeof(keys_));
    count_ = 0;
  }
  // Index of the colour, adding it when new; -1 when the set is full.
  int Find(uint32_t rgb, int limit) {
    const uint32_t key = rgb + 1;
    uint32_t slot = (rgb * 2654435761u) >> 22;
    while (keys_[slot]) {
      if (keys_[slot] == key) return index_[slot];
      slot = (slot + 1) & (kSlots - 1);
    }
    if (count_ >= limit) return -1;
    keys_[slot] = key;
    index_[slot] = (uint8_t)count_;
    colours_[count_] = rgb;
    return count_++;
  }
  int count() const { return count_; }
  uint32_t colour(int i) const { return colours_[i]; }

 private:
  uint32_t keys_[kSlots];
  uint8_t index_[kSlots];
  uint32_t colours_[256];
  int count_ = 0;
};

inline uint32_t Pack(const uint8_t* p) { return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2]; }

int ToChosenPalette(const Image* src, Image* out, int colours) {
  const int w = src->width;
  if (src->pixelType == PIXEL_BW) {
    // Black and white stay black and white.
    for (int y = 0; y < src->height; ++y) {
      const uint8_t* s = ImageRow(src, y);
      uint8_t* d = ImageRow(out, y);
      for (int x = 0; x < w; ++x) d[x] = (uint8_t)GetBit(s, x);
    }
    std::memset(out->palette, 0, 1024);
    out->palette[1] = out->palette[257] = out->palette[513] = 255;
    out->paletteCount = 2;
    return RESULT_OK;
  }
  RgbRows rows(src);
  if (!rows.Init()) return RESULT_NO_MEMORY;
  ColourSet set;
  set.Clear();
  bool few = true;
  for (int y = 0; y < src->height && few; ++y) {
    const uint8_t* p = rows.Row(y);
    for (int x = 0; x < w; ++x, p += 3)
      if (set.Find(Pack(p), colours) < 0) {
        few = false;
        break;
      }
  }
  uint8_t* pal = out->palette;
  std::memset(pal, 0, 1024);
  if (few) {
    for (int y = 0; y < src->height; ++y) {
      const uint8_t* p = rows.Row(y);
      uint8_t* d = ImageRow(out, y);
      for (int x = 0; x < w; ++x, p += 3) d[x] = (uint8_t)set.Find(Pack(p), colours);
    }
    for (int i = 0; i < set.count(); ++i) {
      const uint32_t c = set.colour(i);
      pal[i] = (uint8_t)(c >> 16);
      pal[256 + i] = (uint8_t)(c >> 8);
      pal[512 + i] = (uint8_t)c;
    }
    out->paletteCount = (int16_t)set.count();
    return RESULT_OK;
  }
  MedianCutQuantizer quantizer;
  if (!quantizer.Init()) return RESULT_NO_MEMORY;
  for (int y = 0; y < src->height; ++y) quantizer.CountRow(rows.Row(y), w);
  out->paletteCount = (int16_t)quantizer.SelectColours(colours, pal);
  for (int y = 0; y < src->height; ++y) quantizer.MapRow(rows.Row(y), w, ImageRow(out, y));
  return RESULT_OK;
}

// ---------------------------------------------------------------------------
// Direct colour

int AlphaPosition(const Image* image) {
  if (image->bitsPerSample > 8) return image->samplesPerPixel == 4 ? 3 : -1;
  switch (image->pixelType) {
    case PIXEL_RGBA:
    case PIXEL_ABGR:
    case PIXEL_BGRA:
    case PIXEL_ARGB: return ChannelsOf(image->pixelType).alpha;
    default: return -1;
  }
}

int ToDirectColour(const Image* src, Image* out) {
  RgbRows rows(src);
  if (!rows.Init()) return RESULT_NO_MEMORY;
  const ChannelPositions to = ChannelsOf(out->pixelType);
  const int n = out->bytesPerPixel;
  const int alphaFrom = AlphaPosition(src);
  const int srcStep = src->bitsPerSample > 8 ? src->samplesPerPixel * BytesPerSample(src)
                                             : src->bytesPerPixel;
  const int wideBytes = BytesPerSample(src), bits = src->bitsPerSample;
  const int w = src->width;
  for (int y = 0; y < src->height; ++y) {
    const uint8_t* p = rows.Row(y);
    uint8_t* d = ImageRow(out, y);
    for (int x = 0; x < w; ++x, p += 3, d += n) {
      d[to.red] = p[0];
      d[to.green] = p[1];
      d[to.blue] = p[2];
    }
    if (to.alpha >= 0 && alphaFrom >= 0) {
      // A fourth channel the source has is kept; a new one stays 0.
      const uint8_t* s = ImageRow(src, y);
      d = ImageRow(out, y) + to.alpha;
      if (wideBytes > 1)
        for (int x = 0; x < w; ++x, s += srcStep, d += n) *d = WideSample(s, alphaFrom, wideBytes, bits);
      else
        for (int x = 0; x < w; ++x, s += srcStep, d += n) *d = s[alphaFrom];
    }
  }
  return RESULT_OK;
}

const uint32_t kDirectTypes[6] = {PIXEL_RGB, PIXEL_RGBA, PIXEL_BGR, PIXEL_ABGR, PIXEL_BGRA, PIXEL_ARGB};

}  // namespace

void LevelRamp(uint8_t* table, int n, int m) {
  if (n < 2) {
    if (n == 1) table[0] = 0;
    return;
  }
  for (int i = 0; i < n && i < 256; ++i) table[i] = (uint8_t)(i * (m - 1) / (n - 1));
}

int GreyLevelsOfMode(int mode) {
  static const int levels[] = {4, 8, 16, 32, 64, 128, 216, 256};
  return mode >= 2 && mode <= 9 ? levels[mode - 2] : 0;
}

int ColoursOfMode(int mode) {
  static const int colours[] = {8, 16, 32, 64, 128, 216, 256};
  return mode >= 12 && mode <= 18 ? colours[mode - 12] : 0;
}

int ConvertDepth(Image* source, Image* destination, int mode, int method) {
  if (mode < 1 || mode > 24 || mode == 10 || mode == 11) return RESULT_EMPTY_REGION;
  if (!source || !source->pixels || source->width < 1 || source->height < 1)
    return RESULT_EMPTY_REGION;
  if (source->pixelType == PIXEL_INDEXED && !source->palette) return RESULT_EMPTY_REGION;
  if (mode == DEPTH_BW && source->pixelType == PIXEL_BW) {
    if (!destination || destination == source) return RESULT_OK;
    std::memset(destination, 0, sizeof(*destination));
    return ImageCopy(source, destination, nullptr);
  }

  uint32_t type;
  if (mode == DEPTH_BW)
    type = PIXEL_BW;
  else if (mode <= 9)
    type = PIXEL_GREY;
  else if (mode <= 18)
    type = PIXEL_INDEXED;
  else
    type = kDirectTypes[mode - DEPTH_RGB];

  Image out;
  std::memset(&out, 0, sizeof(out));
  if (ImageCreateLike(&out, type, source) != 0) {
    ImageFree(&out);
    return RESULT_NO_MEMORY;
  }
  int result;
  if (mode == DEPTH_BW)
    result = ToBlackAndWhite(source, &out, method);
  else if (mode <= 9)
    result = ToGrey(source, &out, GreyLevelsOfMode(mode), method);
  else if (mode <= 18)
    result = method == DITHER_ORDERED ? ToColourCube(source, &out, ColoursOfMode(mode))
                                      : ToChosenPalette(source, &out, ColoursOfMode(mode));
  else
    result = ToDirectColour(source, &out);
  if (result != RESULT_OK) {
    ImageFree(&out);
    return result;
  }
  PlaceResult(source, destination, &out);
  return RESULT_OK;
}
