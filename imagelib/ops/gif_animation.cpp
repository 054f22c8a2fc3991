// The animated GIF frame loader. It walks the whole file itself, decodes
// every image with the GIF codec's LZW decoder and composes it onto the
// canvas left by the previous frames, following each image's disposal.
#include "imagelib/ops/gif_animation.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imagelib/codecs/gif_format.h"
#include "imagelib/codecs/gif_lzw_decoder.h"
#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/ops/gif_palette_reconcile.h"
#include "platform/text/codepage.h"

namespace {

constexpr int kMaxImageSide = 16000;

struct StreamCloser {
  void operator()(FileStream* s) const { StreamClose(s); }
};

// What a graphic control block says about the image that follows it.
struct Control {
  int disposal = 0;
  int delay = 0;
  bool transparent = false;
  int index = -1;
};

// Where an image lies on the screen, cut to the screen.
struct Area {
  int left = 0, top = 0, width = 0, height = 0;
};

Area Clip(int left, int top, int width, int height, int screenWidth, int screenHeight) {
  Area a;
  const int right = left + width < screenWidth ? left + width : screenWidth;
  const int bottom = top + height < screenHeight ? top + height : screenHeight;
  a.left = left < screenWidth ? left : screenWidth;
  a.top = top < screenHeight ? top : screenHeight;
  a.width = right > a.left ? right - a.left : 0;
  a.height = bottom > a.top ? bottom - a.top : 0;
  return a;
}

// Decoded rows of the current image, placed by their picture row.
struct ImageRows {
  std::vector<uint8_t> pixels;  // width x height indexes
  std::vector<int> filled;      // decoded pixels of each row
  int width = 0;
  int height = 0;
  bool interlaced = false;
};

int StoreRow(void* user, int n, const uint8_t* row, int filled) {
  ImageRows* rows = (ImageRows*)user;
  const int y = rows->interlaced ? GifInterlacedRow(n, rows->height) : n;
  if (y < 0 || y >= rows->height) return 0;
  memcpy(rows->pixels.data() + (size_t)y * rows->width, row, (size_t)filled);
  rows->filled[y] = filled;
  return 0;
}

class AnimationLoader {
 public:
  AnimationLoader(GifAnimation* animation, uint64_t memoryCap)
      : animation_(animation), memoryCap_(memoryCap) {}
  int Load(const char* path);

 private:
  int ReadImage(const Control& control, Control* previous, Area* previousArea);
  int AppendFrame(const Control& control, const uint8_t* colours, int colourCount,
                  const ImageRows& rows, int left, int top, const Control& previous,
                  const Area& previousArea);

  GifAnimation* animation_;
  uint64_t memoryCap_;
  FileStream* stream_ = nullptr;
  int screenWidth_ = 0;
  int screenHeight_ = 0;
  int background_ = 0;
  uint8_t global_[768];
  int globalCount_ = 256;  // entries of the global table (256 zeros without one)
  int firstTransparent_ = -1;
  bool stopped_ = false;  // a later image larger than the screen ended the loop
  std::unique_ptr<GifLzwTables> tables_;
  std::vector<uint8_t> rowBuffer_;
};

int AnimationLoader::Load(const char* path) {
  // Library paths are 8-bit strings in the device's code page.
  std::u16string wide = platform::WideFromCp1252(path ? path : "");
  std::unique_ptr<FileStream, StreamCloser> stream(StreamOpen(wide.c_str(), STREAM_READ_BINARY));
  if (!stream) return RESULT_CANNOT_OPEN;
  stream_ = stream.get();

  uint8_t header[13];
  if (StreamRead(stream_, header, 13) != 13) return RESULT_NOT_RECOGNISED;
  if (memcmp(header, "GIF", 3) != 0 || header[3] < '0' || header[3] > '9' || header[4] < '0' ||
      header[4] > '9')
    return RESULT_NOT_RECOGNISED;
  screenWidth_ = header[6] | header[7] << 8;
  screenHeight_ = header[8] | header[9] << 8;
  background_ = header[11];
  memset(global_, 0, sizeof global_);
  if (header[10] & 0x80) {
    globalCount_ = 1 << ((header[10] & 7) + 1);
    if (!GifReadColourTable(stream_, (header[10] & 7) + 1, global_)) return RESULT_NOT_COMPLETE;
  }

  tables_.reset(new (std::nothrow) GifLzwTables);
  if (!tables_) return RESULT_NO_MEMORY;

  Control control;
  Control previous;
  Area previousArea;
  int result = RESULT_OK;
  for (;;) {
    const int block = StreamGetc(stream_);
    if (block < 0 || block == GIF_TRAILER) break;
    if (block == GIF_EXTENSION) {
      const int label = StreamGetc(stream_);
      if (label < 0) break;
      const int size = StreamGetc(stream_);
      if (label == GIF_LABEL_GRAPHIC_CONTROL && size == 4) {
        uint8_t data[4];
        if (StreamRead(stream_, data, 4) != 4) break;
        control.disposal = (data[0] >> 2) & 7;
        control.transparent = data[0] & 1;
        control.delay = data[1] | data[2] << 8;
        control.index = data[3];
        GifSkipSubBlocks(stream_);
      } else {
        GifSkipSubBlocksFrom(stream_, size);
      }
      continue;
    }
    if (block != GIF_IMAGE) continue;
    result = ReadImage(control, &previous, &previousArea);
    control = Control();
    if (result != RESULT_OK || stopped_) break;
  }
  if (animation_->frameCount == 0 && result == RESULT_OK) return RESULT_NOT_RECOGNISED;
  return result;
}

int AnimationLoader::ReadImage(const Control& control, Control* previous, Area* previousArea) {
  uint8_t descriptor[9];
  if (StreamRead(stream_, descriptor, 9) != 9) return RESULT_NOT_COMPLETE;
  const int left = descriptor[0] | descriptor[1] << 8;
  const int top = descriptor[2] | descriptor[3] << 8;
  const int width = descriptor[4] | descriptor[5] << 8;
  const int height = descriptor[6] | descriptor[7] << 8;
  uint8_t colours[768];
  int colourCount;
  if (descriptor[8] & GIF_LOCAL_TABLE) {
    const int bits = (descriptor[8] & 7) + 1;
    memset(colours, 0, sizeof colours);
    if (!GifReadColourTable(stream_, bits, colours)) return RESULT_NOT_COMPLETE;
    colourCount = 1 << bits;
  } else {
    memcpy(colours, global_, sizeof colours);
    colourCount = globalCount_;
  }
  const int codeSize = StreamGetc(stream_);
  if (codeSize < 0) return RESULT_NOT_COMPLETE;

  const bool first = animation_->frameCount == 0;
  if (!first && (width > screenWidth_ || height > screenHeight_)) {
    // A later image larger than the screen ends the animation.
    stopped_ = true;
    return RESULT_OK;
  }
  if (width < 1 || height < 1 || width >= kMaxImageSide || height >= kMaxImageSide)
    return RESULT_BAD_SIZE;
  if (codeSize < 2 || codeSize > 9) return RESULT_BAD_SIZE;
  if (first) {
    if (width > screenWidth_) screenWidth_ = width;
    if (height > screenHeight_) screenHeight_ = height;
  }

  const uint64_t frameBytes = (uint64_t)screenWidth_ * (uint64_t)screenHeight_;
  const uint64_t total = frameBytes * (animation_->frameCount + 1) + (uint64_t)width * height;
  if (total > memoryCap_) return RESULT_NO_MEMORY;

  ImageRows rows;
  rows.width = width;
  rows.height = height;
  rows.interlaced = descriptor[8] & GIF_INTERLACED;
  try {
    rows.pixels.assign((size_t)width * height, 0);
    rows.filled.assign((size_t)height, 0);
    rowBuffer_.resize((size_t)width + 1024);
  } catch (const std::bad_alloc&) {
    return RESULT_NO_MEMORY;
  }
  GifSubBlocks data(stream_);
  GifDecodeStatus status;
  GifLzwDecode(&data, tables_.get(), codeSize, width, height, rowBuffer_.data(), StoreRow, &rows,
               &status);
  data.SkipRest();
  // The file ending before the last row leaves a shorter image.
  const int stepResult =
      status.rowsDone < height && data.endOfFile() ? RESULT_NOT_COMPLETE : RESULT_OK;

  const int appended = AppendFrame(control, colours, colourCount, rows, left, top, *previous,
                                   *previousArea);
  if (appended != RESULT_OK) return appended;
  *previous = control;
  *previousArea = Clip(left, top, width, height, screenWidth_, screenHeight_);
  return stepResult;
}

int AnimationLoader::AppendFrame(const Control& control, const uint8_t* colours, int colourCount,
                                 const ImageRows& rows, int left, int top,
                                 const Control& previous, const Area& previousArea) {
  const uint32_t n = animation_->frameCount;
  GifFrame* grown = (GifFrame*)realloc(animation_->frames, sizeof(GifFrame) * (n + 1));
  if (!grown) return RESULT_NO_MEMORY;
  animation_->frames = grown;
  GifFrame* frame = &grown[n];
  memset(frame, 0, sizeof *frame);
  Image* image = &frame->image;
  if (!ImageCreate(image, PIXEL_INDEXED, 1, screenWidth_, screenHeight_)) {
    ImageFree(image);
    return RESULT_NO_MEMORY;
  }
  const int w = screenWidth_;
  const int h = screenHeight_;
  const size_t size = (size_t)w * h;  // alignment 1: rows are packed
  uint8_t* canvas = image->pixels;

  // The canvas and its palette, before the new image.
  if (n == 0) {
    memset(canvas, control.transparent ? control.index : background_, size);
    for (int i = 0; i < 256; ++i) {
      image->palette[i] = colours[3 * i];
      image->palette[256 + i] = colours[3 * i + 1];
      image->palette[512 + i] = colours[3 * i + 2];
    }
    firstTransparent_ = control.transparent ? control.index : -1;
  } else {
    const Image* before = &animation_->frames[n - 1].image;
    memcpy(canvas, before->pixels, size);
    memcpy(image->palette, before->palette, 1024);
    const Area& a = previousArea;
    if (previous.disposal == 2) {
      const int fill = control.transparent ? control.index : background_;
      for (int y = a.top; y < a.top + a.height; ++y)
        memset(canvas + (size_t)y * w + a.left, fill, (size_t)a.width);
    } else if (previous.disposal == 3 || previous.disposal == 4) {
      // Back to what the first frame showed there. Its indexes belong to
      // the first frame's palette: bring them into this one.
      const Image* firstImage = &animation_->frames[0].image;
      bool inUse[256] = {};
      bool needed[256] = {};
      for (int y = 0; y < h; ++y) {
        const uint8_t* row = canvas + (size_t)y * w;
        const bool inside = y >= a.top && y < a.top + a.height;
        for (int x = 0; x < w; ++x)
          if (!inside || x < a.left || x >= a.left + a.width) inUse[row[x]] = true;
      }
      for (int y = a.top; y < a.top + a.height; ++y) {
        const uint8_t* row = firstImage->pixels + (size_t)y * w;
        for (int x = a.left; x < a.left + a.width; ++x) needed[row[x]] = true;
      }
      uint8_t firstColours[768];
      for (int i = 0; i < 256; ++i) {
        firstColours[3 * i] = firstImage->palette[i];
        firstColours[3 * i + 1] = firstImage->palette[256 + i];
        firstColours[3 * i + 2] = firstImage->palette[512 + i];
      }
      uint8_t map[256];
      const int reserved = control.transparent
                               ? (previous.disposal == 0 ? firstTransparent_ : control.index)
                               : -1;
      ReconcileGifPalette(image->palette, inUse, firstColours, needed, reserved, map);
      for (int y = a.top; y < a.top + a.height; ++y) {
        const uint8_t* from = firstImage->pixels + (size_t)y * w;
        uint8_t* to = canvas + (size_t)y * w;
        for (int x = a.left; x < a.left + a.width; ++x) to[x] = map[from[x]];
      }
    }
  }

  // The frame's transparent index.
  int transparentOut = -1;
  if (control.transparent)
    transparentOut = (n > 0 && previous.disposal == 0) ? firstTransparent_ : control.index;
  if (n == 0) transparentOut = control.transparent ? control.index : -1;
  image->transparentIndex = (int16_t)transparentOut;
  frame->delayMs = control.delay == 0 ? 100u : (uint32_t)control.delay * 10u;

  // Which canvas pixels stay visible, and which new indexes are drawn.
  const Area area = Clip(left, top, rows.width, rows.height, w, h);
  const int skip = control.transparent ? control.index : -1;
  bool inUse[256] = {};
  bool needed[256] = {};
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = canvas + (size_t)y * w;
    const bool inside = y >= area.top && y < area.top + area.height;
    if (!inside || area.width == 0) {
      for (int x = 0; x < w; ++x) inUse[row[x]] = true;
      continue;
    }
    const int sy = y - top;
    const uint8_t* src = rows.pixels.data() + (size_t)sy * rows.width;
    const int filled = rows.filled[sy];
    for (int x = 0; x < w; ++x) {
      const int sx = x - left;
      if (x < area.left || x >= area.left + area.width || sx >= filled || src[sx] == skip)
        inUse[row[x]] = true;
      else
        needed[src[sx]] = true;
    }
  }
  bool anyCanvas = false;
  for (int i = 0; i < 256; ++i) anyCanvas |= inUse[i];

  uint8_t map[256];
  if (n == 0 || !anyCanvas) {
    // Nothing of an earlier frame shows: the image's own table serves.
    for (int i = 0; i < 256; ++i) {
      map[i] = (uint8_t)i;
      image->palette[i] = colours[3 * i];
      image->palette[256 + i] = colours[3 * i + 1];
      image->palette[512 + i] = colours[3 * i + 2];
    }
    image->paletteCount = (int16_t)colourCount;
  } else {
    const bool identity =
        ReconcileGifPalette(image->palette, inUse, colours, needed, transparentOut, map);
    bool sameTable = identity;
    for (int i = 0; i < colourCount && sameTable; ++i)
      sameTable = image->palette[i] == colours[3 * i] &&
                  image->palette[256 + i] == colours[3 * i + 1] &&
                  image->palette[512 + i] == colours[3 * i + 2];
    for (int i = colourCount; i < 256 && sameTable; ++i) sameTable = !inUse[i];
    image->paletteCount = (int16_t)(sameTable ? colourCount : 256);
  }

  // Draw the decoded pixels; the transparent index lets the canvas show.
  for (int y = area.top; y < area.top + area.height; ++y) {
    const int sy = y - top;
    const uint8_t* src = rows.pixels.data() + (size_t)sy * rows.width;
    uint8_t* dst = canvas + (size_t)y * w;
    int end = area.left + area.width;
    if (end > left + rows.filled[sy]) end = left + rows.filled[sy];
    for (int x = area.left; x < end; ++x) {
      const int v = src[x - left];
      if (v != skip) dst[x] = map[v];
    }
  }
  animation_->frameCount = n + 1;
  return RESULT_OK;
}

}  // namespace

int LoadGifAnimationCapped(const char* path, GifAnimation* animation, uint64_t memoryCap) {
  animation->frameCount = 0;
  animation->frames = nullptr;
  AnimationLoader loader(animation, memoryCap);
  return loader.Load(path);
}

int LoadGifAnimation(const char* path, GifAnimation* animation) {
  return LoadGifAnimationCapped(path, animation, kDefaultMemoryCap);
}

void GifAnimationFree(GifAnimation* animation) {
  if (!animation) return;
  for (uint32_t i = 0; i < animation->frameCount; ++i) ImageFree(&animation->frames[i].image);
  free(animation->frames);
  animation->frames = nullptr;
  animation->frameCount = 0;
}
