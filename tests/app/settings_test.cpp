// The settings record over the registry: every default on a fresh device,
// every value surviving a restart of the program, wrong types and unusable
// values, and the rules of the favorites list.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
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
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    return k;
  }
  void SetNumber(const char16_t* path, const char16_t* name, DWORD v) {
    HKEY k = Key(path);
    ASSERT_EQ(RegSetValueEx(k, name, 0, REG_DWORD, (const BYTE*)&v, 4), ERROR_SUCCESS);
    RegCloseKey(k);
  }
  void SetString(const char16_t* path, const char16_t* name, const std::u16string& v) {
    HKEY k = Key(path);
    ASSERT_EQ(RegSetValueEx(k, name, 0, REG_SZ, (const BYTE*)v.c_str(), (DWORD)(v.size() + 1) * 2),
              ERROR_SUCCESS);
    RegCloseKey(k);
  }
  // Type and byte size of a stored value; false when it is missing.
  bool Stored(const char16_t* path, const char16_t* name, DWORD* type, DWORD* size,
              std::u16string* text = nullptr, DWORD* number = nullptr) {
    HKEY k = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    BYTE data[4096];
    *size = sizeof data;
    LSTATUS s = RegQueryValueEx(k, name, nullptr, type, data, size);
    RegCloseKey(k);
    if (s != ERROR_SUCCESS) return false;
    if (text && *type == REG_SZ) *text = std::u16string((const char16_t*)data);
    if (number && *type == REG_DWORD) *number = *(DWORD*)data;
    return true;
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

  std::string dir_, file_, pictures_, oldConfig_;
  bool hadConfig_ = false;
};

TEST_F(SettingsStore, AFreshDeviceGivesEveryDefault) {
  Settings s;
  s.Load();
  EXPECT_EQ(s.path, DeviceFolder(pictures_) + u"\\");
  EXPECT_EQ(s.mode, 0);  // Thumbnails
  EXPECT_EQ(s.useEmbedded, 1);
  EXPECT_EQ(s.highQuality, 0);
  EXPECT_EQ(s.showFilename, 1);
  EXPECT_EQ(s.showExt, 1);
  EXPECT_EQ(s.thumbSize, 1);  // Normal
  EXPECT_EQ(s.sortBy, 0);     // name, ascending
  EXPECT_TRUE(s.favorites.empty());
  EXPECT_EQ(s.fit, 2);
  EXPECT_EQ(s.rotate, 1);
  EXPECT_EQ(s.autoROnlyFull, 1u);
  EXPECT_EQ(s.resizeBigPicture, 0);
  EXPECT_EQ(s.noBWResize, 1u);
  EXPECT_EQ(s.delay, 2);
  EXPECT_EQ(s.useTransition, 1);
  EXPECT_EQ(s.useLoop, 1);
  for (const SaveChoices* c : {&s.save, &s.capture}) {
    EXPECT_EQ(c->format, 0);  // JPEG
    EXPECT_EQ(c->quality, 80);
    EXPECT_EQ(c->level, 7);
    EXPECT_EQ(c->exif, 1u);
  }
  EXPECT_TRUE(s.capturePath.empty());
}

TEST_F(SettingsStore, EveryValueSurvivesARestartUnderItsOwnNameAndType) {
  InAnotherRun([] {
    Settings s;
    s.Load();
    s.path = u"\\Storage Card\\DCIM\\";
    s.mode = 3;
    s.useEmbedded = 0;
    s.highQuality = 1;
    s.showFilename = 0;
    s.showExt = 0;
    s.thumbSize = 2;
    s.sortBy = 0x1003;
    s.favorites = {u"\\A\\", u"\\B b\\", u"\\C\\d\\"};
    s.fit = 5;
    s.rotate = 4;
    s.autoROnlyFull = 0;
    s.resizeBigPicture = 3;
    s.noBWResize = 0;
    s.delay = 17;
    s.useTransition = 0;
    s.useLoop = 0;
    s.save = SaveChoices{3, 55, 9, 0, 1};
    s.capture = SaveChoices{1, 20, 2, 0, 0};
    s.capturePath = u"\\Captures\\";
    s.Save();
  });
  Settings s;
  s.Load();
  EXPECT_EQ(s.path, u"\\Storage Card\\DCIM\\");
  EXPECT_EQ(s.mode, 3);
  EXPECT_EQ(s.useEmbedded, 0);
  EXPECT_EQ(s.highQuality, 1);
  EXPECT_EQ(s.showFilename, 0);
  EXPECT_EQ(s.showExt, 0);
  EXPECT_EQ(s.thumbSize, 2);
  EXPECT_EQ(s.sortBy, 0x1003);
  EXPECT_EQ(s.favorites, (std::vector<std::u16string>{u"\\A\\", u"\\B b\\", u"\\C\\d\\"}));
  EXPECT_EQ(s.fit, 5);
  EXPECT_EQ(s.rotate, 4);
  EXPECT_EQ(s.autoROnlyFull, 0u);
  EXPECT_EQ(s.resizeBigPicture, 3);
  EXPECT_EQ(s.noBWResize, 0u);
  EXPECT_EQ(s.delay, 17);
  EXPECT_EQ(s.useTransition, 0);
  EXPECT_EQ(s.useLoop, 0);
  EXPECT_EQ(s.save.format, 3);
  EXPECT_EQ(s.save.quality, 55);
  EXPECT_EQ(s.save.level, 9);
  EXPECT_EQ(s.save.exif, 0u);
  EXPECT_EQ(s.capture.format, 1);
  EXPECT_EQ(s.capture.quality, 20);
  EXPECT_EQ(s.capture.level, 2);
  EXPECT_EQ(s.capture.exif, 0u);
  EXPECT_EQ(s.capturePath, u"\\Captures\\");

  // Where the values live, as other programs and the next version read them.
  DWORD type = 0, size = 0, number = 0;
  std::u16string text;
  ASSERT_TRUE(Stored(u"Software\\Quivra", u"Path", &type, &size, &text));
  EXPECT_EQ(type, (DWORD)REG_SZ);
  EXPECT_EQ(size, (DWORD)(text.size() + 1) * 2);
  const char16_t* rootNumbers[] = {u"Mode", u"UseEmbedded", u"HighQuality", u"ShowFilename",
                                   u"ShowExt", u"ThumbSize", u"SortBy", u"Fit", u"Rotate",
                                   u"AutoROnlyFull", u"ResizeBigPicture", u"NoBWResize", u"Delay",
                                   u"UseTransition", u"UseLoop"};
  for (const char16_t* name : rootNumbers) {
    ASSERT_TRUE(Stored(u"Software\\Quivra", name, &type, &size));
    EXPECT_EQ(type, (DWORD)REG_DWORD);
    EXPECT_EQ(size, 4u);
  }
  ASSERT_TRUE(Stored(u"Software\\Quivra", u"SortBy", &type, &size, nullptr, &number));
  EXPECT_EQ(number, 0x1003u);
  // The colour mode of a group is not stored.
  std::set<std::u16string> group{u"Format", u"Quality", u"Level", u"EXIF"};
  EXPECT_EQ(ValueNames(u"Software\\Quivra\\Save"), group);
  group.insert(u"Path");
  EXPECT_EQ(ValueNames(u"Software\\Quivra\\Capture"), group);
  ASSERT_TRUE(Stored(u"Software\\Quivra\\Save", u"Quality", &type, &size, nullptr, &number));
  EXPECT_EQ(number, 55u);
  ASSERT_TRUE(Stored(u"Software\\Quivra\\Capture", u"Quality", &type, &size, nullptr, &number));
  EXPECT_EQ(number, 20u);
  ASSERT_TRUE(Stored(u"Software\\Quivra\\Favorites", u"File-01", &type, &size, &text));
  EXPECT_EQ(text, u"\\B b\\");
}

TEST_F(SettingsStore, FlagsAreStoredAsZeroOrOne) {
  SetNumber(u"Software\\Quivra", u"UseLoop", 7);
  SetNumber(u"Software\\Quivra", u"NoBWResize", 0x100);
  SetNumber(u"Software\\Quivra\\Save", u"EXIF", 2);
  Settings s;
  s.Load();
  EXPECT_EQ(s.useLoop, 1);
  EXPECT_EQ(s.noBWResize, 1u);
  EXPECT_EQ(s.save.exif, 1u);
  s.Save();
  DWORD type, size, number = 0;
  ASSERT_TRUE(Stored(u"Software\\Quivra", u"UseLoop", &type, &size, nullptr, &number));
  EXPECT_EQ(number, 1u);
  ASSERT_TRUE(Stored(u"Software\\Quivra\\Save", u"EXIF", &type, &size, nullptr, &number));
  EXPECT_EQ(number, 1u);
}

TEST_F(SettingsStore, ValuesOfTheWrongTypeReadAsTheirDefaults) {
  SetNumber(u"Software\\Quivra", u"Path", 5);
  SetString(u"Software\\Quivra", u"Delay", u"9");
  SetString(u"Software\\Quivra\\Capture", u"Quality", u"30");
  SetNumber(u"Software\\Quivra\\Capture", u"Path", 1);
  Settings s;
  s.Load();
  EXPECT_EQ(s.path, DeviceFolder(pictures_) + u"\\");
  EXPECT_EQ(s.delay, 2);
  EXPECT_EQ(s.capture.quality, 80);
  EXPECT_TRUE(s.capturePath.empty());
}

TEST_F(SettingsStore, ValuesOutsideTheirListReadAsTheirDefaults) {
  SetNumber(u"Software\\Quivra", u"Mode", 4);
  SetNumber(u"Software\\Quivra", u"ThumbSize", 0xFFFFFFFF);
  SetNumber(u"Software\\Quivra", u"SortBy", 0x0005);
  SetNumber(u"Software\\Quivra", u"Fit", 6);
  SetNumber(u"Software\\Quivra", u"Rotate", 5);
  SetNumber(u"Software\\Quivra", u"ResizeBigPicture", 9);
  SetNumber(u"Software\\Quivra\\Save", u"Format", 4);
  SetNumber(u"Software\\Quivra\\Capture", u"Format", 0x80000000u);
  Settings s;
  s.Load();
  EXPECT_EQ(s.mode, 0);
  EXPECT_EQ(s.thumbSize, 1);
  EXPECT_EQ(s.sortBy, 0);
  EXPECT_EQ(s.fit, 2);
  EXPECT_EQ(s.rotate, 1);
  EXPECT_EQ(s.resizeBigPicture, 0);
  EXPECT_EQ(s.save.format, 0);
  EXPECT_EQ(s.capture.format, 0);
  // The last entries of each list are kept.
  SetNumber(u"Software\\Quivra", u"Mode", 3);
  SetNumber(u"Software\\Quivra", u"SortBy", 0x1004);
  SetNumber(u"Software\\Quivra\\Save", u"Format", 3);
  s.Load();
  EXPECT_EQ(s.mode, 3);
  EXPECT_EQ(s.sortBy, 0x1004);
  EXPECT_EQ(s.save.format, 3);
}

TEST_F(SettingsStore, APathRootedAtTheDeviceRootAsksForThePicturesFolder) {
  SetString(u"Software\\Quivra", u"Path", u"\\");
  Settings s;
  s.Load();
  EXPECT_EQ(s.path, DeviceFolder(pictures_) + u"\\");
  SetString(u"Software\\Quivra", u"Path", u"\\Temp\\");
  s.Load();
  EXPECT_EQ(s.path, u"\\Temp\\");
}

TEST_F(SettingsStore, LongPathsAndFavoritesSurviveARestart) {
  std::u16string longPath = u"\\";
  for (int i = 0; i < 20; ++i) longPath += u"folder-" + std::u16string(1, (char16_t)(u'a' + i)) + u"\\";
  ASSERT_GT(longPath.size(), 129u);
  ASSERT_LT(longPath.size(), (size_t)MAX_PATH);
  InAnotherRun([&] {
    Settings s;
    s.path = longPath;
    s.capturePath = longPath;
    s.favorites = {u"\\One\\", longPath, u"\\Three\\"};
    s.Save();
  });
  Settings s;
  s.Load();
  EXPECT_EQ(s.path, longPath);
  EXPECT_EQ(s.capturePath, longPath);
  EXPECT_EQ(s.favorites, (std::vector<std::u16string>{u"\\One\\", longPath, u"\\Three\\"}));
}

TEST_F(SettingsStore, FavoritesSavedAgainReplaceTheOldListFromNumberZeroOn) {
  Settings s;
  for (int i = 0; i < 7; ++i) s.favorites.push_back(u"\\Seven\\" + std::u16string(1, (char16_t)(u'0' + i)));
  s.Save();
  std::set<std::u16string> seven;
  for (int i = 0; i < 7; ++i) seven.insert(FavoriteName(i));
  EXPECT_EQ(ValueNames(u"Software\\Quivra\\Favorites"), seven);

  InAnotherRun([] {
    Settings s;
    s.Load();
    s.favorites.resize(5);
    s.favorites[0] = u"\\New first\\";
    s.Save();
  });
  std::set<std::u16string> five;
  for (int i = 0; i < 5; ++i) five.insert(FavoriteName(i));
  EXPECT_EQ(ValueNames(u"Software\\Quivra\\Favorites"), five);  // 05 and 06 deleted
  Settings again;
  again.Load();
  ASSERT_EQ(again.favorites.size(), 5u);
  EXPECT_EQ(again.favorites[0], u"\\New first\\");
  EXPECT_EQ(again.favorites[4], u"\\Seven\\4");

  // An empty list leaves no value behind.
  again.favorites.clear();
  again.Save();
  EXPECT_TRUE(ValueNames(u"Software\\Quivra\\Favorites").empty());
}

TEST_F(SettingsStore, AGapOrAWrongTypeEndsTheFavorites) {
  for (int i = 0; i < 6; ++i) SetString(u"Software\\Quivra\\Favorites", FavoriteName(i).c_str(), u"\\F\\");
  HKEY k = Key(u"Software\\Quivra\\Favorites");
  ASSERT_EQ(RegDeleteValue(k, u"File-03"), ERROR_SUCCESS);
  RegCloseKey(k);
  Settings s;
  s.Load();
  EXPECT_EQ(s.favorites.size(), 3u);

  SetString(u"Software\\Quivra\\Favorites", u"File-03", u"\\F3\\");
  SetNumber(u"Software\\Quivra\\Favorites", u"File-04", 4);
  s.Load();
  EXPECT_EQ(s.favorites, (std::vector<std::u16string>{u"\\F\\", u"\\F\\", u"\\F\\", u"\\F3\\"}));
}

TEST_F(SettingsStore, AtMostFiftyFavoritesAreReadBack) {
  Settings s;
  for (int i = 0; i < 60; ++i) s.favorites.push_back(u"\\" + FavoriteName(i) + u"\\");
  s.Save();
  DWORD type, size;
  std::u16string text;
  ASSERT_TRUE(Stored(u"Software\\Quivra\\Favorites", u"File-59", &type, &size, &text));
  EXPECT_EQ(text, u"\\File-59\\");
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
  DWORD type, size, number = 0;
  ASSERT_TRUE(Stored(u"Software\\Quivra\\Nowhere", u"anything", &type, &size, nullptr, &number));
  EXPECT_EQ(number, 7u);
  EXPECT_EQ(size, 4u);
  // A binary value of four bytes is not a number.
  HKEY k = Key(u"Software\\Quivra");
  DWORD raw = 9;
  RegSetValueEx(k, u"Binary", 0, REG_BINARY, (const BYTE*)&raw, 4);
  RegCloseKey(k);
  EXPECT_EQ(ReadSettingNumber(nullptr, u"Binary", 1), 1u);
}

TEST_F(SettingsStore, AStringThatDoesNotFitReadsAsTheDefaultCutToTheBuffer) {
  WriteSettingString(nullptr, u"Language", u"fr");
  DWORD type, size;
  std::u16string text;
  ASSERT_TRUE(Stored(u"Software\\Quivra", u"Language", &type, &size, &text));
  EXPECT_EQ(type, (DWORD)REG_SZ);
  EXPECT_EQ(size, 6u);

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
  HKEY k = Key(u"Software\\Quivra");
  const char16_t raw[] = {u'a', u'b', u'c'};
  ASSERT_EQ(RegSetValueEx(k, u"Raw", 0, REG_SZ, (const BYTE*)raw, sizeof raw), ERROR_SUCCESS);
  RegCloseKey(k);
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
