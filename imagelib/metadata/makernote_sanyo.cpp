// Sanyo maker notes: "SANYO", then a directory at the note's start + 8 in the
// file's byte order with offsets from the TIFF header.
#include "imagelib/metadata/makernote_decoder.h"

namespace {

#define END_UNKNOWN {-1, TEXT_UNKNOWN, nullptr}

// Quality: the high byte is the compression, the low byte the resolution.
const ValueName kQuality[] = {
    {0x0000, 0, "Normal/Very Low"},     {0x0001, 0, "Normal/Low"},
    {0x0002, 0, "Normal/Medium Low"},   {0x0003, 0, "Normal/Medium"},
    {0x0004, 0, "Normal/Medium High"},  {0x0005, 0, "Normal/High"},
    {0x0006, 0, "Normal/Very High"},    {0x0007, 0, "Normal/Super High"},
    {0x0100, 0, "Fine/Very Low"},       {0x0101, 0, "Fine/Low"},
    {0x0102, 0, "Fine/Medium Low"},     {0x0103, 0, "Fine/Medium"},
    {0x0104, 0, "Fine/Medium High"},    {0x0105, 0, "Fine/High"},
    {0x0106, 0, "Fine/Very High"},      {0x0107, 0, "Fine/Super High"},
    {0x0200, 0, "Super Fine/Very Low"}, {0x0201, 0, "Super Fine/Low"},
    {0x0202, 0, "Super Fine/Medium Low"}, {0x0203, 0, "Super Fine/Medium"},
    {0x0204, 0, "Super Fine/Medium High"}, {0x0205, 0, "Super Fine/High"},
    {0x0206, 0, "Super Fine/Very High"}, {0x0207, 0, "Super Fine/Super High"},
    END_UNKNOWN};
const ValueName kMacro[] = {{0, 0, "Normal"}, {1, 0, "Macro"}, {2, 0, "View"}, {3, 0, "Manual"},
                            END_UNKNOWN};
const ValueName kSequentialShot[] = {{0, 0, "None"}, {1, 0, "Standard"}, {2, 0, "Best"},
                                     {3, 0, "Adjust Exposure"}, END_UNKNOWN};
const ValueName kOffOn[] = {{0, TEXT_OFF, nullptr}, {1, TEXT_ON, nullptr}, END_UNKNOWN};
const ValueName kShutterRelease[] = {{0, 0, "Record while down"},
                                     {1, 0, "Press start, press stop"}, END_UNKNOWN};
const ValueName kNoYes[] = {{0, 0, "No"}, {1, 0, "Yes"}, END_UNKNOWN};
const ValueName kSceneSelect[] = {{0, TEXT_OFF, nullptr}, {1, 0, "Sport"}, {2, 0, "TV"},
                                  {3, 0, "Night"}, {4, 0, "User 1"}, {5, 0, "User 2"},
                                  {6, 0, "Lamp"}, END_UNKNOWN};
const ValueName kShotInterval[] = {{0, 0, "5 frames/s"}, {1, 0, "10 frames/s"},
                                   {2, 0, "15 frames/s"}, {3, 0, "20 frames/s"}, END_UNKNOWN};
const ValueName kFlashMode[] = {{0, 0, "Auto"}, {1, 0, "Force"}, {2, 0, "Disabled"},
                                {3, 0, "Red eye"}, END_UNKNOWN};

#undef END_UNKNOWN

const TagRow kRows[] = {
    {255, 0, 0, 0, "Maker Note Offset", nullptr},
    {256, 0, 0, 0, "Thumbnail", nullptr},
    {512, 0, 0, 0, "Special Mode", nullptr},
    {513, TIFF_SHORT, 0, 0, "Quality", kQuality},
    {514, TIFF_SHORT, 0, 0, "Macro", kMacro},
    {516, 0, 0, 0, "Digital Zoom", nullptr},
    {519, 0, 0, 0, "Software Version", nullptr},
    {520, 0, 0, 0, "Pict Info", nullptr},
    {521, 0, 0, 0, "Camera ID", nullptr},
    {526, TIFF_SHORT, 0, 0, "Sequential Shot", kSequentialShot},
    {527, TIFF_SHORT, 0, 0, "Wide Range", kOffOn},
    {528, TIFF_SHORT, 0, 0, "Color Adjustment Mode", kOffOn},
    {531, TIFF_SHORT, 0, 0, "QuickShot", kOffOn},
    {532, TIFF_SHORT, 0, 0, "Self Timer", kOffOn},
    {534, TIFF_SHORT, 0, 0, "Voice Memo", kOffOn},
    {535, TIFF_SHORT, 0, 0, "Record Shutter Release", kShutterRelease},
    {536, TIFF_SHORT, 0, 0, "Flicker Reduce", kOffOn},
    {537, TIFF_SHORT, 0, 0, "Optical Zoom", kOffOn},
    {539, TIFF_SHORT, 0, 0, "Digital Zoom", kOffOn},
    {541, TIFF_SHORT, 0, 0, "Light Source Special", kOffOn},
    {542, TIFF_SHORT, 0, 0, "Resaved", kNoYes},
    {543, TIFF_SHORT, 0, 0, "Scene Select", kSceneSelect},
    {547, 0, 0, 0, "Manual Focus Distance", nullptr},
    {548, TIFF_SHORT, 0, 0, "Sequence Shot Interval", kShotInterval},
    {549, TIFF_SHORT, 0, 0, "Flash mode", kFlashMode},
};

}  // namespace

void DecodeSanyoNote(const MakerNoteSource& source) {
  if (!source.StartsWith("sanyo", 5, true)) return;
  WalkMakerDirectory(source, 0, source.note + 8, MakeTable(kRows), source.tiff.bigEndian, nullptr);
}
