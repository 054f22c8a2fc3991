// Shared by the reader fuzz targets. The loader reads files, so each input
// is written to a private temporary file first and loaded from there.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

// Writes the input to /tmp/quivra_fuzz_PID.EXTENSION; returns its path, or
// an empty string when the file cannot be written.
inline std::u16string WriteFuzzInput(const uint8_t* data, size_t size, const char* extension) {
  static const bool registered = (RegisterFormats(1), true);
  (void)registered;
  const std::string host = "/tmp/quivra_fuzz_" + std::to_string(getpid()) + "." + extension;
  FILE* f = fopen(host.c_str(), "wb");
  if (!f) return {};
  fwrite(data, 1, size, f);
  fclose(f);
  return WideFromUtf8(host);
}

// Loads the file with the reader of one table row, keeping what a picture
// viewer keeps, under a small memory cap; `adjust` may change the options
// further. Returns the number of pictures the file holds.
inline int LoadAs(const std::u16string& path, const char* shortName, uint32_t flags,
                  int imageIndex = 0, const std::function<void(LoadOptions&)>& adjust = {}) {
  LoadOptions options;
  LoadOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat(shortName);
  options.flags = flags;
  options.imageIndex = imageIndex;
  options.memoryCap = 64ull << 20;
  if (adjust) adjust(options);
  Image image{};
  ImageInfo info{};
  LoadImage(path.c_str(), &image, &options, &info);
  int count = info.imageCount;
  ImageFree(&image);
  ImageInfoFree(&info);
  return count;
}
