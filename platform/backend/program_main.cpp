#include "platform/backend/program_main.h"

#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/backend/device.h"
#include "platform/fs/path_map.h"
#include "platform/text/codepage.h"
#include "platform/window/messages.h"
#include "platform/window/window.h"

namespace platform {

int RunDeviceProgram(int argc, char** argv, WinMainFunction winMain) {
  DeviceOptions options;
  std::vector<std::string> rest;
  std::string error;
  if (!ParseDeviceOptions(argc, argv, &options, &rest, &error)) {
    std::fprintf(stderr, "%s: %s\n", argc > 0 ? argv[0] : "quivra", error.c_str());
    return 2;
  }
  char exe[PATH_MAX];
  if (realpath("/proc/self/exe", exe)) options.programPath = exe;
  if (!StartDevice(options)) return 1;
  // The command line is one picture path: a host path is turned into the
  // device's form.
  std::u16string commandLine;
  if (!rest.empty()) {
    std::string path = rest[0];
    char absolute[PATH_MAX];
    if (!path.empty() && path[0] != '\\' && realpath(path.c_str(), absolute)) path = absolute;
    commandLine = path[0] == '\\' ? WideFromUtf8(path) : DevicePathFromHost(path);
  }
  std::vector<WCHAR> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(0);
  int code = winMain(GetModuleHandle(nullptr), nullptr, buffer.data(), SW_SHOW);
  StopDevice();
  return code;
}

}  // namespace platform
