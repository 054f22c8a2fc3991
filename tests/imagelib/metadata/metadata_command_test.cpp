// quivra-img exif and iptc: their lines, the 8-bit texts printed as UTF-8,
// and their exit statuses, on a JPEG written with hand-built blocks and on
// the corpus files (whose blocks the test finds with its own marker walk).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagelib/metadata/exif_reader.h"
#include "imagelib/metadata/iptc_reader.h"
#include "platform/text/codepage.h"
#include "tests/imagelib/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_fixtures;
using testing_support::FormatsScope;
using testing_support::QuivraImg;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::W;
using testing_support::WriteFileBytes;

int RunTool(const std::string& arguments, std::string* out) {
  return RunCommand("'" + QuivraImg() + "' " + arguments + " 2>/dev/null", out);
}

std::string Field(const std::string& text) {
  std::string bytes = text;
  for (char& c : bytes)
    if ((unsigned char)c < 0x20 || c == 0x7F) c = ' ';
  return platform::Utf8FromCp1252(bytes);
}

// The lines the command should print for rows read from the same blocks.
std::string ExpectedExif(const std::vector<ExifRow>& rows) {
  std::string out;
  for (const ExifRow& r : rows) {
    if (r.heading)
      out += std::to_string(r.group) + "\t0\t" + Field(r.name) + "\n";
    else
      out += std::to_string(r.group) + "\t" + std::to_string(r.tag) + "\t" + Field(r.name) + "\t" +
             Field(r.value) + "\n";
  }
  return out;
}

std::string ExpectedIptc(const std::vector<IptcRow>& rows) {
  std::string out;
  for (const IptcRow& r : rows)
    out += std::to_string(r.dataset) + "\t" + Field(r.name) + "\t" + Field(r.value) + "\n";
  return out;
}

// A small JPEG carrying the given blocks, written by the library.
std::string WriteJpegWith(const TempDir& dir, const std::string& name, const Bytes& exif,
                          const Bytes& iptc) {
  FormatsScope formats;
  Image image{};
  ImageCreate(&image, PIXEL_RGB, 4, 16, 16);
  EXPECT_NE(image.pixels, nullptr);
  if (!image.pixels) return "";
  memset(image.pixels, 0x80, (size_t)image.bytesPerRow * 16);
  BlockList blocks;
  if (!exif.empty()) blocks.Add(META_EXIF, exif);
  if (!iptc.empty()) blocks.Add(META_IPTC, iptc);
  image.metadata = MetadataDuplicate(blocks.head());
  WriteOptions options;
  WriteOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("jpeg");
  options.keepExif = 1;
  options.keepIptc = 1;
  std::string path = dir.File(name);
  std::u16string wide = W(path);
  wide.resize(wide.size() + 70, u'\0');
  int result = SaveImage(wide.data(), &image, &options);
  ImageFree(&image);
  EXPECT_EQ(result, 0);
  return path;
}

TEST(MetadataCommand, PrintsTheRowsOfAWrittenJpeg) {
  TempDir dir;
  TiffBuilder b(false);
  int ifd0 = b.AddDirectory();
  int exif = b.AddDirectory();
  int gps = b.AddDirectory();
  b.Add(ifd0, 271, Ascii("Canon"));
  b.Add(ifd0, 270, Ascii("Caf\xE9 tab\there"));
  b.Point(ifd0, 34665, exif);
  b.Point(ifd0, 34853, gps);
  b.Add(exif, 33434, Rational({1, 125}));
  b.Add(gps, 2, Rational({52, 1, 30, 1, 1234, 100}));
  Bytes iptc = PhotoshopBlock(
      {Resource(0x0404, "", Join({Dataset(2, 120, "Stra\xDF" "e"), Dataset(2, 25, "k1"),
                                  Dataset(2, 25, "k2")}))});
  std::string path = WriteJpegWith(dir, "tagged.jpg", b.Block(), iptc);
  ASSERT_FALSE(path.empty());

  std::string out;
  EXPECT_EQ(RunTool("exif '" + path + "'", &out), 0);
  // Rows in directory order; the tab inside the description becomes a space,
  // the 8-bit texts (e acute, the degree sign) come out as UTF-8.
  EXPECT_EQ(out, "1\t0\tCamera\n"
                 "1\t271\tCamera Manufacturer\tCanon\n"
                 "1\t270\tImage description\tCaf\xC3\xA9 tab here\n"
                 "2\t0\tImage\n"
                 "2\t33434\tExposure time [s]\t1/125\n"
                 "16\t0\tGPS\n"
                 "16\t0\tLatitude\t52\xC2\xB0 30' 12.34\"\n");

  EXPECT_EQ(RunTool("iptc '" + path + "'", &out), 0);
  EXPECT_EQ(out, "25\tKeywords\tk1,k2\n120\tCaption\tStra\xC3\x9F" "e\n");
}

TEST(MetadataCommand, ExitStatuses) {
  TempDir dir;
  std::string plain = WriteJpegWith(dir, "plain.jpg", {}, {});
  ASSERT_FALSE(plain.empty());
  std::string out;
  EXPECT_EQ(RunTool("exif '" + plain + "'", &out), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(RunTool("iptc '" + plain + "'", &out), 1);
  for (const char* command : {"exif '", "iptc '"})
    EXPECT_EQ(RunTool(command + dir.File("missing.jpg") + "'", &out), RESULT_CANNOT_OPEN);
  WriteFileBytes(dir.File("text.jpg"), Bytes(100, 'x'));
  int status = RunTool("exif '" + dir.File("text.jpg") + "'", &out);
  EXPECT_NE(status, 0);
  EXPECT_NE(status, 1);
  EXPECT_EQ(RunTool("exif", &out), 2) << "usage";
  EXPECT_EQ(RunTool("exif --help", &out), 0);
  EXPECT_NE(out.find("usage"), std::string::npos);
}

TEST(MetadataCommand, CorpusFilesPrintWhatTheReadersGiveForTheirSegments) {
  std::vector<std::string> files = CorpusJpegs({"exif-makernotes", "iptc"});
  if (files.empty()) GTEST_SKIP() << "no corpus";
  FormatsScope formats;
  int withExif = 0, withIptc = 0;
  for (size_t i = 0; i < files.size(); i += 3) {  // every third file keeps the run short
    const std::string& file = files[i];
    BlockList list;
    AddJpegMetadata(ReadFileBytes(file), &list);
    std::string out;
    int status = RunTool("exif '" + file + "'", &out);
    // A file the library cannot read gives its result code, whatever the
    // segments hold.
    Image image{};
    ImageInfo info{};
    int load = testing_support::LoadFile(file, &image, LOAD_KEEP_METADATA | LOAD_NO_PIXELS, &info);
    bool kept = image.metadata || info.metadata;
    ImageFree(&image);
    ImageInfoFree(&info);
    if (load != 0 && !kept) {
      EXPECT_EQ(status, load) << file;
      EXPECT_EQ(RunTool("iptc '" + file + "'", &out), load) << file;
      continue;
    }
    if (HasExif(list.head())) {
      bool ok = false;
      std::vector<ExifRow> rows = ExifRows(list.head(), &ok);
      if (ok) {
        EXPECT_EQ(status, 0) << file;
        EXPECT_EQ(out, ExpectedExif(rows)) << file;
        ++withExif;
      }
    } else {
      EXPECT_EQ(status, 1) << file;
    }
    status = RunTool("iptc '" + file + "'", &out);
    if (HasIptc(list.head())) {
      std::vector<IptcRow> rows = IptcRows(list.head());
      EXPECT_EQ(status, rows.empty() ? 1 : 0) << file;
      EXPECT_EQ(out, ExpectedIptc(rows)) << file;
      ++withIptc;
    } else {
      EXPECT_EQ(status, 1) << file;
    }
  }
  EXPECT_GT(withExif, 5);
  EXPECT_GT(withIptc, 2);
}

}  // namespace
