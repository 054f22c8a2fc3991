// Helpers shared by the JPEG reader and writer tests: libjpeg-turbo's djpeg
// as the reference decoder, and a command's output.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/test_support.h"

namespace jpeg_test_support {

using testing_support::Rgba;
using testing_support::RunCommand;

// Parses a binary PGM/PPM into RGBA.
inline bool ParsePnm(const std::string& data, Rgba* out) {
  int w = 0, h = 0, maxValue = 0, consumed = 0;
  char kind[3] = {0};
  if (sscanf(data.c_str(), "%2s %d %d %d%n", kind, &w, &h, &maxValue, &consumed) != 4) return false;
  if (maxValue != 255 || w <= 0 || h <= 0) return false;
  const bool grey = strcmp(kind, "P5") == 0;
  if (!grey && strcmp(kind, "P6") != 0) return false;
  size_t at = (size_t)consumed + 1;
  if (data.size() < at + (size_t)w * h * (grey ? 1 : 3)) return false;
  out->width = w;
  out->height = h;
  out->pixels.assign((size_t)w * h * 4, 255);
  for (size_t i = 0; i < (size_t)w * h; ++i)
    for (int c = 0; c < 3; ++c) out->pixels[i * 4 + c] = (uint8_t)data[at + (grey ? i : i * 3 + c)];
  return true;
}

// Decodes with djpeg; `options` such as "-scale 1/2".
inline bool Djpeg(const std::string& path, const std::string& options, Rgba* out) {
  if (!testing_support::HaveTool("djpeg")) return false;
  std::string data;
  if (RunCommand("djpeg -pnm " + options + " '" + path + "' 2>/dev/null", &data) != 0 &&
      data.empty())
    return false;
  return ParsePnm(data, out);
}

// A command's output without the final line break.
inline std::string Capture(const std::string& command) {
  std::string out;
  RunCommand(command, &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace jpeg_test_support
