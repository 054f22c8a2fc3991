// Casio maker notes: type 2 begins with "QVC" and three zero bytes and holds
// a big-endian directory at the note's start + 6; type 1 is a bare directory
// in the file's byte order.
#include <cstring>

#include "imagelib/metadata/makernote_decoder.h"

namespace {

#define END_UNKNOWN {-1, TEXT_UNKNOWN, nullptr}

const ValueName kRecordingMode[] = {{1, 0, "Single Shutter"}, {2, 0, "Panorama"},
                                    {3, 0, "Night Scene"},    {4, 0, "Portrait"},
                                    {5, 0, "Landscape"},      {7, 0, "Panorama"},
                                    {10, 0, "Night Scene"},   {15, 0, "Portrait"},
                                    {16, 0, "Landscape"},     END_UNKNOWN};
const ValueName kQuality1[] = {{1, 0, "Economy"}, {2, 0, "Normal"}, {3, 0, "Fine"}, END_UNKNOWN};
const ValueName kFocusMode1[] = {{2, 0, "Macro"},    {3, 0, "Auto"},    {4, 0, "Manual"},
                                 {5, 0, "Infinity"}, {7, 0, "Spot AF"}, END_UNKNOWN};
const ValueName kFlashMode1[] = {{1, 0, "Auto"}, {2, TEXT_ON, nullptr}, {3, TEXT_OFF, nullptr},
                                 {4, 0, "Red-eye Reduction"}, END_UNKNOWN};
const ValueName kFlashIntensity[] = {{11, 0, "Weak"},  {12, 0, "Low"},    {13, 0, "Normal"},
                                     {14, 0, "High"},  {15, 0, "Strong"}, END_UNKNOWN};
const ValueName kWhiteBalance1[] = {{1, 0, "Auto"},        {2, 0, "Tungsten"},
                                    {3, 0, "Daylight"},    {4, 0, "Fluorescent"},
                                    {5, 0, "Shade"},       {129, 0, "Manual"}, END_UNKNOWN};
const ValueName kDigitalZoom1[] = {{0x10000, TEXT_OFF, nullptr}, {0x10001, 0, "2x"},
                                   {0x19999, 0, "1.6x"},         {0x20000, 0, "2x"},
                                   {0x33333, 0, "3.2x"},         {0x40000, 0, "4x"},
                                   END_UNKNOWN};
const ValueName kSharpness1[] = {{0, 0, "Normal"}, {1, 0, "Soft"}, {2, 0, "Hard"},
                                 {16, 0, "Normal"}, {17, 0, "+1"}, {18, 0, "-1"}, END_UNKNOWN};
const ValueName kLowHigh1[] = {{0, 0, "Normal"}, {1, 0, "Low"}, {2, 0, "High"},
                               {16, 0, "Normal"}, {17, 0, "+1"}, {18, 0, "-1"}, END_UNKNOWN};
const ValueName kCcdSensitivity[] = {{64, 0, "Normal"}, {80, 0, "Normal"}, {100, 0, "High"},
                                     {125, 0, "+1.0"},  {244, 0, "+3.0"},  {250, 0, "+2.0"},
                                     END_UNKNOWN};

const ValueName kQualityMode[] = {{0, 0, "Economy"}, {1, 0, "Normal"}, {2, 0, "Fine"},
                                  END_UNKNOWN};
const ValueName kImageSize[] = {{0, 0, "640x480"},    {4, 0, "1600x1200"},  {5, 0, "2048x1536"},
                                {20, 0, "2288x1712"}, {21, 0, "2592x1944"}, {22, 0, "2304x1728"},
                                {36, 0, "3008x2008"}, END_UNKNOWN};
const ValueName kFocusMode2[] = {{0, 0, "Normal"}, {1, 0, "Macro"}, END_UNKNOWN};
const ValueName kIso2[] = {{3, 0, "50"}, {4, 0, "64"}, {6, 0, "100"}, {9, 0, "200"},
                           END_UNKNOWN};
const ValueName kWhiteBalance2[] = {{0, 0, "Auto"},     {1, 0, "Daylight"},
                                    {2, 0, "Shade"},    {3, 0, "Tungsten"},
                                    {4, 0, "Fluorescent"}, {5, 0, "Manual"}, END_UNKNOWN};
const ValueName kLowNormalHigh[] = {{0, 0, "Low"}, {1, 0, "Normal"}, {2, 0, "High"},
                                    END_UNKNOWN};
const ValueName kSoftNormalHard[] = {{0, 0, "Soft"}, {1, 0, "Normal"}, {2, 0, "Hard"},
                                     END_UNKNOWN};
const ValueName kWhiteBalanceMode[] = {{0, 0, "Manual"},   {1, 0, "Daylight"},
                                       {2, 0, "Cloudy"},   {3, 0, "Shade"},
                                       {4, 0, "Flash?"},   {6, 0, "Fluorescent"},
                                       {9, 0, "Tungsten?"}, {10, 0, "Tungsten"},
                                       {12, 0, "Flash"},   END_UNKNOWN};
const ValueName kRecordMode[] = {{2, 0, "Program AE"},       {3, 0, "Shutter Priority"},
                                 {4, 0, "Aperture Priority"}, {5, 0, "Manual"},
                                 {6, 0, "Best Shot"},        {17, 0, "Movie"},
                                 {19, 0, "Movie"},           END_UNKNOWN};
const ValueName kOffOn[] = {{0, TEXT_OFF, nullptr}, {1, TEXT_ON, nullptr}, END_UNKNOWN};
const ValueName kQuality2[] = {{1, 0, "Economy"}, {2, 0, "Normal"}, {3, 0, "Fine"}, END_UNKNOWN};
const ValueName kFocusMode3[] = {{0, 0, "Manual"},   {1, 0, "Focus Lock"},
                                 {2, 0, "Macro"},    {3, 0, "Single-Area Auto Focus"},
                                 {5, 0, "Infinity"}, {6, 0, "Multi-Area Auto Focus"},
                                 {8, 0, "Super Macro"}, END_UNKNOWN};
const ValueName kColourMode[] = {{0, TEXT_OFF, nullptr}, {2, 0, "Black & White"},
                                 {3, 0, "Sepia"}, END_UNKNOWN};
const ValueName kEnhancement[] = {{0, TEXT_OFF, nullptr}, {1, 0, "Scenery"}, {3, 0, "Green"},
                                  {5, 0, "Underwater"}, {9, 0, "Flesh Tones"}, END_UNKNOWN};
const ValueName kFilter[] = {{0, TEXT_OFF, nullptr}, {1, 0, "Blue"}, {3, 0, "Green"},
                             {4, 0, "Yellow"}, {5, 0, "Red"}, {6, 0, "Purple"}, {7, 0, "Pink"},
                             END_UNKNOWN};

#undef END_UNKNOWN

const TagRow kType1Rows[] = {
    {1, TIFF_SHORT, 0, 0, "Recording Mode", kRecordingMode},
    {2, TIFF_SHORT, 0, 0, "Quality Setting", kQuality1},
    {3, TIFF_SHORT, 0, 0, "Focus Mode", kFocusMode1},
    {4, TIFF_SHORT, 0, 0, "Flash mode", kFlashMode1},
    {5, TIFF_SHORT, 0, 0, "Flash intensity", kFlashIntensity},
    {6, 0, 0, 0, "Object distance", nullptr},
    {7, TIFF_SHORT, 0, 0, "White balance", kWhiteBalance1},
    {10, TIFF_LONG, 0, 0, "Digital Zoom", kDigitalZoom1},
    {11, TIFF_SHORT, 0, 0, "Sharpness", kSharpness1},
    {12, TIFF_SHORT, 0, 0, "Contrast", kLowHigh1},
    {13, TIFF_SHORT, 0, 0, "Saturation", kLowHigh1},
    {20, TIFF_SHORT, 0, 0, "CCD Sensitivity", kCcdSensitivity},
};

const TagRow kType2Rows[] = {
    {2, 0, 0, 0, "Thumbnail Dimensions", nullptr},
    {3, 0, 0, 0, "Thumbnail Size", nullptr},
    {4, 0, 0, 0, "Thumbnail Offset", nullptr},
    {8, TIFF_SHORT, 0, 0, "Quality Mode", kQualityMode},
    {9, TIFF_SHORT, 0, 0, "Image Size", kImageSize},
    {13, TIFF_SHORT, 0, 0, "Focus Mode", kFocusMode2},
    {20, TIFF_SHORT, 0, 0, "Iso Sensitivity", kIso2},
    {25, TIFF_SHORT, 0, 0, "White Balance", kWhiteBalance2},
    {29, 0, 0, 0, "Focal Length", nullptr},
    {31, TIFF_SHORT, 0, 0, "Saturation", kLowNormalHigh},
    {32, TIFF_SHORT, 0, 0, "Contrast", kLowNormalHigh},
    {33, TIFF_SHORT, 0, 0, "Sharpness", kSoftNormalHard},
    {3584, 0, 0, 0, "Print Image Matching Info", nullptr},
    {8209, 0, 0, 0, "White Balance Bias", nullptr},
    {8210, TIFF_SHORT, 0, 0, "White Balance", kWhiteBalanceMode},
    {8226, 0, 0, 0, "Object Distance [mm]", nullptr},
    {8244, 0, 0, 0, "Flash Distance", nullptr},
    {12288, TIFF_SHORT, 0, 0, "Record Mode", kRecordMode},
    {12289, TIFF_SHORT, 0, 0, "Self Timer", kOffOn},
    {12290, TIFF_SHORT, 0, 0, "Quality", kQuality2},
    {12291, TIFF_SHORT, 0, 0, "Focus Mode", kFocusMode3},
    {12294, 0, 0, 0, "Time Zone", nullptr},
    {12295, TIFF_SHORT, 0, 0, "Bestshot Mode", kOffOn},
    {12308, 0, 0, 0, "CCD ISO Sensitivity", nullptr},
    {12309, TIFF_SHORT, 0, 0, "Colour Mode", kColourMode},
    {12310, TIFF_SHORT, 0, 0, "Enhancement", kEnhancement},
    {12311, TIFF_SHORT, 0, 0, "Filter", kFilter},
};

}  // namespace

void DecodeCasioNote(const MakerNoteSource& source) {
  static const char kType2Signature[6] = {'Q', 'V', 'C', 0, 0, 0};
  if (source.StartsWith(kType2Signature, 6, false))
    WalkMakerDirectory(source, 0, source.note + 6, MakeTable(kType2Rows), true, nullptr);
  else
    WalkMakerDirectory(source, 0, source.note, MakeTable(kType1Rows), source.tiff.bigEndian,
                       nullptr);
}
