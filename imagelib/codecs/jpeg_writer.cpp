// The JPEG writer over libjpeg: quality, baseline or progressive, optimised
// Huffman tables, chroma subsampling, DCT method, smoothing, density, and
// the COM / APP13 / APP1 / APP2 markers from the picture's comment and
// metadata.
#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>

#include "imagelib/codecs/codecs.h"
#include "imagelib/codecs/jpeg_managers.h"
#include "imagelib/core/reader_contract.h"

namespace {

constexpr unsigned kMaxMarkerData = 65533;
// An ICC chunk carries "ICC_PROFILE", 0, sequence number and count.
constexpr unsigned kIccHeader = 14;
constexpr unsigned kMaxIccChunk = kMaxMarkerData - kIccHeader;

struct WriterState {
  jpeg_compress_struct cinfo;
  JpegErrorManager err;
  JpegFileDestination destination;
  FileStream* stream;
  bool created;
  bool rowOutput;
};

void Release(WriterState* s, SaveContext* context) {
  if (s->rowOutput) EndRowOutput(context);
  if (s->created) jpeg_destroy_compress(&s->cinfo);
  StreamClose(s->stream);
  delete s;
}

void WriteIccProfile(j_compress_ptr cinfo, const uint8_t* profile, uint32_t size) {
  // A profile too large for one marker is split into numbered chunks.
  unsigned chunks = (size + kMaxIccChunk - 1) / kMaxIccChunk;
  if (chunks == 0) chunks = 1;
  if (chunks > 255) return;
  for (unsigned i = 0; i < chunks; ++i) {
    unsigned offset = i * kMaxIccChunk;
    unsigned length = std::min<uint32_t>(kMaxIccChunk, size - offset);
    jpeg_write_m_header(cinfo, JPEG_APP0 + 2, length + kIccHeader);
    for (const char* p = "ICC_PROFILE"; *p; ++p) jpeg_write_m_byte(cinfo, *p);
    jpeg_write_m_byte(cinfo, 0);
    jpeg_write_m_byte(cinfo, (int)(i + 1));
    jpeg_write_m_byte(cinfo, (int)chunks);
    for (unsigned k = 0; k < length; ++k) jpeg_write_m_byte(cinfo, profile[offset + k]);
  }
}

void WriteMarkers(j_compress_ptr cinfo, const SaveContext* context) {
  if (context->comment) {
    size_t length = strlen(context->comment) + 1;  // the terminating zero is written too
    if (length > kMaxMarkerData) length = kMaxMarkerData;
    jpeg_write_marker(cinfo, JPEG_COM, (const JOCTET*)context->comment, (unsigned)length);
  }
  for (const MetadataBlock* b = context->metadata; b; b = b->next) {
    if (!b->data || b->size == 0) continue;
    if (b->kind == META_IPTC && context->options.keepIptc) {
      if (b->size <= kMaxMarkerData) jpeg_write_marker(cinfo, JPEG_APP0 + 13, b->data, b->size);
    } else if (b->kind == META_EXIF && context->options.keepExif) {
      if (b->size <= kMaxMarkerData) jpeg_write_marker(cinfo, JPEG_APP0 + 1, b->data, b->size);
    } else if (b->kind == META_ICC && (context->options.flags & SAVE_WRITE_ICC)) {
      WriteIccProfile(cinfo, b->data, b->size);
    }
  }
}

}  // namespace

void JpegWriterCaps(CapEntry* entries) {
  const int16_t types[] = {PIXEL_ANY24, PIXEL_GREY, PIXEL_BW, PIXEL_CMYK};
  for (int i = 0; i < 4; ++i) {
    entries[i].pixelType = types[i];
    entries[i].maxColours = -1;
  }
}

int WriteJpeg(const char16_t* path, SaveContext* context) {
  const uint16_t type = context->pixelType;
  if (type != PIXEL_BW && type != PIXEL_GREY && !(type & PIXEL_ANYCOLOUR)) {
    return RESULT_CANNOT_STORE;
  }
  FileStream* stream = StreamOpen(path, STREAM_WRITE_BINARY);
  if (!stream) return RESULT_CANNOT_CREATE;
  WriterState* s = new (std::nothrow) WriterState();
  if (!s) {
    StreamClose(stream);
    return RESULT_NO_MEMORY;
  }
  s->stream = stream;
  s->cinfo.err = JpegInitErrorManager(&s->err, JPEG_RULES_WRITER);
  s->err.writeFailed = &s->destination.failed;
  if (setjmp(s->err.jump)) {
    int code = s->err.code;
    Release(s, context);
    return code;
  }
  jpeg_create_compress(&s->cinfo);
  s->created = true;
  JpegAttachDestination(&s->cinfo, &s->destination, stream);

  const bool cmyk = (type & PIXEL_ANYCOLOUR) && context->sourceType == PIXEL_CMYK;
  int components = 3;
  J_COLOR_SPACE space = JCS_RGB;
  if (type == PIXEL_BW || type == PIXEL_GREY) {
    components = 1;
    space = JCS_GRAYSCALE;
  } else if (cmyk) {
    components = 4;
    space = JCS_CMYK;
  }
  s->cinfo.image_width = (JDIMENSION)context->width;
  s->cinfo.image_height = (JDIMENSION)context->height;
  s->cinfo.input_components = components;
  s->cinfo.in_color_space = space;
  jpeg_set_defaults(&s->cinfo);

  const WriteOptions& o = context->options;
  s->cinfo.optimize_coding = o.optimizeHuffman ? TRUE : FALSE;
  if (context->xDpi != 0 && context->yDpi != 0) {
    s->cinfo.density_unit = 1;
    s->cinfo.X_density = (UINT16)std::min<uint32_t>(context->xDpi, 65535);
    s->cinfo.Y_density = (UINT16)std::min<uint32_t>(context->yDpi, 65535);
  }
  jpeg_set_quality(&s->cinfo, o.quality, TRUE);
  if (o.interlaced) jpeg_simple_progression(&s->cinfo);
  if (o.jpegSubsampling <= 2) {
    static const int kH[3] = {2, 2, 1};
    static const int kV[3] = {2, 1, 1};
    s->cinfo.comp_info[0].h_samp_factor = kH[o.jpegSubsampling];
    s->cinfo.comp_info[0].v_samp_factor = kV[o.jpegSubsampling];
    for (int c = 1; c < s->cinfo.num_components && c < 3; ++c) {
      s->cinfo.comp_info[c].h_samp_factor = 1;
      s->cinfo.comp_info[c].v_samp_factor = 1;
    }
  }
  if (o.jpegDctMethod == 1) s->cinfo.dct_method = JDCT_IFAST;
  if (o.jpegDctMethod == 2) s->cinfo.dct_method = JDCT_FLOAT;
  s->cinfo.smoothing_factor = std::clamp<int>(o.jpegSmoothing, 0, 100);

  jpeg_start_compress(&s->cinfo, TRUE);
  WriteMarkers(&s->cinfo, context);

  TargetFormat target;
  InitTargetFormat(&target);
  target.planes = 1;
  target.bitsPerPlane = (uint16_t)(8 * components);
  target.bitsPerSample = 8;
  if (cmyk) target.flags = SRC_CMYK_INVERTED;
  target.bytesPerPlane = (uint32_t)context->width * (uint32_t)components;
  strcpy(target.formatName, "Jpeg");
  int code = BeginRowOutput(context, &target);
  if (code != 0) {
    Release(s, context);
    return code;
  }
  s->rowOutput = true;
  for (int y = 0; y < context->height; ++y) {
    code = FetchRow(context, y, 1);
    if (code != 0) {
      Release(s, context);
      return code;
    }
    JSAMPROW row = target.rowBuffer;
    if (components == 1) {
      // Bilevel and grey rows arrive as levels: their grey comes from the ramp.
      for (int x = 0; x < context->width; ++x) row[x] = context->palette[row[x]];
    }
    if (jpeg_write_scanlines(&s->cinfo, &row, 1) != 1) {
      Release(s, context);
      return RESULT_WRITE_ERROR;
    }
  }
  jpeg_finish_compress(&s->cinfo);
  code = s->destination.failed ? RESULT_WRITE_ERROR : RESULT_OK;
  Release(s, context);
  return code;
}
