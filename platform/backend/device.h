// The emulated device as a whole: its start options, the screen profile,
// the clock, and the seam between the platform and its two backends
// (an SDL2 window, or headless with a virtual clock).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform {

struct ScreenProfile {
  int width = 176;
  int height = 220;
  int dpi = 96;
  int taskBarHeight = 20;
  int softKeyBarHeight = 20;
  int scrollBarSize = 8;
  int depth = 16;  // 16 (5-6-5), 24, or 8 (palette)
};

// 176 x 220 at 96 dots per inch, or 240 x 320 at 131; other sizes keep the
// first profile's bars.
ScreenProfile ProfileForSize(int width, int height);

struct DeviceOptions {
  ScreenProfile screen;
  bool headless = false;
  std::string script;            // headless: file of driver commands
  std::string screenshotOnExit;  // PNG written when the device stops
  int zoom = 2;                  // SDL: integer scale of the screen
  std::string root = "/";        // host folder of the device root
  std::string registryFile;      // empty: the XDG configuration folder
  uint32_t backHoldMs = 800;     // hold threshold of the Back key
  std::string programPath;       // host path of the executable
  std::string timeZone;          // "UTC", "+HH:MM" or "-HH:MM"; empty: the host's
  std::string language;          // ISO 639 code answered by GetLocaleInfo; empty: the host's
};

// Reads the device's own options (--headless, --script FILE, --screen WxH,
// --depth N, --zoom N, --root DIR, --registry FILE, --screenshot-on-exit
// FILE, --back-hold MS, --time-zone UTC|+HH:MM, --language CODE) from argv; other arguments are returned in `rest`.
// False with a message on a malformed option.
bool ParseDeviceOptions(int argc, char** argv, DeviceOptions* options,
                        std::vector<std::string>* rest, std::string* error);

// The backend interface. The window manager calls it from the UI thread.
class Backend {
 public:
  virtual ~Backend() = default;
  // Milliseconds since the device started (virtual when headless).
  virtual uint32_t Now() = 0;
  // Nothing is queued: wait for input, a post, or the clock to reach
  // `deadline` (a tick count; `hasDeadline` false = no timer pending).
  virtual void Idle(bool hasDeadline, uint32_t deadline) = 0;
  // Turns pending host input into messages without waiting.
  virtual void Poll() = 0;
  // A busy poll found nothing: the program is spinning.
  virtual void Spin() {}
  // Another thread posted a message: wake Idle.
  virtual void Wake() = 0;
  // The screen changed: show it.
  virtual void Present() = 0;
  // Sleep on the UI thread.
  virtual void SleepUi(uint32_t ms) = 0;
};

// Starts (or restarts, with every window, timer and object gone) the device.
bool StartDevice(const DeviceOptions& options);
void StopDevice();
bool DeviceRunning();
const DeviceOptions& CurrentOptions();
const ScreenProfile& Screen();
Backend* CurrentBackend();
bool IsUiThread();

// Backends are created by StartDevice; these are their factories.
std::unique_ptr<Backend> CreateHeadlessBackend(const DeviceOptions& options);
std::unique_ptr<Backend> CreateSdlBackend(const DeviceOptions& options, std::string* error);

}  // namespace platform
