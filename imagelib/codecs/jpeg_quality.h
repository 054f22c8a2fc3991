// Estimating the quality setting a JPEG file was written with, from its
// quantisation tables.
#pragma once

#include <cstdint>

// `tables` holds up to 4 quantisation tables of 64 coefficients in natural
// (row-major) order; a null entry is an undefined table. Returns 1 to 100,
// or -1 when table 0 is missing or no quality matches.
int EstimateJpegQuality(const uint16_t* const tables[4]);
