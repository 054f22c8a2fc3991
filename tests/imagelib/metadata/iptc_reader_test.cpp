// The IPTC reader: the Photoshop resource scan, record-2 datasets, repeated
// and repeatable datasets, their order, damaged blocks, and the real files
// of the corpus against exiftool.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imagelib/metadata/iptc_reader.h"
#include "platform/text/codepage.h"
#include "tests/imagelib/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_fixtures;
using testing_support::CorpusDir;
using testing_support::HaveTool;
using testing_support::ListFiles;
using testing_support::ReadFileBytes;

// A Photoshop block whose IPTC resource holds the datasets.
Bytes IptcBlock(const std::vector<Bytes>& datasets) {
  return PhotoshopBlock({Resource(0x0404, "", Join(datasets))});
}

std::vector<IptcRow> RowsOf(const Bytes& block) {
  BlockList list;
  list.Add(META_IPTC, block);
  return IptcRows(list.head());
}

std::vector<std::string> Texts(const std::vector<IptcRow>& rows) {
  std::vector<std::string> out;
  for (const IptcRow& r : rows)
    out.push_back(std::to_string(r.dataset) + " " + r.name + "=" + r.value);
  return out;
}

TEST(IptcReader, DatasetsAreShownInNumberOrderWithTheirNames) {
  struct Case {
    const char* name;
    std::vector<Bytes> datasets;
    std::vector<std::string> expected;
  } cases[] = {
      {"number order",
       {Dataset(2, 120, "A caption"), Dataset(2, 5, "The object"), Dataset(2, 80, "Someone"),
        Dataset(2, 116, "(c) nobody")},
       {"5 Object Name=The object", "80 Byline=Someone", "116 CopyrightNotice=(c) nobody",
        "120 Caption=A caption"}},
      {"repeatable joined, others keep the last",
       {Dataset(2, 25, "a"), Dataset(2, 120, "first"), Dataset(2, 25, "b"), Dataset(2, 20, "x"),
        Dataset(2, 25, "c"), Dataset(2, 120, "second"), Dataset(2, 118, "me"),
        Dataset(2, 118, "you"), Dataset(2, 27, "Paris")},
       {"20 Supplemental Categories=x", "25 Keywords=a,b,c", "27 Content location name=Paris",
        "118 Contact=me,you", "120 Caption=second"}},
      {"unknown datasets and other records",
       {Dataset(2, 200, "private"), Dataset(1, 90, "\x1b%G"), Dataset(2, 5, "name"),
        Dataset(3, 5, "record three")},
       {"5 Object Name=name", "200 ???" "?=private"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Texts(RowsOf(IptcBlock(c.datasets))), c.expected);
  }
}

TEST(IptcReader, ResourceNamesOfOneAndTwoCharacters) {
  Bytes data = Dataset(2, 5, "found");
  for (const std::string& name : {std::string("a"), std::string("ab"), std::string("abc"),
                                  std::string("")}) {
    Bytes block =
        PhotoshopBlock({Resource(0x03ED, "x", Bytes(16, 1)), Resource(0x0404, name, data)});
    EXPECT_EQ(Texts(RowsOf(block)), (std::vector<std::string>{"5 Object Name=found"})) << name;
    BlockList list;
    list.Add(META_IPTC, block);
    EXPECT_TRUE(HasIptc(list.head()));
  }
}

TEST(IptcReader, BlocksWithoutTheResource) {
  Bytes data = Dataset(2, 5, "x");
  BlockList none;
  none.Add(META_IPTC, PhotoshopBlock({Resource(0x03ED, "", Bytes(16, 0))}));
  EXPECT_FALSE(HasIptc(none.head()));
  EXPECT_TRUE(IptcRows(none.head()).empty());

  Bytes unsigned_ = IptcBlock({data});
  unsigned_[0] = 'p';
  EXPECT_TRUE(RowsOf(unsigned_).empty());

  BlockList wrongKind;
  wrongKind.Add(META_EXIF, IptcBlock({data}));
  EXPECT_FALSE(HasIptc(wrongKind.head()));
  EXPECT_FALSE(HasIptc(nullptr));
}

TEST(IptcReader, TheLastBlockHoldingTheResourceIsRead) {
  BlockList list;
  list.Add(META_IPTC, IptcBlock({Dataset(2, 5, "first")}));
  list.Add(META_IPTC, PhotoshopBlock({Resource(0x03ED, "", Bytes(8, 0))}));
  list.Add(META_IPTC, IptcBlock({Dataset(2, 5, "last")}));
  list.Add(META_IPTC, PhotoshopBlock({}));
  EXPECT_EQ(Texts(IptcRows(list.head())), (std::vector<std::string>{"5 Object Name=last"}));
}

TEST(IptcReader, DatasetsRunningPastTheBlockEndTheDecoding) {
  Bytes data = Join({Dataset(2, 5, "kept"), Dataset(2, 120, "lost caption")});
  Bytes block = IptcBlock({data});
  if (data.size() & 1) block.pop_back();
  block.resize(block.size() - 4);  // cut into the caption
  EXPECT_EQ(Texts(RowsOf(block)), (std::vector<std::string>{"5 Object Name=kept"}));

  // A declared resource length beyond the block is cut to the block.
  Bytes longer = IptcBlock({Dataset(2, 5, "still here")});
  size_t lengthAt = 14 + 4 + 2 + 2 + 2;
  longer[lengthAt] = 0x7F;
  EXPECT_EQ(Texts(RowsOf(longer)), (std::vector<std::string>{"5 Object Name=still here"}));

  // A dataset length of 65535 in a short block.
  Bytes huge = IptcBlock({Dataset(2, 5, "abc")});
  huge[14 + 12 + 3] = 0xFF;
  huge[14 + 12 + 4] = 0xFF;
  EXPECT_TRUE(RowsOf(huge).empty());
}

TEST(IptcReader, TruncatedAndFlippedBlocksAreSafe) {
  Bytes data = Join({Dataset(2, 25, "one"), Dataset(2, 25, "two"), Dataset(2, 120, "caption"),
                     Dataset(2, 5, "name"), Dataset(2, 90, "City")});
  Bytes block = PhotoshopBlock({Resource(0x03ED, "n", Bytes(10, 3)), Resource(0x0404, "ab", data)});
  for (size_t cut = 0; cut <= block.size(); ++cut) {
    Bytes shorter(block.begin(), block.begin() + (long)cut);
    for (const IptcRow& r : RowsOf(shorter)) EXPECT_LE(r.value.size(), block.size());
  }
  uint32_t seed = 99;
  for (int round = 0; round < 2000; ++round) {
    Bytes flipped = block;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245u + 12345u;
      flipped[(seed >> 8) % flipped.size()] ^= (uint8_t)(1u << ((seed >> 4) & 7));
    }
    RowsOf(flipped);
  }
  SUCCEED();
}

// ---- real files ----------------------------------------------------------------

// exiftool's IPTC tag name of each dataset we name.
const std::map<int, std::string> kExiftoolNames = {
    {5, "ObjectName"},         {7, "EditStatus"},       {10, "Urgency"},
    {15, "Category"},          {20, "SupplementalCategories"}, {22, "FixtureIdentifier"},
    {25, "Keywords"},          {27, "ContentLocationName"}, {30, "ReleaseDate"},
    {35, "ReleaseTime"},       {40, "SpecialInstructions"}, {45, "ReferenceService"},
    {50, "ReferenceNumber"},   {55, "DateCreated"},     {60, "TimeCreated"},
    {65, "OriginatingProgram"}, {70, "ProgramVersion"}, {75, "ObjectCycle"},
    {80, "By-line"},           {85, "By-lineTitle"},    {90, "City"},
    {92, "Sub-location"},      {95, "Province-State"},  {100, "Country-PrimaryLocationCode"},
    {101, "Country-PrimaryLocationName"}, {103, "OriginalTransmissionReference"},
    {105, "Headline"},         {110, "Credit"},         {115, "Source"},
    {116, "CopyrightNotice"},  {118, "Contact"},        {120, "Caption-Abstract"},
    {122, "Writer-Editor"}};

TEST(IptcConformance, CorpusFilesAgreeWithExiftool) {
  std::string folder = CorpusDir("iptc");
  if (folder.empty()) GTEST_SKIP() << "no corpus";
  if (!HaveTool("exiftool")) GTEST_SKIP() << "exiftool missing";
  std::vector<std::string> files = ListFiles(folder, ".jpg");
  // Raw values (-n) so that dates and codes are compared as stored; lists
  // of repeatable datasets come joined by "," as we join them.
  std::map<std::string, ToolTags> tool = ExiftoolTags(files, true, "-IPTC:all -sep ,");
  int compared = 0, filesWithRows = 0;
  for (const std::string& file : files) {
    BlockList list;
    AddJpegMetadata(ReadFileBytes(file), &list);
    std::vector<IptcRow> rows = IptcRows(list.head());
    const ToolTags& tags = tool[file];
    if (!rows.empty()) {
      EXPECT_TRUE(HasIptc(list.head())) << file;
      ++filesWithRows;
    }
    for (const IptcRow& r : rows) {
      auto name = kExiftoolNames.find(r.dataset);
      if (name == kExiftoolNames.end()) continue;
      auto it = tags.find("IPTC:" + name->second);
      if (it == tags.end()) continue;
      std::string ours = platform::Utf8FromCp1252(r.value);
      std::string theirs = it->second;
      // exiftool's argument lines show line breaks as "."; its dates and
      // times gain ":" separators even as raw values.
      for (char& c : ours)
        if (c == '\r' || c == '\n') c = '.';
      if (r.dataset == 30 || r.dataset == 35 || r.dataset == 55 || r.dataset == 60)
        theirs.erase(std::remove(theirs.begin(), theirs.end(), ':'), theirs.end());
      // exiftool keeps every occurrence of a dataset we show once (the last).
      size_t comma = theirs.rfind(',');
      if (theirs != ours && comma != std::string::npos && r.dataset != 20 && r.dataset != 25 &&
          r.dataset != 27 && r.dataset != 118 && ours.find(',') == std::string::npos)
        theirs = theirs.substr(comma + 1);
      EXPECT_EQ(ours, theirs) << file << " dataset " << r.dataset;
      ++compared;
    }
    // Every record-2 dataset exiftool shows under a name we know is a row of ours.
    for (const auto& [dataset, toolName] : kExiftoolNames) {
      if (!tags.count("IPTC:" + toolName)) continue;
      bool found = false;
      for (const IptcRow& r : rows) found |= r.dataset == dataset;
      EXPECT_TRUE(found) << file << " lacks dataset " << dataset;
    }
  }
  EXPECT_GT(filesWithRows, 10);
  EXPECT_GT(compared, 40);
}

}  // namespace
