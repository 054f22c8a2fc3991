// JPEG decoding for the TIFF reader: old-style pages read from the file
// stream and delivered through the load pipeline, and new-style strips or
// tiles decoded from memory into the caller's rows. Every libjpeg error
// gives 2.
#include "imagelib/codecs/jpeg_in_tiff.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jerror.h>

#include "imagelib/codecs/jpeg_managers.h"
#include "imagelib/core/file_stream.h"
#include "imagelib/core/reader_contract.h"

namespace {

constexpr unsigned kMarkerLimit = 65535;
constexpr unsigned kMaxSide = 200000;

// Source manager over a list of pieces: the same buffer size and end
// behaviour as the file source manager.
struct PieceSource {
  jpeg_source_mgr pub;
  FileStream* stream;
  const JpegStreamPiece* pieces;
  size_t count;
  size_t index;   // piece being read
  uint64_t used;  // bytes of that piece already supplied
  bool started;
  JOCTET buffer[kJpegBufferSize];
};

void PieceInit(j_decompress_ptr) {}
void PieceTerm(j_decompress_ptr) {}

boolean PieceFill(j_decompress_ptr cinfo) {
  PieceSource* src = (PieceSource*)cinfo->src;
  while (src->index < src->count) {
    const JpegStreamPiece& piece = src->pieces[src->index];
    if (src->used >= piece.length) {
      src->index++;
      src->used = 0;
      continue;
    }
    size_t n = (size_t)std::min<uint64_t>(kJpegBufferSize, piece.length - src->used);
    if (piece.bytes) {
      memcpy(src->buffer, piece.bytes + src->used, n);
    } else if (StreamSeek(src->stream, (int64_t)(piece.offset + src->used)) == 0) {
      n = StreamRead(src->stream, src->buffer, n);
    } else {
      n = 0;
    }
    if (n == 0) {  // unreadable: go on with the next piece
      src->index++;
      src->used = 0;
      continue;
    }
    src->used += n;
    src->started = true;
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    return TRUE;
  }
  if (!src->started) ERREXIT(cinfo, JERR_INPUT_EMPTY);
  WARNMS(cinfo, JWRN_JPEG_EOF);
  src->buffer[0] = 0xFF;
  src->buffer[1] = JPEG_EOI;
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = 2;
  return TRUE;
}

void PieceSkip(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (count > (long)src->bytes_in_buffer) {
    count -= (long)src->bytes_in_buffer;
    PieceFill(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= (size_t)count;
}

struct PageState {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JpegFileSource source;
  PieceSource pieceSource;
  bool created;
  bool started;  // StartPicture succeeded
};

int EndPage(PageState* s, int code) {
  if (s->created) jpeg_destroy_decompress(&s->cinfo);
  delete s;
  return code;
}

struct StripState {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JpegMemorySource source;
  bool created;
  uint8_t* scratch;
};

int EndStrip(StripState* s, int code) {
  if (s->created) jpeg_destroy_decompress(&s->cinfo);
  free(s->scratch);
  delete s;
  return code;
}

}  // namespace

namespace {

// Decodes and delivers the page from `pieces` when given, else from the
// stream at its position.
int DecodePage(FileStream* stream, const JpegStreamPiece* pieces, size_t count,
               LoadContext* context, const char* formatText) {
  PageState* s = new (std::nothrow) PageState();
  if (!s) return RESULT_NO_MEMORY;
  const uint32_t flags = context->options.flags;
  s->cinfo.err = JpegInitErrorManager(&s->err, JPEG_RULES_TIFF);
  if (setjmp(s->err.jump)) {
    if (s->started) FinishPicture(context, 0, 8, nullptr);
    return EndPage(s, RESULT_NOT_RECOGNISED);
  }
  jpeg_create_decompress(&s->cinfo);
  s->created = true;
  JpegLimitMemory(&s->cinfo, context->options.memoryCap);
  if (pieces) {
    PieceSource* src = &s->pieceSource;
    src->pub.init_source = PieceInit;
    src->pub.fill_input_buffer = PieceFill;
    src->pub.skip_input_data = PieceSkip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = PieceTerm;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->stream = stream;
    src->pieces = pieces;
    src->count = count;
    s->cinfo.src = &src->pub;
  } else {
    JpegAttachFileSource(&s->cinfo, &s->source, stream);
  }
  jpeg_save_markers(&s->cinfo, JPEG_COM, kMarkerLimit);
  jpeg_read_header(&s->cinfo, TRUE);
  if (s->cinfo.image_width >= kMaxSide || s->cinfo.image_height >= kMaxSide) {
    return EndPage(s, RESULT_NOT_RECOGNISED);
  }
  if ((flags & LOAD_KEEP_COMMENT) && s->cinfo.marker_list &&
      s->cinfo.marker_list->marker == JPEG_COM) {
    SetComment(context, (const char*)s->cinfo.marker_list->data,
               (int)s->cinfo.marker_list->data_length);
  }
  if (flags & LOAD_ALLOW_THUMBNAIL) {
    s->cinfo.dct_method = JDCT_IFAST;
    s->cinfo.do_fancy_upsampling = FALSE;
    if (context->options.maxWidth >= 1 && context->options.maxHeight >= 1) {
      jpeg_calc_output_dimensions(&s->cinfo);
      s->cinfo.scale_num = 1;
      s->cinfo.scale_denom = (unsigned)JpegScaleDenominator(
          (int)s->cinfo.output_width, (int)s->cinfo.output_height, context->options.maxWidth,
          context->options.maxHeight);
    }
  }
  jpeg_start_decompress(&s->cinfo);

  SourceFormat header;
  InitSourceFormat(&header);
  header.width = (int32_t)s->cinfo.output_width;
  header.height = (int32_t)s->cinfo.output_height;
  header.planes = 1;
  header.compression = COMPRESSION_JPEG;
  snprintf(header.formatText, sizeof header.formatText, "%s", formatText ? formatText : "");
  const int components = s->cinfo.output_components;
  if (components == 1) {
    header.bitsPerPlane = 8;
  } else if (components == 3) {
    header.bitsPerPlane = 24;
  } else if (components == 4) {
    header.bitsPerPlane = 32;
    header.flags = SRC_CMYK_INVERTED;
    header.colourModel = COLOUR_CMYK;
  } else {
    return EndPage(s, RESULT_NOT_RECOGNISED);
  }
  header.bytesPerPlane = header.width * components;
  header.storedWidth = (int32_t)s->cinfo.image_width;
  header.storedHeight = (int32_t)s->cinfo.image_height;
  header.storedBytesPerPlane = (int32_t)s->cinfo.image_width * components;
  header.storedBitsPerSample = 8;
  header.storedSamplesPerPixel = (uint32_t)components;
  context->interlaced = 0;
  header.xDpi = s->cinfo.X_density;
  header.yDpi = s->cinfo.Y_density;

  int code = StartPicture(context, &header);
  if (code != 0) return EndPage(s, code);
  s->started = true;
  JSAMPROW row = header.rowBuffer;
  int stop = 0;
  while (s->cinfo.output_scanline < s->cinfo.output_height) {
    if (jpeg_read_scanlines(&s->cinfo, &row, 1) != 1) break;
    stop = DeliverRows(context, -1, -1, 1);
    if (stop != 0) break;
  }
  s->started = false;
  FinishPicture(context, 0, 8, nullptr);
  if (stop != 0) {
    jpeg_abort_decompress(&s->cinfo);
    return EndPage(s, stop);
  }
  jpeg_finish_decompress(&s->cinfo);
  return EndPage(s, RESULT_OK);
}

}  // namespace

int DecodeJpegInTiff(FileStream* stream, LoadContext* context, const char* formatText) {
  return DecodePage(stream, nullptr, 0, context, formatText);
}

int DecodeJpegInTiffPieces(FileStream* stream, const JpegStreamPiece* pieces, size_t count,
                           LoadContext* context, const char* formatText) {
  if (!pieces || count == 0) return RESULT_NOT_RECOGNISED;
  return DecodePage(stream, pieces, count, context, formatText);
}

int DecodeJpegStrip(const uint8_t* data, size_t size, const uint8_t* tables, size_t tablesSize,
                    bool ycbcrToRgb, JpegStripOutput* out) {
  out->rowsDone = 0;
  out->decodedWidth = 0;
  out->decodedHeight = 0;
  if (!data || size == 0 || !out->pixels || out->width < 1 || out->rows < 1) {
    return RESULT_NOT_RECOGNISED;
  }
  StripState* s = new (std::nothrow) StripState();
  if (!s) return RESULT_NO_MEMORY;
  s->cinfo.err = JpegInitErrorManager(&s->err, JPEG_RULES_TIFF);
  if (setjmp(s->err.jump)) return EndStrip(s, RESULT_NOT_RECOGNISED);
  jpeg_create_decompress(&s->cinfo);
  s->created = true;
  JpegLimitMemory(&s->cinfo, kDefaultMemoryCap);
  if (tables && tablesSize > 0) {
    JpegAttachMemorySource(&s->cinfo, &s->source, tables, tablesSize);
    jpeg_read_header(&s->cinfo, FALSE);  // a tables-only stream
  }
  JpegAttachMemorySource(&s->cinfo, &s->source, data, size);
  jpeg_read_header(&s->cinfo, TRUE);
  if (s->cinfo.image_width >= kMaxSide || s->cinfo.image_height >= kMaxSide ||
      s->cinfo.num_components != out->components) {
    return EndStrip(s, RESULT_NOT_RECOGNISED);
  }
  if (s->cinfo.num_components == 3 && ycbcrToRgb) {
    s->cinfo.jpeg_color_space = JCS_YCbCr;
    s->cinfo.out_color_space = JCS_RGB;
  } else if (s->cinfo.num_components == 1) {
    s->cinfo.jpeg_color_space = JCS_GRAYSCALE;
    s->cinfo.out_color_space = JCS_GRAYSCALE;
  } else {
    // Samples as stored: no colour conversion.
    s->cinfo.jpeg_color_space = JCS_UNKNOWN;
    s->cinfo.out_color_space = JCS_UNKNOWN;
  }
  jpeg_start_decompress(&s->cinfo);
  if (s->cinfo.output_components != out->components) {
    return EndStrip(s, RESULT_NOT_RECOGNISED);
  }
  out->decodedWidth = (int)s->cinfo.output_width;
  out->decodedHeight = (int)s->cinfo.output_height;
  const size_t decodedRow = (size_t)s->cinfo.output_width * (size_t)out->components;
  const size_t wantedRow = (size_t)out->width * (size_t)out->components;
  const size_t copy = std::min(decodedRow, wantedRow);
  s->scratch = (uint8_t*)malloc(decodedRow);
  if (!s->scratch) return EndStrip(s, RESULT_NO_MEMORY);
  JSAMPROW row = s->scratch;
  while (s->cinfo.output_scanline < s->cinfo.output_height) {
    if (jpeg_read_scanlines(&s->cinfo, &row, 1) != 1) break;
    int y = (int)s->cinfo.output_scanline - 1;
    if (y < out->rows) {
      memcpy(out->pixels + (size_t)y * out->bytesPerRow, s->scratch, copy);
      out->rowsDone = y + 1;
    }
  }
  jpeg_finish_decompress(&s->cinfo);
  return EndStrip(s, RESULT_OK);
}
