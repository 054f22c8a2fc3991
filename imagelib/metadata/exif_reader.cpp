// The EXIF reader: walks the directories of a META_EXIF block (IFD0, the
// Exif, interoperability and GPS directories, the thumbnail chain) and emits
// one display row per recognised tag.
#include "imagelib/metadata/exif_reader.h"

#include <cstring>

#include "imagelib/metadata/exif_tables.h"

namespace {

const uint8_t kExifMarker[6] = {'E', 'x', 'i', 'f', 0, 0};

// Tags the walk acts on whatever the dictionary.
enum : uint16_t {
  TAG_MAKE = 271,
  TAG_EXIF_OFFSET = 34665,
  TAG_GPS_OFFSET = 34853,
  TAG_MAKER_NOTE = 37500,
  TAG_INTEROP_OFFSET = 40965,
};

bool IsExifBlock(const MetadataBlock* block) {
  return block->kind == META_EXIF && block->size >= 6 && block->data &&
         memcmp(block->data, kExifMarker, 6) == 0;
}

const MetadataBlock* FindExifBlock(const MetadataBlock* list) {
  for (const MetadataBlock* block = list; block; block = block->next)
    if (IsExifBlock(block)) return block;
  return nullptr;
}

struct ExifParse {
  TiffData data;
  MetadataRowCallback callback;
  void* context;
  int visits = 0;
  int maker = MAKER_UNKNOWN;
  const uint8_t* makerNote = nullptr;
  uint64_t makerNoteSize = 0;

  void GroupStart(int group, int textNumber) {
    callback(context, group, 0, ExifText(textNumber), nullptr);
  }
};

// Where a directory's entries end, or 0 when the directory is rejected: its
// entries must end inside the data, and the next-directory offset must fit
// too unless the data ends exactly at, or 2 bytes after, the entries.
uint64_t AcceptedEntriesEnd(const TiffData& data, uint64_t position) {
  if (!data.Fits(position, 2)) return 0;
  uint64_t n = Read16(data.data + position, data.bigEndian);
  uint64_t end = position + 2 + 12 * n;
  if (end > data.length) return 0;
  if (end + 4 <= data.length || data.length == end || data.length == end + 2) return end;
  return 0;
}

// Sub-directories named by one directory's entries (0 = none).
struct SubDirectories {
  uint64_t exif = 0;
  uint64_t gps = 0;
  uint64_t interop = 0;
};

// Visits one directory: emits its rows, and on the first visit also its
// sub-directories. Returns the entries' end, or 0 when it was rejected.
uint64_t VisitOne(ExifParse& parse, uint64_t position, int group, const TagTable& dictionary);

void VisitGps(ExifParse& parse, uint64_t position) {
  const TiffData& data = parse.data;
  uint64_t end = AcceptedEntriesEnd(data, position);
  if (end == 0) return;
  for (uint64_t at = position + 2; at < end; at += 12) {
    TiffEntry entry;
    if (ReadTiffEntry(data, at, 0, &entry) != EntryStatus::kOk) continue;
    const TagRow* row = FindRow(kGpsDictionary, entry.tag);
    if (!row || !TypeMatches(*row, entry.type)) continue;
    char text[kTextSize];
    FormatGpsValue(entry, *row, text);
    parse.callback(parse.context, EXIF_GROUP_GPS, 0, RowName(*row), text);
  }
}

// Visits a directory and the chain of directories linked after it. A link
// must point further into the data, so every chain ends.
void VisitChain(ExifParse& parse, uint64_t position, int group, const TagTable& firstDictionary) {
  const TagTable* dictionary = &firstDictionary;
  for (;;) {
    uint64_t end = VisitOne(parse, position, group, *dictionary);
    if (end == 0 || !parse.data.Fits(end, 4)) break;
    uint64_t next = Read32(parse.data.data + end, parse.data.bigEndian);
    if (next == 0 || next >= parse.data.length || next <= position) break;
    parse.GroupStart(EXIF_GROUP_THUMBNAIL, TEXT_GROUP_THUMBNAIL);
    position = next;
    group = EXIF_GROUP_THUMBNAIL;
    dictionary = &kMainDictionary;
  }
  if (parse.makerNote) {
    const uint8_t* note = parse.makerNote;
    parse.makerNote = nullptr;  // decoded once
    parse.GroupStart(EXIF_GROUP_MAKERNOTES, TEXT_GROUP_MAKERNOTES);
    DecodeMakerNote(parse.maker, note, (uint32_t)parse.makerNoteSize, parse.data.data,
                    (uint32_t)parse.data.length, parse.data.bigEndian, parse.callback,
                    parse.context);
  }
}

uint64_t VisitOne(ExifParse& parse, uint64_t position, int group, const TagTable& dictionary) {
  const TiffData& data = parse.data;
  bool first = ++parse.visits == 1;
  if (first) parse.GroupStart(EXIF_GROUP_CAMERA, TEXT_GROUP_CAMERA);
  uint64_t end = AcceptedEntriesEnd(data, position);
  if (end == 0) return 0;

  SubDirectories subs;
  for (uint64_t at = position + 2; at < end; at += 12) {
    TiffEntry entry;
    if (ReadTiffEntry(data, at, 0, &entry) != EntryStatus::kOk) continue;
    const TagRow* row = FindRow(dictionary, entry.tag);
    if (row && entry.tag != TAG_MAKER_NOTE) {
      char text[kTextSize];
      FormatExifValue(entry, *row, text);
      if (text[0]) parse.callback(parse.context, group, entry.tag, RowName(*row), text);
    }
    switch (entry.tag) {
      case TAG_MAKE:
        parse.maker = MakerFromMake((const char*)entry.value,
                                    entry.size > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)entry.size);
        break;
      case TAG_MAKER_NOTE:
        parse.makerNote = entry.value;
        parse.makerNoteSize = entry.size;
        break;
      case TAG_EXIF_OFFSET:
      case TAG_GPS_OFFSET:
      case TAG_INTEROP_OFFSET: {
        if (entry.count == 0) break;
        int64_t target = EntryInteger(entry);
        if (target <= 0 || (uint64_t)target >= data.length) break;
        if (entry.tag == TAG_EXIF_OFFSET) subs.exif = (uint64_t)target;
        if (entry.tag == TAG_GPS_OFFSET) subs.gps = (uint64_t)target;
        if (entry.tag == TAG_INTEROP_OFFSET) subs.interop = (uint64_t)target;
        break;
      }
      default: break;
    }
  }

  if (first) {
    if (subs.exif) {
      parse.GroupStart(EXIF_GROUP_IMAGE, TEXT_GROUP_IMAGE);
      VisitChain(parse, subs.exif, EXIF_GROUP_IMAGE, kExifDictionary);
    }
    if (subs.interop) {
      parse.GroupStart(EXIF_GROUP_IOP, TEXT_GROUP_IOP);
      VisitChain(parse, subs.interop, EXIF_GROUP_IOP, kInteropDictionary);
    }
    if (subs.gps) {
      parse.GroupStart(EXIF_GROUP_GPS, TEXT_GROUP_GPS);
      VisitGps(parse, subs.gps);
    }
  }
  return end;
}

bool StartsWithNoCase(const char* text, uint32_t length, const char* prefix) {
  size_t n = strlen(prefix);
  if (length < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

int MakerFromMake(const char* make, uint32_t length) {
  static const struct {
    const char* prefix;
    int maker;
  } kMakers[] = {{"canon", MAKER_CANON},   {"olympus", MAKER_OLYMPUS}, {"fujifilm", MAKER_FUJIFILM},
                 {"nikon", MAKER_NIKON},   {"casio", MAKER_CASIO},     {"minolta", MAKER_MINOLTA},
                 {"sigma", MAKER_SIGMA},   {"foveon", MAKER_SIGMA},    {"sanyo", MAKER_SANYO}};
  if (!make) return MAKER_UNKNOWN;
  for (const auto& m : kMakers)
    if (StartsWithNoCase(make, length, m.prefix)) return m.maker;
  return MAKER_UNKNOWN;
}

bool HasExif(const MetadataBlock* list) { return FindExifBlock(list) != nullptr; }

bool ReadExif(const MetadataBlock* list, MetadataRowCallback callback, void* context) {
  const MetadataBlock* block = FindExifBlock(list);
  if (!block || !callback || block->size < 6 + 8) return false;
  const uint8_t* tiff = block->data + 6;
  bool bigEndian;
  if (tiff[0] == 'I' && tiff[1] == 'I')
    bigEndian = false;
  else if (tiff[0] == 'M' && tiff[1] == 'M')
    bigEndian = true;
  else
    return false;
  if (Read16(tiff + 2, bigEndian) != 42) return false;

  ExifParse parse;
  parse.data = TiffData{tiff, (uint64_t)block->size - 6, bigEndian};
  parse.callback = callback;
  parse.context = context;
  VisitChain(parse, Read32(tiff + 4, bigEndian), EXIF_GROUP_CAMERA, kMainDictionary);
  return true;
}
