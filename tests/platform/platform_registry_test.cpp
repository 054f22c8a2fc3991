// The registry store: keys and levels, value types and sizes, buffers too
// small, case-insensitive names, deletion, persistence, and a writer killed
// at random moments losing no completed write.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/registry/registry.h"

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quivra-registry-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    file_ = dir_ + "/registry.db";
    ASSERT_TRUE(platform::OpenRegistryStore(file_));
  }
  void TearDown() override {
    platform::CloseRegistryStore();
    std::string cmd = "rm -rf '" + dir_ + "'";
    (void)system(cmd.c_str());
  }
  HKEY Create(HKEY root, const char16_t* path, DWORD* disposition = nullptr) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, disposition),
              ERROR_SUCCESS);
    return k;
  }
  static LSTATUS SetString(HKEY k, const char16_t* name, const std::u16string& value) {
    return RegSetValueEx(k, name, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)(value.size() + 1) * 2);
  }
  std::string dir_, file_;
};

TEST_F(Registry, CreateMakesEveryMissingLevelAndOpenFailsOnMissingKeys) {
  HKEY k;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quivra\\Save", 0, KEY_READ, &k),
            ERROR_FILE_NOT_FOUND);
  DWORD disposition = 0;
  HKEY save = Create(HKEY_CURRENT_USER, u"Software\\Quivra\\Save", &disposition);
  EXPECT_EQ(disposition, (DWORD)REG_CREATED_NEW_KEY);
  RegCloseKey(save);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quivra", 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  save = Create(HKEY_CURRENT_USER, u"Software\\Quivra\\Save", &disposition);
  EXPECT_EQ(disposition, (DWORD)REG_OPENED_EXISTING_KEY);
  RegCloseKey(save);
  // The two roots are separate trees.
  EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"Software", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, StringsHaveTheirTerminatorAndTooSmallBuffersFailWithMoreData) {
  HKEY k = Create(HKEY_CURRENT_USER, u"Software\\Quivra");
  std::u16string path = u"\\My Documents\\Pictures";
  ASSERT_EQ(SetString(k, u"Path", path), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueEx(k, u"Path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, (DWORD)REG_SZ);
  EXPECT_EQ(size, (path.size() + 1) * 2);
  WCHAR buffer[64];
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValueEx(k, u"Path", nullptr, &type, (BYTE*)buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(buffer), path);
  // One byte short of the terminator: the read fails and reports the size.
  WCHAR small[22];
  size = (DWORD)(path.size() * 2 + 1);
  EXPECT_EQ(RegQueryValueEx(k, u"Path", nullptr, &type, (BYTE*)small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, (path.size() + 1) * 2);
  // A 64-byte buffer holds 31 characters and the terminator, not 32.
  std::u16string language(32, u'x');
  SetString(k, u"Language", language);
  WCHAR lang[32];
  size = sizeof lang;
  EXPECT_EQ(RegQueryValueEx(k, u"Language", nullptr, &type, (BYTE*)lang, &size), ERROR_MORE_DATA);
  SetString(k, u"Language", language.substr(0, 31));
  size = sizeof lang;
  EXPECT_EQ(RegQueryValueEx(k, u"Language", nullptr, &type, (BYTE*)lang, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(lang), language.substr(0, 31));
  RegCloseKey(k);
}

TEST_F(Registry, DwordsAndBinaryValuesKeepTypeAndBytes) {
  HKEY k = Create(HKEY_CURRENT_USER, u"Software\\Quivra");
  DWORD delay = 0xDEADBEEF;
  ASSERT_EQ(RegSetValueEx(k, u"Delay", 0, REG_DWORD, (const BYTE*)&delay, 4), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueEx(k, u"Bad", 0, REG_DWORD, (const BYTE*)&delay, 2), ERROR_INVALID_PARAMETER);
  DWORD type = 0, size = 4, out = 0;
  ASSERT_EQ(RegQueryValueEx(k, u"Delay", nullptr, &type, (BYTE*)&out, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, (DWORD)REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(out, delay);
  const BYTE blob[5] = {0, 1, 2, 0xFF, 0};
  ASSERT_EQ(RegSetValueEx(k, u"Blob", 0, REG_BINARY, blob, 5), ERROR_SUCCESS);
  BYTE back[8] = {};
  size = sizeof back;
  ASSERT_EQ(RegQueryValueEx(k, u"Blob", nullptr, &type, back, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, (DWORD)REG_BINARY);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::memcmp(back, blob, 5), 0);
  EXPECT_EQ(RegQueryValueEx(k, u"Missing", nullptr, &type, back, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(k);
}

TEST_F(Registry, NamesIgnoreCaseAndTheDefaultValueHasNoName) {
  HKEY k = Create(HKEY_CLASSES_ROOT, u".JPG");
  ASSERT_EQ(SetString(k, nullptr, u"Morvanel.jpg"), ERROR_SUCCESS);
  RegCloseKey(k);
  HKEY again;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u".jpg", 0, KEY_READ, &again), ERROR_SUCCESS);
  WCHAR buffer[64];
  DWORD size = sizeof buffer, type = 0;
  ASSERT_EQ(RegQueryValueEx(again, u"", nullptr, &type, (BYTE*)buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(buffer), u"Morvanel.jpg");
  SetString(again, u"ThumbSize", u"a");
  SetString(again, u"THUMBSIZE", u"b");
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValueEx(again, u"thumbsize", nullptr, &type, (BYTE*)buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(buffer), u"b") << "one value, whatever the case";
  RegCloseKey(again);
}

TEST_F(Registry, DeletingValuesAndKeys) {
  HKEY k = Create(HKEY_CURRENT_USER, u"Software\\Quivra\\Favorites");
  SetString(k, u"File-00", u"\\a.jpg");
  EXPECT_EQ(RegDeleteValue(k, u"File-00"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValue(k, u"File-00"), ERROR_FILE_NOT_FOUND);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueEx(k, u"File-00", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  SetString(k, u"File-01", u"\\b.jpg");
  HKEY root = Create(HKEY_CURRENT_USER, u"Software\\Quivra");
  EXPECT_EQ(RegDeleteKey(root, u"Favorites"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(root, u"Favorites"), ERROR_FILE_NOT_FOUND);
  HKEY gone;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quivra\\Favorites", 0, KEY_READ, &gone),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueEx(k, u"x", 0, REG_SZ, (const BYTE*)u"", 2), ERROR_KEY_DELETED)
      << "a handle to a deleted key fails";
  RegCloseKey(k);
  RegCloseKey(root);
  EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, EnumeratesSubkeysAndValues) {
  HKEY k = Create(HKEY_CURRENT_USER, u"Accounts");
  RegCloseKey(Create(k, u"SMS"));
  RegCloseKey(Create(k, u"Mail"));
  SetString(k, u"Last", u"Mail");
  WCHAR name[16];
  DWORD length = 16;
  ASSERT_EQ(RegEnumKeyEx(k, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"SMS");
  length = 16;
  ASSERT_EQ(RegEnumKeyEx(k, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Mail");
  length = 16;
  EXPECT_EQ(RegEnumKeyEx(k, 2, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  length = 16;
  ASSERT_EQ(RegEnumValue(k, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Last");
  RegCloseKey(k);
}

TEST_F(Registry, ValuesWrittenBeforeClosingAreReadAfterReopening) {
  HKEY k = Create(HKEY_CURRENT_USER, u"Software\\Quivra");
  DWORD mode = 3;
  RegSetValueEx(k, u"Mode", 0, REG_DWORD, (const BYTE*)&mode, 4);
  RegCloseKey(k);
  platform::CloseRegistryStore();
  ASSERT_TRUE(platform::OpenRegistryStore(file_));
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"SOFTWARE\\quivra", 0, KEY_READ, &k), ERROR_SUCCESS);
  DWORD out = 0, size = 4;
  ASSERT_EQ(RegQueryValueEx(k, u"Mode", nullptr, nullptr, (BYTE*)&out, &size), ERROR_SUCCESS);
  EXPECT_EQ(out, 3u);
  RegCloseKey(k);
}

TEST_F(Registry, AFileThatIsNotAStoreIsRefused) {
  platform::CloseRegistryStore();
  std::string junk = dir_ + "/junk.db";
  FILE* f = fopen(junk.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("this is not a database, just some text that is long enough to matter......", f);
  fclose(f);
  EXPECT_FALSE(platform::OpenRegistryStore(junk));
  HKEY k;
  EXPECT_NE(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &k), ERROR_SUCCESS);
}

// A child process writes numbered values and reports each completed write
// on a pipe; it is killed at a varying moment; every reported write must be
// in the store, which must open cleanly.
TEST_F(Registry, KilledWriterLosesNoCompletedWrite) {
  platform::CloseRegistryStore();
  long mostWrites = -1;
  for (int round = 0; round < 6; ++round) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      if (!platform::OpenRegistryStore(file_)) _exit(2);
      HKEY k = nullptr;
      std::u16string keyName = u"Software\\Round" + std::u16string(1, (char16_t)(u'0' + round));
      if (RegCreateKeyEx(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                         nullptr) != ERROR_SUCCESS)
        _exit(3);
      for (DWORD i = 0;; ++i) {
        std::u16string name = u"Value";
        for (char c : std::to_string(i)) name += (char16_t)c;
        std::u16string text(40 + i % 50, (char16_t)(u'a' + i % 26));
        if (RegSetValueEx(k, name.c_str(), 0, REG_SZ, (const BYTE*)text.c_str(),
                          (DWORD)(text.size() + 1) * 2) != ERROR_SUCCESS)
          _exit(4);
        if (write(fds[1], &i, sizeof i) != (ssize_t)sizeof i) _exit(5);
      }
    }
    close(fds[1]);
    // Let it write for a while, then kill it without warning.
    usleep(20000 + round * 37000);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    long completed = -1;
    DWORD v;
    while (read(fds[0], &v, sizeof v) == (ssize_t)sizeof v) completed = (long)v;
    close(fds[0]);
    mostWrites = std::max(mostWrites, completed);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << WEXITSTATUS(status);
    ASSERT_TRUE(platform::OpenRegistryStore(file_)) << "round " << round;
    HKEY k;
    std::u16string keyName = u"Software\\Round" + std::u16string(1, (char16_t)(u'0' + round));
    if (completed >= 0) {
      ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, keyName.c_str(), 0, KEY_READ, &k), ERROR_SUCCESS);
      for (long i = 0; i <= completed; ++i) {
        std::u16string name = u"Value";
        for (char c : std::to_string(i)) name += (char16_t)c;
        WCHAR buffer[128];
        DWORD size = sizeof buffer;
        ASSERT_EQ(RegQueryValueEx(k, name.c_str(), nullptr, nullptr, (BYTE*)buffer, &size), ERROR_SUCCESS)
            << "round " << round << " value " << i << " of " << completed;
        EXPECT_EQ(std::u16string(buffer), std::u16string(40 + i % 50, (char16_t)(u'a' + i % 26)));
      }
      RegCloseKey(k);
    }
    platform::CloseRegistryStore();
  }
  ASSERT_TRUE(platform::OpenRegistryStore(file_));
  EXPECT_GT(mostWrites, 10) << "the writers were killed before they wrote anything worth checking";
}

}  // namespace
