// Mapping between device paths ("\My Documents\a.jpg", rooted at a host
// folder) and host paths (UTF-8). Host paths with '/' are accepted as they
// are, so that command-line tools take ordinary Linux paths.
#pragma once

#include <string>

namespace platform {

// The host folder that is the device root ("/" unless set).
void SetDeviceRoot(const std::string& hostFolder);
const std::string& DeviceRoot();

// Device or host path (UTF-16) -> host path (UTF-8).
std::string HostPathFromDevice(const std::u16string& path);
// Host path (UTF-8) -> device path (UTF-16, '\' separators); a host path
// outside the device root is returned with '/' separators unchanged.
std::u16string DevicePathFromHost(const std::string& hostPath);

// The host's temporary folder.
std::string HostTempFolder();

}  // namespace platform
