// The JPEG/JFIF reader over libjpeg: marker saving into the comment and the
// metadata list, the embedded EXIF thumbnail shortcut, fast and scaled
// decoding for thumbnails, the quality estimate, and row delivery.
//
// libjpeg reports fatal errors by longjmp. Everything that must survive a
// jump lives in a heap-allocated state record, and no object with a
// destructor is alive between setjmp and a libjpeg call.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jerror.h>

#include "imagelib/codecs/codecs.h"
#include "imagelib/codecs/jpeg_exif_thumbnail.h"
#include "imagelib/codecs/jpeg_managers.h"
#include "imagelib/codecs/jpeg_quality.h"
#include "imagelib/core/reader_contract.h"

namespace {

constexpr unsigned kMarkerLimit = 65535;
constexpr int kMaxSide = 200000;

// Fills the parts of the SourceFormat that depend on the output colour
// space; false for an output that the pipeline cannot take.
bool DescribeOutput(const jpeg_decompress_struct& cinfo, SourceFormat* header, const char** name) {
  header->planes = 1;
  header->compression = COMPRESSION_JPEG;
  header->width = (int32_t)cinfo.output_width;
  header->height = (int32_t)cinfo.output_height;
  switch (cinfo.out_color_space) {
    case JCS_GRAYSCALE:
      if (cinfo.output_components != 1) return false;
      *name = "JPEG Grayscale";
      header->bitsPerPlane = 8;
      header->bytesPerPlane = (int32_t)cinfo.output_width;
      return true;
    case JCS_RGB:
      if (cinfo.output_components != 3) return false;
      *name = "JPEG TrueColor";
      header->bitsPerPlane = 24;
      header->bytesPerPlane = (int32_t)cinfo.output_width * 3;
      return true;
    case JCS_CMYK:
      if (cinfo.output_components != 4) return false;
      *name = "JPEG CMYK";
      header->flags |= SRC_CMYK_INVERTED;
      header->colourModel = COLOUR_CMYK;
      header->bitsPerPlane = 32;
      header->bytesPerPlane = (int32_t)cinfo.output_width * 4;
      return true;
    default:
      return false;
  }
}

void SetFormatText(const jpeg_decompress_struct& cinfo, SourceFormat* header, const char* name) {
  snprintf(header->formatText, sizeof header->formatText, "%s (v%d.%d)", name,
           (int)cinfo.JFIF_major_version, (int)cinfo.JFIF_minor_version);
}

// Picks the output colour space for files libjpeg leaves as "unknown", so
// that every accepted file comes out as grey, RGB or CMYK.
void ChooseOutputSpace(jpeg_decompress_struct* cinfo) {
  if (cinfo->jpeg_color_space == JCS_UNKNOWN) {
    if (cinfo->num_components == 3) {
      cinfo->jpeg_color_space = JCS_RGB;
      cinfo->out_color_space = JCS_RGB;
    } else if (cinfo->num_components == 4) {
      cinfo->jpeg_color_space = JCS_CMYK;
      cinfo->out_color_space = JCS_CMYK;
    }
  }
}

// --- embedded thumbnail ----------------------------------------------------

enum ThumbnailOutcome { THUMB_DELIVERED, THUMB_NOT_USED };

struct ThumbnailState {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JpegMemorySource source;
  bool created;
  uint8_t* pixels;
  JSAMPROW* rows;
  int result;
};

void ReleaseThumbnail(ThumbnailState* t) {
  if (t->created) jpeg_destroy_decompress(&t->cinfo);
  free(t->pixels);
  free(t->rows);
  delete t;
}

// Decodes the thumbnail held in data[0..size) and, when it is acceptable,
// delivers it as the picture. *result receives the reader's result when
// the thumbnail was delivered (or delivery failed after the header).
ThumbnailOutcome DecodeThumbnail(const uint8_t* data, size_t size, LoadContext* context,
                                 const jpeg_decompress_struct& main, int* result) {
  ThumbnailState* t = new (std::nothrow) ThumbnailState();
  if (!t) return THUMB_NOT_USED;
  const uint32_t flags = context->options.flags;
  t->cinfo.err = JpegInitErrorManager(&t->err, JPEG_RULES_THUMBNAIL);
  if (setjmp(t->err.jump)) {
    ReleaseThumbnail(t);
    return THUMB_NOT_USED;
  }
  jpeg_create_decompress(&t->cinfo);
  t->created = true;
  JpegLimitMemory(&t->cinfo, context->options.memoryCap);
  JpegAttachMemorySource(&t->cinfo, &t->source, data, size);
  jpeg_read_header(&t->cinfo, TRUE);
  if (t->cinfo.image_width >= (JDIMENSION)kMaxSide || t->cinfo.image_height >= (JDIMENSION)kMaxSide) {
    ReleaseThumbnail(t);
    return THUMB_NOT_USED;
  }
  ChooseOutputSpace(&t->cinfo);
  if (flags & LOAD_ALLOW_THUMBNAIL) {
    t->cinfo.dct_method = JDCT_IFAST;
    t->cinfo.do_fancy_upsampling = FALSE;
  }
  jpeg_start_decompress(&t->cinfo);

  SourceFormat header;
  InitSourceFormat(&header);
  const char* name = nullptr;
  if (!DescribeOutput(t->cinfo, &header, &name)) {
    ReleaseThumbnail(t);
    return THUMB_NOT_USED;
  }
  SetFormatText(t->cinfo, &header, name);
  header.storedWidth = (int32_t)main.output_width;
  header.storedHeight = (int32_t)main.output_height;
  header.storedBytesPerPlane = (int32_t)main.output_width * main.output_components;
  header.storedBitsPerSample = 8;
  header.storedSamplesPerPixel = (uint32_t)main.output_components;
  // The main picture's resolution applies to its thumbnail too.
  if (main.X_density >= 2) {
    header.xDpi = main.X_density;
    header.yDpi = main.Y_density >= 2 ? main.Y_density : main.X_density;
  }

  const int maxWidth = context->options.maxWidth;
  const int maxHeight = context->options.maxHeight;
  if ((flags & LOAD_REFUSE_SMALL_THUMBNAIL) && maxWidth >= 1 && maxHeight >= 1 &&
      header.width < maxWidth && header.height < maxHeight) {
    ReleaseThumbnail(t);
    return THUMB_NOT_USED;
  }

  // Decode every row before anything is delivered.
  const size_t rowBytes = (size_t)header.bytesPerPlane;
  const size_t height = (size_t)header.height;
  // A few kilobytes of marker data may declare any size: the buffer is
  // held to the caller's memory cap.
  if ((uint64_t)rowBytes * height > context->options.memoryCap) {
    ReleaseThumbnail(t);
    return THUMB_NOT_USED;
  }
  t->pixels = (uint8_t*)malloc(rowBytes * height);
  t->rows = (JSAMPROW*)malloc(sizeof(JSAMPROW) * height);
  if (!t->pixels || !t->rows) {
    ReleaseThumbnail(t);
    return THUMB_NOT_USED;  // out of memory: the main picture is decoded instead
  }
  for (size_t y = 0; y < height; ++y) t->rows[y] = t->pixels + y * rowBytes;
  while (t->cinfo.output_scanline < t->cinfo.output_height) {
    JDIMENSION before = t->cinfo.output_scanline;
    jpeg_read_scanlines(&t->cinfo, t->rows + before, t->cinfo.output_height - before);
    if (t->cinfo.output_scanline == before) break;
  }
  jpeg_finish_decompress(&t->cinfo);
  if (t->source.truncated) {
    // A thumbnail cut short is not worth showing.
    ReleaseThumbnail(t);
    return THUMB_NOT_USED;
  }

  context->interlaced = 1;
  if (context->options.useThumbnail == 2) {
    context->options.maxWidth = header.width;
    context->options.maxHeight = header.height;
  }
  int code = StartPicture(context, &header);
  if (code != 0) {
    ReleaseThumbnail(t);
    *result = code;
    return THUMB_DELIVERED;
  }
  code = 0;
  for (size_t y = 0; y < height; ++y) {
    memcpy(header.rowBuffer, t->rows[y], rowBytes);
    code = DeliverRows(context, -1, -1, 1);
    if (code != 0) break;
  }
  FinishPicture(context, 0, 8, nullptr);
  ReleaseThumbnail(t);
  *result = code;
  return THUMB_DELIVERED;
}

// --- the file reader -------------------------------------------------------

enum Phase { PHASE_HEADER, PHASE_ROWS, PHASE_FINISH };

struct ReaderState {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JpegFileSource source;
  bool created;
  Phase phase;
  int stopCode;
};

void KeepMarkers(LoadContext* context, jpeg_decompress_struct* cinfo) {
  const uint32_t flags = context->options.flags;
  if (flags & LOAD_KEEP_COMMENT) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
      if (m->marker == JPEG_COM && m->data_length > 0) {
        SetComment(context, (const char*)m->data, (int)m->data_length);
      }
    }
  }
  if (!(flags & LOAD_KEEP_METADATA)) return;
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
    const uint8_t* d = m->data;
    const unsigned n = m->data_length;
    if (m->marker == JPEG_APP0 + 1) {
      if (n > 5 && memcmp(d, "Exif", 4) == 0) {
        AddMetadata(context, META_EXIF, d, n);
      } else if (n > 6 && memcmp(d, "http:", 5) == 0) {
        AddMetadata(context, META_XMP, d, n);
      }
    } else if (m->marker == JPEG_APP0 + 13) {
      if (n > 0) AddMetadata(context, META_IPTC, d, n);
    } else if (m->marker == JPEG_APP0 + 2) {
      if (n > 14 && memcmp(d, "ICC_PROFILE", 12) == 0) {
        AddMetadata(context, META_ICC, d + 14, n - 14);
      }
    }
  }
}

void LoadQuantTables(const jpeg_decompress_struct& cinfo, const uint16_t* tables[4]) {
  for (int t = 0; t < 4; ++t) {
    tables[t] = cinfo.quant_tbl_ptrs[t] ? cinfo.quant_tbl_ptrs[t]->quantval : nullptr;
  }
}

}  // namespace

int ReadJpeg(FileStream* stream, LoadContext* context) {
  ReaderState* s = new (std::nothrow) ReaderState();
  if (!s) return RESULT_NO_MEMORY;
  const uint32_t flags = context->options.flags;
  s->cinfo.err = JpegInitErrorManager(&s->err, JPEG_RULES_FILE);
  if (setjmp(s->err.jump)) {
    int code = s->err.code;
    if (s->phase == PHASE_ROWS) {
      FinishPicture(context, 0, 8, nullptr);
      code = RESULT_CORRUPT;
    } else if (s->phase == PHASE_FINISH) {
      code = s->stopCode ? s->stopCode : RESULT_CORRUPT;
    }
    if (s->created) jpeg_destroy_decompress(&s->cinfo);
    delete s;
    return code;
  }
  jpeg_create_decompress(&s->cinfo);
  s->created = true;
  JpegLimitMemory(&s->cinfo, context->options.memoryCap);
  JpegAttachFileSource(&s->cinfo, &s->source, stream);
  if (flags & LOAD_KEEP_COMMENT) jpeg_save_markers(&s->cinfo, JPEG_COM, kMarkerLimit);
  if (flags & LOAD_KEEP_METADATA) {
    for (int m = 0; m < 16; ++m) jpeg_save_markers(&s->cinfo, JPEG_APP0 + m, kMarkerLimit);
  } else if ((flags & LOAD_ALLOW_THUMBNAIL) && context->options.useThumbnail) {
    jpeg_save_markers(&s->cinfo, JPEG_APP0 + 1, kMarkerLimit);
  }
  jpeg_read_header(&s->cinfo, TRUE);
  if (s->cinfo.image_width >= (JDIMENSION)kMaxSide || s->cinfo.image_height >= (JDIMENSION)kMaxSide) {
    jpeg_destroy_decompress(&s->cinfo);
    delete s;
    return RESULT_NOT_RECOGNISED;
  }
  KeepMarkers(context, &s->cinfo);
  ChooseOutputSpace(&s->cinfo);

  // The full-size output, needed by the thumbnail and the scale choice.
  jpeg_calc_output_dimensions(&s->cinfo);

  if ((flags & LOAD_ALLOW_THUMBNAIL) && context->options.useThumbnail) {
    for (jpeg_saved_marker_ptr m = s->cinfo.marker_list; m; m = m->next) {
      if (m->marker != JPEG_APP0 + 1 || m->data_length <= 6) continue;
      size_t offset = 0, length = 0;
      if (!FindExifThumbnail(m->data, m->data_length, &offset, &length)) continue;
      int result = 0;
      if (DecodeThumbnail(m->data + offset, length, context, s->cinfo, &result) ==
          THUMB_DELIVERED) {
        jpeg_destroy_decompress(&s->cinfo);
        delete s;
        return result;
      }
      break;  // only the first thumbnail found is tried
    }
  }

  if ((flags & LOAD_ALLOW_THUMBNAIL) || (flags & LOAD_FAST_DECODE)) {
    s->cinfo.dct_method = JDCT_IFAST;
    s->cinfo.do_fancy_upsampling = FALSE;
  }
  if ((flags & LOAD_ALLOW_THUMBNAIL) && context->options.maxWidth != 0) {
    s->cinfo.scale_num = 1;
    s->cinfo.scale_denom =
        (unsigned)JpegScaleDenominator((int)s->cinfo.output_width, (int)s->cinfo.output_height,
                                       context->options.maxWidth, context->options.maxHeight);
    jpeg_calc_output_dimensions(&s->cinfo);
  }
  if (flags & LOAD_ESTIMATE_QUALITY) {
    const uint16_t* tables[4];
    LoadQuantTables(s->cinfo, tables);
    context->readerValue3 = (uint32_t)EstimateJpegQuality(tables);
  }
  context->interlaced = s->cinfo.progressive_mode ? 1 : 0;

  // An information query needs only the description, which the output
  // dimensions already give: a progressive file is not decoded for it.
  if (context->infoMode) {
    jpeg_calc_output_dimensions(&s->cinfo);
  } else {
    jpeg_start_decompress(&s->cinfo);
  }

  SourceFormat header;
  InitSourceFormat(&header);
  const char* name = nullptr;
  if (!DescribeOutput(s->cinfo, &header, &name)) {
    jpeg_destroy_decompress(&s->cinfo);
    delete s;
    return RESULT_NOT_RECOGNISED;
  }
  SetFormatText(s->cinfo, &header, name);
  header.storedWidth = (int32_t)s->cinfo.image_width;
  header.storedHeight = (int32_t)s->cinfo.image_height;
  header.storedBytesPerPlane = (int32_t)s->cinfo.image_width * s->cinfo.output_components;
  header.storedBitsPerSample = 8;
  header.storedSamplesPerPixel = (uint32_t)s->cinfo.output_components;
  if (s->cinfo.X_density >= 2) {
    header.xDpi = s->cinfo.X_density;
    header.yDpi = s->cinfo.Y_density >= 2 ? s->cinfo.Y_density : s->cinfo.X_density;
  }

  int code = StartPicture(context, &header);
  if (code != 0 || context->infoMode) {
    jpeg_destroy_decompress(&s->cinfo);
    delete s;
    return code;
  }

  s->phase = PHASE_ROWS;
  JSAMPROW row = header.rowBuffer;
  while (s->cinfo.output_scanline < s->cinfo.output_height) {
    if (jpeg_read_scanlines(&s->cinfo, &row, 1) != 1) break;
    s->stopCode = DeliverRows(context, -1, -1, 1);
    if (s->stopCode != 0) break;
  }
  FinishPicture(context, 0, 8, nullptr);
  s->phase = PHASE_FINISH;
  if (s->stopCode != 0) {
    // Delivery stopped (cancelled): the rest of the data is left unread.
    jpeg_abort_decompress(&s->cinfo);
    code = s->stopCode;
  } else {
    jpeg_finish_decompress(&s->cinfo);
    code = s->source.truncated ? RESULT_NOT_COMPLETE : RESULT_OK;
  }
  jpeg_destroy_decompress(&s->cinfo);
  delete s;
  return code;
}
