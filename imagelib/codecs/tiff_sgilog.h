// SGI LogL and LogLuv (TIFF compression 34676, SGILog; 34677, SGILog24).
#pragma once

#include "imagelib/codecs/tiff_decompressor.h"

// Run-length coded byte planes of 16-bit LogL (bytesPerPixel 2) or 32-bit
// LogLuv (bytesPerPixel 4) pixels; rows come out as native 16- or 32-bit
// values. SGILog24 data is stored uncompressed (3 bytes a pixel).
std::unique_ptr<TiffDecompressor> NewSgiLogDecompressor(int width, int bytesPerPixel);

// Tone mapping to 8 bits: a linear value v becomes 0 when v <= 0, 255 when
// v >= 1, else trunc(256 * sqrt(v)).
uint8_t LogToneMap(double v);
// 16-bit log luminance to linear Y.
double LogL16ToY(uint32_t p);
// 10-bit log luminance (SGILog24) to linear Y.
double LogL10ToY(uint32_t p);
// The 14-bit chromaticity index of SGILog24 to u', v'.
void LogUvDecode(uint32_t index, double* u, double* v);
// Y, u', v' to tone-mapped R, G, B bytes.
void LogLuvToRgb(double y, double u, double v, uint8_t* rgb);

// Row converters.
void LogL16RowToGrey(const uint16_t* in, uint8_t* out, int count);
void LogLuv32RowToRgb(const uint32_t* in, uint8_t* out, int count);
void LogLuv24RowToRgb(const uint8_t* in, uint8_t* out, int count);
