#include "tools/quivra-img/command_registry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "imagelib/core/file_stream.h"

namespace quivra_img {
namespace {

std::vector<Command>& CommandList() {
  static std::vector<Command> list;
  return list;
}

std::vector<ConvertOption>& OptionList() {
  static std::vector<ConvertOption> list;
  return list;
}

}  // namespace

CommandRegistration::CommandRegistration(const char* name, const char* usage, CommandFunction run) {
  CommandList().push_back(Command{name, usage, run});
}

const std::vector<Command>& Commands() { return CommandList(); }

ConvertOptionRegistration::ConvertOptionRegistration(ConvertOption option) {
  OptionList().push_back(std::move(option));
}

const std::vector<ConvertOption>& ConvertOptions() { return OptionList(); }

std::u16string WidePath(const std::string& path) { return WideFromUtf8(path); }

bool ParseInt(const std::string& text, long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = strtol(text.c_str(), &end, 0);
  if (errno || !end || *end) return false;
  *value = v;
  return true;
}

bool ParseSize(const std::string& text, int* width, int* height) {
  size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  long w, h;
  if (!ParseInt(text.substr(0, x), &w) || !ParseInt(text.substr(x + 1), &h)) return false;
  if (w < -1 || h < -1 || w > 1000000 || h > 1000000) return false;
  *width = (int)w;
  *height = (int)h;
  return true;
}

void PrintError(const std::string& file, int code, const char* message) {
  if (message && *message)
    fprintf(stderr, "%s: error %d (%s): %s\n", file.c_str(), code, ResultText(code), message);
  else
    fprintf(stderr, "%s: error %d (%s)\n", file.c_str(), code, ResultText(code));
}

}  // namespace quivra_img
