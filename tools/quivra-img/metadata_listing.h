// The frame shared by the commands that list a metadata block's rows
// (exif, iptc): argument checks, loading the file's metadata only, and the
// exit status (0 rows printed, 1 no such block, else the library's code).
#pragma once

#include <string>
#include <vector>

#include "imagelib/core/image.h"

namespace quivra_img {

// A library text (Windows-1252) as one UTF-8 field of a tab-separated
// line: control characters would break the line, so they become spaces.
std::string TextField(const char* text);

struct MetadataListing {
  const char* usage;
  const char* missing;                       // "no EXIF block"
  bool (*has)(const MetadataBlock* list);    // the block is there
  int (*print)(const MetadataBlock* list);   // prints rows, returns their count
};

int RunMetadataListing(const std::vector<std::string>& args, const MetadataListing& listing);

}  // namespace quivra_img
