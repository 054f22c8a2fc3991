// `convert` operations that change the picture size: --resize WxH (the
// area-weighted resample), --resize-fast WxH (nearest neighbour) and
// --reduce WxH (the smoothing reduction).
#include <string>
#include <vector>

#include "imagelib/ops/resample.h"
#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

using SizeOperation = int (*)(Image* image, int width, int height, bool bgr);

bool AddSizeStep(const std::vector<std::string>& args, ConvertJob& job, std::string& error,
                 const char* name, SizeOperation operation) {
  int width = 0, height = 0;
  if (args.empty() || !ParseSize(args[0], &width, &height) || width < 1 || height < 1) {
    error = std::string(name) + " wants WxH with both sides 1 or more, not '" +
            (args.empty() ? std::string() : args[0]) + "'";
    return false;
  }
  // A palette picture reduced smoothly becomes direct colour in the channel
  // order asked for by a --bgr given before the operation.
  const bool bgr = job.load.channelOrder == 1;
  job.steps.push_back([=](Image* image) { return operation(image, width, height, bgr); });
  job.stepNames.push_back(name);
  return true;
}

const ConvertOptionRegistration resize({
    "--resize", 1, "WxH", "resample to WxH, weighing the covered source area",
    [](const std::vector<std::string>& args, ConvertJob& job, std::string& error) {
      return AddSizeStep(args, job, error, "--resize",
                         [](Image* image, int w, int h, bool) {
                           return Resize(image, nullptr, w, h, 0);
                         });
    }});

const ConvertOptionRegistration resizeFast({
    "--resize-fast", 1, "WxH", "resize to WxH by picking the nearest pixels",
    [](const std::vector<std::string>& args, ConvertJob& job, std::string& error) {
      return AddSizeStep(args, job, error, "--resize-fast",
                         [](Image* image, int w, int h, bool) {
                           return ResizeFast(image, nullptr, w, h);
                         });
    }});

const ConvertOptionRegistration reduce({
    "--reduce", 1, "WxH",
    "smooth reduction to WxH (palette pictures become RGB, or BGR after --bgr; 1-bit become grey)",
    [](const std::vector<std::string>& args, ConvertJob& job, std::string& error) {
      return AddSizeStep(args, job, error, "--reduce",
                         [](Image* image, int w, int h, bool bgr) {
                           return ReduceSmooth(image, nullptr, w, h, bgr);
                         });
    }});

}  // namespace
}  // namespace quivra_img
