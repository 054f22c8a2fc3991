// Shared machinery of the maker-note decoders: the note's place inside the
// TIFF data, the directory walk and the array decoding that the makers'
// layouts are built from.
#pragma once

#include <cstdint>

#include "imagelib/metadata/exif_tables.h"

struct MakerNoteSource {
  TiffData tiff;      // the whole TIFF data of the EXIF block, in the file's byte order
  uint64_t note;      // offset of the maker note inside it
  uint64_t size;      // the maker note's size (note + size lies inside the data)
  MetadataRowCallback callback;
  void* context;

  void Emit(const char* name, const char* text) const {
    callback(context, EXIF_GROUP_MAKERNOTES, 0, name, text);
  }
  const uint8_t* Bytes() const { return tiff.data + note; }
  // True when the note begins with the n bytes of `text`.
  bool StartsWith(const char* text, uint32_t n, bool ignoreCase) const;
};

// Replaces the text of a walked entry; returns false to keep the text.
using EntryFormatter = bool (*)(const TiffEntry& entry, const TagRow& row, char* out);
// Gives the text of an array element; returns false when it has none.
using ElementFormatter = bool (*)(int index, int64_t value, char* out);

// The text of a walked entry by its row: value names, or the generic rule.
void FormatMakerEntry(const TiffEntry& entry, const TagRow& row, char* out);

// Walks the directory at `directory` (an offset inside the TIFF data); values
// larger than 4 bytes lie at base + their offset. Rows go out through the
// source's callback.
void WalkMakerDirectory(const MakerNoteSource& source, uint64_t base, uint64_t directory,
                        const TagTable& table, bool bigEndian, EntryFormatter formatter);

// Decodes `elements` array elements lying in `data` (`dataSize` bytes):
// SHORT rows take 16-bit elements, the others 32-bit ones.
void DecodeMakerArray(const MakerNoteSource& source, const TagTable& table, const uint8_t* data,
                      uint64_t dataSize, uint64_t elements, bool bigEndian,
                      ElementFormatter formatter);

void DecodeCanonNote(const MakerNoteSource& source);
void DecodeOlympusNote(const MakerNoteSource& source);
void DecodeFujifilmNote(const MakerNoteSource& source);
void DecodeNikonNote(const MakerNoteSource& source);
void DecodeCasioNote(const MakerNoteSource& source);
void DecodeMinoltaNote(const MakerNoteSource& source);
void DecodeSigmaNote(const MakerNoteSource& source);
void DecodeSanyoNote(const MakerNoteSource& source);
