// The maker-note decoders on hand-built notes: each maker's layout, its
// value names and formatters, and malformed notes that must give fewer rows
// without reading outside the block.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "imagelib/metadata/exif_reader.h"
#include "tests/imagelib/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_fixtures;

// The maker rows of a camera block, as "name=value".
std::vector<std::string> NoteRows(const Bytes& block) {
  std::vector<std::string> out;
  bool started = false;
  for (const ExifRow& r : ExifRowsOf(block)) {
    if (r.group != EXIF_GROUP_MAKERNOTES) continue;
    if (r.heading) {
      EXPECT_FALSE(started) << "one Makernotes group";
      EXPECT_EQ(r.name, "Makernotes");
      started = true;
      continue;
    }
    EXPECT_EQ(r.tag, 0);
    out.push_back(r.name + "=" + r.value);
  }
  EXPECT_TRUE(started);
  return out;
}

bool Has(const std::vector<std::string>& rows, const std::string& row) {
  return std::find(rows.begin(), rows.end(), row) != rows.end();
}

// Every wanted "name=value" row is among the rows.
void ExpectRows(const std::vector<std::string>& rows, const std::vector<std::string>& wanted) {
  for (const std::string& w : wanted) EXPECT_TRUE(Has(rows, w)) << w;
}

// A note at `at` in the TIFF data: a signature, then a directory whose
// offsets count from the TIFF data.
Bytes SignedNote(const Bytes& signature, const std::vector<NoteEntry>& entries, bool be,
                 uint32_t at) {
  return Join({signature, NoteDirectory(entries, be, at + (uint32_t)signature.size(), 0)});
}

// `count` zero elements but for some (index, value) pairs.
std::vector<int64_t> Elements(size_t count, const std::vector<std::pair<size_t, int64_t>>& set) {
  std::vector<int64_t> out(count, 0);
  for (const auto& [index, value] : set) out[index] = value;
  return out;
}

// ---- Canon -------------------------------------------------------------------

Bytes CanonBlock(bool be, const std::vector<NoteEntry>& entries) {
  return CameraBlock("Canon", be, [&](uint32_t at) { return NoteDirectory(entries, be, at, 0); });
}

class CanonNote : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Orders, CanonNote, ::testing::Values(false, true));

TEST_P(CanonNote, CameraSettingsShotInfoAndTexts) {
  bool be = GetParam();
  // Camera settings (element 0 is the array's size in bytes): macro, red-eye
  // reduction, low contrast, high saturation, ISO 100, evaluative, 35 mm.
  std::vector<int64_t> settings =
      Elements(25, {{0, 50}, {1, 1}, {4, 3}, {13, 65535}, {14, 1}, {16, 17}, {17, 3}, {23, 35}});
  std::vector<int64_t> shot = Elements(8, {{0, 8}, {7, 2}});  // cloudy
  Bytes block = CanonBlock(
      be, {NoteInts(1, Short(settings), be), NoteInts(4, Short(shot), be),
           NoteRaw(6, Ascii(std::string("IMG:PowerShot JPEG") + std::string(13, '\0'))),
           NoteInts(8, Long({1234567}), be),
           NoteRaw(9, Ascii(std::string("Owner") + std::string(26, '\0')))});
  ExpectRows(NoteRows(block),
             {"Macro=Macro", "SelfTimer=Off", "Flash mode=Red-eye reduction", "Contrast=Low",
              "Saturation=High", "Sharpness=Normal", "ISO value=100",
              "Metering mode=Evaluative", "Focal length [mm]=35", "White balance=Cloudy",
              "Picture info=IMG:PowerShot JPEG", "Image number=123-4567", "Owner name=Owner"});
}

TEST_P(CanonNote, IsoAsANumberAndUnknownValues) {
  bool be = GetParam();
  // No such macro mode; a plain ISO number.
  std::vector<int64_t> settings = Elements(18, {{0, 36}, {1, 9}, {16, 0x4000 | 800}});
  ExpectRows(NoteRows(CanonBlock(be, {NoteInts(1, Short(settings), be)})),
             {"ISO value=800", "Macro=Unknown"});
  settings[16] = 15;
  ExpectRows(NoteRows(CanonBlock(be, {NoteInts(1, Short(settings), be)})), {"ISO value=Auto"});
}

TEST_P(CanonNote, ArraysStopAtTheirOwnEnd) {
  bool be = GetParam();
  // The first element claims 200 elements but the entry holds 6.
  Bytes block = CanonBlock(be, {NoteInts(1, Short({400, 1, 0, 3, 0, 1}), be)});
  EXPECT_EQ(NoteRows(block),
            (std::vector<std::string>{"Macro=Macro", "SelfTimer=Off", "Compression setting=Fine",
                                      "Flash mode=Off", "Drive mode=Continuous"}));
}

TEST(CanonNoteLayout, DirectoryThatDoesNotFitGivesNoRows) {
  // Eight entries claimed in a note of 30 bytes.
  Bytes note = {8, 0};
  note.resize(30, 0);
  Bytes block = CameraBlock("Canon", false, [&](uint32_t) { return note; });
  EXPECT_TRUE(NoteRows(block).empty());
}

// ---- Nikon -------------------------------------------------------------------

Bytes NikonType3(bool innerBe, const std::vector<NoteEntry>& entries, const Bytes& header = {}) {
  return CameraBlock("NIKON CORPORATION", false, [&](uint32_t) {
    Bytes tiffHeader = header;
    if (tiffHeader.empty()) {
      tiffHeader = innerBe ? Bytes{'M', 'M', 0, 42} : Bytes{'I', 'I', 42, 0};
      Put(tiffHeader, 8, 4, innerBe);
    }
    return Join({Text("Nikon"), {0, 2, 0x10, 0, 0}, tiffHeader,
                 NoteDirectory(entries, innerBe, 8, 0)});
  });
}

TEST(NikonNote, Type3WithItsOwnHeader) {
  for (bool be : {false, true}) {
    Bytes block = NikonType3(
        be, {NoteRaw(1, UndefinedText("0210")), NoteRaw(4, Ascii("FINE  ")),
             NoteInts(133, Rational({5, 5}), be), NoteInts(134, Rational({3, 2}), be),
             NoteInts(135, Byte({9}), be), NoteRaw(136, Undefined({0, 1, 0, 2})),
             NoteRaw(152, Undefined({'0', '1', '0', '0', 0, 0, 0x0e, 0xab, 0x21})),
             NoteInts(167, Long({6632}), be)});
    SCOPED_TRACE(be);
    // The AF point's four bytes read as one number in the note's order.
    ExpectRows(NoteRows(block), {"Data version=0210", "Image Quality=FINE  ",
                                 "Focus Distance=N/A", "Digital Zoom=x1.5",
                                 "Flash mode=Fired, TTL Mode", "LensID=(e ab 21 )",
                                 "Shutter Count=6632",
                                 be ? "AF Point=Single Area, Top" : "AF Point="});
  }
}

TEST(NikonNote, AfPointNames) {
  const std::pair<int64_t, const char*> points[] = {
      {0x10002, "AF Point=Single Area, Top"},
      {0x2040010, "AF Point=Closest Subject, Right"},
      {0x1234, "AF Point="}};
  for (const auto& [value, row] : points)
    ExpectRows(NoteRows(NikonType3(true, {NoteInts(136, Long({value}), true)})), {row});
}

TEST(NikonNote, Type3WithABadInnerHeaderShowsOnlyTheGroup) {
  const Bytes badMark = {'X', 'X', 0, 42, 0, 0, 0, 8}, not42 = {'M', 'M', 0, 43, 0, 0, 0, 8};
  for (const Bytes& header : {badMark, not42})
    EXPECT_TRUE(NoteRows(NikonType3(true, {NoteInts(167, Long({1}), true)}, header)).empty());
}

// ---- Olympus and Fujifilm -------------------------------------------------------

TEST(OlympusNote, DirectoryAfterTheSignature) {
  auto note = [](const std::string& cameraType, int quality) {
    return CameraBlock("OLYMPUS OPTICAL CO.,LTD", false, [=](uint32_t at) {
      std::vector<NoteEntry> entries = {NoteInts(513, Short({quality}), false),
                                        NoteInts(514, Short({2}), false)};
      if (!cameraType.empty()) entries.push_back(NoteRaw(519, Ascii(cameraType)));
      return SignedNote(Join({Text("OLYMP"), {0, 1, 0}}), entries, false, at);
    });
  };
  ExpectRows(NoteRows(note("SX552", 1)),
             {"Compression setting=HQ", "Macro Mode=Super Macro", "Firmware version=SX552"});
  // SX camera types count the quality from 0, the others from 1.
  const std::tuple<const char*, int, const char*> qualities[] = {
      {"SX552", 0, "SQ"}, {"D4028", 1, "SQ"}, {"D4028", 3, "SHQ"}, {"SX151", 1, "SQ"},
      {"", 2, "HQ"}};
  for (const auto& [type, quality, name] : qualities)
    ExpectRows(NoteRows(note(type, quality)), {std::string("Compression setting=") + name});
}

TEST(FujifilmNote, LittleEndianWithOffsetsFromTheNote) {
  for (bool fileBe : {false, true}) {
    Bytes block = CameraBlock("FUJIFILM", fileBe, [](uint32_t) {
      std::vector<NoteEntry> entries = {
          NoteRaw(0, UndefinedText("0130")), NoteInts(4098, Short({768}), false),
          NoteInts(4112, Short({2}), false), NoteRaw(4096, Ascii("NORMAL  "))};
      return Join({Text("FUJIFILM"), {12, 0, 0, 0}, NoteDirectory(entries, false, 12, 0)});
    });
    SCOPED_TRACE(fileBe);
    ExpectRows(NoteRows(block), {"Maker Note Version=0130",
                                 "White balance=Daylight Color Fluorescence", "Flash mode=Off",
                                 "Quality Setting=NORMAL  "});
  }
}

// ---- notes of a signature and a directory ------------------------------------

// Makers whose note is a signature (maybe empty) and a directory with
// offsets counted from the TIFF data. `exact`: these are all the rows.
TEST(SignedNotes, EachLayoutGivesItsRows) {
  struct Case {
    const char* name;
    const char* make;
    bool fileBe;
    Bytes signature;
    bool noteBe;
    std::vector<NoteEntry> entries;
    std::vector<std::string> rows;
    bool exact;
  };
  const bool le = false, be = true;
  const Case cases[] = {
      {"Nikon type 1", "NIKON", le, Join({Text("Nikon"), {0, 1, 0}}), le,
       {NoteInts(3, Short({6}), le), NoteInts(7, Short({5}), le),
        NoteInts(10, Rational({0, 100}), le)},
       {"Image Quality=SXGA Fine", "White balance=Cloudy", "Digital Zoom=0"}, false},
      {"Nikon type 2", "NIKON", be, {}, be,
       {NoteRaw(3, Ascii("COLOR")), NoteInts(135, Byte({0}), be)},
       {"Color Mode=COLOR", "Flash mode=Did Not Fire"}, false},
      {"Nikon, another version: no rows", "NIKON", le, Join({Text("Nikon"), {0, 9, 0}}), le,
       {NoteInts(3, Short({6}), le)}, {}, true},
      {"Olympus without its signature: no rows", "OLYMPUS", le,
       Join({Text("XLYMP"), {0, 1, 0}}), le, {NoteInts(513, Short({2}), le)}, {}, true},
      {"Sigma: a non-text entry is skipped", "SIGMA", le, Join({Text("SIGMA"), {0, 0, 0, 1, 0}}),
       le, {NoteRaw(2, Ascii("02000019")), NoteRaw(5, Ascii("AF-S")), NoteInts(6, Short({1}), le)},
       {"Serial Number=02000019", "AF Mode=AF-S"}, true},
      {"Foveon is Sigma", "FOVEON", le, Join({Text("SIGMA"), {0, 0, 0, 1, 0}}), le,
       {NoteRaw(2, Ascii("02000019")), NoteRaw(5, Ascii("AF-S")), NoteInts(6, Short({1}), le)},
       {"Serial Number=02000019", "AF Mode=AF-S"}, true},
      {"Sanyo", "SANYO Electric Co.,Ltd.", be, Join({Text("SANYO"), {0, 1, 0}}), be,
       {NoteInts(513, Short({0x0105}), be), NoteInts(549, Short({3}), be),
        NoteInts(532, Short({1}), be)},
       {"Quality=Fine/High", "Flash mode=Red eye", "Self Timer=On"}, false},
      {"Casio type 2 is big-endian whatever the file", "CASIO COMPUTER CO.,LTD.", le,
       {'Q', 'V', 'C', 0, 0, 0}, be,
       {NoteInts(8, Short({2}), be), NoteInts(20, Short({6}), be),
        NoteInts(12288, Short({6}), be), NoteRaw(12294, Ascii("Paris"))},
       {"Quality Mode=Fine", "Iso Sensitivity=100", "Record Mode=Best Shot", "Time Zone=Paris"},
       false},
      {"Casio type 1, little-endian file", "CASIO", le, {}, le,
       {NoteInts(1, Short({1}), le), NoteInts(4, Short({4}), le), NoteInts(6, Long({2500}), le),
        NoteInts(20, Short({64}), le)},
       {"Recording Mode=Single Shutter", "Flash mode=Red-eye Reduction", "Object distance=2500",
        "CCD Sensitivity=Normal"},
       false},
      {"Casio type 1, big-endian file", "CASIO", be, {}, be,
       {NoteInts(1, Short({1}), be), NoteInts(4, Short({4}), be), NoteInts(6, Long({2500}), be),
        NoteInts(20, Short({64}), be)},
       {"Recording Mode=Single Shutter", "Flash mode=Red-eye Reduction", "Object distance=2500",
        "CCD Sensitivity=Normal"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> rows = NoteRows(CameraBlock(c.make, c.fileBe, [&](uint32_t at) {
      return SignedNote(c.signature, c.entries, c.noteBe, at);
    }));
    if (c.exact) {
      EXPECT_EQ(rows, c.rows);
    } else {
      ExpectRows(rows, c.rows);
    }
  }
}

// ---- Minolta --------------------------------------------------------------------

Bytes MinoltaBlock(bool be, const std::vector<int64_t>& settings, uint16_t tag = 3) {
  return CameraBlock("Minolta Co., Ltd.", be, [&](uint32_t at) {
    std::vector<NoteEntry> entries = {NoteRaw(0, UndefinedText("MLT0"))};
    NoteEntry array{tag, 7, (uint32_t)(settings.size() * 4), {}};
    for (int64_t v : settings) Put(array.data, (uint64_t)v, 4, true);  // always big-endian
    entries.push_back(array);
    entries.push_back(NoteInts(257, Long({2}), be));
    return NoteDirectory(entries, be, at, 0);
  });
}

TEST(MinoltaNote, CameraSettingsAndTheirFormulas) {
  std::vector<int64_t> s(51, 0);
  s[1] = 1;           // aperture priority
  s[8] = 48;          // ISO: 2^(6 - 1) x 3.125 = 100
  s[9] = 72;          // shutter: 2^((48 - 72) / 8) = 1/8
  s[10] = 48;         // aperture: 2^(3 - 0.5) = 5.7
  s[13] = 6;          // exposure compensation 0
  s[18] = 7 * 256;    // 7 mm
  s[19] = 999;        // under a metre: infinity
  s[21] = 0x07D70A05; // 2007:10:05
  s[22] = 0x0E1E05;   // 14:30:05
  s[31] = 4;          // saturation +1
  s[35] = 3;          // flash compensation -1.0
  s[37] = 4;          // DiMAGE 7i
  s[44] = 48;         // brightness 0
  for (bool be : {false, true}) {
    SCOPED_TRACE(be);
    ExpectRows(NoteRows(MinoltaBlock(be, s)),
               {"Version=MLT0", "Exposure mode=Aperture Priority", "ISO=100",
                "Shutter speed [s]=1/8", "Aperture=5.7", "Exposure Compensation=0",
                "Focal length [mm]=7.0000", "Focal distance=inf", "Date=2007:10:05",
                "Time=14:30:05", "Saturation=1", "Falsh Exposure Comp=-1.0",
                "Camera Model=DiMAGE 7i", "Brightness=0.0000", "Color Mode=Vivid color"});
  }
  s[19] = 2500;
  ExpectRows(NoteRows(MinoltaBlock(false, s, 1)), {"Focal distance=2 m"});
}

TEST(MinoltaNote, NotesThatAreNotDirectoriesAreSkipped) {
  Bytes plus = CameraBlock("Minolta", false, [](uint32_t) {
    Bytes note = Text("+M+M");
    note.resize(64, 0);
    return note;
  });
  EXPECT_TRUE(NoteRows(plus).empty());
}

// ---- every maker: malformed notes ---------------------------------------------

TEST(MakerNoteDamage, WrongOffsetsAndCountsGiveFewerRows) {
  // A Nikon type 2 note whose text lies far outside the data, followed by a
  // good entry.
  Bytes block = CameraBlock("NIKON", false, [](uint32_t at) {
    Bytes note = NoteDirectory({NoteRaw(3, Ascii("COLOR")), NoteRaw(4, Ascii("FINE"))}, false,
                               at, 0);
    const Bytes offset = {0xF0, 0xFF, 0xFF, 0x7F};  // entry 0's offset -> 0x7FFFFFF0
    std::copy(offset.begin(), offset.end(), note.begin() + 2 + 8);
    return note;
  });
  EXPECT_EQ(NoteRows(block), (std::vector<std::string>{"Image Quality=FINE"}));

  // A count near 2^32.
  block = CameraBlock("NIKON", false, [](uint32_t at) {
    Bytes note = NoteDirectory({NoteRaw(3, Ascii("COLOR"))}, false, at, 0);
    std::fill(note.begin() + 2 + 4, note.begin() + 2 + 8, 0xFF);
    return note;
  });
  EXPECT_TRUE(NoteRows(block).empty());
}

TEST(MakerNoteDamage, EveryMakerSurvivesTruncationAndNoise) {
  const char* makes[] = {"Canon", "OLYMPUS", "FUJIFILM", "NIKON", "CASIO", "Minolta", "SIGMA",
                         "SANYO"};
  const Bytes prefixes[] = {{},
                            Join({Text("OLYMP"), {0, 1, 0}}),
                            Join({Text("FUJIFILM"), {12, 0, 0, 0}}),
                            Join({Text("Nikon"), {0, 2, 0x10, 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8}}),
                            {'Q', 'V', 'C', 0, 0, 0},
                            {},
                            Join({Text("SIGMA"), {0, 0, 0, 1, 0}}),
                            Join({Text("SANYO"), {0, 1, 0}})};
  for (int m = 0; m < 8; ++m) {
    uint32_t seed = 12345u + (uint32_t)m;
    for (int round = 0; round < 300; ++round) {
      Bytes block = CameraBlock(makes[m], round & 1, [&](uint32_t) {
        Bytes note = prefixes[m];
        size_t body = 40 + (seed % 200);
        for (size_t i = 0; i < body; ++i) {
          seed = seed * 1103515245u + 12345u;
          note.push_back((uint8_t)(seed >> 16));
        }
        // A plausible entry count so that the walk goes on.
        if (note.size() >= prefixes[m].size() + 2) {
          note[prefixes[m].size()] = (uint8_t)(seed % 7);
          note[prefixes[m].size() + 1] = 0;
        }
        return note;
      });
      ExifRowsOf(block);  // must not read outside the block (run under ASan)
      for (size_t cut = 0; cut < block.size(); cut += 7) {
        Bytes shorter(block.begin(), block.begin() + (long)cut);
        ExifRowsOf(shorter);
      }
    }
  }
  SUCCEED();
}

TEST(MakerNoteDamage, DecoderRefusesANoteOutsideTheData) {
  Bytes tiff(64, 0);
  int rows = 0;
  auto count = [](void* c, int, int, const char*, const char*) { ++*(int*)c; };
  DecodeMakerNote(MAKER_CANON, tiff.data() + 60, 8, tiff.data(), 64, false, count, &rows);
  DecodeMakerNote(MAKER_NIKON, tiff.data() + 65, 0, tiff.data(), 64, false, count, &rows);
  DecodeMakerNote(MAKER_UNKNOWN, tiff.data(), 64, tiff.data(), 64, false, count, &rows);
  EXPECT_EQ(rows, 0);
}

}  // namespace
