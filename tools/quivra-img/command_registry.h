// quivra-img is a set of subcommands, and `convert` a set of options; each
// lives in its own source file and registers itself with a static object:
//
//   static CommandRegistration frames("frames", "frames [--dump DIR] FILE", RunFrames);
//   static ConvertOptionRegistration rotate({"--rotate", 1, "DEG", "turn by 90, 180 or 270",
//                                            HandleRotate});
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

namespace quivra_img {

// A subcommand: receives its arguments (without the command name) and
// returns the process exit status.
using CommandFunction = int (*)(const std::vector<std::string>& args);

struct CommandRegistration {
  CommandRegistration(const char* name, const char* usage, CommandFunction run);
};

struct Command {
  const char* name;
  const char* usage;
  CommandFunction run;
};
const std::vector<Command>& Commands();

// One operation of `convert`, applied to the loaded picture in command-line
// order; returns a library result code.
using ConvertStep = std::function<int(Image* image)>;

struct ConvertJob {
  LoadOptions load;
  WriteOptions save;
  std::string formatName;            // --format, "" = from OUT's extension
  std::vector<ConvertStep> steps;    // operations in command-line order
  std::vector<std::string> stepNames;
};

// A `convert` option taking `argCount` arguments. The handler changes the
// job (load or save options, or appends a step); it returns false with a
// message for a bad argument.
struct ConvertOption {
  const char* name;
  int argCount;
  const char* argHelp;
  const char* help;
  std::function<bool(const std::vector<std::string>& args, ConvertJob& job, std::string& error)>
      handle;
};

struct ConvertOptionRegistration {
  explicit ConvertOptionRegistration(ConvertOption option);
};
const std::vector<ConvertOption>& ConvertOptions();

// Shared helpers.
std::u16string WidePath(const std::string& path);
// "WxH" -> width, height; false when malformed.
bool ParseSize(const std::string& text, int* width, int* height);
bool ParseInt(const std::string& text, long* value);
// Prints "FILE: CODE (meaning)[: message]" on standard error.
void PrintError(const std::string& file, int code, const char* message);

}  // namespace quivra_img
