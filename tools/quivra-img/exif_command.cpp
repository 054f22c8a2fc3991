// quivra-img exif: the EXIF rows of a picture file (camera, image,
// interoperability, thumbnail, GPS and maker-note groups), one per line.
#include <cstdio>
#include <string>

#include "imagelib/metadata/exif_reader.h"
#include "platform/text/codepage.h"
#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

const char* kUsage =
    "usage: quivra-img exif FILE\n\n"
    "Prints the EXIF rows of FILE, tab-separated: group, tag, name, value; a\n"
    "group's first line holds the group, 0 and the group's name.\n"
    "Exit status: 0 rows printed, 1 no EXIF block, otherwise the library's\n"
    "result code.\n";

// A library text (Windows-1252) as one UTF-8 field: control characters
// would break the line, so they become spaces.
std::string Field(const char* text) {
  std::string bytes = text ? text : "";
  for (char& c : bytes)
    if ((unsigned char)c < 0x20 || c == 0x7F) c = ' ';
  return platform::Utf8FromCp1252(bytes);
}

struct Printer {
  int rows = 0;
};

void PrintRow(void* context, int group, int tag, const char* name, const char* value) {
  Printer* printer = (Printer*)context;
  if (value)
    printf("%d\t%d\t%s\t%s\n", group, tag, Field(name).c_str(), Field(value).c_str());
  else
    printf("%d\t0\t%s\n", group, Field(name).c_str());
  ++printer->rows;
}

int RunExif(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
    fputs(kUsage, stderr);
    return 2;
  }
  const std::string& file = args[0];
  LoadOptions options;
  LoadOptionsInit(&options);
  options.flags = LOAD_KEEP_METADATA | LOAD_NO_PIXELS;
  Image image{};
  ImageInfo info{};
  std::u16string path = WidePath(file);
  int result = LoadImage(path.c_str(), &image, &options, &info);
  const MetadataBlock* metadata = image.metadata ? image.metadata : info.metadata;
  int status;
  if (HasExif(metadata)) {
    Printer printer;
    ReadExif(metadata, PrintRow, &printer);
    status = printer.rows > 0 ? 0 : 1;
  } else if (result != 0) {
    PrintError(file, result, info.message);
    status = result;
  } else {
    fprintf(stderr, "%s: no EXIF block\n", file.c_str());
    status = 1;
  }
  ImageFree(&image);
  ImageInfoFree(&info);
  return status;
}

const CommandRegistration registration("exif", "exif FILE", RunExif);

}  // namespace
}  // namespace quivra_img
