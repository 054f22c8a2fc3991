#include "app/settings/registry_values.h"

#include <cstdio>
#include <string>

#include "platform/text/codepage.h"

namespace {

std::u16string KeyPath(LPCWSTR section) {
  if (!section) return SETTINGS_ROOT_KEY;
  return platform::FormatWide(u"Software\\Quivra\\%s", section);
}

}  // namespace

DWORD ReadSettingNumber(LPCWSTR section, LPCWSTR name, DWORD defaultValue) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return defaultValue;
  DWORD type = REG_NONE, value = 0, size = sizeof value;
  LSTATUS status = RegQueryValueEx(key, name, nullptr, &type, (BYTE*)&value, &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return defaultValue;
  return value;
}

void WriteSettingNumber(LPCWSTR section, LPCWSTR name, DWORD value) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyEx(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS)
    status = RegSetValueEx(key, name, 0, REG_DWORD, (const BYTE*)&value, sizeof value);
  if (status != ERROR_SUCCESS) {
    std::string shown = platform::Utf8FromWide(name ? std::u16string(name) : std::u16string());
    std::fprintf(stderr, "Pb : <%s> \n", shown.c_str());
  }
  if (key) RegCloseKey(key);
}

void ReadSettingString(LPCWSTR section, LPCWSTR name, LPCWSTR defaultValue, LPWSTR buffer,
                       DWORD bufferBytes) {
  const int capacity = (int)(bufferBytes / sizeof(WCHAR));
  if (!buffer || capacity <= 0) return;
  buffer[0] = 0;
  bool found = false;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD type = REG_NONE;
    DWORD size = (DWORD)capacity * sizeof(WCHAR);
    if (RegQueryValueEx(key, name, nullptr, &type, (BYTE*)buffer, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
      // A stored string without its terminator still ends inside the buffer.
      DWORD chars = size / sizeof(WCHAR);
      if (chars < (DWORD)capacity) {
        buffer[chars] = 0;
        found = true;
      } else if (chars > 0 && buffer[chars - 1] == 0) {
        found = true;
      }
    }
    RegCloseKey(key);
  }
  if (!found) {
    buffer[0] = 0;
    if (defaultValue) lstrcpyn(buffer, defaultValue, capacity);
  }
}

void WriteSettingString(LPCWSTR section, LPCWSTR name, LPCWSTR text) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                     nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  if (!text) text = u"";
  RegSetValueEx(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)(lstrlen(text) + 1) * sizeof(WCHAR));
  RegCloseKey(key);
}
