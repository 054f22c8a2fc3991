#include "platform/fs/path_map.h"

#include <cstdlib>
#include <mutex>

#include "platform/text/codepage.h"

namespace platform {
namespace {

std::string& RootStorage() {
  static std::string root = "/";
  return root;
}

}  // namespace

void SetDeviceRoot(const std::string& hostFolder) {
  std::string r = hostFolder.empty() ? "/" : hostFolder;
  if (r.back() != '/') r += '/';
  RootStorage() = r;
}

const std::string& DeviceRoot() { return RootStorage(); }

std::string HostPathFromDevice(const std::u16string& path) {
  std::string utf8 = Utf8FromWide(path);
  if (utf8.find('\\') == std::string::npos) return utf8;  // a host path already
  if (utf8.find('/') != std::string::npos && utf8[0] != '\\') return utf8;
  std::string out = DeviceRoot();
  size_t start = 0;
  while (start < utf8.size() && utf8[start] == '\\') ++start;
  for (size_t i = start; i < utf8.size(); ++i) out += utf8[i] == '\\' ? '/' : utf8[i];
  return out;
}

std::u16string DevicePathFromHost(const std::string& hostPath) {
  const std::string& root = DeviceRoot();
  if (hostPath.compare(0, root.size(), root) != 0) return WideFromUtf8(hostPath);
  std::string rest = "\\" + hostPath.substr(root.size());
  for (char& c : rest)
    if (c == '/') c = '\\';
  return WideFromUtf8(rest);
}

std::string HostTempFolder() {
  const char* t = std::getenv("TMPDIR");
  std::string s = (t && *t) ? t : "/tmp";
  if (s.back() != '/') s += '/';
  return s;
}

}  // namespace platform
