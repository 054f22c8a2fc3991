// GIF's variable-length LZW encoder: codes from the minimum size + 1 bits
// up to 12 bits, a clear code first and whenever the table is full, the
// string table in an open-addressing hash of 5003 slots. The output is the
// image's data sub-blocks (at most 254 bytes each) with their terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class GifLzwEncoder {
 public:
  // `minCodeSize` from 2 to 8.
  explicit GifLzwEncoder(int minCodeSize);

  // Compresses the next pixels (one index per byte, each below 2^minCodeSize).
  void Add(const uint8_t* pixels, size_t count);
  // Writes the pending string and the end code, flushes the last bits and
  // the last sub-block, and appends the terminator.
  void Finish();

  // The sub-blocks produced so far; the caller may write and clear them.
  std::vector<uint8_t>& output() { return out_; }

 private:
  static constexpr int kSlots = 5003;
  void Put(int code);
  void ClearTable();
  void FlushBlock();

  const int minCodeSize_;
  const int clear_;
  const int end_;
  int width_;
  int nextFree_;
  int current_ = -1;  // code of the pending string, -1 before the first pixel
  uint32_t bitBuffer_ = 0;
  int bitCount_ = 0;
  uint8_t block_[255];
  int blockLength_ = 0;
  std::vector<uint8_t> out_;
  // Hash slots: code (-1 empty), prefix code and byte.
  int16_t slotCode_[kSlots];
  uint16_t slotPrefix_[kSlots];
  uint8_t slotByte_[kSlots];
};
