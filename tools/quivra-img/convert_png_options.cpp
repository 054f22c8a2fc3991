// `convert` options of the PNG writer and reader: --filter and --flatten
// (composite transparency onto white while loading). --level and
// --interlaced (Adam7) are general options.
#include <string>
#include <vector>

#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

const ConvertOptionRegistration filter({
    "--filter", 1, "N",
    "PNG row filter: 0 libpng's choice, 1 sub, 2 up, 3 average, 4 Paeth, 5 all",
    [](const std::vector<std::string>& args, ConvertJob& job, std::string& error) {
      long value = 0;
      if (args.empty() || !ParseInt(args[0], &value) || value < 0 || value > 5) {
        error = "--filter wants a number from 0 to 5, not '" +
                (args.empty() ? std::string() : args[0]) + "'";
        return false;
      }
      job.save.pngFilter = (uint16_t)value;
      return true;
    }});

const ConvertOptionRegistration flatten({
    "--flatten", 0, "",
    "PNG: composite alpha and partial palette transparency onto white while loading",
    [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
      job.load.flattenAlpha = 1;
      job.load.flattenTransparency = 1;
      return true;
    }});

}  // namespace
}  // namespace quivra_img
