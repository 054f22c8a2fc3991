// Files of the device: finding with patterns, attributes, sizes and times,
// the device root, non-ASCII names, copy and move that never overwrite,
// moves across file systems, whole-file reads, temporary names, special
// folders.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fs/files.h"
#include "platform/fs/path_map.h"
#include "platform/text/codepage.h"
#include "platform/thread/sync.h"

namespace {

std::u16string W(const std::string& s) { return platform::WideFromUtf8(s); }

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f << bytes;
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quivra-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    platform::SetDeviceRoot("/");
    std::string cmd = "rm -rf '" + dir_ + "'";
    (void)system(cmd.c_str());
  }
  std::vector<std::u16string> Find(const std::u16string& pattern, std::vector<WIN32_FIND_DATA>* all = nullptr) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATA fd;
    HANDLE h = FindFirstFile(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      names.push_back(fd.cFileName);
      if (all) all->push_back(fd);
    } while (FindNextFile(h, &fd));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    return names;
  }
  std::string dir_;
};

TEST_F(Files, FindListsEveryNameSortedWithAttributesSizesAndTimes) {
  WriteAll(dir_ + "/b.jpg", "12345");
  WriteAll(dir_ + "/a", "");
  WriteAll(dir_ + "/.hidden", "x");
  mkdir((dir_ + "/folder").c_str(), 0755);
  std::vector<WIN32_FIND_DATA> all;
  auto names = Find(W(dir_ + "/*.*"), &all);
  EXPECT_EQ(names, (std::vector<std::u16string>{u".hidden", u"a", u"b.jpg", u"folder"}));
  ASSERT_EQ(all.size(), 4u);
  EXPECT_TRUE(all[0].dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(all[1].dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(all[2].nFileSizeLow, 5u);
  EXPECT_FALSE(all[2].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(all[3].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  struct stat st;
  ASSERT_EQ(stat((dir_ + "/b.jpg").c_str(), &st), 0);
  uint64_t expected = ((uint64_t)st.st_mtim.tv_sec + 11644473600ull) * 10000000ull + st.st_mtim.tv_nsec / 100;
  uint64_t got = ((uint64_t)all[2].ftLastWriteTime.dwHighDateTime << 32) | all[2].ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(got, expected);
  uint64_t created = ((uint64_t)all[2].ftCreationTime.dwHighDateTime << 32) | all[2].ftCreationTime.dwLowDateTime;
  EXPECT_GT(created, 0u);
  EXPECT_LE(created, got + 10000000ull) << "birth time (or last write) is not after the last write";
}

TEST_F(Files, PatternsIgnoreCaseAndExactPathsFindOneEntry) {
  WriteAll(dir_ + "/English.lng", "");
  WriteAll(dir_ + "/French.LNG", "");
  WriteAll(dir_ + "/readme.txt", "");
  EXPECT_EQ(Find(W(dir_ + "/*.lng")), (std::vector<std::u16string>{u"English.lng", u"French.LNG"}));
  EXPECT_EQ(Find(W(dir_ + "/F?ench.*")), (std::vector<std::u16string>{u"French.LNG"}));
  EXPECT_EQ(Find(W(dir_ + "/readme.txt")), (std::vector<std::u16string>{u"readme.txt"}));
  WIN32_FIND_DATA fd;
  EXPECT_EQ(FindFirstFile(W(dir_ + "/nothing.txt").c_str(), &fd), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindFirstFile(W(dir_ + "/no/such/*.*").c_str(), &fd), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, DevicePathsResolveUnderTheDeviceRoot) {
  mkdir((dir_ + "/My Documents").c_str(), 0755);
  WriteAll(dir_ + "/My Documents/photo.jpg", "abc");
  platform::SetDeviceRoot(dir_);
  EXPECT_EQ(Find(u"\\My Documents\\*.*"), (std::vector<std::u16string>{u"photo.jpg"}));
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\") & FILE_ATTRIBUTE_DIRECTORY, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\none.jpg"), INVALID_FILE_ATTRIBUTES);
  // Host paths are accepted as they are.
  EXPECT_NE(GetFileAttributes(W(dir_ + "/My Documents/photo.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
  FILE* f = _wfopen(u"\\My Documents\\photo.jpg", u"rb");
  ASSERT_NE(f, nullptr);
  char buf[4] = {};
  EXPECT_EQ(fread(buf, 1, 3, f), 3u);
  fclose(f);
  EXPECT_EQ(std::string(buf), "abc");
}

TEST_F(Files, NonAsciiAndUndecodableNamesRoundTrip) {
  std::string utf8 = "\xC3\xA9t\xC3\xA9 \xE5\x86\x99\xE7\x9C\x9F.jpg";  // "été 写真.jpg"
  std::string raw = std::string("bad\xFF") + "name.jpg";  // not UTF-8
  WriteAll(dir_ + "/" + utf8, "1");
  WriteAll(dir_ + "/" + raw, "22");
  auto names = Find(W(dir_ + "/*.jpg"));
  ASSERT_EQ(names.size(), 2u);
  for (const auto& n : names) {
    std::u16string full = W(dir_ + "/") + n;
    EXPECT_NE(GetFileAttributes(full.c_str()), INVALID_FILE_ATTRIBUTES);
    std::string host = platform::HostPathFromDevice(full);
    EXPECT_TRUE(host == dir_ + "/" + utf8 || host == dir_ + "/" + raw) << host;
  }
  std::u16string copyName = W(dir_ + "/") + u"\u00E9t\u00E9 copie.jpg";
  EXPECT_TRUE(CopyFile(W(dir_ + "/" + utf8).c_str(), copyName.c_str(), TRUE));
  EXPECT_EQ(ReadAll(dir_ + "/\xC3\xA9t\xC3\xA9 copie.jpg"), "1");
}

TEST_F(Files, CopyWithFailIfExistsNeverOverwrites) {
  WriteAll(dir_ + "/src", "new content");
  WriteAll(dir_ + "/dst", "old");
  EXPECT_FALSE(CopyFile(W(dir_ + "/src").c_str(), W(dir_ + "/dst").c_str(), TRUE));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
  EXPECT_EQ(ReadAll(dir_ + "/dst"), "old");
  EXPECT_TRUE(CopyFile(W(dir_ + "/src").c_str(), W(dir_ + "/dst").c_str(), FALSE));
  EXPECT_EQ(ReadAll(dir_ + "/dst"), "new content");
  EXPECT_TRUE(CopyFile(W(dir_ + "/src").c_str(), W(dir_ + "/fresh").c_str(), TRUE));
  EXPECT_EQ(ReadAll(dir_ + "/fresh"), "new content");
  EXPECT_EQ(ReadAll(dir_ + "/src"), "new content");
  EXPECT_FALSE(CopyFile(W(dir_ + "/missing").c_str(), W(dir_ + "/x").c_str(), TRUE));
  EXPECT_EQ(GetFileAttributes(W(dir_ + "/x").c_str()), INVALID_FILE_ATTRIBUTES);
  // No temporary copies are left behind.
  EXPECT_EQ(Find(W(dir_ + "/*.*")), (std::vector<std::u16string>{u"dst", u"fresh", u"src"}));
}

TEST_F(Files, MoveRenamesButNeverOverwrites) {
  WriteAll(dir_ + "/a.jpg", "A");
  WriteAll(dir_ + "/b.jpg", "B");
  EXPECT_FALSE(MoveFile(W(dir_ + "/a.jpg").c_str(), W(dir_ + "/b.jpg").c_str()));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
  EXPECT_EQ(ReadAll(dir_ + "/a.jpg"), "A");
  EXPECT_EQ(ReadAll(dir_ + "/b.jpg"), "B");
  mkdir((dir_ + "/sub").c_str(), 0755);
  EXPECT_TRUE(MoveFile(W(dir_ + "/a.jpg").c_str(), W(dir_ + "/sub/c.jpg").c_str()));
  EXPECT_EQ(ReadAll(dir_ + "/sub/c.jpg"), "A");
  EXPECT_EQ(GetFileAttributes(W(dir_ + "/a.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, MoveAcrossFileSystemsArrivesWholeOrNotAtAll) {
  struct stat a, b;
  ASSERT_EQ(stat(dir_.c_str(), &a), 0);
  if (stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev) GTEST_SKIP() << "no second file system";
  char pattern[] = "/dev/shm/quivra-move-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string other = pattern;
  std::string big(3 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = (char)(i * 7 + i / 4096);
  WriteAll(other + "/big.bin", big);
  EXPECT_TRUE(MoveFile(W(other + "/big.bin").c_str(), W(dir_ + "/big.bin").c_str()));
  EXPECT_EQ(ReadAll(dir_ + "/big.bin"), big);
  EXPECT_EQ(GetFileAttributes(W(other + "/big.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  // An existing target on the other file system stays as it was.
  WriteAll(other + "/taken.bin", "keep");
  EXPECT_FALSE(MoveFile(W(dir_ + "/big.bin").c_str(), W(other + "/taken.bin").c_str()));
  EXPECT_EQ(ReadAll(other + "/taken.bin"), "keep");
  EXPECT_EQ(ReadAll(dir_ + "/big.bin"), big);
  // A target folder that cannot be written: nothing arrives, nothing is lost.
  mkdir((other + "/locked").c_str(), 0555);
  if (geteuid() != 0) {
    EXPECT_FALSE(MoveFile(W(dir_ + "/big.bin").c_str(), W(other + "/locked/big.bin").c_str()));
    EXPECT_EQ(ReadAll(dir_ + "/big.bin"), big);
    EXPECT_EQ(GetFileAttributes(W(other + "/locked/big.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  }
  std::string cmd = "chmod -R u+w '" + other + "'; rm -rf '" + other + "'";
  (void)system(cmd.c_str());
}

TEST_F(Files, DeleteRemovesFilesNotFolders) {
  WriteAll(dir_ + "/x", "1");
  mkdir((dir_ + "/d").c_str(), 0755);
  EXPECT_TRUE(DeleteFile(W(dir_ + "/x").c_str()));
  EXPECT_FALSE(DeleteFile(W(dir_ + "/x").c_str()));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteFile(W(dir_ + "/d").c_str()));
  EXPECT_NE(GetFileAttributes(W(dir_ + "/d").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, WholeFileReadsThroughHandles) {
  std::string data(100000, 'q');
  data[99999] = 'z';
  WriteAll(dir_ + "/mail.jpg", data);
  WriteAll(dir_ + "/empty.jpg", "");
  HANDLE h = CreateFile(W(dir_ + "/mail.jpg").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                        nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD size = GetFileSize(h, nullptr);
  ASSERT_EQ(size, data.size());
  std::string back(size, '\0');
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(h, back.data(), size, &got, nullptr));
  EXPECT_EQ(got, size);
  EXPECT_EQ(back, data);
  EXPECT_TRUE(CloseHandle(h));
  h = CreateFile(W(dir_ + "/empty.jpg").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  CloseHandle(h);
  EXPECT_EQ(CreateFile(W(dir_ + "/none").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(Files, TemporaryNamesAreNewFilesInTheTemporaryFolder) {
  setenv("TMPDIR", dir_.c_str(), 1);
  WCHAR folder[MAX_PATH];
  DWORD n = GetTempPath(MAX_PATH, folder);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(folder[n - 1], u'\\');
  WCHAR a[MAX_PATH], b[MAX_PATH];
  ASSERT_NE(GetTempFileName(folder, u"x_", 0, a), 0u);
  ASSERT_NE(GetTempFileName(folder, u"x_", 0, b), 0u);
  EXPECT_NE(std::u16string(a), std::u16string(b));
  std::string hostA = platform::HostPathFromDevice(a);
  EXPECT_EQ(hostA.rfind(dir_ + "/x_", 0), 0u) << hostA;
  EXPECT_NE(GetFileAttributes(a), INVALID_FILE_ATTRIBUTES) << "the name is reserved by a new file";
  unsetenv("TMPDIR");
}

TEST_F(Files, PicturesFolderComesFromTheXdgUserDirectories) {
  std::string config = dir_ + "/config";
  mkdir(config.c_str(), 0755);
  WriteAll(config + "/user-dirs.dirs", "# comment\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", dir_.c_str(), 1);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  WCHAR path[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_MYPICTURES, FALSE));
  EXPECT_EQ(platform::HostPathFromDevice(path), dir_ + "/Bilder");
  std::u16string p = path;
  EXPECT_NE(p.back(), u'\\');
  EXPECT_EQ(GetFileAttributes(path), INVALID_FILE_ATTRIBUTES) << "no creation";
  unlink((config + "/user-dirs.dirs").c_str());
  ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_MYPICTURES, FALSE));
  EXPECT_EQ(platform::HostPathFromDevice(path), dir_ + "/Pictures");
  setenv("HOME", oldHome.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
}

TEST_F(Files, ModulePathIsTheRunningExecutable) {
  WCHAR path[MAX_PATH];
  DWORD n = GetModuleFileName(nullptr, path, MAX_PATH);
  ASSERT_GT(n, 0u);
  std::string host = platform::HostPathFromDevice(path);
  char link[4096];
  ssize_t len = readlink("/proc/self/exe", link, sizeof link - 1);
  ASSERT_GT(len, 0);
  EXPECT_EQ(host, std::string(link, (size_t)len));
}

}  // namespace
