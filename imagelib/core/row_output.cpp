// The save side of the contract: the picture is described to the writer,
// which asks for rows in the layout it wants.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imagelib/core/pipeline_internal.h"
#include "imagelib/core/reader_contract.h"

namespace {

using ToRgba = void (*)(const uint8_t* row, uint8_t* rgba, int width, const SaveContext& c);
using ToIndex = void (*)(const uint8_t* row, uint8_t* index, int width, const SaveContext& c);
using FromRgba = void (*)(const uint8_t* rgba, uint8_t* out, int width);

template <int R, int G, int B, int A>
void DirectToRgba(const uint8_t* s, uint8_t* d, int width, const SaveContext& c) {
  const int step = c.image->bytesPerPixel;
  for (int x = 0; x < width; ++x, s += step, d += 4) {
    d[0] = s[R];
    d[1] = s[G];
    d[2] = s[B];
    d[3] = A < 0 ? 255 : s[A < 0 ? 0 : A];
  }
}

void CmykToRgba(const uint8_t* s, uint8_t* d, int width, const SaveContext&) {
  for (int x = 0; x < width; ++x, s += 4, d += 4) {
    d[0] = (uint8_t)((255 - s[0]) * (255 - s[3]) / 255);
    d[1] = (uint8_t)((255 - s[1]) * (255 - s[3]) / 255);
    d[2] = (uint8_t)((255 - s[2]) * (255 - s[3]) / 255);
    d[3] = 255;
  }
}

void PaletteToRgba(const uint8_t* s, uint8_t* d, int width, const SaveContext& c) {
  for (int x = 0; x < width; ++x, d += 4) {
    const int i = s[x];
    d[0] = c.palette[i];
    d[1] = c.palette[256 + i];
    d[2] = c.palette[512 + i];
    d[3] = 255;
  }
}

void BitsToRgba(const uint8_t* s, uint8_t* d, int width, const SaveContext&) {
  for (int x = 0; x < width; ++x, d += 4) {
    const uint8_t v = GetBit(s, x) ? 255 : 0;
    d[0] = d[1] = d[2] = v;
    d[3] = 255;
  }
}

// Wide samples (host-order containers): their upper 8 bits.
template <typename Container>
void WideToRgba(const uint8_t* s, uint8_t* d, int width, const SaveContext& c) {
  const int samples = c.image->samplesPerPixel;
  const int shift = c.image->bitsPerSample - 8;
  for (int x = 0; x < width; ++x, d += 4) {
    Container v[4] = {0, 0, 0, 0};
    memcpy(v, s + (size_t)x * samples * sizeof(Container), (size_t)samples * sizeof(Container));
    if (samples < 3) {
      d[0] = d[1] = d[2] = (uint8_t)(v[0] >> shift);
      d[3] = 255;
    } else {
      d[0] = (uint8_t)(v[0] >> shift);
      d[1] = (uint8_t)(v[1] >> shift);
      d[2] = (uint8_t)(v[2] >> shift);
      d[3] = samples == 4 ? (uint8_t)(v[3] >> shift) : 255;
    }
  }
}

void BytesToIndex(const uint8_t* s, uint8_t* d, int width, const SaveContext&) { memcpy(d, s, (size_t)width); }

void BitsToIndex(const uint8_t* s, uint8_t* d, int width, const SaveContext&) {
  for (int x = 0; x < width; ++x) d[x] = (uint8_t)GetBit(s, x);
}

template <int N, int R, int G, int B, int A>
void RgbaToOut(const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x, s += 4, d += N) {
    d[R] = s[0];
    d[G] = s[1];
    d[B] = s[2];
    if constexpr (N == 4) d[A] = s[3];
  }
}

}  // namespace

struct SavePipeline {
  TargetFormat* target = nullptr;
  bool direct = false;
  int bits = 8;
  bool onePerByte = false;
  bool flipRows = false;
  bool mirror = false;
  ToRgba toRgba = nullptr;
  ToIndex toIndex = nullptr;
  FromRgba fromRgba = nullptr;
  int outBytes = 3;
  std::vector<uint8_t> rowBuffer;
  std::vector<uint8_t> working;
  std::vector<uint8_t> provided;
  std::vector<uint8_t> mirrored;
  int nextRow = 0;
  int rowsDone = 0;
  int starsDrawn = 0;
  bool progressBar = false;
};

void DescribeImageForSave(SaveContext* c, const Image* image) {
  c->image = image;
  c->width = image->width;
  c->height = image->height;
  c->sourceType = image->pixelType;
  c->bitsPerSample = image->bitsPerSample;
  c->samplesPerPixel = image->samplesPerPixel;
  c->paletteCount = image->paletteCount;
  c->transparentIndex = image->transparentIndex;
  c->xDpi = image->xDpi;
  c->yDpi = image->yDpi;
  c->comment = image->comment;
  c->metadata = image->metadata;
  memset(c->palette, 0, sizeof c->palette);
  if (image->pixelType & PIXEL_ANYCOLOUR) {
    c->pixelType = PIXEL_ANYCOLOUR;
    const bool four = (image->pixelType & PIXEL_ANY32) && image->pixelType != PIXEL_CMYK;
    c->bitsPerPixel = four ? 32 : 24;
  } else if (image->pixelType == PIXEL_BW) {
    c->pixelType = PIXEL_BW;
    c->bitsPerPixel = 1;
    c->palette[1] = c->palette[257] = c->palette[513] = 255;
  } else {
    c->pixelType = image->pixelType;
    c->bitsPerPixel = 8;
    if (image->pixelType == PIXEL_INDEXED && image->palette) {
      memcpy(c->palette, image->palette, 768);
    } else if (image->pixelType == PIXEL_GREY) {
      const int n = image->paletteCount >= 2 && image->paletteCount <= 256 ? image->paletteCount : 256;
      for (int i = 0; i < n; ++i) c->palette[i] = c->palette[256 + i] = c->palette[512 + i] = (uint8_t)(i * 255 / (n - 1));
    }
  }
}

void ReleaseSavePipeline(SaveContext* context) {
  if (!context->pipeline) return;
  delete context->pipeline;
  context->pipeline = nullptr;
}

void InitTargetFormat(TargetFormat* t) {
  memset(t, 0, sizeof *t);
  t->rowsPerCall = 1;
  t->planes = 1;
  t->bitsPerPlane = 1;
  t->bitsPerSample = 1;
}

int BeginRowOutput(SaveContext* c, TargetFormat* t) {
  ReleaseSavePipeline(c);
  SavePipeline* p = new (std::nothrow) SavePipeline;
  if (!p) return RESULT_NO_MEMORY;
  c->pipeline = p;
  p->target = t;
  const Image* image = c->image;
  const int bits = t->samplesPerPixel > 0 ? t->samplesPerPixel * t->bitsPerSample : t->planes * t->bitsPerPlane;
  p->bits = bits;
  p->onePerByte = (t->flags & SRC_ONE_PER_BYTE) != 0;
  if (t->formatName[0] == 0) strcpy(t->formatName, "picture");

  if (c->options.flags & SAVE_CONSOLE) {
    std::string name = Utf8FromWide(c->path);
    fprintf(stderr, "A %s was writen : %s\n", t->formatName, name.c_str());
    fprintf(stderr, "    Width:%d Height:%d with %ld colors\n", c->width, c->height,
            1l << (c->bitsPerPixel > 24 ? 24 : c->bitsPerPixel));
  }
  p->progressBar = (c->options.flags & SAVE_PROGRESS_BAR) != 0;
  if (p->progressBar) fputs("------------------------------------------------------------\r", stderr);

  const uint16_t type = image->pixelType;
  const bool wide = image->bitsPerSample > 8 && type != PIXEL_BW;
  if (bits <= 8) {
    if (type & PIXEL_ANYCOLOUR || wide) return RESULT_CANNOT_STORE;
    p->direct = false;
    p->toIndex = type == PIXEL_BW ? BitsToIndex : BytesToIndex;
  } else if (bits == 24 || bits == 32) {
    p->direct = true;
    if (wide) p->toRgba = image->bitsPerSample > 16 ? WideToRgba<uint32_t> : WideToRgba<uint16_t>;
    else
      switch (type) {
        case PIXEL_RGB: p->toRgba = DirectToRgba<0, 1, 2, -1>; break;
        case PIXEL_BGR: p->toRgba = DirectToRgba<2, 1, 0, -1>; break;
        case PIXEL_RGBA: p->toRgba = DirectToRgba<0, 1, 2, 3>; break;
        case PIXEL_ABGR: p->toRgba = DirectToRgba<3, 2, 1, 0>; break;
        case PIXEL_BGRA: p->toRgba = DirectToRgba<2, 1, 0, 3>; break;
        case PIXEL_ARGB: p->toRgba = DirectToRgba<1, 2, 3, 0>; break;
        case PIXEL_CMYK: p->toRgba = CmykToRgba; break;
        case PIXEL_BW: p->toRgba = BitsToRgba; break;
        case PIXEL_GREY:
        case PIXEL_INDEXED: p->toRgba = PaletteToRgba; break;
        default: return RESULT_CANNOT_STORE;
      }
    p->outBytes = bits / 8;
    if (bits == 24) {
      p->fromRgba = (t->flags & (SRC_ORDER_BGR_ABGR | SRC_ORDER_BGR_BGRA)) ? RgbaToOut<3, 2, 1, 0, 0>
                                                                          : RgbaToOut<3, 0, 1, 2, 0>;
    } else if (t->flags & SRC_ORDER_BGR_ABGR) {
      p->fromRgba = RgbaToOut<4, 3, 2, 1, 0>;
    } else if (t->flags & SRC_ORDER_ARGB) {
      p->fromRgba = RgbaToOut<4, 1, 2, 3, 0>;
    } else if (t->flags & SRC_ORDER_BGR_BGRA) {
      p->fromRgba = RgbaToOut<4, 2, 1, 0, 3>;
    } else {
      p->fromRgba = RgbaToOut<4, 0, 1, 2, 3>;
    }
  } else {
    return RESULT_CANNOT_STORE;
  }
  int64_t stride;
  if (p->direct) stride = (int64_t)c->width * p->outBytes;
  else if (p->onePerByte) stride = c->width;
  else stride = ((int64_t)c->width * bits + 7) / 8;
  const int rows = t->rowsPerCall < 1 ? 1 : t->rowsPerCall;
  const int64_t total = stride * rows + 1024;
  if (total > (int64_t)1 << 31) return RESULT_NO_MEMORY;
  t->rowStride = (int32_t)stride;
  p->rowBuffer.assign((size_t)total, 0);
  p->working.assign((size_t)std::max(c->width, 4) * 4 + 64, 0);
  if (!image->pixels) p->provided.assign((size_t)std::max(image->bytesPerRow, 4) + 64, 0);
  p->flipRows = ((image->layout ^ t->layout) & LAYOUT_BOTTOM_UP) != 0;
  p->mirror = ((image->layout ^ t->layout) & LAYOUT_MIRRORED) != 0;
  if (p->mirror) p->mirrored.assign((size_t)std::max(image->bytesPerRow, 4) + 64, 0);
  t->rowBuffer = p->rowBuffer.data();
  return 0;
}

namespace {

// A row of the picture as seen in the target's order, mirrored if needed.
const uint8_t* SourceRow(SaveContext* c, int row, int* result) {
  SavePipeline* p = c->pipeline;
  const Image* image = c->image;
  const int r = p->flipRows ? image->height - 1 - row : row;
  const uint8_t* s;
  if (image->pixels) {
    s = ImageRow(image, r);
  } else {
    if (!c->options.rowProvider) {
      *result = RESULT_CANNOT_STORE;
      return nullptr;
    }
    int answer = c->options.rowProvider(p->provided.data(), r, 1, c->options.rowProviderUserData);
    if (answer) {
      *result = answer;
      return nullptr;
    }
    s = p->provided.data();
  }
  if (!p->mirror) return s;
  uint8_t* m = p->mirrored.data();
  const int w = image->width;
  if (image->pixelType == PIXEL_BW) {
    memset(m, 0, (size_t)(w + 7) / 8);
    for (int x = 0; x < w; ++x) OrBit(m, x, GetBit(s, w - 1 - x));
  } else {
    const int n = image->bytesPerPixel;
    for (int x = 0; x < w; ++x) memcpy(m + (size_t)x * n, s + (size_t)(w - 1 - x) * n, (size_t)n);
  }
  return m;
}

void PackIndexes(const uint8_t* index, uint8_t* out, int width, int bits) {
  const int mask = (1 << bits) - 1;
  const size_t bytes = ((size_t)width * bits + 7) / 8;
  memset(out, 0, bytes);
  uint64_t bitPos = 0;
  for (int x = 0; x < width; ++x, bitPos += bits) {
    const int shift = 8 - (int)(bitPos & 7) - bits;
    out[bitPos >> 3] |= (uint8_t)((index[x] & mask) << shift);
  }
}

}  // namespace

int FetchRow(SaveContext* c, int firstRow, int count) {
  SavePipeline* p = c->pipeline;
  if (!p) return RESULT_NO_MEMORY;
  if (count == 0) return 0;
  TargetFormat* t = p->target;
  int row = (firstRow < 0 || firstRow >= c->height) ? p->nextRow : firstRow;
  for (int i = 0; i < count && row < c->height; ++i, ++row) {
    int result = 0;
    const uint8_t* s = SourceRow(c, row, &result);
    if (!s) return result;
    uint8_t* out = t->rowBuffer + (size_t)i * t->rowStride;
    if (p->direct) {
      p->toRgba(s, p->working.data(), c->width, *c);
      p->fromRgba(p->working.data(), out, c->width);
    } else if (p->onePerByte || p->bits == 8) {
      p->toIndex(s, out, c->width, *c);
    } else {
      p->toIndex(s, p->working.data(), c->width, *c);
      PackIndexes(p->working.data(), out, c->width, p->bits);
    }
    p->nextRow = row + 1 >= c->height ? 0 : row + 1;
    ++p->rowsDone;
    if (p->progressBar && c->height > 0) {
      int due = (int)((int64_t)p->rowsDone * 60 / c->height);
      while (p->starsDrawn < due && p->starsDrawn < 60) {
        fputc('*', stderr);
        ++p->starsDrawn;
        fflush(stderr);
      }
    }
  }
  return 0;
}

void EndRowOutput(SaveContext* c) {
  if (c->pipeline && c->pipeline->progressBar) fputc('\n', stderr);
  if (c->options.flags & SAVE_CONSOLE) fputc('\n', stderr);
  ReleaseSavePipeline(c);
}
