// Canon maker notes: a directory at the note's start holding the camera
// settings and shot info arrays, texts and the image number.
#include <cstdio>

#include "imagelib/metadata/makernote_decoder.h"

namespace {

#define END_UNKNOWN {-1, TEXT_UNKNOWN, nullptr}
#define END_NUMBER {-1, 0, nullptr}

const ValueName kMacro[] = {{1, 0, "Macro"}, {2, 0, "Normal"}, END_UNKNOWN};
const ValueName kSelfTimer[] = {{0, TEXT_OFF, nullptr}, {-1, TEXT_ON, nullptr}};
const ValueName kQuality[] = {{1, 0, "Economy"}, {2, 0, "Normal"},     {3, 0, "Fine"},
                              {4, 0, "RAW"},     {5, 0, "Superfine"},  {130, 0, "Normal Movie"},
                              END_UNKNOWN};
const ValueName kFlashMode[] = {{0, TEXT_OFF, nullptr},
                                {1, 0, "Auto"},
                                {2, TEXT_ON, nullptr},
                                {3, 0, "Red-eye reduction"},
                                {4, 0, "Slow-sync"},
                                {5, 0, "Red-eye reduction (Auto)"},
                                {6, 0, "Red-eye reduction (On)"},
                                {16, 0, "External flash"},
                                END_UNKNOWN};
const ValueName kDriveMode[] = {{0, 0, "Single"},
                                {1, 0, "Continuous"},
                                {2, 0, "Movie"},
                                {3, 0, "Continuous, Speed Priority"},
                                {4, 0, "Continuous, Low"},
                                {5, 0, "Continuous, High"},
                                END_UNKNOWN};
const ValueName kFocusMode[] = {{0, 0, "One-shot AF"},  {1, 0, "AI Servo AF"},
                                {2, 0, "AI Focus AF"},  {3, 0, "Manual Focus"},
                                {4, 0, "Single"},       {5, 0, "Continuous"},
                                {6, 0, "Manual Focus"}, {16, 0, "Pan Focus"},
                                END_UNKNOWN};
const ValueName kImageSize[] = {{0, 0, "Large"},    {1, 0, "Medium"},   {2, 0, "Small"},
                                {5, 0, "Medium 1"}, {6, 0, "Medium 2"}, {7, 0, "Medium 3"},
                                {8, 0, "Postcard"}, {9, 0, "Widescreen"}, END_UNKNOWN};
const ValueName kEasyShooting[] = {
    {0, 0, "Full auto"},    {1, 0, "Manual"},       {2, 0, "Landscape"},
    {3, 0, "Fast shutter"}, {4, 0, "Slow shutter"}, {5, 0, "Night"},
    {6, 0, "Gray Scale"},   {7, 0, "Sepia"},        {8, 0, "Portrait"},
    {9, 0, "Sports"},       {10, 0, "Macro"},       {11, 0, "Black & White"},
    {12, 0, "Pan focus"},   {13, 0, "Vivid"},       {14, 0, "Neutral"},
    {15, 0, "Flash Off"},   {16, 0, "Long Shutter"}, {17, 0, "Super Macro"},
    {18, 0, "Foliage"},     {19, 0, "Indoor"},      {20, 0, "Fireworks"},
    {21, 0, "Beach"},       {22, 0, "Underwater"},  {23, 0, "Snow"},
    {24, 0, "Kids & Pets"}, {25, 0, "Night Snapshot"}, {26, 0, "Digital Macro"},
    END_UNKNOWN};
const ValueName kLowNormalHigh[] = {{65535, 0, "Low"}, {0, 0, "Normal"}, {1, 0, "High"},
                                    END_UNKNOWN};
const ValueName kIso[] = {{15, 0, "Auto"}, {16, 0, "50"},  {17, 0, "100"},
                          {18, 0, "200"},  {19, 0, "400"}, END_NUMBER};
const ValueName kMeteringMode[] = {{0, 0, "Default"},    {1, 0, "Spot"},
                                   {2, 0, "Average"},    {3, 0, "Evaluative"},
                                   {4, 0, "Partial"},    {5, 0, "Center-weighted average"},
                                   END_UNKNOWN};
const ValueName kFocusType[] = {{0, 0, "Manual"},     {1, 0, "Auto"},        {2, 0, "Not Known"},
                                {3, 0, "Macro"},      {4, 0, "Very Close"},  {5, 0, "Close"},
                                {6, 0, "Middle Range"}, {7, 0, "Far Range"}, {8, 0, "Pan Focus"},
                                {9, 0, "Super Macro"}, {10, 0, "Infinity"},  END_UNKNOWN};
const ValueName kAfPoint[] = {{0x2005, 0, "Manual AF point selection"},
                              {0x3000, 0, "None (MF)"},
                              {0x3001, 0, "Auto AF point selection"},
                              {0x3002, 0, "Right"},
                              {0x3003, 0, "Center"},
                              {0x3004, 0, "Left"},
                              {0x4001, 0, "Auto AF point selection"},
                              {0x4006, 0, "Face Detect"},
                              END_UNKNOWN};
const ValueName kExposureMode[] = {{0, 0, "Easy"},
                                   {1, 0, "Program AE"},
                                   {2, 0, "Shutter speed priority AE"},
                                   {3, 0, "Aperture-priority AE"},
                                   {4, 0, "Manual"},
                                   {5, 0, "Depth-of-field AE"},
                                   {6, 0, "M-Dep"},
                                   {7, 0, "Bulb"},
                                   END_UNKNOWN};
const ValueName kWhiteBalance[] = {{0, 0, "Auto"},     {1, 0, "Sunny"},       {2, 0, "Cloudy"},
                                   {3, 0, "Tungsten"}, {4, 0, "Fluorescent"}, {5, 0, "Flash"},
                                   {6, 0, "Custom"},   END_UNKNOWN};

#undef END_UNKNOWN
#undef END_NUMBER

const TagRow kCameraSettingsRows[] = {
    {1, TIFF_SHORT, 0, 0, "Macro", kMacro},
    {2, TIFF_SHORT, 0, 0, "SelfTimer", kSelfTimer},
    {3, TIFF_SHORT, 0, 0, "Compression setting", kQuality},
    {4, TIFF_SHORT, 0, 0, "Flash mode", kFlashMode},
    {5, TIFF_SHORT, 0, 0, "Drive mode", kDriveMode},
    {7, TIFF_SHORT, 0, 0, "Focus Mode", kFocusMode},
    {10, TIFF_SHORT, 0, 0, "Image size", kImageSize},
    {11, TIFF_SHORT, 0, 0, "Easy shooting", kEasyShooting},
    {13, TIFF_SHORT, 0, 0, "Contrast", kLowNormalHigh},
    {14, TIFF_SHORT, 0, 0, "Saturation", kLowNormalHigh},
    {15, TIFF_SHORT, 0, 0, "Sharpness", kLowNormalHigh},
    {16, TIFF_SHORT, 0, 0, "ISO value", kIso},
    {17, TIFF_SHORT, 0, 0, "Metering mode", kMeteringMode},
    {19, TIFF_SHORT, 0, 0, "AF point", kAfPoint},
    {18, TIFF_SHORT, 0, 0, "Focus type", kFocusType},
    {20, TIFF_SHORT, 0, 0, "Exposure mode", kExposureMode},
    {23, TIFF_SHORT, 0, 0, "Focal length [mm]", nullptr},
    {24, TIFF_SHORT, 0, 0, "Focal length short / mm", nullptr},
};
const TagRow kShotInfoRows[] = {
    {7, TIFF_SHORT, 0, 0, "White balance", kWhiteBalance},
};
const TagRow kOtherRows[] = {
    {6, TIFF_ASCII, 32, 0, "Picture info", nullptr},
    {7, TIFF_ASCII, 24, 0, "Firmware version", nullptr},
    {8, TIFF_LONG, 0, 0, "Image number", nullptr},
    {9, TIFF_ASCII, 32, 0, "Owner name", nullptr},
};

const TagTable kCameraSettings = MakeTable(kCameraSettingsRows);
const TagTable kShotInfo = MakeTable(kShotInfoRows);
const TagTable kOther = MakeTable(kOtherRows);

// ISO values given as a number rather than a code.
bool FormatCameraSetting(int index, int64_t value, char* out) {
  if (index == 16 && value >= 21 && (value & 0x4000)) {
    snprintf(out, kTextSize, "%d", (int)(value & 0x3FFF));
    return true;
  }
  return false;
}

}  // namespace

void DecodeCanonNote(const MakerNoteSource& source) {
  const TiffData& data = source.tiff;
  if (!data.Fits(source.note, 2)) return;
  uint64_t n = Read16(source.Bytes(), data.bigEndian);
  if (n < 1 || source.size <= 12 * n - 10) return;
  uint64_t end = source.note + 2 + 12 * n;
  if (end > data.length) return;
  for (uint64_t at = source.note + 2; at < end; at += 12) {
    TiffEntry entry;
    if (ReadTiffEntry(data, at, 0, &entry) != EntryStatus::kOk) continue;
    switch (entry.tag) {
      case 1:  // camera settings: the first element is the array's size in bytes
      case 4: {  // shot info: the first element is its element count
        if (entry.size < 2) break;
        uint64_t elements = Read16(entry.value, data.bigEndian);
        if (entry.tag == 1) elements /= 2;
        DecodeMakerArray(source, entry.tag == 1 ? kCameraSettings : kShotInfo, entry.value,
                         entry.size, elements, data.bigEndian,
                         entry.tag == 1 ? FormatCameraSetting : nullptr);
        break;
      }
      case 6:
      case 7:
      case 9: {
        const TagRow* row = FindRow(kOther, entry.tag);
        if (!TypeMatches(*row, entry.type)) break;
        char text[kTextSize];
        FormatCharacters(entry, row->count, text);
        source.Emit(RowName(*row), text);
        break;
      }
      case 8: {
        const TagRow* row = FindRow(kOther, entry.tag);
        if (!TypeMatches(*row, entry.type) || entry.count < 1) break;
        uint32_t value = (uint32_t)EntryInteger(entry);
        char text[kTextSize];
        snprintf(text, kTextSize, "%u-%u", value / 10000, value % 10000);
        source.Emit(RowName(*row), text);
        break;
      }
      default: break;
    }
  }
}
