// Resampling: nearest-neighbour resize, area-weighted resize with linear
// interpolation along enlarged axes, and the fixed-point smoothing
// reduction (with its 1-bit to grey variant).
#include "imagelib/ops/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imagelib/ops/result_placement.h"
#include "imagelib/ops/work_buffer.h"

namespace {

// ---------------------------------------------------------------------------
// Nearest neighbour

template <int N>
void PickPixels(const uint8_t* src, uint8_t* dst, const int32_t* columns, int width) {
  for (int x = 0; x < width; ++x) {
    std::memcpy(dst, src + columns[x], N);
    dst += N;
  }
}

void PickPixelsAny(const uint8_t* src, uint8_t* dst, const int32_t* columns, int width, int n) {
  for (int x = 0; x < width; ++x) {
    std::memcpy(dst, src + columns[x], (size_t)n);
    dst += n;
  }
}

void PickBits(const uint8_t* src, uint8_t* dst, const int32_t* columns, int width) {
  for (int x = 0; x < width; ++x) {
    int bit = columns[x];
    if ((src[bit >> 3] >> (7 - (bit & 7))) & 1) dst[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
  }
}

// ---------------------------------------------------------------------------
// Area-weighted resampling

constexpr double kEdgeGuard = 0.0001;

// One piece of a source pixel (or row) covered by a target pixel (or row).
struct Piece {
  int32_t index;    // source column or row
  int32_t next;     // its neighbour along the axis (itself at the end)
  double length;    // covered length
  double fraction;  // blend towards the neighbour (enlarged axis only)
};

// Pieces of every target position along one axis; first[t]..first[t+1]-1
// are the pieces of target position t.
struct AxisPieces {
  WorkBuffer<Piece> pieces;
  WorkBuffer<int32_t> first;
  double ratio = 1;
  bool enlarged = false;
};

bool BuildAxis(AxisPieces* axis, int sourceSize, int targetSize) {
  axis->ratio = (double)sourceSize / targetSize;
  axis->enlarged = axis->ratio < 1.0;
  // A target position touches at most ceil(ratio) + 1 source positions.
  size_t perTarget = (size_t)std::ceil(axis->ratio) + 2;
  if (!axis->pieces.Allocate((size_t)targetSize * perTarget) ||
      !axis->first.Allocate((size_t)targetSize + 1))
    return false;
  size_t count = 0;
  for (int t = 0; t < targetSize; ++t) {
    axis->first[t] = (int32_t)count;
    double start = t * axis->ratio;
    double end = std::min((t + 1) * axis->ratio, (double)sourceSize);
    int s = std::min((int)start, sourceSize - 1);
    double pos = start;
    while (s < sourceSize) {
      double pieceEnd = std::min(end, s + 1.0);
      bool lastPiece = end <= s + 1.0 + kEdgeGuard;  // a position just past the end stays inside
      double length = pieceEnd - pos;
      if (length > 0 && count < axis->pieces.size()) {
        Piece& p = axis->pieces[count++];
        p.index = s;
        p.next = s + 1 < sourceSize ? s + 1 : s;
        p.length = length;
        double f = pieceEnd - s;
        if (f > 1.0 - kEdgeGuard) f = 1.0;
        p.fraction = axis->enlarged ? f : 0.0;
      }
      if (lastPiece) break;
      pos = s + 1.0;
      ++s;
    }
  }
  axis->first[targetSize] = (int32_t)count;
  return true;
}

template <int BPP>
int ResizeArea(const Image* src, Image* out) {
  AxisPieces ax, ay;
  if (!BuildAxis(&ax, src->width, out->width) || !BuildAxis(&ay, src->height, out->height))
    return RESULT_NO_MEMORY;
  const size_t rowValues = (size_t)src->width * BPP;
  WorkBuffer<double> vertical, accumulator;
  if (!vertical.Allocate(rowValues) || !accumulator.Allocate(((size_t)out->width + 10) * BPP))
    return RESULT_NO_MEMORY;
  const double scale = 1.0 / (ax.ratio * ay.ratio);
  double* acc = accumulator.data();
  double* vrow = vertical.data();
  for (int ty = 0; ty < out->height; ++ty) {
    for (int32_t pi = ay.first[ty]; pi < ay.first[ty + 1]; ++pi) {
      const Piece& py = ay.pieces[pi];
      const uint8_t* r0 = ImageRow(src, py.index);
      if (ay.enlarged) {
        const uint8_t* r1 = ImageRow(src, py.next);
        double f = py.fraction, g = 1.0 - f;
        for (size_t i = 0; i < rowValues; ++i) vrow[i] = r0[i] * g + r1[i] * f;
      } else {
        for (size_t i = 0; i < rowValues; ++i) vrow[i] = r0[i];
      }
      const double cy = py.length;
      for (int tx = 0; tx < out->width; ++tx) {
        double* a = acc + (size_t)tx * BPP;
        for (int32_t pj = ax.first[tx]; pj < ax.first[tx + 1]; ++pj) {
          const Piece& px = ax.pieces[pj];
          const double w = px.length * cy;
          const double* v0 = vrow + (size_t)px.index * BPP;
          if (ax.enlarged) {
            const double* v1 = vrow + (size_t)px.next * BPP;
            double f = px.fraction, g = 1.0 - f;
            for (int b = 0; b < BPP; ++b) a[b] += (v0[b] * g + v1[b] * f) * w;
          } else {
            for (int b = 0; b < BPP; ++b) a[b] += v0[b] * w;
          }
        }
      }
    }
    uint8_t* dst = ImageRow(out, ty);
    const size_t outValues = (size_t)out->width * BPP;
    for (size_t i = 0; i < outValues; ++i) {
      double v = acc[i] * scale + kEdgeGuard;
      dst[i] = v >= 255.0 ? 255 : v <= 0 ? 0 : (uint8_t)(unsigned)v;
      acc[i] = 0;
    }
  }
  return RESULT_OK;
}

// ---------------------------------------------------------------------------
// Fixed-point smoothing reduction

constexpr int kOne = 1024;

// Per source column: the target column it adds to, and the share (of 1024)
// that goes to the next target column, or -1 when it lies wholly inside.
struct ColumnSplit {
  int32_t column;
  int32_t split;
};

void BuildColumnSplits(ColumnSplit* splits, int sourceWidth, int targetWidth, double rx) {
  double boundary = rx - 1.0;
  int column = 0;
  for (int x = 0; x < sourceWidth; ++x) {
    splits[x].column = std::min(column, targetWidth);
    if (x < boundary) {
      splits[x].split = -1;
    } else {
      int f = (int)((x - boundary) * kOne);
      splits[x].split = std::clamp(f, 0, kOne);
      boundary += rx;
      ++column;
    }
  }
}

// Reduces rows of C one-byte channels per pixel into rows of C channels.
template <typename Acc, int C>
class SmoothReducer {
 public:
  SmoothReducer(const ColumnSplit* splits, int sourceWidth, Image* out, double ry,
                uint32_t normaliser, Acc* current, Acc* next)
      : splits_(splits),
        sourceWidth_(sourceWidth),
        out_(out),
        ry_(ry),
        boundary_(ry - 1.0),
        normaliser_(normaliser ? normaliser : 1),
        current_(current),
        next_(next),
        rowValues_(((size_t)out->width + 10) * C) {}

  void AddRow(int y, const uint8_t* row) {
    if (y < boundary_) {
      for (int x = 0; x < sourceWidth_; ++x, row += C) {
        const ColumnSplit s = splits_[x];
        Acc* a = current_ + (size_t)s.column * C;
        if (s.split < 0) {
          for (int c = 0; c < C; ++c) a[c] += (Acc)row[c] * kOne;
        } else {
          const Acc wa = (Acc)(kOne - s.split), wb = (Acc)s.split;
          for (int c = 0; c < C; ++c) {
            a[c] += wa * row[c];
            a[c + C] += wb * row[c];
          }
        }
      }
      return;
    }
    const int g = std::clamp((int)((y - boundary_) * kOne), 0, kOne);
    for (int x = 0; x < sourceWidth_; ++x, row += C) {
      const ColumnSplit s = splits_[x];
      const int f = s.split < 0 ? 0 : s.split;
      const Acc w00 = (Acc)(((kOne - f) * (kOne - g)) >> 10);
      const Acc w01 = (Acc)((f * (kOne - g)) >> 10);
      const Acc w10 = (Acc)(((kOne - f) * g) >> 10);
      const Acc w11 = (Acc)((f * g) >> 10);
      Acc* a = current_ + (size_t)s.column * C;
      Acc* b = next_ + (size_t)s.column * C;
      for (int c = 0; c < C; ++c) {
        const Acc v = row[c];
        a[c] += w00 * v;
        a[c + C] += w01 * v;
        b[c] += w10 * v;
        b[c + C] += w11 * v;
      }
    }
    Emit();
    std::swap(current_, next_);
    std::memset(next_, 0, rowValues_ * sizeof(Acc));
    boundary_ += ry_;
  }

  void Finish() {
    if (emitted_ < out_->height) Emit();
  }

 private:
  void Emit() {
    if (emitted_ >= out_->height) return;
    uint8_t* dst = ImageRow(out_, emitted_++);
    const size_t n = (size_t)out_->width * C;
    for (size_t i = 0; i < n; ++i) {
      Acc v = current_[i] / normaliser_;
      dst[i] = v > 255 ? 255 : (uint8_t)v;
    }
  }

  const ColumnSplit* splits_;
  int sourceWidth_;
  Image* out_;
  double ry_;
  double boundary_;
  Acc normaliser_;
  Acc* current_;
  Acc* next_;
  size_t rowValues_;
  int emitted_ = 0;
};

// Turns one source row into C channel bytes per pixel; returns a pointer
// to them (the row itself when no change is needed).
using RowSource = const uint8_t* (*)(const Image* src, int y, uint8_t* scratch, bool bgr);

const uint8_t* RowAsIs(const Image* src, int y, uint8_t*, bool) { return ImageRow(src, y); }

const uint8_t* RowFromPalette(const Image* src, int y, uint8_t* scratch, bool bgr) {
  const uint8_t* row = ImageRow(src, y);
  const uint8_t* pal = src->palette;
  const int first = bgr ? 512 : 0, last = bgr ? 0 : 512;
  uint8_t* d = scratch;
  for (int x = 0; x < src->width; ++x, d += 3) {
    const int i = row[x];
    d[0] = pal[first + i];
    d[1] = pal[256 + i];
    d[2] = pal[last + i];
  }
  return scratch;
}

const uint8_t* RowFromBits(const Image* src, int y, uint8_t* scratch, bool) {
  const uint8_t* row = ImageRow(src, y);
  for (int x = 0; x < src->width; ++x)
    scratch[x] = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
  return scratch;
}

template <typename Acc, int C>
int RunSmoothReduction(const Image* src, Image* out, RowSource source, bool bgr,
                       RowCallback callback, void* userData) {
  const double rx = (double)src->width / out->width;
  const double ry = (double)src->height / out->height;
  const uint32_t normaliser = (uint32_t)(rx * ry * kOne);
  WorkBuffer<ColumnSplit> splits;
  WorkBuffer<Acc> rows;
  WorkBuffer<uint8_t> scratch;
  const size_t rowValues = ((size_t)out->width + 10) * C;
  if (!splits.Allocate((size_t)src->width) || !rows.Allocate(rowValues * 2) ||
      !scratch.Allocate((size_t)src->width * 4))
    return RESULT_NO_MEMORY;
  BuildColumnSplits(splits.data(), src->width, out->width, rx);
  SmoothReducer<Acc, C> reducer(splits.data(), src->width, out, ry, normaliser, rows.data(),
                                rows.data() + rowValues);
  for (int y = 0; y < src->height; ++y) {
    if (callback && callback(y, out->height, userData, 0)) return RESULT_CANCELLED;
    reducer.AddRow(y, source(src, y, scratch.data(), bgr));
  }
  reducer.Finish();
  return RESULT_OK;
}

// 32-bit sums hold while the weighted sum of one target pixel stays below
// 2^32; larger reductions sum in 64 bits.
bool SumsFit32(const Image* src, const Image* out) {
  const double cells = (std::ceil((double)src->width / out->width) + 1) *
                       (std::ceil((double)src->height / out->height) + 1);
  return cells * 255.0 * kOne < 4294967295.0;
}

template <int C>
int SmoothReduction(const Image* src, Image* out, RowSource source, bool bgr,
                    RowCallback callback, void* userData) {
  if (SumsFit32(src, out))
    return RunSmoothReduction<uint32_t, C>(src, out, source, bgr, callback, userData);
  return RunSmoothReduction<uint64_t, C>(src, out, source, bgr, callback, userData);
}

// 1-bit to grey for large horizontal ratios: the area sum of 0 and 255
// values over every target pixel, in double precision.
int ReduceBitsByArea(const Image* src, Image* out, RowCallback callback, void* userData) {
  AxisPieces ax, ay;
  if (!BuildAxis(&ax, src->width, out->width) || !BuildAxis(&ay, src->height, out->height))
    return RESULT_NO_MEMORY;
  WorkBuffer<uint8_t> grey;
  WorkBuffer<double> acc;
  if (!grey.Allocate((size_t)src->width) || !acc.Allocate((size_t)out->width + 10))
    return RESULT_NO_MEMORY;
  const double scale = 1.0 / (ax.ratio * ay.ratio);
  int lastRow = -1;
  for (int ty = 0; ty < out->height; ++ty) {
    for (int32_t pi = ay.first[ty]; pi < ay.first[ty + 1]; ++pi) {
      const Piece& py = ay.pieces[pi];
      if (py.index != lastRow) {
        if (callback && callback(py.index, out->height, userData, 0)) return RESULT_CANCELLED;
        RowFromBits(src, py.index, grey.data(), false);
        lastRow = py.index;
      }
      for (int tx = 0; tx < out->width; ++tx) {
        double sum = 0;
        for (int32_t pj = ax.first[tx]; pj < ax.first[tx + 1]; ++pj)
          sum += grey[ax.pieces[pj].index] * ax.pieces[pj].length;
        acc[tx] += sum * py.length;
      }
    }
    uint8_t* dst = ImageRow(out, ty);
    for (int tx = 0; tx < out->width; ++tx) {
      double v = acc[tx] * scale + kEdgeGuard;
      dst[tx] = v >= 255.0 ? 255 : (uint8_t)(unsigned)v;
      acc[tx] = 0;
    }
  }
  return RESULT_OK;
}

bool HasPixels(const Image* image) {
  return image && image->pixels && image->width > 0 && image->height > 0;
}

}  // namespace

int ResizeFast(Image* source, Image* destination, int width, int height) {
  if (width < 1 || height < 1 || !HasPixels(source)) return RESULT_EMPTY_REGION;
  Image out;
  if (!CreateResultLike(&out, source, source->pixelType, width, height)) return RESULT_NO_MEMORY;
  WorkBuffer<int32_t> columns;
  if (!columns.Allocate((size_t)width)) {
    ImageFree(&out);
    return RESULT_NO_MEMORY;
  }
  const bool bits = source->pixelType == PIXEL_BW;
  const int n = source->bytesPerPixel;
  for (int x = 0; x < width; ++x) {
    int64_t sx = (int64_t)source->width * x / width;
    columns[x] = bits ? (int32_t)sx : (int32_t)(sx * n);
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = ImageRow(source, (int)((int64_t)source->height * y / height));
    uint8_t* dst = ImageRow(&out, y);
    if (bits) {
      std::memset(dst, 0, (size_t)out.bytesPerRow);
      PickBits(src, dst, columns.data(), width);
    } else if (n == 1) {
      PickPixels<1>(src, dst, columns.data(), width);
    } else if (n == 3) {
      PickPixels<3>(src, dst, columns.data(), width);
    } else if (n == 4) {
      PickPixels<4>(src, dst, columns.data(), width);
    } else {
      PickPixelsAny(src, dst, columns.data(), width, n);
    }
  }
  PlaceResult(source, destination, &out);
  return RESULT_OK;
}

int Resize(Image* source, Image* destination, int width, int height, int method) {
  if (width < 1 || height < 1 || !HasPixels(source)) return RESULT_EMPTY_REGION;
  // Palette indexes and bits cannot be blended, and wide samples are not
  // blended byte by byte: these pictures are picked.
  if (method == 2 || source->pixelType == PIXEL_INDEXED || source->pixelType == PIXEL_BW ||
      source->bitsPerSample > 8)
    return ResizeFast(source, destination, width, height);
  Image out;
  if (!CreateResultLike(&out, source, source->pixelType, width, height)) return RESULT_NO_MEMORY;
  int result;
  switch (source->bytesPerPixel) {
    case 1: result = ResizeArea<1>(source, &out); break;
    case 3: result = ResizeArea<3>(source, &out); break;
    default: result = ResizeArea<4>(source, &out); break;
  }
  if (result != RESULT_OK) {
    ImageFree(&out);
    return result;
  }
  PlaceResult(source, destination, &out);
  return RESULT_OK;
}

int ReduceSmooth(Image* source, Image* destination, int width, int height, int bgrOrder,
                 RowCallback rowCallback, void* userData) {
  if (width < 1 || height < 1 || !HasPixels(source)) return RESULT_EMPTY_REGION;
  const uint16_t type = source->pixelType;
  if (type == PIXEL_BW && (width >= source->width || height >= source->height))
    return RESULT_EMPTY_REGION;
  if (source->bitsPerSample > 8 && type != PIXEL_BW)
    return ResizeFast(source, destination, width, height);

  // The fixed-point scheme only reduces. A target larger along either axis
  // goes through the area-weighted resample, from direct colour for an
  // indexed picture so that the result type is the same.
  if (width > source->width || height > source->height) {
    if (type != PIXEL_INDEXED) return Resize(source, destination, width, height, 0);
    Image direct;
    if (!CreateResultLike(&direct, source, bgrOrder ? PIXEL_BGR : PIXEL_RGB, source->width,
                          source->height))
      return RESULT_NO_MEMORY;
    direct.paletteCount = 0;
    direct.transparentIndex = -1;
    for (int y = 0; y < source->height; ++y)
      RowFromPalette(source, y, ImageRow(&direct, y), bgrOrder != 0);
    Image resized;
    std::memset(&resized, 0, sizeof(resized));
    int result = Resize(&direct, &resized, width, height, 0);
    ImageFree(&direct);
    if (result != RESULT_OK) return result;
    PlaceResult(source, destination, &resized);
    return RESULT_OK;
  }

  uint32_t outType = type;
  if (type == PIXEL_BW) outType = PIXEL_GREY;
  if (type == PIXEL_INDEXED) outType = bgrOrder ? PIXEL_BGR : PIXEL_RGB;
  Image out;
  if (!CreateResultLike(&out, source, outType, width, height)) return RESULT_NO_MEMORY;
  int result;
  if (type == PIXEL_BW) {
    out.paletteCount = 256;
    out.transparentIndex = -1;
    if ((double)source->width / width < 10.0)
      result = SmoothReduction<1>(source, &out, RowFromBits, false, rowCallback, userData);
    else
      result = ReduceBitsByArea(source, &out, rowCallback, userData);
  } else if (type == PIXEL_INDEXED) {
    out.paletteCount = 0;
    out.transparentIndex = -1;
    result = SmoothReduction<3>(source, &out, RowFromPalette, bgrOrder != 0, rowCallback, userData);
  } else if (source->bytesPerPixel == 1) {
    result = SmoothReduction<1>(source, &out, RowAsIs, false, rowCallback, userData);
  } else if (source->bytesPerPixel == 3) {
    result = SmoothReduction<3>(source, &out, RowAsIs, false, rowCallback, userData);
  } else {
    result = SmoothReduction<4>(source, &out, RowAsIs, false, rowCallback, userData);
  }
  if (result != RESULT_OK) {
    ImageFree(&out);
    return result;
  }
  PlaceResult(source, destination, &out);
  return RESULT_OK;
}
