// libpng stream and error hooks.
#include "imagelib/codecs/png_io.h"

#include "imagelib/core/file_stream.h"

void PngErrorJump(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void PngWarningSilent(png_structp, png_const_charp) {}

void PngReadFromStream(png_structp png, png_bytep data, png_size_t length) {
  auto* stream = static_cast<FileStream*>(png_get_io_ptr(png));
  if (StreamRead(stream, data, length) != length) png_error(png, "Read error");
}

void PngWriteToStream(png_structp png, png_bytep data, png_size_t length) {
  auto* stream = static_cast<FileStream*>(png_get_io_ptr(png));
  if (StreamWrite(stream, data, length) != length) png_error(png, "Write error");
}

void PngFlushNothing(png_structp) {}
