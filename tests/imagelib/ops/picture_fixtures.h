// Small pictures for the operation tests, and record comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "imagelib/core/image.h"

namespace ops_test {

// An Image that releases itself.
struct Picture {
  Image image;
  Picture() { std::memset(&image, 0, sizeof(image)); }
  ~Picture() { ImageFree(&image); }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  Image* operator->() { return &image; }
  Image* get() { return &image; }
};

// Creates a picture and fills every byte of pixel (x, y) through fill(x, y,
// byte index) (for PIXEL_BW: the bit of pixel x).
inline void Make(Picture& p, uint32_t type, int width, int height, int alignment,
                 const std::function<int(int, int, int)>& fill) {
  ASSERT_EQ(ImageCreate(&p.image, type, alignment, width, height), 1);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = ImageRow(&p.image, y);
    for (int x = 0; x < width; ++x) {
      if (type == PIXEL_BW) {
        PutBit(row, x, fill(x, y, 0));
      } else {
        for (int b = 0; b < p.image.bytesPerPixel; ++b)
          row[x * p.image.bytesPerPixel + b] = (uint8_t)fill(x, y, b);
      }
    }
  }
}

// A deterministic pseudo-random byte for (x, y, b, seed).
inline int Noise(int x, int y, int b, int seed = 1) {
  uint32_t v = (uint32_t)x * 73856093u ^ (uint32_t)y * 19349663u ^ (uint32_t)b * 83492791u ^
               (uint32_t)seed * 2654435761u;
  v ^= v >> 13;
  v *= 0x5bd1e995u;
  v ^= v >> 15;
  return (int)(v & 255);
}

// A picture of pseudo-random bytes (indexed ones get a palette whose red is
// the index).
inline void MakeNoise(Picture& p, uint32_t type, int width, int height, int alignment,
                      int seed = 1) {
  Make(p, type, width, height, alignment,
       [seed](int x, int y, int b) { return Noise(x, y, b, seed); });
  if (type == PIXEL_INDEXED)
    for (int i = 0; i < 256; ++i) {
      p.image.palette[i] = (uint8_t)i;
      p.image.palette[256 + i] = (uint8_t)((i * 7) & 255);
      p.image.palette[512 + i] = (uint8_t)(255 - i);
    }
}

// The used bytes of row y (for PIXEL_BW: one 0/1 per pixel), for comparing a
// whole row with a list of expected values.
inline std::vector<int> Row(Picture& p, int y) {
  std::vector<int> out;
  const uint8_t* row = ImageRow(&p.image, y);
  if (p.image.pixelType == PIXEL_BW) {
    for (int x = 0; x < p.image.width; ++x) out.push_back(GetBit(row, x));
  } else {
    out.assign(row, row + (size_t)p.image.width * p.image.bytesPerPixel);
  }
  return out;
}

// The bytes of the used part of every row (fill bytes excluded).
inline std::vector<uint8_t> RowBytes(const Image& image) {
  std::vector<uint8_t> out;
  const size_t used = image.pixelType == PIXEL_BW ? ((size_t)image.width + 7) / 8
                                                  : (size_t)image.width * image.bytesPerPixel;
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* row = ImageRow(&image, y);
    if (image.pixelType == PIXEL_BW) {
      for (size_t i = 0; i < used; ++i) {
        uint8_t v = row[i];
        if (i == used - 1 && (image.width & 7)) v &= (uint8_t)(0xFF00 >> (image.width & 7));
        out.push_back(v);
      }
    } else {
      out.insert(out.end(), row, row + used);
    }
  }
  return out;
}

// Everything of a record an operation must not change when it fails.
struct Snapshot {
  int width, height, bytesPerRow, pixelType, paletteCount, transparentIndex;
  uint8_t* pixels;
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> palette;
  explicit Snapshot(const Image& image)
      : width(image.width),
        height(image.height),
        bytesPerRow(image.bytesPerRow),
        pixelType(image.pixelType),
        paletteCount(image.paletteCount),
        transparentIndex(image.transparentIndex),
        pixels(image.pixels),
        bytes(image.pixels, image.pixels + (size_t)image.bytesPerRow * image.height) {
    if (image.palette) palette.assign(image.palette, image.palette + 1024);
  }
  void ExpectUnchanged(const Image& image) const {
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
    EXPECT_EQ(image.bytesPerRow, bytesPerRow);
    EXPECT_EQ(image.pixelType, pixelType);
    EXPECT_EQ(image.paletteCount, paletteCount);
    EXPECT_EQ(image.transparentIndex, transparentIndex);
    ASSERT_EQ(image.pixels, pixels);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.pixels));
    if (!palette.empty()) {
      ASSERT_NE(image.palette, nullptr);
      EXPECT_TRUE(std::equal(palette.begin(), palette.end(), image.palette));
    }
  }
};

inline void SetPalette(Image& image, int index, int r, int g, int b) {
  image.palette[index] = (uint8_t)r;
  image.palette[256 + index] = (uint8_t)g;
  image.palette[512 + index] = (uint8_t)b;
}

}  // namespace ops_test
