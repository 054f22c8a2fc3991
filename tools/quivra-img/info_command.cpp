// quivra-img info: what the library reports about picture files.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "imagelib/core/format_registry.h"
#include "platform/text/codepage.h"
#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

const char* kUsage =
    "usage: quivra-img info [--page N] [--flags HEX] FILE...\n\n"
    "Prints key: value lines for each file (files separated by a blank line).\n"
    "  --page N     picture of a file with several (frame, page, icon)\n"
    "  --flags HEX  load flags (default 0x70000: keep comment, texts, metadata)\n";

const char* MetadataKind(uint32_t kind) {
  switch (kind) {
    case META_EXIF: return "EXIF";
    case META_IPTC: return "IPTC";
    case META_XMP: return "XMP";
    case META_ICC: return "ICC";
    default: return "UNKNOWN";
  }
}

std::string Text(const char* s) { return platform::Utf8FromCp1252(s ? s : ""); }

int InfoOne(const std::string& file, long page, uint32_t flags) {
  LoadOptions options;
  LoadOptionsInit(&options);
  options.flags = flags | LOAD_NO_PIXELS;
  options.imageIndex = (int32_t)page;
  Image image{};
  ImageInfo info{};
  std::u16string path = WidePath(file);
  int result = LoadImage(path.c_str(), &image, &options, &info);
  printf("file: %s\n", file.c_str());
  printf("result: %d\n", result);
  const char* format = FormatShortName(info.formatIndex);
  printf("format: %s\n", result == 0 && format ? format : "");
  if (result == 0 || result == RESULT_NOT_COMPLETE || result == RESULT_CORRUPT) {
    char compression[64];
    CompressionText(compression, sizeof compression, info.compression, info.compressionText);
    printf("formatText: %s\n", Text(info.formatText).c_str());
    printf("width: %d\nheight: %d\n", info.width, info.height);
    printf("bitsPerSample: %u\nsamplesPerPixel: %u\n", info.bitsPerSample, info.samplesPerPixel);
    printf("planes: %u\nbitsPerPlane: %u\nbytesPerPlane: %d\n", info.planes, info.bitsPerPlane,
           info.bytesPerPlane);
    printf("xDpi: %u\nyDpi: %u\n", info.xDpi, info.yDpi);
    printf("compression: %s\n", Text(compression).c_str());
    printf("colourModel: %s\n", ColourModelName(info.colourModel));
    printf("imageCount: %u\n", info.imageCount);
    printf("interlaced: %u\n", info.interlaced);
    printf("fileSize: %u\n", info.fileSize);
    if (flags & LOAD_ESTIMATE_QUALITY) printf("quality: %u\n", info.readerValue3);
  }
  if (info.message[0]) printf("message: %s\n", Text(info.message).c_str());
  if (image.comment) printf("comment: %s\n", Text(image.comment).c_str());
  for (int i = 0; i < info.textCount; ++i) printf("text: %s\n", Text(info.texts[i]).c_str());
  for (const MetadataBlock* b = image.metadata; b; b = b->next)
    printf("metadata: %s %u\n", MetadataKind(b->kind), b->size);
  if (result != 0) PrintError(file, result, info.message);
  ImageFree(&image);
  ImageInfoFree(&info);
  return result;
}

int RunInfo(const std::vector<std::string>& args) {
  long page = 0;
  long flags = LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS | LOAD_KEEP_METADATA;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      fputs(kUsage, stdout);
      return 0;
    }
    if ((a == "--page" || a == "--flags") && i + 1 < args.size()) {
      long v;
      std::string text = args[++i];
      if (a == "--flags" && text.rfind("0x", 0) != 0 && text.rfind("0X", 0) != 0) text = "0x" + text;
      if (!ParseInt(text, &v) || v < 0) {
        fprintf(stderr, "quivra-img info: bad value '%s' for %s\n", args[i].c_str(), a.c_str());
        return 2;
      }
      (a == "--page" ? page : flags) = v;
      continue;
    }
    if (a.size() > 1 && a[0] == '-' && a != "-") {
      fprintf(stderr, "quivra-img info: unknown option '%s'\n%s", a.c_str(), kUsage);
      return 2;
    }
    files.push_back(a);
  }
  if (files.empty()) {
    fputs(kUsage, stderr);
    return 2;
  }
  int status = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    if (i) putchar('\n');
    int result = InfoOne(files[i], page, (uint32_t)flags);
    if (result != 0 && status == 0) status = result;
  }
  return status;
}

const CommandRegistration registration("info", "info [--page N] [--flags HEX] FILE...", RunInfo);

}  // namespace
}  // namespace quivra_img
