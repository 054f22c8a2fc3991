// Olympus maker notes: "OLYMP", then a directory at the note's start + 8 in
// the file's byte order with offsets from the TIFF header.
#include <cstring>

#include "imagelib/metadata/makernote_decoder.h"

namespace {

// Quality counts SQ, HQ, SHQ from 0 on the SX camera types and from 1 on
// the others.
const ValueName kQualityFromZero[] = {{0, 0, "SQ"},  {1, 0, "HQ"}, {2, 0, "SHQ"},
                                      {6, 0, "RAW"}, {-1, TEXT_UNKNOWN, nullptr}};
const ValueName kQualityFromOne[] = {{1, 0, "SQ"},          {2, 0, "HQ"},
                                     {3, 0, "SHQ"},         {4, 0, "RAW"},
                                     {5, 0, "Medium-Fine"}, {6, 0, "Small-Fine"},
                                     {33, 0, "Uncompressed"}, {-1, TEXT_UNKNOWN, nullptr}};
const ValueName kMacro[] = {{0, TEXT_OFF, nullptr}, {1, TEXT_ON, nullptr}, {2, 0, "Super Macro"},
                            {-1, TEXT_UNKNOWN, nullptr}};

#define OLYMPUS_ROWS(quality)                                 \
  {                                                           \
    {512, 0, 0, 0, "Shooting Mode", nullptr},                 \
    {513, TIFF_SHORT, 0, 0, "Compression setting", quality},  \
    {514, TIFF_SHORT, 0, 0, "Macro Mode", kMacro},            \
    {516, 0, 0, 0, "Digital Zoom", nullptr},                  \
    {519, 0, 0, 0, "Firmware version", nullptr},              \
    {520, 0, 0, 0, "Picture info", nullptr},                  \
    {521, 0, 0, 0, "Camera ID", nullptr},                     \
    {65535, 0, 0, 0, "Olympus Unknown", nullptr},             \
  }
const TagRow kRowsFromZero[] = OLYMPUS_ROWS(kQualityFromZero);
const TagRow kRowsFromOne[] = OLYMPUS_ROWS(kQualityFromOne);
#undef OLYMPUS_ROWS

// Whether the camera type (tag 519) names an SX-type camera (SX151 counts
// from 1, and so do notes without a camera type).
bool IsSxCamera(const MakerNoteSource& source, uint64_t directory) {
  const TiffData& data = source.tiff;
  if (!data.Fits(directory, 2)) return false;
  uint64_t n = Read16(data.data + directory, data.bigEndian);
  uint64_t end = directory + 2 + 12 * n;
  if (end > data.length) return false;
  for (uint64_t at = directory + 2; at < end; at += 12) {
    TiffEntry entry;
    if (ReadTiffEntry(data, at, 0, &entry) != EntryStatus::kOk || entry.tag != 519) continue;
    char type[kTextSize];
    FormatCharacters(entry, 0, type);
    return strncmp(type, "SX", 2) == 0 && strncmp(type, "SX151", 5) != 0;
  }
  return false;
}

}  // namespace

void DecodeOlympusNote(const MakerNoteSource& source) {
  if (!source.StartsWith("OLYMP", 5, true)) return;
  uint64_t directory = source.note + 8;
  bool fromZero = IsSxCamera(source, directory);
  WalkMakerDirectory(source, 0, directory, fromZero ? MakeTable(kRowsFromZero) : MakeTable(kRowsFromOne),
                     source.tiff.bigEndian, nullptr);
}
