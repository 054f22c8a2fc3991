// The format table, the option records, and the load/save entry points.
#pragma once

#include <cstdint>

#include "imagelib/core/image.h"

struct FileStream;
struct LoadContext;
struct SaveContext;

using ReaderFunction = int (*)(FileStream* stream, LoadContext* context);
using WriterFunction = int (*)(const char16_t* path, SaveContext* context);

constexpr int kMaxCapEntries = 10;
constexpr int kMaxExtensions = 12;
constexpr int kRegistryCapacity = 47;

struct CapEntry {
  int16_t pixelType;  // code or mask; -1 ends the list
  int16_t maxColours; // -1 no limit
  int32_t reserved[2];
  const char* extension;  // extension to use instead of the format's first
};

using WriterCapsFunction = void (*)(CapEntry* entries);

enum : uint32_t {
  FORMAT_ENABLED = 0x001,
  FORMAT_OWNS_STRINGS = 0x020,
  FORMAT_HAS_READER = 0x100,
  FORMAT_HAS_WRITER = 0x200,
};

struct FormatEntry {
  uint32_t flags;
  const char* shortName;
  const char* description;
  ReaderFunction reader;
  WriterFunction writer;
  WriterCapsFunction writerCaps;
  const char* extensions[kMaxExtensions];  // ended by the first null
};

struct FormatRegistry {
  FormatEntry* rows;
  int32_t count;
  int32_t capacity;
  int32_t users;
};

// Load flags (LoadOptions::flags).
enum : uint32_t {
  LOAD_CONSOLE = 0x000001,
  LOAD_DIRECT_COLOUR = 0x000002,
  LOAD_THREE_BYTES = 0x000004,
  LOAD_FOUR_BYTES = 0x000008,
  LOAD_STOP_AFTER_FIRST = 0x008000,  // GIF: stop after the first image descriptor
  LOAD_PROGRESS_BAR = 0x000100,
  LOAD_KEEP_PARTIAL = 0x000400,
  LOAD_ALLOW_THUMBNAIL = 0x000800,
  LOAD_TRUST_EXTENSION = 0x001000,
  LOAD_KEEP_COMMENT = 0x010000,
  LOAD_KEEP_TEXTS = 0x020000,
  LOAD_KEEP_METADATA = 0x040000,
  LOAD_BW_AS_GREY = 0x080000,
  LOAD_KEEP_CMYK = 0x100000,
  LOAD_WIDE_SAMPLES = 0x200000,
  LOAD_NO_PIXELS = 0x400000,
  LOAD_REFUSE_SMALL_THUMBNAIL = 0x800000,
  LOAD_FAST_DECODE = 0x1000000,
  LOAD_ESTIMATE_QUALITY = 0x8000000,
};

using RowCallback = int (*)(int row, int rows, void* userData, int done);
using AllocPixelsCallback = uint8_t* (*)(int width, int height, int bytesPerPixel,
                                         int bitsPerSample, int rowAlignment, int bytesPerRow,
                                         void* userData);
using PercentCallback = void (*)(int percent, void* userData);
using CancelCallback = int (*)(void* userData);

constexpr uint64_t kDefaultMemoryCap = 1ull << 30;

struct LoadOptions {
  uint16_t channelOrder;
  int16_t formatIndex;
  uint16_t layout;
  uint32_t flags;
  int32_t imageIndex;
  uint16_t rowAlignment;
  int8_t reserved1;
  uint32_t reserved2;
  uint32_t scaleMode;
  int32_t maxWidth;
  int32_t maxHeight;
  void* rowUserData;
  RowCallback rowCallback;
  void* reserved3[4];
  AllocPixelsCallback allocPixels;
  void* allocUserData;
  PercentCallback percentCallback;
  void* percentUserData;
  CancelCallback cancelCallback;
  void* cancelUserData;
  uint8_t useThumbnail;
  // Byte options of single readers.
  uint8_t iconMaskAlpha;        // ICO: AND mask as alpha
  uint8_t flattenAlpha;         // PNG: composite RGBA onto white
  uint8_t flattenTransparency;  // PNG: composite partial tRNS onto white
  // Reserved values nothing reads.
  float reservedFloats[3];
  int32_t reservedSizes[2];
  int32_t reservedResolution;
  // Largest pixel buffer a load may allocate, in bytes.
  uint64_t memoryCap;
};

// Save flags (WriteOptions::flags).
enum : uint32_t {
  SAVE_CONSOLE = 0x001,
  SAVE_ADD_EXTENSION = 0x040,
  SAVE_RETURN_NAME = 0x080,
  SAVE_PROGRESS_BAR = 0x100,
  SAVE_WRITE_ICC = 0x8000000,
};

// Supplies a row of a picture that has no pixels: (row buffer, row number,
// row count, user data); nonzero ends the save with that result.
using RowProvider = int (*)(uint8_t* row, int rowNumber, int count, void* userData);

struct WriteOptions {
  int16_t formatIndex;
  uint32_t flags;
  uint32_t reserved1;
  uint16_t rle;
  uint16_t quality;
  int16_t level;
  uint16_t pngFilter;
  int16_t jpegSmoothing;
  uint16_t jpegDctMethod;
  uint16_t jpegSubsampling;
  uint8_t keepExif;
  uint8_t keepIptc;
  uint8_t interlaced;
  uint8_t reserved2;
  uint8_t gif87a;
  uint8_t os2Bitmap;
  uint8_t optimizeHuffman;
  uint16_t extraValue16;  // WriteOptionValue key 1
  uint32_t extraValue32;  // WriteOptionValue key 2
  RowProvider rowProvider;
  void* rowProviderUserData;
};

// The registry.
void RegisterFormats(int all);
void UnregisterFormats();
const FormatRegistry* Formats();
int FindFormat(const char* shortName);
const char* FormatShortName(int index);
int IsRegisteredExtension(const char16_t* path);
int IsFormatExtension(const char16_t* path, int index);
// Path buffers passed to these must have room for 64 more characters.
void EnsureExtension(char16_t* path, int index);
void StripExtension(char16_t* path);
int WriterAccepts(int index, const Image* image, const char** extension);
int WriteOptionValue(const SaveContext* context, int key);
int BitsForColours(int n);

// Loading and saving.
void LoadOptionsInit(LoadOptions* options);
void WriteOptionsInit(WriteOptions* options);
int LoadImage(const char16_t* path, Image* image, const LoadOptions* options, ImageInfo* info);
int GetImageInfo(const char16_t* path, int formatIndex, uint32_t flags, ImageInfo* info);
int SaveImage(char16_t* path, const Image* image, const WriteOptions* options);

// Meaning of a result code, for messages.
const char* ResultText(int code);
