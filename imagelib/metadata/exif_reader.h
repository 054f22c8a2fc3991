// EXIF reading: the public entry points that turn a picture's META_EXIF
// block into display rows, and the maker-note decoders they hand camera
// notes to.
#pragma once

#include <cstdint>

#include "imagelib/core/image.h"

// Receives one display row. For a group-start row, tag is 0, name is the
// group's name and value is null. Texts are 8-bit (Windows-1252) and valid
// only during the call.
using MetadataRowCallback = void (*)(void* context, int group, int tag, const char* name,
                                     const char* value);

// Row groups.
enum : int {
  EXIF_GROUP_CAMERA = 1,
  EXIF_GROUP_IMAGE = 2,
  EXIF_GROUP_IOP = 4,
  EXIF_GROUP_THUMBNAIL = 8,
  EXIF_GROUP_GPS = 16,
  EXIF_GROUP_MAKERNOTES = 32,
};

// Camera maker codes, decided from the Make tag.
enum : int {
  MAKER_UNKNOWN = 0,
  MAKER_CANON = 1,
  MAKER_OLYMPUS = 2,
  MAKER_FUJIFILM = 3,
  MAKER_NIKON = 4,
  MAKER_CASIO = 5,
  MAKER_MINOLTA = 6,
  MAKER_SIGMA = 7,
  MAKER_SANYO = 8,
};

// True when the list holds a META_EXIF block that starts with "Exif\0\0".
bool HasExif(const MetadataBlock* list);

// Reads the first EXIF block of the list and emits its rows in reading
// order. False when there is no block or its TIFF header is invalid.
bool ReadExif(const MetadataBlock* list, MetadataRowCallback callback, void* context);

// Decodes a camera maker note lying inside the TIFF data of an EXIF block
// (note and note + size must lie within tiff .. tiff + tiffLength) and emits
// one row (context, 32, 0, name, text) per recognised entry.
void DecodeMakerNote(int maker, const uint8_t* note, uint32_t size, const uint8_t* tiff,
                     uint32_t tiffLength, bool bigEndian, MetadataRowCallback callback,
                     void* context);

// The maker code for a Make text (0 when no decoder knows the maker).
int MakerFromMake(const char* make, uint32_t length);

// Numbered display text 1 to 259; "" for any other number.
const char* ExifText(int number);
