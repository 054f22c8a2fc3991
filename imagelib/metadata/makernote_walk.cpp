// The maker-note entry point and the two decoding shapes the makers' layouts
// share: a directory walk and an array of settings.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "imagelib/metadata/makernote_decoder.h"

bool MakerNoteSource::StartsWith(const char* text, uint32_t n, bool ignoreCase) const {
  if (size < n) return false;
  const uint8_t* p = Bytes();
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t a = p[i], b = (uint8_t)text[i];
    if (ignoreCase) {
      if (a >= 'A' && a <= 'Z') a = (uint8_t)(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = (uint8_t)(b - 'A' + 'a');
    }
    if (a != b) return false;
  }
  return true;
}

void FormatMakerEntry(const TiffEntry& entry, const TagRow& row, char* out) {
  out[0] = 0;
  if (!row.names) {
    FormatByType(entry, row.count, out);
    return;
  }
  if (row.type == TIFF_ASCII) {
    if (entry.size == row.count) FormatCharacters(entry, row.count, out);
    return;
  }
  if (entry.count == 0) return;
  int64_t value;
  switch (row.type) {
    case TIFF_BYTE: value = entry.value[0]; break;
    case TIFF_SHORT: value = entry.size >= 2 ? Read16(entry.value, entry.bigEndian) : 0; break;
    case 0: value = EntryInteger(entry); break;  // any type: read by the entry's own
    default: value = entry.size >= 4 ? Read32(entry.value, entry.bigEndian) : 0; break;
  }
  bool matched = false;
  const char* name = ValueNameOf(row.names, value, &matched);
  if (matched || name[0])
    snprintf(out, kTextSize, "%s", name);
  else
    snprintf(out, kTextSize, "%" PRId64, value);
}

void WalkMakerDirectory(const MakerNoteSource& source, uint64_t base, uint64_t directory,
                        const TagTable& table, bool bigEndian, EntryFormatter formatter) {
  TiffData data{source.tiff.data, source.tiff.length, bigEndian};
  if (!data.Fits(directory, 2)) return;
  uint64_t n = Read16(data.data + directory, bigEndian);
  uint64_t end = directory + 2 + 12 * n;
  if (end > data.length) return;
  uint64_t left = data.length - end;
  if (left == 1 || left == 3) return;
  for (uint64_t at = directory + 2; at < end; at += 12) {
    TiffEntry entry;
    if (ReadTiffEntry(data, at, base, &entry) != EntryStatus::kOk) continue;
    const TagRow* row = FindRow(table, entry.tag);
    if (!row || !TypeMatches(*row, entry.type)) continue;
    char text[kTextSize];
    FormatMakerEntry(entry, *row, text);
    if (formatter) formatter(entry, *row, text);
    source.Emit(RowName(*row), text);
  }
}

void DecodeMakerArray(const MakerNoteSource& source, const TagTable& table, const uint8_t* data,
                      uint64_t dataSize, uint64_t elements, bool bigEndian,
                      ElementFormatter formatter) {
  for (uint64_t i = 0; i < elements && i < 0x10000; ++i) {
    const TagRow* row = FindRow(table, (uint32_t)i);
    if (!row) continue;
    char text[kTextSize];
    text[0] = 0;
    if (row->type == TIFF_ASCII) {
      if (dataSize == row->count) {
        uint64_t k = 0;
        for (; k < dataSize && k < kTextSize - 1 && data[k] != 0; ++k) text[k] = (char)data[k];
        text[k] = 0;
      }
      source.Emit(RowName(*row), text);
      continue;
    }
    int64_t value;
    if (row->type == TIFF_SHORT) {
      if (2 * i + 2 > dataSize) break;
      value = Read16(data + 2 * i, bigEndian);
    } else {
      if (4 * i + 4 > dataSize) break;
      value = Read32(data + 4 * i, bigEndian);
    }
    if (formatter && formatter((int)i, value, text)) {
      // the formatter's text
    } else if (row->names) {
      bool matched = false;
      const char* name = ValueNameOf(row->names, value, &matched);
      if (matched || name[0])
        snprintf(text, kTextSize, "%s", name);
      else
        snprintf(text, kTextSize, "%" PRId64, value);
    } else {
      snprintf(text, kTextSize, "%" PRId64, value);
    }
    source.Emit(RowName(*row), text);
  }
}

void DecodeMakerNote(int maker, const uint8_t* note, uint32_t size, const uint8_t* tiff,
                     uint32_t tiffLength, bool bigEndian, MetadataRowCallback callback,
                     void* context) {
  if (!note || !tiff || !callback || (uintptr_t)note < (uintptr_t)tiff) return;
  uint64_t offset = (uint64_t)((uintptr_t)note - (uintptr_t)tiff);
  if (offset > tiffLength || size > tiffLength - offset) return;
  MakerNoteSource source{TiffData{tiff, tiffLength, bigEndian}, offset, size, callback, context};
  switch (maker) {
    case MAKER_CANON: DecodeCanonNote(source); break;
    case MAKER_OLYMPUS: DecodeOlympusNote(source); break;
    case MAKER_FUJIFILM: DecodeFujifilmNote(source); break;
    case MAKER_NIKON: DecodeNikonNote(source); break;
    case MAKER_CASIO: DecodeCasioNote(source); break;
    case MAKER_MINOLTA: DecodeMinoltaNote(source); break;
    case MAKER_SIGMA: DecodeSigmaNote(source); break;
    case MAKER_SANYO: DecodeSanyoNote(source); break;
    default: break;
  }
}
