#include "app/settings/settings.h"

#include <cstdio>

#include "app/settings/registry_values.h"

namespace {

// Paths are read into buffers of a full device path (MAX_PATH characters),
// so that any folder the browser can show survives a restart.
constexpr DWORD kPathBytes = MAX_PATH * sizeof(WCHAR);

// A stored number outside the values a field can take is read as the
// field's default: these fields select entries of fixed lists.
int32_t InRange(DWORD value, int32_t low, int32_t high, int32_t fallback) {
  int32_t v = (int32_t)value;
  return v >= low && v <= high ? v : fallback;
}

int32_t SortCode(DWORD value, int32_t fallback) {
  if ((value & ~0x10FFu) != 0 || (value & 0xFFu) > 4) return fallback;
  return (int32_t)value;
}

void LoadChoices(LPCWSTR section, SaveChoices* c) {
  const SaveChoices defaults;
  c->format = InRange(ReadSettingNumber(section, u"Format", defaults.format), 0, 3, defaults.format);
  c->quality = (int32_t)ReadSettingNumber(section, u"Quality", defaults.quality);
  c->level = (int32_t)ReadSettingNumber(section, u"Level", defaults.level);
  c->exif = ReadSettingNumber(section, u"EXIF", defaults.exif) != 0;
}

void SaveChoicesTo(LPCWSTR section, const SaveChoices& c) {
  WriteSettingNumber(section, u"Format", (DWORD)c.format);
  WriteSettingNumber(section, u"Quality", (DWORD)c.quality);
  WriteSettingNumber(section, u"Level", (DWORD)c.level);
  WriteSettingNumber(section, u"EXIF", c.exif ? 1 : 0);
}

std::u16string FavoriteName(int i) { return platform::FormatWide(u"File-%02d", i); }

// Reads favorite `i` of the open key; false when it is missing, does not
// fit a path buffer, or is not a string.
bool QueryFavorite(HKEY key, int i, std::u16string* out) {
  WCHAR buffer[MAX_PATH];
  DWORD type = REG_NONE, size = kPathBytes;
  if (RegQueryValueEx(key, FavoriteName(i).c_str(), nullptr, &type, (BYTE*)buffer, &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  DWORD chars = size / sizeof(WCHAR);
  if (chars < MAX_PATH)
    buffer[chars] = 0;
  else if (buffer[MAX_PATH - 1] != 0)
    return false;
  if (out) *out = buffer;
  return true;
}

}  // namespace

void Settings::Load() {
  const Settings d;  // the defaults
  WCHAR buffer[MAX_PATH];
  ReadSettingString(nullptr, u"Path", u"\\", buffer, kPathBytes);
  path = buffer;
  if (path == u"\\") {
    WCHAR pictures[MAX_PATH] = {0};
    if (SHGetSpecialFolderPath(nullptr, pictures, CSIDL_MYPICTURES, FALSE) && lstrlen(pictures) > 1)
      path = std::u16string(pictures) + u"\\";
  }

  mode = InRange(ReadSettingNumber(nullptr, u"Mode", d.mode), 0, 3, d.mode);
  useEmbedded = ReadSettingNumber(nullptr, u"UseEmbedded", d.useEmbedded) != 0;
  highQuality = ReadSettingNumber(nullptr, u"HighQuality", d.highQuality) != 0;
  showFilename = ReadSettingNumber(nullptr, u"ShowFilename", d.showFilename) != 0;
  showExt = ReadSettingNumber(nullptr, u"ShowExt", d.showExt) != 0;
  thumbSize = InRange(ReadSettingNumber(nullptr, u"ThumbSize", d.thumbSize), 0, 2, d.thumbSize);
  sortBy = SortCode(ReadSettingNumber(nullptr, u"SortBy", d.sortBy), d.sortBy);
  fit = InRange(ReadSettingNumber(nullptr, u"Fit", d.fit), 0, 5, d.fit);
  rotate = InRange(ReadSettingNumber(nullptr, u"Rotate", d.rotate), 0, 4, d.rotate);
  autoROnlyFull = ReadSettingNumber(nullptr, u"AutoROnlyFull", d.autoROnlyFull) != 0;
  resizeBigPicture =
      InRange(ReadSettingNumber(nullptr, u"ResizeBigPicture", d.resizeBigPicture), 0, 4, d.resizeBigPicture);
  noBWResize = ReadSettingNumber(nullptr, u"NoBWResize", d.noBWResize) != 0;
  delay = (int32_t)ReadSettingNumber(nullptr, u"Delay", d.delay);
  useTransition = ReadSettingNumber(nullptr, u"UseTransition", d.useTransition) != 0;
  useLoop = ReadSettingNumber(nullptr, u"UseLoop", d.useLoop) != 0;
  LoadChoices(u"Save", &save);
  LoadChoices(u"Capture", &capture);

  ReadSettingString(u"Capture", u"Path", u"", buffer, kPathBytes);
  capturePath = buffer;

  favorites.clear();
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, SETTINGS_FAVORITES_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return;
  std::u16string favorite;
  for (int i = 0; i < kMaxFavorites && QueryFavorite(key, i, &favorite); ++i)
    favorites.push_back(favorite);
  RegCloseKey(key);
}

void Settings::Save() {
  WriteSettingString(nullptr, u"Path", path.c_str());
  WriteSettingNumber(nullptr, u"Mode", (DWORD)mode);
  WriteSettingNumber(nullptr, u"UseEmbedded", useEmbedded ? 1 : 0);
  WriteSettingNumber(nullptr, u"HighQuality", highQuality ? 1 : 0);
  WriteSettingNumber(nullptr, u"ShowFilename", showFilename ? 1 : 0);
  WriteSettingNumber(nullptr, u"ShowExt", showExt ? 1 : 0);
  WriteSettingNumber(nullptr, u"ThumbSize", (DWORD)thumbSize);
  WriteSettingNumber(nullptr, u"SortBy", (DWORD)sortBy);
  WriteSettingNumber(nullptr, u"Fit", (DWORD)fit);
  WriteSettingNumber(nullptr, u"Rotate", (DWORD)rotate);
  WriteSettingNumber(nullptr, u"AutoROnlyFull", autoROnlyFull ? 1 : 0);
  WriteSettingNumber(nullptr, u"ResizeBigPicture", (DWORD)resizeBigPicture);
  WriteSettingNumber(nullptr, u"NoBWResize", noBWResize ? 1 : 0);
  WriteSettingNumber(nullptr, u"Delay", (DWORD)delay);
  WriteSettingNumber(nullptr, u"UseTransition", useTransition ? 1 : 0);
  WriteSettingNumber(nullptr, u"UseLoop", useLoop ? 1 : 0);
  SaveChoicesTo(u"Save", save);
  SaveChoicesTo(u"Capture", capture);
  WriteSettingString(u"Capture", u"Path", capturePath.c_str());

  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, SETTINGS_FAVORITES_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                     &key, nullptr) != ERROR_SUCCESS)
    return;
  // The old list: every consecutive value from number 00 on.
  for (int i = 0; i < kMaxFavorites && QueryFavorite(key, i, nullptr); ++i)
    RegDeleteValue(key, FavoriteName(i).c_str());
  for (size_t i = 0; i < favorites.size(); ++i) {
    const std::u16string& f = favorites[i];
    if (RegSetValueEx(key, FavoriteName((int)i).c_str(), 0, REG_SZ, (const BYTE*)f.c_str(),
                      (DWORD)((f.size() + 1) * sizeof(WCHAR))) != ERROR_SUCCESS)
      std::fprintf(stderr, "error");
  }
  RegCloseKey(key);
}
