// Minolta maker notes: a directory at the note's start whose tags 1 and 3
// hold the camera settings as an array of big-endian 32-bit elements.
#include <cmath>
#include <cstdio>

#include "imagelib/metadata/makernote_decoder.h"

namespace {

#define END_UNKNOWN {-1, TEXT_UNKNOWN, nullptr}

const ValueName kColorMode[] = {
    {0, 0, "Natural color"}, {1, 0, "Black & White"},  {2, 0, "Vivid color"},
    {3, 0, "Solarization"},  {4, 0, "Adobe RGB"},      {5, 0, "Sepia"},
    {9, 0, "Natural"},       {12, 0, "Portrait"},      {13, 0, "Natural sRGB"},
    {14, 0, "Natural+ sRGB"}, {15, 0, "Landscape"},    {16, 0, "Evening"},
    {17, 0, "Night Scene"},  {18, 0, "Night Portrait"}, {132, 0, "Embed Adobe RGB"},
    END_UNKNOWN};
const ValueName kQuality[] = {{0, 0, "Raw"},      {1, 0, "Super Fine"}, {2, 0, "Fine"},
                              {3, 0, "Standard"}, {4, 0, "Economy"},    {5, 0, "Extra fine"},
                              END_UNKNOWN};

const ValueName kExposureMode[] = {{0, 0, "Program"}, {1, 0, "Aperture Priority"},
                                   {2, 0, "Shutter Priority"}, {3, 0, "Manual"}, END_UNKNOWN};
const ValueName kFlashMode[] = {{0, 0, "Fill flash"},      {1, 0, "Red-eye reduction"},
                                {2, 0, "Rear flash sync"}, {3, 0, "Wireless"},
                                {4, TEXT_OFF, nullptr},    END_UNKNOWN};
const ValueName kWhiteBalance[] = {{0, 0, "Auto"},        {1, 0, "Daylight"},
                                   {2, 0, "Cloudy"},      {3, 0, "Tungsten"},
                                   {5, 0, "Custom"},      {7, 0, "Fluorescent"},
                                   {8, 0, "Fluorescent 2"}, {11, 0, "Custom 2"},
                                   {12, 0, "Custom 3"},   END_UNKNOWN};
const ValueName kImageSize[] = {{0, 0, "Full"},      {1, 0, "1600x1200"}, {2, 0, "1280x960"},
                                {3, 0, "640x480"},   {6, 0, "2080x1560"}, {7, 0, "2560x1920"},
                                {8, 0, "3264x2176"}, END_UNKNOWN};
const ValueName kDriveMode[] = {{0, 0, "Single"},      {1, 0, "Continuous"},
                                {2, 0, "Self-timer"},  {4, 0, "Bracketing"},
                                {5, 0, "Interval"},    {6, 0, "UHS continuous"},
                                {7, 0, "HS continuous"}, END_UNKNOWN};
const ValueName kMeteringMode[] = {{0, 0, "Multi-segment"}, {1, 0, "Center-weighted average"},
                                   {2, 0, "Spot"}, END_UNKNOWN};
const ValueName kOffOn[] = {{0, TEXT_OFF, nullptr}, {1, TEXT_ON, nullptr}, END_UNKNOWN};
const ValueName kDigitalZoom[] = {{0, TEXT_OFF, nullptr}, {1, 0, "Electronic magnification"},
                                  {2, 0, "2x"}, END_UNKNOWN};
const ValueName kBracketStep[] = {{0, 0, "1/3 EV"}, {1, 0, "2/3 EV"}, {2, 0, "1 EV"},
                                  END_UNKNOWN};
const ValueName kNoYes[] = {{0, 0, "No"}, {1, 0, "Yes"}, END_UNKNOWN};
const ValueName kSharpness[] = {{0, 0, "Hard"}, {1, 0, "Normal"}, {2, 0, "Soft"}, END_UNKNOWN};
const ValueName kSubjectProgram[] = {{0, 0, "None"},           {1, 0, "Portrait"},
                                     {2, 0, "Text"},           {3, 0, "Night portrait"},
                                     {4, 0, "Sunset"},         {5, 0, "Sports action"},
                                     END_UNKNOWN};
const ValueName kIsoSetting[] = {{0, 0, "100"}, {1, 0, "200"}, {2, 0, "400"}, {3, 0, "800"},
                                 {4, 0, "Auto"}, {5, 0, "64"}, END_UNKNOWN};
const ValueName kCameraModel[] = {{0, 0, "DiMAGE 7"},    {1, 0, "DiMAGE 5"},
                                  {2, 0, "DiMAGE S304"}, {3, 0, "DiMAGE S404"},
                                  {4, 0, "DiMAGE 7i"},   {5, 0, "DiMAGE 7Hi"}, END_UNKNOWN};
const ValueName kIntervalMode[] = {{0, 0, "Still Image"}, {1, 0, "Time-lapse Movie"},
                                   END_UNKNOWN};
const ValueName kFolderName[] = {{0, 0, "Standard Form"}, {1, 0, "Data Form"}, END_UNKNOWN};
const ValueName kSettingsColorMode[] = {{0, 0, "Natural color"}, {1, 0, "Black & White"},
                                        {2, 0, "Vivid color"},   {3, 0, "Solarization"},
                                        {4, 0, "Adobe RGB"},     END_UNKNOWN};
const ValueName kWideFocusZone[] = {{0, 0, "No zone"},
                                    {1, 0, "Center zone (horizontal orientation)"},
                                    {2, 0, "Center zone (vertical orientation)"},
                                    {3, 0, "Left zone"},
                                    {4, 0, "Right zone"},
                                    END_UNKNOWN};
const ValueName kFocusMode[] = {{0, 0, "AF"}, {1, 0, "MF"}, END_UNKNOWN};
const ValueName kFocusArea[] = {{0, 0, "Wide Focus (normal)"}, {1, 0, "Spot Focus"}, END_UNKNOWN};
const ValueName kDecPosition[] = {{0, 0, "Exposure"}, {1, 0, "Contrast"}, {2, 0, "Saturation"},
                                  {3, 0, "Filter"}, END_UNKNOWN};

#undef END_UNKNOWN

const TagRow kRows[] = {
    {0, 0, 0, 0, "Version", nullptr},
    {64, 0, 0, 0, "Compressed Image Size", nullptr},
    {129, 0, 0, 0, "Preview Image Data", nullptr},
    {136, 0, 0, 0, "Preview Image Start", nullptr},
    {137, 0, 0, 0, "Preview Image Length", nullptr},
    {257, 0, 0, 0, "Color Mode", kColorMode},
    {258, 0, 0, 0, "Minolta Quality", kQuality},
    {259, 0, 0, 0, "Minolta Quality", kQuality},
    {3584, 0, 0, 0, "Print IM", nullptr},
};

#define SETTING(index, name, names) {index, TIFF_LONG, 0, 0, name, names}
const TagRow kSettingsRows[] = {
    SETTING(1, "Exposure mode", kExposureMode),
    SETTING(2, "Flash mode", kFlashMode),
    SETTING(3, "White balance", kWhiteBalance),
    SETTING(4, "Image size", kImageSize),
    SETTING(5, "Image Quality", kQuality),
    SETTING(6, "Drive mode", kDriveMode),
    SETTING(7, "Metering mode", kMeteringMode),
    SETTING(8, "ISO", nullptr),
    SETTING(9, "Shutter speed [s]", nullptr),
    SETTING(10, "Aperture", nullptr),
    SETTING(11, "Macro Mode", kOffOn),
    SETTING(12, "Digital Zoom", kDigitalZoom),
    SETTING(13, "Exposure Compensation", nullptr),
    SETTING(14, "Bracket Step", kBracketStep),
    SETTING(16, "Interval Length", nullptr),
    SETTING(17, "Interval Number", nullptr),
    SETTING(18, "Focal length [mm]", nullptr),
    SETTING(19, "Focal distance", nullptr),
    SETTING(20, "Flash fired", kNoYes),
    SETTING(21, "Date", nullptr),
    SETTING(22, "Time", nullptr),
    SETTING(23, "Max aperture", nullptr),
    SETTING(26, "File Number Memory", kOffOn),
    SETTING(27, "Last File Number", nullptr),
    SETTING(28, "Color Balance Red", nullptr),
    SETTING(29, "Color Balance Green", nullptr),
    SETTING(30, "Color Balance Blue", nullptr),
    SETTING(31, "Saturation", nullptr),
    SETTING(32, "Contrast", nullptr),
    SETTING(33, "Sharpness", kSharpness),
    SETTING(34, "Subject Program", kSubjectProgram),
    SETTING(35, "Falsh Exposure Comp", nullptr),
    SETTING(36, "ISO Setting", kIsoSetting),
    SETTING(37, "Camera Model", kCameraModel),
    SETTING(38, "Interval mode", kIntervalMode),
    SETTING(39, "Folder name", kFolderName),
    SETTING(40, "Color Mode", kSettingsColorMode),
    SETTING(41, "Color Filter", nullptr),
    SETTING(42, "BWFilter", nullptr),
    SETTING(44, "Brightness", nullptr),
    SETTING(45, "SpotFocusPointX", nullptr),
    SETTING(46, "SpotFocusPointY", nullptr),
    SETTING(47, "Wide Focus Zone", kWideFocusZone),
    SETTING(48, "Focus Mode", kFocusMode),
    SETTING(49, "Focus Area", kFocusArea),
    SETTING(50, "DECPosition", kDecPosition),
};
#undef SETTING

const TagTable kSettings = MakeTable(kSettingsRows);

bool FormatSetting(int index, int64_t x, char* out) {
  switch (index) {
    case 8: {  // ISO
      double iso = std::pow(2.0, (double)(x / 8) - 1.0) * 3.125;
      if (!(iso < 2147483647.0)) return false;
      snprintf(out, kTextSize, "%d", (int)iso);
      return true;
    }
    case 9: {  // shutter speed
      double t = std::pow(2.0, (48.0 - (double)x) / 8.0);
      if (t > 0 && t < 0.25001)
        snprintf(out, kTextSize, "1/%d", (int)(1.0 / t + 0.5));
      else
        snprintf(out, kTextSize, "%.1f", t);
      return true;
    }
    case 10:  // aperture
    case 23:  // max aperture
      snprintf(out, kTextSize, "%.1f", std::pow(2.0, (double)x / 16.0 - 0.5));
      return true;
    case 13:  // exposure compensation
      snprintf(out, kTextSize, "%d", (int)(x / 3 - 2));
      return true;
    case 18:  // focal length
    case 28:  // colour balances
    case 29:
    case 30:
      snprintf(out, kTextSize, "%.4f", (double)x / 256.0);
      return true;
    case 19:  // focal distance
      if (x / 1000 == 0)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_INFINITY));
      else
        snprintf(out, kTextSize, "%d m", (int)(x / 1000));
      return true;
    case 21:  // date
      snprintf(out, kTextSize, "%4d:%.2d:%.2d", (int)(x >> 16), (int)((x >> 8) & 255),
               (int)(x & 255));
      return true;
    case 22:  // time
      snprintf(out, kTextSize, "%2d:%.2d:%.2d", (int)(x >> 16), (int)((x >> 8) & 255),
               (int)(x & 255));
      return true;
    case 31:  // saturation
    case 32:  // contrast
    case 41:  // colour filter
      snprintf(out, kTextSize, "%d", (int)(x - 3));
      return true;
    case 35:  // flash exposure compensation
      snprintf(out, kTextSize, "%.1f", (double)(x - 6) / 3.0);
      return true;
    case 44:  // brightness
      snprintf(out, kTextSize, "%.4f", (double)x / 8.0 - 6.0);
      return true;
    default: return false;
  }
}

}  // namespace

void DecodeMinoltaNote(const MakerNoteSource& source) {
  const TiffData& tiff = source.tiff;
  if (source.size < 2) return;
  const uint8_t* p = source.Bytes();
  uint64_t n = Read16(p, tiff.bigEndian);
  if (source.size <= 8 * n || p[0] == '+' || p[1] == 'M') return;
  uint64_t end = source.note + 2 + 12 * n;
  if (end > tiff.length) return;
  const TagTable table = MakeTable(kRows);
  for (uint64_t at = source.note + 2; at < end; at += 12) {
    TiffEntry entry;
    EntryStatus status = ReadTiffEntry(tiff, at, 0, &entry);
    if (status == EntryStatus::kBadType) return;
    if (status == EntryStatus::kOutside) continue;
    if (entry.tag == 1 || entry.tag == 3) {
      DecodeMakerArray(source, kSettings, entry.value, entry.size, entry.size / 4, true,
                       FormatSetting);
      continue;
    }
    const TagRow* row = FindRow(table, entry.tag);
    if (!row || !TypeMatches(*row, entry.type)) continue;
    char text[kTextSize];
    if (entry.tag == 0 && entry.size >= 4)
      snprintf(text, kTextSize, "%c%c%c%c", entry.value[0], entry.value[1], entry.value[2],
               entry.value[3]);
    else
      FormatMakerEntry(entry, *row, text);
    source.Emit(RowName(*row), text);
  }
}
