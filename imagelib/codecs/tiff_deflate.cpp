// Deflate strips through zlib's inflate.
#include "imagelib/codecs/tiff_deflate.h"

#include <zlib.h>

#include <cstring>

namespace {

class DeflateDecompressor final : public TiffDecompressor {
 public:
  DeflateDecompressor() { memset(&z_, 0, sizeof z_); }
  ~DeflateDecompressor() override {
    if (ready_) inflateEnd(&z_);
  }

  void Begin(const uint8_t* data, size_t size) override {
    if (!ready_) {
      failed_ = inflateInit(&z_) != Z_OK;
      ready_ = !failed_;
    } else {
      inflateReset(&z_);
    }
    in_ = data;
    left_ = size;
    ended_ = false;
  }

  int Read(uint8_t* out, size_t size, size_t* produced) override {
    if (failed_) {
      memset(out, 0, size);
      *produced = 0;
      return TIFF_DECODE_NO_MEMORY;
    }
    size_t n = 0;
    int status = TIFF_DECODE_OK;
    while (n < size && !ended_) {
      // zlib counts in 32-bit units; feed and drain in pieces.
      uInt inChunk = left_ > 0x40000000 ? 0x40000000u : (uInt)left_;
      size_t want = size - n;
      uInt outChunk = want > 0x40000000 ? 0x40000000u : (uInt)want;
      z_.next_in = const_cast<Bytef*>(in_);
      z_.avail_in = inChunk;
      z_.next_out = out + n;
      z_.avail_out = outChunk;
      int rc = inflate(&z_, Z_NO_FLUSH);
      size_t used = inChunk - z_.avail_in;
      size_t made = outChunk - z_.avail_out;
      in_ += used;
      left_ -= used;
      n += made;
      if (rc == Z_STREAM_END) {
        ended_ = true;
      } else if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT) {
        status = TIFF_DECODE_CORRUPT;
        ended_ = true;
      } else if (rc == Z_MEM_ERROR) {
        status = TIFF_DECODE_NO_MEMORY;
        ended_ = true;
      } else if (used == 0 && made == 0) {
        ended_ = true;  // input exhausted
      }
    }
    *produced = n;
    if (n < size) {
      memset(out + n, 0, size - n);
      if (status == TIFF_DECODE_OK) status = TIFF_DECODE_SHORT;
    }
    return status;
  }

 private:
  z_stream z_;
  bool ready_ = false;
  bool failed_ = false;
  bool ended_ = false;
  const uint8_t* in_ = nullptr;
  size_t left_ = 0;
};

}  // namespace

std::unique_ptr<TiffDecompressor> NewDeflateDecompressor() {
  return std::make_unique<DeflateDecompressor>();
}
