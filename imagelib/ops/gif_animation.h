// Animated GIF frames: every image of a GIF file composed onto the picture
// left by the previous ones, as complete palette pictures of the logical
// screen's size, each with its display time.
#pragma once

#include <cstdint>

#include "imagelib/core/image.h"

struct GifFrame {
  Image image;       // PIXEL_INDEXED, rowAlignment 1, the logical screen's size
  uint32_t delayMs;  // display time; a stored delay of 0 counts as 100 ms
};

struct GifAnimation {
  uint32_t frameCount;
  GifFrame* frames;  // owned (malloc), frameCount elements
};

// Loads every frame of the GIF file at `path` (8-bit, in the device's code
// page). Returns 0, 1 (no
// memory), 2 (not a GIF, or no frame could be read), 3 (cannot open),
// 4 (the file ended early) or 9 (bad size or bad code size). When at least
// one frame was decoded the frames are kept whatever the result; the
// caller releases them with GifAnimationFree.
int LoadGifAnimation(const char* path, GifAnimation* animation);

// As LoadGifAnimation, refusing (result 1) once the frames would hold more
// than `memoryCap` bytes of pixels.
int LoadGifAnimationCapped(const char* path, GifAnimation* animation, uint64_t memoryCap);

// Releases every frame's picture and the array; the record becomes empty.
void GifAnimationFree(GifAnimation* animation);
