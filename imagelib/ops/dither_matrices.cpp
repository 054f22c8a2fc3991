// Threshold matrices of the ordered dithering and the 1-bit patterns.
#include "imagelib/ops/dither_matrices.h"

const uint8_t kOrdered8[8][8] = {
    {0, 38, 9, 47, 2, 40, 11, 50},   {25, 12, 35, 22, 27, 15, 37, 24},
    {6, 44, 3, 41, 8, 47, 5, 43},    {31, 19, 28, 15, 34, 21, 31, 18},
    {1, 39, 11, 49, 0, 39, 10, 48},  {27, 14, 36, 23, 26, 13, 35, 23},
    {7, 46, 4, 43, 7, 45, 3, 42},    {33, 20, 30, 17, 32, 19, 29, 16},
};

const uint8_t kDispersed6[6][6] = {
    {15, 9, 17, 32, 22, 30}, {7, 1, 3, 19, 35, 23},  {13, 5, 11, 27, 26, 33},
    {31, 21, 29, 16, 10, 18}, {20, 36, 24, 8, 2, 4}, {28, 25, 34, 14, 6, 12},
};

const uint8_t kClustered6[6][6] = {
    {30, 19, 13, 20, 31, 35}, {18, 8, 5, 9, 21, 29},  {12, 4, 1, 2, 10, 28},
    {17, 7, 3, 6, 14, 27},    {26, 16, 11, 15, 22, 32}, {34, 25, 24, 23, 33, 36},
};

namespace {

// Doubling step of the Bayer recursion: the matrix of order 2n is four
// copies of four times the matrix of order n, plus 0 and 2 on the top row
// of copies and 3 and 1 on the bottom row.
struct Bayer16 {
  uint8_t m[16][16];
  Bayer16() {
    int cur[16][16] = {{0}};
    for (int n = 1; n < 16; n *= 2) {
      int next[16][16];
      static const int add[2][2] = {{0, 2}, {3, 1}};
      for (int y = 0; y < 2 * n; ++y)
        for (int x = 0; x < 2 * n; ++x) next[y][x] = 4 * cur[y % n][x % n] + add[y / n][x / n];
      for (int y = 0; y < 2 * n; ++y)
        for (int x = 0; x < 2 * n; ++x) cur[y][x] = next[y][x];
    }
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) m[y][x] = (uint8_t)(cur[y][x] == 0 ? 1 : cur[y][x]);
  }
};

}  // namespace

const uint8_t (&Ordered16())[16][16] {
  static const Bayer16 matrix;
  return matrix.m;
}
