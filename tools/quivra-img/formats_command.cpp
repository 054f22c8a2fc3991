// quivra-img formats: one line per row of the format table.
#include <cstdio>

#include "imagelib/core/format_registry.h"
#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

int RunFormats(const std::vector<std::string>& args) {
  if (!args.empty()) {
    puts("usage: quivra-img formats\n\nLists the format table: index, short name, description,\n"
         "read/write (r, w, or -), extensions.");
    return args[0] == "--help" ? 0 : 2;
  }
  const FormatRegistry* registry = Formats();
  for (int i = 0; i < registry->count; ++i) {
    const FormatEntry& row = registry->rows[i];
    std::string extensions;
    for (int k = 0; k < kMaxExtensions && row.extensions[k]; ++k) {
      if (k) extensions += ',';
      extensions += row.extensions[k];
    }
    printf("%d\t%s\t%s\t%c%c\t%s\n", i, row.shortName, row.description,
           (row.flags & FORMAT_HAS_READER) ? 'r' : '-', (row.flags & FORMAT_HAS_WRITER) ? 'w' : '-',
           extensions.c_str());
  }
  return 0;
}

const CommandRegistration registration("formats", "formats", RunFormats);

}  // namespace
}  // namespace quivra_img
