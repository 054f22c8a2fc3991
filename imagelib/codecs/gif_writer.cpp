// The GIF writer: one frame, a global colour table sized to the picture's
// colours, optional transparency and comment, plain or interlaced rows.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imagelib/codecs/gif_format.h"
#include "imagelib/codecs/gif_lzw_encoder.h"
#include "imagelib/core/reader_contract.h"

namespace {

// Bits for the largest index a palette picture actually holds, so that no
// pixel can fall outside the colour table (and produce codes the decoder
// reads as control codes).
int BitsForLargestIndex(const Image* image) {
  if (!image || !image->pixels || image->pixelType == PIXEL_BW) return 1;
  if (image->bytesPerPixel != 1 || image->bitsPerSample > 8) return 1;
  int largest = 0;
  for (int y = 0; y < image->height && largest < 255; ++y) {
    const uint8_t* row = ImageRow(image, y);
    for (int x = 0; x < image->width; ++x)
      if (row[x] > largest) largest = row[x];
  }
  return BitsForColours(largest + 1);
}

class Output {
 public:
  explicit Output(FileStream* stream) : stream_(stream) {}
  void Bytes(const void* data, size_t n) {
    if (n && StreamWrite(stream_, data, n) != n) failed_ = true;
  }
  void Byte(int b) {
    uint8_t v = (uint8_t)b;
    Bytes(&v, 1);
  }
  void U16(int v) {
    Byte(v & 0xFF);
    Byte((v >> 8) & 0xFF);
  }
  bool failed() const { return failed_; }

 private:
  FileStream* stream_;
  bool failed_ = false;
};

}  // namespace

void GifWriterCaps(CapEntry* entries) {
  entries[0].pixelType = PIXEL_INDEXED;
  entries[0].maxColours = 256;
  entries[1].pixelType = PIXEL_GREY;
  entries[2].pixelType = PIXEL_BW;
}

int WriteGif(const char16_t* path, SaveContext* context) {
  if (!kGifLzwEnabled) return RESULT_CANNOT_STORE;
  if (context->bitsPerPixel > 8 || (context->pixelType & PIXEL_ANYCOLOUR) ||
      context->bitsPerSample > 8)
    return RESULT_CANNOT_STORE;
  const int width = context->width;
  const int height = context->height;
  if (width < 1 || height < 1 || width > 65535 || height > 65535) return RESULT_CANNOT_STORE;

  const bool bilevel = context->pixelType == PIXEL_BW;
  int bits = bilevel ? 1 : BitsForColours(context->paletteCount);
  if (!bilevel) {
    const int needed = BitsForLargestIndex(context->image);
    if (needed > bits) bits = needed;
  }
  const bool interlaced = context->options.interlaced != 0;

  TargetFormat target;
  InitTargetFormat(&target);
  target.flags = SRC_ONE_PER_BYTE;
  target.planes = 1;
  target.bitsPerPlane = 8;
  target.bitsPerSample = 8;
  target.bytesPerPlane = (uint32_t)width;
  snprintf(target.formatName, sizeof target.formatName, "%s", interlaced ? "Gif interlaced" : "Gif");

  std::unique_ptr<GifLzwEncoder> encoder(new (std::nothrow) GifLzwEncoder(bits < 2 ? 2 : bits));
  if (!encoder) return RESULT_NO_MEMORY;

  FileStream* stream = StreamOpen(path, STREAM_WRITE_BINARY);
  if (!stream) return RESULT_CANNOT_CREATE;
  int result = BeginRowOutput(context, &target);
  if (result != RESULT_OK) {
    StreamClose(stream);
    return result;
  }

  Output out(stream);
  out.Bytes(context->options.gif87a ? "GIF87a" : "GIF89a", 6);
  out.U16(width);
  out.U16(height);
  out.Byte(0x80 | (bits - 1));
  out.Byte(0);  // background index
  out.Byte(1);  // aspect byte
  const int entries = 1 << bits;
  std::vector<uint8_t> table((size_t)entries * 3);
  for (int i = 0; i < entries; ++i) {
    table[(size_t)i * 3] = context->palette[i];
    table[(size_t)i * 3 + 1] = context->palette[256 + i];
    table[(size_t)i * 3 + 2] = context->palette[512 + i];
  }
  out.Bytes(table.data(), table.size());

  if (context->transparentIndex >= 0) {
    const uint8_t control[] = {GIF_EXTENSION, GIF_LABEL_GRAPHIC_CONTROL, 4, 0x01, 0, 0,
                               (uint8_t)context->transparentIndex, 0};
    out.Bytes(control, sizeof control);
  }
  if (context->comment) {
    const size_t length = strlen(context->comment);
    if (length < 255) {
      out.Byte(GIF_EXTENSION);
      out.Byte(GIF_LABEL_COMMENT);
      out.Byte((int)length + 1);
      out.Bytes(context->comment, length + 1);  // the text and its zero byte
      out.Byte(0);
    }
  }

  out.Byte(GIF_IMAGE);
  out.U16(0);
  out.U16(0);
  out.U16(width);
  out.U16(height);
  out.Byte((interlaced ? GIF_INTERLACED : 0) | (bits - 1));
  out.Byte(bits < 2 ? 2 : bits);

  // Rows in file order: top to bottom, or the four interlace passes.
  static const int kPassStart[4] = {0, 4, 2, 1};
  static const int kPassStep[4] = {8, 8, 4, 2};
  const int passes = interlaced ? 4 : 1;
  const uint8_t mask = (uint8_t)(entries - 1);
  for (int pass = 0; pass < passes && result == RESULT_OK; ++pass) {
    const int start = interlaced ? kPassStart[pass] : 0;
    const int step = interlaced ? kPassStep[pass] : 1;
    for (int y = start; y < height; y += step) {
      result = FetchRow(context, y, 1);
      if (result != RESULT_OK) break;
      uint8_t* row = target.rowBuffer;
      // Indexes past the colour table would become control codes.
      for (int x = 0; x < width; ++x) row[x] &= mask;
      encoder->Add(row, (size_t)width);
      std::vector<uint8_t>& data = encoder->output();
      if (data.size() >= 65536) {
        out.Bytes(data.data(), data.size());
        data.clear();
      }
    }
  }
  if (result == RESULT_OK) {
    encoder->Finish();
    std::vector<uint8_t>& data = encoder->output();
    out.Bytes(data.data(), data.size());
    out.Byte(GIF_TRAILER);
    if (fflush(stream->file) != 0) result = RESULT_WRITE_ERROR;
    if (out.failed()) result = RESULT_WRITE_ERROR;
  }
  EndRowOutput(context);
  StreamClose(stream);
  return result;
}
