// How an operation hands over the picture it made: into the caller's
// destination record when one is given, otherwise in place of the source
// (whose buffers are released first).
#pragma once

#include <cstring>

#include "imagelib/core/image.h"

inline void PlaceResult(Image* source, Image* destination, Image* result) {
  if (destination && destination != source) {
    *destination = *result;
  } else {
    ImageFree(source);
    *source = *result;
  }
  std::memset(result, 0, sizeof(*result));
}

// A new picture of the given type and size with the source's alignment,
// sample depth, palette count, transparent index, palette and extras.
// Returns false when memory ran out (the record is then left empty).
inline bool CreateResultLike(Image* result, const Image* source, uint32_t pixelType, int width,
                             int height) {
  std::memset(result, 0, sizeof(*result));
  int ok = source->bitsPerSample > 8
               ? ImageCreateDeep(result, pixelType, source->rowAlignment, width, height,
                                 source->bitsPerSample)
               : ImageCreate(result, pixelType, source->rowAlignment, width, height);
  if (!ok || !result->pixels) {
    ImageFree(result);
    std::memset(result, 0, sizeof(*result));
    return false;
  }
  result->paletteCount = source->paletteCount;
  result->transparentIndex = source->transparentIndex;
  if (result->palette && source->palette) std::memcpy(result->palette, source->palette, 1024);
  ImageCopyExtras(result, source);
  return true;
}
