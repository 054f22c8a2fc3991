// Olympus maker notes: "OLYMP", then a directory at the note's start + 8 in
// the file's byte order with offsets from the TIFF header.
#include "imagelib/metadata/makernote_decoder.h"

namespace {

// Olympus numbers its quality settings from 1 (SQ); 0 is not used.
const ValueName kQuality[] = {{1, 0, "SQ"}, {2, 0, "HQ"},  {3, 0, "SHQ"},
                              {4, 0, "RAW"}, {-1, TEXT_UNKNOWN, nullptr}};
const ValueName kMacro[] = {{0, TEXT_OFF, nullptr}, {1, TEXT_ON, nullptr}, {2, 0, "Super Macro"},
                            {-1, TEXT_UNKNOWN, nullptr}};

const TagRow kRows[] = {
    {512, 0, 0, 0, "Shooting Mode", nullptr},
    {513, 0, 0, 0, "Compression setting", kQuality},
    {514, 0, 0, 0, "Macro Mode", kMacro},
    {516, 0, 0, 0, "Digital Zoom", nullptr},
    {519, 0, 0, 0, "Firmware version", nullptr},
    {520, 0, 0, 0, "Picture info", nullptr},
    {521, 0, 0, 0, "Camera ID", nullptr},
    {65535, 0, 0, 0, "Olympus Unknown", nullptr},
};

}  // namespace

void DecodeOlympusNote(const MakerNoteSource& source) {
  if (!source.StartsWith("OLYMP", 5, true)) return;
  WalkMakerDirectory(source, 0, source.note + 8, MakeTable(kRows), source.tiff.bigEndian, nullptr);
}
