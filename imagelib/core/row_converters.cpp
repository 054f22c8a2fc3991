#include "imagelib/core/row_converters.h"

#include <cstring>

#include "imagelib/core/reader_contract.h"

namespace {

// ---------------------------------------------------------------------------
// Bilevel working rows.

void UnpackBitsCopy(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  memcpy(w, s, (size_t)(p.width + 7) / 8);
}

void UnpackBitsFromBytes(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  const int n = p.width;
  int x = 0;
  for (; x + 8 <= n; x += 8, s += 8)
    *w++ = (uint8_t)(((s[0] != 0) << 7) | ((s[1] != 0) << 6) | ((s[2] != 0) << 5) |
                     ((s[3] != 0) << 4) | ((s[4] != 0) << 3) | ((s[5] != 0) << 2) |
                     ((s[6] != 0) << 1) | (s[7] != 0));
  if (x < n) {
    uint8_t b = 0;
    for (int k = 0; x < n; ++x, ++k) b |= (uint8_t)((*s++ != 0) << (7 - k));
    *w = b;
  }
}

// ---------------------------------------------------------------------------
// One-byte working rows.

void UnpackBytesCopy(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  memcpy(w, s, (size_t)p.width);
}

template <int Bits>
void UnpackPacked(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  constexpr int perByte = 8 / Bits;
  constexpr int mask = (1 << Bits) - 1;
  const int n = p.width;
  int x = 0;
  for (; x + perByte <= n; x += perByte) {
    uint8_t b = *s++;
    for (int k = 0; k < perByte; ++k) *w++ = (uint8_t)((b >> (8 - Bits * (k + 1))) & mask);
  }
  if (x < n) {
    uint8_t b = *s;
    for (int k = 0; x < n; ++x, ++k) *w++ = (uint8_t)((b >> (8 - Bits * (k + 1))) & mask);
  }
}

// Any depth of 1 to 8 bits, most significant bits first.
void UnpackPackedAny(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  const int bits = p.bitsPerPlane * (p.samples > 0 ? 1 : 1);
  const int mask = (1 << bits) - 1;
  uint64_t bitPos = 0;
  for (int x = 0; x < p.width; ++x, bitPos += bits) {
    size_t byte = bitPos >> 3;
    int offset = (int)(bitPos & 7);
    unsigned v = ((unsigned)s[byte] << 8) | (offset + bits > 8 ? s[byte + 1] : 0);
    w[x] = (uint8_t)((v >> (16 - offset - bits)) & mask);
  }
}

// Planes one after another in the row, merged into one index per pixel.
void UnpackMergePlanes(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  const int bits = p.bitsPerPlane;
  const int mask = (1 << bits) - 1;
  memset(w, 0, (size_t)p.width);
  for (int plane = 0; plane < p.planes; ++plane) {
    const uint8_t* row = s + (size_t)plane * p.bytesPerPlane;
    uint64_t bitPos = 0;
    for (int x = 0; x < p.width; ++x, bitPos += bits) {
      size_t byte = bitPos >> 3;
      int offset = (int)(bitPos & 7);
      unsigned v = ((unsigned)row[byte] << 8) | (offset + bits > 8 ? row[byte + 1] : 0);
      w[x] |= (uint8_t)(((v >> (16 - offset - bits)) & mask) << (plane * bits));
    }
  }
}

template <typename Container>
void UnpackWideToByte(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  const int shift = p.shift;
  for (int x = 0; x < p.width; ++x) {
    Container v;
    memcpy(&v, s + (size_t)x * sizeof(Container), sizeof v);
    w[x] = (uint8_t)(v >> shift);
  }
}

// ---------------------------------------------------------------------------
// Direct-colour working rows (four bytes per pixel).

// An index or grey level repeated in the first three bytes; the palette
// expansion happens when the picture is finished.
void IndexesToDirect(uint8_t* w, int n) {
  // In place, from the end: w holds n index bytes at its start.
  for (int x = n - 1; x >= 0; --x) {
    uint8_t v = w[x];
    uint8_t* d = w + (size_t)x * 4;
    d[0] = d[1] = d[2] = v;
    d[3] = 255;
  }
}

void UnpackIndexDirect8(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  for (int x = 0; x < p.width; ++x, w += 4) {
    uint8_t v = s[x];
    w[0] = w[1] = w[2] = v;
    w[3] = 255;
  }
}

void UnpackIndexDirectPacked(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  UnpackPackedAny(s, w, p);
  IndexesToDirect(w, p.width);
}

void UnpackIndexDirectMerged(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  UnpackMergePlanes(s, w, p);
  IndexesToDirect(w, p.width);
}

template <typename Container>
void UnpackWideGreyDirect(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  for (int x = 0; x < p.width; ++x, w += 4) {
    Container v;
    memcpy(&v, s + (size_t)x * sizeof(Container), sizeof v);
    w[0] = w[1] = w[2] = (uint8_t)(v >> p.shift);
    w[3] = 255;
  }
}

// Three bytes in the given order (positions of R, G, B in the source).
template <int R, int G, int B>
void Unpack24(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  for (int x = 0; x < p.width; ++x, s += 3, w += 4) {
    w[0] = s[R];
    w[1] = s[G];
    w[2] = s[B];
    w[3] = 255;
  }
}

template <int R, int G, int B, int A>
void Unpack32(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  for (int x = 0; x < p.width; ++x, s += 4, w += 4) {
    w[0] = s[R];
    w[1] = s[G];
    w[2] = s[B];
    w[3] = s[A];
  }
}

void UnpackGreyAlpha8(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  for (int x = 0; x < p.width; ++x, s += 2, w += 4) {
    w[0] = w[1] = w[2] = s[0];
    w[3] = s[1];
  }
}

// Wide samples (host-order containers) reduced to their upper 8 bits.
template <typename Container, int Samples, bool Bgr>
void UnpackWideSamples(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  const int shift = p.shift;
  for (int x = 0; x < p.width; ++x, w += 4) {
    Container v[Samples];
    memcpy(v, s + (size_t)x * Samples * sizeof(Container), sizeof v);
    if constexpr (Samples == 2) {
      w[0] = w[1] = w[2] = (uint8_t)(v[0] >> shift);
      w[3] = (uint8_t)(v[1] >> shift);
    } else {
      w[Bgr ? 2 : 0] = (uint8_t)(v[0] >> shift);
      w[1] = (uint8_t)(v[1] >> shift);
      w[Bgr ? 0 : 2] = (uint8_t)(v[2] >> shift);
      w[3] = Samples == 4 ? (uint8_t)(v[3] >> shift) : 255;
    }
  }
}

// Planes of 8 bits one after another in the row, interleaved.
void UnpackInterleavePlanes(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  const int planes = p.planes < 4 ? p.planes : 4;
  for (int x = 0; x < p.width; ++x, w += 4) {
    w[3] = 255;
    for (int k = 0; k < planes; ++k) w[k] = s[(size_t)k * p.bytesPerPlane + x];
    if (planes == 1) w[1] = w[2] = w[0];
    if (planes == 2) {  // grey and alpha
      w[3] = w[1];
      w[1] = w[2] = w[0];
    }
  }
}

// 12-bit pixels: two pixels in three bytes, the first in the high nibble.
void Unpack12(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  int x = 0;
  for (; x + 2 <= p.width; x += 2, s += 3, w += 8) {
    w[0] = (uint8_t)((s[0] >> 4) * 17);
    w[1] = (uint8_t)((s[0] & 15) * 17);
    w[2] = (uint8_t)((s[1] >> 4) * 17);
    w[3] = 255;
    w[4] = (uint8_t)((s[1] & 15) * 17);
    w[5] = (uint8_t)((s[2] >> 4) * 17);
    w[6] = (uint8_t)((s[2] & 15) * 17);
    w[7] = 255;
  }
  if (x < p.width) {
    w[0] = (uint8_t)((s[0] >> 4) * 17);
    w[1] = (uint8_t)((s[0] & 15) * 17);
    w[2] = (uint8_t)((s[1] >> 4) * 17);
    w[3] = 255;
  }
}

// Scaling tables c * 255 / (2^n - 1), truncated, for n = 1..8.
struct ScaleTables {
  uint8_t t[9][256];
  ScaleTables() {
    for (int n = 1; n <= 8; ++n)
      for (int c = 0; c < 256; ++c) t[n][c] = (uint8_t)((c & ((1 << n) - 1)) * 255 / ((1 << n) - 1));
  }
};
const ScaleTables kScale;

void Unpack16(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  const uint8_t* rt = kScale.t[p.redBits];
  const uint8_t* gt = kScale.t[p.greenBits];
  const uint8_t* bt = kScale.t[p.blueBits];
  const int rm = (1 << p.redBits) - 1, gm = (1 << p.greenBits) - 1, bm = (1 << p.blueBits) - 1;
  for (int x = 0; x < p.width; ++x, s += 2, w += 4) {
    unsigned v = (unsigned)s[0] | ((unsigned)s[1] << 8);
    w[0] = rt[(v >> p.redShift) & rm];
    w[1] = gt[(v >> p.greenShift) & gm];
    w[2] = bt[(v >> p.blueShift) & bm];
    w[3] = 255;
  }
}

void CopyWorking(const uint8_t* s, uint8_t* w, const UnpackParams& p) {
  memcpy(w, s, (size_t)p.bytesPerPlane);
}

// ---------------------------------------------------------------------------
// Storing.

void StoreBitsCopy(const uint8_t* w, uint8_t* r, int count, const int*) {
  memcpy(r, w, (size_t)(count + 7) / 8);
}

void StoreBitsPick(const uint8_t* w, uint8_t* r, int count, const int* columns) {
  memset(r, 0, (size_t)(count + 7) / 8);
  for (int x = 0; x < count; ++x) OrBit(r, x, GetBit(w, columns[x]));
}

void StoreBytesCopy(const uint8_t* w, uint8_t* r, int count, const int*) { memcpy(r, w, (size_t)count); }

void StoreBytesPick(const uint8_t* w, uint8_t* r, int count, const int* columns) {
  for (int x = 0; x < count; ++x) r[x] = w[columns[x]];
}

// Result bytes taken from working channels: Out[i] = working[Map[i]].
template <bool Pick, int N, int M0, int M1, int M2, int M3>
void StoreDirect(const uint8_t* w, uint8_t* r, int count, const int* columns) {
  for (int x = 0; x < count; ++x, r += N) {
    const uint8_t* s = w + (size_t)(Pick ? columns[x] : x) * 4;
    r[0] = s[M0];
    r[1] = s[M1];
    r[2] = s[M2];
    if constexpr (N == 4) r[3] = s[M3];
  }
}

template <bool Pick, int Bytes>
void StoreWide(const uint8_t* w, uint8_t* r, int count, const int* columns) {
  if constexpr (!Pick) {
    memcpy(r, w, (size_t)count * Bytes);
  } else {
    for (int x = 0; x < count; ++x) memcpy(r + (size_t)x * Bytes, w + (size_t)columns[x] * Bytes, Bytes);
  }
}

template <bool Pick>
StoreFunction DirectStorer(ResultOrder order) {
  switch (order) {
    case ResultOrder::RGB:
    case ResultOrder::Raw3: return StoreDirect<Pick, 3, 0, 1, 2, 3>;
    case ResultOrder::BGR: return StoreDirect<Pick, 3, 2, 1, 0, 3>;
    case ResultOrder::RGBA:
    case ResultOrder::Raw4: return StoreDirect<Pick, 4, 0, 1, 2, 3>;
    case ResultOrder::ABGR: return StoreDirect<Pick, 4, 3, 2, 1, 0>;
    case ResultOrder::ARGB: return StoreDirect<Pick, 4, 3, 0, 1, 2>;
    case ResultOrder::BGRA: return StoreDirect<Pick, 4, 2, 1, 0, 3>;
  }
  return nullptr;
}

template <bool Pick>
StoreFunction WideStorer(int bytes) {
  switch (bytes) {
    case 2: return StoreWide<Pick, 2>;
    case 4: return StoreWide<Pick, 4>;
    case 6: return StoreWide<Pick, 6>;
    case 8: return StoreWide<Pick, 8>;
    case 12: return StoreWide<Pick, 12>;
    case 16: return StoreWide<Pick, 16>;
    default: return nullptr;
  }
}

void SetLayout16(uint32_t flags, UnpackParams* p) {
  auto set = [p](int rs, int rb, int gs, int gb, int bs, int bb) {
    p->redShift = rs; p->redBits = rb; p->greenShift = gs; p->greenBits = gb;
    p->blueShift = bs; p->blueBits = bb;
  };
  if (flags & SRC_RGB565) set(11, 5, 5, 6, 0, 5);
  else if (flags & SRC_BGR555) set(0, 5, 5, 5, 10, 5);
  else if (flags & SRC_RGB444_HIGH) set(12, 4, 8, 4, 4, 4);
  else if (flags & SRC_RGB444_LOW) set(8, 4, 4, 4, 0, 4);
  else if (flags & SRC_RGB565_G5) set(11, 5, 6, 5, 0, 5);
  else if (flags & SRC_RGB555_HIGH) set(11, 5, 5, 5, 0, 5);
  else set(10, 5, 5, 5, 0, 5);
}

UnpackFunction ChooseWideSamples(int container, int samples, bool bgr) {
  if (container == 2) {
    switch (samples) {
      case 2: return UnpackWideSamples<uint16_t, 2, false>;
      case 3: return bgr ? UnpackWideSamples<uint16_t, 3, true> : UnpackWideSamples<uint16_t, 3, false>;
      case 4: return bgr ? UnpackWideSamples<uint16_t, 4, true> : UnpackWideSamples<uint16_t, 4, false>;
    }
  } else {
    switch (samples) {
      case 2: return UnpackWideSamples<uint32_t, 2, false>;
      case 3: return bgr ? UnpackWideSamples<uint32_t, 3, true> : UnpackWideSamples<uint32_t, 3, false>;
      case 4: return bgr ? UnpackWideSamples<uint32_t, 4, true> : UnpackWideSamples<uint32_t, 4, false>;
    }
  }
  return nullptr;
}

UnpackFunction Choose24(uint32_t flags) {
  if (flags & (SRC_ORDER_BGR_ABGR | SRC_ORDER_BGR_BGRA)) return Unpack24<2, 1, 0>;
  return Unpack24<0, 1, 2>;
}

UnpackFunction Choose32(uint32_t flags) {
  if (flags & SRC_ORDER_BGR_ABGR) return Unpack32<3, 2, 1, 0>;
  if (flags & SRC_ORDER_ARGB) return Unpack32<1, 2, 3, 0>;
  if (flags & SRC_ORDER_BGR_BGRA) return Unpack32<2, 1, 0, 3>;
  return Unpack32<0, 1, 2, 3>;
}

}  // namespace

UnpackFunction ChooseUnpacker(WorkingKind kind, uint32_t flags, int bitsPerPixel, UnpackParams* p) {
  const int container = p->bitsPerPlane > 16 ? 4 : 2;
  const bool wideSamples = p->samples > 0 && p->bitsPerPlane > 8;
  if (wideSamples) p->shift = p->bitsPerPlane - 8;
  switch (kind) {
    case WorkingKind::Bilevel:
      return (flags & SRC_ONE_PER_BYTE) ? UnpackBitsFromBytes : UnpackBitsCopy;

    case WorkingKind::Byte:
      if ((flags & SRC_PLANES_IN_ROW) && p->planes > 1) return UnpackMergePlanes;
      if (flags & (SRC_ONE_PER_BYTE | SRC_PLANE_BY_PLANE)) return UnpackBytesCopy;
      if (wideSamples) return container == 2 ? UnpackWideToByte<uint16_t> : UnpackWideToByte<uint32_t>;
      switch (bitsPerPixel) {
        case 8: return UnpackBytesCopy;
        case 4: return UnpackPacked<4>;
        case 2: return UnpackPacked<2>;
        case 1: return UnpackPacked<1>;
        default: return bitsPerPixel < 8 ? UnpackPackedAny : nullptr;
      }

    case WorkingKind::Direct:
      if ((flags & SRC_PLANES_IN_ROW) && p->planes > 1) {
        if (bitsPerPixel <= 8) return UnpackIndexDirectMerged;
        if (p->bitsPerPlane == 8) return UnpackInterleavePlanes;
        return nullptr;
      }
      if (p->samples > 0) {
        if (p->samples == 1) {
          if (p->bitsPerPlane == 8 || (flags & SRC_ONE_PER_BYTE)) return UnpackIndexDirect8;
          if (p->bitsPerPlane < 8) return UnpackIndexDirectPacked;
          return container == 2 ? UnpackWideGreyDirect<uint16_t> : UnpackWideGreyDirect<uint32_t>;
        }
        const bool bgr = flags & (SRC_ORDER_BGR_ABGR | SRC_ORDER_BGR_BGRA);
        if (p->bitsPerPlane == 8) {
          if (p->samples == 2) return UnpackGreyAlpha8;
          if (p->samples == 3) return Choose24(flags);
          if (p->samples == 4) return Choose32(flags);
          return nullptr;
        }
        if (p->bitsPerPlane > 8) return ChooseWideSamples(container, p->samples, bgr);
        return nullptr;
      }
      if (bitsPerPixel <= 8) return (flags & SRC_ONE_PER_BYTE) || bitsPerPixel == 8
                                        ? UnpackIndexDirect8
                                        : UnpackIndexDirectPacked;
      if (bitsPerPixel == 12) return Unpack12;
      if (bitsPerPixel == 15 || bitsPerPixel == 16) {
        SetLayout16(flags, p);
        return Unpack16;
      }
      if (bitsPerPixel == 24) return Choose24(flags);
      if (bitsPerPixel == 32) return Choose32(flags);
      return nullptr;

    case WorkingKind::Wide:
      return CopyWorking;
  }
  return nullptr;
}

StoreFunction ChooseStorer(WorkingKind kind, ResultOrder order, int wideBytesPerPixel, bool picking) {
  switch (kind) {
    case WorkingKind::Bilevel: return picking ? StoreBitsPick : StoreBitsCopy;
    case WorkingKind::Byte: return picking ? StoreBytesPick : StoreBytesCopy;
    case WorkingKind::Direct: return picking ? DirectStorer<true>(order) : DirectStorer<false>(order);
    case WorkingKind::Wide: return picking ? WideStorer<true>(wideBytesPerPixel) : WideStorer<false>(wideBytesPerPixel);
  }
  return nullptr;
}
