#include "tools/quivra-img/metadata_listing.h"

#include <cstdio>

#include "imagelib/core/format_registry.h"
#include "platform/text/codepage.h"
#include "tools/quivra-img/command_registry.h"

namespace quivra_img {

std::string TextField(const char* text) {
  std::string bytes = text ? text : "";
  for (char& c : bytes)
    if ((unsigned char)c < 0x20 || c == 0x7F) c = ' ';
  return platform::Utf8FromCp1252(bytes);
}

int RunMetadataListing(const std::vector<std::string>& args, const MetadataListing& listing) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    fputs(listing.usage, stdout);
    return 0;
  }
  if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
    fputs(listing.usage, stderr);
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
  if (listing.has(metadata)) {
    status = listing.print(metadata) > 0 ? 0 : 1;
  } else if (result != 0) {
    PrintError(file, result, info.message);
    status = result;
  } else {
    fprintf(stderr, "%s: %s\n", file.c_str(), listing.missing);
    status = 1;
  }
  ImageFree(&image);
  ImageInfoFree(&info);
  return status;
}

}  // namespace quivra_img
