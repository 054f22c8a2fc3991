// The PNG reader over libpng: the read transformations that bring every
// file to at most 8 bits per sample, text, transparency, resolution and
// ICC handling, interlaced files, and row delivery with the rows so far
// kept when the data ends early.
//
// libpng reports errors by longjmp; everything that must survive a jump
// lives in a heap-allocated state record.
#include <cstdlib>
#include <cstring>
#include <new>

#include "imagelib/codecs/codecs.h"
#include "imagelib/codecs/png_io.h"
#include "imagelib/core/reader_contract.h"

namespace {

constexpr char kDescription[] = "Portable Network Graphics";
constexpr png_uint_32 kMaxSide = 199999;
constexpr png_alloc_size_t kMaxChunkBytes = 16u << 20;

enum Phase { PHASE_HEADER, PHASE_PASSES, PHASE_ROWS, PHASE_END };

struct PngReaderState {
  png_structp png;
  png_infop info;
  png_infop endInfo;
  Phase phase;
  bool interlaced;
  uint8_t* buffer;  // interlaced files: the whole picture
  size_t rowBytes;
  png_uint_32 height;
  SourceFormat header;
  int lastDelivery;
  int paletteCount;
  uint8_t palette[256 * 3];
  bool hasPalette;
  PngInput input;
};

void Release(PngReaderState* s) {
  if (s->png) png_destroy_read_struct(&s->png, s->info ? &s->info : nullptr,
                                      s->endInfo ? &s->endInfo : nullptr);
  free(s->buffer);
  delete s;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = (char)(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
    if (x != y) return false;
  }
  return *a == *b;
}

void KeepTexts(LoadContext* context, png_structp png, png_infop info) {
  png_textp texts = nullptr;
  int count = 0;
  png_get_text(png, info, &texts, &count);
  for (int i = 0; i < count; ++i) {
    const char* text = texts[i].text ? texts[i].text : "";
    if (strncmp(text, "nCC", 3) == 0) continue;
    if (texts[i].key && EqualsIgnoringCase(texts[i].key, "comment")) {
      SetComment(context, text, (int)texts[i].text_length);
    } else {
      AddText(context, texts[i].key, text, 0);
    }
  }
}

// Finishes a picture whose rows stopped early: what the rows so far hold is
// kept. Interlaced files deliver the whole buffer, which holds the passes
// read so far.
int FinishEarly(PngReaderState* s, LoadContext* context) {
  if (s->phase == PHASE_PASSES && s->buffer) {
    for (png_uint_32 y = 0; y < s->height; ++y) {
      memcpy(s->header.rowBuffer, s->buffer + (size_t)y * s->rowBytes, s->rowBytes);
      if (DeliverRows(context, -1, (int)y, 1) != 0) break;
    }
  }
  FinishPicture(context, 0, 8, s->hasPalette ? s->palette : nullptr);
  return s->lastDelivery == RESULT_CANCELLED ? RESULT_CANCELLED : RESULT_NOT_COMPLETE;
}

}  // namespace

int ReadPng(FileStream* stream, LoadContext* context) {
  uint8_t signature[5];
  int64_t start = StreamTell(stream);
  if (StreamRead(stream, signature, sizeof signature) != sizeof signature) {
    return RESULT_NOT_COMPLETE;
  }
  if (StreamSeek(stream, start) != 0) return RESULT_NOT_COMPLETE;

  PngReaderState* s = new (std::nothrow) PngReaderState();
  if (!s) return RESULT_NO_MEMORY;
  const uint32_t flags = context->options.flags;
  // A non-null error pointer asks the warning hook to print.
  s->png = png_create_read_struct(PNG_LIBPNG_VER_STRING,
                                  (flags & LOAD_CONSOLE) ? (png_voidp)s : nullptr, PngErrorJump,
                                  PngReaderWarning);
  if (!s->png) {
    Release(s);
    return RESULT_NO_MEMORY;
  }
  s->info = png_create_info_struct(s->png);
  s->endInfo = png_create_info_struct(s->png);
  if (!s->info || !s->endInfo) {
    Release(s);
    return RESULT_NO_MEMORY;
  }
  if (setjmp(png_jmpbuf(s->png))) {
    int code = RESULT_NOT_RECOGNISED;
    if (s->phase == PHASE_PASSES || s->phase == PHASE_ROWS) {
      code = FinishEarly(s, context);
    } else if (s->phase == PHASE_END) {
      code = RESULT_OK;  // errors after the last row are ignored
    }
    Release(s);
    return code;
  }
  s->input.stream = stream;
  png_set_read_fn(s->png, &s->input, PngReadFromStream);
  png_set_user_limits(s->png, kMaxSide, kMaxSide);
  // A damaged chunk length must not make libpng allocate (and clear)
  // gigabytes for an ancillary chunk.
  png_set_chunk_malloc_max(s->png, kMaxChunkBytes);
  png_read_info(s->png, s->info);

  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(s->png, s->info, &width, &height, &depth, &colourType, &interlace, nullptr,
               nullptr);

  // Transparency as stored.
  png_bytep transAlpha = nullptr;
  int transCount = 0;
  png_color_16p transColour = nullptr;
  const bool hasTrns = png_get_valid(s->png, s->info, PNG_INFO_tRNS) != 0;
  if (hasTrns) png_get_tRNS(s->png, s->info, &transAlpha, &transCount, &transColour);

  png_color_16 white;
  memset(&white, 0, sizeof white);
  white.red = white.green = white.blue = white.gray = 255;

  int samples = 1;
  switch (colourType) {
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_RGB_ALPHA:
      if (context->options.flattenAlpha) {
        png_set_background(s->png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        samples = 3;
      } else {
        samples = colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 3;
      }
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      png_set_strip_alpha(s->png);
      break;
    default: {
      bool partial = false;
      if (colourType == PNG_COLOR_TYPE_PALETTE && transAlpha) {
        for (int i = 0; i < transCount; ++i) {
          if (transAlpha[i] != 0 && transAlpha[i] != 255) partial = true;
        }
      }
      if (partial && context->options.flattenTransparency) {
        png_set_background(s->png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
      }
      break;
    }
  }
  if (depth == 16) png_set_strip_16(s->png);

  if (flags & LOAD_KEEP_COMMENT) KeepTexts(context, s->png, s->info);

  if ((flags & LOAD_KEEP_METADATA) && depth <= 8 &&
      png_get_valid(s->png, s->info, PNG_INFO_iCCP)) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(s->png, s->info, &name, &compression, &profile, &profileLength) &&
        profile && profileLength > 0) {
      AddMetadata(context, META_ICC, profile, profileLength);
    }
  }

  int passes = 1;
  s->interlaced = interlace != PNG_INTERLACE_NONE;
  if (s->interlaced) passes = png_set_interlace_handling(s->png);
  png_read_update_info(s->png, s->info);
  s->rowBytes = png_get_rowbytes(s->png, s->info);
  s->height = height;

  SourceFormat& header = s->header;
  InitSourceFormat(&header);
  snprintf(header.formatText, sizeof header.formatText, "%s%s", kDescription,
           s->interlaced ? " (Interlaced)" : "");
  header.width = (int32_t)width;
  header.height = (int32_t)height;
  header.planes = 1;
  header.compression = COMPRESSION_ZIP;
  const int bits = samples * (depth > 8 ? 8 : depth);
  header.bitsPerPlane = (int16_t)bits;
  header.bytesPerPlane = bits >= 8 ? (int32_t)((uint64_t)width * bits / 8) : (int32_t)s->rowBytes;
  png_uint_32 xPpm = 0, yPpm = 0;
  int unit = 0;
  if (png_get_pHYs(s->png, s->info, &xPpm, &yPpm, &unit) && unit == PNG_RESOLUTION_METER) {
    header.xDpi = (int32_t)((double)xPpm * 0.025399166666666667 + 0.5);
    header.yDpi = (int32_t)((double)yPpm * 0.025399166666666667 + 0.5);
  }
  if (colourType == PNG_COLOR_TYPE_PALETTE && transAlpha) {
    for (int i = 0; i < transCount; ++i) {
      if (transAlpha[i] == 0) {
        header.transparentIndex = (int16_t)i;
        break;
      }
    }
  }
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(s->png, s->info, &palette, &count) && palette) {
      s->hasPalette = true;
      if (count > 256) count = 256;
      for (int i = 0; i < count; ++i) {
        s->palette[3 * i] = palette[i].red;
        s->palette[3 * i + 1] = palette[i].green;
        s->palette[3 * i + 2] = palette[i].blue;
      }
      s->paletteCount = count;
    }
  }
  context->interlaced = s->interlaced ? 1 : 0;
  // The rows handed to libpng must hold what it writes.
  if ((uint64_t)s->rowBytes > (uint64_t)width * 4 + 1024 || s->rowBytes == 0) {
    Release(s);
    return RESULT_NOT_RECOGNISED;
  }

  int code = StartPicture(context, &header);
  if (code != 0) {
    Release(s);
    return code;
  }
  s->input.padAtEnd = true;

  if (s->interlaced) {
    uint64_t total = (uint64_t)s->rowBytes * height;
    if (total > context->options.memoryCap || total > SIZE_MAX ||
        !(s->buffer = (uint8_t*)calloc((size_t)total, 1))) {
      FinishPicture(context, 0, 8, nullptr);
      Release(s);
      return RESULT_NO_MEMORY;
    }
    s->phase = PHASE_PASSES;
    for (int pass = 0; pass + 1 < passes; ++pass) {
      for (png_uint_32 y = 0; y < height; ++y) {
        png_bytep row = s->buffer + (size_t)y * s->rowBytes;
        png_read_rows(s->png, &row, nullptr, 1);
      }
    }
    for (png_uint_32 y = 0; y < height; ++y) {
      png_bytep row = s->buffer + (size_t)y * s->rowBytes;
      png_read_rows(s->png, &row, nullptr, 1);
    }
    // Every pass is in: deliver the finished rows.
    s->phase = PHASE_ROWS;
    for (png_uint_32 y = 0; y < height; ++y) {
      memcpy(header.rowBuffer, s->buffer + (size_t)y * s->rowBytes, s->rowBytes);
      s->lastDelivery = DeliverRows(context, -1, -1, 1);
      if (s->lastDelivery != 0) break;
    }
  } else {
    s->phase = PHASE_ROWS;
    for (png_uint_32 y = 0; y < height; ++y) {
      png_bytep row = header.rowBuffer;
      png_read_rows(s->png, &row, nullptr, 1);
      s->lastDelivery = DeliverRows(context, -1, -1, 1);
      if (s->lastDelivery != 0) break;
    }
  }
  if (s->input.truncated) {
    // Every row came, but some from the padding: the data was cut short.
    FinishPicture(context, 0, 8, s->hasPalette ? s->palette : nullptr);
    code = s->lastDelivery == RESULT_CANCELLED ? RESULT_CANCELLED : RESULT_NOT_COMPLETE;
    Release(s);
    return code;
  }
  FinishPicture(context, 0, 8, s->hasPalette ? s->palette : nullptr);
  code = s->lastDelivery;
  if (code == 0) {
    s->phase = PHASE_END;
    png_read_end(s->png, s->endInfo);
    if (flags & LOAD_KEEP_COMMENT) KeepTexts(context, s->png, s->endInfo);
  }
  Release(s);
  return code;
}
