// The two-pass colour quantizer: a histogram of 5 bits of red, 6 of green
// and 5 of blue, a palette chosen by median cut in the manner of the IJG
// JPEG library's two-pass quantizer, and a mapping of every pixel to its
// nearest palette colour through a cache kept in the cleared histogram.
#pragma once

#include <cstdint>

#include "imagelib/ops/work_buffer.h"

class MedianCutQuantizer {
 public:
  // Allocates the histogram; false when memory ran out.
  bool Init();

  // First pass: counts a row of R, G, B pixels.
  void CountRow(const uint8_t* rgb, int width);

  // Chooses up to `desired` colours (8 to 256) and writes them into a
  // planar 1024-byte palette; returns how many were chosen. Clears the
  // histogram for the second pass.
  int SelectColours(int desired, uint8_t* palette);

  // Second pass: the palette index of every R, G, B pixel of a row.
  void MapRow(const uint8_t* rgb, int width, uint8_t* indexes);

 private:
  struct Box {
    int c0min, c0max, c1min, c1max, c2min, c2max;
    int64_t volume;
    int64_t colourCount;
  };
  uint16_t& Cell(int c0, int c1, int c2) { return histogram_[(c0 << 11) | (c1 << 5) | c2]; }
  void UpdateBox(Box* box);
  int MedianCut(Box* boxes, int count, int desired);
  void ComputeColour(const Box& box, int index);
  int NearestColour(int c0, int c1, int c2) const;

  WorkBuffer<uint16_t> histogram_;
  int colours_ = 0;
  uint8_t red_[256] = {}, green_[256] = {}, blue_[256] = {};
};
