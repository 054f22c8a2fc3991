// The interface every TIFF decompressor implements: one strip or tile held
// in memory goes in, its decoded bytes come out a whole number of rows at a
// time, so that a page never needs more than one strip's input in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Result codes of Read (the library's own result codes).
enum : int {
  TIFF_DECODE_OK = 0,
  TIFF_DECODE_SHORT = 4,     // the strip's data ended before the bytes asked for
  TIFF_DECODE_BAD_LZW = 9,   // an LZW code outside the table
  TIFF_DECODE_CORRUPT = 10,  // data that breaks the compression's rules
  TIFF_DECODE_NO_MEMORY = 1,
};

class TiffDecompressor {
 public:
  virtual ~TiffDecompressor() = default;
  // Starts a new strip or tile; the bytes stay owned by the caller and must
  // live until the next Begin.
  virtual void Begin(const uint8_t* data, size_t size) = 0;
  // Writes the next `size` decoded bytes into `out`. On any result other
  // than 0, *produced tells how many bytes at the start of `out` are good;
  // the rest of `out` is zero.
  virtual int Read(uint8_t* out, size_t size, size_t* produced) = 0;
};

// No compression: the bytes as stored.
std::unique_ptr<TiffDecompressor> NewRawDecompressor();
