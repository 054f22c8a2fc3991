// The EXIF rows of the real camera files of the corpus against exiftool.
// Each compared tag is listed below with how our text relates to exiftool's
// value: raw numbers (-n) where our text is a formatted number, exiftool's
// printed text where ours is a text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imagelib/metadata/exif_reader.h"
#include "platform/text/codepage.h"
#include "tests/imagelib/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_fixtures;
using testing_support::HaveTool;
using testing_support::ReadFileBytes;

enum class How {
  kText,          // same text as exiftool prints (trailing blanks ignored)
  kNamedNumber,   // "name (n)": n is exiftool's raw number
  kInteger,       // our decimal is exiftool's raw number (its first, for lists)
  kFraction,      // our reduced fraction equals exiftool's raw number
  kSeconds,       // "1/N" with N = int(1/v + 0.5), or v with two decimals
  kOneDecimal,    // a number with one decimal: within 0.05 of exiftool's
  kFStop,         // "F%.1f" of exiftool's raw aperture
  kTrimmedFloat,  // "%.6f" without trailing zeros
  kRounded,       // exiftool's raw number rounded to an integer
  kFlash,         // "Flash fired" for odd values, "No flash" when bits 0-1 are clear
  kResolutionUnit,  // Inch 2, Centimeter 3, else the number
  kColourSpace,   // sRGB 1, Uncalibrated 65535, else the number
  kVersion,       // "02.20" for exiftool's "0220"
  kComponents,    // YCbCr for "1 2 3 0", RGB uncompressed for "4 5 6 0"
  kFileSource,    // DSC for 3
  kSceneType,     // the directly-photographed text for 1
  kCoordinate,    // D° M' S" as decimal degrees against exiftool's raw degrees
  kReference,     // North/South/East/West as exiftool prints them
  kGpsVersion,    // "2.2.0.0" for "2 2 0 0"
  kAltitudeRef,   // Sea Level for 0
};

struct Check {
  int group;
  int tag;           // 0 for GPS rows, found by name
  const char* name;  // our display name (GPS rows)
  const char* tool;  // exiftool's group:tag
  How how;
  bool required;     // a row must exist whenever exiftool shows the tag
};

// The thumbnail rows are not required: a thumbnail directory linked from a
// position before IFD0 is not followed (links must point forward).

const Check kChecks[] = {
    {1, 271, "", "IFD0:Make", How::kText, true},
    {1, 272, "", "IFD0:Model", How::kText, true},
    {1, 306, "", "IFD0:ModifyDate", How::kText, true},
    {1, 274, "", "IFD0:Orientation", How::kNamedNumber, true},
    {1, 282, "", "IFD0:XResolution", How::kFraction, true},
    {1, 283, "", "IFD0:YResolution", How::kFraction, true},
    {1, 296, "", "IFD0:ResolutionUnit", How::kResolutionUnit, true},
    {1, 305, "", "IFD0:Software", How::kText, false},
    {1, 315, "", "IFD0:Artist", How::kText, false},
    {1, 270, "", "IFD0:ImageDescription", How::kText, false},
    {1, 531, "", "IFD0:YCbCrPositioning", How::kNamedNumber, true},
    {2, 33434, "", "ExifIFD:ExposureTime", How::kSeconds, true},
    {2, 33437, "", "ExifIFD:FNumber", How::kOneDecimal, true},
    {2, 34850, "", "ExifIFD:ExposureProgram", How::kNamedNumber, true},
    {2, 34855, "", "ExifIFD:ISO", How::kInteger, true},
    {2, 36864, "", "ExifIFD:ExifVersion", How::kVersion, false},
    {2, 36867, "", "ExifIFD:DateTimeOriginal", How::kText, true},
    {2, 36868, "", "ExifIFD:CreateDate", How::kText, true},
    {2, 37121, "", "ExifIFD:ComponentsConfiguration", How::kComponents, false},
    {2, 37122, "", "ExifIFD:CompressedBitsPerPixel", How::kFraction, true},
    {2, 37377, "", "ExifIFD:ShutterSpeedValue", How::kSeconds, true},
    {2, 37378, "", "ExifIFD:ApertureValue", How::kFStop, true},
    {2, 37379, "", "ExifIFD:BrightnessValue", How::kFraction, true},
    {2, 37380, "", "ExifIFD:ExposureCompensation", How::kFraction, true},
    {2, 37381, "", "ExifIFD:MaxApertureValue", How::kFStop, true},
    {2, 37382, "", "ExifIFD:SubjectDistance", How::kRounded, false},
    {2, 37383, "", "ExifIFD:MeteringMode", How::kNamedNumber, true},
    {2, 37384, "", "ExifIFD:LightSource", How::kNamedNumber, true},
    {2, 37385, "", "ExifIFD:Flash", How::kFlash, false},
    {2, 37386, "", "ExifIFD:FocalLength", How::kTrimmedFloat, true},
    {2, 37520, "", "ExifIFD:SubSecTime", How::kText, false},
    {2, 37521, "", "ExifIFD:SubSecTimeOriginal", How::kText, false},
    {2, 37522, "", "ExifIFD:SubSecTimeDigitized", How::kText, false},
    {2, 40960, "", "ExifIFD:FlashpixVersion", How::kVersion, false},
    {2, 40961, "", "ExifIFD:ColorSpace", How::kColourSpace, true},
    {2, 40962, "", "ExifIFD:ExifImageWidth", How::kInteger, true},
    {2, 40963, "", "ExifIFD:ExifImageHeight", How::kInteger, true},
    {2, 41486, "", "ExifIFD:FocalPlaneXResolution", How::kFraction, true},
    {2, 41487, "", "ExifIFD:FocalPlaneYResolution", How::kFraction, true},
    {2, 41488, "", "ExifIFD:FocalPlaneResolutionUnit", How::kNamedNumber, true},
    {2, 41495, "", "ExifIFD:SensingMethod", How::kNamedNumber, true},
    {2, 41728, "", "ExifIFD:FileSource", How::kFileSource, false},
    {2, 41729, "", "ExifIFD:SceneType", How::kSceneType, false},
    {2, 41985, "", "ExifIFD:CustomRendered", How::kNamedNumber, true},
    {2, 41986, "", "ExifIFD:ExposureMode", How::kNamedNumber, true},
    {2, 41987, "", "ExifIFD:WhiteBalance", How::kNamedNumber, true},
    {2, 41988, "", "ExifIFD:DigitalZoomRatio", How::kFraction, true},
    {2, 41989, "", "ExifIFD:FocalLengthIn35mmFormat", How::kInteger, true},
    {2, 41990, "", "ExifIFD:SceneCaptureType", How::kNamedNumber, true},
    {2, 41991, "", "ExifIFD:GainControl", How::kNamedNumber, true},
    {2, 41992, "", "ExifIFD:Contrast", How::kNamedNumber, true},
    {2, 41993, "", "ExifIFD:Saturation", How::kNamedNumber, true},
    {2, 41994, "", "ExifIFD:Sharpness", How::kNamedNumber, true},
    {2, 41996, "", "ExifIFD:SubjectDistanceRange", How::kNamedNumber, true},
    {2, 42016, "", "ExifIFD:ImageUniqueID", How::kText, false},
    {8, 259, "", "IFD1:Compression", How::kInteger, false},
    {8, 282, "", "IFD1:XResolution", How::kFraction, false},
    {8, 283, "", "IFD1:YResolution", How::kFraction, false},
    {8, 296, "", "IFD1:ResolutionUnit", How::kResolutionUnit, false},
    {8, 514, "", "IFD1:ThumbnailLength", How::kInteger, false},
    {16, 0, "Version ID", "GPS:GPSVersionID", How::kGpsVersion, true},
    {16, 0, "Latitude Ref", "GPS:GPSLatitudeRef", How::kReference, true},
    {16, 0, "Latitude", "GPS:GPSLatitude", How::kCoordinate, true},
    {16, 0, "Longitude Ref", "GPS:GPSLongitudeRef", How::kReference, true},
    {16, 0, "Longitude", "GPS:GPSLongitude", How::kCoordinate, true},
    {16, 0, "Haltitude Ref", "GPS:GPSAltitudeRef", How::kAltitudeRef, false},
    {16, 0, "Haltitude", "GPS:GPSAltitude", How::kFraction, true},
    {16, 0, "Map Datum", "GPS:GPSMapDatum", How::kText, false},
    {16, 0, "Date Stamp", "GPS:GPSDateStamp", How::kText, false},
    {16, 0, "Satellites", "GPS:GPSSatellites", How::kText, false},
};

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

bool ParseDouble(const std::string& text, double* value) {
  char* end = nullptr;
  *value = strtod(text.c_str(), &end);
  return end != text.c_str();
}

// Our reduced fraction, or a plain number, as a double.
bool FractionValue(const std::string& text, double* value) {
  double a, b;
  size_t slash = text.find('/');
  if (slash == std::string::npos) return ParseDouble(text, value);
  if (!ParseDouble(text.substr(0, slash), &a) || !ParseDouble(text.substr(slash + 1), &b) ||
      b == 0)
    return false;
  *value = a / b;
  return true;
}

bool Near(double a, double b, double tolerance) {
  return std::fabs(a - b) <= tolerance * std::max(1.0, std::fabs(b));
}

// Why our text disagrees with exiftool's, or "" when it agrees.
std::string Compare(const Check& check, const std::string& ours, const std::string& raw,
                    const std::string& printed) {
  double v = 0, x = 0;
  bool haveRaw = ParseDouble(raw, &v);
  switch (check.how) {
    case How::kText:
      if (ours.size() == 255)  // texts are cut at 255 characters
        return Trim(printed).compare(0, 255, ours) == 0 ? "" : "text prefix";
      return Trim(ours) == Trim(printed) ? "" : "text";
    case How::kNamedNumber: {
      size_t open = ours.rfind('(');
      if (open == std::string::npos || !haveRaw) return "named number";
      return atoll(ours.c_str() + open + 1) == (long long)v ? "" : "number";
    }
    case How::kInteger:
      return haveRaw && ParseDouble(ours, &x) && x == std::floor(v) ? "" : "integer";
    case How::kFraction:
      if (ours == "0") return !haveRaw || v == 0 ? "" : "zero";  // 0/0 is "undef" to exiftool
      if (ours.size() >= 2 && ours.compare(ours.size() - 2, 2, "/0") == 0)
        return "";  // exiftool shows undefined for a zero denominator
      return haveRaw && FractionValue(ours, &x) && Near(x, v, 1e-6) ? "" : "fraction";
    case How::kSeconds: {
      if (!haveRaw) return "no raw";
      if (ours.rfind("1/", 0) == 0)
        return atoll(ours.c_str() + 2) == (long long)(1.0 / v + 0.5) ? "" : "1/N";
      return ParseDouble(ours, &x) && std::fabs(x - v) <= 0.0051 ? "" : "seconds";
    }
    case How::kOneDecimal:
      return haveRaw && ParseDouble(ours, &x) && std::fabs(x - v) <= 0.0501 ? "" : "one decimal";
    case How::kFStop:
      return haveRaw && ours[0] == 'F' && ParseDouble(ours.substr(1), &x) &&
                     std::fabs(x - v) <= 0.0501
                 ? ""
                 : "f-stop";
    case How::kTrimmedFloat:
      return haveRaw && ParseDouble(ours, &x) && Near(x, v, 1e-6) ? "" : "float";
    case How::kRounded:
      return haveRaw && ParseDouble(ours, &x) && std::fabs(x - v) <= 0.5 ? "" : "rounded";
    case How::kFlash: {
      long long f = (long long)v;
      if (f & 1) return ours == "Flash fired" ? "" : "fired";
      if ((f & 3) == 0) return ours == "No flash" ? "" : "not fired";
      return "unexpected row";
    }
    case How::kResolutionUnit:
      if (ours == "Inch") return v == 2 ? "" : "inch";
      if (ours == "Centimeter") return v == 3 ? "" : "cm";
      return ParseDouble(ours, &x) && x == v ? "" : "unit";
    case How::kColourSpace:
      if (ours == "sRGB") return v == 1 ? "" : "sRGB";
      if (ours == "Uncalibrated") return v == 65535 ? "" : "uncalibrated";
      return ParseDouble(ours, &x) && x == v ? "" : "colour space";
    case How::kVersion: {
      std::string joined;
      for (char c : ours)
        if (c != '.') joined += c;
      return joined == Trim(raw) ? "" : "version";
    }
    case How::kComponents:
      if (raw == "1 2 3 0") return ours == "YCbCr" ? "" : "YCbCr";
      if (raw == "4 5 6 0") return ours == "RGB uncompressed" ? "" : "RGB";
      return "";
    case How::kFileSource:
      return (v == 3) == (ours == "DSC") ? "" : "file source";
    case How::kSceneType:
      return (v == 1) == (ours == "A directly photographed image") ? "" : "scene type";
    case How::kCoordinate: {
      double d, m, s;
      if (sscanf(ours.c_str(), "%lf", &d) != 1) return "degrees";
      size_t degree = ours.find('\xB0');
      size_t minute = ours.find('\'');
      if (degree == std::string::npos || minute == std::string::npos) return "layout";
      if (!FractionValue(ours.substr(0, degree), &d) ||
          !FractionValue(ours.substr(degree + 2, minute - degree - 2), &m) ||
          !ParseDouble(ours.substr(minute + 2), &s))
        return "parts";
      return haveRaw && std::fabs(d + m / 60 + s / 3600 - std::fabs(v)) < 1e-5 ? "" : "coordinate";
    }
    case How::kReference:
      return ours == printed ? "" : "reference";
    case How::kGpsVersion: {
      std::string spaced = ours;
      for (char& c : spaced)
        if (c == '.') c = ' ';
      return spaced == raw ? "" : "gps version";
    }
    case How::kAltitudeRef:
      return (v == 0) == (ours == "Sea Level") ? "" : "altitude ref";
  }
  return "how";
}

TEST(ExifConformance, CameraFilesAgreeWithExiftool) {
  if (!HaveTool("exiftool")) GTEST_SKIP() << "exiftool missing";
  std::vector<std::string> files = CorpusJpegs({"exif-makernotes", "jpeg"});
  if (files.empty()) GTEST_SKIP() << "no corpus";
  auto [raw, printed] = ExiftoolRawAndPrinted(files, "-fast2 -EXIF:all");
  int compared = 0, withExif = 0;
  std::map<std::string, int> perTag;
  for (const std::string& file : files) {
    BlockList list;
    AddJpegMetadata(ReadFileBytes(file), &list);
    if (!HasExif(list.head())) continue;
    bool ok = false;
    std::vector<ExifRow> rows = ExifRows(list.head(), &ok);
    if (!ok) continue;
    ++withExif;
    for (const Check& check : kChecks) {
      auto r = raw[file].find(check.tool);
      auto p = printed[file].find(check.tool);
      if (r == raw[file].end() || p == printed[file].end()) continue;
      std::string ours = Find(rows, check.group, check.tag, check.name);
      if (ours == "<none>") {
        EXPECT_FALSE(check.required) << file << ": no row for " << check.tool;
        continue;
      }
      std::string why = Compare(check, ours, r->second, platform::Cp1252FromWide(
                                                             platform::WideFromUtf8(p->second)));
      EXPECT_EQ(why, "") << file << " " << check.tool << ": ours \"" << ours << "\", exiftool \""
                         << r->second << "\" / \"" << p->second << "\"";
      ++compared;
      ++perTag[check.tool];
    }
  }
  EXPECT_GT(withExif, 40);
  EXPECT_GT(compared, 500);
  for (const char* key : {"IFD0:Make", "IFD0:Model", "ExifIFD:ExposureTime", "ExifIFD:FNumber",
                          "ExifIFD:ISO", "ExifIFD:FocalLength", "ExifIFD:Flash",
                          "IFD0:Orientation", "GPS:GPSLatitude", "GPS:GPSLongitude",
                          "ExifIFD:DateTimeOriginal", "IFD0:ModifyDate"})
    EXPECT_GT(perTag[key], 0) << key << " was never compared";
}

}  // namespace
