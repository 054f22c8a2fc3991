// The colour names an X pixmap may use, with their R, G, B values.
#include "imagelib/codecs/xpm_colour_names.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct NamedColour {
  const char* name;
  uint8_t r, g, b;
};

constexpr NamedColour kNamedColours[] = {
    {"black", 0, 0, 0},       {"blue", 0, 0, 255},     {"brown", 165, 42, 42},
    {"cyan", 0, 255, 255},    {"gold", 255, 215, 0},   {"gray", 190, 190, 190},
    {"green", 0, 255, 0},     {"magenta", 255, 0, 255}, {"red", 255, 0, 0},
    {"white", 255, 255, 255}, {"yellow", 255, 255, 0},
};

// "gray0" to "gray100" and "grey0" to "grey100": level N is N x 255 / 100
// rounded, except for 50 and 90.
bool GreyLevel(const char* name, uint8_t* level) {
  if (strncmp(name, "gray", 4) != 0 && strncmp(name, "grey", 4) != 0) return false;
  const char* digits = name + 4;
  size_t n = strlen(digits);
  if (n < 1 || n > 3 || strspn(digits, "0123456789") != n) return false;
  int value = atoi(digits);
  if (value > 100) return false;
  if (value == 50) *level = 127;
  else if (value == 90) *level = 229;
  else *level = (uint8_t)((value * 255 + 50) / 100);
  return true;
}

}  // namespace

bool LookUpXpmColourName(const char* lowerName, uint8_t rgb[3]) {
  for (const NamedColour& c : kNamedColours) {
    if (strcmp(c.name, lowerName) == 0) {
      rgb[0] = c.r;
      rgb[1] = c.g;
      rgb[2] = c.b;
      return true;
    }
  }
  uint8_t level;
  if (GreyLevel(lowerName, &level)) {
    rgb[0] = rgb[1] = rgb[2] = level;
    return true;
  }
  return false;
}
