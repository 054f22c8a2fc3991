#include "imagelib/ops/gif_palette_reconcile.h"

namespace {

bool SameColour(const uint8_t* palette, int i, const uint8_t* rgb) {
  return palette[i] == rgb[0] && palette[256 + i] == rgb[1] && palette[512 + i] == rgb[2];
}

}  // namespace

bool ReconcileGifPalette(uint8_t* palette, bool* inUse, const uint8_t* colours,
                         const bool* needed, int reserved, uint8_t* map) {
  bool identity = true;
  for (int j = 0; j < 256; ++j) map[j] = (uint8_t)j;
  // First pass: colours that are already where they belong.
  for (int j = 0; j < 256; ++j) {
    if (!needed[j]) continue;
    if (j != reserved && SameColour(palette, j, colours + 3 * j)) inUse[j] = true;
  }
  for (int j = 0; j < 256; ++j) {
    if (!needed[j]) continue;
    const uint8_t* rgb = colours + 3 * j;
    if (j != reserved && SameColour(palette, j, rgb)) continue;
    identity = false;
    int chosen = -1;
    for (int i = 0; i < 256 && chosen < 0; ++i)
      if (i != reserved && SameColour(palette, i, rgb)) chosen = i;
    if (chosen < 0) {
      if (!inUse[j] && j != reserved) {
        chosen = j;
      } else {
        for (int i = 0; i < 256 && chosen < 0; ++i)
          if (!inUse[i] && i != reserved) chosen = i;
      }
      if (chosen >= 0) {
        palette[chosen] = rgb[0];
        palette[256 + chosen] = rgb[1];
        palette[512 + chosen] = rgb[2];
      }
    }
    if (chosen < 0 && reserved >= 0) {
      // Last exact choice: the reserved entry, when it holds the colour or
      // is free.
      if (SameColour(palette, reserved, rgb)) {
        chosen = reserved;
      } else if (!inUse[reserved]) {
        chosen = reserved;
        palette[chosen] = rgb[0];
        palette[256 + chosen] = rgb[1];
        palette[512 + chosen] = rgb[2];
      }
    }
    if (chosen < 0) {
      long best = -1;
      for (int i = 0; i < 256; ++i) {
        if (i == reserved) continue;
        const long dr = palette[i] - rgb[0];
        const long dg = palette[256 + i] - rgb[1];
        const long db = palette[512 + i] - rgb[2];
        const long d = dr * dr + dg * dg + db * db;
        if (best < 0 || d < best) {
          best = d;
          chosen = i;
        }
      }
    }
    inUse[chosen] = true;
    map[j] = (uint8_t)chosen;
  }
  return identity;
}
