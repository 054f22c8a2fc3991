// Zsoft PCX reader: 1 to 8 planes, plain or run-length encoded rows, the
// 16-colour header palette, the EGA palette of version 3 files and the
// 256-colour palette at the end of version 5 files.
#include <cstring>
#include <vector>

#include "imagelib/codecs/buffered_input.h"
#include "imagelib/core/reader_contract.h"

namespace {

constexpr uint8_t kPcxManufacturer = 10;
constexpr uint8_t kPaletteMarker = 12;
constexpr int kPaletteSearchLength = 32;

// The standard EGA colours, used by version 3 files whatever their header holds.
constexpr uint8_t kEgaPalette[16][3] = {
    {0, 0, 0},       {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
    {170, 0, 0},     {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
    {85, 85, 85},    {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
    {255, 85, 85},   {255, 85, 255}, {255, 255, 85}, {255, 255, 255},
};

uint16_t Le16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

// Decodes one stored row (all planes) into `row`; returns the number of
// bytes filled, less than `length` only when the file ended.
size_t DecodeRleRow(BufferedInput& in, uint8_t* row, size_t length) {
  size_t x = 0;
  while (x < length) {
    int c = in.Get();
    if (c < 0) break;
    if (c < 192) {
      row[x++] = (uint8_t)c;
      continue;
    }
    int value = in.Get();
    if (value < 0) break;
    size_t count = (size_t)(c & 63);
    // A run longer than the rest of the row fills it; the remainder is dropped.
    if (count > length - x) count = length - x;
    memset(row + x, value, count);
    x += count;
  }
  return x;
}

}  // namespace

int ReadPcx(FileStream* stream, LoadContext* context) {
  BufferedInput in(stream);
  uint8_t h[128];
  if (in.Read(h, sizeof h) != sizeof h) return RESULT_NOT_RECOGNISED;
  if (h[0] != kPcxManufacturer) return RESULT_NOT_RECOGNISED;

  const int version = h[1];
  const bool encoded = h[2] != 0;
  const int bits = h[3];
  const int width = (int)Le16(h + 8) - (int)Le16(h + 4) + 1;
  const int height = (int)Le16(h + 10) - (int)Le16(h + 6) + 1;
  const int planes = h[65];
  const int bytesPerLine = Le16(h + 66);
  if (width < 1 || height < 1 || planes < 1 || planes > 8 || bits < 1 || bits > 31) {
    SetReaderMessage(context, "Pcx : Bad picture's size !");
    return RESULT_NOT_RECOGNISED;
  }

  // Palette of up to 256 R, G, B entries; the header's 16 first.
  uint8_t palette[256 * 3];
  memset(palette, 0, sizeof palette);
  if (version == 3) {
    memcpy(palette, kEgaPalette, sizeof kEgaPalette);
  } else {
    memcpy(palette, h + 16, 48);
  }

  const int64_t needed64 = ((int64_t)width * bits + 7) / 8;
  if (needed64 > 0x7FFFFFFF / 8) {
    SetReaderMessage(context, "Pcx : Bad picture's size !");
    return RESULT_NOT_RECOGNISED;
  }
  const size_t needed = (size_t)needed64;
  const size_t storedRow = (size_t)planes * bytesPerLine;
  // Planes are delivered at the stored line length, or, when a line is too
  // short for its pixels, zero-padded to what they need.
  const size_t deliveredPlane = (size_t)bytesPerLine < needed ? needed : (size_t)bytesPerLine;

  SourceFormat header;
  InitSourceFormat(&header);
  strcpy(header.formatText, "Zsoft Paintbrush");
  header.width = width;
  header.height = height;
  header.planes = (int16_t)planes;
  header.bitsPerPlane = (int16_t)bits;
  header.bytesPerPlane = (int32_t)deliveredPlane;
  header.xDpi = Le16(h + 12);
  header.yDpi = Le16(h + 14);
  header.compression = encoded ? COMPRESSION_RLE : COMPRESSION_NONE;
  if (bits == 15 || bits == 16) header.flags = 0x80;  // 5-5-5 pixels
  else if (planes > 1) header.flags = SRC_PLANES_IN_ROW;
  // Single-plane direct colour is stored B, G, R (A), as the writers of such
  // files (Apache Commons Imaging among them) store it.
  else if (bits == 24) header.flags = SRC_ORDER_BGR_ABGR;
  else if (bits == 32) header.flags = SRC_ORDER_BGR_BGRA;

  int result = StartPicture(context, &header);
  if (result != 0) return result;

  std::vector<uint8_t> stored(storedRow ? storedRow : 1);
  int status = RESULT_OK;
  for (int y = 0; y < height; ++y) {
    size_t got = encoded ? DecodeRleRow(in, stored.data(), storedRow) : in.Read(stored.data(), storedRow);
    if (got < storedRow) {
      memset(stored.data() + got, 0, storedRow - got);
      status = RESULT_NOT_COMPLETE;
    }
    if (deliveredPlane == (size_t)bytesPerLine) {
      memcpy(header.rowBuffer, stored.data(), storedRow);
    } else {
      uint8_t* out = header.rowBuffer;
      for (int p = 0; p < planes; ++p) {
        memcpy(out + p * deliveredPlane, stored.data() + (size_t)p * bytesPerLine, (size_t)bytesPerLine);
        memset(out + p * deliveredPlane + bytesPerLine, 0, deliveredPlane - bytesPerLine);
      }
    }
    int delivered = DeliverRows(context, -1, -1, 1);
    if (delivered != 0) return delivered;
    if (status != RESULT_OK) break;
  }

  const int totalBits = planes * bits;
  bool havePalette = false;
  if (status == RESULT_OK && version == 5) {
    for (int i = 0; i < kPaletteSearchLength; ++i) {
      int c = in.Get();
      if (c < 0) break;
      if (c != kPaletteMarker) continue;
      if (totalBits <= 8) {
        size_t entries = (size_t)1 << totalBits;
        if (in.Read(palette, entries * 3) != entries * 3) status = RESULT_NOT_COMPLETE;
        havePalette = true;
      }
      break;
    }
  }
  if (!havePalette && totalBits >= 3 && totalBits <= 7) havePalette = true;
  FinishPicture(context, PAL_RGB3, 8, havePalette ? palette : nullptr);
  return status;
}
