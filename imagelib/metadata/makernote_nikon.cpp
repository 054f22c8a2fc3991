// Nikon maker notes in their three layouts: type 1 ("Nikon", 0, 1), type 3
// ("Nikon", 0, 2 and a TIFF header of its own) and type 2 (a bare
// directory), the last two with the Nikon formatter.
#include <cstdio>
#include <cstring>

#include "imagelib/metadata/makernote_decoder.h"

namespace {

#define END_UNKNOWN {-1, TEXT_UNKNOWN, nullptr}

const ValueName kQuality[] = {{1, 0, "VGA Basic"},  {2, 0, "VGA Normal"},  {3, 0, "VGA Fine"},
                              {4, 0, "SXGA Basic"}, {5, 0, "SXGA Normal"}, {6, 0, "SXGA Fine"},
                              {10, 0, "2 Mpixel Basic"}, {11, 0, "2 Mpixel Normal"},
                              {12, 0, "2 Mpixel Fine"}, END_UNKNOWN};
const ValueName kColorMode[] = {{1, 0, "Color"}, {2, 0, "Monochrome"}, END_UNKNOWN};
const ValueName kImageAdjustment[] = {{0, 0, "Normal"},    {1, 0, "Bright+"},
                                      {2, 0, "Bright-"},   {3, 0, "Contrast+"},
                                      {4, 0, "Contrast-"}, END_UNKNOWN};
const ValueName kCcdSensitivity[] = {{0, 0, "ISO80"}, {2, 0, "ISO160"}, {4, 0, "ISO320"},
                                     {5, 0, "ISO100"}, END_UNKNOWN};
const ValueName kWhiteBalance[] = {{0, 0, "Auto"},        {1, 0, "Preset"},
                                   {2, 0, "Daylight"},    {3, 0, "Incandescent"},
                                   {4, 0, "Fluorescent"}, {5, 0, "Cloudy"},
                                   {6, 0, "Speedlight"},  END_UNKNOWN};
const ValueName kLensAdapter[] = {{0, 0, "None"}, {1, 0, "Fisheye"}, {2, 0, "Wide"},
                                  {3, 0, "Telephoto"}, END_UNKNOWN};
const ValueName kFlashMode[] = {{0, 0, "Did Not Fire"},
                                {1, 0, "Fired, Manual"},
                                {3, 0, "Not Ready"},
                                {7, 0, "Fired, External"},
                                {8, 0, "Fired, Commander Mode"},
                                {9, 0, "Fired, TTL Mode"},
                                {18, 0, "LED Light"},
                                END_UNKNOWN};

#undef END_UNKNOWN

const TagRow kType1Rows[] = {
    {3, TIFF_SHORT, 0, 0, "Image Quality", kQuality},
    {4, TIFF_SHORT, 0, 0, "Color Mode", kColorMode},
    {5, TIFF_SHORT, 0, 0, "Image Adjustement", kImageAdjustment},
    {6, TIFF_SHORT, 0, 0, "CCD Sensitivity", kCcdSensitivity},
    {7, TIFF_SHORT, 0, 0, "White balance", kWhiteBalance},
    {8, 0, 0, 0, "Focus", nullptr},
    {10, 0, 0, 0, "Digital Zoom", nullptr},
    {11, TIFF_SHORT, 0, 0, "Lens Adapter", kLensAdapter},
    {65535, 0, 0, 0, "Nikon Unknown", nullptr},
};

const TagRow kType23Rows[] = {
    {1, 0, 0, 0, "Data version", nullptr},
    {2, 0, 0, 0, "ISO Setting", nullptr},
    {3, 0, 0, 0, "Color Mode", nullptr},
    {4, 0, 0, 0, "Image Quality", nullptr},
    {5, 0, 0, 0, "White balance", nullptr},
    {6, 0, 0, 0, "Image Sharpening", nullptr},
    {7, 0, 0, 0, "Focus Mode", nullptr},
    {8, 0, 0, 0, "Flash Setting", nullptr},
    {11, 0, 0, 0, "White Balance Fine Tune", nullptr},
    {15, 0, 0, 0, "ISO Selection", nullptr},
    {19, 0, 0, 0, "ISO setting", nullptr},
    {22, 0, 0, 0, "Image Boundary", nullptr},
    {128, 0, 0, 0, "Image Adjustement", nullptr},
    {129, 0, 0, 0, "Tone Compensation", nullptr},
    {130, 0, 0, 0, "Lens Adapter", nullptr},
    {131, 0, 0, 0, "Lens type", nullptr},
    {132, 0, 0, 0, "Lens", nullptr},
    {133, 0, 0, 0, "Focus Distance", nullptr},
    {134, 0, 0, 0, "Digital Zoom", nullptr},
    {135, 0, 0, 0, "Flash mode", kFlashMode},
    {136, 0, 0, 0, "AF Point", nullptr},
    {141, 0, 0, 0, "Color hue", nullptr},
    {143, 0, 0, 0, "Scene mode", nullptr},
    {144, 0, 0, 0, "Light source", nullptr},
    {146, 0, 0, 0, "Hue Adjustment", nullptr},
    {148, 0, 0, 0, "Saturation", nullptr},
    {149, 0, 0, 0, "Noise Reduction", nullptr},
    {152, 0, 0, 0, "LensID", nullptr},
    {160, 0, 0, 0, "Serial Number", nullptr},
    {167, 0, 0, 0, "Shutter Count", nullptr},
    {169, 0, 0, 0, "Image Optimization", nullptr},
    {170, 0, 0, 0, "Saturation", nullptr},
    {171, 0, 0, 0, "Vari Program", nullptr},
};

struct AfPointName {
  uint32_t value;
  const char* text;
};
const AfPointName kAfPoints[] = {
    {0, "Center"},
    {1, "Single Area, Center"},
    {256, "Top"},
    {512, "Bottom"},
    {768, "Left"},
    {1024, "Right"},
    {0x10002, "Single Area, Top"},
    {0x20004, "Single Area, Bottom"},
    {0x30008, "Single Area, Left"},
    {0x40010, "Single Area, Right"},
    {0x1000001, "Dynamic Area, Center"},
    {0x1010002, "Dynamic Area, Top"},
    {0x1020004, "Dynamic Area, Bottom"},
    {0x1030008, "Dynamic Area, Left"},
    {0x1040010, "Dynamic Area, Right"},
    {0x2000001, "Closest Subject, Center"},
    {0x2010002, "Closest Subject, Top"},
    {0x2020004, "Closest Subject, Bottom"},
    {0x2030008, "Closest Subject, Left"},
    {0x2040010, "Closest Subject, Right"},
};

bool FormatNikonEntry(const TiffEntry& entry, const TagRow& row, char* out) {
  switch (row.tag) {
    case 133:    // focus distance
    case 134: {  // digital zoom
      if (entry.size < 8) return false;
      uint32_t a = Read32(entry.value, entry.bigEndian);
      uint32_t b = Read32(entry.value + 4, entry.bigEndian);
      if (a == b) {
        snprintf(out, kTextSize, "%s", ExifText(row.tag == 133 ? TEXT_NOT_APPLICABLE : TEXT_OFF));
      } else if (b == 0) {
        return false;
      } else if (row.tag == 133) {
        snprintf(out, kTextSize, "x%.1f m", (double)a / b);
      } else {
        snprintf(out, kTextSize, "x%.1f", (double)a / b);
      }
      return true;
    }
    case 136: {  // AF point: a known code, or no text
      out[0] = 0;
      if (entry.size < 4) return true;
      uint32_t value = Read32(entry.value, entry.bigEndian);
      for (const AfPointName& name : kAfPoints)
        if (name.value == value) snprintf(out, kTextSize, "%s", name.text);
      return true;
    }
    case 152: {  // lens data: the bytes from the seventh on, in hexadecimal
      size_t at = 0;
      out[at++] = '(';
      for (uint64_t i = 6; i < entry.size && i < 6 + 128; ++i) {
        if (at + 4 >= kTextSize) break;
        at += (size_t)snprintf(out + at, kTextSize - at, "%x ", entry.value[i]);
      }
      out[at++] = ')';
      out[at] = 0;
      return true;
    }
    default: return false;
  }
}

}  // namespace

void DecodeNikonNote(const MakerNoteSource& source) {
  const TiffData& tiff = source.tiff;
  if (!source.StartsWith("Nikon", 5, true)) {
    WalkMakerDirectory(source, 0, source.note, MakeTable(kType23Rows), tiff.bigEndian,
                       FormatNikonEntry);
    return;
  }
  if (source.size < 7 || source.Bytes()[5] != 0) return;
  uint8_t version = source.Bytes()[6];
  if (version == 1) {
    WalkMakerDirectory(source, 0, source.note + 8, MakeTable(kType1Rows), tiff.bigEndian,
                       nullptr);
  } else if (version == 2) {
    if (source.size < 18) return;
    const uint8_t* header = source.Bytes() + 10;
    bool bigEndian;
    if (header[0] == 'M' && header[1] == 'M')
      bigEndian = true;
    else if (header[0] == 'I' && header[1] == 'I')
      bigEndian = false;
    else
      return;
    if (Read16(header + 2, bigEndian) != 42) return;
    uint64_t base = source.note + 10;
    WalkMakerDirectory(source, base, base + Read32(header + 4, bigEndian),
                       MakeTable(kType23Rows), bigEndian, FormatNikonEntry);
  }
}
