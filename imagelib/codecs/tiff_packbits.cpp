// PackBits: a header byte n in 0..127 copies the next n + 1 bytes, n in
// -127..-1 repeats the next byte 1 - n times, -128 is a no-op. A run may
// cross the boundary between two reads, so the decoder keeps what is left
// of the current run.
#include "imagelib/codecs/tiff_packbits.h"

#include <cstring>

namespace {

class PackBitsDecompressor final : public TiffDecompressor {
 public:
  void Begin(const uint8_t* data, size_t size) override {
    in_ = data;
    end_ = data + size;
    literal_ = 0;
    repeat_ = 0;
  }

  int Read(uint8_t* out, size_t size, size_t* produced) override {
    size_t n = 0;
    while (n < size) {
      if (repeat_ > 0) {
        size_t k = repeat_ < size - n ? repeat_ : size - n;
        memset(out + n, repeatByte_, k);
        n += k;
        repeat_ -= k;
        continue;
      }
      if (literal_ > 0) {
        size_t avail = (size_t)(end_ - in_);
        size_t k = literal_ < size - n ? literal_ : size - n;
        if (k > avail) k = avail;
        memcpy(out + n, in_, k);
        in_ += k;
        n += k;
        literal_ -= k;
        if (literal_ > 0 && in_ == end_) break;
        continue;
      }
      if (in_ >= end_) break;
      int8_t header = (int8_t)*in_++;
      if (header >= 0) {
        literal_ = (size_t)header + 1;
      } else if (header != -128) {
        if (in_ >= end_) break;
        repeatByte_ = *in_++;
        repeat_ = (size_t)(1 - header);
      }
    }
    *produced = n;
    if (n < size) {
      memset(out + n, 0, size - n);
      return TIFF_DECODE_SHORT;
    }
    return TIFF_DECODE_OK;
  }

 private:
  const uint8_t* in_ = nullptr;
  const uint8_t* end_ = nullptr;
  size_t literal_ = 0;
  size_t repeat_ = 0;
  uint8_t repeatByte_ = 0;
};

}  // namespace

std::unique_ptr<TiffDecompressor> NewPackBitsDecompressor() {
  return std::make_unique<PackBitsDecompressor>();
}
