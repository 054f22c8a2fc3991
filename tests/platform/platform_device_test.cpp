// The device's start options and what they change: screen profile and
// depth, the device root, time zone and language, the registry file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/backend/device.h"
#include "platform/fs/path_map.h"
#include "platform/windows.h"

namespace {

bool Parse(std::vector<std::string> words, platform::DeviceOptions* o, std::vector<std::string>* rest,
           std::string* error) {
  std::vector<char*> argv{(char*)"prog"};
  for (auto& w : words) argv.push_back(w.data());
  return platform::ParseDeviceOptions((int)argv.size(), argv.data(), o, rest, error);
}

TEST(DeviceOptions, EveryOptionIsReadAndOtherArgumentsAreLeft) {
  platform::DeviceOptions o;
  std::vector<std::string> rest;
  std::string error;
  ASSERT_TRUE(Parse({"--depth", "24", "--screen", "240x320", "--zoom", "3", "--root", "/srv/phone", "picture.jpg",
                     "--registry", "r.db", "--script", "s.txt", "--screenshot-on-exit", "out.png", "--back-hold",
                     "500", "--time-zone", "+05:30", "--language", "fr"},
                    &o, &rest, &error))
      << error;
  EXPECT_EQ(o.screen.width, 240);
  EXPECT_EQ(o.screen.height, 320);
  EXPECT_EQ(o.screen.dpi, 131);
  EXPECT_EQ(o.screen.taskBarHeight, 26);
  EXPECT_EQ(o.screen.scrollBarSize, 11);
  EXPECT_EQ(o.screen.depth, 24) << "the depth survives a later --screen";
  EXPECT_EQ(o.zoom, 3);
  EXPECT_EQ(o.root, "/srv/phone");
  EXPECT_EQ(o.registryFile, "r.db");
  EXPECT_TRUE(o.headless) << "a script means a headless run";
  EXPECT_EQ(o.script, "s.txt");
  EXPECT_EQ(o.screenshotOnExit, "out.png");
  EXPECT_EQ(o.backHoldMs, 500u);
  EXPECT_EQ(o.timeZone, "+05:30");
  EXPECT_EQ(o.language, "fr");
  EXPECT_EQ(rest, (std::vector<std::string>{"picture.jpg"}));
}

TEST(DeviceOptions, MalformedValuesAreRefusedWithAMessage) {
  for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
           {"--depth", "15"}, {"--zoom", "0"}, {"--screen", "240"}, {"--screen", "10x10"},
           {"--time-zone", "CET"}, {"--time-zone", "+25:00"}, {"--back-hold", "-1"}, {"--registry"}}) {
    platform::DeviceOptions o;
    std::string error;
    EXPECT_FALSE(Parse(bad, &o, nullptr, &error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

class StartedDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quivra-device-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    platform::StopDevice();
    platform::SetLocaleSettings(platform::LocaleSettings{});
    std::string cmd = "rm -rf '" + dir_ + "'";
    (void)system(cmd.c_str());
  }
  std::string dir_;
};

TEST_F(StartedDevice, TimeZoneLanguageRootAndRegistryTakeEffect) {
  platform::DeviceOptions o;
  o.headless = true;
  o.timeZone = "-03:00";
  o.language = "de";
  o.root = dir_;
  o.registryFile = dir_ + "/store.db";
  ASSERT_TRUE(platform::StartDevice(o));
  SYSTEMTIME utc{2023, 1, 0, 1, 2, 0, 0, 0};
  FILETIME f, local;
  SystemTimeToFileTime(&utc, &f);
  FileTimeToLocalFileTime(&f, &local);
  SYSTEMTIME st;
  FileTimeToSystemTime(&local, &st);
  EXPECT_EQ(st.wYear, 2022);
  EXPECT_EQ(st.wDay, 31);
  EXPECT_EQ(st.wHour, 23);
  WCHAR lang[10];
  GetLocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, lang, 10);
  EXPECT_EQ(std::u16string(lang), u"de");
  EXPECT_EQ(platform::HostPathFromDevice(u"\\My Documents\\a.jpg"), dir_ + "/My Documents/a.jpg");
  HKEY k;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Quivra", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(k);
  platform::StopDevice();
  FILE* store = fopen((dir_ + "/store.db").c_str(), "rb");
  EXPECT_NE(store, nullptr) << "the registry lives in the chosen file";
  if (store) fclose(store);
}

TEST_F(StartedDevice, RestartingRemovesEveryWindowTimerAndClass) {
  platform::DeviceOptions o;
  o.headless = true;
  o.registryFile = dir_ + "/r.db";
  ASSERT_TRUE(platform::StartDevice(o));
  WNDCLASS wc{};
  wc.lpfnWndProc = DefWindowProc;
  wc.lpszClassName = u"QuivraClass";
  ASSERT_NE(RegisterClass(&wc), 0);
  HWND w = CreateWindowEx(0, u"QuivraClass", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  SetTimer(w, 1000, 10, nullptr);
  ASSERT_TRUE(platform::StartDevice(o));
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(FindWindow(u"QuivraClass", nullptr), nullptr);
  EXPECT_FALSE(GetClassInfo(nullptr, u"QuivraClass", &wc));
  EXPECT_EQ(GetTickCount(), 0u);
}

TEST_F(StartedDevice, DialogUnitsUseFixedBaseUnitsPerProfile) {
  platform::DeviceOptions o;
  o.headless = true;
  o.registryFile = dir_ + "/r.db";
  ASSERT_TRUE(platform::StartDevice(o));
  EXPECT_EQ(LOWORD(GetDialogBaseUnits()), 6);
  EXPECT_EQ(HIWORD(GetDialogBaseUnits()), 13);
  RECT r{4, 8, 40, 16};
  MapDialogRect(nullptr, &r);
  EXPECT_EQ(r.left, 6);
  EXPECT_EQ(r.top, 13);
  EXPECT_EQ(r.right, 60);
  EXPECT_EQ(r.bottom, 26);
  o.screen = platform::ProfileForSize(240, 320);
  ASSERT_TRUE(platform::StartDevice(o));
  // 131 dots per inch: 6 x 131 / 96 = 8.2, 13 x 131 / 96 = 17.7.
  EXPECT_EQ(LOWORD(GetDialogBaseUnits()), 8);
  EXPECT_EQ(HIWORD(GetDialogBaseUnits()), 18);
}

}  // namespace
