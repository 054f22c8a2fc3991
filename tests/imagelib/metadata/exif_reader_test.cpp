// The EXIF reader on hand-built blocks: header checks, the directory walk
// and its acceptance rules, the groups and their order, and every
// formatting rule, in both byte orders.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "imagelib/metadata/exif_reader.h"
#include "imagelib/metadata/exif_tables.h"
#include "tests/imagelib/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_fixtures;

using Value = std::variant<Ints, Raw>;
enum Where { kMain, kExif, kGps };

// The value shown for one entry standing in IFD0, the Exif directory or the
// GPS directory (GPS rows are found by their name).
std::string ValueOf(bool be, Where where, uint16_t tag, const Value& v,
                    const std::string& gpsName = "") {
  TiffBuilder b(be);
  int dir = b.AddDirectory();
  if (where != kMain) {
    int sub = b.AddDirectory();
    b.Point(dir, where == kExif ? 34665 : 34853, sub);
    dir = sub;
  }
  std::visit([&](const auto& x) { b.Add(dir, tag, x); }, v);
  std::vector<ExifRow> rows = ExifRowsOf(b.Block());
  if (where == kGps) return Find(rows, 16, 0, gpsName);
  return Find(rows, where == kMain ? 1 : 2, tag);
}

// A FLOAT (type 11) or DOUBLE (type 12) value in the builder's byte order.
Raw Floating(double value, bool be, bool isDouble) {
  Bytes bytes;
  if (isDouble) {
    uint64_t bits;
    memcpy(&bits, &value, 8);
    Put(bytes, bits, 8, be);
  } else {
    float f = (float)value;
    uint32_t bits;
    memcpy(&bits, &f, 4);
    Put(bytes, bits, 4, be);
  }
  return {(uint16_t)(isDouble ? 12 : 11), 1, bytes};
}

class ExifByteOrder : public ::testing::TestWithParam<bool> {
 protected:
  bool be() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Orders, ExifByteOrder, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "BigEndian" : "LittleEndian");
                         });

// ---- finding and accepting the block ---------------------------------------

TEST(ExifBlock, HasExifNeedsTheKindAndTheWholeMarker) {
  const Bytes good = {'E', 'x', 'i', 'f', 0, 0};
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, Bytes>> blocks;
    bool has;
  } cases[] = {
      {"marker", {{META_EXIF, good}}, true},
      {"another kind", {{META_XMP, good}}, false},
      {"marker cut", {{META_EXIF, {'E', 'x', 'i', 'f', 0}}}, false},
      {"second byte not zero", {{META_EXIF, {'E', 'x', 'i', 'f', 0, 1, 'I', 'I'}}}, false},
      {"after another block", {{META_ICC, {1, 2, 3}}, {META_EXIF, good}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BlockList list;
    for (const auto& [kind, bytes] : c.blocks) list.Add(kind, bytes);
    EXPECT_EQ(HasExif(list.head()), c.has);
  }
  EXPECT_FALSE(HasExif(nullptr));
}

TEST(ExifBlock, BadHeadersReadNothing) {
  TiffBuilder b(false);
  b.Add(b.AddDirectory(), 271, Ascii("Canon"));
  const Bytes good = b.Block();
  struct Case {
    const char* name;
    size_t at;
    uint8_t byte;
    size_t size;
    bool ok;
  } cases[] = {
      {"intact", 6, 'I', good.size(), true},
      {"bad byte-order mark", 6, 'X', good.size(), false},
      {"mixed byte-order mark", 7, 'M', good.size(), false},
      {"not 42", 8, 43, good.size(), false},
      {"too short", 6, 'I', 10, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes block = good;
    block[c.at] = c.byte;
    block.resize(c.size);
    bool ok = !c.ok;
    EXPECT_EQ(ExifRowsOf(block, &ok).empty(), !c.ok);
    EXPECT_EQ(ok, c.ok);
  }
  BlockList none;
  none.Add(META_IPTC, good);
  EXPECT_FALSE(ReadExif(none.head(), CollectExifRow, nullptr));
}

TEST(ExifBlock, TheFirstExifBlockOfTheListIsRead) {
  TiffBuilder first(false), second(true);
  first.Add(first.AddDirectory(), 272, Ascii("First"));
  second.Add(second.AddDirectory(), 272, Ascii("Second"));
  BlockList list;
  list.Add(META_IPTC, PhotoshopBlock({}));
  list.Add(META_EXIF, first.Block());
  list.Add(META_EXIF, second.Block());
  EXPECT_EQ(Find(ExifRows(list.head()), 1, 272), "First");
}

// ---- groups and the directory walk -----------------------------------------

TEST_P(ExifByteOrder, GroupsComeInReadingOrder) {
  TiffBuilder b(be());
  int ifd0 = b.AddDirectory();
  int exif = b.AddDirectory();
  int iop = b.AddDirectory();
  int gps = b.AddDirectory();
  int ifd1 = b.AddDirectory();
  b.Add(ifd0, 271, Ascii("Nobody"));
  b.Point(ifd0, 34665, exif);
  b.Point(ifd0, 40965, iop);
  b.Point(ifd0, 34853, gps);
  b.Link(ifd0, ifd1);
  b.Add(exif, 36867, Ascii("2001:02:03 04:05:06"));
  b.Add(exif, 37500, UndefinedText("some private bytes"));
  b.Add(iop, 1, Ascii("R98"));
  b.Add(gps, 18, Ascii("WGS-84"));
  b.Add(ifd1, 259, Short({6}));
  std::vector<ExifRow> rows = ExifRowsOf(b.Block());
  std::vector<std::string> seen;
  for (const ExifRow& r : rows)
    seen.push_back(std::to_string(r.group) + (r.heading ? "=" + r.name : ":" + r.value));
  std::vector<std::string> expected = {
      "1=Camera",     "1:Nobody",         "2=Image",  "2:2001:02:03 04:05:06",
      "32=Makernotes", "4=IOP",           "4:R98",    "16=GPS",
      "16:WGS-84",    "8=Thumbnail",      "8:6"};
  EXPECT_EQ(seen, expected);
  for (const ExifRow& r : rows) {
    if (r.heading) {
      EXPECT_EQ(r.tag, 0);
    } else if (r.group == 16) {
      EXPECT_EQ(r.tag, 0) << "GPS rows carry tag 0";
      EXPECT_EQ(r.name, "Map Datum");
    }
  }
  EXPECT_EQ(Find(rows, 2, 36867), "2001:02:03 04:05:06");
  EXPECT_EQ(Find(rows, 2, 37500), "<none>") << "the maker note itself has no row";
}

TEST_P(ExifByteOrder, NamesComeFromTheDirectorysDictionary) {
  TiffBuilder b(be());
  int ifd0 = b.AddDirectory();
  int exif = b.AddDirectory();
  b.Add(ifd0, 256, Long({640}));
  b.Add(ifd0, 33434, Rational({1, 100}));  // an Exif tag standing in IFD0: no row
  b.Add(ifd0, 999, Short({1}));             // unknown everywhere
  b.Point(ifd0, 34665, exif);
  b.Add(exif, 40962, Long({640}));
  b.Add(exif, 256, Long({640}));  // a main tag standing in the Exif directory: no row
  std::vector<ExifRow> rows = ExifRowsOf(b.Block());
  EXPECT_EQ(Find(rows, 1, 33434), "<none>");
  EXPECT_EQ(Find(rows, 1, 999), "<none>");
  EXPECT_EQ(Find(rows, 2, 256), "<none>");
  std::vector<std::string> shown;
  for (const ExifRow& r : rows)
    if (!r.heading) shown.push_back(std::to_string(r.tag) + " " + r.name + "=" + r.value);
  EXPECT_EQ(shown, (std::vector<std::string>{"256 Image width=640", "40962 Image width=640"}));
}

TEST_P(ExifByteOrder, ThumbnailChainEndsWhenALinkPointsBack) {
  TiffBuilder b(be());
  int ifd0 = b.AddDirectory();
  int ifd1 = b.AddDirectory();
  int ifd2 = b.AddDirectory();
  b.Add(ifd0, 272, Ascii("Zero"));
  b.Add(ifd1, 272, Ascii("One"));
  b.Add(ifd2, 272, Ascii("Two"));
  b.Link(ifd0, ifd1);
  b.Link(ifd1, ifd2);
  b.Link(ifd2, ifd0);  // back to IFD0
  std::vector<ExifRow> rows = ExifRowsOf(b.Block());
  int thumbnails = 0;
  std::vector<std::string> models;
  for (const ExifRow& r : rows) {
    if (r.heading && r.group == 8) ++thumbnails;
    if (!r.heading && r.tag == 272) models.push_back(r.value);
  }
  EXPECT_EQ(thumbnails, 2);
  EXPECT_EQ(models, (std::vector<std::string>{"Zero", "One", "Two"}));

  // A directory linking to itself ends the chain too.
  TiffBuilder self(be());
  int only = self.AddDirectory();
  self.Add(only, 272, Ascii("Self"));
  self.Link(only, only);
  for (const ExifRow& r : ExifRowsOf(self.Block())) EXPECT_NE(r.group, 8);
}

TEST_P(ExifByteOrder, SubDirectoriesAreFollowedOnlyFromIfd0) {
  TiffBuilder b(be());
  int ifd0 = b.AddDirectory();
  int exif = b.AddDirectory();
  int iop = b.AddDirectory();
  b.Point(ifd0, 34665, exif);
  b.Point(exif, 40965, iop);  // where cameras put it: not followed
  b.Add(iop, 1, Ascii("R98"));
  std::vector<ExifRow> rows = ExifRowsOf(b.Block());
  for (const ExifRow& r : rows) EXPECT_NE(r.group, 4);
  EXPECT_NE(Find(rows, 2, 40965), "<none>") << "the pointer still shows as a row";
}

TEST_P(ExifByteOrder, PointersOutsideTheDataAreIgnored) {
  TiffBuilder b(be());
  int ifd0 = b.AddDirectory();
  b.Add(ifd0, 34665, Long({0x7FFFFFF0}));
  b.Add(ifd0, 34853, Long({0xFFFFFFFF}));
  b.Add(ifd0, 272, Ascii("Model"));
  std::vector<ExifRow> rows = ExifRowsOf(b.Block());
  for (const ExifRow& r : rows) {
    EXPECT_NE(r.group, 2);
    EXPECT_NE(r.group, 16);
  }
  EXPECT_EQ(Find(rows, 1, 272), "Model");
}

TEST_P(ExifByteOrder, DirectoryRunningPastTheDataIsRejected) {
  TiffBuilder b(be());
  b.Add(b.AddDirectory(), 272, Ascii("Model"));
  Bytes block = b.Block();
  const size_t count = 6 + 8;
  for (uint16_t entries : {200, 65535}) {
    SCOPED_TRACE(entries);
    block[count + (be() ? 0 : 1)] = (uint8_t)(entries >> 8);
    block[count + (be() ? 1 : 0)] = (uint8_t)entries;
    std::vector<ExifRow> rows = ExifRowsOf(block);
    ASSERT_EQ(rows.size(), 1u) << "only the Camera group start";
    EXPECT_TRUE(rows[0].heading);
  }
}

TEST_P(ExifByteOrder, DataMayEndAtTheEntriesOrTwoBytesLater) {
  TiffBuilder b(be());
  b.Add(b.AddDirectory(), 274, Short({3}));
  Bytes block = b.Block();  // header, count, one entry, next link
  const size_t entriesEnd = 6 + 8 + 2 + 12;
  ASSERT_EQ(block.size(), entriesEnd + 4);
  for (size_t cut : {entriesEnd - 1, entriesEnd, entriesEnd + 1, entriesEnd + 2, entriesEnd + 3}) {
    bool shown = cut == entriesEnd || cut == entriesEnd + 2;
    Bytes shorter(block.begin(), block.begin() + (long)cut);
    EXPECT_EQ(Find(ExifRowsOf(shorter), 1, 274), shown ? "bottom-right (3)" : "<none>") << cut;
  }
}

TEST_P(ExifByteOrder, BadEntriesAreSkippedAndTheRestShown) {
  TiffBuilder b(be());
  int ifd0 = b.AddDirectory();
  b.AddRaw(ifd0, 270, 13, 4, {'a', 'b', 'c', 0});        // type 13
  b.AddRaw(ifd0, 305, 0, 4, {'a', 'b', 'c', 0});         // type 0
  b.AddRaw(ifd0, 315, 2, 0x40000000, {'x', 'y', 'z', 0}); // a count far past the data
  b.Add(ifd0, 272, Ascii("Model"));
  std::vector<ExifRow> rows = ExifRowsOf(b.Block());
  for (int tag : {270, 305, 315}) EXPECT_EQ(Find(rows, 1, tag), "<none>") << tag;
  EXPECT_EQ(Find(rows, 1, 272), "Model");
}

TEST_P(ExifByteOrder, ValuesEndingExactlyAtTheDataEndAreShown) {
  TiffBuilder b(be());
  b.Add(b.AddDirectory(), 270, Ascii("last bytes"));  // 11 bytes, padded to 12
  Bytes block = b.Block();
  block.pop_back();  // the pad byte: the text now ends at the data's end
  EXPECT_EQ(Find(ExifRowsOf(block), 1, 270), "last bytes");
  block.pop_back();  // one byte short
  EXPECT_EQ(Find(ExifRowsOf(block), 1, 270), "<none>");
}

// ---- formatting --------------------------------------------------------------

TEST_P(ExifByteOrder, ValuesAreFormattedByTheirTagsRules) {
  const std::string ascii("ASCII\0\0\0", 8);
  struct Case {
    const char* name;
    Where where;
    uint16_t tag;
    Value value;
    std::string expected;
    std::string gpsName = "";
  } cases[] = {
      // exposure times
      {"1/N from 4/1000", kExif, 33434, Rational({4, 1000}), "1/250"},
      {"1/N as stored", kExif, 33434, Rational({1, 250}), "1/250"},
      {"half a second", kExif, 33434, Rational({1, 2}), "0.50"},
      {"quarter second", kExif, 33434, Rational({1, 4}), "1/4"},
      {"long exposure", kExif, 33434, Rational({30, 1}), "30.00"},
      {"signed exposure", kExif, 33434, SRational({-2, 1}), "4.0"},
      {"zero denominator", kExif, 33434, Rational({1, 0}), "0.00"},
      // APEX values
      {"aperture 4", kExif, 37378, Rational({4, 1}), "F4.0"},
      {"aperture 2.8", kExif, 37378, Rational({3, 1}), "F2.8"},
      {"max aperture", kExif, 37381, Rational({6, 1}), "F8.0"},
      {"shutter 1/256", kExif, 37377, SRational({8, 1}), "1/256"},
      {"shutter 2 s", kExif, 37377, SRational({-1, 1}), "2.00"},
      {"shutter 100: 0", kExif, 37377, SRational({100, 1}), "0.00"},
      {"shutter -150: 0", kExif, 37377, SRational({-150, 1}), "0.00"},
      // F-number, subject distance, focal length
      {"f-number 2.8", kExif, 33437, Rational({28, 10}), "2.8"},
      {"f-number 16", kExif, 33437, Rational({16, 1}), "16.0"},
      {"distance rounded", kExif, 37382, Rational({7, 2}), "4"},
      {"distance over zero", kExif, 37382, Rational({3, 0}), "3/0"},
      {"distance only rational", kExif, 37382, Short({3}), "<none>"},
      {"focal length 5.4", kExif, 37386, Rational({54, 10}), "5.4"},
      {"focal length 50", kExif, 37386, Rational({50, 1}), "50."},
      // flash
      {"flash 0x19", kExif, 37385, Short({0x19}), "Flash fired"},
      {"flash 0x18", kExif, 37385, Short({0x18}), "No flash"},
      {"flash 0", kExif, 37385, Short({0x00}), "No flash"},
      {"flash 1", kExif, 37385, Short({0x01}), "Flash fired"},
      {"fired, return light 0x1F", kExif, 37385, Short({0x1F}), "Flash fired"},
      {"fired, return light 7", kExif, 37385, Short({0x07}), "Flash fired"},
      {"not fired, return status", kExif, 37385, Short({0x02}), "<none>"},
      // reduced fractions
      {"resolution 72", kMain, 282, Rational({72, 1}), "72"},
      {"resolution 300/4", kMain, 282, Rational({300, 4}), "75"},
      {"resolution 10/4", kMain, 282, Rational({10, 4}), "5/2"},
      {"resolution 0/0", kMain, 282, Rational({0, 0}), "0"},
      {"resolution 5/0", kMain, 282, Rational({5, 0}), "5/0"},
      {"bias -2/6", kExif, 37380, SRational({-2, 6}), "-1/3"},
      {"bias 2/-6", kExif, 37380, SRational({2, -6}), "-1/3"},
      {"bias -4/-2", kExif, 37380, SRational({-4, -2}), "2"},
      {"large numerator", kMain, 282, Rational({4000000000LL, 2}), "2000000000"},
      // value names with their numbers
      {"orientation 1", kMain, 274, Short({1}), "top-left (1)"},
      {"orientation 8", kMain, 274, Short({8}), "left-bottom (8)"},
      {"orientation 9", kMain, 274, Short({9}), "Unknown (9)"},
      {"positioning", kMain, 531, Short({2}), "co-sited (2)"},
      {"program", kExif, 34850, Short({3}), "Aperture priority (3)"},
      {"metering", kExif, 37383, Short({5}), "Multi-segment (5)"},
      {"metering 255", kExif, 37383, Short({255}), "Unknown (255)"},
      {"light source", kExif, 37384, Short({21}), "D65 (21)"},
      {"focal plane unit", kExif, 41488, Short({3}), "cm (3)"},
      {"sensing", kExif, 41495, Short({2}), "One-chip color area sensor (2)"},
      {"exposure mode", kExif, 41986, Short({2}), "Auto bracket (2)"},
      {"scene capture", kExif, 41990, Short({3}), "Night scene (3)"},
      {"gain", kExif, 41991, Short({4}), "High gain down (4)"},
      {"contrast", kExif, 41992, Short({2}), "Hard (2)"},
      {"saturation", kExif, 41993, Short({1}), "Low (1)"},
      {"distance range", kExif, 41996, Short({1}), "Macro (1)"},
      // components, versions and sources
      {"YCbCr", kExif, 37121, Undefined({1, 2, 3, 0}), "YCbCr"},
      {"RGB", kExif, 37121, Undefined({4, 5, 6, 0}), "RGB uncompressed"},
      {"other components", kExif, 37121, Undefined({1, 2, 3, 4}), "4030201"},
      {"three components", kExif, 37121, Undefined({1, 2, 3}), "<none>"},
      {"Exif version", kExif, 36864, UndefinedText("0220"), "02.20"},
      {"Flashpix version", kExif, 40960, UndefinedText("0100"), "01.00"},
      {"short version", kExif, 36864, UndefinedText("022"), "<none>"},
      {"file source DSC", kExif, 41728, Undefined({3}), "DSC"},
      {"file source 2", kExif, 41728, Undefined({2}), "2"},
      {"file source two bytes", kExif, 41728, Undefined({3, 0}), "<none>"},
      {"scene type 1", kExif, 41729, Undefined({1}), "A directly photographed image"},
      {"scene type 0", kExif, 41729, Undefined({0}), "0"},
      {"sRGB", kExif, 40961, Short({1}), "sRGB"},
      {"uncalibrated", kExif, 40961, Short({65535}), "Uncalibrated"},
      {"colour space 2", kExif, 40961, Short({2}), "2"},
      {"inch", kMain, 296, Short({2}), "Inch"},
      {"centimeter", kMain, 296, Short({3}), "Centimeter"},
      {"unit 1", kMain, 296, Short({1}), "1"},
      // user comment
      {"comment", kExif, 37510, UndefinedText(ascii + "Hello there"), "Hello there"},
      {"blank comment", kExif, 37510, UndefinedText(ascii + "      "), "<none>"},
      {"short blank: spaces show", kExif, 37510, UndefinedText(ascii + "    "), "    "},
      {"empty comment", kExif, 37510, UndefinedText(ascii), "<none>"},
      {"long comment", kExif, 37510, UndefinedText(ascii + std::string(400, 'x')),
       std::string(248, 'x')},
      // generic type rules
      {"text", kMain, 305, Ascii("Editor 1.0"), "Editor 1.0"},
      {"long text cut", kMain, 305, Ascii(std::string(300, 'a')), std::string(255, 'a')},
      {"first of two", kMain, 256, Short({640, 480}), "640"},
      {"large long", kMain, 256, Long({4000000000LL}), "4000000000"},
      {"signed rational", kExif, 37379, SRational({-3, 10}), "-3/10"},
      {"signed short", kExif, 41989, SShort({-5}), "-5"},
      {"signed long", kExif, 41989, SLong({-70000}), "-70000"},
      {"id text", kExif, 42016, Ascii("0123456789abcdef"), "0123456789abcdef"},
      {"empty text: no row", kMain, 305, Ascii(""), "<none>"},
      {"bytes summarised", kExif, 41730, Undefined({0, 2, 0, 2, 0, 1, 1, 2}), "(8 bytes)"},
      {"float", kExif, 41989, Floating(2.5, be(), false), "2.5"},
      {"double", kExif, 41989, Floating(1.25, be(), true), "1.25"},
      {"whole double", kExif, 41989, Floating(3.0, be(), true), "3."},
      // GPS
      {"latitude", kGps, 2, Rational({52, 1, 30, 1, 1234, 100}), "52\xB0 30' 12.34\"",
       "Latitude"},
      {"longitude fraction", kGps, 4, Rational({13, 1, 45, 2, 0, 0}), "13\xB0 45/2' 0.00\"",
       "Longitude"},
      {"not three rationals", kGps, 2, Rational({52, 1}), "52", "Latitude"},
      {"north", kGps, 1, Ascii("N"), "North", "Latitude Ref"},
      {"south", kGps, 1, Ascii("S"), "South", "Latitude Ref"},
      {"west", kGps, 3, Ascii("W"), "West", "Longitude Ref"},
      {"unknown ref", kGps, 3, Ascii("Q"), "Unknown", "Longitude Ref"},
      {"dest north", kGps, 19, Ascii("N"), "North", "Dest Latitude Ref"},
      {"dest east", kGps, 21, Ascii("E"), "East", "Dest Longitude Ref"},
      {"status", kGps, 9, Ascii("A"), "Measurement In Progress", "Status"},
      {"track ref", kGps, 14, Ascii("T"), "True North", "Track Ref"},
      {"bearing ref", kGps, 23, Ascii("M"), "Magnetic North", "Dest Bearing Ref"},
      {"measure 3", kGps, 10, Ascii("3"), "3-Dimensional Measurement", "Measure Mode"},
      {"measure 7", kGps, 10, Ascii("7"), "7", "Measure Mode"},
      {"distance ref", kGps, 25, Ascii("K"), "K", "Dest Distance Ref"},
      {"bearing", kGps, 24, Rational({90, 1}), "90", "Dest Bearing"},
      {"version", kGps, 0, Byte({2, 2, 0, 0}), "2.2.0.0", "Version ID"},
      {"sea level", kGps, 5, Byte({0}), "Sea Level", "Haltitude Ref"},
      {"unmatched: empty row", kGps, 5, Byte({1}), "", "Haltitude Ref"},
      {"altitude", kGps, 6, Rational({1234, 10}), "617/5", "Haltitude"},
      {"differential", kGps, 30, Short({1}), "Differential Corrected", "Differential"},
      {"differential 7", kGps, 30, Short({7}), "", "Differential"},
      {"latitude of another type", kGps, 2, Short({52}), "<none>", "Latitude"},
      {"ref of another type", kGps, 5, Short({0}), "<none>", "Haltitude Ref"},
      {"not in the dictionary", kGps, 31, Short({0}), "<none>", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ValueOf(be(), c.where, c.tag, c.value, c.gpsName), c.expected);
  }
}

// ---- the maker code ------------------------------------------------------------

TEST(ExifMakerCode, DecidedByTheFirstCharactersIgnoringCase) {
  struct Case {
    const char* make;
    int maker;
  } cases[] = {{"Canon", MAKER_CANON},
               {"CANON INC.", MAKER_CANON},
               {"OLYMPUS OPTICAL CO.,LTD", MAKER_OLYMPUS},
               {"FUJIFILM", MAKER_FUJIFILM},
               {"NIKON CORPORATION", MAKER_NIKON},
               {"CASIO COMPUTER CO.,LTD.", MAKER_CASIO},
               {"Minolta Co., Ltd.", MAKER_MINOLTA},
               {"SIGMA", MAKER_SIGMA},
               {"FOVEON", MAKER_SIGMA},
               {"SANYO Electric Co.,Ltd.", MAKER_SANYO},
               {"Cano", MAKER_UNKNOWN},
               {"Konica Minolta", MAKER_UNKNOWN},
               {"EASTMAN KODAK COMPANY", MAKER_UNKNOWN},
               {"", MAKER_UNKNOWN}};
  for (const Case& c : cases)
    EXPECT_EQ(MakerFromMake(c.make, (uint32_t)strlen(c.make)), c.maker) << c.make;
  EXPECT_EQ(MakerFromMake("Canon", 4), MAKER_UNKNOWN) << "length bounds the comparison";
}

// ---- display texts -------------------------------------------------------------

TEST(ExifTexts, NumberedTextsOtherCodeReliesOn) {
  EXPECT_EQ(ExifTextCount(), 259);
  const std::pair<int, const char*> texts[] = {
      {1, "Image width"},   {46, "Date taken"},        {85, "Unknown"},
      {101, "Uncalibrated"}, {102, "RGB uncompressed"}, {103, "A directly photographed image"},
      {104, "Inch"},        {105, "Centimeter"},       {106, "No flash"},
      {107, "Flash fired"}, {0, ""},                   {260, ""},
      {-1, ""}};
  for (const auto& [number, text] : texts) EXPECT_STREQ(ExifText(number), text) << number;
  for (int n = 1; n <= 259; ++n) EXPECT_STRNE(ExifText(n), "") << n;
}

TEST(ExifTexts, EveryDictionaryRowAndValueNameHasItsText) {
  const std::pair<const TagTable*, size_t> tables[] = {
      {&kMainDictionary, 33}, {&kExifDictionary, 63}, {&kInteropDictionary, 4},
      {&kGpsDictionary, 31}};
  for (const auto& [table, size] : tables) {
    EXPECT_EQ(table->count, size);
    for (size_t i = 0; i < table->count; ++i) {
      const TagRow& row = table->rows[i];
      EXPECT_STRNE(RowName(row), "") << row.tag;
      if (!row.names) continue;
      const ValueName* name = row.names;
      for (; name->value != -1; ++name) EXPECT_STRNE(ValueNameOf(row.names, name->value), "");
      EXPECT_EQ(name->textNumber, 85) << "value names end with Unknown";
    }
  }
  EXPECT_STREQ(RowName(*FindRow(kExifDictionary, 36867)), "Date taken");
  EXPECT_STREQ(RowName(*FindRow(kGpsDictionary, 5)), "Haltitude Ref");
}

}  // namespace
