// quivra-img convert: load a picture, apply operations in command-line
// order, save it.
#include <cstdio>
#include <cstring>
#include <string>

#include "imagelib/core/format_registry.h"
#include "tools/quivra-img/command_registry.h"

namespace quivra_img {
namespace {

bool SetFlag(uint8_t* field) {
  *field = 1;
  return true;
}

// The options every conversion has: loading, choosing the writer, and the
// writer settings shared by several formats.
const ConvertOption kBaseOptions[] = {
    {"--page", 1, "N", "picture of a file with several (frame, page, icon)",
     [](const std::vector<std::string>& a, ConvertJob& job, std::string& error) {
       long v;
       if (!ParseInt(a[0], &v) || v < 0) return error = "--page wants a number 0 or more", false;
       job.load.imageIndex = (int32_t)v;
       return true;
     }},
    {"--box", 1, "WxH", "reduce while loading to fit in WxH",
     [](const std::vector<std::string>& a, ConvertJob& job, std::string& error) {
       int w, h;
       if (!ParseSize(a[0], &w, &h) || w < 1 || h < 1) return error = "--box wants WxH", false;
       job.load.maxWidth = w;
       job.load.maxHeight = h;
       return true;
     }},
    {"--smooth", 0, "", "reduce smoothly (averaging) rather than by picking",
     [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
       job.load.scaleMode = 2;
       return true;
     }},
    {"--bgr", 0, "", "load direct colour in B, G, R order",
     [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
       job.load.channelOrder = 1;
       return true;
     }},
    {"--flags", 1, "HEX", "load flags (default 0)",
     [](const std::vector<std::string>& a, ConvertJob& job, std::string& error) {
       long v;
       std::string text = a[0];
       if (text.rfind("0x", 0) != 0 && text.rfind("0X", 0) != 0) text = "0x" + text;
       if (!ParseInt(text, &v) || v < 0) return error = "--flags wants a hexadecimal number", false;
       job.load.flags = (uint32_t)v;
       return true;
     }},
    {"--format", 1, "SHORTNAME", "writer to use (default: from OUT's extension)",
     [](const std::vector<std::string>& a, ConvertJob& job, std::string&) {
       job.formatName = a[0];
       return true;
     }},
    {"--quality", 1, "Q", "JPEG quality 1..100",
     [](const std::vector<std::string>& a, ConvertJob& job, std::string& error) {
       long v;
       if (!ParseInt(a[0], &v) || v < 1 || v > 100) return error = "--quality wants 1..100", false;
       job.save.quality = (uint16_t)v;
       return true;
     }},
    {"--level", 1, "L", "PNG compression level 0..9",
     [](const std::vector<std::string>& a, ConvertJob& job, std::string& error) {
       long v;
       if (!ParseInt(a[0], &v) || v < 0 || v > 9) return error = "--level wants 0..9", false;
       job.save.level = (int16_t)v;
       return true;
     }},
    {"--rle", 0, "", "run-length compression (BMP, Targa)",
     [](const std::vector<std::string>&, ConvertJob& job, std::string&) {
       job.save.rle = 1;
       return true;
     }},
    {"--interlaced", 0, "", "interlaced GIF, progressive JPEG, Adam7 PNG",
     [](const std::vector<std::string>&, ConvertJob& job, std::string&) { return SetFlag(&job.save.interlaced); }},
    {"--os2", 0, "", "write the OS/2 bitmap variant",
     [](const std::vector<std::string>&, ConvertJob& job, std::string&) { return SetFlag(&job.save.os2Bitmap); }},
    {"--gif87a", 0, "", "write the GIF87a signature",
     [](const std::vector<std::string>&, ConvertJob& job, std::string&) { return SetFlag(&job.save.gif87a); }},
};

const ConvertOption* FindOption(const std::string& name) {
  for (const ConvertOption& o : kBaseOptions)
    if (name == o.name) return &o;
  for (const ConvertOption& o : ConvertOptions())
    if (name == o.name) return &o;
  return nullptr;
}

void PrintConvertUsage(FILE* out) {
  fputs("usage: quivra-img convert [load options] [operations] [save options] IN OUT\n\n", out);
  auto line = [out](const ConvertOption& o) {
    std::string left = std::string(o.name) + (o.argCount ? " " + std::string(o.argHelp) : "");
    fprintf(out, "  %-22s %s\n", left.c_str(), o.help);
  };
  for (const ConvertOption& o : kBaseOptions) line(o);
  for (const ConvertOption& o : ConvertOptions()) line(o);
}

// The registry row that writes OUT: --format, else the first row with a
// writer that lists OUT's extension.
int ChooseWriter(const ConvertJob& job, const std::string& out) {
  if (!job.formatName.empty()) return FindFormat(job.formatName.c_str());
  std::u16string path = WidePath(out);
  const FormatRegistry* registry = Formats();
  for (int i = 0; i < registry->count; ++i)
    if ((registry->rows[i].flags & FORMAT_HAS_WRITER) && IsFormatExtension(path.c_str(), i)) return i;
  return -1;
}

int RunConvert(const std::vector<std::string>& args) {
  ConvertJob job;
  LoadOptionsInit(&job.load);
  WriteOptionsInit(&job.save);
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      PrintConvertUsage(stdout);
      return 0;
    }
    if (a.size() > 2 && a[0] == '-' && a[1] == '-') {
      const ConvertOption* option = FindOption(a);
      if (!option) {
        fprintf(stderr, "quivra-img convert: unknown option '%s'\n", a.c_str());
        return 2;
      }
      if (i + option->argCount >= args.size() + (option->argCount ? 0 : 1)) {
        fprintf(stderr, "quivra-img convert: %s wants %d argument(s)\n", a.c_str(), option->argCount);
        return 2;
      }
      std::vector<std::string> values(args.begin() + (long)i + 1, args.begin() + (long)i + 1 + option->argCount);
      i += (size_t)option->argCount;
      std::string error;
      if (!option->handle(values, job, error)) {
        fprintf(stderr, "quivra-img convert: %s\n", error.c_str());
        return 2;
      }
      continue;
    }
    files.push_back(a);
  }
  if (files.size() != 2) {
    PrintConvertUsage(stderr);
    return 2;
  }
  const std::string& in = files[0];
  const std::string& out = files[1];
  int writer = ChooseWriter(job, out);
  if (writer < 0) {
    PrintError(out, RESULT_NO_WRITER, job.formatName.empty() ? "no writer for this extension" : "unknown format");
    return RESULT_NO_WRITER;
  }
  Image image{};
  ImageInfo info{};
  std::u16string inPath = WidePath(in);
  int result = LoadImage(inPath.c_str(), &image, &job.load, &info);
  if (result != 0) {
    PrintError(in, result, info.message);
    ImageInfoFree(&info);
    return result;
  }
  for (size_t k = 0; k < job.steps.size(); ++k) {
    result = job.steps[k](&image);
    if (result != 0) {
      PrintError(in, result, (job.stepNames.size() > k ? job.stepNames[k] : std::string("operation")).c_str());
      ImageFree(&image);
      ImageInfoFree(&info);
      return result;
    }
  }
  job.save.formatIndex = (int16_t)writer;
  std::u16string outPath = WidePath(out);
  std::vector<char16_t> buffer(outPath.begin(), outPath.end());
  buffer.resize(outPath.size() + 70, 0);
  result = SaveImage(buffer.data(), &image, &job.save);
  if (result != 0) PrintError(out, result, nullptr);
  ImageFree(&image);
  ImageInfoFree(&info);
  return result;
}

const CommandRegistration registration("convert",
                                       "convert [load options] [operations] [save options] IN OUT",
                                       RunConvert);

}  // namespace
}  // namespace quivra_img
