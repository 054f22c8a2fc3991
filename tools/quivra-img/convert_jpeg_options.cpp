// `convert` options of the JPEG writer and reader: --optimize,
// --subsampling, --dct, --smoothing, --keep-exif / --no-exif, and
// --thumbnail (load the embedded EXIF thumbnail when there is one).
// --quality and --interlaced (progressive) are general options.
#include <string>
#include <vector>

#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

bool ParseInRange(const std::vector<std::string>& args, const char* name, long low, long high,
                  long* value, std::string& error) {
  if (args.empty() || !ParseInt(args[0], value) || *value < low || *value > high) {
    error = std::string(name) + " wants a number from " + std::to_string(low) + " to " +
            std::to_string(high) + ", not '" + (args.empty() ? std::string() : args[0]) + "'";
    return false;
  }
  return true;
}

const ConvertOptionRegistration optimize({
    "--optimize", 0, "", "JPEG: optimised Huffman tables",
    [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
      job.save.optimizeHuffman = 1;
      return true;
    }});

const ConvertOptionRegistration subsampling({
    "--subsampling", 1, "N", "JPEG chroma subsampling: 0 2x2, 1 2x1, 2 1x1 (none)",
    [](const std::vector<std::string>& args, ConvertJob& job, std::string& error) {
      long value = 0;
      if (!ParseInRange(args, "--subsampling", 0, 2, &value, error)) return false;
      job.save.jpegSubsampling = (uint16_t)value;
      return true;
    }});

const ConvertOptionRegistration dct({
    "--dct", 1, "N", "JPEG DCT method: 1 fast integer, 2 floating point",
    [](const std::vector<std::string>& args, ConvertJob& job, std::string& error) {
      long value = 0;
      if (!ParseInRange(args, "--dct", 1, 2, &value, error)) return false;
      job.save.jpegDctMethod = (uint16_t)value;
      return true;
    }});

const ConvertOptionRegistration smoothing({
    "--smoothing", 1, "N", "JPEG input smoothing factor, 0 to 100",
    [](const std::vector<std::string>& args, ConvertJob& job, std::string& error) {
      long value = 0;
      if (!ParseInRange(args, "--smoothing", 0, 100, &value, error)) return false;
      job.save.jpegSmoothing = (int16_t)value;
      return true;
    }});

const ConvertOptionRegistration keepExif({
    "--keep-exif", 0, "", "keep the EXIF and IPTC blocks of the input in a written JPEG",
    [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
      job.load.flags |= LOAD_KEEP_METADATA;
      job.save.keepExif = 1;
      job.save.keepIptc = 1;
      return true;
    }});

const ConvertOptionRegistration noExif({
    "--no-exif", 0, "", "write no EXIF block into a JPEG",
    [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
      job.save.keepExif = 0;
      return true;
    }});

const ConvertOptionRegistration thumbnail({
    "--thumbnail", 0, "", "load the embedded EXIF thumbnail of a JPEG when it has one",
    [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
      job.load.flags |= LOAD_ALLOW_THUMBNAIL;
      job.load.useThumbnail = 1;
      return true;
    }});

}  // namespace
}  // namespace quivra_img
