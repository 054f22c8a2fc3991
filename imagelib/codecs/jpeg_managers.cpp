// libjpeg glue: error manager and data managers.
#include "imagelib/codecs/jpeg_managers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <jerror.h>

#include "imagelib/core/file_stream.h"

namespace {

void ErrorExit(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  int messageCode = manager->pub.msg_code;
  manager->messageCode = messageCode;
  switch (manager->rules) {
    case JPEG_RULES_FILE:
      manager->code =
          (messageCode == JERR_INPUT_EMPTY || messageCode == JERR_SOF_UNSUPPORTED) ? 10 : 2;
      break;
    case JPEG_RULES_THUMBNAIL:
      manager->code = messageCode == JERR_SOF_UNSUPPORTED ? 10 : 2;
      break;
    case JPEG_RULES_TIFF:
      manager->code = 2;
      break;
    case JPEG_RULES_WRITER:
      manager->code = (manager->writeFailed && *manager->writeFailed) ? 6 : 11;
      break;
  }
  longjmp(manager->jump, 1);
}

// No text is ever printed.
void OutputMessage(j_common_ptr) {}

// --- file source -----------------------------------------------------------

void FileInit(j_decompress_ptr) {}

boolean FileFill(j_decompress_ptr cinfo) {
  auto* source = reinterpret_cast<JpegFileSource*>(cinfo->src);
  size_t n = StreamRead(source->stream, source->buffer, kJpegBufferSize);
  if (n == 0) {
    if (!source->started) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    n = 2;
    source->truncated = true;
  }
  source->started = true;
  source->pub.next_input_byte = source->buffer;
  source->pub.bytes_in_buffer = n;
  return TRUE;
}

void FileSkip(j_decompress_ptr cinfo, long count) {
  auto* source = reinterpret_cast<JpegFileSource*>(cinfo->src);
  if (count <= 0) return;
  while (count > (long)source->pub.bytes_in_buffer) {
    count -= (long)source->pub.bytes_in_buffer;
    FileFill(cinfo);  // supplies a fake end marker at the end of the data
  }
  source->pub.next_input_byte += count;
  source->pub.bytes_in_buffer -= (size_t)count;
}

void Terminate(j_decompress_ptr) {}

// --- memory source ---------------------------------------------------------

boolean MemoryFill(j_decompress_ptr cinfo) {
  auto* source = reinterpret_cast<JpegMemorySource*>(cinfo->src);
  size_t left = source->size - source->position;
  size_t n = std::min(left, kJpegBufferSize);
  if (n == 0) {
    if (!source->started) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    n = 2;
    source->truncated = true;
  } else {
    memcpy(source->buffer, source->data + source->position, n);
    source->position += n;
  }
  source->started = true;
  source->pub.next_input_byte = source->buffer;
  source->pub.bytes_in_buffer = n;
  return TRUE;
}

void MemorySkip(j_decompress_ptr cinfo, long count) {
  auto* source = reinterpret_cast<JpegMemorySource*>(cinfo->src);
  if (count <= 0) return;
  while (count > (long)source->pub.bytes_in_buffer) {
    count -= (long)source->pub.bytes_in_buffer;
    MemoryFill(cinfo);
  }
  source->pub.next_input_byte += count;
  source->pub.bytes_in_buffer -= (size_t)count;
}

// --- destination -----------------------------------------------------------

void DestinationInit(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<JpegFileDestination*>(cinfo->dest);
  destination->pub.next_output_byte = destination->buffer;
  destination->pub.free_in_buffer = kJpegBufferSize;
}

boolean DestinationEmpty(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<JpegFileDestination*>(cinfo->dest);
  if (StreamWrite(destination->stream, destination->buffer, kJpegBufferSize) != kJpegBufferSize) {
    destination->failed = 1;
    return FALSE;
  }
  destination->pub.next_output_byte = destination->buffer;
  destination->pub.free_in_buffer = kJpegBufferSize;
  return TRUE;
}

void DestinationTerminate(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<JpegFileDestination*>(cinfo->dest);
  size_t n = kJpegBufferSize - destination->pub.free_in_buffer;
  if (n > 0 && StreamWrite(destination->stream, destination->buffer, n) != n) {
    destination->failed = 1;
  }
  if (destination->stream->file && fflush(destination->stream->file) != 0) destination->failed = 1;
}

}  // namespace

jpeg_error_mgr* JpegInitErrorManager(JpegErrorManager* manager, JpegErrorRules rules) {
  jpeg_error_mgr* err = jpeg_std_error(&manager->pub);
  err->error_exit = ErrorExit;
  err->output_message = OutputMessage;
  manager->rules = rules;
  manager->code = 0;
  manager->messageCode = 0;
  manager->writeFailed = nullptr;
  return err;
}

void JpegAttachFileSource(j_decompress_ptr cinfo, JpegFileSource* source, FileStream* stream) {
  source->pub.init_source = FileInit;
  source->pub.fill_input_buffer = FileFill;
  source->pub.skip_input_data = FileSkip;
  source->pub.resync_to_restart = jpeg_resync_to_restart;
  source->pub.term_source = Terminate;
  source->pub.next_input_byte = nullptr;
  source->pub.bytes_in_buffer = 0;
  source->stream = stream;
  source->started = false;
  source->truncated = false;
  cinfo->src = &source->pub;
}

void JpegAttachMemorySource(j_decompress_ptr cinfo, JpegMemorySource* source, const uint8_t* data,
                            size_t size) {
  source->pub.init_source = FileInit;
  source->pub.fill_input_buffer = MemoryFill;
  source->pub.skip_input_data = MemorySkip;
  source->pub.resync_to_restart = jpeg_resync_to_restart;
  source->pub.term_source = Terminate;
  source->pub.next_input_byte = nullptr;
  source->pub.bytes_in_buffer = 0;
  source->data = data;
  source->size = data ? size : 0;
  source->position = 0;
  source->started = false;
  source->truncated = false;
  cinfo->src = &source->pub;
}

void JpegAttachDestination(j_compress_ptr cinfo, JpegFileDestination* destination,
                           FileStream* stream) {
  destination->pub.init_destination = DestinationInit;
  destination->pub.empty_output_buffer = DestinationEmpty;
  destination->pub.term_destination = DestinationTerminate;
  destination->stream = stream;
  destination->failed = 0;
  cinfo->dest = &destination->pub;
}

void JpegLimitMemory(j_decompress_ptr cinfo, uint64_t cap) {
  if (cap == 0) return;
  cinfo->mem->max_memory_to_use = (long)std::min<uint64_t>(cap, 0x7fffffff);
}

int JpegScaleDenominator(int width, int height, int maxWidth, int maxHeight) {
  // A side of the box that is 0 or negative places no limit on its term.
  double byWidth = maxHeight > 0 ? (double)width / maxHeight : HUGE_VAL;
  double byHeight = maxWidth > 0 ? (double)height / maxWidth : HUGE_VAL;
  double limit = std::min(byWidth, byHeight);
  if (maxWidth <= 0 && maxHeight <= 0) return 1;
  if (limit >= 8) return 8;
  if (limit >= 4) return 4;
  if (limit >= 2) return 2;
  return 1;
}
