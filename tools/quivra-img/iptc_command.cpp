// quivra-img iptc: the IPTC datasets of a picture file, one per line.
#include <cstdio>

#include "imagelib/metadata/iptc_reader.h"
#include "tools/quivra-img/command_registry.h"
#include "tools/quivra-img/metadata_listing.h"

namespace quivra_img {
namespace {

void PrintRow(void* context, int dataset, const char* name, const char* value) {
  printf("%d\t%s\t%s\n", dataset, TextField(name).c_str(), TextField(value).c_str());
  ++*(int*)context;
}

int PrintRows(const MetadataBlock* list) {
  int rows = 0;
  ReadIptc(list, PrintRow, &rows);
  return rows;
}

const MetadataListing kListing = {
    "usage: quivra-img iptc FILE\n\n"
    "Prints the IPTC datasets of FILE, tab-separated: dataset, name, value.\n"
    "Exit status: 0 rows printed, 1 no IPTC data, otherwise the library's\n"
    "result code.\n",
    "no IPTC data", HasIptc, PrintRows};

int RunIptc(const std::vector<std::string>& args) { return RunMetadataListing(args, kListing); }

const CommandRegistration registration("iptc", "iptc FILE", RunIptc);

}  // namespace
}  // namespace quivra_img
