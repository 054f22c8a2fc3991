// ThunderScan decoding. Every row starts from the value 0; each code byte
// carries its kind in the two high bits: 00 repeats the last value (count
// in the low six bits), 01 holds three 2-bit deltas, 10 two 3-bit deltas (a
// delta of the "skip" value adds no pixel), 11 a raw 4-bit value.
#include "imagelib/codecs/tiff_thunderscan.h"

#include <cstring>
#include <new>
#include <vector>

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
    row_ = 0;
  }

  int Read(uint8_t* out, size_t size, size_t* produced) override {
    size_t n = 0;
    int status = TIFF_DECODE_OK;
    while (n + rowBytes_ <= size) {
      if (in_ >= end_) {
        status = TIFF_DECODE_SHORT;
        break;
      }
      // Rows are decoded over the same row of the previous strip: pixels a
      // dropped run leaves out keep what was there, as in libtiff's strip
      // buffer.
      if (history_.size() <= row_) {
        try {
          history_.resize(row_ + 1, std::vector<uint8_t>(rowBytes_ + 2, 0));
        } catch (const std::bad_alloc&) {
          status = TIFF_DECODE_NO_MEMORY;
          break;
        }
      }
      uint8_t* row = history_[row_].data();
      bool complete = DecodeRow(row);
      memcpy(out + n, row, rowBytes_);
      row_++;
      n += rowBytes_;
      if (!complete) {
        status = TIFF_DECODE_SHORT;
        break;
      }
    }
    *produced = n;
    if (n < size) memset(out + n, 0, size - n);
    if (status == TIFF_DECODE_OK && n < size) status = TIFF_DECODE_SHORT;
    return status;
  }

 private:
  bool DecodeRow(uint8_t* row) {
    uint8_t* op = row;
    int last = 0, count = 0;
    auto set = [&](int value) {
      last = value & 0xF;
      if (count < width_) {
        if (count++ & 1)
          *op++ |= (uint8_t)last;
        else
          *op = (uint8_t)(last << 4);
      }
    };
    while (count < width_ && in_ < end_) {
      uint8_t code = *in_++;
      switch (code & 0xC0) {
        case 0x00: {
          // Repeat the last value. A half-filled byte is completed first; a
          // run that would reach the end of the row is dropped.
          int repeat = code & 0x3F;
          if (count & 1) {
            *op |= (uint8_t)last;
            last = *op++;
            count++;
            repeat--;
          } else {
            last |= last << 4;
          }
          count += repeat;
          if (count < width_)
            for (; repeat > 0; repeat -= 2) *op++ = (uint8_t)last;
          if (repeat == -1) *--op &= 0xF0;
          last &= 0xF;
          break;
        }
        case 0x40:
          for (int shift = 4; shift >= 0; shift -= 2) {
            int d = (code >> shift) & 3;
            if (d != 2) set(last + kTwoBitDeltas[d]);
          }
          break;
        case 0x80:
          for (int shift = 3; shift >= 0; shift -= 3) {
            int d = (code >> shift) & 7;
            if (d != 4) set(last + kThreeBitDeltas[d]);
          }
          break;
        default:
          set(code & 0xF);
          break;
      }
    }
    return count >= width_;
  }

  int width_;
  size_t rowBytes_;
  const uint8_t* in_ = nullptr;
  const uint8_t* end_ = nullptr;
  size_t row_ = 0;
  std::vector<std::vector<uint8_t>> history_;
};

}  // namespace

std::unique_ptr<TiffDecompressor> NewThunderScanDecompressor(int width) {
  return std::make_unique<ThunderScanDecompressor>(width);
}
