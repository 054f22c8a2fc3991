// `convert` options of single readers: --icon-mask (the icon reader turns
// the AND mask of 4-, 8- and 24-bit icons into an alpha channel).
#include <string>
#include <vector>

#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

const ConvertOptionRegistration iconMask({
    "--icon-mask", 0, "",
    "ICO: load 4-, 8- and 24-bit icons with their AND mask as alpha",
    [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
      job.load.iconMaskAlpha = 1;
      return true;
    }});

}  // namespace
}  // namespace quivra_img
