// JPEG decoding for the TIFF reader.
//
// Two entry points:
//  - DecodeJpegInTiff: an old-style JPEG page (JPEGInterchangeFormat). The
//    stream is positioned at a complete JPEG interchange stream; the picture
//    is described and delivered through the LoadContext (StartPicture,
//    DeliverRows, FinishPicture) with the caller's formatText.
//  - DecodeJpegStrip: one new-style strip or tile (TIFF compression 7) held
//    in memory, optionally preceded by the page's JPEGTables stream, decoded
//    into rows the caller owns. Nothing is delivered to the LoadContext.
//
// Error rules: every libjpeg error gives 2; 1 when memory ran out; a strip
// whose data ends early is decoded as far as it goes (libjpeg fills the rest)
// and still gives 0.
#pragma once

#include <cstddef>
#include <cstdint>

struct FileStream;
struct LoadContext;

// Result: 0, 2 (any libjpeg error), or a code from StartPicture /
// DeliverRows. Honours load flags 0x800 (fast, scaled decoding into the box)
// and 0x10000 (the first COM marker becomes the comment).
int DecodeJpegInTiff(FileStream* stream, LoadContext* context, const char* formatText);

// One piece of a JPEG stream put together from parts of the file: `length`
// bytes held in memory at `bytes`, or, when `bytes` is null, `length` bytes
// of the file at `offset`.
struct JpegStreamPiece {
  const uint8_t* bytes;
  uint64_t offset;
  uint64_t length;
};

// DecodeJpegInTiff over the pieces read one after another (an old-style
// page whose interchange stream holds only the tables and frame header,
// its strips the scan). A piece that cannot be read is passed over; after
// the last one the stream ends like a truncated file. Pieces with `bytes`
// must stay valid during the call.
int DecodeJpegInTiffPieces(FileStream* stream, const JpegStreamPiece* pieces, size_t count,
                           LoadContext* context, const char* formatText);

// Where DecodeJpegStrip writes its rows.
struct JpegStripOutput {
  uint8_t* pixels;      // first row of the caller's buffer
  size_t bytesPerRow;   // distance between rows in `pixels`
  int width;            // pixels per row the caller expects (the strip's
                        // width; extra decoded columns are dropped, missing
                        // ones stay as the caller left them)
  int rows;             // rows the buffer holds; extra decoded rows are dropped
  int components;       // samples per pixel expected (1, 3 or 4); a stream
                        // with another count gives 2
  int rowsDone;         // out: rows written
  int decodedWidth;     // out: the stream's own size
  int decodedHeight;
};

// Decodes `data` (a JPEG stream, SOI to EOI) into `out`. `tables` /
// `tablesSize` is the page's JPEGTables stream, or null / 0. With
// `ycbcrToRgb` set, three-component data is converted from YCbCr to RGB;
// otherwise samples are written as stored (no colour conversion), which is
// what TIFF asks for every photometric other than YCbCr.
// Samples are 8 bits, interleaved, `components` per pixel.
int DecodeJpegStrip(const uint8_t* data, size_t size, const uint8_t* tables, size_t tablesSize,
                    bool ycbcrToRgb, JpegStripOutput* out);
