// The PNG writer over libpng: colour type by picture, depth 4 for small
// palettes, PLTE, tRNS, pHYs, a tEXt comment, compression level, filter
// choice and Adam7 interlacing.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "imagelib/codecs/codecs.h"
#include "imagelib/codecs/png_io.h"
#include "imagelib/core/reader_contract.h"

namespace {

png_voidp Allocate(png_structp, png_alloc_size_t size) { return malloc(size); }
void Deallocate(png_structp, png_voidp pointer) { free(pointer); }

struct PngWriterState {
  png_structp png;
  png_infop info;
  FileStream* stream;
  bool rowOutput;
  png_colorp palette;
  uint8_t* image;    // interlaced: all rows
  png_bytep* rows;   // interlaced: the row table
};

void Release(PngWriterState* s, SaveContext* context) {
  if (s->rowOutput) EndRowOutput(context);
  if (s->png) png_destroy_write_struct(&s->png, s->info ? &s->info : nullptr);
  free(s->palette);
  free(s->image);
  free(s->rows);
  StreamClose(s->stream);
  delete s;
}

int FilterMask(int choice) {
  switch (choice) {
    case 1: return PNG_FILTER_SUB;
    case 2: return PNG_FILTER_UP;
    case 3: return PNG_FILTER_AVG;
    case 4: return PNG_FILTER_PAETH;
    case 5: return PNG_ALL_FILTERS;
    default: return -1;  // libpng's own choice
  }
}

}  // namespace

void PngWriterCaps(CapEntry* entries) {
  const int16_t types[] = {(int16_t)PIXEL_ANY32, PIXEL_ANY24, PIXEL_GREY, PIXEL_INDEXED,
                           PIXEL_BW};
  for (int i = 0; i < 5; ++i) {
    entries[i].pixelType = types[i];
    entries[i].maxColours = -1;
  }
}

int WritePng(const char16_t* path, SaveContext* context) {
  FileStream* stream = StreamOpen(path, STREAM_WRITE_BINARY);
  if (!stream) return RESULT_CANNOT_CREATE;
  PngWriterState* s = new (std::nothrow) PngWriterState();
  if (!s) {
    StreamClose(stream);
    return RESULT_NO_MEMORY;
  }
  s->stream = stream;
  s->png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, PngErrorJump,
                                     PngWarningSilent, nullptr, Allocate, Deallocate);
  if (!s->png || !(s->info = png_create_info_struct(s->png))) {
    Release(s, context);
    return RESULT_NO_MEMORY;
  }
  if (setjmp(png_jmpbuf(s->png))) {
    Release(s, context);
    return RESULT_WRITE_ERROR;
  }
  png_set_write_fn(s->png, stream, PngWriteToStream, PngFlushNothing);

  const WriteOptions& o = context->options;
  int level = o.level;
  if (level > 9) level = 9;
  if (level < 0) level = 6;
  png_set_compression_level(s->png, level);
  int filters = FilterMask(o.pngFilter);
  if (filters >= 0) png_set_filter(s->png, PNG_FILTER_TYPE_BASE, filters);

  const png_uint_32 width = (png_uint_32)context->width;
  const png_uint_32 height = (png_uint_32)context->height;
  const uint16_t type = context->pixelType;
  int colourType = PNG_COLOR_TYPE_GRAY;
  int depth = 8;
  int bitsPerPixel = 8;
  int paletteEntries = 0;
  if (type == PIXEL_BW) {
    depth = 1;
    bitsPerPixel = 1;
  } else if (type == PIXEL_INDEXED) {
    colourType = PNG_COLOR_TYPE_PALETTE;
    if (context->paletteCount < 17) {
      depth = 4;
      paletteEntries = 16;
    } else {
      paletteEntries = 256;
    }
    bitsPerPixel = depth;
  } else if (type & PIXEL_ANYCOLOUR) {
    if (context->bitsPerPixel == 24) {
      colourType = PNG_COLOR_TYPE_RGB;
      bitsPerPixel = 24;
    } else {
      colourType = PNG_COLOR_TYPE_RGB_ALPHA;
      bitsPerPixel = 32;
    }
  }
  png_set_IHDR(s->png, s->info, width, height, depth, colourType,
               o.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (context->xDpi != 0 && context->yDpi != 0) {
    png_set_pHYs(s->png, s->info, (png_uint_32)(context->xDpi * 39.371370451786476),
                 (png_uint_32)(context->yDpi * 39.371370451786476), PNG_RESOLUTION_METER);
  }
  if (context->comment) {
    png_text text;
    memset(&text, 0, sizeof text);
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char*>("Comment");
    text.text = const_cast<char*>(context->comment);
    text.text_length = strlen(context->comment);
    png_set_text(s->png, s->info, &text, 1);
  }
  const int t = context->transparentIndex;
  if (!(type & PIXEL_ANYCOLOUR) && t >= 0) {
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
      if (t < paletteEntries) {
        png_byte alpha[256];
        for (int i = 0; i < t; ++i) alpha[i] = 255;
        alpha[t] = 0;
        png_set_tRNS(s->png, s->info, alpha, t + 1, nullptr);
      }
    } else if (t < (1 << depth)) {
      // Grey pictures: the transparent index is the grey level that is
      // transparent, written as the grey it becomes in the file.
      png_color_16 key;
      memset(&key, 0, sizeof key);
      key.gray = (png_uint_16)(depth == 8 ? context->palette[t] : t);
      png_set_tRNS(s->png, s->info, nullptr, 0, &key);
    }
  }

  TargetFormat target;
  InitTargetFormat(&target);
  target.planes = 1;
  target.bitsPerPlane = (uint16_t)bitsPerPixel;
  target.bitsPerSample = (uint16_t)std::min(bitsPerPixel, 8);
  const uint64_t rowBytes = ((uint64_t)width * bitsPerPixel + 7) / 8;
  target.bytesPerPlane = (uint32_t)rowBytes;
  strcpy(target.formatName, "PiNG");
  int code = BeginRowOutput(context, &target);
  if (code != 0) {
    Release(s, context);
    return code;
  }
  s->rowOutput = true;

  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    s->palette = (png_colorp)calloc((size_t)paletteEntries, sizeof(png_color));
    if (!s->palette) {
      Release(s, context);
      return RESULT_NO_MEMORY;
    }
    const int count = std::min<int>(std::max<int>(context->paletteCount, 0), paletteEntries);
    for (int i = 0; i < count; ++i) {
      s->palette[i].red = context->palette[i];
      s->palette[i].green = context->palette[256 + i];
      s->palette[i].blue = context->palette[512 + i];
    }
    png_set_PLTE(s->png, s->info, s->palette, paletteEntries);
  }
  png_write_info(s->png, s->info);

  // Grey rows arrive as levels (fewer than 256 for shallow pictures): the
  // 8-bit grey of each level comes from the ramp.
  const bool greyRamp = type == PIXEL_GREY;
  if (o.interlaced) {
    // Adam7 needs the whole picture at once.
    const uint64_t total = rowBytes * height;
    if (total > SIZE_MAX || !(s->image = (uint8_t*)malloc((size_t)total)) ||
        !(s->rows = (png_bytep*)malloc(sizeof(png_bytep) * height))) {
      Release(s, context);
      return RESULT_NO_MEMORY;
    }
    for (png_uint_32 y = 0; y < height; ++y) {
      code = FetchRow(context, (int)y, 1);
      if (code != 0) {
        Release(s, context);
        return code;
      }
      s->rows[y] = s->image + (size_t)y * rowBytes;
      memcpy(s->rows[y], target.rowBuffer, (size_t)rowBytes);
      if (greyRamp) {
        for (png_uint_32 x = 0; x < width; ++x) s->rows[y][x] = context->palette[s->rows[y][x]];
      }
    }
    png_write_image(s->png, s->rows);
  } else {
    for (png_uint_32 y = 0; y < height; ++y) {
      code = FetchRow(context, (int)y, 1);
      if (code != 0) {
        Release(s, context);
        return code;
      }
      png_bytep row = target.rowBuffer;
      if (greyRamp) {
        for (png_uint_32 x = 0; x < width; ++x) row[x] = context->palette[row[x]];
      }
      png_write_rows(s->png, &row, 1);
    }
  }
  EndRowOutput(context);
  s->rowOutput = false;
  png_write_end(s->png, s->info);
  code = (stream->file && fflush(stream->file) != 0) ? RESULT_WRITE_ERROR : RESULT_OK;
  Release(s, context);
  return code;
}
