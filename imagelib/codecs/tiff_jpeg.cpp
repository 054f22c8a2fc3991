// JPEG strips through the JPEG codec's strip decoder: the whole strip is
// decoded on the first read and then handed out row by row.
#include "imagelib/codecs/tiff_jpeg.h"

#include <cstring>
#include <new>
#include <vector>

#include "imagelib/codecs/jpeg_in_tiff.h"

namespace {

class JpegDecompressor final : public TiffDecompressor {
 public:
  JpegDecompressor(const uint8_t* tables, size_t tablesSize, bool ycbcrToRgb, int width, int rows,
                   int components)
      : tables_(tables),
        tablesSize_(tablesSize),
        ycbcrToRgb_(ycbcrToRgb),
        width_(width),
        rows_(rows),
        components_(components) {}

  void Begin(const uint8_t* data, size_t size) override {
    data_ = data;
    size_ = size;
    decoded_ = false;
    status_ = TIFF_DECODE_OK;
    position_ = 0;
    available_ = 0;
  }

  int Read(uint8_t* out, size_t size, size_t* produced) override {
    if (!decoded_) Decode();
    size_t n = 0;
    if (position_ < available_) {
      n = available_ - position_ < size ? available_ - position_ : size;
      memcpy(out, pixels_.data() + position_, n);
      position_ += n;
    }
    *produced = n;
    if (n < size) {
      memset(out + n, 0, size - n);
      return status_ != TIFF_DECODE_OK ? status_ : TIFF_DECODE_SHORT;
    }
    return TIFF_DECODE_OK;
  }

 private:
  void Decode() {
    decoded_ = true;
    size_t rowBytes = (size_t)width_ * components_;
    try {
      pixels_.assign(rowBytes * rows_, 0);
    } catch (const std::bad_alloc&) {
      status_ = TIFF_DECODE_NO_MEMORY;
      return;
    }
    JpegStripOutput out{};
    out.pixels = pixels_.data();
    out.bytesPerRow = rowBytes;
    out.width = width_;
    out.rows = rows_;
    out.components = components_;
    int rc = DecodeJpegStrip(data_, size_, tables_, tablesSize_, ycbcrToRgb_, &out);
    if (rc == 1) {
      status_ = TIFF_DECODE_NO_MEMORY;
    } else if (rc != 0) {
      status_ = TIFF_DECODE_CORRUPT;
    }
    int done = out.rowsDone < 0 ? 0 : (out.rowsDone > rows_ ? rows_ : out.rowsDone);
    available_ = rc == 0 ? pixels_.size() : (size_t)done * rowBytes;
    if (rc == 0 && done < rows_) available_ = (size_t)done * rowBytes;
  }

  const uint8_t* tables_;
  size_t tablesSize_;
  bool ycbcrToRgb_;
  int width_, rows_, components_;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool decoded_ = false;
  int status_ = TIFF_DECODE_OK;
  std::vector<uint8_t> pixels_;
  size_t position_ = 0;
  size_t available_ = 0;
};

}  // namespace

std::unique_ptr<TiffDecompressor> NewJpegDecompressor(const uint8_t* tables, size_t tablesSize,
                                                      bool ycbcrToRgb, int width, int rows,
                                                      int components) {
  return std::make_unique<JpegDecompressor>(tables, tablesSize, ycbcrToRgb, width, rows, components);
}
