// `convert` operations on the picture itself: --rotate DEG, --tone B,C,G,
// --negative, --autolevels, --autocontrast and --depth MODE[:METHOD].
#include <cstdlib>
#include <string>
#include <vector>

#include "imagelib/ops/convert_depth.h"
#include "imagelib/ops/rotate.h"
#include "imagelib/ops/tone.h"
#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

void AddStep(ConvertJob& job, const char* name, ConvertStep step) {
  job.steps.push_back(std::move(step));
  job.stepNames.push_back(name);
}

bool ParseDouble(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return end && *end == 0;
}

// "a,b,c" split at commas.
std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

const ConvertOptionRegistration rotate({
    "--rotate", 1, "DEG", "turn by 90 (clockwise), -90 or 270 (counter-clockwise) or 180",
    [](const std::vector<std::string>& args, ConvertJob& job, std::string& error) {
      long degrees;
      if (!ParseInt(args[0], &degrees) || degrees < -100000 || degrees > 100000) {
        error = "--rotate wants a number of degrees, not '" + args[0] + "'";
        return false;
      }
      AddStep(job, "--rotate",
              [degrees](Image* image) { return Rotate(image, nullptr, (int)degrees, 0); });
      return true;
    }});

const ConvertOptionRegistration tone({
    "--tone", 1, "B,C,G", "brightness and contrast (-255..255) and gamma (1.0 keeps it)",
    [](const std::vector<std::string>& args, ConvertJob& job, std::string& error) {
      std::vector<std::string> parts = SplitCommas(args[0]);
      long brightness, contrast;
      double gamma;
      if (parts.size() != 3 || !ParseInt(parts[0], &brightness) || !ParseInt(parts[1], &contrast) ||
          !ParseDouble(parts[2], &gamma) || brightness < -255 || brightness > 255 ||
          contrast < -255 || contrast > 255 || !(gamma > 0)) {
        error = "--tone wants BRIGHTNESS,CONTRAST,GAMMA (e.g. 10,-20,1.2), not '" + args[0] + "'";
        return false;
      }
      AddStep(job, "--tone", [=](Image* image) {
        return AdjustTone(image, nullptr, nullptr, (int)brightness, (int)contrast, gamma);
      });
      return true;
    }});

const ConvertOptionRegistration negative({
    "--negative", 0, "", "invert every colour (1-bit pictures: every bit)",
    [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
      AddStep(job, "--negative", [](Image* image) { return Negative(image, nullptr, nullptr); });
      return true;
    }});

const ConvertOptionRegistration autoLevels({
    "--autolevels", 0, "", "stretch each colour channel to the full range",
    [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
      AddStep(job, "--autolevels", [](Image* image) { return AutoLevels(image, nullptr, nullptr); });
      return true;
    }});

const ConvertOptionRegistration autoContrast({
    "--autocontrast", 0, "", "stretch the luminance to the full range",
    [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
      AddStep(job, "--autocontrast",
              [](Image* image) { return AutoContrast(image, nullptr, nullptr); });
      return true;
    }});

const ConvertOptionRegistration depth({
    "--depth", 1, "MODE[:METHOD]",
    "colour depth: 1 black and white (methods 0 threshold, 1 ordered, 2/4 dispersed, "
    "3 clustered, 5 error diffusion); 2..9 grey of 4, 8, 16, 32, 64, 128, 216, 256 levels; "
    "12..18 palette of 8, 16, 32, 64, 128, 216, 256 colours (method 1 ordered dithering, "
    "else the picture's colours or median cut); 19..24 RGB, RGBA, BGR, ABGR, BGRA, ARGB",
    [](const std::vector<std::string>& args, ConvertJob& job, std::string& error) {
      const std::string& text = args[0];
      const size_t colon = text.find(':');
      long mode, method = 0;
      if (!ParseInt(text.substr(0, colon), &mode) ||
          (colon != std::string::npos && !ParseInt(text.substr(colon + 1), &method)) ||
          mode < 1 || mode > 24 || mode == 10 || mode == 11 || method < 0 || method > 255) {
        error = "--depth wants MODE[:METHOD] with MODE 1..9, 12..24, not '" + text + "'";
        return false;
      }
      AddStep(job, "--depth", [mode, method](Image* image) {
        return ConvertDepth(image, nullptr, (int)mode, (int)method);
      });
      return true;
    }});

}  // namespace
}  // namespace quivra_img
