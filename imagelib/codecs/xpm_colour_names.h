// The colour-name table of the X pixmap reader.
#pragma once

#include <cstdint>

// Looks up a lower-case colour name; false (rgb untouched) when unknown.
bool LookUpXpmColourName(const char* lowerName, uint8_t rgb[3]);
