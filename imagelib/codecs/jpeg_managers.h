// The pieces of libjpeg glue shared by the JPEG reader, the embedded
// thumbnail decoder, the JPEG-in-TIFF decoder and the writer: an error
// manager that jumps back with a result code, and the file, memory and
// destination managers with their 4096-byte buffers.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

struct FileStream;

// How fatal libjpeg errors become result codes.
enum JpegErrorRules {
  JPEG_RULES_FILE,       // empty input or unsupported process: 10; others 2
  JPEG_RULES_THUMBNAIL,  // unsupported process: 10; others 2
  JPEG_RULES_TIFF,       // every error: 2
  JPEG_RULES_WRITER,     // every error: 11
};

struct JpegErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  JpegErrorRules rules;
  int code;          // the result code of the last fatal error
  int messageCode;   // libjpeg's message code of the last fatal error
  int* writeFailed;  // writer: set when the destination failed to write (result 6)
};

// Installs the error manager on a compressor or decompressor's common part.
// The caller arms `jump` with setjmp before any libjpeg call.
jpeg_error_mgr* JpegInitErrorManager(JpegErrorManager* manager, JpegErrorRules rules);

constexpr size_t kJpegBufferSize = 4096;

// File source manager: reads the stream from its current position.
struct JpegFileSource {
  jpeg_source_mgr pub;
  FileStream* stream;
  bool started;    // false until the first read returned data
  bool truncated;  // set when the fake end-of-image marker was supplied
  JOCTET buffer[kJpegBufferSize];
};
void JpegAttachFileSource(j_decompress_ptr cinfo, JpegFileSource* source, FileStream* stream);

// Memory source manager: the same behaviour over a byte range.
struct JpegMemorySource {
  jpeg_source_mgr pub;
  const uint8_t* data;
  size_t size;
  size_t position;
  bool started;
  bool truncated;
  JOCTET buffer[kJpegBufferSize];
};
void JpegAttachMemorySource(j_decompress_ptr cinfo, JpegMemorySource* source, const uint8_t* data,
                            size_t size);

// Destination manager: writes the stream in 4096-byte pieces.
struct JpegFileDestination {
  jpeg_destination_mgr pub;
  FileStream* stream;
  int failed;  // a write came back short
  JOCTET buffer[kJpegBufferSize];
};
void JpegAttachDestination(j_compress_ptr cinfo, JpegFileDestination* destination,
                           FileStream* stream);

// Holds libjpeg's own working memory (a progressive picture keeps all its
// coefficients) to `cap` bytes; beyond it libjpeg fails with an error.
void JpegLimitMemory(j_decompress_ptr cinfo, uint64_t cap);

// The scale denominator (1, 2, 4 or 8) for a full-size output of
// width x height fitted into a maxWidth x maxHeight box: the largest
// reduction whose factor does not exceed min(width / maxHeight,
// height / maxWidth), computed in floating point and truncated.
int JpegScaleDenominator(int width, int height, int maxWidth, int maxHeight);
