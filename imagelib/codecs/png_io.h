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

// Reads exactly the requested count from the stream, else "Read error".
void PngReadFromStream(png_structp png, png_bytep data, png_size_t length);
void PngWriteToStream(png_structp png, png_bytep data, png_size_t length);
void PngFlushNothing(png_structp png);
