// The Linux entry of a program written for the device: reads the device's
// options, starts the device, calls the program's WinMain with the rest of
// the command line as a UTF-16 device path, and stops the device.
#pragma once

#include "platform/win_types.h"

typedef int (*WinMainFunction)(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

namespace platform {

// Returns the program's exit code (2 for a bad option, 1 when the device
// cannot start).
int RunDeviceProgram(int argc, char** argv, WinMainFunction winMain);

}  // namespace platform
