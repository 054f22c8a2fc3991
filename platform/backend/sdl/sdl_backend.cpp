#include "platform/backend/device.h"

namespace platform {
std::unique_ptr<Backend> CreateSdlBackend(const DeviceOptions&, std::string* error) {
  if (error) *error = "the SDL2 window backend is not available";
  return nullptr;
}
}  // namespace platform
