// quivra-img iptc: the IPTC datasets of a picture file, one per line.
#include <cstdio>
#include <string>

#include "imagelib/metadata/iptc_reader.h"
#include "platform/text/codepage.h"
#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

const char* kUsage =
    "usage: quivra-img iptc FILE\n\n"
    "Prints the IPTC datasets of FILE, tab-separated: dataset, name, value.\n"
    "Exit status: 0 rows printed, 1 no IPTC data, otherwise the library's\n"
    "result code.\n";

// A library text (Windows-1252) as one UTF-8 field: control characters
// would break the line, so they become spaces.
std::string Field(const char* text) {
  std::string bytes = text ? text : "";
  for (char& c : bytes)
    if ((unsigned char)c < 0x20 || c == 0x7F) c = ' ';
  return platform::Utf8FromCp1252(bytes);
}

void PrintRow(void* context, int dataset, const char* name, const char* value) {
  printf("%d\t%s\t%s\n", dataset, Field(name).c_str(), Field(value).c_str());
  ++*(int*)context;
}

int RunIptc(const std::vector<std::string>& args) {
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
  if (HasIptc(metadata)) {
    int rows = 0;
    ReadIptc(metadata, PrintRow, &rows);
    status = rows > 0 ? 0 : 1;
  } else if (result != 0) {
    PrintError(file, result, info.message);
    status = result;
  } else {
    fprintf(stderr, "%s: no IPTC data\n", file.c_str());
    status = 1;
  }
  ImageFree(&image);
  ImageInfoFree(&info);
  return status;
}

const CommandRegistration registration("iptc", "iptc FILE", RunIptc);

}  // namespace
}  // namespace quivra_img
