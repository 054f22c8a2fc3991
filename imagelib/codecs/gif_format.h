// Constants and small block helpers of the GIF file layout, shared by the
// still-picture reader, the writer and the animation loader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "imagelib/core/file_stream.h"

// The library's LZW switch: with it off, GIF frames cannot be read and the
// writer refuses every picture.
constexpr bool kGifLzwEnabled = true;

enum : int {
  GIF_EXTENSION = 0x21,
  GIF_IMAGE = 0x2C,
  GIF_TRAILER = 0x3B,
  GIF_LABEL_GRAPHIC_CONTROL = 0xF9,
  GIF_LABEL_COMMENT = 0xFE,
};

// Image descriptor flags.
enum : int {
  GIF_LOCAL_TABLE = 0x80,
  GIF_INTERLACED = 0x40,
};

// Skips sub-blocks whose first size byte `size` was already read, up to and
// including the zero terminator (or the end of the file).
inline void GifSkipSubBlocksFrom(FileStream* stream, int size) {
  while (size > 0) {
    if (fseek(stream->file, size, SEEK_CUR) != 0) return;
    size = StreamGetc(stream);
  }
}

inline void GifSkipSubBlocks(FileStream* stream) { GifSkipSubBlocksFrom(stream, StreamGetc(stream)); }

// Joins the sub-blocks of an extension into `text` (up to the terminator).
inline void GifReadSubBlocks(FileStream* stream, std::string* text) {
  uint8_t block[256];
  for (;;) {
    int size = StreamGetc(stream);
    if (size <= 0) return;
    size_t got = StreamRead(stream, block, (size_t)size);
    text->append((const char*)block, got);
    if (got < (size_t)size) return;
  }
}

// Reads a colour table of 2^bits entries into `rgb` (768 bytes, R, G, B per
// entry); false when the file ends inside it.
inline bool GifReadColourTable(FileStream* stream, int bits, uint8_t* rgb) {
  const size_t bytes = (size_t)3 << bits;
  return StreamRead(stream, rgb, bytes) == bytes;
}
