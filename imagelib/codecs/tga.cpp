// Truevision Targa: reader for colour-mapped, true-colour and grey pictures,
// plain or run-length encoded, and writer of the 8-, 24- and 32-bit variants.
#include <cstdio>
#include <cstring>
#include <vector>

#include "imagelib/codecs/buffered_input.h"
#include "imagelib/core/reader_contract.h"

namespace {

constexpr int kMaxTargaSide = 15001;

enum : uint8_t {
  TGA_MAPPED = 1,
  TGA_TRUE_COLOUR = 2,
  TGA_GREY = 3,
  TGA_RLE_MAPPED = 9,
  TGA_RLE_TRUE_COLOUR = 10,
  TGA_RLE_GREY = 11,
};

enum : uint8_t {
  TGA_TOP_DOWN = 0x20,
  TGA_RIGHT_TO_LEFT = 0x10,
};

uint16_t Le16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

bool KnownImageType(int type) {
  return type == TGA_MAPPED || type == TGA_TRUE_COLOUR || type == TGA_GREY ||
         type == TGA_RLE_MAPPED || type == TGA_RLE_TRUE_COLOUR || type == TGA_RLE_GREY;
}

// Colour map entries of 15 or 16 bits (5-5-5, blue in the low bits) as
// 8-bit components.
uint8_t Scale5(int c) { return (uint8_t)(c * 255 / 31); }

// Pulls pixel units (one byte for 1- and 8-bit pictures, 2, 3 or 4 bytes
// otherwise) from plain or run-length encoded data. Run packets may cross
// row ends, so the packet state lives between rows.
class TargaPixelSource {
 public:
  TargaPixelSource(BufferedInput& in, int unitBytes, bool rle)
      : in_(in), unitBytes_(unitBytes), rle_(rle) {}

  // Fills `units` pixel units; false when the data ended first (the units
  // read so far are in place, the rest zeroed).
  bool Fill(uint8_t* out, int units) {
    const size_t rowBytes = (size_t)units * unitBytes_;
    if (!rle_) {
      size_t got = in_.Read(out, rowBytes);
      if (got < rowBytes) {
        memset(out + got, 0, rowBytes - got);
        return false;
      }
      return true;
    }
    int x = 0;
    while (x < units) {
      if (left_ == 0) {
        int h = in_.Get();
        if (h < 0) break;
        run_ = (h & 0x80) != 0;
        left_ = (h & 0x7F) + 1;
        if (run_ && in_.Read(runPixel_, unitBytes_) != (size_t)unitBytes_) {
          left_ = 0;
          break;
        }
      }
      int n = left_ < units - x ? left_ : units - x;
      uint8_t* d = out + (size_t)x * unitBytes_;
      if (run_) {
        if (unitBytes_ == 1) {
          memset(d, runPixel_[0], (size_t)n);
        } else {
          for (int i = 0; i < n; ++i) memcpy(d + (size_t)i * unitBytes_, runPixel_, unitBytes_);
        }
      } else {
        size_t want = (size_t)n * unitBytes_;
        size_t got = in_.Read(d, want);
        if (got < want) {
          x += (int)(got / unitBytes_);
          left_ = 0;
          break;
        }
      }
      x += n;
      left_ -= n;
    }
    if (x < units) {
      memset(out + (size_t)x * unitBytes_, 0, (size_t)(units - x) * unitBytes_);
      return false;
    }
    return true;
  }

 private:
  BufferedInput& in_;
  int unitBytes_;
  bool rle_;
  bool run_ = false;
  int left_ = 0;
  uint8_t runPixel_[4] = {0, 0, 0, 0};
};

}  // namespace

int ReadTga(FileStream* stream, LoadContext* context) {
  BufferedInput in(stream);
  uint8_t h[18];
  size_t got = in.Read(h, sizeof h);
  if (got < 17) return RESULT_NOT_RECOGNISED;

  const int idLength = h[0];
  const int mapType = h[1];
  const int type = h[2];
  const int firstEntry = Le16(h + 3);
  const int mapLength = Le16(h + 5);
  const int entrySize = h[7];
  const int width = Le16(h + 12);
  const int height = Le16(h + 14);
  const int depth = h[16];

  if (mapType > 1 || !KnownImageType(type)) return RESULT_NOT_RECOGNISED;
  if (mapType) {
    if (mapLength == 0 || mapLength > 256 || firstEntry > mapLength) return RESULT_NOT_RECOGNISED;
    if (entrySize == 0) return RESULT_NOT_RECOGNISED;
  }
  // Entry sizes of 15 and 16 bits (5-5-5) are accepted besides 24 and 32:
  // TrueVision's own sample files use them.
  if (entrySize != 0 && entrySize != 15 && entrySize != 16 && entrySize != 24 && entrySize != 32)
    return RESULT_NOT_RECOGNISED;
  if (width >= kMaxTargaSide || height >= kMaxTargaSide) return RESULT_NOT_RECOGNISED;
  if (depth != 1 && depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32)
    return RESULT_NOT_RECOGNISED;
  const bool mapped = type == TGA_MAPPED || type == TGA_RLE_MAPPED;
  if (mapped && depth > 8) return RESULT_NOT_RECOGNISED;
  if (got < 18) return RESULT_NOT_COMPLETE;
  const int descriptor = h[17];

  // Image ID: the comment.
  if (idLength > 0) {
    char id[256];
    if (in.Read(id, (size_t)idLength) != (size_t)idLength) return RESULT_NOT_COMPLETE;
    id[idLength] = 0;
    int length = (int)strnlen(id, (size_t)idLength);
    if (length > 0 && (context->options.flags & LOAD_KEEP_COMMENT)) SetComment(context, id, length);
  }

  // Colour map, placed at its first entry in a zeroed 256-entry B, G, R table.
  uint8_t palette[256 * 3];
  memset(palette, 0, sizeof palette);
  const bool readMap = (mapType != 0 || mapped) && depth <= 8 && entrySize != 0;
  if (readMap) {
    const int entryBytes = (entrySize + 7) / 8;
    for (int i = 0; i < mapLength; ++i) {
      uint8_t e[4];
      if (in.Read(e, (size_t)entryBytes) != (size_t)entryBytes) return RESULT_NOT_COMPLETE;
      int slot = firstEntry + i;
      if (slot >= 256) continue;
      uint8_t* p = palette + slot * 3;
      if (entryBytes == 2) {
        int v = e[0] | (e[1] << 8);
        p[0] = Scale5(v & 31);
        p[1] = Scale5((v >> 5) & 31);
        p[2] = Scale5((v >> 10) & 31);
      } else {
        p[0] = e[0];
        p[1] = e[1];
        p[2] = e[2];
      }
    }
  }
  // Map entries take whole bytes (two for 15-bit entries).
  int64_t pixelStart = 18 + (int64_t)idLength;
  if (mapType != 0) pixelStart += (int64_t)((entrySize + 7) / 8) * mapLength;
  if (in.Tell() != pixelStart && !in.Seek(pixelStart)) return RESULT_NOT_COMPLETE;

  // Grey pictures of 16 bits hold grey and alpha; they are widened to
  // B, G, R, A here, since the 16-bit layouts of the pipeline are colour.
  const bool greyAlpha = (type == TGA_GREY || type == TGA_RLE_GREY) && depth == 16;
  const int unitBytes = depth <= 8 ? 1 : (depth + 7) / 8;
  const int units = depth == 1 ? (width + 7) / 8 : width;

  SourceFormat header;
  InitSourceFormat(&header);
  snprintf(header.formatText, sizeof header.formatText, "Truevision TARGA (Type %d)", type);
  header.layout = (descriptor & TGA_TOP_DOWN) ? 0 : LAYOUT_BOTTOM_UP;
  if (descriptor & TGA_RIGHT_TO_LEFT) header.layout |= LAYOUT_MIRRORED;
  header.width = width;
  header.height = height;
  header.planes = 1;
  header.bitsPerPlane = (int16_t)depth;
  header.bytesPerPlane = units * unitBytes;
  header.compression = type >= TGA_RLE_MAPPED ? COMPRESSION_RLE : COMPRESSION_NONE;
  if (greyAlpha) {
    header.flags = SRC_ORDER_BGR_BGRA;
    header.bitsPerPlane = 32;
    header.bytesPerPlane = width * 4;
  } else if (depth == 15 || depth == 16) {
    header.flags = 0x80;  // 5-5-5, the top bit ignored
  } else if (depth == 24) {
    header.flags = SRC_ORDER_BGR_ABGR;
  } else if (depth == 32) {
    header.flags = SRC_ORDER_BGR_BGRA;
  }

  int result = StartPicture(context, &header);
  if (result != 0) return result;

  std::vector<uint8_t> scratch;
  if (greyAlpha) scratch.resize((size_t)units * unitBytes);
  TargaPixelSource source(in, unitBytes, type >= TGA_RLE_MAPPED);
  int status = RESULT_OK;
  for (int y = 0; y < height; ++y) {
    uint8_t* target = greyAlpha ? scratch.data() : header.rowBuffer;
    bool complete = source.Fill(target, units);
    if (greyAlpha) {
      uint8_t* d = header.rowBuffer;
      for (int x = 0; x < width; ++x, d += 4) {
        d[0] = d[1] = d[2] = scratch[(size_t)x * 2];
        d[3] = scratch[(size_t)x * 2 + 1];
      }
    }
    if (!complete) status = RESULT_NOT_COMPLETE;
    int delivered = DeliverRows(context, -1, -1, 1);
    if (delivered != 0) return delivered;
    if (!complete) break;
  }

  if (mapped) {
    FinishPicture(context, PAL_BGR_ORDER, 8, palette);
  } else {
    FinishPicture(context, PAL_RGB3, 8, nullptr);
  }
  return status;
}

namespace {

// Writes run-length packets for one row of `count` pixels of `size` bytes;
// packets never cross rows.
size_t EncodeTargaRow(const uint8_t* row, int count, int size, uint8_t* out) {
  auto same = [&](int a, int b) {
    return memcmp(row + (size_t)a * size, row + (size_t)b * size, (size_t)size) == 0;
  };
  uint8_t* o = out;
  int i = 0;
  while (i < count) {
    if (i + 1 < count && same(i, i + 1)) {
      int j = i + 1;
      while (j < count && j - i < 128 && same(j, i)) ++j;
      *o++ = (uint8_t)(128 + (j - i) - 1);
      memcpy(o, row + (size_t)i * size, (size_t)size);
      o += size;
      i = j;
    } else {
      int j = i + 1;
      while (j < count && j - i < 128 && !(j + 1 < count && same(j, j + 1))) ++j;
      *o++ = (uint8_t)((j - i) - 1);
      memcpy(o, row + (size_t)i * size, (size_t)(j - i) * size);
      o += (size_t)(j - i) * size;
      i = j;
    }
  }
  return (size_t)(o - out);
}

struct StreamCloser {
  FileStream* stream;
  ~StreamCloser() { StreamClose(stream); }
};

}  // namespace

int WriteTga(const char16_t* path, SaveContext* context) {
  const bool rle = context->options.rle != 0;
  const int width = context->width;
  const int height = context->height;
  if (width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF) return RESULT_CANNOT_STORE;

  enum Variant { kTrue24, kTrue32, kGrey, kBilevel, kPalette } variant;
  if (context->pixelType == PIXEL_ANYCOLOUR) {
    variant = context->bitsPerPixel == 32 ? kTrue32 : kTrue24;
  } else if (context->pixelType == PIXEL_BW) {
    variant = kBilevel;
  } else if (context->pixelType == PIXEL_INDEXED) {
    variant = kPalette;
  } else {
    variant = kGrey;
  }

  TargetFormat target;
  InitTargetFormat(&target);
  target.layout = 0;
  target.planes = 1;
  int pixelBytes = 1;
  int imageType = 0;
  int depth = 8;
  bool compress = rle;
  switch (variant) {
    case kTrue24:
      target.flags = SRC_ORDER_BGR_ABGR;
      target.bitsPerPlane = 24;
      pixelBytes = 3;
      depth = 24;
      imageType = rle ? TGA_RLE_TRUE_COLOUR : TGA_TRUE_COLOUR;
      break;
    case kTrue32:
      target.flags = SRC_ORDER_BGR_BGRA;
      target.bitsPerPlane = 32;
      pixelBytes = 4;
      depth = 32;
      imageType = rle ? TGA_RLE_TRUE_COLOUR : TGA_TRUE_COLOUR;
      break;
    case kGrey:
      target.bitsPerPlane = 8;
      imageType = rle ? TGA_RLE_GREY : TGA_GREY;
      break;
    case kBilevel:
      target.bitsPerPlane = 1;
      depth = 1;
      imageType = TGA_GREY;
      compress = false;  // bilevel rows are never compressed
      break;
    case kPalette:
      target.bitsPerPlane = 8;
      imageType = rle ? TGA_RLE_MAPPED : TGA_MAPPED;
      break;
  }
  target.bitsPerSample = target.bitsPerPlane;
  const size_t rowBytes = variant == kBilevel ? (size_t)(width + 7) / 8 : (size_t)width * pixelBytes;
  target.bytesPerPlane = (uint32_t)rowBytes;
  snprintf(target.formatName, sizeof target.formatName, "%s", compress ? "Targa RLE" : "Targa");

  FileStream* stream = StreamOpen(path, STREAM_WRITE_BINARY);
  if (!stream) return RESULT_CANNOT_CREATE;
  StreamCloser closer{stream};

  int result = BeginRowOutput(context, &target);
  if (result != 0) return result;
  struct OutputEnder {
    SaveContext* context;
    ~OutputEnder() { EndRowOutput(context); }
  } ender{context};

  const char* comment = context->comment;
  size_t commentLength = comment ? strlen(comment) : 0;
  const int idLength = comment && commentLength < 255 ? (int)commentLength + 1 : 0;

  uint8_t h[18];
  memset(h, 0, sizeof h);
  h[0] = (uint8_t)idLength;
  h[2] = (uint8_t)imageType;
  if (variant == kPalette) {
    h[1] = 1;
    h[5] = 0;  // length 256, little-endian
    h[6] = 1;
    h[7] = 24;
  }
  h[12] = (uint8_t)(width & 0xFF);
  h[13] = (uint8_t)(width >> 8);
  h[14] = (uint8_t)(height & 0xFF);
  h[15] = (uint8_t)(height >> 8);
  h[16] = (uint8_t)depth;
  h[17] = TGA_TOP_DOWN;
  if (StreamWrite(stream, h, sizeof h) != sizeof h) return RESULT_WRITE_ERROR;
  if (idLength > 0 && StreamWrite(stream, comment, (size_t)idLength) != (size_t)idLength)
    return RESULT_WRITE_ERROR;

  if (variant == kPalette) {
    uint8_t map[256 * 3];
    for (int i = 0; i < 256; ++i) {
      map[i * 3 + 0] = context->palette[512 + i];
      map[i * 3 + 1] = context->palette[256 + i];
      map[i * 3 + 2] = context->palette[i];
    }
    if (StreamWrite(stream, map, sizeof map) != sizeof map) return RESULT_WRITE_ERROR;
  }

  // Grey levels fewer than 256 are written through the ramp.
  const bool greyRamp = variant == kGrey && context->paletteCount > 0 && context->paletteCount < 256;
  std::vector<uint8_t> work(rowBytes);
  std::vector<uint8_t> packed(compress ? rowBytes + rowBytes / 128 + (size_t)width + 16 : 0);
  for (int y = 0; y < height; ++y) {
    result = FetchRow(context, y, 1);
    if (result != 0) return result;
    const uint8_t* row = target.rowBuffer;
    if (greyRamp) {
      for (size_t i = 0; i < rowBytes; ++i) work[i] = context->palette[row[i]];
      row = work.data();
    }
    if (compress) {
      size_t n = EncodeTargaRow(row, width, pixelBytes, packed.data());
      if (StreamWrite(stream, packed.data(), n) != n) return RESULT_WRITE_ERROR;
    } else {
      if (StreamWrite(stream, row, rowBytes) != rowBytes) return RESULT_WRITE_ERROR;
    }
  }
  if (fflush(stream->file) != 0) return RESULT_WRITE_ERROR;
  return RESULT_OK;
}
