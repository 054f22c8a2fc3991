// Fujifilm maker notes: "FUJIFILM", the directory's offset (little-endian, at
// the note's start + 8), a little-endian directory whose offsets count from
// the note's start.
#include "imagelib/metadata/makernote_decoder.h"

namespace {

#define END_UNKNOWN {-1, TEXT_UNKNOWN, nullptr}

const ValueName kSharpness[] = {{1, 0, "Soft"},  {2, 0, "Soft"}, {3, 0, "Normal"},
                                {4, 0, "Hard"},  {5, 0, "Hard"}, {0x82, 0, "Medium Soft"},
                                {0x84, 0, "Medium Hard"}, {0x8000, 0, "Film Simulation"},
                                {0xFFFF, TEXT_NOT_APPLICABLE, nullptr}, END_UNKNOWN};
const ValueName kWhiteBalance[] = {{0, 0, "Auto"},
                                   {256, 0, "Daylight"},
                                   {512, 0, "Cloudy"},
                                   {768, 0, "Daylight Color Fluorescence"},
                                   {769, 0, "Daywhite Color Fluorescence"},
                                   {770, 0, "White Fluorescent"},
                                   {1024, 0, "Incandescent"},
                                   {1280, 0, "Flash"},
                                   {3840, 0, "Custom"},
                                   END_UNKNOWN};
const ValueName kSaturation[] = {{0, 0, "Normal"},       {128, 0, "Medium High"},
                                 {256, 0, "High"},       {384, 0, "Medium Low"},
                                 {512, 0, "Low"},        {768, 0, "None (B&W)"},
                                 {0x8000, 0, "Film Simulation"}, END_UNKNOWN};
const ValueName kContrast[] = {{0, 0, "Normal"},     {128, 0, "Medium High"},
                               {256, 0, "High"},     {384, 0, "Medium Low"},
                               {512, 0, "Low"},      {0x8000, 0, "Film Simulation"},
                               END_UNKNOWN};
const ValueName kFlashMode[] = {{0, 0, "Auto"},     {1, TEXT_ON, nullptr},
                                {2, TEXT_OFF, nullptr}, {3, 0, "Red-eye reduction"},
                                {4, 0, "External"}, {16, 0, "Commander"},
                                END_UNKNOWN};
const ValueName kOffOn[] = {{0, TEXT_OFF, nullptr}, {1, TEXT_ON, nullptr}, END_UNKNOWN};
const ValueName kFocusMode[] = {{0, 0, "Auto"}, {1, 0, "Manual"}, END_UNKNOWN};
const ValueName kPictureMode[] = {
    {0, 0, "Auto"},          {1, 0, "Portrait"},        {2, 0, "Landscape"},
    {3, 0, "Macro"},         {4, 0, "Sports"},          {5, 0, "Night Scene"},
    {6, 0, "Program AE"},    {7, 0, "Natural Light"},   {8, 0, "Anti-blur"},
    {9, 0, "Beach & Snow"},  {10, 0, "Sunset"},         {11, 0, "Museum"},
    {12, 0, "Party"},        {13, 0, "Flower"},         {14, 0, "Text"},
    {15, 0, "Natural Light & Flash"}, {16, 0, "Beach"}, {17, 0, "Snow"},
    {18, 0, "Fireworks"},    {19, 0, "Underwater"},     {256, 0, "Aperture-priority AE"},
    {512, 0, "Shutter speed priority AE"}, {768, 0, "Manual"}, END_UNKNOWN};
const ValueName kBracketing[] = {{0, TEXT_OFF, nullptr}, {1, TEXT_ON, nullptr},
                                 {2, 0, "No flash & flash"}, END_UNKNOWN};
const ValueName kBlur[] = {{0, 0, "None"}, {1, 0, "Blur Warning"}, END_UNKNOWN};
const ValueName kFocusStatus[] = {{0, 0, "Good"}, {1, 0, "Out of focus"}, END_UNKNOWN};
const ValueName kExposureStatus[] = {{0, 0, "Good"}, {1, 0, "Bad exposure"}, END_UNKNOWN};

#undef END_UNKNOWN

const TagRow kRows[] = {
    {0, 0, 0, 0, "Maker Note Version", nullptr},
    {4096, 0, 0, 0, "Quality Setting", nullptr},
    {4097, TIFF_SHORT, 0, 0, "Sharpness", kSharpness},
    {4098, TIFF_SHORT, 0, 0, "White balance", kWhiteBalance},
    {4099, TIFF_SHORT, 0, 0, "Chroma Saturation", kSaturation},
    {4100, TIFF_SHORT, 0, 0, "Contrast", kContrast},
    {4112, TIFF_SHORT, 0, 0, "Flash mode", kFlashMode},
    {4113, 0, 0, 0, "Flash Strength", nullptr},
    {4128, TIFF_SHORT, 0, 0, "Macro Mode", kOffOn},
    {4129, TIFF_SHORT, 0, 0, "Focus Mode", kFocusMode},
    {4144, TIFF_SHORT, 0, 0, "Slow Synchro Mode", kOffOn},
    {4145, TIFF_SHORT, 0, 0, "Picture Mode", kPictureMode},
    {4352, TIFF_SHORT, 0, 0, "Continuous/Bracketing Mode", kBracketing},
    {4864, TIFF_SHORT, 0, 0, "Blur Status", kBlur},
    {4865, TIFF_SHORT, 0, 0, "Focus Status", kFocusStatus},
    {4866, TIFF_SHORT, 0, 0, "Exposure Status", kExposureStatus},
    {65535, 0, 0, 0, "", nullptr},
};

}  // namespace

void DecodeFujifilmNote(const MakerNoteSource& source) {
  if (!source.StartsWith("FUJIFILM", 8, true) || source.size < 10) return;
  const uint8_t* p = source.Bytes();
  uint64_t directory = source.note + Read16(p + 8, false);
  WalkMakerDirectory(source, source.note, directory, MakeTable(kRows), false, nullptr);
}
