// quivra-img: the command-line face of the image library.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/core/format_registry.h"
#include "tools/quivra-img/command_registry.h"

namespace {

void PrintUsage(FILE* out) {
  fputs("usage: quivra-img COMMAND [options] ...\n\ncommands:\n", out);
  for (const auto& c : quivra_img::Commands()) fprintf(out, "  %s\n", c.usage);
  fputs("\n'quivra-img COMMAND --help' describes one command.\n", out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !strcmp(argv[1], "--help") || !strcmp(argv[1], "-h") || !strcmp(argv[1], "help")) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  std::string name = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const auto& c : quivra_img::Commands()) {
    if (name != c.name) continue;
    RegisterFormats(1);
    int status = c.run(args);
    UnregisterFormats();
    return status;
  }
  fprintf(stderr, "quivra-img: unknown command '%s'\n", name.c_str());
  PrintUsage(stderr);
  return 2;
}
