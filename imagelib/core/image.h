// Picture records: Image, ImageInfo, MetadataBlock, Rect, and the functions
// that create, copy and release them.
#pragma once

#include <cstddef>
#include <cstdint>

// Pixel type codes. Each is one bit so that masks can be tested with '&'.
enum : uint16_t {
  PIXEL_BW = 1,
  PIXEL_GREY = 2,
  PIXEL_INDEXED = 4,
  PIXEL_RGB = 16,
  PIXEL_RGBA = 32,
  PIXEL_BGR = 64,
  PIXEL_ABGR = 128,
  PIXEL_BGRA = 256,
  PIXEL_ARGB = 512,
  PIXEL_CMYK = 1024,
};

// Masks and requests built from the codes.
enum : uint16_t {
  PIXEL_ANY24 = 80,
  PIXEL_ANY32 = 1952,
  PIXEL_ANYCOLOUR = 2032,
  // Wide-sample requests of the load pipeline.
  PIXEL_WIDE_1TO3_16 = 2048,   // one to three samples of 9 to 16 bits
  PIXEL_WIDE_4_16 = 4096,      // four samples of 9 to 16 bits
  PIXEL_WIDE_1TO3_32 = 8192,   // one to three samples of more than 16 bits
  PIXEL_WIDE_4_32 = 16384,     // four samples of more than 16 bits
};

// Layout flags of Image::layout (and of the reader's rows).
enum : uint16_t {
  LAYOUT_MIRRORED = 0x0001,
  LAYOUT_BOTTOM_UP = 0x0010,
};

// Metadata block kinds.
enum : uint32_t {
  META_EXIF = 1,
  META_IPTC = 2,
  META_XMP = 3,
  META_ICC = 4,
};

// Result codes shared by loading, saving and the operations.
enum : int {
  RESULT_OK = 0,
  RESULT_NO_MEMORY = 1,
  RESULT_NOT_RECOGNISED = 2,
  RESULT_CANNOT_OPEN = 3,
  RESULT_NOT_COMPLETE = 4,
  RESULT_CANNOT_CREATE = 5,
  RESULT_WRITE_ERROR = 6,
  RESULT_CANNOT_STORE = 7,
  RESULT_NO_WRITER = 8,
  RESULT_BAD_SIZE = 9,
  RESULT_CORRUPT = 10,
  RESULT_JPEG_ERROR = 11,
  RESULT_CANCELLED = 15,
  RESULT_EMPTY_REGION = 16,
};

// Compression codes (ImageInfo::compression).
enum : uint16_t {
  COMPRESSION_NONE = 0,
  COMPRESSION_RLE = 1,
  COMPRESSION_LZW = 2,
  COMPRESSION_JPEG = 3,
  COMPRESSION_ZIP = 4,
  COMPRESSION_SGI_RLE = 5,
  COMPRESSION_CCITT_RLE = 6,
  COMPRESSION_CCITT_G3 = 7,
  COMPRESSION_CCITT_G3_2D = 8,
  COMPRESSION_CCITT_G4 = 9,
  COMPRESSION_WAVELET = 10,
  COMPRESSION_OTHER = 255,
};

// Colour model codes (ImageInfo::colourModel).
enum : uint16_t {
  COLOUR_RGB = 0,
  COLOUR_CMY = 2,
  COLOUR_CMYK = 3,
  COLOUR_YCBCR = 4,
  COLOUR_YUV16 = 5,
  COLOUR_CIELAB = 6,
  COLOUR_LOGLUV = 7,
  COLOUR_LOGL = 8,
};

struct MetadataBlock {
  uint32_t kind;
  uint32_t size;
  uint8_t* data;        // owned
  MetadataBlock* next;
};

struct Rect {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
};

// A decoded picture in memory. Palette: 1024 bytes in planes (256 red,
// 256 green, 256 blue, 256 unused).
struct Image {
  int32_t width;
  int32_t height;
  int32_t bytesPerRow;
  uint16_t pixelType;
  uint16_t bytesPerPixel;
  uint16_t bitsPerSample;
  uint16_t samplesPerPixel;
  int16_t rowAlignment;
  uint16_t layout;
  uint32_t xDpi;
  uint32_t yDpi;
  int16_t paletteCount;
  int16_t transparentIndex;
  uint8_t* palette;         // owned, 1024 bytes, only for PIXEL_INDEXED
  uint8_t* pixels;          // owned, bytesPerRow * height bytes
  MetadataBlock* metadata;  // owned list
  char* comment;            // owned, 8-bit, zero-terminated
};

constexpr int kMaxTexts = 32;

// What the library reports about a picture file.
struct ImageInfo {
  uint32_t fileSize;
  int16_t formatIndex;
  uint16_t sourceLayout;
  int32_t width;
  int32_t height;
  uint16_t bitsPerSample;
  uint16_t samplesPerPixel;
  uint16_t planes;
  uint16_t bitsPerPlane;
  int32_t bytesPerPlane;
  uint16_t xDpi;
  uint16_t yDpi;
  uint16_t compression;
  uint16_t colourModel;
  uint32_t imageCount;
  uint32_t readerValue1;
  uint32_t readerValue2;
  uint32_t readerValue3;
  char formatText[64];
  char* comment;  // owned
  int32_t textCount;
  char* texts[kMaxTexts];  // owned
  char compressionText[32];
  MetadataBlock* metadata;  // owned
  char message[64];
  uint32_t interlaced;
};

// Bytes per pixel of a pixel type code: 3 for mask 80, 4 for mask 1952,
// 1 otherwise (PIXEL_BW packs 8 pixels per byte).
int BytesPerPixelOf(uint32_t pixelType);

// Row length for a width at an alignment, checked: -1 when it would not fit
// in 31 bits.
int64_t RowBytesFor(uint32_t pixelType, int64_t width, int rowAlignment);

int ImageCreate(Image* image, uint32_t pixelType, int rowAlignment, int width, int height);
int ImageCreateDeep(Image* image, uint32_t pixelType, int rowAlignment, int width, int height,
                    int bitsPerSample);
int ImageCreateRaw(Image* image, uint32_t pixelType, int bytesPerRow, int width, int height,
                   int allocate);
int ImageCreateLike(Image* destination, uint32_t pixelType, const Image* source);
void ImageCopyExtras(Image* destination, const Image* source);
int ImageCopy(Image* source, Image* destination, const Rect* rect);
void ImageFree(Image* image);
void ImageInfoFree(ImageInfo* info);

// Releases a metadata list; duplicates one (blocks whose data cannot be
// copied keep kind and size with null data).
void MetadataFree(MetadataBlock* list);
MetadataBlock* MetadataDuplicate(const MetadataBlock* list);
// First block of a kind, or null.
const MetadataBlock* FindMetadata(const MetadataBlock* list, uint32_t kind);

inline int GetBit(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
inline void OrBit(uint8_t* row, int x, int v) { row[x >> 3] |= (uint8_t)((v & 1) << (7 - (x & 7))); }
inline void PutBit(uint8_t* row, int x, int v) {
  row[x >> 3] = (uint8_t)((row[x >> 3] & ~(1 << (7 - (x & 7)))) | ((v & 1) << (7 - (x & 7))));
}

int ClipRect(const Image* image, const Rect* input, Rect* output);

const char* CompressionName(int code);
const char* ColourModelName(int code);
void CompressionText(char* destination, int length, int code, const char* readerText);

// Row r of an image.
inline uint8_t* ImageRow(const Image* image, int r) {
  return image->pixels + (ptrdiff_t)r * image->bytesPerRow;
}
