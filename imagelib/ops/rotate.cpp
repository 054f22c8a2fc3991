// Quarter and half turns of a picture: whole pixels for the byte types,
// single bits for 1-bit pictures, and 32 x 32 bit block transposes for
// 1-bit pictures whose rows are padded to whole 32-bit words.
#include "imagelib/ops/rotate.h"

#include <cstring>

#include "imagelib/ops/result_placement.h"

namespace {

enum class Turn { kClockwise, kCounterClockwise, kHalf, kNone };

Turn TurnOf(int angle) {
  switch (angle) {
    case 90:
    case -270: return Turn::kClockwise;
    case -90:
    case 270: return Turn::kCounterClockwise;
    case 180:
    case -180: return Turn::kHalf;
    default: return Turn::kNone;
  }
}

// Result rows are produced in strips: the source is read row by row while a
// strip's worth of result rows is written, which keeps both sides in cache.
constexpr int kStrip = 16;

struct Progress {
  RowCallback callback;
  void* userData;
  int sourceWidth;
  // Asks about result rows [first, first + count), whose source columns
  // are given by column(r).
  template <typename Column>
  bool Cancelled(int first, int count, Column column) const {
    if (!callback) return false;
    for (int r = first; r < first + count; ++r)
      if (callback(column(r), sourceWidth, userData, 0)) return true;
    return false;
  }
};

template <int N>
inline void CopyPixel(uint8_t* d, const uint8_t* s, int) {
  std::memcpy(d, s, N);
}
template <>
inline void CopyPixel<0>(uint8_t* d, const uint8_t* s, int n) {
  std::memcpy(d, s, (size_t)n);
}

// N is the pixel size in bytes, 0 for any size (taken from n).
template <int N>
int QuarterTurnBytes(const Image* src, Image* out, bool clockwise, const Progress& progress) {
  const int n = N ? N : src->bytesPerPixel;
  const int w = src->width, h = src->height;
  uint8_t* rows[kStrip];
  for (int r0 = 0; r0 < w; r0 += kStrip) {
    const int count = w - r0 < kStrip ? w - r0 : kStrip;
    auto column = [&](int r) { return clockwise ? r : w - 1 - r; };
    if (progress.Cancelled(r0, count, column)) return RESULT_CANCELLED;
    for (int k = 0; k < count; ++k) rows[k] = ImageRow(out, r0 + k);
    if (clockwise) {
      // Result (r, c) = source (h - 1 - c, r).
      for (int c = 0; c < h; ++c) {
        const uint8_t* s = ImageRow(src, h - 1 - c) + (size_t)r0 * n;
        const size_t at = (size_t)c * n;
        for (int k = 0; k < count; ++k) CopyPixel<N>(rows[k] + at, s + (size_t)k * n, n);
      }
    } else {
      // Result (r, c) = source (c, w - 1 - r).
      for (int c = 0; c < h; ++c) {
        const uint8_t* s = ImageRow(src, c) + (size_t)(w - 1 - r0) * n;
        const size_t at = (size_t)c * n;
        for (int k = 0; k < count; ++k) CopyPixel<N>(rows[k] + at, s - (size_t)k * n, n);
      }
    }
  }
  return RESULT_OK;
}

template <int N>
void HalfTurnBytes(const Image* src, Image* out) {
  const int n = N ? N : src->bytesPerPixel;
  const int w = src->width, h = src->height;
  for (int r = 0; r < h; ++r) {
    const uint8_t* s = ImageRow(src, h - 1 - r) + (size_t)(w - 1) * n;
    uint8_t* d = ImageRow(out, r);
    for (int c = 0; c < w; ++c, d += n, s -= n) CopyPixel<N>(d, s, n);
  }
}

// ---------------------------------------------------------------------------
// 1-bit pictures, bit by bit

int QuarterTurnBits(const Image* src, Image* out, bool clockwise, const Progress& progress) {
  const int w = src->width, h = src->height;
  for (int r = 0; r < w; ++r) {
    const int sx = clockwise ? r : w - 1 - r;
    if (progress.Cancelled(r, 1, [&](int) { return sx; })) return RESULT_CANCELLED;
    uint8_t* d = ImageRow(out, r);
    std::memset(d, 0, (size_t)out->bytesPerRow);
    const int byte = sx >> 3, shift = 7 - (sx & 7);
    for (int c = 0; c < h; ++c) {
      const uint8_t* s = ImageRow(src, clockwise ? h - 1 - c : c);
      if ((s[byte] >> shift) & 1) d[c >> 3] |= (uint8_t)(0x80 >> (c & 7));
    }
  }
  return RESULT_OK;
}

void HalfTurnBits(const Image* src, Image* out) {
  const int w = src->width, h = src->height;
  for (int r = 0; r < h; ++r) {
    const uint8_t* s = ImageRow(src, h - 1 - r);
    uint8_t* d = ImageRow(out, r);
    std::memset(d, 0, (size_t)out->bytesPerRow);
    for (int c = 0; c < w; ++c)
      if (GetBit(s, w - 1 - c)) d[c >> 3] |= (uint8_t)(0x80 >> (c & 7));
  }
}

// ---------------------------------------------------------------------------
// 1-bit pictures padded to 32-bit words, word by word

inline uint32_t LoadWord(const uint8_t* p) {
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}
inline void StoreWord(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)(v >> 24);
  p[1] = (uint8_t)(v >> 16);
  p[2] = (uint8_t)(v >> 8);
  p[3] = (uint8_t)v;
}

// Transposes a 32 x 32 bit matrix held as 32 words, the leftmost column in
// the most significant bit: afterwards word j holds former column j, with
// former row 0 in its most significant bit.
void Transpose32(uint32_t* a) {
  uint32_t mask = 0x0000FFFFu;
  for (int j = 16; j != 0; j >>= 1, mask ^= mask << j) {
    for (int k = 0; k < 32; k = (k + j + 1) & ~j) {
      const uint32_t t = (a[k] ^ (a[k + j] >> j)) & mask;
      a[k] ^= t;
      a[k + j] ^= t << j;
    }
  }
}

inline uint32_t ReverseBits(uint32_t v) {
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  v = ((v >> 8) & 0x00FF00FFu) | ((v & 0x00FF00FFu) << 8);
  return (v >> 16) | (v << 16);
}

bool PaddedToWords(const Image* image) {
  return image->pixelType == PIXEL_BW && image->rowAlignment == 4 &&
         (int64_t)image->bytesPerRow == ((int64_t)image->width + 31) / 32 * 4;
}

int QuarterTurnWords(const Image* src, Image* out, bool clockwise, const Progress& progress) {
  const int w = src->width, h = src->height;
  const int sourceWords = (w + 31) / 32, resultWords = (h + 31) / 32;
  uint32_t block[32];
  for (int step = 0; step < sourceWords; ++step) {
    // Counter-clockwise, result row 0 comes from the last source column:
    // walk the source blocks from the right so that result rows go down.
    const int bj = clockwise ? step : sourceWords - 1 - step;
    const int firstColumn = bj * 32;
    const int columns = w - firstColumn < 32 ? w - firstColumn : 32;
    if (progress.callback) {
      for (int j = 0; j < columns; ++j) {
        const int sx = clockwise ? firstColumn + j : firstColumn + columns - 1 - j;
        if (progress.callback(sx, w, progress.userData, 0)) return RESULT_CANCELLED;
      }
    }
    for (int cb = 0; cb < resultWords; ++cb) {
      for (int k = 0; k < 32; ++k) {
        const int c = cb * 32 + k;
        if (c >= h) {
          block[k] = 0;
          continue;
        }
        block[k] = LoadWord(ImageRow(src, clockwise ? h - 1 - c : c) + (size_t)bj * 4);
      }
      Transpose32(block);
      for (int j = 0; j < columns; ++j) {
        const int sx = firstColumn + j;
        const int r = clockwise ? sx : w - 1 - sx;
        StoreWord(ImageRow(out, r) + (size_t)cb * 4, block[j]);
      }
    }
  }
  return RESULT_OK;
}

void HalfTurnWords(const Image* src, Image* out) {
  const int w = src->width, h = src->height;
  const int words = (w + 31) / 32;
  const int pad = words * 32 - w;
  for (int r = 0; r < h; ++r) {
    const uint8_t* s = ImageRow(src, h - 1 - r);
    uint8_t* d = ImageRow(out, r);
    // Reversed word k is the bit-reversed source word (words - 1 - k); the
    // row then starts pad bits in, so everything moves left by pad.
    uint32_t current = ReverseBits(LoadWord(s + (size_t)(words - 1) * 4));
    for (int k = 0; k < words; ++k) {
      const uint32_t next = k + 1 < words ? ReverseBits(LoadWord(s + (size_t)(words - 2 - k) * 4)) : 0;
      const uint32_t v = pad ? (current << pad) | (next >> (32 - pad)) : current;
      StoreWord(d + (size_t)k * 4, v);
      current = next;
    }
    if (pad) {
      // Fill bits past the width stay clear.
      uint8_t* last = d + (size_t)(words - 1) * 4;
      StoreWord(last, LoadWord(last) & (0xFFFFFFFFu << pad));
    }
  }
}

int TurnBytes(const Image* src, Image* out, Turn turn, const Progress& progress) {
  const bool cw = turn == Turn::kClockwise;
  if (turn == Turn::kHalf) {
    switch (src->bytesPerPixel) {
      case 1: HalfTurnBytes<1>(src, out); break;
      case 3: HalfTurnBytes<3>(src, out); break;
      case 4: HalfTurnBytes<4>(src, out); break;
      default: HalfTurnBytes<0>(src, out); break;
    }
    return RESULT_OK;
  }
  switch (src->bytesPerPixel) {
    case 1: return QuarterTurnBytes<1>(src, out, cw, progress);
    case 3: return QuarterTurnBytes<3>(src, out, cw, progress);
    case 4: return QuarterTurnBytes<4>(src, out, cw, progress);
    default: return QuarterTurnBytes<0>(src, out, cw, progress);
  }
}

int TurnBits(const Image* src, Image* out, Turn turn, const Progress& progress) {
  const bool cw = turn == Turn::kClockwise;
  const bool words = PaddedToWords(src) && PaddedToWords(out);
  if (turn == Turn::kHalf) {
    if (words)
      HalfTurnWords(src, out);
    else
      HalfTurnBits(src, out);
    return RESULT_OK;
  }
  return words ? QuarterTurnWords(src, out, cw, progress)
               : QuarterTurnBits(src, out, cw, progress);
}

}  // namespace

int Rotate(Image* source, Image* destination, int angle, int /*reserved*/, RowCallback rowCallback,
           void* userData) {
  if (!source || !source->pixels) return RESULT_EMPTY_REGION;
  Turn turn = TurnOf(angle);
  if (turn == Turn::kNone) {
    if (!destination || destination == source) return RESULT_OK;
    std::memset(destination, 0, sizeof(*destination));
    return ImageCopy(source, destination, nullptr);
  }
  // Rows stored bottom-up, or running right to left, show the picture
  // flipped: the same turn on screen is the opposite turn in memory.
  const bool flipped =
      ((source->layout & LAYOUT_BOTTOM_UP) != 0) != ((source->layout & LAYOUT_MIRRORED) != 0);
  if (flipped && turn != Turn::kHalf)
    turn = turn == Turn::kClockwise ? Turn::kCounterClockwise : Turn::kClockwise;

  const bool quarter = turn != Turn::kHalf;
  Image out;
  if (!CreateResultLike(&out, source, source->pixelType, quarter ? source->height : source->width,
                        quarter ? source->width : source->height))
    return RESULT_NO_MEMORY;
  const Progress progress{rowCallback, userData, source->width};
  const int result = source->pixelType == PIXEL_BW ? TurnBits(source, &out, turn, progress)
                                                   : TurnBytes(source, &out, turn, progress);
  if (result != RESULT_OK) {
    ImageFree(&out);
    return result;
  }
  PlaceResult(source, destination, &out);
  return RESULT_OK;
}
