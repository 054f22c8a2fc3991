// libpng glue shared by the PNG reader and writer: stream hooks and the
// error hook that jumps back to the caller.
#pragma once

#include <png.h>

struct FileStream;

// Error hook: no message is kept; control returns to the setjmp of the
// reader or writer phase.
void PngErrorJump(png_structp png, png_const_charp message);
// Warning hook that prints nothing.
void PngWarningSilent(png_structp png, png_const_charp message);
// Reader warning hook: prints the warning when `printing` is set (through
// png_get_error_ptr), and turns libpng's "chunk data is too large" (a
// chunk longer than the reader's limit, which libpng would otherwise try
// to allocate and clear) into an error.
void PngReaderWarning(png_structp png, png_const_charp message);

// What the read hook reads from. Once the picture has started, data that
// ends early is padded with zeros (at most kPngMaxPadding bytes) so that
// libpng decodes every row the data still holds before it fails; without
// padding libpng would drop the whole last block it asked for.
struct PngInput {
  FileStream* stream;
  bool padAtEnd;
  bool truncated;
  size_t padded;
};
constexpr size_t kPngMaxPadding = 1 << 16;

// Reads exactly the requested count from the stream, else "Read error"
// (or zeros, see PngInput).
void PngReadFromStream(png_structp png, png_bytep data, png_size_t length);
void PngWriteToStream(png_structp png, png_bytep data, png_size_t length);
void PngFlushNothing(png_structp png);
