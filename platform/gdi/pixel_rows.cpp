// Pixel rows of every surface format, read into and written from one
// intermediate form (0x00RRGGBB per pixel); blits choose their row functions
// once per call, never per pixel.
#include "platform/gdi/pixel_rows.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/gdi/gdi_internal.h"

namespace platform::gdi {
namespace {

struct MaskInfo {
  int shift = 0;
  int bits = 0;
  uint8_t expand[256];  // channel value -> 8 bits, by bit replication
};

void Describe(uint32_t mask, MaskInfo* m) {
  m->shift = 0;
  m->bits = 0;
  if (mask) {
    while (!((mask >> m->shift) & 1)) ++m->shift;
    while (m->shift + m->bits < 32 && ((mask >> (m->shift + m->bits)) & 1)) ++m->bits;
  }
  int bits = std::min(m->bits, 8);
  int count = 1 << bits;
  for (int v = 0; v < count && v < 256; ++v) {
    if (bits == 0) {
      m->expand[v] = 0;
      continue;
    }
    // Replicate the bits down to 8.
    uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
      int shift = 8 - filled - bits;
      out |= shift >= 0 ? (uint32_t)v << shift : (uint32_t)v >> -shift;
      filled += bits;
    }
    m->expand[v] = (uint8_t)out;
  }
}

using ReadFn = void (*)(const Surface&, const uint8_t*, int, int, uint32_t*, const MaskInfo*);
using WriteFn = void (*)(const Surface&, uint8_t*, int, int, const uint32_t*, const MaskInfo*,
                         uint8_t* (*)(const Surface&, uint32_t, void*), void*);

uint32_t FromQuad(const RGBQUAD& q) {
  return ((uint32_t)q.rgbRed << 16) | ((uint32_t)q.rgbGreen << 8) | q.rgbBlue;
}

void Read1(const Surface& s, const uint8_t* row, int x, int n, uint32_t* out, const MaskInfo*) {
  uint32_t c0 = s.colours.size() > 0 ? FromQuad(s.colours[0]) : 0;
  uint32_t c1 = s.colours.size() > 1 ? FromQuad(s.colours[1]) : 0xFFFFFF;
  for (int i = 0; i < n; ++i) {
    int px = x + i;
    out[i] = (row[px >> 3] >> (7 - (px & 7))) & 1 ? c1 : c0;
  }
}
void Read4(const Surface& s, const uint8_t* row, int x, int n, uint32_t* out, const MaskInfo*) {
  uint32_t table[16];
  for (int i = 0; i < 16; ++i) table[i] = (size_t)i < s.colours.size() ? FromQuad(s.colours[i]) : 0;
  for (int i = 0; i < n; ++i) {
    int px = x + i;
    out[i] = table[(row[px >> 1] >> ((px & 1) ? 0 : 4)) & 15];
  }
}
void Read8(const Surface& s, const uint8_t* row, int x, int n, uint32_t* out, const MaskInfo*) {
  uint32_t table[256];
  size_t count = std::min<size_t>(256, s.colours.size());
  for (size_t i = 0; i < 256; ++i) table[i] = i < count ? FromQuad(s.colours[i]) : 0;
  for (int i = 0; i < n; ++i) out[i] = table[row[x + i]];
}
void Read16(const Surface&, const uint8_t* row, int x, int n, uint32_t* out, const MaskInfo* m) {
  const uint8_t* p = row + (size_t)x * 2;
  for (int i = 0; i < n; ++i, p += 2) {
    uint32_t v = (uint32_t)p[0] | ((uint32_t)p[1] << 8);
    uint32_t r = m[0].expand[((v >> m[0].shift) & ((1u << m[0].bits) - 1)) & 0xFF];
    uint32_t g = m[1].expand[((v >> m[1].shift) & ((1u << m[1].bits) - 1)) & 0xFF];
    uint32_t b = m[2].expand[((v >> m[2].shift) & ((1u << m[2].bits) - 1)) & 0xFF];
    out[i] = (r << 16) | (g << 8) | b;
  }
}
void Read24(const Surface&, const uint8_t* row, int x, int n, uint32_t* out, const MaskInfo*) {
  const uint8_t* p = row + (size_t)x * 3;
  for (int i = 0; i < n; ++i, p += 3) out[i] = ((uint32_t)p[2] << 16) | ((uint32_t)p[1] << 8) | p[0];
}
void Read32(const Surface&, const uint8_t* row, int x, int n, uint32_t* out, const MaskInfo* m) {
  const uint8_t* p = row + (size_t)x * 4;
  for (int i = 0; i < n; ++i, p += 4) {
    uint32_t v = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
    uint32_t r = (v >> m[0].shift) & ((m[0].bits >= 32) ? ~0u : ((1u << m[0].bits) - 1));
    uint32_t g = (v >> m[1].shift) & ((m[1].bits >= 32) ? ~0u : ((1u << m[1].bits) - 1));
    uint32_t b = (v >> m[2].shift) & ((m[2].bits >= 32) ? ~0u : ((1u << m[2].bits) - 1));
    // Wider channels keep their top 8 bits.
    if (m[0].bits > 8) r >>= m[0].bits - 8; else r = m[0].expand[r];
    if (m[1].bits > 8) g >>= m[1].bits - 8; else g = m[1].expand[g];
    if (m[2].bits > 8) b >>= m[2].bits - 8; else b = m[2].expand[b];
    out[i] = (r << 16) | (g << 8) | b;
  }
}

// Nearest colour of an indexed surface, with a small cache.
struct NearestCache {
  uint32_t key[4096];
  uint8_t index[4096];
  const Surface* surface;
  NearestCache(const Surface* s) : surface(s) { std::fill(std::begin(key), std::end(key), 0xFFFFFFFFu); }
  uint8_t Find(uint32_t c) {
    uint32_t h = ((c * 2654435761u) >> 20) & 4095;
    if (key[h] == c) return index[h];
    uint8_t best = (uint8_t)NearestIndex(*surface, c);
    key[h] = c;
    index[h] = best;
    return best;
  }
};

void WriteIndexed(const Surface& s, uint8_t* row, int x, int n, const uint32_t* in, NearestCache& cache) {
  switch (s.bpp) {
    case 1:
      for (int i = 0; i < n; ++i) {
        int px = x + i;
        uint8_t bit = (uint8_t)(0x80 >> (px & 7));
        if (cache.Find(in[i])) row[px >> 3] |= bit; else row[px >> 3] &= (uint8_t)~bit;
      }
      break;
    case 4:
      for (int i = 0; i < n; ++i) {
        int px = x + i;
        uint8_t v = cache.Find(in[i]) & 15;
        uint8_t& b = row[px >> 1];
        b = (px & 1) ? (uint8_t)((b & 0xF0) | v) : (uint8_t)((b & 0x0F) | (v << 4));
      }
      break;
    default:
      for (int i = 0; i < n; ++i) row[x + i] = cache.Find(in[i]);
  }
}

void Write16(uint8_t* row, int x, int n, const uint32_t* in, const MaskInfo* m) {
  uint8_t* p = row + (size_t)x * 2;
  for (int i = 0; i < n; ++i, p += 2) {
    uint32_t c = in[i];
    uint32_t v = ((((c >> 16) & 0xFF) >> (8 - m[0].bits)) << m[0].shift) |
                 ((((c >> 8) & 0xFF) >> (8 - m[1].bits)) << m[1].shift) |
                 (((c & 0xFF) >> (8 - m[2].bits)) << m[2].shift);
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
  }
}
void Write24(uint8_t* row, int x, int n, const uint32_t* in) {
  uint8_t* p = row + (size_t)x * 3;
  for (int i = 0; i < n; ++i, p += 3) {
    p[0] = (uint8_t)in[i];
    p[1] = (uint8_t)(in[i] >> 8);
    p[2] = (uint8_t)(in[i] >> 16);
  }
}
void Write32(uint8_t* row, int x, int n, const uint32_t* in, const MaskInfo* m) {
  uint8_t* p = row + (size_t)x * 4;
  for (int i = 0; i < n; ++i, p += 4) {
    uint32_t c = in[i];
    auto put = [](uint32_t v8, const MaskInfo& mi) -> uint32_t {
      uint32_t v = mi.bits >= 8 ? v8 << (mi.bits - 8) : v8 >> (8 - mi.bits);
      return v << mi.shift;
    };
    uint32_t v = put((c >> 16) & 0xFF, m[0]) | put((c >> 8) & 0xFF, m[1]) | put(c & 0xFF, m[2]);
    std::memcpy(p, &v, 4);
  }
}

// Row reading and writing for one surface, set up once per call.
class RowAccess {
 public:
  explicit RowAccess(const Surface& s) : s_(s), cache_(&s) {
    for (int i = 0; i < 3; ++i) Describe(s.masks[i], &masks_[i]);
    switch (s.format) {
      case PixelFormat::kIndexed1: read_ = Read1; break;
      case PixelFormat::kIndexed4: read_ = Read4; break;
      case PixelFormat::kIndexed8: read_ = Read8; break;
      case PixelFormat::kRgb16: read_ = Read16; break;
      case PixelFormat::kBgr24: read_ = Read24; break;
      case PixelFormat::kBgrx32: read_ = Read32; break;
    }
  }
  void Read(int y, int x, int n, uint32_t* out) { read_(s_, s_.Row(y), x, n, out, masks_); }
  void Write(int y, int x, int n, const uint32_t* in) {
    uint8_t* row = s_.Row(y);
    switch (s_.format) {
      case PixelFormat::kIndexed1:
      case PixelFormat::kIndexed4:
      case PixelFormat::kIndexed8: WriteIndexed(s_, row, x, n, in, cache_); break;
      case PixelFormat::kRgb16: Write16(row, x, n, in, masks_); break;
      case PixelFormat::kBgr24: Write24(row, x, n, in); break;
      case PixelFormat::kBgrx32: Write32(row, x, n, in, masks_); break;
    }
  }

 private:
  const Surface& s_;
  MaskInfo masks_[3];
  ReadFn read_ = Read24;
  NearestCache cache_;
};

bool SameLayout(const Surface& a, const Surface& b) {
  if (a.format != b.format || a.bpp != b.bpp) return false;
  if (std::memcmp(a.masks, b.masks, sizeof a.masks) != 0) return false;
  if (a.bpp <= 8) {
    if (a.colours.size() != b.colours.size()) return false;
    for (size_t i = 0; i < a.colours.size(); ++i)
      if (FromQuad(a.colours[i]) != FromQuad(b.colours[i])) return false;
  }
  return true;
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) r = RECT{0, 0, 0, 0};
  return r;
}

}  // namespace

PixelFormat FormatFor(const Surface& s) {
  switch (s.bpp) {
    case 1: return PixelFormat::kIndexed1;
    case 4: return PixelFormat::kIndexed4;
    case 8: return PixelFormat::kIndexed8;
    case 16: return PixelFormat::kRgb16;
    case 24: return PixelFormat::kBgr24;
    default: return PixelFormat::kBgrx32;
  }
}

bool AllocateSurface(Surface* s, int width, int height, int bpp, bool bottomUp) {
  if (width <= 0 || height <= 0) return false;
  uint64_t stride = (((uint64_t)width * (uint64_t)bpp + 31) / 32) * 4;
  uint64_t total = stride * (uint64_t)height;
  if (total > (uint64_t)1 << 30) return false;  // one GiB at most
  try {
    s->storage.assign((size_t)total, 0);
  } catch (...) {
    return false;
  }
  s->width = width;
  s->height = height;
  s->bpp = bpp;
  s->stride = (size_t)stride;
  s->bottomUp = bottomUp;
  s->bits = s->storage.data();
  s->format = FormatFor(*s);
  if (bpp == 16 && !s->masks[0]) {
    s->masks[0] = 0x7C00;
    s->masks[1] = 0x03E0;
    s->masks[2] = 0x001F;
  } else if (bpp == 32 && !s->masks[0]) {
    s->masks[0] = 0xFF0000;
    s->masks[1] = 0x00FF00;
    s->masks[2] = 0x0000FF;
  }
  return true;
}

int NearestIndex(const Surface& s, uint32_t c) {
  int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
  int best = 0;
  long bestDistance = std::numeric_limits<long>::max();
  for (size_t i = 0; i < s.colours.size(); ++i) {
    const RGBQUAD& q = s.colours[i];
    long dr = r - q.rgbRed, dg = g - q.rgbGreen, db = b - q.rgbBlue;
    long d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = (int)i;
      if (d == 0) break;
    }
  }
  return best;
}

void ReadRow(const Surface& s, int y, int x, int n, uint32_t* out) {
  RowAccess a(s);
  a.Read(y, x, n, out);
}

void WriteRow(const Surface& s, int y, int x, int n, const uint32_t* in) {
  RowAccess a(s);
  a.Write(y, x, n, in);
}

uint32_t NativePixel(const Surface& s, COLORREF colour) {
  uint32_t c = ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
  switch (s.format) {
    case PixelFormat::kIndexed1:
    case PixelFormat::kIndexed4:
    case PixelFormat::kIndexed8: return (uint32_t)NearestIndex(s, c);
    case PixelFormat::kRgb16: {
      uint8_t tmp[2];
      MaskInfo m[3];
      for (int i = 0; i < 3; ++i) Describe(s.masks[i], &m[i]);
      Write16(tmp, 0, 1, &c, m);
      return (uint32_t)tmp[0] | ((uint32_t)tmp[1] << 8);
    }
    case PixelFormat::kBgr24: return c;
    case PixelFormat::kBgrx32: {
      uint8_t tmp[4];
      MaskInfo m[3];
      for (int i = 0; i < 3; ++i) Describe(s.masks[i], &m[i]);
      Write32(tmp, 0, 1, &c, m);
      uint32_t v;
      std::memcpy(&v, tmp, 4);
      return v;
    }
  }
  return 0;
}

void FillSpan(const Surface& s, const RECT& r, uint32_t pixel) {
  int n = r.right - r.left;
  if (n <= 0) return;
  for (int y = r.top; y < r.bottom; ++y) {
    uint8_t* row = s.Row(y);
    switch (s.format) {
      case PixelFormat::kIndexed1:
        for (int x = r.left; x < r.right; ++x) {
          uint8_t bit = (uint8_t)(0x80 >> (x & 7));
          if (pixel & 1) row[x >> 3] |= bit; else row[x >> 3] &= (uint8_t)~bit;
        }
        break;
      case PixelFormat::kIndexed4:
        for (int x = r.left; x < r.right; ++x) {
          uint8_t& b = row[x >> 1];
          b = (x & 1) ? (uint8_t)((b & 0xF0) | (pixel & 15)) : (uint8_t)((b & 0x0F) | ((pixel & 15) << 4));
        }
        break;
      case PixelFormat::kIndexed8: std::memset(row + r.left, (int)(pixel & 0xFF), (size_t)n); break;
      case PixelFormat::kRgb16: {
        uint16_t v = (uint16_t)pixel;
        uint8_t* p = row + (size_t)r.left * 2;
        for (int i = 0; i < n; ++i, p += 2) std::memcpy(p, &v, 2);
        break;
      }
      case PixelFormat::kBgr24: {
        uint8_t* p = row + (size_t)r.left * 3;
        for (int i = 0; i < n; ++i, p += 3) {
          p[0] = (uint8_t)pixel;
          p[1] = (uint8_t)(pixel >> 8);
          p[2] = (uint8_t)(pixel >> 16);
        }
        break;
      }
      case PixelFormat::kBgrx32: {
        uint8_t* p = row + (size_t)r.left * 4;
        for (int i = 0; i < n; ++i, p += 4) std::memcpy(p, &pixel, 4);
        break;
      }
    }
  }
}

void CopyRect(const Surface& dst, const RECT& dstRect, const Surface& src, int sx, int sy) {
  int n = dstRect.right - dstRect.left;
  if (n <= 0 || dstRect.bottom <= dstRect.top) return;
  bool same = &dst == &src;
  if (SameLayout(dst, src) && dst.bpp >= 8) {
    size_t bytes = (size_t)n * (size_t)(dst.bpp / 8);
    // Overlapping copies within one surface go in the safe direction.
    bool upward = same && sy < dstRect.top;
    for (int i = 0; i < dstRect.bottom - dstRect.top; ++i) {
      int row = upward ? dstRect.bottom - dstRect.top - 1 - i : i;
      std::memmove(dst.Row(dstRect.top + row) + (size_t)dstRect.left * (dst.bpp / 8),
                   src.Row(sy + row) + (size_t)sx * (src.bpp / 8), bytes);
    }
    return;
  }
  if (src.format == PixelFormat::kIndexed8 && dst.format == PixelFormat::kIndexed8 && !same) {
    // Palette to palette: each source entry is matched once.
    uint8_t map[256];
    for (size_t i = 0; i < 256; ++i)
      map[i] = i < src.colours.size() ? (uint8_t)NearestIndex(dst, FromQuad(src.colours[i])) : 0;
    for (int row = 0; row < dstRect.bottom - dstRect.top; ++row) {
      const uint8_t* from = src.Row(sy + row) + sx;
      uint8_t* to = dst.Row(dstRect.top + row) + dstRect.left;
      for (int x = 0; x < n; ++x) to[x] = map[from[x]];
    }
    return;
  }
  RowAccess in(src), out(dst);
  std::vector<uint32_t> buffer((size_t)n);
  bool upward = same && sy < dstRect.top;
  for (int i = 0; i < dstRect.bottom - dstRect.top; ++i) {
    int row = upward ? dstRect.bottom - dstRect.top - 1 - i : i;
    in.Read(sy + row, sx, n, buffer.data());
    out.Write(dstRect.top + row, dstRect.left, n, buffer.data());
  }
}

void StretchRect(const Surface& dst, const RECT& clip, int dx, int dy, int dw, int dh, const Surface& src,
                 int sx, int sy, int sw, int sh) {
  RECT target = Intersect(clip, RECT{dx, dy, dx + dw, dy + dh});
  int n = target.right - target.left;
  if (n <= 0 || target.bottom <= target.top) return;
  // Nearest pixel: destination pixel i takes source pixel floor(i * sw / dw).
  std::vector<int> columns((size_t)n);
  int minX = src.width, maxX = -1;
  for (int i = 0; i < n; ++i) {
    long long rel = target.left + i - dx;
    int x = std::clamp(sx + (int)(rel * sw / dw), 0, src.width - 1);
    columns[(size_t)i] = x;
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
  }
  RowAccess in(src), out(dst);
  std::vector<uint32_t> srcRow((size_t)(maxX - minX + 1)), dstRow((size_t)n);
  int lastY = -1;
  for (int y = target.top; y < target.bottom; ++y) {
    long long rel = y - dy;
    int srcY = std::clamp(sy + (int)(rel * sh / dh), 0, src.height - 1);
    if (srcY != lastY) {
      in.Read(srcY, minX, maxX - minX + 1, srcRow.data());
      for (int i = 0; i < n; ++i) dstRow[(size_t)i] = srcRow[(size_t)(columns[(size_t)i] - minX)];
      lastY = srcY;
    }
    out.Write(y, target.left, n, dstRow.data());
  }
}

}  // namespace platform::gdi
