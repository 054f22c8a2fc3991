// Windows icon reader: the directory, one icon chosen by imageIndex, 1- to
// 32-bit device-independent bitmaps, and optionally the AND mask as alpha.
#include <cstring>
#include <vector>

#include "imagelib/codecs/buffered_input.h"
#include "imagelib/core/reader_contract.h"

namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kMaxIconSide = 16000;

struct IconEntry {
  uint32_t size;
  uint32_t offset;
};

uint32_t RowBytes(uint32_t width, uint32_t bits) {
  return (uint32_t)((((uint64_t)width * bits + 31) / 32) * 4);
}

}  // namespace

int ReadIco(FileStream* stream, LoadContext* context) {
  BufferedInput in(stream);
  const uint16_t reserved = in.U16LE();
  const uint16_t type = in.U16LE();
  const uint16_t count = in.U16LE();
  if (in.HitEnd()) return RESULT_NOT_COMPLETE;
  if (reserved != 0 || type == 0 || count == 0) return RESULT_NOT_RECOGNISED;

  std::vector<IconEntry> directory(count);
  for (IconEntry& entry : directory) {
    uint8_t record[16];
    if (in.Read(record, sizeof record) != sizeof record) return RESULT_NOT_RECOGNISED;
    entry.size = (uint32_t)record[8] | (uint32_t)record[9] << 8 | (uint32_t)record[10] << 16 |
                 (uint32_t)record[11] << 24;
    entry.offset = (uint32_t)record[12] | (uint32_t)record[13] << 8 | (uint32_t)record[14] << 16 |
                   (uint32_t)record[15] << 24;
  }
  context->imageCount = count;

  const int32_t index = context->options.imageIndex;
  if (index >= 0 && index < count) {
    if (!in.Seek(directory[(size_t)index].offset)) return RESULT_NOT_RECOGNISED;
  }

  // Bitmap info header.
  const uint32_t headerSize = in.U32LE();
  const uint32_t width = in.U32LE();
  const uint32_t storedHeight = in.U32LE();
  const uint16_t planes = in.U16LE();
  const uint16_t bits = in.U16LE();
  for (int i = 0; i < 6; ++i) in.U32LE();
  if (in.HitEnd()) return RESULT_NOT_RECOGNISED;
  if (headerSize != kInfoHeaderSize || width == 0 || width >= kMaxIconSide || storedHeight == 0 ||
      storedHeight >= kMaxIconSide || planes != 1)
    return RESULT_NOT_RECOGNISED;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return RESULT_NOT_RECOGNISED;
  const int height = (int)(storedHeight / 2);

  // Palette: 2^bits entries of B, G, R, reserved, kept as B, G, R.
  uint8_t palette[256 * 3];
  memset(palette, 0, sizeof palette);
  if (bits <= 8) {
    const int entries = 1 << bits;
    for (int i = 0; i < entries; ++i) {
      uint8_t e[4];
      if (in.Read(e, 4) != 4) return RESULT_NOT_COMPLETE;
      memcpy(palette + i * 3, e, 3);
    }
  }

  const bool maskAlpha = context->options.iconMaskAlpha && (bits == 4 || bits == 8 || bits == 24);
  const uint32_t rowBytes = RowBytes(width, bits);

  SourceFormat header;
  InitSourceFormat(&header);
  strcpy(header.formatText, "Windows Icon");
  header.layout = LAYOUT_BOTTOM_UP;
  header.width = (int32_t)width;
  header.height = height;
  header.planes = 1;
  if (maskAlpha) {
    header.flags = SRC_ORDER_BGR_BGRA;
    header.bitsPerPlane = 32;
    header.bytesPerPlane = (int32_t)width * 4;
    header.storedBitsPerSample = bits;
  } else {
    header.bitsPerPlane = (int16_t)bits;
    header.bytesPerPlane = (int32_t)rowBytes;
    if (bits == 16) header.flags = 0x80;  // 5-5-5
    else if (bits == 24) header.flags = SRC_ORDER_BGR_ABGR;
    else if (bits == 32) header.flags = SRC_ORDER_BGR_BGRA;
  }

  int result = StartPicture(context, &header);
  if (result != 0) return result;

  int status = RESULT_OK;
  if (!maskAlpha) {
    for (int y = 0; y < height; ++y) {
      size_t got = in.Read(header.rowBuffer, rowBytes);
      if (got < rowBytes) {
        memset(header.rowBuffer + got, 0, rowBytes - got);
        status = RESULT_NOT_COMPLETE;
      }
      int delivered = DeliverRows(context, -1, -1, 1);
      if (delivered != 0) return delivered;
      if (status != RESULT_OK) break;
    }
    FinishPicture(context, PAL_BGR_ORDER, 8, bits <= 8 ? palette : nullptr);
    return status;
  }

  // The AND mask as alpha: the whole picture is assembled first, since the
  // mask follows all the pixel rows.
  const size_t pixelRow = (size_t)width * 4;
  const uint64_t total = (uint64_t)pixelRow * (uint64_t)height;
  if (total > context->options.memoryCap) return RESULT_NO_MEMORY;
  std::vector<uint8_t> picture;
  picture.resize((size_t)total);
  std::vector<uint8_t> stored(rowBytes);
  for (int y = 0; y < height && status == RESULT_OK; ++y) {
    size_t got = in.Read(stored.data(), rowBytes);
    if (got < rowBytes) {
      memset(stored.data() + got, 0, rowBytes - got);
      status = RESULT_NOT_COMPLETE;
    }
    uint8_t* d = picture.data() + (size_t)y * pixelRow;
    const uint8_t* s = stored.data();
    auto put = [](uint8_t* to, const uint8_t* bgr) {
      to[0] = bgr[0];
      to[1] = bgr[1];
      to[2] = bgr[2];
      to[3] = 255;
    };
    if (bits == 24) {
      for (uint32_t x = 0; x < width; ++x) put(d + (size_t)x * 4, s + (size_t)x * 3);
    } else if (bits == 8) {
      for (uint32_t x = 0; x < width; ++x) put(d + (size_t)x * 4, palette + s[x] * 3);
    } else {
      for (uint32_t x = 0; x < width; ++x)
        put(d + (size_t)x * 4, palette + ((s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15) * 3);
    }
  }
  if (status == RESULT_OK) {
    const uint32_t maskBytes = RowBytes(width, 1);
    for (int y = 0; y < height; ++y) {
      if (in.Read(stored.data(), maskBytes) != maskBytes) {
        status = RESULT_NOT_COMPLETE;
        break;
      }
      uint8_t* d = picture.data() + (size_t)y * pixelRow;
      for (uint32_t x = 0; x < width; ++x)
        d[x * 4 + 3] = (stored[x >> 3] >> (7 - (x & 7))) & 1 ? 0 : 255;
    }
  }
  for (int y = 0; y < height; ++y) {
    memcpy(header.rowBuffer, picture.data() + (size_t)y * pixelRow, pixelRow);
    int delivered = DeliverRows(context, -1, -1, 1);
    if (delivered != 0) return delivered;
  }
  FinishPicture(context, PAL_BGR_ORDER, 8, nullptr);
  return status;
}
