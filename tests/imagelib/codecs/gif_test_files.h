// Builds small GIF files byte by byte for the GIF tests. The image data is
// written with the simplest valid LZW stream (one code per pixel, a clear
// code often enough that the code width never grows), so the files do not
// depend on the library's own encoder. Also ImageMagick's frames of a file.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace gif_test_files {

// Pixels in the order GIF stores them: rows top to bottom, or the four
// interlace passes (from row 0 every 8th, from 4 every 8th, from 2 every
// 4th, from 1 every 2nd).
inline std::vector<uint8_t> StoredOrder(const std::vector<uint8_t>& pixels, int width, int height,
                                        bool interlaced) {
  if (!interlaced) return pixels;
  std::vector<uint8_t> out;
  const int start[4] = {0, 4, 2, 1};
  const int step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = start[pass]; y < height; y += step[pass])
      out.insert(out.end(), pixels.begin() + (size_t)y * width,
                 pixels.begin() + (size_t)(y + 1) * width);
  return out;
}

// LZW codes of minimum size m for `pixels`, each pixel its own code.
// `dropCodes` leaves out that many codes at the end (before the end code);
// `withEnd` writes the end code.
inline std::vector<uint8_t> PlainLzwCodes(const std::vector<uint8_t>& pixels, int m,
                                          bool withEnd = true, size_t keepPixels = SIZE_MAX) {
  std::vector<uint8_t> out;
  uint32_t buffer = 0;
  int bits = 0;
  const int width = m + 1;
  const int clear = 1 << m;
  auto put = [&](int code) {
    buffer |= (uint32_t)code << bits;
    bits += width;
    while (bits >= 8) {
      out.push_back((uint8_t)buffer);
      buffer >>= 8;
      bits -= 8;
    }
  };
  const int perClear = clear - 2;  // codes after a clear before the width would grow
  int run = perClear;
  size_t n = pixels.size() < keepPixels ? pixels.size() : keepPixels;
  for (size_t i = 0; i < n; ++i) {
    if (run == perClear) {
      put(clear);
      run = 0;
    }
    put(pixels[i]);
    ++run;
  }
  if (withEnd) put(clear + 1);
  if (bits > 0) out.push_back((uint8_t)buffer);
  return out;
}

// Wraps data into sub-blocks of at most 255 bytes and the terminator.
inline std::vector<uint8_t> SubBlocks(const std::vector<uint8_t>& data, bool terminator = true) {
  std::vector<uint8_t> out;
  for (size_t at = 0; at < data.size(); at += 255) {
    size_t n = data.size() - at < 255 ? data.size() - at : 255;
    out.push_back((uint8_t)n);
    out.insert(out.end(), data.begin() + at, data.begin() + at + n);
  }
  if (terminator) out.push_back(0);
  return out;
}

struct Builder {
  std::vector<uint8_t> bytes;

  void U16(int v) {
    bytes.push_back((uint8_t)(v & 0xFF));
    bytes.push_back((uint8_t)(v >> 8));
  }
  // Colour table of 2^bits entries from R, G, B triples (missing ones black).
  void Table(const std::vector<uint8_t>& rgb, int bits) {
    for (int i = 0; i < (3 << bits); ++i) bytes.push_back(i < (int)rgb.size() ? rgb[i] : 0);
  }
  // Signature, logical screen, and the global table when `tableBits` > 0.
  Builder& Header(int width, int height, const std::vector<uint8_t>& rgb, int tableBits,
                  int background = 0, const char* signature = "GIF89a") {
    for (int i = 0; i < 6; ++i) bytes.push_back((uint8_t)signature[i]);
    U16(width);
    U16(height);
    bytes.push_back(tableBits > 0 ? (uint8_t)(0x80 | 0x70 | (tableBits - 1)) : 0);
    bytes.push_back((uint8_t)background);
    bytes.push_back(0);
    if (tableBits > 0) Table(rgb, tableBits);
    return *this;
  }
  Builder& Control(int disposal, int delay, int transparent) {
    bytes.insert(bytes.end(), {0x21, 0xF9, 4});
    bytes.push_back((uint8_t)((disposal << 2) | (transparent >= 0 ? 1 : 0)));
    U16(delay);
    bytes.push_back((uint8_t)(transparent >= 0 ? transparent : 0));
    bytes.push_back(0);
    return *this;
  }
  Builder& Comment(const std::string& text) {
    bytes.insert(bytes.end(), {0x21, 0xFE});
    auto blocks = SubBlocks(std::vector<uint8_t>(text.begin(), text.end()));
    bytes.insert(bytes.end(), blocks.begin(), blocks.end());
    return *this;
  }
  // An image: `pixels` top-down, `width` x `height`; a local table when
  // `localBits` > 0; `keepPixels` cuts the LZW data short.
  Builder& Image(int left, int top, int width, int height, const std::vector<uint8_t>& pixels,
                 int codeSize, bool interlaced = false, const std::vector<uint8_t>& localRgb = {},
                 int localBits = 0, size_t keepPixels = SIZE_MAX) {
    bytes.push_back(0x2C);
    U16(left);
    U16(top);
    U16(width);
    U16(height);
    bytes.push_back(
        (uint8_t)((interlaced ? 0x40 : 0) | (localBits > 0 ? 0x80 | (localBits - 1) : 0)));
    if (localBits > 0) Table(localRgb, localBits);
    bytes.push_back((uint8_t)codeSize);
    auto codes = PlainLzwCodes(StoredOrder(pixels, width, height, interlaced), codeSize,
                               keepPixels == SIZE_MAX, keepPixels);
    auto blocks = SubBlocks(codes);
    bytes.insert(bytes.end(), blocks.begin(), blocks.end());
    return *this;
  }
  Builder& Trailer() {
    bytes.push_back(0x3B);
    return *this;
  }
};

// Frames of `input` as ImageMagick decodes them after the convert options
// `ops`, with one run of convert, each at its own size; `props` gets each
// frame's "%T %D" (delay in hundredths, disposal name).
struct MagickFrame {
  testing_support::Rgba rgba;
  int delay = 0;
  std::string disposal;
};
inline bool MagickFrames(const std::string& input, const std::string& ops,
                         std::vector<MagickFrame>* out) {
  using namespace testing_support;
  TempDir dir;
  std::string pixelsFile = dir.File("frames.rgba");
  std::string info;
  // ImageMagick takes a file whose palette is a grey ramp for linear grey
  // and converts it; "-set colorspace sRGB" keeps the stored values.
  if (RunCommand("convert '" + input + "' " + ops + " -set colorspace sRGB -depth 8 -write 'rgba:" +
                     pixelsFile + "' -format '%w %h %T %D\\n' info: 2>/dev/null",
                 &info) != 0)
    return false;
  std::vector<uint8_t> data = ReadFileBytes(pixelsFile);
  std::istringstream in(info);
  size_t at = 0;
  MagickFrame f;
  while (in >> f.rgba.width >> f.rgba.height >> f.delay >> f.disposal) {
    size_t n = (size_t)f.rgba.width * f.rgba.height * 4;
    if (at + n > data.size()) return false;
    f.rgba.pixels.assign(data.begin() + at, data.begin() + at + n);
    at += n;
    out->push_back(f);
  }
  return at == data.size() && !out->empty();
}

}  // namespace gif_test_files
