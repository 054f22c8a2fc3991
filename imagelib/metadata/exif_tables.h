// Shared pieces of the EXIF reader and the maker-note decoders: the bounded
// view over TIFF data, directory entries, dictionary rows with their value
// names, and the value formatting rules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagelib/metadata/exif_reader.h"

// Text numbers other code relies on.
enum : int {
  TEXT_UNKNOWN = 85,
  TEXT_UNCALIBRATED = 101,
  TEXT_RGB_UNCOMPRESSED = 102,
  TEXT_DIRECTLY_PHOTOGRAPHED = 103,
  TEXT_INCH = 104,
  TEXT_CENTIMETER = 105,
  TEXT_NO_FLASH = 106,
  TEXT_FLASH_FIRED = 107,
  TEXT_GROUP_CAMERA = 213,
  TEXT_GROUP_IMAGE = 214,
  TEXT_GROUP_IOP = 215,
  TEXT_GROUP_THUMBNAIL = 216,
  TEXT_GROUP_GPS = 217,
  TEXT_GROUP_MAKERNOTES = 218,
  TEXT_SRGB = 219,
  TEXT_YCBCR = 220,
  TEXT_DSC = 221,
  TEXT_UNKNOWN_DATASET = 255,
  TEXT_NOT_APPLICABLE = 256,
  TEXT_OFF = 257,
  TEXT_INFINITY = 258,
  TEXT_ON = 259,
};

int ExifTextCount();

// TIFF value types.
enum : uint16_t {
  TIFF_BYTE = 1,
  TIFF_ASCII = 2,
  TIFF_SHORT = 3,
  TIFF_LONG = 4,
  TIFF_RATIONAL = 5,
  TIFF_SBYTE = 6,
  TIFF_UNDEFINED = 7,
  TIFF_SSHORT = 8,
  TIFF_SLONG = 9,
  TIFF_SRATIONAL = 10,
  TIFF_FLOAT = 11,
  TIFF_DOUBLE = 12,
};

// Bytes of one value of a type (0 for types outside 1 to 12).
uint32_t TiffTypeSize(uint32_t type);

// Texts are built in buffers of this size: at most 255 characters and the
// terminating zero.
constexpr size_t kTextSize = 256;

// One value name: the table ends with a row of value -1 whose text (or text
// number) serves for values not in the table.
struct ValueName {
  int32_t value;
  int16_t textNumber;
  const char* text;  // used instead of the number when present
};

// One dictionary row.
struct TagRow {
  uint16_t tag;          // tag number, or array index
  uint16_t type;         // expected type, 0 = any
  uint32_t count;        // expected count, 0 = any
  int16_t textNumber;
  const char* text;      // used instead of the number when present
  const ValueName* names;  // optional
};

struct TagTable {
  const TagRow* rows;
  size_t count;
};

template <size_t N>
constexpr TagTable MakeTable(const TagRow (&rows)[N]) {
  return TagTable{rows, N};
}

const char* RowName(const TagRow& row);
// First row of the table with the tag, or null.
const TagRow* FindRow(const TagTable& table, uint32_t tag);
// The name of a value; values not in the table get the closing row's text
// and *matched false. Never null.
const char* ValueNameOf(const ValueName* names, int64_t value, bool* matched = nullptr);

// The dictionaries of the EXIF directories.
extern const TagTable kMainDictionary;
extern const TagTable kExifDictionary;
extern const TagTable kInteropDictionary;
extern const TagTable kGpsDictionary;

// Byte-order reads from memory the caller has checked.
inline uint16_t Read16(const uint8_t* p, bool bigEndian) {
  return bigEndian ? (uint16_t)((p[0] << 8) | p[1]) : (uint16_t)((p[1] << 8) | p[0]);
}
inline uint32_t Read32(const uint8_t* p, bool bigEndian) {
  return bigEndian ? ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3]
                   : ((uint32_t)p[3] << 24) | ((uint32_t)p[2] << 16) | ((uint32_t)p[1] << 8) | p[0];
}

// The TIFF data of an EXIF block: every read is checked against its length.
struct TiffData {
  const uint8_t* data;
  uint64_t length;
  bool bigEndian;

  bool Fits(uint64_t position, uint64_t size) const {
    return position <= length && size <= length - position;
  }
};

// One directory entry with its value located inside the data.
struct TiffEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint64_t size;         // count x unit size
  const uint8_t* value;  // size bytes, inside the data or the entry itself
  bool bigEndian;
};

enum class EntryStatus { kOk, kBadType, kOutside };

// Reads the 12-byte entry at `position` (which must fit). Values larger than
// 4 bytes lie at base + offset and must end inside the data.
EntryStatus ReadTiffEntry(const TiffData& data, uint64_t position, uint64_t base,
                          TiffEntry* entry);

// Element `index` of an integer or rational entry as an integer (rationals:
// the numerator); 0 when the entry is too short.
int64_t EntryInteger(const TiffEntry& entry, uint64_t index = 0);
// The numeric value: integers, rationals as numerator / denominator (0 when
// the denominator is 0), floats as stored; ASCII and UNDEFINED give 0.
double EntryNumber(const TiffEntry& entry, uint64_t index = 0);
// Numerator and denominator of rational element `index` (signed for
// SRATIONAL, unsigned for RATIONAL); false when the entry is not a rational
// or too short.
bool EntryRational(const TiffEntry& entry, uint64_t index, int64_t* numerator,
                   int64_t* denominator);

// Formatting helpers; every output buffer holds kTextSize bytes.
void FormatFraction(int64_t numerator, int64_t denominator, char* out);
void FormatTrimmedFloat(double value, char* out);
// Characters of a text value, ended at the first zero, at `limit` when it is
// not 0, and at 255.
void FormatCharacters(const TiffEntry& entry, uint32_t limit, char* out);
// The generic rule by type (ASCII and UNDEFINED ended at `limit` when not 0).
void FormatByType(const TiffEntry& entry, uint32_t limit, char* out);
// The rules of the main, Exif and interoperability directories.
void FormatExifValue(const TiffEntry& entry, const TagRow& row, char* out);
// The rules of the GPS directory.
void FormatGpsValue(const TiffEntry& entry, const TagRow& row, char* out);
// Whether an entry's type satisfies a row's expected type (a SHORT entry
// counts as LONG where the row expects LONG).
bool TypeMatches(const TagRow& row, uint16_t type);
