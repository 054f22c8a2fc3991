// The load side of the reader contract: StartPicture decides the result's
// type and size and allocates it, DeliverRows converts (and reduces) each
// delivered row into it, FinishPicture applies the palette and colour
// models and the reductions planned for the end.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imagelib/core/colour_models.h"
#include "imagelib/core/pipeline_internal.h"
#include "imagelib/core/reader_contract.h"
#include "imagelib/core/row_converters.h"
#include "imagelib/ops/resample.h"

namespace {

// Header flags that rule out reducing while loading by averaging.
constexpr uint32_t kNoSmoothWhileLoading = 0x15EC004;
constexpr uint32_t kLabFlags =
    SRC_LAB_UNSIGNED_D65 | SRC_LAB_UNSIGNED_D50 | SRC_LAB_SIGNED_D50 | SRC_LAB_SIGNED_D65;
constexpr uint32_t kTiledFlags = SRC_TILED | SRC_TILED_2;

enum class Reduction { None, FastWhileLoading, SmoothWhileLoading, ResizeAtEnd, SmoothAtEnd };

}  // namespace

struct LoadPipeline {
  SourceFormat* header = nullptr;
  WorkingKind kind = WorkingKind::Byte;
  ResultOrder order = ResultOrder::RGB;
  int resultBytes = 1;  // bytes per result pixel (1 for bilevel and byte kinds)
  uint32_t workingCode = 0;
  int bitsPerPixel = 0;
  int width = 0, height = 0;              // delivered
  int resultWidth = 0, resultHeight = 0;  // allocated
  int endWidth = 0, endHeight = 0;        // after a reduction at the end
  Reduction reduction = Reduction::None;
  bool flipRows = false;
  bool hasPixels = true;
  bool planeByPlane = false;
  int planes = 1;
  UnpackParams params;
  UnpackFunction unpack = nullptr;
  StoreFunction store = nullptr;
  std::vector<uint8_t> rowBuffer;
  std::vector<uint8_t> working;
  std::vector<int> columns;      // result column -> working column
  std::vector<int> rowTargets;   // delivered row -> result row, -1 skipped
  bool picking = false;
  bool directCopy = false;       // delivered rows are already result rows
  // Smooth reduction while loading.
  std::vector<uint64_t> accCurrent, accNext;
  std::vector<int> smoothColumn;  // delivered column -> target column
  std::vector<int> smoothSplit;   // -1 whole, else weight f to the next column
  double ry = 0, rowBoundary = 0;
  uint64_t normaliser = 1;
  int smoothRow = 0;              // target row being accumulated
  std::vector<uint8_t> smoothOut;
  // Progress.
  int nextRow = 0;
  int64_t rowsDone = 0;
  int64_t totalRows = 0;
  int starsDrawn = 0;
  int lastPercent = -1;
  bool progressBar = false;
};

namespace {

int64_t AlignUp(int64_t bytes, int alignment) { return (bytes + alignment - 1) / alignment * alignment; }

void PrintRecognition(LoadContext* context, const SourceFormat* h) {
  std::string name = Utf8FromWide(context->path);
  const char* model = ColourModelName(h->colourModel);
  if (h->compression != 0) {
    char text[161];
    CompressionText(text, sizeof text, h->compression, h->compressionText);
    printf("A %s (%s) - %s was recognized : %s\n", h->formatText, model, text, name.c_str());
  } else {
    printf("A %s (%s) was recognized : %s\n", h->formatText, model, name.c_str());
  }
  int bits = h->planes * h->bitsPerPlane;
  if (h->samplesPerPixel > 0) bits = h->samplesPerPixel * h->bitsPerPlane;
  unsigned long colours = 1ul << (bits > 24 ? 24 : bits);
  printf("    Width:%d Height:%d with %lu colors\n", h->width, h->height, colours);
  printf("    Nplanes : %d      Bitscount : %d\n", h->planes, h->bitsPerPlane);
  printf("    Bytes Per Plane : %d \n", h->bytesPerPlane);
  printf("    xdpi : %d         ydpi : %d\n", h->xDpi, h->yDpi);
}

void FillInfo(LoadContext* context, const SourceFormat* h) {
  ImageInfo* info = context->info;
  if (!info) return;
  strncpy(info->formatText, h->formatText, 63);
  info->formatText[63] = 0;
  info->sourceLayout = h->layout;
  if (h->storedWidth > 0) {
    info->bitsPerSample = (uint16_t)h->storedBitsPerSample;
    info->samplesPerPixel = (uint16_t)h->storedSamplesPerPixel;
    info->width = h->storedWidth;
    info->height = h->storedHeight;
    info->bytesPerPlane = h->storedBytesPerPlane;
  } else {
    if (h->samplesPerPixel > 0) {
      info->bitsPerSample = (uint16_t)h->bitsPerPlane;
      info->samplesPerPixel = (uint16_t)h->samplesPerPixel;
    } else if (h->bitsPerPlane > 8) {
      info->bitsPerSample = 8;
      info->samplesPerPixel = (uint16_t)(h->bitsPerPlane / 8);
    } else {
      info->bitsPerSample = (uint16_t)h->bitsPerPlane;
      info->samplesPerPixel = (uint16_t)h->planes;
    }
    info->width = h->width;
    info->height = h->height;
    info->bytesPerPlane = h->bytesPerPlane;
  }
  info->planes = (uint16_t)h->planes;
  info->bitsPerPlane = (uint16_t)h->bitsPerPlane;
  info->xDpi = (uint16_t)h->xDpi;
  info->yDpi = (uint16_t)h->yDpi;
  info->compression = h->compression;
  info->colourModel = h->colourModel;
  strncpy(info->compressionText, h->compressionText, 31);
  info->compressionText[31] = 0;
}

// Size of a picture fitted into a box, with rounding (the plan made at the
// start of a load).
void PlanBox(int w, int h, double ratioW, double ratioH, int maxW, int maxH, int* outW, int* outH) {
  (void)w;
  (void)h;
  int targetH = (int)(maxW * ratioH / ratioW + 0.5);
  if (targetH > maxH) {
    *outW = (int)(maxH * ratioW / ratioH + 0.5);
    *outH = maxH;
  } else {
    *outW = maxW;
    *outH = targetH;
  }
  if (*outW < 1) *outW = 1;
  if (*outH < 1) *outH = 1;
}

void SetupSmooth(LoadPipeline* p) {
  const double rx = (double)p->width / p->resultWidth;
  p->ry = (double)p->height / p->resultHeight;
  p->normaliser = (uint64_t)(rx * p->ry * 1024);
  if (p->normaliser == 0) p->normaliser = 1;
  p->smoothColumn.resize((size_t)p->width);
  p->smoothSplit.resize((size_t)p->width);
  double boundary = rx - 1;
  int target = 0;
  for (int x = 0; x < p->width; ++x) {
    p->smoothColumn[x] = target;
    if (x < boundary) {
      p->smoothSplit[x] = -1;
    } else {
      p->smoothSplit[x] = (int)((x - boundary) * 1024);
      ++target;
      boundary += rx;
    }
  }
  p->rowBoundary = p->ry - 1;
  const size_t slots = (size_t)(p->resultWidth + 10) * 4;
  p->accCurrent.assign(slots, 0);
  p->accNext.assign(slots, 0);
  p->smoothOut.assign((size_t)(p->resultWidth + 10) * 4, 0);
}

uint8_t* ResultRow(LoadContext* context, int row) {
  LoadPipeline* p = context->pipeline;
  int r = p->flipRows ? p->resultHeight - 1 - row : row;
  return ImageRow(context->image, r);
}

void EmitSmoothRow(LoadContext* context) {
  LoadPipeline* p = context->pipeline;
  if (p->smoothRow >= p->resultHeight) return;
  const int n = p->resultWidth;
  uint8_t* out = p->smoothOut.data();
  for (int i = 0; i < n * 4; ++i) {
    uint64_t v = p->accCurrent[i] / p->normaliser;
    out[i] = (uint8_t)(v > 255 ? 255 : v);
  }
  if (p->hasPixels) p->store(out, ResultRow(context, p->smoothRow), n, nullptr);
  ++p->smoothRow;
  std::swap(p->accCurrent, p->accNext);
  std::fill(p->accNext.begin(), p->accNext.end(), 0);
}

void AccumulateSmooth(LoadContext* context, int y, const uint8_t* w) {
  LoadPipeline* p = context->pipeline;
  uint64_t* cur = p->accCurrent.data();
  uint64_t* next = p->accNext.data();
  const int* col = p->smoothColumn.data();
  const int* split = p->smoothSplit.data();
  if (y < p->rowBoundary) {
    for (int x = 0; x < p->width; ++x, w += 4) {
      uint64_t* a = cur + (size_t)col[x] * 4;
      int f = split[x];
      if (f < 0) {
        a[0] += (uint64_t)w[0] << 10; a[1] += (uint64_t)w[1] << 10;
        a[2] += (uint64_t)w[2] << 10; a[3] += (uint64_t)w[3] << 10;
      } else {
        uint64_t keep = (uint64_t)(1024 - f), give = (uint64_t)f;
        for (int c = 0; c < 4; ++c) {
          a[c] += keep * w[c];
          a[c + 4] += give * w[c];
        }
      }
    }
    return;
  }
  const uint64_t g = (uint64_t)((y - p->rowBoundary) * 1024);
  for (int x = 0; x < p->width; ++x, w += 4) {
    uint64_t* a = cur + (size_t)col[x] * 4;
    uint64_t* b = next + (size_t)col[x] * 4;
    int f = split[x] < 0 ? 0 : split[x];
    const uint64_t w00 = ((uint64_t)(1024 - f) * (1024 - g)) >> 10;
    const uint64_t w01 = ((uint64_t)f * (1024 - g)) >> 10;
    const uint64_t w10 = ((uint64_t)(1024 - f) * g) >> 10;
    const uint64_t w11 = ((uint64_t)f * g) >> 10;
    for (int c = 0; c < 4; ++c) {
      a[c] += w00 * w[c];
      a[c + 4] += w01 * w[c];
      b[c] += w10 * w[c];
      b[c + 4] += w11 * w[c];
    }
  }
  EmitSmoothRow(context);
  p->rowBoundary += p->ry;
}

void DrawStars(LoadPipeline* p) {
  if (!p->progressBar || p->totalRows <= 0) return;
  int due = (int)(p->rowsDone * 60 / p->totalRows);
  while (p->starsDrawn < due && p->starsDrawn < 60) {
    fputc('*', stderr);
    ++p->starsDrawn;
    fflush(stderr);
  }
}

// Planar palette from the reader's palette format.
void ConvertPalette(uint32_t format, int depth, const void* data, int entries, uint8_t* planar) {
  memset(planar, 0, 1024);
  const uint8_t* b = (const uint8_t*)data;
  const bool bgr = format & PAL_BGR_ORDER;
  const int scaleDepth = depth >= 1 && depth < 8 ? depth : 8;
  auto scale = [scaleDepth](unsigned c) -> uint8_t {
    if (scaleDepth >= 8) return (uint8_t)c;
    unsigned max = (1u << scaleDepth) - 1;
    return (uint8_t)((c > max ? max : c) * 255 / max);
  };
  auto put = [&](int i, unsigned r, unsigned g, unsigned bl) {
    planar[i] = scale(r);
    planar[256 + i] = scale(g);
    planar[512 + i] = scale(bl);
  };
  if (entries > 256) entries = 256;
  if (format & PAL_SEPARATE_ARRAYS) {
    if (depth > 8) {
      const uint16_t* a = (const uint16_t*)data;
      bool anyHigh = false;
      for (int i = 0; i < entries * 3; ++i)
        if (a[i] > 255) anyHigh = true;
      for (int i = 0; i < entries; ++i) {
        unsigned v0 = a[i], v1 = a[entries + i], v2 = a[2 * entries + i];
        if (anyHigh) { v0 >>= 8; v1 >>= 8; v2 >>= 8; }
        else { v0 &= 255; v1 &= 255; v2 &= 255; }
        planar[i] = (uint8_t)(bgr ? v2 : v0);
        planar[256 + i] = (uint8_t)v1;
        planar[512 + i] = (uint8_t)(bgr ? v0 : v2);
      }
    } else {
      for (int i = 0; i < entries; ++i) {
        unsigned v0 = b[i], v1 = b[entries + i], v2 = b[2 * entries + i];
        put(i, bgr ? v2 : v0, v1, bgr ? v0 : v2);
      }
    }
    return;
  }
  if (format & (PAL_PACKED333 | PAL_PACKED444_FROM333 | PAL_PACKED444)) {
    for (int i = 0; i < entries; ++i) {
      unsigned v = ((unsigned)b[2 * i] << 8) | b[2 * i + 1];
      unsigned n[3] = {(v >> 8) & 15, (v >> 4) & 15, v & 15};
      for (unsigned& c : n) {
        if (format & PAL_PACKED333) c = (c & 7) * 255 / 7;
        else if (format & PAL_PACKED444_FROM333) c = (((c & 7) << 1) | ((c >> 3) & 1)) * 17;
        else c *= 17;
      }
      planar[i] = (uint8_t)n[0];
      planar[256 + i] = (uint8_t)n[1];
      planar[512 + i] = (uint8_t)n[2];
    }
    return;
  }
  if (format & PAL_RGBX4) {
    for (int i = 0; i < entries; ++i) put(i, b[4 * i], b[4 * i + 1], b[4 * i + 2]);
  } else if (format & PAL_XBGR4) {
    for (int i = 0; i < entries; ++i) put(i, b[4 * i + 3], b[4 * i + 2], b[4 * i + 1]);
  } else if (format & PAL_BGRX4) {
    for (int i = 0; i < entries; ++i) put(i, b[4 * i + 2], b[4 * i + 1], b[4 * i]);
  } else if (bgr) {
    for (int i = 0; i < entries; ++i) put(i, b[3 * i + 2], b[3 * i + 1], b[3 * i]);
  } else {
    for (int i = 0; i < entries; ++i) put(i, b[3 * i], b[3 * i + 1], b[3 * i + 2]);
  }
}

// Channel positions of R, G, B (and A) in a direct result of this order.
void OrderPositions(ResultOrder order, int* r, int* g, int* b, int* a) {
  *a = -1;
  switch (order) {
    case ResultOrder::RGB: case ResultOrder::Raw3: *r = 0; *g = 1; *b = 2; break;
    case ResultOrder::BGR: *r = 2; *g = 1; *b = 0; break;
    case ResultOrder::RGBA: case ResultOrder::Raw4: *r = 0; *g = 1; *b = 2; *a = 3; break;
    case ResultOrder::ABGR: *a = 0; *b = 1; *g = 2; *r = 3; break;
    case ResultOrder::ARGB: *a = 0; *r = 1; *g = 2; *b = 3; break;
    case ResultOrder::BGRA: *b = 0; *g = 1; *r = 2; *a = 3; break;
  }
}

// Rebuilds the pixel buffer with a new pixel size, row by row, through a
// per-pixel conversion.
template <typename Convert>
bool Repack(Image* image, int newBytesPerPixel, int rowAlignment, Convert convert) {
  int64_t row = AlignUp((int64_t)image->width * newBytesPerPixel, rowAlignment);
  uint8_t* pixels = (uint8_t*)calloc((size_t)(row * image->height) + 1, 1);
  if (!pixels) return false;
  for (int y = 0; y < image->height; ++y) {
    const uint8_t* s = ImageRow(image, y);
    uint8_t* d = pixels + (size_t)y * row;
    for (int x = 0; x < image->width; ++x)
      convert(s + (size_t)x * image->bytesPerPixel, d + (size_t)x * newBytesPerPixel);
  }
  free(image->pixels);
  image->pixels = pixels;
  image->bytesPerRow = (int32_t)row;
  image->bytesPerPixel = (uint16_t)newBytesPerPixel;
  image->samplesPerPixel = (uint16_t)newBytesPerPixel;
  return true;
}

}  // namespace

void ReleaseLoadPipeline(LoadContext* context) {
  if (!context->pipeline) return;
  // The reader's SourceFormat is not touched here: the dispatcher releases
  // the pipeline after the reader has returned, when that record (often on
  // the reader's stack or in its freed state) no longer exists.
  delete context->pipeline;
  context->pipeline = nullptr;
}

void InitSourceFormat(SourceFormat* h) {
  memset(h, 0, sizeof *h);
  h->rowsPerCall = 1;
  h->planes = 1;
  h->bitsPerPlane = 1;
  h->storedBitsPerSample = 8;
  h->storedSamplesPerPixel = 1;
  h->transparentIndex = -1;
}

int StartPicture(LoadContext* context, SourceFormat* h) {
  context->headerAccepted = 1;
  h->formatText[sizeof h->formatText - 1] = 0;
  h->compressionText[sizeof h->compressionText - 1] = 0;
  const int bits = h->planes * h->bitsPerPlane;
  if (h->planes < 1 || bits < 1 || bits > 32 || h->width < 1 || h->height < 1 ||
      h->width >= 200000 || h->height >= 200000)
    return RESULT_NOT_RECOGNISED;
  if (h->xDpi < 3 || h->xDpi > 10000 || h->yDpi < 3 || h->yDpi > 10000) h->xDpi = h->yDpi = 0;
  FillInfo(context, h);
  if (context->infoMode) return -1;

  LoadOptions& o = context->options;
  if (o.flags & LOAD_CONSOLE) PrintRecognition(context, h);

  ReleaseLoadPipeline(context);
  LoadPipeline* p = new (std::nothrow) LoadPipeline;
  if (!p) return RESULT_NO_MEMORY;
  context->pipeline = p;
  p->header = h;

  if (h->flags & kLabFlags) o.flags |= LOAD_THREE_BYTES;
  if (h->xDpi == 0) h->xDpi = h->yDpi = 72;
  if (h->planes == 1 && h->samplesPerPixel == 0) h->flags &= ~SRC_PLANE_BY_PLANE;
  if (h->rowsPerCall < 1) h->rowsPerCall = 1;
  if (h->rowsPerCall > 4096) return RESULT_NOT_RECOGNISED;

  // The kind of result.
  const uint32_t flags = o.flags;
  int bytes;  // 0 bilevel, 1 byte, 3, 4
  if ((h->flags & (SRC_CMYK | SRC_CMYK_INVERTED)) && bits == 32) bytes = 4;
  else if (h->samplesPerPixel > 1) bytes = (h->samplesPerPixel == 4 || (flags & LOAD_FOUR_BYTES)) ? 4 : 3;
  else if (bits <= 8) {
    if (flags & LOAD_DIRECT_COLOUR) bytes = (flags & LOAD_FOUR_BYTES) ? 4 : 3;
    else if (bits == 1 && !(flags & LOAD_BW_AS_GREY)) bytes = 0;
    else bytes = 1;
  } else if (bits <= 24) {
    if (h->samplesPerPixel == 1 && bits >= 10) bytes = 1;
    else bytes = (flags & LOAD_FOUR_BYTES) ? 4 : 3;
  } else {
    if (h->samplesPerPixel == 1) bytes = 1;
    else bytes = (flags & LOAD_THREE_BYTES) ? 3 : 4;
  }
  // With planes delivered one at a time, each plane is one channel.
  p->planeByPlane = (h->flags & SRC_PLANE_BY_PLANE) != 0;
  p->planes = h->planes;
  int wideBytes = 0;
  const bool wideShape = h->samplesPerPixel == 1 || h->samplesPerPixel == 3 || h->samplesPerPixel == 4;
  if ((flags & LOAD_WIDE_SAMPLES) && wideShape && h->bitsPerPlane > 8 && h->bitsPerPlane <= 32 &&
      !p->planeByPlane) {
    const int container = h->bitsPerPlane > 16 ? 4 : 2;
    const int samples = h->samplesPerPixel;
    p->kind = WorkingKind::Wide;
    p->workingCode = samples == 4 ? (container == 4 ? PIXEL_WIDE_4_32 : PIXEL_WIDE_4_16)
                                  : (container == 4 ? PIXEL_WIDE_1TO3_32 : PIXEL_WIDE_1TO3_16);
    wideBytes = container * samples;
    p->resultBytes = wideBytes;
  } else if (bytes == 0) {
    p->kind = WorkingKind::Bilevel;
    p->workingCode = PIXEL_BW;
    p->resultBytes = 1;
  } else if (bytes == 1) {
    p->kind = WorkingKind::Byte;
    p->workingCode = PIXEL_GREY;
    p->resultBytes = 1;
  } else {
    p->kind = WorkingKind::Direct;
    p->workingCode = bytes == 4 ? PIXEL_ANY32 : PIXEL_ANY24;
    p->resultBytes = bytes;
  }

  // Channel order of a direct result. Raw colour models keep their
  // channels until the picture is finished.
  const bool rawModel = (h->flags & (SRC_CMYK | SRC_CMYK_INVERTED | kLabFlags)) != 0;
  if (p->kind == WorkingKind::Direct) {
    if (rawModel) p->order = bytes == 4 ? ResultOrder::Raw4 : ResultOrder::Raw3;
    else if (bytes == 3) p->order = o.channelOrder == 0 ? ResultOrder::RGB : ResultOrder::BGR;
    else
      switch (o.channelOrder) {
        case 0: p->order = ResultOrder::RGBA; break;
        case 1: p->order = ResultOrder::ABGR; break;
        case 3: p->order = ResultOrder::ARGB; break;
        default: p->order = ResultOrder::BGRA; break;
      }
  }

  // Reduction plan.
  p->width = h->width;
  p->height = h->height;
  p->resultWidth = h->width;
  p->resultHeight = h->height;
  p->endWidth = h->width;
  p->endHeight = h->height;
  if (o.maxWidth >= 1 && o.maxHeight >= 1 && !(h->width <= o.maxWidth && h->height <= o.maxHeight)) {
    double W = h->width, H = h->height;
    if (h->storedWidth > 0 && h->storedHeight > 0) {
      W = h->storedWidth;
      H = h->storedHeight;
      bool storedLandscape = W > H, deliveredLandscape = h->width > h->height;
      if (storedLandscape != deliveredLandscape && W != H && h->width != h->height) std::swap(W, H);
    }
    int tw, th;
    PlanBox(h->width, h->height, W, H, o.maxWidth, o.maxHeight, &tw, &th);
    if (o.scaleMode != 2) {
      if (h->flags & kTiledFlags) p->reduction = Reduction::ResizeAtEnd;
      else p->reduction = Reduction::FastWhileLoading;
    } else {
      if (!(h->flags & kNoSmoothWhileLoading) && h->bitsPerPlane == 24 && p->kind == WorkingKind::Direct &&
          !p->planeByPlane)
        p->reduction = Reduction::SmoothWhileLoading;
      else
        p->reduction = Reduction::SmoothAtEnd;
    }
    if (p->reduction == Reduction::FastWhileLoading || p->reduction == Reduction::SmoothWhileLoading) {
      p->resultWidth = tw;
      p->resultHeight = th;
    }
    p->endWidth = tw;
    p->endHeight = th;
  }

  // Row length and allocation.
  const int alignment = o.rowAlignment < 1 ? 1 : o.rowAlignment;
  int64_t rowBytes;
  if (p->kind == WorkingKind::Bilevel) rowBytes = AlignUp(((int64_t)p->resultWidth + 7) / 8, alignment);
  else rowBytes = AlignUp((int64_t)p->resultWidth * p->resultBytes, alignment);
  const int64_t total = rowBytes * p->resultHeight;
  if (rowBytes > 0x7FFFFFFF || (uint64_t)total > o.memoryCap) return RESULT_NO_MEMORY;
  p->hasPixels = !(flags & LOAD_NO_PIXELS);
  Image* image = context->image;
  const int bitsPerSample = p->kind == WorkingKind::Wide ? h->bitsPerPlane : 8;
  if (p->hasPixels && o.allocPixels) {
    memset(image, 0, sizeof *image);
    image->pixelType = (uint16_t)p->workingCode;
    image->bytesPerRow = (int32_t)rowBytes;
    image->width = p->resultWidth;
    image->height = p->resultHeight;
    image->transparentIndex = -1;
    if (p->workingCode & PIXEL_INDEXED) image->palette = (uint8_t*)calloc(1024, 1);
    image->pixels = o.allocPixels(p->resultWidth, p->resultHeight, p->resultBytes, bitsPerSample,
                                  alignment, (int)rowBytes, o.allocUserData);
    if (!image->pixels) return RESULT_NO_MEMORY;
  } else if (!ImageCreateRaw(image, p->workingCode, (int)rowBytes, p->resultWidth, p->resultHeight,
                             p->hasPixels ? 1 : 0)) {
    return RESULT_NO_MEMORY;
  }
  image->rowAlignment = (int16_t)alignment;

  // Delivered row buffer.
  int64_t stride;
  if (h->samplesPerPixel > 0) stride = (int64_t)((h->bitsPerPlane + 7) / 8) * h->samplesPerPixel * h->width;
  else stride = (int64_t)h->planes * h->bytesPerPlane;
  // A reader's stated row length never shortens the bytes its layout needs.
  int64_t needed;
  if (h->samplesPerPixel > 0 && h->bitsPerPlane < 8)
    needed = ((int64_t)h->width * h->bitsPerPlane * h->samplesPerPixel + 7) / 8;
  else if (h->samplesPerPixel > 0) needed = stride;
  else if (h->flags & SRC_ONE_PER_BYTE) needed = (int64_t)h->width * (h->planes > 1 && (h->flags & SRC_PLANES_IN_ROW) ? h->planes : 1);
  else if ((h->flags & SRC_PLANES_IN_ROW) || p->planeByPlane) needed = (int64_t)h->planes * ((h->width * (int64_t)h->bitsPerPlane + 7) / 8);
  else needed = ((int64_t)h->width * bits + 7) / 8;
  if (p->planeByPlane && h->samplesPerPixel == 0) needed = ((int64_t)h->width * h->bitsPerPlane + 7) / 8;
  if (stride < needed) stride = needed;
  if (p->planeByPlane && h->samplesPerPixel > 0)
    stride = std::max<int64_t>((int64_t)((h->bitsPerPlane + 7) / 8) * h->width, h->bytesPerPlane);
  const int64_t bufferBytes = (int64_t)h->rowsPerCall * stride + 1024;
  if (bufferBytes > (int64_t)1 << 31) return RESULT_NO_MEMORY;
  h->rowStride = (int32_t)stride;
  p->rowBuffer.assign((size_t)bufferBytes, 0);
  h->rowBuffer = p->rowBuffer.data();
  p->working.assign((size_t)std::max(4, h->width) * std::max(4, p->resultBytes) + 64, 0);

  // Converters.
  p->bitsPerPixel = bits;
  p->params.width = h->width;
  p->params.bitsPerPlane = h->bitsPerPlane;
  p->params.planes = h->planes;
  p->params.bytesPerPlane = h->bytesPerPlane > 0 ? h->bytesPerPlane : (int)((h->width * (int64_t)h->bitsPerPlane + 7) / 8);
  p->params.samples = h->samplesPerPixel;
  if (p->kind == WorkingKind::Wide) p->params.bytesPerPlane = h->width * wideBytes;
  if (p->planeByPlane) {
    // Each plane row is one channel: unpack it as a one-plane, one-sample row.
    UnpackParams one = p->params;
    one.planes = 1;
    one.samples = 1;
    p->params = one;
    p->unpack = ChooseUnpacker(WorkingKind::Byte, h->flags & ~SRC_PLANE_BY_PLANE, h->bitsPerPlane, &p->params);
  } else {
    p->unpack = ChooseUnpacker(p->kind, h->flags, bits, &p->params);
  }
  if (!p->unpack) return RESULT_NOT_RECOGNISED;

  const bool mirror = ((h->layout ^ o.layout) & LAYOUT_MIRRORED) != 0;
  p->flipRows = ((h->layout ^ o.layout) & LAYOUT_BOTTOM_UP) != 0;
  p->picking = mirror || p->reduction == Reduction::FastWhileLoading;
  if (p->picking) {
    p->columns.resize((size_t)p->resultWidth);
    for (int x = 0; x < p->resultWidth; ++x) {
      int source;
      if (p->resultWidth == p->width) {
        source = x;
      } else if (p->kind == WorkingKind::Bilevel) {
        source = (int)((int64_t)x * p->width / p->resultWidth);
      } else {
        // The last delivered column that maps to x wins.
        source = (int)(((int64_t)(x + 1) * p->width - 1) / p->resultWidth);
        if (source >= p->width) source = p->width - 1;
      }
      p->columns[x] = mirror ? p->width - 1 - source : source;
    }
    if (mirror && p->resultWidth != p->width) {
      // Mirroring a reduced row: result column x shows the column that
      // result column (n - 1 - x) would show unmirrored.
      std::vector<int> plain(p->columns.size());
      for (int x = 0; x < p->resultWidth; ++x) plain[x] = p->width - 1 - p->columns[x];
      for (int x = 0; x < p->resultWidth; ++x) p->columns[x] = plain[p->resultWidth - 1 - x];
    }
  }
  if (p->reduction == Reduction::FastWhileLoading) {
    p->rowTargets.assign((size_t)p->height, -1);
    int last = -1;
    for (int r = 0; r < p->height; ++r) {
      int t = (int)((int64_t)r * p->resultHeight / p->height);
      if (t != last) p->rowTargets[r] = t;
      last = t;
    }
  }
  if (p->reduction == Reduction::SmoothWhileLoading) SetupSmooth(p);
  p->store = ChooseStorer(p->kind, p->order, wideBytes, p->picking);
  if (!p->store) return RESULT_NOT_RECOGNISED;
  // Rows stored exactly as the result wants them are copied whole.
  if (!p->picking && !p->planeByPlane && p->reduction == Reduction::None) {
    if (p->kind == WorkingKind::Bilevel && !(h->flags & SRC_ONE_PER_BYTE)) p->directCopy = true;
    if (p->kind == WorkingKind::Byte && bits == 8 && !(h->flags & SRC_PLANES_IN_ROW) && h->bitsPerPlane == 8)
      p->directCopy = true;
    if (p->kind == WorkingKind::Wide) p->directCopy = true;
    const bool planesInRow = (h->flags & SRC_PLANES_IN_ROW) && h->planes > 1;
    const bool plainSamples = h->samplesPerPixel == 0 || (h->samplesPerPixel >= 3 && h->bitsPerPlane == 8);
    const int pixelBits = h->samplesPerPixel > 0 ? h->samplesPerPixel * h->bitsPerPlane : bits;
    if (p->kind == WorkingKind::Direct && !planesInRow && plainSamples && pixelBits == p->resultBytes * 8) {
      const bool bgrIn = h->flags & (SRC_ORDER_BGR_ABGR | SRC_ORDER_BGR_BGRA);
      if (pixelBits == 24 && ((p->order == ResultOrder::RGB && !bgrIn) || (p->order == ResultOrder::BGR && bgrIn) ||
                              (p->order == ResultOrder::Raw3)))
        p->directCopy = true;
      if (pixelBits == 32) {
        const uint32_t of = h->flags & (SRC_ORDER_BGR_ABGR | SRC_ORDER_ARGB | SRC_ORDER_BGR_BGRA);
        if ((p->order == ResultOrder::RGBA && of == 0) || (p->order == ResultOrder::Raw4 && of == 0) ||
            (p->order == ResultOrder::ABGR && of == SRC_ORDER_BGR_ABGR) ||
            (p->order == ResultOrder::ARGB && of == SRC_ORDER_ARGB) ||
            (p->order == ResultOrder::BGRA && of == SRC_ORDER_BGR_BGRA))
          p->directCopy = true;
      }
    }
  }

  p->totalRows = (int64_t)h->height * (p->planeByPlane ? h->planes : 1);
  p->progressBar = (flags & LOAD_PROGRESS_BAR) != 0;
  if (p->progressBar) {
    fputs("------------------------------------------------------------\r", stderr);
    fflush(stderr);
  }
  return 0;
}

int DeliverRows(LoadContext* context, int plane, int firstRow, int rowCount) {
  LoadPipeline* p = context->pipeline;
  if (!p || !p->header) return 0;
  const SourceFormat* h = p->header;
  const LoadOptions& o = context->options;
  int row = (firstRow < 0 || firstRow >= p->height) ? p->nextRow : firstRow;
  for (int i = 0; i < rowCount; ++i, ++row) {
    if (row >= p->height) break;
    ++p->rowsDone;
    DrawStars(p);
    if (o.rowCallback && o.rowCallback(row, p->height, o.rowUserData, (int)p->rowsDone)) return RESULT_CANCELLED;
    if (o.cancelCallback && o.cancelCallback(o.cancelUserData)) return RESULT_CANCELLED;
    if (o.percentCallback && p->totalRows > 0) {
      int percent = (int)(p->rowsDone * 100 / p->totalRows);
      if (percent != p->lastPercent) {
        p->lastPercent = percent;
        o.percentCallback(percent, o.percentUserData);
      }
    }
    p->nextRow = row + 1 == p->height ? 0 : row + 1;

    const uint8_t* source = h->rowBuffer + (size_t)i * h->rowStride;
    if (p->reduction == Reduction::SmoothWhileLoading) {
      p->unpack(source, p->working.data(), p->params);
      AccumulateSmooth(context, row, p->working.data());
      continue;
    }
    int target = row;
    if (p->reduction == Reduction::FastWhileLoading) {
      target = p->rowTargets[row];
      if (target < 0) continue;
    }
    if (!p->hasPixels) continue;
    uint8_t* out = ResultRow(context, target);
    if (p->planeByPlane) {
      if (plane < 0 || plane >= p->planes) continue;
      p->unpack(source, p->working.data(), p->params);
      const uint8_t* w = p->working.data();
      if (p->kind == WorkingKind::Direct) {
        int r, g, b, a;
        OrderPositions(p->order, &r, &g, &b, &a);
        const int channelAt[4] = {r, g, b, a};
        if (plane > 3 || (plane == 3 && a < 0)) continue;
        const int at = channelAt[plane];
        const int step = p->resultBytes;
        if (p->picking) {
          for (int x = 0; x < p->resultWidth; ++x) out[(size_t)x * step + at] = w[p->columns[x]];
        } else {
          for (int x = 0; x < p->resultWidth; ++x) out[(size_t)x * step + at] = w[x];
        }
        // Channels no plane supplies are opaque.
        if (plane == 0 && a >= 0 && p->planes < 4)
          for (int x = 0; x < p->resultWidth; ++x) out[(size_t)x * step + a] = 255;
        if (plane == 0 && p->planes == 1)
          for (int x = 0; x < p->resultWidth; ++x) out[(size_t)x * step + g] = out[(size_t)x * step + b] = out[(size_t)x * step + r];
      } else if (plane == 0) {
        p->store(w, out, p->resultWidth, p->picking ? p->columns.data() : nullptr);
      }
      continue;
    }
    if (p->directCopy) {
      size_t n = p->kind == WorkingKind::Bilevel ? (size_t)(p->width + 7) / 8 : (size_t)p->width * p->resultBytes;
      memcpy(out, source, n);
      continue;
    }
    p->unpack(source, p->working.data(), p->params);
    p->store(p->working.data(), out, p->resultWidth, p->picking ? p->columns.data() : nullptr);
  }
  return 0;
}

int FinishPicture(LoadContext* context, uint32_t paletteFormat, int paletteDepth, const void* palette) {
  LoadPipeline* p = context->pipeline;
  if (!p || !p->header) return 0;
  SourceFormat* h = p->header;
  const LoadOptions& o = context->options;
  Image* image = context->image;

  if (p->reduction == Reduction::SmoothWhileLoading)
    while (p->smoothRow < p->resultHeight) EmitSmoothRow(context);
  if (p->progressBar) {
    while (p->starsDrawn < 60 && p->rowsDone >= p->totalRows) {
      fputc('*', stderr);
      ++p->starsDrawn;
    }
    fputc('\n', stderr);
    fflush(stderr);
  }

  image->layout = o.layout;
  image->xDpi = (uint32_t)h->xDpi;
  image->yDpi = (uint32_t)h->yDpi;
  image->transparentIndex = h->transparentIndex;
  image->width = p->resultWidth;
  image->height = p->resultHeight;
  image->rowAlignment = (int16_t)(o.rowAlignment < 1 ? 1 : o.rowAlignment);
  const int bits = p->bitsPerPixel;
  const bool havePixels = p->hasPixels && image->pixels;

  // Final type.
  switch (p->kind) {
    case WorkingKind::Wide: {
      const bool four = p->workingCode == PIXEL_WIDE_4_16 || p->workingCode == PIXEL_WIDE_4_32;
      const int container = (p->workingCode == PIXEL_WIDE_4_32 || p->workingCode == PIXEL_WIDE_1TO3_32) ? 4 : 2;
      const int samples = four ? 4 : p->resultBytes / container;
      image->pixelType = samples == 1 ? PIXEL_GREY : samples == 3 ? PIXEL_RGB : PIXEL_RGBA;
      image->samplesPerPixel = (uint16_t)samples;
      image->bytesPerPixel = (uint16_t)(samples * container);
      image->bitsPerSample = (uint16_t)h->bitsPerPlane;
      image->paletteCount = samples == 1 ? 256 : 0;
      break;
    }
    case WorkingKind::Direct: {
      if (p->resultBytes == 3) {
        image->pixelType = o.channelOrder == 0 ? PIXEL_RGB : PIXEL_BGR;
      } else if ((o.flags & LOAD_KEEP_CMYK) && (h->flags & (SRC_CMYK | SRC_CMYK_INVERTED))) {
        image->pixelType = PIXEL_CMYK;
      } else {
        switch (o.channelOrder) {
          case 0: image->pixelType = PIXEL_RGBA; break;
          case 1: image->pixelType = PIXEL_ABGR; break;
          case 3: image->pixelType = PIXEL_ARGB; break;
          default: image->pixelType = PIXEL_BGRA; break;
        }
      }
      image->bytesPerPixel = image->samplesPerPixel = (uint16_t)p->resultBytes;
      image->bitsPerSample = 8;
      image->paletteCount = 0;
      break;
    }
    case WorkingKind::Bilevel:
      image->pixelType = PIXEL_BW;
      image->bytesPerPixel = 1;
      image->samplesPerPixel = 1;
      image->bitsPerSample = 1;
      image->paletteCount = 2;
      break;
    case WorkingKind::Byte: {
      const bool indexed = palette && bits > 1 && bits <= 8;
      image->pixelType = indexed ? PIXEL_INDEXED : PIXEL_GREY;
      image->bytesPerPixel = 1;
      image->samplesPerPixel = 1;
      if (bits >= 10 || bits > 8) {
        image->bitsPerSample = 8;
        image->paletteCount = 256;
      } else {
        image->bitsPerSample = (uint16_t)bits;
        image->paletteCount = (int16_t)std::min(1 << bits, 256);
      }
      if (indexed && !image->palette) {
        image->palette = (uint8_t*)calloc(1024, 1);
        if (!image->palette) return RESULT_NO_MEMORY;
      }
      if (!indexed && image->palette) {
        free(image->palette);
        image->palette = nullptr;
      }
      break;
    }
  }

  if (palette && bits <= 8) {
    uint8_t planar[1024];
    const int entries = std::min(1 << bits, 256);
    ConvertPalette(paletteFormat, paletteDepth, palette, entries, planar);
    const auto isBlack = [&](int i) { return planar[i] == 0 && planar[256 + i] == 0 && planar[512 + i] == 0; };
    const auto isWhite = [&](int i) { return planar[i] == 255 && planar[256 + i] == 255 && planar[512 + i] == 255; };
    const bool blackWhite = bits == 1 && ((isBlack(0) && isWhite(1)) || (isWhite(0) && isBlack(1)));
    const bool zeroIsWhite = bits == 1 && isWhite(0);
    if (p->kind == WorkingKind::Bilevel) {
      if (blackWhite) {
        if (zeroIsWhite && havePixels)
          for (int y = 0; y < image->height; ++y) {
            uint8_t* r = ImageRow(image, y);
            for (int i = 0; i < image->bytesPerRow; ++i) r[i] = (uint8_t)~r[i];
          }
      } else {
        // Two colours that are not black and white: an indexed picture.
        image->pixelType = PIXEL_INDEXED;
        image->bitsPerSample = 1;
        image->paletteCount = 2;
        image->palette = (uint8_t*)calloc(1024, 1);
        if (!image->palette) return RESULT_NO_MEMORY;
        memcpy(image->palette, planar, 1024);
        if (havePixels) {
          int64_t row = AlignUp(image->width, image->rowAlignment);
          uint8_t* pixels = (uint8_t*)calloc((size_t)(row * image->height) + 1, 1);
          if (!pixels) return RESULT_NO_MEMORY;
          for (int y = 0; y < image->height; ++y) {
            const uint8_t* s = ImageRow(image, y);
            for (int x = 0; x < image->width; ++x) pixels[(size_t)y * row + x] = (uint8_t)GetBit(s, x);
          }
          free(image->pixels);
          image->pixels = pixels;
          image->bytesPerRow = (int32_t)row;
        } else {
          image->bytesPerRow = (int32_t)AlignUp(image->width, image->rowAlignment);
        }
      }
    } else if (p->kind == WorkingKind::Byte) {
      if (blackWhite) {
        image->pixelType = PIXEL_GREY;
        image->paletteCount = 256;
        image->bitsPerSample = 8;
        free(image->palette);
        image->palette = nullptr;
        if (havePixels) {
          const uint8_t zero = zeroIsWhite ? 255 : 0, one = zeroIsWhite ? 0 : 255;
          for (int y = 0; y < image->height; ++y) {
            uint8_t* r = ImageRow(image, y);
            for (int x = 0; x < image->width; ++x) r[x] = r[x] ? one : zero;
          }
        }
      } else {
        image->pixelType = PIXEL_INDEXED;
        if (!image->palette) image->palette = (uint8_t*)calloc(1024, 1);
        if (!image->palette) return RESULT_NO_MEMORY;
        memcpy(image->palette, planar, 1024);
      }
    } else if (p->kind == WorkingKind::Direct && havePixels) {
      int r, g, b, a;
      OrderPositions(p->order, &r, &g, &b, &a);
      const int step = p->resultBytes;
      for (int y = 0; y < image->height; ++y) {
        uint8_t* row = ImageRow(image, y);
        for (int x = 0; x < image->width; ++x, row += step) {
          const int i = row[r];
          row[r] = planar[i];
          row[g] = planar[256 + i];
          row[b] = planar[512 + i];
        }
      }
    }
  } else if (p->kind == WorkingKind::Direct && (h->flags & kLabFlags)) {
    if (havePixels) {
      const LabWhite white = (h->flags & (SRC_LAB_UNSIGNED_D50 | SRC_LAB_SIGNED_D50)) ? LabWhite::D50 : LabWhite::D65;
      const bool signedAB = (h->flags & (SRC_LAB_SIGNED_D50 | SRC_LAB_SIGNED_D65)) != 0;
      const bool swap = o.channelOrder == 1 || o.channelOrder == 2;
      const LabConverter& converter = LabConverterFor(white);
      if (!Repack(image, 3, image->rowAlignment, [&](const uint8_t* s, uint8_t* d) {
            double L = s[0] * 100.0 / 255.0;
            double A = signedAB ? (double)(int8_t)s[1] : s[1] - 128.0;
            double B = signedAB ? (double)(int8_t)s[2] : s[2] - 128.0;
            converter.Convert(L, A, B, d);
            if (swap) std::swap(d[0], d[2]);
          }))
        return RESULT_NO_MEMORY;
    } else {
      image->bytesPerPixel = image->samplesPerPixel = 3;
    }
    image->pixelType = (o.channelOrder == 1 || o.channelOrder == 2) ? PIXEL_BGR : PIXEL_RGB;
  } else if (p->kind == WorkingKind::Direct && (h->flags & (SRC_CMYK | SRC_CMYK_INVERTED))) {
    const bool inverted = h->flags & SRC_CMYK_INVERTED;
    const bool swap = o.channelOrder == 1 || o.channelOrder == 2;
    if (image->pixelType == PIXEL_CMYK) {
      if (inverted && havePixels)
        for (int y = 0; y < image->height; ++y) {
          uint8_t* r = ImageRow(image, y);
          for (int i = 0; i < image->width * 4; ++i) r[i] = (uint8_t)(255 - r[i]);
        }
    } else if (p->resultBytes == 4) {
      if (havePixels) {
        bool ok = inverted ? Repack(image, 3, image->rowAlignment, [&](const uint8_t* s, uint8_t* d) {
          d[0] = (uint8_t)(s[0] * s[3] / 255);
          d[1] = (uint8_t)(s[1] * s[3] / 255);
          d[2] = (uint8_t)(s[2] * s[3] / 255);
          if (swap) std::swap(d[0], d[2]);
        })
                           : Repack(image, 3, image->rowAlignment, [&](const uint8_t* s, uint8_t* d) {
          d[0] = (uint8_t)((255 - s[0]) * (255 - s[3]) / 255);
          d[1] = (uint8_t)((255 - s[1]) * (255 - s[3]) / 255);
          d[2] = (uint8_t)((255 - s[2]) * (255 - s[3]) / 255);
          if (swap) std::swap(d[0], d[2]);
        });
        if (!ok) return RESULT_NO_MEMORY;
      } else {
        image->bytesPerPixel = image->samplesPerPixel = 3;
      }
      image->pixelType = swap ? PIXEL_BGR : PIXEL_RGB;
    } else if (inverted) {
      if (havePixels)
        for (int y = 0; y < image->height; ++y) {
          uint8_t* r = ImageRow(image, y);
          for (int x = 0; x < image->width; ++x) {
            uint8_t* d = r + (size_t)x * 3;
            d[0] = (uint8_t)(255 - d[0]);
            d[1] = (uint8_t)(255 - d[1]);
            d[2] = (uint8_t)(255 - d[2]);
            if (o.channelOrder == 1) std::swap(d[0], d[2]);
          }
        }
      image->pixelType = o.channelOrder == 1 ? PIXEL_BGR : PIXEL_RGB;
    }
  } else if (bits <= 8 && !palette) {
    const bool whiteIsZero = (paletteFormat & PAL_WHITE_IS_ZERO) != 0;
    if (p->kind == WorkingKind::Bilevel) {
      if (whiteIsZero && havePixels)
        for (int y = 0; y < image->height; ++y) {
          uint8_t* r = ImageRow(image, y);
          for (int i = 0; i < image->bytesPerRow; ++i) r[i] = (uint8_t)~r[i];
        }
    } else if (p->kind == WorkingKind::Byte) {
      const int top = (1 << bits) - 1;
      if (havePixels && (whiteIsZero || bits == 1))
        for (int y = 0; y < image->height; ++y) {
          uint8_t* r = ImageRow(image, y);
          for (int x = 0; x < image->width; ++x) {
            int v = whiteIsZero ? top - r[x] : r[x];
            if (bits == 1) v = v ? 255 : 0;
            r[x] = (uint8_t)v;
          }
        }
      if (bits == 1) {
        image->paletteCount = 256;
        image->bitsPerSample = 8;
      }
    } else if (p->kind == WorkingKind::Direct && havePixels && bits < 8) {
      // Grey levels of fewer bits spread over 0..255 (white first when asked).
      const int top = (1 << bits) - 1;
      int r, g, b, a;
      OrderPositions(p->order, &r, &g, &b, &a);
      for (int y = 0; y < image->height; ++y) {
        uint8_t* row = ImageRow(image, y);
        for (int x = 0; x < image->width; ++x, row += p->resultBytes) {
          int v = row[r] > top ? top : row[r];
          if (whiteIsZero) v = top - v;
          row[r] = row[g] = row[b] = (uint8_t)(v * 255 / top);
        }
      }
    } else if (p->kind == WorkingKind::Direct && havePixels && whiteIsZero) {
      int r, g, b, a;
      OrderPositions(p->order, &r, &g, &b, &a);
      for (int y = 0; y < image->height; ++y) {
        uint8_t* row = ImageRow(image, y);
        for (int x = 0; x < image->width; ++x, row += p->resultBytes)
          row[r] = row[g] = row[b] = (uint8_t)(255 - row[r]);
      }
    }
  }

  // Working buffers are no longer needed.
  p->rowBuffer.clear();
  p->rowBuffer.shrink_to_fit();
  h->rowBuffer = nullptr;

  // Reductions planned for the end.
  if ((p->reduction == Reduction::ResizeAtEnd || p->reduction == Reduction::SmoothAtEnd) && havePixels) {
    int w = image->width, hgt = image->height;
    int tw = o.maxWidth, th = (int)((int64_t)hgt * o.maxWidth / w);
    if (th > o.maxHeight) {
      tw = (int)((int64_t)w * o.maxHeight / hgt);
      th = o.maxHeight;
    }
    if (tw < 1) tw = 1;
    if (th < 1) th = 1;
    int result;
    if (p->reduction == Reduction::ResizeAtEnd) result = Resize(image, nullptr, tw, th, 0);
    else result = ReduceSmooth(image, nullptr, tw, th, o.channelOrder == 1 ? 1 : 0);
    if (result == RESULT_NO_MEMORY) return RESULT_NO_MEMORY;
  } else if (p->reduction == Reduction::ResizeAtEnd || p->reduction == Reduction::SmoothAtEnd) {
    image->width = p->endWidth;
    image->height = p->endHeight;
  }
  return 0;
}
