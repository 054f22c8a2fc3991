// Median-cut palette selection and nearest-colour mapping.
//
// The choices follow the IJG library's two-pass quantizer so that both
// give the same colours for the same pixels: boxes of histogram cells are
// shrunk to the cells in use; while there are fewer than half the wanted
// boxes the box with the most used cells is split, afterwards the one with
// the largest scaled extent; a box is split in the middle of its longest
// scaled side (ties: green, then red, then blue); each box's colour is the
// count-weighted mean of its cell centres, rounded. The nearest colour of a
// cell is the one closest to the cell centre in scaled distance, the lower
// index winning a tie.
#include "imagelib/ops/median_cut.h"

#include <cstring>

namespace {

constexpr int kC0Shift = 3, kC1Shift = 2, kC2Shift = 3;  // 5, 6, 5 bits
constexpr int kC0Max = 31, kC1Max = 63, kC2Max = 31;
constexpr int kC0Scale = 2, kC1Scale = 3, kC2Scale = 1;  // red, green, blue
constexpr int kCells = 32 * 64 * 32;

}  // namespace

bool MedianCutQuantizer::Init() { return histogram_.Allocate(kCells); }

void MedianCutQuantizer::CountRow(const uint8_t* rgb, int width) {
  uint16_t* h = histogram_.data();
  for (int x = 0; x < width; ++x, rgb += 3) {
    uint16_t& cell = h[((rgb[0] >> kC0Shift) << 11) | ((rgb[1] >> kC1Shift) << 5) | (rgb[2] >> kC2Shift)];
    if (cell != 0xFFFF) ++cell;  // counts stop at the top instead of wrapping
  }
}

void MedianCutQuantizer::UpdateBox(Box* b) {
  int c0min = b->c0min, c0max = b->c0max, c1min = b->c1min, c1max = b->c1max, c2min = b->c2min,
      c2max = b->c2max;
  auto used = [&](int c0, int c1) {
    for (int c2 = c2min; c2 <= c2max; ++c2)
      if (Cell(c0, c1, c2)) return true;
    return false;
  };
  auto usedC2 = [&](int c2) {
    for (int c0 = c0min; c0 <= c0max; ++c0)
      for (int c1 = c1min; c1 <= c1max; ++c1)
        if (Cell(c0, c1, c2)) return true;
    return false;
  };
  auto usedC0 = [&](int c0) {
    for (int c1 = c1min; c1 <= c1max; ++c1)
      if (used(c0, c1)) return true;
    return false;
  };
  auto usedC1 = [&](int c1) {
    for (int c0 = c0min; c0 <= c0max; ++c0)
      if (used(c0, c1)) return true;
    return false;
  };
  // Each side moves in to the first plane holding a used cell, in the
  // order red low, red high, green low, green high, blue low, blue high.
  if (c0max > c0min)
    for (int c0 = c0min; c0 <= c0max; ++c0)
      if (usedC0(c0)) { c0min = c0; break; }
  if (c0max > c0min)
    for (int c0 = c0max; c0 >= c0min; --c0)
      if (usedC0(c0)) { c0max = c0; break; }
  if (c1max > c1min)
    for (int c1 = c1min; c1 <= c1max; ++c1)
      if (usedC1(c1)) { c1min = c1; break; }
  if (c1max > c1min)
    for (int c1 = c1max; c1 >= c1min; --c1)
      if (usedC1(c1)) { c1max = c1; break; }
  if (c2max > c2min)
    for (int c2 = c2min; c2 <= c2max; ++c2)
      if (usedC2(c2)) { c2min = c2; break; }
  if (c2max > c2min)
    for (int c2 = c2max; c2 >= c2min; --c2)
      if (usedC2(c2)) { c2max = c2; break; }
  b->c0min = c0min; b->c0max = c0max;
  b->c1min = c1min; b->c1max = c1max;
  b->c2min = c2min; b->c2max = c2max;

  const int64_t d0 = (int64_t)((c0max - c0min) << kC0Shift) * kC0Scale;
  const int64_t d1 = (int64_t)((c1max - c1min) << kC1Shift) * kC1Scale;
  const int64_t d2 = (int64_t)((c2max - c2min) << kC2Shift) * kC2Scale;
  b->volume = d0 * d0 + d1 * d1 + d2 * d2;

  int64_t count = 0;
  for (int c0 = c0min; c0 <= c0max; ++c0)
    for (int c1 = c1min; c1 <= c1max; ++c1)
      for (int c2 = c2min; c2 <= c2max; ++c2)
        if (Cell(c0, c1, c2)) ++count;
  b->colourCount = count;
}

int MedianCutQuantizer::MedianCut(Box* boxes, int count, int desired) {
  while (count < desired) {
    Box* b1 = nullptr;
    if (count * 2 <= desired) {
      int64_t most = 0;
      for (int i = 0; i < count; ++i)
        if (boxes[i].colourCount > most && boxes[i].volume > 0) {
          b1 = &boxes[i];
          most = boxes[i].colourCount;
        }
    } else {
      int64_t largest = 0;
      for (int i = 0; i < count; ++i)
        if (boxes[i].volume > largest) {
          b1 = &boxes[i];
          largest = boxes[i].volume;
        }
    }
    if (!b1) break;  // nothing left to split
    Box* b2 = &boxes[count];
    *b2 = *b1;
    const int c0 = ((b1->c0max - b1->c0min) << kC0Shift) * kC0Scale;
    const int c1 = ((b1->c1max - b1->c1min) << kC1Shift) * kC1Scale;
    const int c2 = ((b1->c2max - b1->c2min) << kC2Shift) * kC2Scale;
    int axis = 1, longest = c1;
    if (c0 > longest) {
      longest = c0;
      axis = 0;
    }
    if (c2 > longest) axis = 2;
    switch (axis) {
      case 0: {
        const int middle = (b1->c0max + b1->c0min) / 2;
        b1->c0max = middle;
        b2->c0min = middle + 1;
        break;
      }
      case 1: {
        const int middle = (b1->c1max + b1->c1min) / 2;
        b1->c1max = middle;
        b2->c1min = middle + 1;
        break;
      }
      default: {
        const int middle = (b1->c2max + b1->c2min) / 2;
        b1->c2max = middle;
        b2->c2min = middle + 1;
        break;
      }
    }
    UpdateBox(b1);
    UpdateBox(b2);
    ++count;
  }
  return count;
}

void MedianCutQuantizer::ComputeColour(const Box& b, int index) {
  int64_t total = 0, t0 = 0, t1 = 0, t2 = 0;
  for (int c0 = b.c0min; c0 <= b.c0max; ++c0)
    for (int c1 = b.c1min; c1 <= b.c1max; ++c1)
      for (int c2 = b.c2min; c2 <= b.c2max; ++c2) {
        const int64_t n = Cell(c0, c1, c2);
        if (!n) continue;
        total += n;
        t0 += ((c0 << kC0Shift) + ((1 << kC0Shift) >> 1)) * n;
        t1 += ((c1 << kC1Shift) + ((1 << kC1Shift) >> 1)) * n;
        t2 += ((c2 << kC2Shift) + ((1 << kC2Shift) >> 1)) * n;
      }
  if (total == 0) total = 1;
  red_[index] = (uint8_t)((t0 + (total >> 1)) / total);
  green_[index] = (uint8_t)((t1 + (total >> 1)) / total);
  blue_[index] = (uint8_t)((t2 + (total >> 1)) / total);
}

int MedianCutQuantizer::SelectColours(int desired, uint8_t* palette) {
  if (desired < 1) desired = 1;
  if (desired > 256) desired = 256;
  Box boxes[256];
  boxes[0] = Box{0, kC0Max, 0, kC1Max, 0, kC2Max, 0, 0};
  UpdateBox(&boxes[0]);
  colours_ = MedianCut(boxes, 1, desired);
  for (int i = 0; i < colours_; ++i) ComputeColour(boxes[i], i);
  std::memset(palette, 0, 1024);
  std::memcpy(palette, red_, (size_t)colours_);
  std::memcpy(palette + 256, green_, (size_t)colours_);
  std::memcpy(palette + 512, blue_, (size_t)colours_);
  histogram_.Clear();
  return colours_;
}

int MedianCutQuantizer::NearestColour(int c0, int c1, int c2) const {
  const int r = (c0 << kC0Shift) + ((1 << kC0Shift) >> 1);
  const int g = (c1 << kC1Shift) + ((1 << kC1Shift) >> 1);
  const int b = (c2 << kC2Shift) + ((1 << kC2Shift) >> 1);
  int best = 0;
  int32_t bestDistance = INT32_MAX;
  for (int i = 0; i < colours_; ++i) {
    const int32_t d0 = (r - red_[i]) * kC0Scale, d1 = (g - green_[i]) * kC1Scale,
                  d2 = (b - blue_[i]) * kC2Scale;
    const int32_t d = d0 * d0 + d1 * d1 + d2 * d2;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

void MedianCutQuantizer::MapRow(const uint8_t* rgb, int width, uint8_t* indexes) {
  uint16_t* h = histogram_.data();
  for (int x = 0; x < width; ++x, rgb += 3) {
    const int c0 = rgb[0] >> kC0Shift, c1 = rgb[1] >> kC1Shift, c2 = rgb[2] >> kC2Shift;
    uint16_t& cell = h[(c0 << 11) | (c1 << 5) | c2];
    if (cell == 0) cell = (uint16_t)(NearestColour(c0, c1, c2) + 1);
    indexes[x] = (uint8_t)(cell - 1);
  }
}
