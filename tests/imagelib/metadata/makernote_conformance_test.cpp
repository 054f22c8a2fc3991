// Maker notes of the corpus camera files against exiftool: for every row
// whose setting has a value name both here and in exiftool, the same
// setting is named; text settings show the same text.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "imagelib/metadata/exif_reader.h"
#include "platform/text/codepage.h"
#include "tests/imagelib/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_fixtures;
using testing_support::CorpusDir;
using testing_support::HaveTool;
using testing_support::ListFiles;
using testing_support::ReadFileBytes;

struct Mapping {
  const char* ours;
  const char* tool;  // exiftool's group:tag
  bool text;         // a text setting: compared with exiftool's raw text
};

// Our row names by maker group, and exiftool's tag for the same setting.
const std::map<std::string, std::vector<Mapping>> kMappings = {
    {"Canon",
     {{"Macro", "Canon:MacroMode", false},
      {"SelfTimer", "Canon:SelfTimer", false},
      {"Compression setting", "Canon:Quality", false},
      {"Flash mode", "Canon:CanonFlashMode", false},
      {"Drive mode", "Canon:ContinuousDrive", false},
      {"Focus Mode", "Canon:FocusMode", false},
      {"Image size", "Canon:CanonImageSize", false},
      {"Easy shooting", "Canon:EasyMode", false},
      {"Contrast", "Canon:Contrast", false},
      {"Saturation", "Canon:Saturation", false},
      {"Sharpness", "Canon:Sharpness", false},
      {"ISO value", "Canon:CameraISO", false},
      {"Metering mode", "Canon:MeteringMode", false},
      {"Focus type", "Canon:FocusRange", false},
      {"AF point", "Canon:AFPoint", false},
      {"Exposure mode", "Canon:CanonExposureMode", false},
      {"White balance", "Canon:WhiteBalance", false},
      {"Owner name", "Canon:OwnerName", true},
      {"Firmware version", "Canon:CanonFirmwareVersion", true},
      {"Picture info", "Canon:CanonImageType", true}}},
    {"Olympus",
     {{"Compression setting", "Olympus:Quality", false},
      {"Macro Mode", "Olympus:Macro", false},
      {"Firmware version", "Olympus:CameraType", true}}},
    {"FujiFilm",
     {{"Sharpness", "FujiFilm:Sharpness", false},
      {"White balance", "FujiFilm:WhiteBalance", false},
      {"Chroma Saturation", "FujiFilm:Saturation", false},
      {"Contrast", "FujiFilm:Contrast", false},
      {"Flash mode", "FujiFilm:FujiFlashMode", false},
      {"Macro Mode", "FujiFilm:Macro", false},
      {"Focus Mode", "FujiFilm:FocusMode", false},
      {"Slow Synchro Mode", "FujiFilm:SlowSync", false},
      {"Picture Mode", "FujiFilm:PictureMode", false},
      {"Continuous/Bracketing Mode", "FujiFilm:AutoBracketing", false},
      {"Blur Status", "FujiFilm:BlurWarning", false},
      {"Focus Status", "FujiFilm:FocusWarning", false},
      {"Exposure Status", "FujiFilm:ExposureWarning", false},
      {"Quality Setting", "FujiFilm:Quality", true}}},
    {"Nikon",
     {{"Image Quality", "Nikon:Quality", false},
      {"Color Mode", "Nikon:ColorMode", false},
      {"Image Adjustement", "Nikon:ImageAdjustment", false},
      {"CCD Sensitivity", "Nikon:CCDSensitivity", false},
      {"White balance", "Nikon:WhiteBalance", false},
      {"Lens Adapter", "Nikon:Converter", false},
      {"Flash mode", "Nikon:FlashMode", false},
      {"Image Sharpening", "Nikon:Sharpness", true},
      {"Focus Mode", "Nikon:FocusMode", true},
      {"ISO Selection", "Nikon:ISOSelection", true},
      {"Noise Reduction", "Nikon:NoiseReduction", true},
      {"Serial Number", "Nikon:SerialNumber", true},
      {"Shutter Count", "Nikon:ShutterCount", true}}},
    {"Casio",
     {{"Recording Mode", "Casio:RecordingMode", false},
      {"Quality Setting", "Casio:Quality", false},
      {"Focus Mode", "Casio:FocusMode", false},
      {"Flash mode", "Casio:FlashMode", false},
      {"Flash intensity", "Casio:FlashIntensity", false},
      {"White balance", "Casio:WhiteBalance", false},
      {"Digital Zoom", "Casio:DigitalZoom", false},
      {"Sharpness", "Casio:Sharpness", false},
      {"Contrast", "Casio:Contrast", false},
      {"Saturation", "Casio:Saturation", false},
      {"CCD Sensitivity", "Casio:ISO", false},
      {"Quality Mode", "Casio:Quality", false},
      {"Image Size", "Casio:CasioImageSize", false},
      {"Iso Sensitivity", "Casio:ISO", false},
      {"White Balance", "Casio:WhiteBalance", false},
      {"White Balance", "Casio:WhiteBalance2", false},
      {"Record Mode", "Casio:RecordMode", false},
      {"Self Timer", "Casio:SelfTimer", false},
      {"Quality", "Casio:Quality", false},
      {"Bestshot Mode", "Casio:BestShotMode", false},
      {"Colour Mode", "Casio:ColorMode", false},
      {"Enhancement", "Casio:Enhancement", false},
      {"Filter", "Casio:ColorFilter", false}}},
    {"Minolta",
     {{"Version", "Minolta:MakerNoteVersion", true},
      {"Color Mode", "Minolta:ColorMode", false},
      {"Minolta Quality", "Minolta:MinoltaQuality", false}}},
    {"Sigma",
     {{"Serial Number", "Sigma:SerialNumber", true},
      {"Drive mode", "Sigma:DriveMode", true},
      {"Resolution Mode", "Sigma:ResolutionMode", true},
      {"AF Mode", "Sigma:AFMode", true},
      {"Focus Setting", "Sigma:FocusSetting", true},
      {"White balance", "Sigma:WhiteBalance", true},
      {"Exposure mode", "Sigma:ExposureMode", true},
      {"Metering mode", "Sigma:MeteringMode", true},
      {"Color Space", "Sigma:ColorSpace", true},
      {"Software", "Sigma:Software", true}}},
    {"Sanyo",
     {{"Quality", "Sanyo:SanyoQuality", false},
      {"Macro", "Sanyo:Macro", false},
      {"Sequential Shot", "Sanyo:SequentialShot", false},
      {"Wide Range", "Sanyo:WideRange", false},
      {"Color Adjustment Mode", "Sanyo:ColorAdjustmentMode", false},
      {"QuickShot", "Sanyo:QuickShot", false},
      {"Self Timer", "Sanyo:SelfTimer", false},
      {"Voice Memo", "Sanyo:VoiceMemo", false},
      {"Record Shutter Release", "Sanyo:RecordShutterRelease", false},
      {"Flicker Reduce", "Sanyo:FlickerReduce", false},
      {"Optical Zoom", "Sanyo:OpticalZoomOn", false},
      {"Digital Zoom", "Sanyo:DigitalZoomOn", false},
      {"Light Source Special", "Sanyo:LightSourceSpecial", false},
      {"Resaved", "Sanyo:Resaved", false},
      {"Scene Select", "Sanyo:SceneSelect", false},
      {"Sequence Shot Interval", "Sanyo:SequenceShotInterval", false},
      {"Flash mode", "Sanyo:FlashMode", false}}},
};

// Names our tables take from the makers' documentation where exiftool words
// the same setting differently.
const std::map<std::string, std::string> kSameSetting = {
    {"Sunny", "Daylight"},
    {"Daylight Color Fluorescence", "Daylight Fluorescent"},
    {"Daywhite Color Fluorescence", "Day White Fluorescent"},
    {"High", "+1"},
    {"Low", "-1"},
};

// exiftool words some names with a qualifier: "0 (normal)", "SQ (Low)".
bool SameName(const std::string& ours, const std::string& theirs) {
  if (ours == theirs) return true;
  size_t at = theirs.find(ours);
  if (at == std::string::npos) return false;
  bool startOk = at == 0 || theirs[at - 1] == '(' || theirs[at - 1] == ' ';
  size_t end = at + ours.size();
  bool endOk = end == theirs.size() || theirs[end] == ')' || theirs[end] == ' ';
  return startOk && endOk;
}

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  size_t start = 0;
  while (start < s.size() && s[start] == ' ') ++start;
  return s.substr(start);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  return s;
}

std::vector<std::string> Split(const std::string& all) {
  std::vector<std::string> out;
  size_t at = 0;
  for (;;) {
    size_t end = all.find('\x1f', at);
    out.push_back(all.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

TEST(MakerNoteConformance, NamedSettingsAgreeWithExiftool) {
  std::string folder = CorpusDir("exif-makernotes");
  if (folder.empty()) GTEST_SKIP() << "no corpus";
  if (!HaveTool("exiftool")) GTEST_SKIP() << "exiftool missing";
  std::vector<std::string> files = ListFiles(folder, ".jpg");
  auto [raw, printed] = ExiftoolRawAndPrinted(files, "-MakerNotes:all");
  std::set<std::string> makersCompared;
  int compared = 0;
  for (const std::string& file : files) {
    BlockList list;
    AddJpegMetadata(ReadFileBytes(file), &list);
    std::vector<ExifRow> rows = MakerRows(ExifRows(list.head()));
    for (const ExifRow& row : rows) {
      // No control characters leak into a maker row.
      for (char c : row.value) EXPECT_GE((unsigned char)c, 0x20) << file << " " << row.name;
      EXPECT_LE(row.value.size(), 255u);
    }
    for (const auto& [maker, mappings] : kMappings) {
      for (const Mapping& m : mappings) {
        auto r = raw[file].find(std::string("+") + m.tool);
        auto p = printed[file].find(std::string("+") + m.tool);
        if (r == raw[file].end() || p == printed[file].end()) continue;
        std::vector<std::string> raws = Split(r->second), prints = Split(p->second);
        for (const ExifRow& row : rows) {
          if (row.name != m.ours) continue;
          std::string ours = platform::Utf8FromCp1252(row.value);
          bool agrees = false, comparable = false;
          for (size_t k = 0; k < raws.size() && k < prints.size(); ++k) {
            if (m.text) {
              comparable = true;
              agrees |= Trim(ours) == Trim(raws[k]);
              continue;
            }
            // Only settings that have a value name on both sides.
            if (prints[k] == raws[k] || Trim(ours) == Trim(raws[k]) || ours == "Unknown" ||
                ours.find('/') != std::string::npos)
              continue;
            comparable = true;
            std::string theirs = Lower(prints[k]);
            auto alias = kSameSetting.find(ours);
            agrees |= SameName(Lower(ours), theirs) ||
                      (alias != kSameSetting.end() && SameName(Lower(alias->second), theirs));
          }
          if (!comparable) continue;
          EXPECT_TRUE(agrees) << file << ": " << row.name << " = \"" << ours << "\", exiftool "
                              << m.tool << " = \"" << p->second << "\" (raw \"" << r->second
                              << "\")";
          ++compared;
          makersCompared.insert(maker);
        }
      }
    }
  }
  EXPECT_GT(compared, 80);
  for (const char* maker : {"Canon", "Olympus", "FujiFilm", "Nikon", "Casio", "Minolta", "Sigma",
                            "Sanyo"})
    EXPECT_TRUE(makersCompared.count(maker)) << maker << " was never compared";
}

}  // namespace
