// The GIF reader: one chosen frame of a GIF87a or GIF89a file, delivered as
// one palette index per byte.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "imagelib/codecs/gif_format.h"
#include "imagelib/codecs/gif_lzw_decoder.h"
#include "imagelib/core/reader_contract.h"

namespace {

// Palette handed to FinishPicture: three bytes R, G, B per entry.
constexpr uint32_t kGifPaletteFormat = 0x100;

struct Delivery {
  LoadContext* context;
  int height;
  bool interlaced;
};

int DeliverDecodedRow(void* user, int n, const uint8_t*, int) {
  Delivery* d = (Delivery*)user;
  const int row = d->interlaced ? GifInterlacedRow(n, d->height) : n;
  return DeliverRows(d->context, -1, row, 1);
}

class GifReader {
 public:
  GifReader(FileStream* stream, LoadContext* context) : stream_(stream), context_(context) {}
  int Read();

 private:
  int Walk(int target, bool* found);
  int WalkBlocks(int target, bool* found);
  int DecodeFrame(const uint8_t* descriptor, const uint8_t* palette, int bits, int codeSize);
  int Fail(int code, const char* message) {
    SetReaderMessage(context_, message);
    return code;
  }

  FileStream* stream_;
  LoadContext* context_;
  char version_[3] = {0, 0, 0};
  int screenBits_ = 1;
  uint8_t global_[768];
  int64_t blocksStart_ = 0;
  int transparent_ = -1;
  uint32_t images_ = 0;
  std::unique_ptr<GifLzwTables> tables_;
};

int GifReader::Read() {
  uint8_t signature[6];
  if (StreamRead(stream_, signature, 6) != 6) return RESULT_NOT_RECOGNISED;
  if (memcmp(signature, "GIF87a", 6) != 0 && memcmp(signature, "GIF89a", 6) != 0)
    return RESULT_NOT_RECOGNISED;
  memcpy(version_, signature + 3, 3);
  uint8_t screen[7];
  if (StreamRead(stream_, screen, 7) != 7) return RESULT_NOT_COMPLETE;
  screenBits_ = (screen[4] & 7) + 1;
  memset(global_, 0, sizeof global_);
  if ((screen[4] & 0x80) && !GifReadColourTable(stream_, screenBits_, global_))
    return RESULT_NOT_COMPLETE;
  blocksStart_ = StreamTell(stream_);

  tables_.reset(new (std::nothrow) GifLzwTables);
  if (!tables_) return RESULT_NO_MEMORY;

  const int requested = context_->options.imageIndex > 0 ? context_->options.imageIndex : 0;
  bool found = false;
  int result = Walk(requested, &found);
  if (result == RESULT_OK && !found && requested > 0 && images_ > 0) {
    // An index at or beyond the number of frames loads the first frame.
    const uint32_t seen = images_;
    images_ = 0;
    transparent_ = -1;
    if (StreamSeek(stream_, blocksStart_) != 0) return RESULT_NOT_COMPLETE;
    result = Walk(0, &found);
    images_ = seen;
    context_->imageCount = seen;
  }
  if (result != RESULT_OK) return result;
  return found ? RESULT_OK : RESULT_NOT_RECOGNISED;
}

// Once the requested frame is out, a damaged block after it only ends the
// walk (and the count of frames): the picture is kept.
int GifReader::Walk(int target, bool* found) {
  const int result = WalkBlocks(target, found);
  return *found && result != RESULT_CANCELLED && result != RESULT_NO_MEMORY ? RESULT_OK : result;
}

int GifReader::WalkBlocks(int target, bool* found) {
  const uint32_t flags = context_->options.flags;
  for (;;) {
    const int block = StreamGetc(stream_);
    if (block < 0 || block == GIF_TRAILER) return RESULT_OK;
    if (block == GIF_EXTENSION) {
      const int label = StreamGetc(stream_);
      if (label < 0) return RESULT_OK;
      if (label == GIF_LABEL_GRAPHIC_CONTROL) {
        const int size = StreamGetc(stream_);
        if (size == 4) {
          uint8_t control[4];
          if (StreamRead(stream_, control, 4) != 4) return RESULT_OK;
          if (control[0] & 1) transparent_ = control[3];
          GifSkipSubBlocks(stream_);
        } else {
          GifSkipSubBlocksFrom(stream_, size);
        }
      } else if (label == GIF_LABEL_COMMENT && (flags & LOAD_KEEP_COMMENT)) {
        std::string text;
        GifReadSubBlocks(stream_, &text);
        if (!text.empty() && text.compare(0, 3, "nCC") != 0)
          SetComment(context_, text.c_str(), (int)text.size());
      } else {
        GifSkipSubBlocks(stream_);
      }
      continue;
    }
    if (block != GIF_IMAGE) continue;  // a stray byte is skipped on its own

    uint8_t descriptor[9];
    if (StreamRead(stream_, descriptor, 9) != 9) return RESULT_NOT_COMPLETE;
    context_->imageCount = ++images_;
    uint8_t local[768];
    const uint8_t* palette = global_;
    int bits = screenBits_;
    if (descriptor[8] & GIF_LOCAL_TABLE) {
      bits = (descriptor[8] & 7) + 1;
      memset(local, 0, sizeof local);
      if (!GifReadColourTable(stream_, bits, local)) return RESULT_NOT_COMPLETE;
      palette = local;
    }
    const int codeSize = StreamGetc(stream_);
    if (codeSize < 0) return RESULT_NOT_COMPLETE;
    const int width = descriptor[4] | descriptor[5] << 8;
    const int height = descriptor[6] | descriptor[7] << 8;
    if (width < 1 || height < 1) return Fail(RESULT_BAD_SIZE, "GIF : Bad picture's size !");
    if (codeSize < 2 || codeSize > 9) return Fail(RESULT_BAD_SIZE, "GIF : Bad code's size !");
    if (!kGifLzwEnabled) return Fail(RESULT_BAD_SIZE, "GIF : Bad compression (LZW) !");

    if ((int)images_ - 1 == target) {
      const int result = DecodeFrame(descriptor, palette, bits, codeSize);
      if (result != RESULT_OK) return result;
      *found = true;
    } else {
      // Not the frame asked for: move past its data.
      GifSubBlocks data(stream_);
      data.SkipRest();
    }
    if (flags & LOAD_STOP_AFTER_FIRST) return RESULT_OK;
  }
}

int GifReader::DecodeFrame(const uint8_t* descriptor, const uint8_t* palette, int bits,
                           int codeSize) {
  const int width = descriptor[4] | descriptor[5] << 8;
  const int height = descriptor[6] | descriptor[7] << 8;
  const bool interlaced = descriptor[8] & GIF_INTERLACED;

  SourceFormat header;
  InitSourceFormat(&header);
  header.flags = SRC_ONE_PER_BYTE;
  header.planes = 1;
  header.bitsPerPlane = (int16_t)bits;
  header.width = width;
  header.height = height;
  header.bytesPerPlane = width;
  header.compression = COMPRESSION_LZW;
  header.transparentIndex = (int16_t)transparent_;
  snprintf(header.formatText, sizeof header.formatText,
           interlaced ? "Compuserve GIF (Version %c%c%c - Interlaced)"
                      : "Compuserve GIF (Version %c%c%c)",
           version_[0], version_[1], version_[2]);
  context_->interlaced = interlaced ? 1 : 0;

  const int started = StartPicture(context_, &header);
  if (started != 0) return started;

  Delivery delivery{context_, height, interlaced};
  GifSubBlocks data(stream_);
  const int stopped = GifLzwDecode(&data, tables_.get(), codeSize, width, height,
                                   header.rowBuffer, DeliverDecodedRow, &delivery, nullptr);
  if (stopped != 0) return stopped;
  data.SkipRest();

  uint8_t colours[768];
  memcpy(colours, palette, sizeof colours);
  if (bits == 1 && memcmp(colours, "\0\0\0\0\0\0", 6) == 0) {
    // Two black entries: show the picture as black and white.
    colours[3] = colours[4] = colours[5] = 255;
  }
  return FinishPicture(context_, kGifPaletteFormat, 8, colours);
}

}  // namespace

int ReadGif(FileStream* stream, LoadContext* context) {
  GifReader reader(stream, context);
  return reader.Read();
}
