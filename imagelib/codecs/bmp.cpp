// Windows and OS/2 bitmaps: the reader (rows "bmp" and "2bp") and the
// writer. The reader handles 1, 2, 4 and 8-bit palettes (plain, RLE8, RLE4),
// 15/16/24/32-bit direct colour with or without bit fields, and the DXT1 and
// DXT3 block-compressed variants; the writer stores 1, 4, 8, 24 and 32-bit
// pictures, Windows or OS/2, optionally run-length compressed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "imagelib/codecs/codecs.h"
#include "imagelib/core/file_stream.h"
#include "imagelib/core/reader_contract.h"

namespace {

// Compression field values.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitFields = 3;
constexpr uint32_t kBiDxt1 = 0x31545844;  // "DXT1"
constexpr uint32_t kBiDxt3 = 0x33545844;  // "DXT3"

// The reader marks 16-bit 5-5-5 pixels with this bit; the pipeline reads
// 16-bit pixels without a layout bit as 5-5-5 anyway.
constexpr uint32_t kSrc555 = 0x80;

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kOs2HeaderSize = 12;
// Info headers that carry the colour masks, and the alpha mask too.
constexpr uint32_t kMaskHeaderSize = 52;
constexpr uint32_t kAlphaMaskHeaderSize = 56;
// DXT block data starts here, whatever the headers before it say.
constexpr int64_t kDxtDataOffset = 74;

const char kBadSizeMessage[] = "Windows Bitmap : Bad picture's size !";

inline uint16_t Le16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

// Buffered, bounded reading over the stream. Every read says how much it got;
// nothing is read past what the file holds.
class ByteSource {
 public:
  explicit ByteSource(FileStream* stream) : stream_(stream), buffer_(1 << 16) {}

  bool Seek(int64_t position) {
    begin_ = end_ = 0;
    return position >= 0 && StreamSeek(stream_, position) == 0;
  }

  // Copies up to n bytes; returns how many arrived.
  size_t Read(uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n) {
      if (begin_ == end_) {
        // Large reads go straight to the destination.
        if (n - done >= buffer_.size()) {
          size_t got = StreamRead(stream_, out + done, n - done);
          done += got;
          return done;
        }
        if (!Refill()) return done;
      }
      size_t take = std::min(n - done, end_ - begin_);
      memcpy(out + done, buffer_.data() + begin_, take);
      begin_ += take;
      done += take;
    }
    return done;
  }

  // One byte, or -1 at the end.
  int Get() {
    if (begin_ == end_ && !Refill()) return -1;
    return buffer_[begin_++];
  }

  // Drops n bytes; false when the file ended first.
  bool Drop(size_t n) {
    uint8_t scratch[256];
    while (n > 0) {
      size_t take = std::min(n, sizeof scratch);
      if (Read(scratch, take) != take) return false;
      n -= take;
    }
    return true;
  }

  // A little-endian 32-bit value; missing bytes read as all ones.
  uint32_t U32() {
    uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    Read(b, 4);
    return Le32(b);
  }

 private:
  bool Refill() {
    begin_ = 0;
    end_ = StreamRead(stream_, buffer_.data(), buffer_.size());
    return end_ > 0;
  }

  FileStream* stream_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
};

int LowestSetBit(uint32_t v) {
  if (v == 0) return 0;
  int n = 0;
  while (!(v & 1u)) {
    v >>= 1;
    ++n;
  }
  return n;
}

int BitCount(uint32_t v) {
  int n = 0;
  for (; v; v &= v - 1) ++n;
  return n;
}

// What the headers say, before any decision.
struct BitmapHeader {
  uint32_t dataOffset = 0;
  uint32_t headerSize = 0;
  int64_t width = 0;   // as stored (signed for Windows)
  int64_t height = 0;  // negative: rows stored top-down
  uint32_t planes = 0;
  uint32_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t xPixelsPerMetre = 0;
  uint32_t yPixelsPerMetre = 0;
  uint32_t coloursUsed = 0;
  bool os2 = false;
};

int DpiFromPixelsPerMetre(uint32_t ppm) {
  if (ppm == 0) return 0;
  double dpi = ppm * 0.025399166666666667 + 0.5;
  return dpi > 1e6 ? 1000000 : (int)dpi;
}

// Hands the rows and the palette to the pipeline, remembering the first
// non-zero answer so that reading stops and the picture is still finished.
struct Delivery {
  LoadContext* context;
  SourceFormat* format;

  int Row(const uint8_t* row, size_t bytes, int rowNumber) {
    memcpy(format->rowBuffer, row, bytes);
    return DeliverRows(context, -1, rowNumber, 1);
  }
};

// ---------------------------------------------------------------------------
// Palette pictures.

// RLE8, the whole picture. The delivered row is rebuilt in `row` and handed
// over at each end of line; a delta moves right and down (the rows skipped
// are delivered empty). Returns 0, 4 (data ended) or the pipeline's answer.
int DecodeRle8(ByteSource& in, Delivery& out, int width, int height, size_t rowBytes) {
  std::vector<uint8_t> row(rowBytes, 0);
  int64_t x = 0;
  int y = 0;
  auto endRow = [&]() -> int {
    int r = out.Row(row.data(), rowBytes, y);
    ++y;
    x = 0;
    std::fill(row.begin(), row.end(), 0);
    return r;
  };
  while (y < height) {
    int count = in.Get();
    int value = in.Get();
    if (count < 0 || value < 0) {
      int r = endRow();
      return r ? r : RESULT_NOT_COMPLETE;
    }
    if (count > 0) {
      for (int i = 0; i < count; ++i, ++x)
        if (x < width) row[x] = (uint8_t)value;
      continue;
    }
    if (value == 0) {  // end of line
      if (int r = endRow()) return r;
    } else if (value == 1) {  // end of bitmap
      return endRow();
    } else if (value == 2) {  // delta
      int dx = in.Get();
      int dy = in.Get();
      if (dx < 0 || dy < 0) {
        int r = endRow();
        return r ? r : RESULT_NOT_COMPLETE;
      }
      int64_t keepX = x + dx;
      for (int i = 0; i < dy && y < height; ++i)
        if (int r = endRow()) return r;
      x = keepX;
    } else {  // literal run
      uint8_t bytes[256];
      size_t n = (size_t)value + (value & 1);
      if (in.Read(bytes, n) != n) {
        int r = endRow();
        return r ? r : RESULT_NOT_COMPLETE;
      }
      for (int i = 0; i < value; ++i, ++x)
        if (x < width) row[x] = bytes[i];
    }
  }
  return 0;
}

inline void PutNibble(uint8_t* row, int64_t x, int v) {
  uint8_t& b = row[x >> 1];
  if (x & 1) b = (uint8_t)((b & 0xF0) | (v & 0x0F));
  else b = (uint8_t)((b & 0x0F) | ((v & 0x0F) << 4));
}

// RLE4, the whole picture, with the same row and delta rules as RLE8.
int DecodeRle4(ByteSource& in, Delivery& out, int width, int height, size_t rowBytes) {
  std::vector<uint8_t> row(rowBytes, 0);
  int64_t x = 0;
  int y = 0;
  auto endRow = [&]() -> int {
    int r = out.Row(row.data(), rowBytes, y);
    ++y;
    x = 0;
    std::fill(row.begin(), row.end(), 0);
    return r;
  };
  while (y < height) {
    int count = in.Get();
    int value = in.Get();
    if (count < 0 || value < 0) {
      int r = endRow();
      return r ? r : RESULT_NOT_COMPLETE;
    }
    if (count > 0) {
      const int high = value >> 4, low = value & 0x0F;
      for (int i = 0; i < count; ++i, ++x)
        if (x < width) PutNibble(row.data(), x, (i & 1) ? low : high);
      continue;
    }
    if (value == 0) {
      if (int r = endRow()) return r;
    } else if (value == 1) {
      return endRow();
    } else if (value == 2) {
      int dx = in.Get();
      int dy = in.Get();
      if (dx < 0 || dy < 0) {
        int r = endRow();
        return r ? r : RESULT_NOT_COMPLETE;
      }
      int64_t keepX = x + dx;
      for (int i = 0; i < dy && y < height; ++i)
        if (int r = endRow()) return r;
      x = keepX;
    } else {
      uint8_t bytes[128];
      size_t n = ((size_t)value + 1) / 2;
      size_t stored = n + (n & 1);
      if (in.Read(bytes, stored) != stored) {
        int r = endRow();
        return r ? r : RESULT_NOT_COMPLETE;
      }
      for (int i = 0; i < value; ++i, ++x)
        if (x < width) PutNibble(row.data(), x, (i & 1) ? bytes[i >> 1] & 0x0F : bytes[i >> 1] >> 4);
    }
  }
  return 0;
}

int ReadPalettePicture(ByteSource& in, LoadContext* context, SourceFormat& format,
                       const BitmapHeader& h, uint32_t totalBits, int64_t palettePosition,
                       int64_t base) {
  const int width = format.width, height = format.height;
  uint64_t rowBytes = ((uint64_t)width * totalBits + 7) / 8;
  if (totalBits == 1 || totalBits == 2 || totalBits == 4 || totalBits == 8) rowBytes = (rowBytes + 3) & ~3ull;
  if (h.compression == kBiRle8 && totalBits != 8) return RESULT_NOT_RECOGNISED;
  if (h.compression == kBiRle4 && totalBits != 4) return RESULT_NOT_RECOGNISED;
  format.flags = 0;
  format.bytesPerPlane = (int32_t)rowBytes;

  int r = StartPicture(context, &format);
  if (r != 0) return r;

  // The palette: B, G, R (and a reserved byte in Windows files).
  uint8_t palette[256 * 3] = {};
  const uint64_t length = h.coloursUsed ? h.coloursUsed : (1ull << totalBits);
  const int entries = (int)std::min<uint64_t>(length, 256);
  const int entrySize = h.os2 ? 3 : 4;
  if (in.Seek(base + palettePosition)) {
    uint8_t raw[256 * 4];
    size_t got = in.Read(raw, (size_t)entries * entrySize) / entrySize;
    for (size_t i = 0; i < got; ++i) memcpy(palette + i * 3, raw + i * entrySize, 3);
  }

  Delivery out{context, &format};
  int result = 0;
  if (!in.Seek(base + (int64_t)h.dataOffset)) {
    result = RESULT_NOT_COMPLETE;
  } else if (h.compression == kBiRle8) {
    result = DecodeRle8(in, out, width, height, rowBytes);
  } else if (h.compression == kBiRle4) {
    result = DecodeRle4(in, out, width, height, rowBytes);
  } else {
    for (int y = 0; y < height; ++y) {
      if (in.Read(format.rowBuffer, rowBytes) != rowBytes) {
        result = RESULT_NOT_COMPLETE;
        break;
      }
      if ((result = DeliverRows(context, -1, y, 1)) != 0) break;
    }
  }
  int finish = FinishPicture(context, PAL_BGR_ORDER, 8, palette);
  return result ? result : finish;
}

// ---------------------------------------------------------------------------
// Direct colour.

enum class PixelDecoding {
  kStored,         // rows delivered as stored
  kMasked16,       // 16-bit bit fields of any other masks -> B, G, R
  kMasked32Plain,  // red mask 0xFF000000: fields shifted down, not scaled -> B, G, R, A
  kMasked32Scaled  // any other 32-bit masks: fields scaled to 0..255 -> B, G, R, A
};

struct ChannelMask {
  uint32_t mask = 0;
  int shift = 0;
  uint64_t maximum = 0;  // largest field value: 2^bits - 1

  void Set(uint32_t m) {
    mask = m;
    shift = LowestSetBit(m);
    maximum = m ? (1ull << BitCount(m)) - 1 : 0;
  }
  uint32_t Field(uint32_t pixel) const { return (pixel & mask) >> shift; }
  // The field scaled to 0..255 (truncating, like the pipeline's 5- and
  // 6-bit components); masks with holes are clamped.
  uint8_t Scaled(uint32_t pixel, uint8_t absent) const {
    if (!maximum) return absent;
    uint64_t v = (uint64_t)Field(pixel) * 255 / maximum;
    return (uint8_t)std::min<uint64_t>(v, 255);
  }
};

// 16-bit pixels through their masks: one lookup per pixel.
void BuildMasked16Table(const uint32_t masks[3], std::vector<uint8_t>& table) {
  table.resize(65536 * 3);
  // Only bits 0..15 count for 16-bit pixels.
  int shift[3], levels[3];
  for (int c = 0; c < 3; ++c) {
    uint32_t m = masks[c] & 0xFFFF;
    shift[c] = LowestSetBit(m);
    levels[c] = 1 << BitCount(m);
  }
  for (uint32_t p = 0; p < 65536; ++p) {
    uint8_t* t = &table[p * 3];
    // Output order blue, green, red; masks are red, green, blue.
    for (int c = 0; c < 3; ++c) {
      uint32_t m = masks[c] & 0xFFFF;
      uint32_t v = levels[c] > 1 ? ((p & m) >> shift[c]) * 255u / (uint32_t)(levels[c] - 1) : 0;
      t[2 - c] = (uint8_t)std::min<uint32_t>(v, 255);
    }
  }
}

void DecodeMasked16Row(const uint8_t* in, uint8_t* out, int width, const uint8_t* table) {
  for (int x = 0; x < width; ++x) {
    const uint8_t* t = table + (size_t)Le16(in + 2 * x) * 3;
    out[0] = t[0];
    out[1] = t[1];
    out[2] = t[2];
    out += 3;
  }
}

void DecodeMasked32PlainRow(const uint8_t* in, uint8_t* out, int width, const ChannelMask m[4]) {
  for (int x = 0; x < width; ++x) {
    uint32_t p = Le32(in + 4 * x);
    out[0] = (uint8_t)m[2].Field(p);
    out[1] = (uint8_t)m[1].Field(p);
    out[2] = (uint8_t)m[0].Field(p);
    out[3] = m[3].mask ? (uint8_t)m[3].Field(p) : 255;
    out += 4;
  }
}

void DecodeMasked32ScaledRow(const uint8_t* in, uint8_t* out, int width, const ChannelMask m[4]) {
  for (int x = 0; x < width; ++x) {
    uint32_t p = Le32(in + 4 * x);
    out[0] = m[2].Scaled(p, 0);
    out[1] = m[1].Scaled(p, 0);
    out[2] = m[0].Scaled(p, 0);
    out[3] = m[3].Scaled(p, 255);
    out += 4;
  }
}

int ReadDirectColourPicture(ByteSource& in, LoadContext* context, SourceFormat& format,
                            const BitmapHeader& h, uint32_t totalBits, int64_t maskPosition,
                            int64_t base) {
  const int width = format.width, height = format.height;
  // Colour masks: red, green, blue, alpha.
  uint32_t masks[4] = {0, 0, 0, 0};
  if (totalBits < 17) {
    masks[0] = 0xF800;
    masks[1] = 0x07E0;
    masks[2] = 0x001F;
  } else {
    masks[0] = 0xFF0000;
    masks[1] = 0x00FF00;
    masks[2] = 0x0000FF;
  }
  const bool roomForMasks = h.headerSize >= kMaskHeaderSize || (int64_t)h.dataOffset >= maskPosition + 12;
  if (roomForMasks && h.compression == kBiBitFields) {
    in.Seek(base + maskPosition);
    masks[0] = in.U32();
    masks[1] = in.U32();
    masks[2] = in.U32();
    // Headers of 56 bytes and more carry an alpha mask after the colour masks.
    if (h.headerSize >= kAlphaMaskHeaderSize) masks[3] = in.U32();
  }

  const bool onePlane = h.planes == 1;
  const bool bitFields = h.compression == kBiBitFields;
  PixelDecoding decoding = PixelDecoding::kStored;
  int storedBytes;  // bytes per stored pixel
  int outBytes;     // bytes per delivered pixel
  if (totalBits == 24) {
    format.flags = SRC_ORDER_BGR_ABGR | (onePlane && h.bitCount == 24 ? 0u : (uint32_t)SRC_PLANE_BY_PLANE);
    storedBytes = outBytes = 3;
  } else if (totalBits == 32 && !bitFields) {
    format.flags = SRC_ORDER_BGR_BGRA | (onePlane && h.bitCount == 32 ? 0u : (uint32_t)SRC_PLANE_BY_PLANE);
    storedBytes = outBytes = 4;
  } else if (totalBits == 32) {
    format.flags = SRC_ORDER_BGR_BGRA;
    storedBytes = outBytes = 4;
    if (masks[0] == 0xFF000000u) {
      decoding = PixelDecoding::kMasked32Plain;
    } else if (masks[0] == 0xFF0000u && masks[1] == 0xFF00u && masks[2] == 0xFFu) {
      decoding = PixelDecoding::kStored;
    } else {
      // Any other layout is decoded through its masks rather than shown
      // as stored, which would give wrong colours.
      decoding = PixelDecoding::kMasked32Scaled;
    }
  } else if ((totalBits == 16 || totalBits == 15) && !bitFields) {
    format.flags = kSrc555 | (onePlane && (h.bitCount == 15 || h.bitCount == 16) ? 0u : (uint32_t)SRC_PLANE_BY_PLANE);
    storedBytes = outBytes = 2;
  } else if (totalBits == 16 || totalBits == 15) {
    storedBytes = outBytes = 2;
    if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) {
      format.flags = kSrc555;
    } else if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) {
      format.flags = SRC_RGB565 | (onePlane && h.bitCount == 16 ? 0u : (uint32_t)SRC_PLANE_BY_PLANE);
    } else {
      format.flags = SRC_ORDER_BGR_ABGR;
      format.planes = 1;
      format.bitsPerPlane = 24;
      outBytes = 3;
      decoding = PixelDecoding::kMasked16;
    }
  } else {
    return RESULT_NOT_RECOGNISED;
  }
  if (decoding == PixelDecoding::kMasked32Plain || decoding == PixelDecoding::kMasked32Scaled) {
    format.planes = 1;
    format.bitsPerPlane = 32;
  }
  format.bytesPerPlane = width * outBytes;

  int r = StartPicture(context, &format);
  if (r != 0) return r;

  const size_t rowBytes = (size_t)width * storedBytes;
  const size_t padding = (4 - rowBytes % 4) % 4;
  int result = 0;
  if (!in.Seek(base + (int64_t)h.dataOffset)) {
    result = RESULT_NOT_COMPLETE;
  } else if (format.planes != 1) {
    // Several planes: each plane's rows in turn, every row named by its plane.
    const int planes = format.planes;
    for (int64_t i = 0; i < (int64_t)height * planes && !result; ++i) {
      if (in.Read(format.rowBuffer, rowBytes) != rowBytes) {
        result = RESULT_NOT_COMPLETE;
        break;
      }
      bool padded = in.Drop(padding);
      result = DeliverRows(context, (int)(i / height), -1, 1);
      if (!result && !padded) result = RESULT_NOT_COMPLETE;
    }
  } else if (decoding == PixelDecoding::kStored) {
    for (int y = 0; y < height && !result; ++y) {
      if (in.Read(format.rowBuffer, rowBytes) != rowBytes) {
        result = RESULT_NOT_COMPLETE;
        break;
      }
      bool padded = in.Drop(padding);
      result = DeliverRows(context, -1, -1, 1);
      if (!result && !padded) result = RESULT_NOT_COMPLETE;
    }
  } else {
    std::vector<uint8_t> stored(rowBytes + 4);
    std::vector<uint8_t> table;
    ChannelMask channel[4];
    if (decoding == PixelDecoding::kMasked16) {
      BuildMasked16Table(masks, table);
    } else {
      for (int c = 0; c < 4; ++c) channel[c].Set(masks[c]);
    }
    for (int y = 0; y < height && !result; ++y) {
      if (in.Read(stored.data(), rowBytes) != rowBytes) {
        result = RESULT_NOT_COMPLETE;
        break;
      }
      bool padded = in.Drop(padding);
      switch (decoding) {
        case PixelDecoding::kMasked16:
          DecodeMasked16Row(stored.data(), format.rowBuffer, width, table.data());
          break;
        case PixelDecoding::kMasked32Plain:
          DecodeMasked32PlainRow(stored.data(), format.rowBuffer, width, channel);
          break;
        default:
          DecodeMasked32ScaledRow(stored.data(), format.rowBuffer, width, channel);
          break;
      }
      result = DeliverRows(context, -1, -1, 1);
      if (!result && !padded) result = RESULT_NOT_COMPLETE;
    }
  }
  int finish = FinishPicture(context, 0, 0, nullptr);
  return result ? result : finish;
}

// ---------------------------------------------------------------------------
// DXT1 and DXT3.

struct Rgba8 {
  uint8_t r, g, b, a;
};

inline Rgba8 Expand565(uint16_t c) {
  return Rgba8{(uint8_t)((c >> 8) & 0xF8), (uint8_t)((c >> 3) & 0xFC), (uint8_t)((c << 3) & 0xF8), 255};
}

// The four colours of a colour block; `threeColour` allows DXT1's mode with
// a transparent fourth colour.
void BlockColours(const uint8_t* block, bool threeColour, Rgba8 colours[4]) {
  const uint16_t c0 = Le16(block), c1 = Le16(block + 2);
  const Rgba8 a = Expand565(c0), b = Expand565(c1);
  colours[0] = a;
  colours[1] = b;
  if (!threeColour || c0 > c1) {
    colours[2] = Rgba8{(uint8_t)((2 * a.r + b.r + 1) / 3), (uint8_t)((2 * a.g + b.g + 1) / 3),
                       (uint8_t)((2 * a.b + b.b + 1) / 3), 255};
    colours[3] = Rgba8{(uint8_t)((a.r + 2 * b.r + 1) / 3), (uint8_t)((a.g + 2 * b.g + 1) / 3),
                       (uint8_t)((a.b + 2 * b.b + 1) / 3), 255};
  } else {
    colours[2] = Rgba8{(uint8_t)((a.r + b.r) / 2), (uint8_t)((a.g + b.g) / 2), (uint8_t)((a.b + b.b) / 2), 255};
    colours[3] = Rgba8{(uint8_t)((a.r + 2 * b.r + 1) / 3), (uint8_t)((a.g + 2 * b.g + 1) / 3),
                       (uint8_t)((a.b + 2 * b.b + 1) / 3), 0};
  }
}

int ReadDxtPicture(ByteSource& in, LoadContext* context, SourceFormat& format, bool dxt3,
                   int64_t base) {
  format.bitsPerPlane = 32;
  format.planes = 1;
  format.flags = 0;
  format.rowsPerCall = 4;
  // The pipeline refuses sizes beyond its limits; keep the product in range.
  format.bytesPerPlane = (int32_t)std::min<int64_t>((int64_t)format.width * 4, INT32_MAX);
  format.layout = LAYOUT_BOTTOM_UP;
  int r = StartPicture(context, &format);
  if (r != 0) return r;

  const int width = format.width, height = format.height;
  const int blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
  const size_t blockBytes = dxt3 ? 16 : 8;
  const size_t stride = format.rowStride > 0 ? (size_t)format.rowStride : (size_t)width * 4;
  std::vector<uint8_t> blocks((size_t)blocksWide * blockBytes);
  int result = 0;
  if (!in.Seek(base + kDxtDataOffset)) result = RESULT_NOT_COMPLETE;
  for (int by = 0; by < blocksHigh && !result; ++by) {
    if (in.Read(blocks.data(), blocks.size()) != blocks.size()) {
      result = RESULT_NOT_COMPLETE;
      break;
    }
    const int rows = std::min(4, height - by * 4);
    for (int bx = 0; bx < blocksWide; ++bx) {
      const uint8_t* block = blocks.data() + bx * blockBytes;
      const uint8_t* colourBlock = dxt3 ? block + 8 : block;
      Rgba8 colours[4];
      BlockColours(colourBlock, !dxt3, colours);
      const uint32_t indices = Le32(colourBlock + 4);
      for (int py = 0; py < rows; ++py) {
        uint8_t* out = format.rowBuffer + py * stride;
        for (int px = 0; px < 4; ++px) {
          const int x = bx * 4 + px;
          if (x >= width) break;
          const int i = py * 4 + px;
          Rgba8 c = colours[(indices >> (2 * i)) & 3];
          if (dxt3) {
            const uint8_t nibbles = block[i >> 1];
            c.a = (uint8_t)(((i & 1) ? nibbles >> 4 : nibbles & 0x0F) * 17);
          }
          uint8_t* p = out + (size_t)x * 4;
          p[0] = c.r;
          p[1] = c.g;
          p[2] = c.b;
          p[3] = c.a;
        }
      }
    }
    result = DeliverRows(context, -1, by * 4, rows);
  }
  int finish = FinishPicture(context, 0, 0, nullptr);
  return result ? result : finish;
}

// ---------------------------------------------------------------------------

// The common reader: `description` replaces the format text when given, and
// `base` is where the bitmap starts in the stream (offsets in the file are
// counted from there).
int ReadBitmap(FileStream* stream, LoadContext* context, const char* description, int64_t base) {
  ByteSource in(stream);
  uint8_t raw[kFileHeaderSize + kInfoHeaderSize] = {};
  if (!in.Seek(base)) return RESULT_NOT_RECOGNISED;
  const size_t got = in.Read(raw, sizeof raw);
  if (got < kFileHeaderSize + 4 || Le16(raw) != 0x4D42) return RESULT_NOT_RECOGNISED;

  BitmapHeader h;
  h.dataOffset = Le32(raw + 10);
  h.headerSize = Le32(raw + 14);
  int64_t position;  // where the masks or the palette follow, from base
  if (h.headerSize == kOs2HeaderSize) {
    // The OS/2 header needs only its own 12 bytes, so that tiny OS/2
    // files are not refused for lacking the longer Windows header.
    if (got < kFileHeaderSize + kOs2HeaderSize) return RESULT_NOT_RECOGNISED;
    h.os2 = true;
    h.width = Le16(raw + 18);
    h.height = Le16(raw + 20);
    h.planes = Le16(raw + 22);
    h.bitCount = Le16(raw + 24);
    position = kFileHeaderSize + kOs2HeaderSize;
  } else if (h.headerSize >= kInfoHeaderSize) {
    if (got < sizeof raw) return RESULT_NOT_RECOGNISED;
    h.width = (int32_t)Le32(raw + 18);
    h.height = (int32_t)Le32(raw + 22);
    h.planes = Le16(raw + 26);
    h.bitCount = Le16(raw + 28);
    h.compression = Le32(raw + 30);
    h.xPixelsPerMetre = Le32(raw + 38);
    h.yPixelsPerMetre = Le32(raw + 42);
    h.coloursUsed = Le32(raw + 46);
    position = kFileHeaderSize + kInfoHeaderSize;
    // Longer headers: the colour masks of a direct-colour picture sit
    // right after the first 40 bytes (from the 52-byte version on, which
    // holds red, green and blue; 56 bytes and more add alpha); otherwise
    // skip to the header's end.
    if (h.headerSize != kInfoHeaderSize && (h.headerSize < kMaskHeaderSize || h.bitCount < 15))
      position += (int64_t)h.headerSize - kInfoHeaderSize;
  } else {
    return RESULT_NOT_RECOGNISED;
  }
  switch (h.compression) {
    case kBiRgb:
    case kBiRle8:
    case kBiRle4:
    case kBiBitFields:
    case kBiDxt1:
    case kBiDxt3:
      break;
    default:
      return RESULT_NOT_RECOGNISED;
  }

  const uint64_t totalBits = (uint64_t)h.planes * h.bitCount;
  const bool dxt = h.compression == kBiDxt1 || h.compression == kBiDxt3;
  const int64_t width = h.width < 0 ? -h.width : h.width;
  const int64_t height = h.height < 0 ? -h.height : h.height;

  SourceFormat format;
  InitSourceFormat(&format);
  const char* text = dxt ? "Windows Bitmap (DXT)" : h.os2 ? "OS/2 Bitmap" : "Windows Bitmap";
  if (description) text = description;
  snprintf(format.formatText, sizeof format.formatText, "%s", text);
  format.layout = (h.height > 0 || dxt) ? LAYOUT_BOTTOM_UP : 0;
  if (h.compression == kBiRle8 || h.compression == kBiRle4) format.compression = COMPRESSION_RLE;
  format.xDpi = DpiFromPixelsPerMetre(h.xPixelsPerMetre);
  format.yDpi = DpiFromPixelsPerMetre(h.yPixelsPerMetre);

  if (dxt) {
    // The pipeline checks the size of DXT pictures.
    format.width = (int32_t)std::min<int64_t>(width, INT32_MAX);
    format.height = (int32_t)std::min<int64_t>(height, INT32_MAX);
    return ReadDxtPicture(in, context, format, h.compression == kBiDxt3, base);
  }
  if (width == 0 || height == 0 || width >= 32000 || height >= 32000) {
    SetReaderMessage(context, kBadSizeMessage);
    return RESULT_BAD_SIZE;
  }
  format.width = (int32_t)width;
  format.height = (int32_t)height;
  // Only small plane and bit counts reach the pipeline (see the cases below).
  format.planes = (int16_t)std::min<uint32_t>(h.planes, 32767);
  format.bitsPerPlane = (int16_t)std::min<uint32_t>(h.bitCount, 32767);

  if (totalBits >= 15) {
    if (totalBits > 32) return RESULT_NOT_RECOGNISED;
    return ReadDirectColourPicture(in, context, format, h, (uint32_t)totalBits, position, base);
  }
  return ReadPalettePicture(in, context, format, h, (uint32_t)totalBits, position, base);
}

// ---------------------------------------------------------------------------
// Writer.

// RLE8 encoding of one row of indexes, ending with the end-of-line escape.
void EncodeRle8Row(const uint8_t* row, int width, std::vector<uint8_t>& out) {
  int i = 0;
  while (i < width) {
    // A run of equal bytes.
    int run = 1;
    while (i + run < width && run < 255 && row[i + run] == row[i]) ++run;
    if (run >= 2) {
      out.push_back((uint8_t)run);
      out.push_back(row[i]);
      i += run;
      continue;
    }
    // A literal stretch: up to where two equal bytes start a run.
    int n = 1;
    while (i + n < width && n < 254 && !(i + n + 1 < width && row[i + n] == row[i + n + 1])) ++n;
    if (n == 1) {
      out.push_back(1);
      out.push_back(row[i]);
    } else if (n == 2) {
      out.push_back(1);
      out.push_back(row[i]);
      out.push_back(1);
      out.push_back(row[i + 1]);
    } else {
      out.push_back(0);
      out.push_back((uint8_t)n);
      out.insert(out.end(), row + i, row + i + n);
      if (n & 1) out.push_back(0);
    }
    i += n;
  }
  out.push_back(0);
  out.push_back(0);
}

// RLE4 encoding of one row of 4-bit indexes (one per byte here).
void EncodeRle4Row(const uint8_t* nibbles, int width, std::vector<uint8_t>& out) {
  int i = 0;
  while (i < width) {
    int run = 1;
    while (i + run < width && run < 255 && nibbles[i + run] == nibbles[i]) ++run;
    if (run >= 2) {
      out.push_back((uint8_t)run);
      out.push_back((uint8_t)(nibbles[i] << 4 | nibbles[i]));
      i += run;
      continue;
    }
    int n = 1;
    while (i + n < width && n < 254 && !(i + n + 1 < width && nibbles[i + n] == nibbles[i + n + 1])) ++n;
    if (n == 1) {
      out.push_back(1);
      out.push_back((uint8_t)(nibbles[i] << 4));
    } else if (n == 2) {
      out.push_back(2);
      out.push_back((uint8_t)(nibbles[i] << 4 | nibbles[i + 1]));
    } else {
      out.push_back(0);
      out.push_back((uint8_t)n);
      const int bytes = (n + 1) / 2;
      for (int k = 0; k < bytes; ++k) {
        uint8_t hi = nibbles[i + 2 * k];
        uint8_t lo = 2 * k + 1 < n ? nibbles[i + 2 * k + 1] : 0;
        out.push_back((uint8_t)(hi << 4 | lo));
      }
      if (bytes & 1) out.push_back(0);
    }
    i += n;
  }
  out.push_back(0);
  out.push_back(0);
}

}  // namespace

int ReadBmp(FileStream* stream, LoadContext* context) { return ReadBitmap(stream, context, nullptr, 0); }

int WriteBmp(const char16_t* path, SaveContext* context) {
  const bool os2 = context->options.os2Bitmap != 0;
  const int width = context->width, height = context->height;
  int bits;
  int entries;
  if (context->pixelType == PIXEL_BW) {
    bits = 1;
    entries = 2;
  } else if (context->pixelType & (PIXEL_INDEXED | PIXEL_GREY)) {
    if (context->paletteCount <= 16) {
      bits = 4;
      entries = 16;
    } else {
      bits = 8;
      entries = 256;
    }
  } else {
    bits = context->bitsPerPixel == 32 ? 32 : 24;
    entries = 0;
  }
  if (width < 1 || height < 1) return RESULT_CANNOT_STORE;
  if (os2 && (width > 0xFFFF || height > 0xFFFF)) return RESULT_CANNOT_STORE;
  const bool rleAsked = context->options.rle != 0;
  uint32_t compression = kBiRgb;
  if (rleAsked && !os2 && bits == 8) compression = kBiRle8;
  if (rleAsked && !os2 && bits == 4) compression = kBiRle4;

  TargetFormat target;
  InitTargetFormat(&target);
  target.layout = LAYOUT_BOTTOM_UP;
  target.planes = 1;
  target.rowsPerCall = 1;
  if (entries == 0) {
    target.flags = bits == 24 ? SRC_ORDER_BGR_ABGR : SRC_ORDER_BGR_BGRA;
    target.bitsPerPlane = (uint16_t)bits;
    target.bitsPerSample = 8;
    target.bytesPerPlane = (uint32_t)width * (bits / 8);
  } else {
    target.flags = 0;
    target.bitsPerPlane = (uint16_t)bits;
    target.bitsPerSample = (uint16_t)bits;
    target.bytesPerPlane = (uint32_t)(((uint64_t)width * bits + 7) / 8);
  }
  snprintf(target.formatName, sizeof target.formatName, "%s%s", os2 ? "OS/2 Bitmap" : "Windows Bitmap",
           rleAsked ? " (RLE)" : "");

  const uint32_t rowBytes = target.bytesPerPlane;
  const uint32_t storedRowBytes = (rowBytes + 3) & ~3u;
  const uint32_t headerSize = os2 ? kOs2HeaderSize : kInfoHeaderSize;
  const uint32_t dataOffset = kFileHeaderSize + headerSize + (uint32_t)entries * (os2 ? 3 : 4);

  FileStream* stream = StreamOpen(path, STREAM_WRITE_BINARY);
  if (!stream) return RESULT_CANNOT_CREATE;

  // Headers.
  uint8_t header[kFileHeaderSize + kInfoHeaderSize] = {};
  header[0] = 'B';
  header[1] = 'M';
  PutLe32(header + 10, dataOffset);
  PutLe32(header + 14, headerSize);
  if (os2) {
    PutLe16(header + 18, (uint32_t)width);
    PutLe16(header + 20, (uint32_t)height);
    PutLe16(header + 22, 1);
    PutLe16(header + 24, (uint32_t)bits);
  } else {
    PutLe32(header + 18, (uint32_t)width);
    PutLe32(header + 22, (uint32_t)height);
    PutLe16(header + 26, 1);
    PutLe16(header + 28, (uint32_t)bits);
    PutLe32(header + 30, compression);
    PutLe32(header + 38, (uint32_t)(context->xDpi * 39.371370451786476));
    PutLe32(header + 42, (uint32_t)(context->yDpi * 39.371370451786476));
  }
  int result = 0;
  const size_t headerBytes = kFileHeaderSize + headerSize;
  if (StreamWrite(stream, header, headerBytes) != headerBytes) result = RESULT_WRITE_ERROR;

  // Palette: B, G, R (and a zero byte in Windows files).
  if (!result && entries) {
    std::vector<uint8_t> palette;
    for (int i = 0; i < entries; ++i) {
      palette.push_back(context->palette[512 + i]);
      palette.push_back(context->palette[256 + i]);
      palette.push_back(context->palette[i]);
      if (!os2) palette.push_back(0);
    }
    if (StreamWrite(stream, palette.data(), palette.size()) != palette.size()) result = RESULT_WRITE_ERROR;
  }

  bool begun = false;
  if (!result) {
    result = BeginRowOutput(context, &target);
    begun = result == 0;
  }
  if (begun) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> nibbles(compression == kBiRle4 ? (size_t)width : 0);
    out.reserve(storedRowBytes + 16);
    for (int y = 0; y < height && !result; ++y) {
      result = FetchRow(context, y == 0 ? 0 : -1, 1);
      if (result) break;
      const uint8_t* row = target.rowBuffer;
      out.clear();
      if (compression == kBiRle8) {
        EncodeRle8Row(row, width, out);
      } else if (compression == kBiRle4) {
        for (int x = 0; x < width; ++x) nibbles[x] = (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
        EncodeRle4Row(nibbles.data(), width, out);
      } else {
        out.assign(row, row + rowBytes);
        out.resize(storedRowBytes, 0);
      }
      if (compression != kBiRgb && y == height - 1) {
        out.push_back(0);
        out.push_back(1);
      }
      if (StreamWrite(stream, out.data(), out.size()) != out.size()) result = RESULT_WRITE_ERROR;
    }
    EndRowOutput(context);
  }

  // The file size, now that it is known.
  int64_t length = StreamTell(stream);
  uint8_t size[4];
  PutLe32(size, length > 0 ? (uint32_t)length : 0);
  if (StreamSeek(stream, 2) != 0 || StreamWrite(stream, size, 4) != 4) {
    if (!result) result = RESULT_WRITE_ERROR;
  }
  if (fflush(stream->file) != 0 && !result) result = RESULT_WRITE_ERROR;
  StreamClose(stream);
  return result;
}
