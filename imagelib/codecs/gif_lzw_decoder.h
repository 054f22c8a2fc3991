// GIF's variable-length LZW decoder, reading the code stream straight from
// an image's data sub-blocks. Shared by the still-picture reader and the
// animation loader.
#pragma once

#include <cstdint>

#include "imagelib/core/file_stream.h"

// The data sub-blocks of one image (each led by its size byte, ended by a
// zero size). Reads ahead one sub-block at a time.
class GifSubBlocks {
 public:
  explicit GifSubBlocks(FileStream* stream) : stream_(stream) {}

  // Next data byte, or -1 when the data has ended (terminator or end of file).
  int Next() {
    if (pos_ < len_) return block_[pos_++];
    return Refill() ? block_[pos_++] : -1;
  }
  // Skips what is left of the sub-blocks, up to and including the terminator.
  void SkipRest();
  // The file ended before the terminator.
  bool endOfFile() const { return endOfFile_; }
  // The zero-size terminator was read.
  bool terminated() const { return terminated_; }

 private:
  bool Refill();

  FileStream* stream_;
  uint8_t block_[256];
  int pos_ = 0;
  int len_ = 0;
  bool endOfFile_ = false;
  bool terminated_ = false;
};

// The string tables: prefix codes, suffix bytes, plus each string's length
// and first byte, so that a string is written straight into its place.
struct GifLzwTables {
  uint16_t prefix[4096];
  uint8_t suffix[4096];
  uint8_t first[4096];
  uint16_t length[4096];
  uint8_t stack[4096];
};

// Receives each completed row of `width` bytes in decoding order (n = 0, 1,
// ...). `filled` is below the width only for the last, partial row, whose
// remaining bytes are zero. A nonzero return stops decoding and is returned.
using GifRowSink = int (*)(void* user, int n, const uint8_t* row, int filled);

struct GifDecodeStatus {
  int rowsDone = 0;        // complete rows handed to the sink
  int partialPixels = 0;   // pixels of the partial row handed over at the end (0: none)
};

// Decodes one image of `width` x `height` pixels with LZW minimum code size
// `minCodeSize` (2 to 11). `row` must hold `width` bytes. Decoding ends when
// every row is out, at the end code, at a code past the next free one, or
// when the data runs out; a damaged or short stream still counts as decoded.
// Returns 0, or the sink's nonzero result. The sub-blocks are left where the
// decoding stopped; call SkipRest to move past them.
int GifLzwDecode(GifSubBlocks* source, GifLzwTables* tables, int minCodeSize, int width,
                 int height, uint8_t* row, GifRowSink sink, void* user, GifDecodeStatus* status);

// Row of the picture that the n-th decoded row of an interlaced image of
// `height` rows belongs to (passes from row 0 every 8th, from 4 every 8th,
// from 2 every 4th, from 1 every 2nd).
inline int GifInterlacedRow(int n, int height) {
  const int h = height - 1;
  if (n <= (h >> 3)) return n << 3;
  if (n <= (h >> 2)) return ((n - (h >> 3)) << 3) - 4;
  if (n <= (h >> 1)) return ((n - (h >> 2)) << 2) - 2;
  return ((n - (h >> 1)) << 1) - 1;
}
