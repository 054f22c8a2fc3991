#include "app/window/debug_console.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

bool DebugConsoleEnabled() {
  const char* value = std::getenv("QUIVRA_DEBUG");
  return value && *value && !(value[0] == '0' && value[1] == 0);
}

void DebugPrint(const char* format, ...) {
  if (!DebugConsoleEnabled()) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}
