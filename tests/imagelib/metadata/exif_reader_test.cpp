// The EXIF reader on hand-built blocks: header checks, the directory walk
// and its acceptance rules, the groups and their order, and every
// formatting rule, in both byte orders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagelib/metadata/exif_reader.h"
#include "imagelib/metadata/exif_tables.h"
#include "tests/imagelib/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_fixtures;

class ExifByteOrder : public ::testing::TestWithParam<bool> {
 protected:
  bool be() const { return GetParam(); }

  // Rows of a block whose Exif directory holds one entry.
  std::vector<ExifRow> WithExifEntry(uint16_t tag, const Ints& v) {
    TiffBuilder b(be());
    int ifd0 = b.AddDirectory();
    int exif = b.AddDirectory();
    b.Point(ifd0, 34665, exif);
    b.Add(exif, tag, v);
    return ExifRowsOf(b.Block());
  }
  std::vector<ExifRow> WithExifEntry(uint16_t tag, const Raw& v) {
    TiffBuilder b(be());
    int ifd0 = b.AddDirectory();
    int exif = b.AddDirectory();
    b.Point(ifd0, 34665, exif);
    b.Add(exif, tag, v);
    return ExifRowsOf(b.Block());
  }
  std::string ExifValue(uint16_t tag, const Ints& v) { return Find(WithExifEntry(tag, v), 2, tag); }
  std::string ExifValue(uint16_t tag, const Raw& v) { return Find(WithExifEntry(tag, v), 2, tag); }
  std::string MainValue(uint16_t tag, const Ints& v) {
    TiffBuilder b(be());
    b.Add(b.AddDirectory(), tag, v);
    return Find(ExifRowsOf(b.Block()), 1, tag);
  }
  std::string MainValue(uint16_t tag, const Raw& v) {
    TiffBuilder b(be());
    b.Add(b.AddDirectory(), tag, v);
    return Find(ExifRowsOf(b.Block()), 1, tag);
  }
  std::vector<ExifRow> WithGpsEntry(uint16_t tag, const Ints& v) {
    TiffBuilder b(be());
    int ifd0 = b.AddDirectory();
    int gps = b.AddDirectory();
    b.Point(ifd0, 34853, gps);
    b.Add(gps, tag, v);
    return ExifRowsOf(b.Block());
  }
  std::vector<ExifRow> WithGpsEntry(uint16_t tag, const Raw& v) {
    TiffBuilder b(be());
    int ifd0 = b.AddDirectory();
    int gps = b.AddDirectory();
    b.Point(ifd0, 34853, gps);
    b.Add(gps, tag, v);
    return ExifRowsOf(b.Block());
  }
  std::string GpsValue(uint16_t tag, const Ints& v, const std::string& name) {
    return Find(WithGpsEntry(tag, v), 16, 0, name);
  }
  std::string GpsValue(uint16_t tag, const Raw& v, const std::string& name) {
    return Find(WithGpsEntry(tag, v), 16, 0, name);
  }
};

INSTANTIATE_TEST_SUITE_P(Orders, ExifByteOrder, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("BigEndian") : std::string("LittleEndian");
                         });

// ---- finding and accepting the block ---------------------------------------

TEST(ExifBlock, HasExifNeedsTheKindAndTheWholeMarker) {
  Bytes good = {'E', 'x', 'i', 'f', 0, 0};
  {
    BlockList list;
    list.Add(META_EXIF, good);
    EXPECT_TRUE(HasExif(list.head()));
  }
  {
    BlockList list;
    list.Add(META_XMP, good);
    EXPECT_FALSE(HasExif(list.head()));
  }
  {
    BlockList list;
    list.Add(META_EXIF, {'E', 'x', 'i', 'f', 0});
    EXPECT_FALSE(HasExif(list.head()));
  }
  {
    BlockList list;
    list.Add(META_EXIF, {'E', 'x', 'i', 'f', 0, 1, 'I', 'I'});
    EXPECT_FALSE(HasExif(list.head()));
  }
  {
    BlockList list;
    list.Add(META_ICC, {1, 2, 3});
    list.Add(META_EXIF, good);
    EXPECT_TRUE(HasExif(list.head()));
  }
  EXPECT_FALSE(HasExif(nullptr));
}

TEST(ExifBlock, BadHeadersReadNothing) {
  TiffBuilder b(false);
  b.Add(b.AddDirectory(), 271, Ascii("Canon"));
  Bytes block = b.Block();
  bool ok = true;
  EXPECT_FALSE(ExifRowsOf(block, &ok).empty());
  EXPECT_TRUE(ok);

  Bytes badMark = block;
  badMark[6] = 'X';
  std::vector<ExifRow> rows = ExifRowsOf(badMark, &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(rows.empty());

  Bytes mixedMark = block;
  mixedMark[7] = 'M';
  ExifRowsOf(mixedMark, &ok);
  EXPECT_FALSE(ok);

  Bytes not42 = block;
  not42[8] = 43;
  rows = ExifRowsOf(not42, &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(rows.empty());

  Bytes tooShort(block.begin(), block.begin() + 10);
  ExifRowsOf(tooShort, &ok);
  EXPECT_FALSE(ok);

  BlockList none;
  none.Add(META_IPTC, block);
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
  EXPECT_EQ(Find(rows, 1, 256), "640");
  EXPECT_EQ(Find(rows, 1, 33434), "<none>");
  EXPECT_EQ(Find(rows, 1, 999), "<none>");
  EXPECT_EQ(Find(rows, 2, 40962), "640");
  EXPECT_EQ(Find(rows, 2, 256), "<none>");
  for (const ExifRow& r : rows) {
    if (r.heading) continue;
    if (r.group == 1 && r.tag == 256) {
      EXPECT_EQ(r.name, "Image width");
    }
    if (r.group == 2 && r.tag == 40962) {
      EXPECT_EQ(r.name, "Image width");
    }
  }
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
  rows = ExifRowsOf(self.Block());
  for (const ExifRow& r : rows) EXPECT_NE(r.group, 8);
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
  int ifd0 = b.AddDirectory();
  b.Add(ifd0, 272, Ascii("Model"));
  Bytes block = b.Block();
  // Claim 200 entries.
  size_t count = 6 + 8;
  block[count + (be() ? 0 : 1)] = 0;
  block[count + (be() ? 1 : 0)] = 200;
  std::vector<ExifRow> rows = ExifRowsOf(block);
  ASSERT_EQ(rows.size(), 1u) << "only the Camera group start";
  EXPECT_TRUE(rows[0].heading);

  // 65535 entries.
  block[count] = 0xFF;
  block[count + 1] = 0xFF;
  EXPECT_EQ(ExifRowsOf(block).size(), 1u);
}

TEST_P(ExifByteOrder, DataMayEndAtTheEntriesOrTwoBytesLater) {
  TiffBuilder b(be());
  int ifd0 = b.AddDirectory();
  b.Add(ifd0, 274, Short({3}));
  Bytes block = b.Block();  // header, count, one entry, next link
  size_t entriesEnd = 6 + 8 + 2 + 12;
  ASSERT_EQ(block.size(), entriesEnd + 4);
  for (size_t cut : {entriesEnd, entriesEnd + 2}) {
    Bytes shorter(block.begin(), block.begin() + (long)cut);
    EXPECT_EQ(Find(ExifRowsOf(shorter), 1, 274), "bottom-right (3)") << cut;
  }
  for (size_t cut : {entriesEnd + 1, entriesEnd + 3, entriesEnd - 1}) {
    Bytes shorter(block.begin(), block.begin() + (long)cut);
    EXPECT_EQ(Find(ExifRowsOf(shorter), 1, 274), "<none>") << cut;
  }
}

TEST_P(ExifByteOrder, BadEntriesAreSkippedAndTheRestShown) {
  TiffBuilder b(be());
  int ifd0 = b.AddDirectory();
  b.AddRaw(ifd0, 270, 13, 4, {'a', 'b', 'c', 0});        // type 13
  b.AddRaw(ifd0, 305, 0, 4, {'a', 'b', 'c', 0});         // type 0
  b.AddRaw(ifd0, 315, 2, 0x40000000, {'x', 'y', 'z', 0}); // a count far past the data
  b.Add(ifd0, 272, Ascii("Model"));
  Bytes block = b.Block();
  std::vector<ExifRow> rows = ExifRowsOf(block);
  EXPECT_EQ(Find(rows, 1, 270), "<none>");
  EXPECT_EQ(Find(rows, 1, 305), "<none>");
  EXPECT_EQ(Find(rows, 1, 315), "<none>");
  EXPECT_EQ(Find(rows, 1, 272), "Model");
}

TEST_P(ExifByteOrder, ValuesEndingExactlyAtTheDataEndAreShown) {
  TiffBuilder b(be());
  int ifd0 = b.AddDirectory();
  b.Add(ifd0, 270, Ascii("last bytes"));  // 11 bytes, padded to 12
  Bytes block = b.Block();
  block.pop_back();  // the pad byte: the text now ends at the data's end
  EXPECT_EQ(Find(ExifRowsOf(block), 1, 270), "last bytes");
  block.pop_back();  // one byte short
  EXPECT_EQ(Find(ExifRowsOf(block), 1, 270), "<none>");
}

// ---- formatting --------------------------------------------------------------

TEST_P(ExifByteOrder, ExposureTimes) {
  EXPECT_EQ(ExifValue(33434, Rational({4, 1000})), "1/250");
  EXPECT_EQ(ExifValue(33434, Rational({1, 250})), "1/250");
  EXPECT_EQ(ExifValue(33434, Rational({1, 2})), "0.50");
  EXPECT_EQ(ExifValue(33434, Rational({1, 4})), "1/4");
  EXPECT_EQ(ExifValue(33434, Rational({30, 1})), "30.00");
  EXPECT_EQ(ExifValue(33434, SRational({-2, 1})), "4.0");
  EXPECT_EQ(ExifValue(33434, Rational({1, 0})), "0.00");
}

TEST_P(ExifByteOrder, ApexValues) {
  EXPECT_EQ(ExifValue(37378, Rational({4, 1})), "F4.0");
  EXPECT_EQ(ExifValue(37378, Rational({3, 1})), "F2.8");
  EXPECT_EQ(ExifValue(37381, Rational({6, 1})), "F8.0");
  EXPECT_EQ(ExifValue(37377, SRational({8, 1})), "1/256");
  EXPECT_EQ(ExifValue(37377, SRational({-1, 1})), "2.00");
  EXPECT_EQ(ExifValue(37377, SRational({100, 1})), "0.00") << "magnitudes of 100 and more give 0";
  EXPECT_EQ(ExifValue(37377, SRational({-150, 1})), "0.00");
}

TEST_P(ExifByteOrder, FNumberSubjectDistanceAndFocalLength) {
  EXPECT_EQ(ExifValue(33437, Rational({28, 10})), "2.8");
  EXPECT_EQ(ExifValue(33437, Rational({16, 1})), "16.0");
  EXPECT_EQ(ExifValue(37382, Rational({7, 2})), "4");
  EXPECT_EQ(ExifValue(37382, Rational({3, 0})), "3/0");
  EXPECT_EQ(ExifValue(37382, Short({3})), "<none>") << "only rationals";
  EXPECT_EQ(ExifValue(37386, Rational({54, 10})), "5.4");
  EXPECT_EQ(ExifValue(37386, Rational({50, 1})), "50.");
}

TEST_P(ExifByteOrder, FlashTellsWhetherItFired) {
  EXPECT_EQ(ExifValue(37385, Short({0x19})), "Flash fired");
  EXPECT_EQ(ExifValue(37385, Short({0x18})), "No flash");
  EXPECT_EQ(ExifValue(37385, Short({0x00})), "No flash");
  EXPECT_EQ(ExifValue(37385, Short({0x01})), "Flash fired");
  // Fired with the return light detected (bits 1 and 2 set): still fired.
  EXPECT_EQ(ExifValue(37385, Short({0x1F})), "Flash fired");
  EXPECT_EQ(ExifValue(37385, Short({0x07})), "Flash fired");
  EXPECT_EQ(ExifValue(37385, Short({0x02})), "<none>") << "not fired with a return status";
  EXPECT_EQ(ExifText(106), std::string("No flash"));
  EXPECT_EQ(ExifText(107), std::string("Flash fired"));
}

TEST_P(ExifByteOrder, ReducedFractions) {
  EXPECT_EQ(MainValue(282, Rational({72, 1})), "72");
  EXPECT_EQ(MainValue(282, Rational({300, 4})), "75");
  EXPECT_EQ(MainValue(282, Rational({10, 4})), "5/2");
  EXPECT_EQ(MainValue(282, Rational({0, 0})), "0");
  EXPECT_EQ(MainValue(282, Rational({5, 0})), "5/0");
  EXPECT_EQ(ExifValue(37380, SRational({-2, 6})), "-1/3");
  EXPECT_EQ(ExifValue(37380, SRational({2, -6})), "-1/3");
  EXPECT_EQ(ExifValue(37380, SRational({-4, -2})), "2");
  EXPECT_EQ(MainValue(282, Rational({4000000000LL, 2})), "2000000000");
}

TEST_P(ExifByteOrder, ValueNamesShowNameAndNumber) {
  EXPECT_EQ(MainValue(274, Short({1})), "top-left (1)");
  EXPECT_EQ(MainValue(274, Short({8})), "left-bottom (8)");
  EXPECT_EQ(MainValue(274, Short({9})), "Unknown (9)");
  EXPECT_EQ(MainValue(531, Short({2})), "co-sited (2)");
  EXPECT_EQ(ExifValue(34850, Short({3})), "Aperture priority (3)");
  EXPECT_EQ(ExifValue(37383, Short({5})), "Multi-segment (5)");
  EXPECT_EQ(ExifValue(37383, Short({255})), "Unknown (255)");
  EXPECT_EQ(ExifValue(37384, Short({21})), "D65 (21)");
  EXPECT_EQ(ExifValue(41488, Short({3})), "cm (3)");
  EXPECT_EQ(ExifValue(41495, Short({2})), "One-chip color area sensor (2)");
  EXPECT_EQ(ExifValue(41986, Short({2})), "Auto bracket (2)");
  EXPECT_EQ(ExifValue(41990, Short({3})), "Night scene (3)");
  EXPECT_EQ(ExifValue(41991, Short({4})), "High gain down (4)");
  EXPECT_EQ(ExifValue(41992, Short({2})), "Hard (2)");
  EXPECT_EQ(ExifValue(41993, Short({1})), "Low (1)");
  EXPECT_EQ(ExifValue(41996, Short({1})), "Macro (1)");
}

TEST_P(ExifByteOrder, ComponentsVersionsAndSources) {
  EXPECT_EQ(ExifValue(37121, Undefined({1, 2, 3, 0})), "YCbCr");
  EXPECT_EQ(ExifValue(37121, Undefined({4, 5, 6, 0})), "RGB uncompressed");
  EXPECT_EQ(ExifValue(37121, Undefined({1, 2, 3, 4})), "4030201");
  EXPECT_EQ(ExifValue(37121, Undefined({1, 2, 3})), "<none>");
  EXPECT_EQ(ExifValue(36864, UndefinedText("0220")), "02.20");
  EXPECT_EQ(ExifValue(40960, UndefinedText("0100")), "01.00");
  EXPECT_EQ(ExifValue(36864, UndefinedText("022")), "<none>");
  EXPECT_EQ(ExifValue(41728, Undefined({3})), "DSC");
  EXPECT_EQ(ExifValue(41728, Undefined({2})), "2");
  EXPECT_EQ(ExifValue(41728, Undefined({3, 0})), "<none>");
  EXPECT_EQ(ExifValue(41729, Undefined({1})), "A directly photographed image");
  EXPECT_EQ(ExifValue(41729, Undefined({0})), "0");
  EXPECT_EQ(ExifValue(40961, Short({1})), "sRGB");
  EXPECT_EQ(ExifValue(40961, Short({65535})), "Uncalibrated");
  EXPECT_EQ(ExifValue(40961, Short({2})), "2");
  EXPECT_EQ(MainValue(296, Short({2})), "Inch");
  EXPECT_EQ(MainValue(296, Short({3})), "Centimeter");
  EXPECT_EQ(MainValue(296, Short({1})), "1");
}

TEST_P(ExifByteOrder, UserComment) {
  std::string ascii("ASCII\0\0\0Hello there", 19);
  EXPECT_EQ(ExifValue(37510, UndefinedText(ascii)), "Hello there");
  std::string blank("ASCII\0\0\0      ", 14);
  EXPECT_EQ(ExifValue(37510, UndefinedText(blank)), "<none>");
  std::string shortBlank("ASCII\0\0\0    ", 12);  // under 13 bytes: the spaces show
  EXPECT_EQ(ExifValue(37510, UndefinedText(shortBlank)), "    ");
  EXPECT_EQ(ExifValue(37510, UndefinedText(std::string("ASCII\0\0\0", 8))), "<none>");
  std::string longText = std::string("ASCII\0\0\0", 8) + std::string(400, 'x');
  EXPECT_EQ(ExifValue(37510, UndefinedText(longText)), std::string(248, 'x'));
}

TEST_P(ExifByteOrder, GenericTypeRules) {
  EXPECT_EQ(MainValue(305, Ascii("Editor 1.0")), "Editor 1.0");
  EXPECT_EQ(MainValue(305, Ascii(std::string(300, 'a'))), std::string(255, 'a'));
  EXPECT_EQ(MainValue(256, Short({640, 480})), "640");
  EXPECT_EQ(MainValue(256, Long({4000000000LL})), "4000000000");
  EXPECT_EQ(ExifValue(37379, SRational({-3, 10})), "-3/10");
  EXPECT_EQ(ExifValue(41989, SShort({-5})), "-5");
  EXPECT_EQ(ExifValue(41989, SLong({-70000})), "-70000");
  EXPECT_EQ(ExifValue(42016, Ascii("0123456789abcdef")), "0123456789abcdef");
  // An empty text gives no row.
  EXPECT_EQ(MainValue(305, Ascii("")), "<none>");
  // UNDEFINED bytes that are not text are summarised.
  EXPECT_EQ(ExifValue(41730, Undefined({0, 2, 0, 2, 0, 1, 1, 2})), "(8 bytes)");
}

TEST_P(ExifByteOrder, FloatsAreTrimmed) {
  Bytes f;
  float value = 2.5f;
  uint32_t bits;
  memcpy(&bits, &value, 4);
  Put(f, bits, 4, be());
  EXPECT_EQ(ExifValue(41989, Raw{11, 1, f}), "2.5");
  Bytes d;
  double dv = 1.25;
  uint64_t dbits;
  memcpy(&dbits, &dv, 8);
  Put(d, dbits, 8, be());
  EXPECT_EQ(ExifValue(41989, Raw{12, 1, d}), "1.25");
  Bytes whole;
  dv = 3.0;
  memcpy(&dbits, &dv, 8);
  Put(whole, dbits, 8, be());
  EXPECT_EQ(ExifValue(41989, Raw{12, 1, whole}), "3.");
}

// ---- GPS -------------------------------------------------------------------

TEST_P(ExifByteOrder, GpsCoordinatesAndReferences) {
  EXPECT_EQ(GpsValue(2, Rational({52, 1, 30, 1, 1234, 100}), "Latitude"),
            "52\xB0 30' 12.34\"");
  EXPECT_EQ(GpsValue(4, Rational({13, 1, 45, 2, 0, 0}), "Longitude"), "13\xB0 45/2' 0.00\"");
  EXPECT_EQ(GpsValue(2, Rational({52, 1}), "Latitude"), "52") << "not three rationals";
  EXPECT_EQ(GpsValue(1, Ascii("N"), "Latitude Ref"), "North");
  EXPECT_EQ(GpsValue(1, Ascii("S"), "Latitude Ref"), "South");
  EXPECT_EQ(GpsValue(3, Ascii("W"), "Longitude Ref"), "West");
  EXPECT_EQ(GpsValue(3, Ascii("Q"), "Longitude Ref"), "Unknown");
  EXPECT_EQ(GpsValue(19, Ascii("N"), "Dest Latitude Ref"), "North");
  EXPECT_EQ(GpsValue(21, Ascii("E"), "Dest Longitude Ref"), "East");
  EXPECT_EQ(GpsValue(9, Ascii("A"), "Status"), "Measurement In Progress");
  EXPECT_EQ(GpsValue(14, Ascii("T"), "Track Ref"), "True North");
  EXPECT_EQ(GpsValue(23, Ascii("M"), "Dest Bearing Ref"), "Magnetic North");
  EXPECT_EQ(GpsValue(10, Ascii("3"), "Measure Mode"), "3-Dimensional Measurement");
  EXPECT_EQ(GpsValue(10, Ascii("7"), "Measure Mode"), "7");
  EXPECT_EQ(GpsValue(25, Ascii("K"), "Dest Distance Ref"), "K");
  EXPECT_EQ(GpsValue(24, Rational({90, 1}), "Dest Bearing"), "90");
}

TEST_P(ExifByteOrder, GpsVersionAltitudeAndTypes) {
  EXPECT_EQ(GpsValue(0, Byte({2, 2, 0, 0}), "Version ID"), "2.2.0.0");
  EXPECT_EQ(GpsValue(5, Byte({0}), "Haltitude Ref"), "Sea Level");
  EXPECT_EQ(GpsValue(5, Byte({1}), "Haltitude Ref"), "") << "unmatched: empty, still a row";
  EXPECT_EQ(GpsValue(6, Rational({1234, 10}), "Haltitude"), "617/5");
  EXPECT_EQ(GpsValue(30, Short({1}), "Differential"), "Differential Corrected");
  EXPECT_EQ(GpsValue(30, Short({7}), "Differential"), "");
  // Rows with a fixed type skip entries of another type.
  EXPECT_EQ(GpsValue(2, Short({52}), "Latitude"), "<none>");
  EXPECT_EQ(GpsValue(5, Short({0}), "Haltitude Ref"), "<none>");
  EXPECT_EQ(GpsValue(31, Short({0}), ""), "<none>") << "not in the dictionary";
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
  EXPECT_STREQ(ExifText(1), "Image width");
  EXPECT_STREQ(ExifText(46), "Date taken");
  EXPECT_STREQ(ExifText(85), "Unknown");
  EXPECT_STREQ(ExifText(101), "Uncalibrated");
  EXPECT_STREQ(ExifText(102), "RGB uncompressed");
  EXPECT_STREQ(ExifText(103), "A directly photographed image");
  EXPECT_STREQ(ExifText(104), "Inch");
  EXPECT_STREQ(ExifText(105), "Centimeter");
  EXPECT_STREQ(ExifText(106), "No flash");
  EXPECT_STREQ(ExifText(107), "Flash fired");
  EXPECT_STREQ(ExifText(0), "");
  EXPECT_STREQ(ExifText(260), "");
  EXPECT_STREQ(ExifText(-1), "");
  for (int n = 1; n <= 259; ++n) EXPECT_STRNE(ExifText(n), "") << n;
}

TEST(ExifTexts, EveryDictionaryRowAndValueNameHasItsText) {
  const TagTable* tables[] = {&kMainDictionary, &kExifDictionary, &kInteropDictionary,
                              &kGpsDictionary};
  const size_t sizes[] = {33, 63, 4, 31};
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(tables[t]->count, sizes[t]);
    for (size_t i = 0; i < tables[t]->count; ++i) {
      const TagRow& row = tables[t]->rows[i];
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
