// The settings record over the registry: every default on a fresh device,
// every value surviving a restart of the program, wrong types and unusable
// values, and the rules of the favorites list.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "app/settings/registry_values.h"
#include "app/settings/settings.h"
#include "platform/windows.h"

namespace {

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quivra-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    file_ = dir_ + "/registry.db";
    // The pictures folder comes from the XDG user folders of this test.
    const char* old = getenv("XDG_CONFIG_HOME");
    if (old) oldConfig_ = old, hadConfig_ = true;
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    pictures_ = dir_ + "/My Pics";
    std::ofstream(dir_ + "/user-dirs.dirs") << "XDG_PICTURES_DIR=\"" << pictures_ << "\"\n";
    ASSERT_TRUE(platform::OpenRegistryStore(file_));
  }
  void TearDown() override {
    platform::CloseRegistryStore();
    if (hadConfig_)
      setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    std::string cmd = "rm -rf '" + dir_ + "'";
    (void)system(cmd.c_str());
  }

  // Runs `work` in another process over the same store, as a previous run
  // of the program would; this process's store is closed meanwhile.
  void InAnotherRun(const std::function<void()>& work) {
    platform::CloseRegistryStore();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (!platform::OpenRegistryStore(file_)) _exit(2);
      work();
      platform::CloseRegistryStore();
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(platform::OpenRegistryStore(file_));
  }

  HKEY Key(const char16_t* path) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                             nullptr),
              ERROR_SUCCESS);
    return k;
  }
  void Set(const char16_t* path, const char16_t* name, DWORD type, const void* data, DWORD size) {
    HKEY k = Key(path);
    ASSERT_EQ(RegSetValueEx(k, name, 0, type, (const BYTE*)data, size), ERROR_SUCCESS);
    RegCloseKey(k);
  }
  void SetNumber(const char16_t* path, const char16_t* name, DWORD v) {
    Set(path, name, REG_DWORD, &v, 4);
  }
  void SetString(const char16_t* path, const char16_t* name, const std::u16string& v) {
    Set(path, name, REG_SZ, v.c_str(), (DWORD)(v.size() + 1) * 2);
  }
  // A stored value as it lies in the registry; `found` is false when it is missing.
  struct Value {
    bool found = false;
    DWORD type = 0, size = 0, number = 0;
    std::u16string text;
  };
  Value Stored(const char16_t* path, const char16_t* name) {
    Value v;
    HKEY k = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return v;
    BYTE data[4096];
    v.size = sizeof data;
    v.found = RegQueryValueEx(k, name, nullptr, &v.type, data, &v.size) == ERROR_SUCCESS;
    RegCloseKey(k);
    if (v.found && v.type == REG_SZ) v.text = std::u16string((const char16_t*)data);
    if (v.found && v.type == REG_DWORD) v.number = *(DWORD*)data;
    return v;
  }
  std::set<std::u16string> ValueNames(const char16_t* path) {
    std::set<std::u16string> names;
    HKEY k = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
      WCHAR name[256];
      DWORD length = 256;
      if (RegEnumValue(k, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.insert(std::u16string(name, length));
    }
    RegCloseKey(k);
    return names;
  }
  static std::u16string DeviceFolder(const std::string& host) {
    std::u16string out;
    for (char c : host) out += c == '/' ? u'\\' : (char16_t)(unsigned char)c;
    return out;
  }
  static std::u16string FavoriteName(int i) {
    char name[16];
    snprintf(name, sizeof name, "File-%02d", i);
    return std::u16string(name, name + strlen(name));
  }
  // The value names of the first `count` favorites.
  static std::set<std::u16string> FavoriteNames(int count) {
    std::set<std::u16string> names;
    for (int i = 0; i < count; ++i) names.insert(FavoriteName(i));
    return names;
  }

  std::string dir_, file_, pictures_, oldConfig_;
  bool hadConfig_ = false;
};

const char16_t kRoot[] = u"Software\\Quivra";
const char16_t kSave[] = u"Software\\Quivra\\Save";
const char16_t kCapture[] = u"Software\\Quivra\\Capture";
const char16_t kFavorites[] = u"Software\\Quivra\\Favorites";

// Every number of the record: where it is stored, its default, what an earlier run saved, and,
// for values chosen from a list, a number outside the list.
struct Number {
  const char16_t* key;
  const char16_t* name;
  int64_t (*get)(const Settings&);
  void (*set)(Settings&, int64_t);
  int64_t byDefault, saved;
  std::optional<DWORD> outside = {};
};
#define FIELD(m)                                         \
  [](const Settings& s) { return (int64_t)s.m; },        \
  [](Settings& s, int64_t v) { s.m = (decltype(s.m))v; }
const Number kNumbers[] = {
    {kRoot, u"Mode", FIELD(mode), 0, 3, 4},  // Thumbnails
    {kRoot, u"UseEmbedded", FIELD(useEmbedded), 1, 0},
    {kRoot, u"HighQuality", FIELD(highQuality), 0, 1},
    {kRoot, u"ShowFilename", FIELD(showFilename), 1, 0},
    {kRoot, u"ShowExt", FIELD(showExt), 1, 0},
    {kRoot, u"ThumbSize", FIELD(thumbSize), 1, 2, 0xFFFFFFFF},  // Normal
    {kRoot, u"SortBy", FIELD(sortBy), 0, 0x1003, 0x0005},       // name, ascending
    {kRoot, u"Fit", FIELD(fit), 2, 5, 6},
    {kRoot, u"Rotate", FIELD(rotate), 1, 4, 5},
    {kRoot, u"AutoROnlyFull", FIELD(autoROnlyFull), 1, 0},
    {kRoot, u"ResizeBigPicture", FIELD(resizeBigPicture), 0, 3, 9},
    {kRoot, u"NoBWResize", FIELD(noBWResize), 1, 0},
    {kRoot, u"Delay", FIELD(delay), 2, 17},
    {kRoot, u"UseTransition", FIELD(useTransition), 1, 0},
    {kRoot, u"UseLoop", FIELD(useLoop), 1, 0},
    {kSave, u"Format", FIELD(save.format), 0, 3, 4},  // JPEG
    {kSave, u"Quality", FIELD(save.quality), 80, 55},
    {kSave, u"Level", FIELD(save.level), 7, 9},
    {kSave, u"EXIF", FIELD(save.exif), 1, 0},
    {kCapture, u"Format", FIELD(capture.format), 0, 1, 0x80000000u},
    {kCapture, u"Quality", FIELD(capture.quality), 80, 20},
    {kCapture, u"Level", FIELD(capture.level), 7, 2},
    {kCapture, u"EXIF", FIELD(capture.exif), 1, 0},
};
#undef FIELD

std::string Named(const Number& n) {
  std::u16string s = std::u16string(n.key) + u"\\" + n.name;
  return std::string(s.begin(), s.end());
}

TEST_F(SettingsStore, AFreshDeviceGivesEveryDefault) {
  Settings s;
  s.Load();
  EXPECT_EQ(s.path, DeviceFolder(pictures_) + u"\\");
  EXPECT_TRUE(s.favorites.empty());
  EXPECT_TRUE(s.capturePath.empty());
  for (const Number& n : kNumbers) EXPECT_EQ(n.get(s), n.byDefault) << Named(n);
}

TEST_F(SettingsStore, EveryValueSurvivesARestartUnderItsOwnNameAndType) {
  // Paths longer than 129 characters survive too.
  std::u16string longPath = u"\\Storage Card\\";
  for (int i = 0; i < 20; ++i)
    longPath += u"folder-" + std::u16string(1, (char16_t)(u'a' + i)) + u"\\";
  ASSERT_GT(longPath.size(), 129u);
  ASSERT_LT(longPath.size(), (size_t)MAX_PATH);
  const std::vector<std::u16string> favorites{u"\\A\\", u"\\B b\\", longPath, u"\\C\\d\\"};
  InAnotherRun([&] {
    Settings s;
    s.Load();
    s.path = longPath;
    s.favorites = favorites;
    s.capturePath = longPath;
    for (const Number& n : kNumbers) n.set(s, n.saved);
    s.save.colourMode = 1;
    s.Save();
  });
  Settings s;
  s.Load();
  EXPECT_EQ(s.path, longPath);
  EXPECT_EQ(s.favorites, favorites);
  EXPECT_EQ(s.capturePath, longPath);
  // Where the values live, as other programs and the next version read them.
  for (const Number& n : kNumbers) {
    SCOPED_TRACE(Named(n));
    EXPECT_EQ(n.get(s), n.saved);
    Value v = Stored(n.key, n.name);
    ASSERT_TRUE(v.found);
    EXPECT_EQ(v.type, (DWORD)REG_DWORD);
    EXPECT_EQ(v.size, 4u);
    EXPECT_EQ(v.number, (DWORD)n.saved);
  }
  Value path = Stored(kRoot, u"Path");
  EXPECT_EQ(path.type, (DWORD)REG_SZ);
  EXPECT_EQ(path.size, (DWORD)(path.text.size() + 1) * 2);
  // The colour mode of a group is not stored.
  std::set<std::u16string> group{u"Format", u"Quality", u"Level", u"EXIF"};
  EXPECT_EQ(ValueNames(kSave), group);
  group.insert(u"Path");
  EXPECT_EQ(ValueNames(kCapture), group);
  EXPECT_EQ(Stored(kFavorites, u"File-01").text, u"\\B b\\");
}

TEST_F(SettingsStore, FlagsAreStoredAsZeroOrOne) {
  SetNumber(kRoot, u"UseLoop", 7);
  SetNumber(kRoot, u"NoBWResize", 0x100);
  SetNumber(kSave, u"EXIF", 2);
  Settings s;
  s.Load();
  EXPECT_EQ(s.useLoop, 1);
  EXPECT_EQ(s.noBWResize, 1u);
  EXPECT_EQ(s.save.exif, 1u);
  s.Save();
  EXPECT_EQ(Stored(kRoot, u"UseLoop").number, 1u);
  EXPECT_EQ(Stored(kSave, u"EXIF").number, 1u);
}

TEST_F(SettingsStore, ValuesOfTheWrongTypeReadAsTheirDefaults) {
  SetNumber(kRoot, u"Path", 5);
  SetString(kRoot, u"Delay", u"9");
  SetString(kCapture, u"Quality", u"30");
  SetNumber(kCapture, u"Path", 1);
  Settings s;
  s.Load();
  EXPECT_EQ(s.path, DeviceFolder(pictures_) + u"\\");
  EXPECT_EQ(s.delay, 2);
  EXPECT_EQ(s.capture.quality, 80);
  EXPECT_TRUE(s.capturePath.empty());
}

TEST_F(SettingsStore, ValuesOutsideTheirListReadAsTheirDefaults) {
  for (const Number& n : kNumbers)
    if (n.outside) SetNumber(n.key, n.name, *n.outside);
  Settings s;
  s.Load();
  for (const Number& n : kNumbers) {
    if (!n.outside) continue;
    EXPECT_EQ(n.get(s), n.byDefault) << Named(n);
  }
  // The last entries of each list are kept.
  SetNumber(kRoot, u"Mode", 3);
  SetNumber(kRoot, u"SortBy", 0x1004);
  SetNumber(kSave, u"Format", 3);
  s.Load();
  EXPECT_EQ(s.mode, 3);
  EXPECT_EQ(s.sortBy, 0x1004);
  EXPECT_EQ(s.save.format, 3);
}

TEST_F(SettingsStore, APathRootedAtTheDeviceRootAsksForThePicturesFolder) {
  SetString(kRoot, u"Path", u"\\");
  Settings s;
  s.Load();
  EXPECT_EQ(s.path, DeviceFolder(pictures_) + u"\\");
  SetString(kRoot, u"Path", u"\\Temp\\");
  s.Load();
  EXPECT_EQ(s.path, u"\\Temp\\");
}

TEST_F(SettingsStore, FavoritesSavedAgainReplaceTheOldListFromNumberZeroOn) {
  Settings s;
  for (int i = 0; i < 7; ++i) s.favorites.push_back(u"\\Seven\\" + std::u16string(1, (char16_t)(u'0' + i)));
  s.Save();
  EXPECT_EQ(ValueNames(kFavorites), FavoriteNames(7));

  InAnotherRun([] {
    Settings s;
    s.Load();
    s.favorites.resize(5);
    s.favorites[0] = u"\\New first\\";
    s.Save();
  });
  EXPECT_EQ(ValueNames(kFavorites), FavoriteNames(5));  // 05 and 06 deleted
  Settings again;
  again.Load();
  ASSERT_EQ(again.favorites.size(), 5u);
  EXPECT_EQ(again.favorites[0], u"\\New first\\");
  EXPECT_EQ(again.favorites[4], u"\\Seven\\4");

  // An empty list leaves no value behind.
  again.favorites.clear();
  again.Save();
  EXPECT_TRUE(ValueNames(kFavorites).empty());
}

TEST_F(SettingsStore, AGapOrAWrongTypeEndsTheFavorites) {
  for (int i = 0; i < 6; ++i) SetString(kFavorites, FavoriteName(i).c_str(), u"\\F\\");
  HKEY k = Key(kFavorites);
  ASSERT_EQ(RegDeleteValue(k, u"File-03"), ERROR_SUCCESS);
  RegCloseKey(k);
  Settings s;
  s.Load();
  EXPECT_EQ(s.favorites.size(), 3u);

  SetString(kFavorites, u"File-03", u"\\F3\\");
  SetNumber(kFavorites, u"File-04", 4);
  s.Load();
  EXPECT_EQ(s.favorites, (std::vector<std::u16string>{u"\\F\\", u"\\F\\", u"\\F\\", u"\\F3\\"}));
}

TEST_F(SettingsStore, AtMostFiftyFavoritesAreReadBack) {
  Settings s;
  for (int i = 0; i < 60; ++i) s.favorites.push_back(u"\\" + FavoriteName(i) + u"\\");
  s.Save();
  EXPECT_EQ(Stored(kFavorites, u"File-59").text, u"\\File-59\\");
  Settings read;
  read.Load();
  ASSERT_EQ(read.favorites.size(), (size_t)kMaxFavorites);
  EXPECT_EQ(read.favorites[49], u"\\File-49\\");
}

TEST_F(SettingsStore, ANumberComesFromItsSectionWithItsDefaultOtherwise) {
  EXPECT_EQ(ReadSettingNumber(nullptr, u"Anything", 42), 42u);
  EXPECT_EQ(ReadSettingNumber(u"Nowhere", u"Anything", 43), 43u);
  WriteSettingNumber(u"Nowhere", u"Anything", 7);
  EXPECT_EQ(ReadSettingNumber(u"Nowhere", u"Anything", 43), 7u);
  EXPECT_EQ(ReadSettingNumber(nullptr, u"Anything", 42), 42u);  // not in the root key
  Value stored = Stored(u"Software\\Quivra\\Nowhere", u"anything");
  EXPECT_EQ(stored.number, 7u);
  EXPECT_EQ(stored.size, 4u);
  // A binary value of four bytes is not a number.
  DWORD raw = 9;
  Set(kRoot, u"Binary", REG_BINARY, &raw, 4);
  EXPECT_EQ(ReadSettingNumber(nullptr, u"Binary", 1), 1u);
}

TEST_F(SettingsStore, AStringThatDoesNotFitReadsAsTheDefaultCutToTheBuffer) {
  WriteSettingString(nullptr, u"Language", u"fr");
  Value stored = Stored(kRoot, u"Language");
  EXPECT_EQ(stored.type, (DWORD)REG_SZ);
  EXPECT_EQ(stored.size, 6u);

  WCHAR buffer[32];
  for (auto& c : buffer) c = u'#';
  ReadSettingString(nullptr, u"Language", u"", buffer, sizeof buffer);
  EXPECT_EQ(std::u16string(buffer), u"fr");

  // 32 characters need 66 bytes: a 64-byte buffer takes the default.
  WriteSettingString(nullptr, u"Language", std::u16string(32, u'x').c_str());
  ReadSettingString(nullptr, u"Language", u"dflt", buffer, 64);
  EXPECT_EQ(std::u16string(buffer), u"dflt");
  WriteSettingString(nullptr, u"Language", std::u16string(31, u'y').c_str());
  ReadSettingString(nullptr, u"Language", u"dflt", buffer, 64);
  EXPECT_EQ(std::u16string(buffer), std::u16string(31, u'y'));

  // The default itself is cut to the buffer and terminated.
  WCHAR small[4];
  ReadSettingString(u"Missing", u"Value", u"abcdefgh", small, sizeof small);
  EXPECT_EQ(std::u16string(small), u"abc");
  ReadSettingString(u"Missing", u"Value", nullptr, small, sizeof small);
  EXPECT_EQ(std::u16string(small), u"");
}

TEST_F(SettingsStore, AStringStoredWithoutItsTerminatorIsStillTerminated) {
  const char16_t raw[] = {u'a', u'b', u'c'};
  Set(kRoot, u"Raw", REG_SZ, raw, sizeof raw);
  WCHAR buffer[8];
  for (auto& c : buffer) c = u'#';
  ReadSettingString(nullptr, u"Raw", u"", buffer, sizeof buffer);
  EXPECT_EQ(std::u16string(buffer), u"abc");
  // Exactly filling the buffer with no room for a terminator is too long.
  WCHAR three[3];
  ReadSettingString(nullptr, u"Raw", u"d", three, sizeof three);
  EXPECT_EQ(std::u16string(three), u"d");
}

}  // namespace
