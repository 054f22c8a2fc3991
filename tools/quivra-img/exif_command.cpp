// quivra-img exif: the EXIF rows of a picture file (camera, image,
// interoperability, thumbnail, GPS and maker-note groups), one per line.
#include <cstdio>

#include "imagelib/metadata/exif_reader.h"
#include "tools/quivra-img/command_registry.h"
#include "tools/quivra-img/metadata_listing.h"

namespace quivra_img {
namespace {

void PrintRow(void* context, int group, int tag, const char* name, const char* value) {
  if (value)
    printf("%d\t%d\t%s\t%s\n", group, tag, TextField(name).c_str(), TextField(value).c_str());
  else
    printf("%d\t0\t%s\n", group, TextField(name).c_str());
  ++*(int*)context;
}

int PrintRows(const MetadataBlock* list) {
  int rows = 0;
  ReadExif(list, PrintRow, &rows);
  return rows;
}

const MetadataListing kListing = {
    "usage: quivra-img exif FILE\n\n"
    "Prints the EXIF rows of FILE, tab-separated: group, tag, name, value; a\n"
    "group's first line holds the group, 0 and the group's name.\n"
    "Exit status: 0 rows printed, 1 no EXIF block, otherwise the library's\n"
    "result code.\n",
    "no EXIF block", HasExif, PrintRows};

int RunExif(const std::vector<std::string>& args) { return RunMetadataListing(args, kListing); }

const CommandRegistration registration("exif", "exif FILE", RunExif);

}  // namespace
}  // namespace quivra_img
