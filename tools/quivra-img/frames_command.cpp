// quivra-img frames: the composed frames of an animated GIF, with their
// display times, optionally written out as pictures.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "imagelib/core/format_registry.h"
#include "imagelib/ops/gif_animation.h"
#include "platform/text/codepage.h"
#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

const char* kUsage =
    "usage: quivra-img frames [--dump DIR] FILE\n\n"
    "Prints the number of frames, the load result, the screen size, then one\n"
    "line per frame: index, display time in ms, transparent index.\n"
    "  --dump DIR  write every composed frame into DIR as frame_NNN.png\n"
    "              (frame_NNN.bmp when no PNG writer is registered)\n";

// The format the frames are written in: PNG when it can be written, else BMP.
int DumpFormat() {
  const FormatRegistry* formats = Formats();
  for (const char* name : {"png", "bmp"}) {
    const int index = FindFormat(name);
    if (index >= 0 && formats && formats->rows[index].writer) return index;
  }
  return -1;
}

int Dump(const GifAnimation& animation, const std::string& folder) {
  const int format = DumpFormat();
  if (format < 0) {
    fprintf(stderr, "frames: no PNG or BMP writer\n");
    return 1;
  }
  mkdir(folder.c_str(), 0755);
  const char* extension = FormatShortName(format);
  WriteOptions options;
  WriteOptionsInit(&options);
  options.formatIndex = (int16_t)format;
  for (uint32_t i = 0; i < animation.frameCount; ++i) {
    char name[64];
    snprintf(name, sizeof name, "/frame_%03u.%s", i, extension);
    std::string file = folder + name;
    std::u16string wide = WidePath(file);
    wide.append(64, u'\0');  // room the writer may use for the name
    const int result = SaveImage(wide.data(), &animation.frames[i].image, &options);
    if (result != RESULT_OK) {
      PrintError(file, result, nullptr);
      return 1;
    }
  }
  return 0;
}

int RunFrames(const std::vector<std::string>& args) {
  std::string dumpFolder;
  std::string file;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--dump" && i + 1 < args.size()) {
      dumpFolder = args[++i];
    } else if (args[i] == "--help" || args[i] == "-h") {
      fputs(kUsage, stdout);
      return 0;
    } else if (file.empty() && (args[i].empty() || args[i][0] != '-')) {
      file = args[i];
    } else {
      fputs(kUsage, stderr);
      return 2;
    }
  }
  if (file.empty()) {
    fputs(kUsage, stderr);
    return 2;
  }
  // The loader takes an 8-bit path in the device's code page.
  const std::string path = platform::Cp1252FromWide(WidePath(file));
  GifAnimation animation{};
  const int result = LoadGifAnimation(path.c_str(), &animation);
  printf("frames: %u\n", animation.frameCount);
  printf("result: %d\n", result);
  const int width = animation.frameCount ? animation.frames[0].image.width : 0;
  const int height = animation.frameCount ? animation.frames[0].image.height : 0;
  printf("width: %d\nheight: %d\n", width, height);
  for (uint32_t i = 0; i < animation.frameCount; ++i)
    printf("%u %u %d\n", i, animation.frames[i].delayMs, animation.frames[i].image.transparentIndex);
  int status = result == RESULT_OK ? 0 : 1;
  if (!dumpFolder.empty() && Dump(animation, dumpFolder) != 0) status = 1;
  GifAnimationFree(&animation);
  return status;
}

CommandRegistration frames("frames", "frames [--dump DIR] FILE", RunFrames);

}  // namespace
}  // namespace quivra_img
