// Threshold matrices of the ordered dithering and the 1-bit patterns.
#pragma once

#include <cstdint>

// 8 x 8, values 0 to 50, indexed [y mod 8][x mod 8].
extern const uint8_t kOrdered8[8][8];
// The recursive Bayer matrix of order 16 (0 to 255) with its 0 made 1.
extern const uint8_t (&Ordered16())[16][16];
// 6 x 6 patterns, values 1 to 36: dispersed and clustered dots.
extern const uint8_t kDispersed6[6][6];
extern const uint8_t kClustered6[6][6];
