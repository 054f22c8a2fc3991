// The tag dictionaries of the EXIF directories with their value names, and
// the lookups over dictionary rows.
#include "imagelib/metadata/exif_tables.h"

namespace {

// Value names end with the row whose text serves for unmatched values.
#define END_NAMES {-1, TEXT_UNKNOWN, nullptr}

const ValueName kOrientation[] = {
    {1, 98, nullptr},  {2, 99, nullptr},  {3, 100, nullptr}, {4, 108, nullptr},
    {5, 109, nullptr}, {6, 110, nullptr}, {7, 111, nullptr}, {8, 112, nullptr}, END_NAMES};
const ValueName kYCbCrPositioning[] = {{1, 113, nullptr}, {2, 114, nullptr}, END_NAMES};

const ValueName kExposureProgram[] = {
    {0, 115, nullptr}, {1, 116, nullptr}, {2, 117, nullptr}, {3, 118, nullptr}, {4, 119, nullptr},
    {5, 120, nullptr}, {6, 121, nullptr}, {7, 122, nullptr}, {8, 123, nullptr}, END_NAMES};
const ValueName kMeteringMode[] = {
    {0, TEXT_UNKNOWN, nullptr}, {1, 124, nullptr}, {2, 125, nullptr}, {3, 126, nullptr},
    {4, 127, nullptr},          {5, 128, nullptr}, {6, 129, nullptr}, END_NAMES};
const ValueName kLightSource[] = {
    {0, TEXT_UNKNOWN, nullptr}, {1, 130, nullptr},  {2, 131, nullptr},  {3, 132, nullptr},
    {17, 133, nullptr},         {18, 134, nullptr}, {19, 135, nullptr}, {20, 136, nullptr},
    {21, 137, nullptr},         {22, 138, nullptr}, END_NAMES};
const ValueName kFocalPlaneUnit[] = {{1, TEXT_INCH, nullptr}, {2, TEXT_INCH, nullptr},
                                     {3, 139, nullptr},       {4, 140, nullptr},
                                     {5, 141, nullptr},       END_NAMES};
const ValueName kSensingMethod[] = {
    {1, 142, nullptr}, {2, 143, nullptr}, {3, 144, nullptr}, {4, 145, nullptr},
    {5, 146, nullptr}, {6, 147, nullptr}, {7, 148, nullptr}, END_NAMES};
const ValueName kCustomRendered[] = {{0, 149, nullptr}, {1, 150, nullptr}, END_NAMES};
const ValueName kExposureMode[] = {{0, 151, nullptr}, {1, 116, nullptr}, {2, 152, nullptr},
                                   END_NAMES};
const ValueName kWhiteBalance[] = {{0, 151, nullptr}, {1, 116, nullptr}, END_NAMES};
const ValueName kSceneCapture[] = {{0, 153, nullptr}, {1, 154, nullptr}, {2, 155, nullptr},
                                   {3, 156, nullptr}, END_NAMES};
const ValueName kGainControl[] = {{0, 157, nullptr}, {1, 158, nullptr}, {2, 159, nullptr},
                                  {3, 160, nullptr}, {4, 161, nullptr}, END_NAMES};
const ValueName kSoftHard[] = {{0, 117, nullptr}, {1, 162, nullptr}, {2, 163, nullptr},
                               END_NAMES};
const ValueName kLowHigh[] = {{0, 117, nullptr}, {1, 164, nullptr}, {2, 165, nullptr},
                              END_NAMES};
const ValueName kSubjectDistanceRange[] = {{0, TEXT_UNKNOWN, nullptr}, {1, 166, nullptr},
                                           {2, 167, nullptr},          {3, 168, nullptr},
                                           END_NAMES};

const ValueName kNorthSouth[] = {{78, 200, nullptr}, {83, 201, nullptr}, END_NAMES};
const ValueName kEastWest[] = {{69, 202, nullptr}, {87, 203, nullptr}, END_NAMES};
const ValueName kAltitudeRef[] = {{0, 204, nullptr}, END_NAMES};
const ValueName kGpsStatus[] = {{65, 205, nullptr}, {86, 206, nullptr}, END_NAMES};
const ValueName kMeasureMode[] = {{2, 207, nullptr}, {3, 208, nullptr}, END_NAMES};
const ValueName kNorthReference[] = {{77, 209, nullptr}, {84, 210, nullptr}, END_NAMES};
const ValueName kDifferential[] = {{0, 211, nullptr}, {1, 212, nullptr}, END_NAMES};

#undef END_NAMES

const TagRow kMainRows[] = {
    {256, 0, 0, 1, nullptr, nullptr},   {257, 0, 0, 2, nullptr, nullptr},
    {258, 0, 0, 3, nullptr, nullptr},   {259, 0, 0, 4, nullptr, nullptr},
    {262, 0, 0, 5, nullptr, nullptr},   {266, 0, 0, 6, nullptr, nullptr},
    {269, 0, 0, 7, nullptr, nullptr},   {270, 0, 0, 8, nullptr, nullptr},
    {271, 0, 0, 9, nullptr, nullptr},   {272, 0, 0, 10, nullptr, nullptr},
    {273, 0, 0, 11, nullptr, nullptr},  {274, 0, 0, 12, nullptr, kOrientation},
    {277, 0, 0, 13, nullptr, nullptr},  {278, 0, 0, 14, nullptr, nullptr},
    {279, 0, 0, 15, nullptr, nullptr},  {282, 0, 0, 16, nullptr, nullptr},
    {283, 0, 0, 17, nullptr, nullptr},  {284, 0, 0, 18, nullptr, nullptr},
    {296, 0, 0, 19, nullptr, nullptr},  {301, 0, 0, 20, nullptr, nullptr},
    {305, 0, 0, 21, nullptr, nullptr},  {306, 0, 0, 22, nullptr, nullptr},
    {315, 0, 0, 23, nullptr, nullptr},  {318, 0, 0, 24, nullptr, nullptr},
    {319, 0, 0, 25, nullptr, nullptr},  {342, 0, 0, 26, nullptr, nullptr},
    {512, 0, 0, 27, nullptr, nullptr},  {513, 0, 0, 28, nullptr, nullptr},
    {514, 0, 0, 29, nullptr, nullptr},  {529, 0, 0, 30, nullptr, nullptr},
    {530, 0, 0, 95, nullptr, nullptr},  {531, 0, 0, 96, nullptr, kYCbCrPositioning},
    {532, 0, 0, 97, nullptr, nullptr},
};

const TagRow kExifRows[] = {
    {33421, 0, 0, 31, nullptr, nullptr}, {33422, 0, 0, 32, nullptr, nullptr},
    {33423, 0, 0, 33, nullptr, nullptr}, {33432, 0, 0, 34, nullptr, nullptr},
    {33434, 0, 0, 35, nullptr, nullptr}, {33437, 0, 0, 36, nullptr, nullptr},
    {33723, 0, 0, 37, nullptr, nullptr}, {34665, 0, 0, 38, nullptr, nullptr},
    {34675, 0, 0, 39, nullptr, nullptr}, {34850, 0, 0, 40, nullptr, kExposureProgram},
    {34852, 0, 0, 41, nullptr, nullptr}, {34853, 0, 0, 42, nullptr, nullptr},
    {34855, 0, 0, 43, nullptr, nullptr}, {34856, 0, 0, 44, nullptr, nullptr},
    {36864, 0, 0, 45, nullptr, nullptr}, {36867, 0, 0, 46, nullptr, nullptr},
    {36868, 0, 0, 47, nullptr, nullptr}, {37121, 0, 0, 48, nullptr, nullptr},
    {37122, 0, 0, 49, nullptr, nullptr}, {37377, 0, 0, 50, nullptr, nullptr},
    {37378, 0, 0, 51, nullptr, nullptr}, {37379, 0, 0, 52, nullptr, nullptr},
    {37380, 0, 0, 53, nullptr, nullptr}, {37381, 0, 0, 54, nullptr, nullptr},
    {37382, 0, 0, 55, nullptr, nullptr}, {37383, 0, 0, 56, nullptr, kMeteringMode},
    {37384, 0, 0, 57, nullptr, kLightSource}, {37385, 0, 0, 58, nullptr, nullptr},
    {37386, 0, 0, 59, nullptr, nullptr}, {37500, 0, 0, 60, nullptr, nullptr},
    {37510, 0, 0, 61, nullptr, nullptr}, {37520, 0, 0, 62, nullptr, nullptr},
    {37521, 0, 0, 63, nullptr, nullptr}, {37522, 0, 0, 64, nullptr, nullptr},
    {40960, 0, 0, 65, nullptr, nullptr}, {40961, 0, 0, 66, nullptr, nullptr},
    {40962, 0, 0, 1, nullptr, nullptr},  {40963, 0, 0, 2, nullptr, nullptr},
    {40965, 0, 0, 67, nullptr, nullptr}, {41483, 0, 0, 68, nullptr, nullptr},
    {41484, 0, 0, 69, nullptr, nullptr}, {41486, 0, 0, 70, nullptr, nullptr},
    {41487, 0, 0, 71, nullptr, nullptr}, {41488, 0, 0, 72, nullptr, kFocalPlaneUnit},
    {41492, 0, 0, 73, nullptr, nullptr}, {41493, 0, 0, 74, nullptr, nullptr},
    {41495, 0, 0, 75, nullptr, kSensingMethod}, {41728, 0, 0, 76, nullptr, nullptr},
    {41729, 0, 0, 77, nullptr, nullptr}, {41730, 0, 0, 32, nullptr, nullptr},
    {41985, 0, 0, 78, nullptr, kCustomRendered}, {41986, 0, 0, 79, nullptr, kExposureMode},
    {41987, 0, 0, 80, nullptr, kWhiteBalance}, {41988, 0, 0, 81, nullptr, nullptr},
    {41989, 0, 0, 82, nullptr, nullptr}, {41990, 0, 0, 83, nullptr, kSceneCapture},
    {41991, 0, 0, 84, nullptr, kGainControl}, {41992, 0, 0, 86, nullptr, kSoftHard},
    {41993, 0, 0, 87, nullptr, kLowHigh}, {41994, 0, 0, 88, nullptr, kSoftHard},
    {41995, 0, 0, 89, nullptr, nullptr}, {41996, 0, 0, 55, nullptr, kSubjectDistanceRange},
    {42016, 0, 0, 90, nullptr, nullptr},
};

const TagRow kInteropRows[] = {
    {1, 0, 0, 91, nullptr, nullptr},
    {2, 0, 0, 92, nullptr, nullptr},
    {4097, 0, 0, 93, nullptr, nullptr},
    {4098, 0, 0, 94, nullptr, nullptr},
};

const TagRow kGpsRows[] = {
    {0, TIFF_BYTE, 0, 169, nullptr, nullptr},
    {1, TIFF_ASCII, 0, 170, nullptr, kNorthSouth},
    {2, TIFF_RATIONAL, 0, 171, nullptr, nullptr},
    {3, TIFF_ASCII, 0, 172, nullptr, kEastWest},
    {4, TIFF_RATIONAL, 0, 173, nullptr, nullptr},
    {5, TIFF_BYTE, 0, 174, nullptr, kAltitudeRef},
    {6, TIFF_RATIONAL, 0, 175, nullptr, nullptr},
    {7, TIFF_RATIONAL, 0, 176, nullptr, nullptr},
    {8, TIFF_ASCII, 0, 177, nullptr, nullptr},
    {9, TIFF_ASCII, 0, 178, nullptr, kGpsStatus},
    {10, TIFF_ASCII, 0, 179, nullptr, kMeasureMode},
    {11, 0, 0, 180, nullptr, nullptr},
    {12, TIFF_ASCII, 0, 181, nullptr, nullptr},
    {13, TIFF_RATIONAL, 0, 182, nullptr, nullptr},
    {14, TIFF_ASCII, 0, 183, nullptr, kNorthReference},
    {15, 0, 0, 184, nullptr, nullptr},
    {16, TIFF_ASCII, 0, 185, nullptr, nullptr},
    {17, 0, 0, 186, nullptr, nullptr},
    {18, TIFF_ASCII, 0, 187, nullptr, nullptr},
    {19, TIFF_ASCII, 0, 188, nullptr, kNorthSouth},
    {20, 0, 0, 189, nullptr, nullptr},
    {21, TIFF_ASCII, 0, 190, nullptr, kEastWest},
    {22, 0, 0, 191, nullptr, nullptr},
    {23, TIFF_ASCII, 0, 192, nullptr, kNorthReference},
    {24, 0, 0, 193, nullptr, nullptr},
    {25, TIFF_ASCII, 0, 194, nullptr, nullptr},
    {26, 0, 0, 195, nullptr, nullptr},
    {27, 0, 0, 196, nullptr, nullptr},
    {28, 0, 0, 197, nullptr, nullptr},
    {29, 0, 0, 198, nullptr, nullptr},
    {30, 0, 0, 199, nullptr, kDifferential},
};

}  // namespace

const TagTable kMainDictionary = MakeTable(kMainRows);
const TagTable kExifDictionary = MakeTable(kExifRows);
const TagTable kInteropDictionary = MakeTable(kInteropRows);
const TagTable kGpsDictionary = MakeTable(kGpsRows);

const char* RowName(const TagRow& row) { return row.text ? row.text : ExifText(row.textNumber); }

const TagRow* FindRow(const TagTable& table, uint32_t tag) {
  for (size_t i = 0; i < table.count; ++i)
    if (table.rows[i].tag == tag) return &table.rows[i];
  return nullptr;
}

const char* ValueNameOf(const ValueName* names, int64_t value, bool* matched) {
  const ValueName* name = names;
  while (name->value != -1 && name->value != value) ++name;
  if (matched) *matched = name->value != -1;
  if (name->text) return name->text;
  return name->textNumber ? ExifText(name->textNumber) : "";
}

bool TypeMatches(const TagRow& row, uint16_t type) {
  if (row.type == 0 || row.type == type) return true;
  return row.type == TIFF_LONG && type == TIFF_SHORT;
}
