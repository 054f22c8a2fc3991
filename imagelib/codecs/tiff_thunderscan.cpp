// ThunderScan decoding. Every row starts from the value 0; each code byte
// carries its kind in the two high bits: 00 repeats the last value (count
// in the low six bits), 01 holds three 2-bit deltas, 10 two 3-bit deltas (a
// delta of the "skip" value adds no pixel), 11 a raw 4-bit value.
#include "imagelib/codecs/tiff_thunderscan.h"

#include <cstring>

namespace {

const int kTwoBitDeltas[4] = {0, 1, 0, -1};  // index 2 skips
const int kThreeBitDeltas[8] = {0, 1, 2, 3, 0, -3, -2, -1};  // index 4 skips

class ThunderScanDecompressor final : public TiffDecompressor {
 public:
  explicit ThunderScanDecompressor(int width) : width_(width > 0 ? width : 1) {
    rowBytes_ = ((size_t)width_ + 1) / 2;
  }

  void Begin(const uint8_t* data, size_t size) override {
    in_ = data;
    end_ = data + size;
  }

  int Read(uint8_t* out, size_t size, size_t* produced) override {
    size_t n = 0;
    int status = TIFF_DECODE_OK;
    while (n + rowBytes_ <= size) {
      if (in_ >= end_) {
        status = TIFF_DECODE_SHORT;
        break;
      }
      if (!DecodeRow(out + n)) status = TIFF_DECODE_SHORT;
      n += rowBytes_;
      if (status != TIFF_DECODE_OK) break;
    }
    *produced = n;
    if (n < size) memset(out + n, 0, size - n);
    if (status == TIFF_DECODE_OK && n < size) status = TIFF_DECODE_SHORT;
    return status;
  }

 private:
  void Put(uint8_t* row, int* count, int value) {
    if (*count < width_) {
      int x = *count;
      if (x & 1)
        row[x >> 1] |= (uint8_t)(value & 0xF);
      else
        row[x >> 1] = (uint8_t)((value & 0xF) << 4);
    }
    (*count)++;
  }

  bool DecodeRow(uint8_t* row) {
    memset(row, 0, rowBytes_);
    int last = 0, count = 0;
    while (count < width_ && in_ < end_) {
      uint8_t code = *in_++;
      switch (code & 0xC0) {
        case 0x00: {
          int repeat = code & 0x3F;
          for (int i = 0; i < repeat && count < width_; i++) Put(row, &count, last);
          break;
        }
        case 0x40:
          for (int shift = 4; shift >= 0; shift -= 2) {
            int d = (code >> shift) & 3;
            if (d == 2) continue;
            last = (last + kTwoBitDeltas[d]) & 0xF;
            Put(row, &count, last);
          }
          break;
        case 0x80:
          for (int shift = 3; shift >= 0; shift -= 3) {
            int d = (code >> shift) & 7;
            if (d == 4) continue;
            last = (last + kThreeBitDeltas[d]) & 0xF;
            Put(row, &count, last);
          }
          break;
        default:
          last = code & 0xF;
          Put(row, &count, last);
          break;
      }
    }
    return count >= width_;
  }

  int width_;
  size_t rowBytes_;
  const uint8_t* in_ = nullptr;
  const uint8_t* end_ = nullptr;
};

}  // namespace

std::unique_ptr<TiffDecompressor> NewThunderScanDecompressor(int width) {
  return std::make_unique<ThunderScanDecompressor>(width);
}
