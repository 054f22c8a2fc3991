// libpng stream and error hooks.
#include "imagelib/codecs/png_io.h"

#include <cstdio>
#include <cstring>

#include "imagelib/core/file_stream.h"

void PngErrorJump(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void PngWarningSilent(png_structp, png_const_charp) {}

void PngReaderWarning(png_structp png, png_const_charp message) {
  if (png_get_error_ptr(png)) fprintf(stderr, "libpng warning: %s\n", message);
  if (strstr(message, "chunk data is too large")) png_error(png, message);
}

void PngReadFromStream(png_structp png, png_bytep data, png_size_t length) {
  auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
  size_t got = input->truncated ? 0 : StreamRead(input->stream, data, length);
  if (got == length) return;
  input->truncated = true;
  if (!input->padAtEnd || input->padded + (length - got) > kPngMaxPadding) {
    png_error(png, "Read error");
  }
  memset(data + got, 0, length - got);
  input->padded += length - got;
}

void PngWriteToStream(png_structp png, png_bytep data, png_size_t length) {
  auto* stream = static_cast<FileStream*>(png_get_io_ptr(png));
  if (StreamWrite(stream, data, length) != length) png_error(png, "Write error");
}

void PngFlushNothing(png_structp) {}
