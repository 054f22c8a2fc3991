// The contract between the dispatcher and the format readers and writers.
// A reader describes what it found in a SourceFormat, calls StartPicture,
// delivers rows exactly as stored with DeliverRows, and ends with
// FinishPicture. A writer describes the rows it wants in a TargetFormat,
// calls BeginRowOutput, fetches rows with FetchRow and ends with
// EndRowOutput.
#pragma once

#include <cstdint>

#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

// Source layout flags (SourceFormat::flags, TargetFormat::flags).
enum : uint32_t {
  SRC_PLANES_IN_ROW = 0x00000001,     // planes one after another in each row; merged
  SRC_ONE_PER_BYTE = 0x00000002,      // one pixel per byte already
  SRC_PLANE_BY_PLANE = 0x00000004,    // each DeliverRows call names its plane
  SRC_ORDER_BGR_ABGR = 0x00000008,    // 24-bit B,G,R; 32-bit A,B,G,R
  SRC_ORDER_ARGB = 0x00000010,        // 32-bit A,R,G,B
  SRC_ORDER_BGR_BGRA = 0x00000020,    // 24-bit B,G,R; 32-bit B,G,R,A
  SRC_RGB565 = 0x00000100,
  SRC_BGR555 = 0x00000200,            // blue 10..14, green 5..9, red 0..4
  SRC_RGB444_HIGH = 0x00000400,       // R 12..15, G 8..11, B 4..7
  SRC_RGB444_LOW = 0x00000800,        // R 8..11, G 4..7, B 0..3
  SRC_RGB565_G5 = 0x00001000,         // R 11..15, G 6..10, B 0..4
  SRC_RGB555_HIGH = 0x00002000,       // R 11..15, G 5..9, B 0..4
  SRC_CMYK_INVERTED = 0x00004000,
  SRC_CMYK = 0x00008000,
  SRC_LAB_UNSIGNED_D65 = 0x00020000,
  SRC_LAB_UNSIGNED_D50 = 0x00040000,
  SRC_LAB_SIGNED_D50 = 0x00080000,
  SRC_LAB_SIGNED_D65 = 0x00100000,
  SRC_TILED = 0x00400000,
  SRC_TILED_2 = 0x01000000,
};

// Palette formats (first argument of FinishPicture).
enum : uint32_t {
  PAL_RGB3 = 0,
  PAL_BGR_ORDER = 0x200,
  PAL_RGBX4 = 0x400,
  PAL_XBGR4 = 0x800,
  PAL_BGRX4 = 0x1000,
  PAL_SEPARATE_ARRAYS = 0x10,
  PAL_PACKED333 = 0x2,
  PAL_PACKED444_FROM333 = 0x4,
  PAL_PACKED444 = 0x8,
  PAL_WHITE_IS_ZERO = 0x1,  // 1-bit without a palette: sample 0 is white
};

struct SourceFormat {
  uint32_t flags;
  uint16_t layout;
  uint32_t rowsPerCall;
  uint8_t* rowBuffer;  // set by StartPicture
  int32_t width;
  int32_t height;
  int16_t planes;
  int16_t bitsPerPlane;
  int16_t samplesPerPixel;
  int16_t reserved1;
  int32_t bytesPerPlane;
  int32_t xDpi;
  int32_t yDpi;
  int32_t storedWidth;
  int32_t storedHeight;
  int32_t storedBytesPerPlane;
  uint32_t storedBitsPerSample;
  uint32_t storedSamplesPerPixel;
  uint16_t compression;
  uint16_t colourModel;
  int16_t transparentIndex;
  char compressionText[160];
  char formatText[130];
  uint16_t reserved2;
  uint32_t reserved3;
  uint16_t reserved4;
  // Set by StartPicture: distance in bytes between delivered rows.
  int32_t rowStride;
};

// A raw EXIF directory entry collected by a reader (TIFF).
struct ExifEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint8_t* value;      // owned; the value's bytes in the collected byte order
  uint32_t valueSize;
  ExifEntry* next;
};

struct LoadPipeline;  // private to the pixel delivery

struct LoadContext {
  LoadOptions options;
  char message[64];
  uint32_t imageCount;
  uint32_t readerValue1;
  uint32_t readerValue2;
  uint32_t readerValue3;
  uint32_t interlaced;
  char* comment;
  char* texts[kMaxTexts];
  int32_t textCount;
  MetadataBlock* metadata;
  // Collected EXIF entries, serialised by the dispatcher.
  ExifEntry* exifEntries;
  ExifEntry** exifTail;
  int exifBigEndian;
  int exifStarted;
  // Destination and mode.
  Image* image;
  ImageInfo* info;
  const char16_t* path;
  int infoMode;
  // Private state of the pixel delivery.
  int headerAccepted;
  LoadPipeline* pipeline;
};

// Reader calls, in order.
void InitSourceFormat(SourceFormat* header);
int StartPicture(LoadContext* context, SourceFormat* header);
int DeliverRows(LoadContext* context, int plane, int firstRow, int rowCount);
int FinishPicture(LoadContext* context, uint32_t paletteFormat, int paletteDepth,
                  const void* palette);

// Services for readers.
void SetComment(LoadContext* context, const char* text, int length);
int ReadComment(FileStream* stream, LoadContext* context, int size);
void AddText(LoadContext* context, const char* name, const char* value, int length);
int ReadText(FileStream* stream, LoadContext* context, const char* name, int size);
void AddMetadata(LoadContext* context, uint32_t kind, const uint8_t* data, uint32_t size);
void BeginExifEntries(LoadContext* context, int bigEndian);
void CollectExifEntry(LoadContext* context, uint16_t tag, uint16_t type, uint32_t count,
                      const uint8_t* value, uint32_t valueSize);
// Copies a reader message into the context (cut to 63 characters).
void SetReaderMessage(LoadContext* context, const char* message);

// The writer side.
struct TargetFormat {
  uint32_t flags;
  uint16_t layout;
  uint16_t rowsPerCall;
  uint8_t* rowBuffer;  // set by BeginRowOutput
  uint16_t planes;
  uint16_t bitsPerPlane;
  uint16_t bitsPerSample;
  uint16_t samplesPerPixel;
  uint16_t reserved;
  uint32_t bytesPerPlane;
  uint16_t passValue1;
  uint16_t passValue2;
  char formatName[64];
  // Set by BeginRowOutput: distance in bytes between rows in rowBuffer.
  int32_t rowStride;
};

struct SavePipeline;  // private

struct SaveContext {
  WriteOptions options;
  const Image* image;
  // The picture as presented to the writer.
  int32_t width;
  int32_t height;
  uint16_t pixelType;      // PIXEL_ANYCOLOUR for direct colour, else the type
  uint16_t bitsPerPixel;   // 24 or 32 for direct colour, 1 for BW, 8 otherwise
  uint16_t bitsPerSample;
  uint16_t samplesPerPixel;
  uint16_t sourceType;     // the Image's own pixel type
  int16_t paletteCount;
  int16_t transparentIndex;
  uint32_t xDpi;
  uint32_t yDpi;
  const char* comment;
  const MetadataBlock* metadata;
  uint8_t palette[1024];  // planar; BW: black, white; grey: the ramp
  const char16_t* path;   // the file being written
  SavePipeline* pipeline;
};

// FetchRow converts rows of the Image into rowBuffer as the TargetFormat
// asks: bits per pixel of 8 or less give index (or grey level, or 0/1 for a
// bilevel picture) rows packed at that depth, most significant bits first,
// or one per byte under SRC_ONE_PER_BYTE; 24 and 32 bits give direct colour
// in the order of the SRC_ORDER_* flags (none: R,G,B or R,G,B,A; alpha 255
// when the picture has none). Rows are counted in the target's layout.
void InitTargetFormat(TargetFormat* target);
int BeginRowOutput(SaveContext* context, TargetFormat* target);
int FetchRow(SaveContext* context, int firstRow, int count);
void EndRowOutput(SaveContext* context);

// The format table's codec functions (imagelib/codecs).
#include "imagelib/codecs/codecs.h"
