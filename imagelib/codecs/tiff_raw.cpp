// Uncompressed TIFF strips: the bytes as stored.
#include <cstring>

#include "imagelib/codecs/tiff_decompressor.h"

namespace {

class RawDecompressor final : public TiffDecompressor {
 public:
  void Begin(const uint8_t* data, size_t size) override {
    in_ = data;
    left_ = size;
  }
  int Read(uint8_t* out, size_t size, size_t* produced) override {
    size_t n = size < left_ ? size : left_;
    memcpy(out, in_, n);
    in_ += n;
    left_ -= n;
    *produced = n;
    if (n < size) {
      memset(out + n, 0, size - n);
      return TIFF_DECODE_SHORT;
    }
    return TIFF_DECODE_OK;
  }

 private:
  const uint8_t* in_ = nullptr;
  size_t left_ = 0;
};

}  // namespace

std::unique_ptr<TiffDecompressor> NewRawDecompressor() { return std::make_unique<RawDecompressor>(); }
