// Shell file-change notifications: changes made by another process (and by
// the program itself) in a watched folder reach the registered window as
// WM_FILECHANGEINFO through the message loop, with the event and the full
// device paths, and stop once the window is deregistered.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/path_map.h"
#include "platform/text/codepage.h"
#include "tests/platform/platform_fixture.h"
#include "tests/support/test_support.h"

namespace {

using platform_test::Recorder;
using testing_support::RunCommand;

struct Seen {
  HWND hwnd;
  LONG event;
  ULONG flags;
  std::u16string first;
  std::u16string second;
  bool hasSecond;
  DWORD attributes;
  ULONG size;
  bool onUiThread;
};

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// The device path of a host path under the device root "/".
std::u16string DevicePath(const std::string& host) {
  std::string s = host;
  for (char& c : s)
    if (c == '/') c = '\\';
  return platform::WideFromUtf8(s);
}

class ChangeNotifyTest : public platform_test::DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    InstallHandler();
  }
  void InstallHandler() {
    platform::headless::SetQuitWhenScriptEnds(false);
    uiThread_ = std::this_thread::get_id();
    Recorder::Get().handler = [this](HWND hwnd, UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
      if (msg != WM_FILECHANGEINFO) return false;
      auto* n = reinterpret_cast<FILECHANGENOTIFY*>(lParam);
      const FILECHANGEINFO& f = n->fci;
      Seen s{hwnd,
             f.wEventId,
             f.uFlags,
             f.dwItem1 ? std::u16string((LPCWSTR)f.dwItem1) : std::u16string(),
             f.dwItem2 ? std::u16string((LPCWSTR)f.dwItem2) : std::u16string(),
             f.dwItem2 != 0,
             f.dwAttributes,
             f.nFileSize,
             std::this_thread::get_id() == uiThread_};
      seen_.push_back(s);
      SHChangeNotifyFree(n);
      *result = 0;
      return true;
    };
  }
  void TearDown() override {
    for (HWND w : registered_) SHChangeNotifyDeregister(w);
    DeviceTest::TearDown();
  }

  static BOOL Register(HWND w, const char16_t* folder, DWORD mask = SHCNE_ALLEVENTS) {
    SHCHANGENOTIFYENTRY entry{mask, const_cast<LPTSTR>(folder), FALSE};
    return SHChangeNotifyRegister(w, &entry);
  }
  HWND Watch(const std::u16string& folder, DWORD mask = SHCNE_ALLEVENTS) {
    HWND w = Top();
    EXPECT_TRUE(Register(w, folder.c_str(), mask));
    registered_.push_back(w);
    return w;
  }

  // A real message loop (GetMessage / DispatchMessage) that ends when
  // `done` holds or, failing that, after a few seconds of real time.
  bool PumpUntil(const std::function<bool()>& done) {
    std::atomic<bool> stop{false};
    std::thread watchdog([&] {
      auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!stop && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (!stop) PostQuitMessage(0);
    });
    MSG msg;
    while (!done()) {
      if (GetMessage(&msg, nullptr, 0, 0) <= 0) break;
      TranslateMessage(&msg);
      DispatchMessage(&msg);
    }
    stop = true;
    watchdog.join();
    while (PeekMessage(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return done();
  }

  std::vector<Seen> Of(HWND w) const {
    std::vector<Seen> out;
    for (auto& s : seen_)
      if (s.hwnd == w) out.push_back(s);
    return out;
  }
  bool Has(HWND w, LONG event, const std::u16string& first) const {
    for (auto& s : seen_)
      if (s.hwnd == w && s.event == event && s.first == first) return true;
    return false;
  }
  size_t Count(HWND w) const { return Of(w).size(); }
  // The events a window received, each with its first path.
  using Events = std::vector<std::pair<LONG, std::u16string>>;
  Events EventsOf(HWND w) const {
    Events out;
    for (auto& s : Of(w)) out.emplace_back(s.event, s.first);
    return out;
  }

  std::string Folder(const std::string& name) {
    std::string path = dir_ + "/" + name;
    EXPECT_EQ(RunCommand("mkdir -p " + Quoted(path)), 0);
    return path;
  }

  std::vector<Seen> seen_;
  std::vector<HWND> registered_;
  std::thread::id uiThread_;
};

TEST_F(ChangeNotifyTest, CreatedDeletedAndRenamedByAnotherProcessArriveWithFullPaths) {
  std::string folder = Folder("pictures");
  HWND w = Watch(DevicePath(folder));
  std::string a = folder + "/one picture.jpg";
  std::string b = folder + "/été 2.jpg";
  // Another process: create (with content), rename, then delete.
  ASSERT_EQ(RunCommand("printf 'abcdefghij' > " + Quoted(a)), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(w) >= 1; }));
  ASSERT_EQ(RunCommand("mv " + Quoted(a) + " " + Quoted(b)), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(w) >= 2; }));
  ASSERT_EQ(RunCommand("rm " + Quoted(b)), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(w) >= 3; }));

  ASSERT_EQ(EventsOf(w), (Events{{SHCNE_CREATE, DevicePath(a)},
                                  {SHCNE_RENAMEITEM, DevicePath(a)},  // the old path first
                                  {SHCNE_DELETE, DevicePath(b)}}));
  std::vector<Seen> got = Of(w);
  EXPECT_FALSE(got[0].hasSecond);
  EXPECT_EQ(got[0].flags & SHCNF_PATH, (ULONG)SHCNF_PATH);
  EXPECT_FALSE(got[0].attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(got[1].second, DevicePath(b)) << "then the new one";
  EXPECT_EQ(got[1].size, 10u) << "the renamed file as it is now";
  EXPECT_FALSE(got[2].hasSecond);
  for (auto& s : got) EXPECT_TRUE(s.onUiThread) << "handled by the window on the UI thread";
}

TEST_F(ChangeNotifyTest, ManyChangesInOneGoArriveInOrderEachOnce) {
  std::string folder = Folder("burst");
  HWND w = Watch(DevicePath(folder) + u"\\");  // a trailing separator is fine
  std::string cmd = "cd " + Quoted(folder) + " && for i in 1 2 3 4 5 6 7 8; do : > f$i.png; done"
                    " && mv f1.png g1.png && mv f2.png g2.png && rm f3.png";
  ASSERT_EQ(RunCommand(cmd), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(w) >= 11; }));
  auto at = [&](const std::string& name) { return DevicePath(folder + "/" + name); };
  Events expected;
  for (int i = 1; i <= 8; ++i)
    expected.emplace_back(SHCNE_CREATE, at("f" + std::to_string(i) + ".png"));
  expected.emplace_back(SHCNE_RENAMEITEM, at("f1.png"));
  expected.emplace_back(SHCNE_RENAMEITEM, at("f2.png"));
  expected.emplace_back(SHCNE_DELETE, at("f3.png"));
  ASSERT_EQ(EventsOf(w), expected);
  EXPECT_EQ(Of(w)[8].second, at("g1.png"));
  EXPECT_EQ(Of(w)[9].second, at("g2.png"));
}

TEST_F(ChangeNotifyTest, NothingArrivesAfterDeregistration) {
  std::string folder = Folder("watched");
  HWND w = Watch(DevicePath(folder));
  // A second window on the same folder stays registered: once it has seen
  // a change, the first one would have seen it too.
  HWND witness = Watch(DevicePath(folder));
  ASSERT_EQ(RunCommand(": > " + Quoted(folder + "/before.jpg")), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(w) >= 1 && Count(witness) >= 1; }));
  EXPECT_TRUE(Has(w, SHCNE_CREATE, DevicePath(folder + "/before.jpg")));

  EXPECT_TRUE(SHChangeNotifyDeregister(w));
  EXPECT_FALSE(SHChangeNotifyDeregister(w)) << "no second deregistration";
  ASSERT_EQ(RunCommand("cd " + Quoted(folder) + " && : > after.jpg && mv after.jpg later.jpg && rm before.jpg"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(witness) >= 4; }));
  EXPECT_TRUE(Has(witness, SHCNE_DELETE, DevicePath(folder + "/before.jpg")));
  EXPECT_EQ(Count(w), 1u) << "the deregistered window heard nothing more";
}

TEST_F(ChangeNotifyTest, TwoFoldersAreWatchedIndependently) {
  std::string a = Folder("a");
  std::string b = Folder("b");
  HWND wa = Watch(DevicePath(a));
  HWND wb = Watch(DevicePath(b));
  ASSERT_EQ(RunCommand(": > " + Quoted(a + "/x.gif") + " && : > " + Quoted(b + "/y.gif")), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(wa) >= 1 && Count(wb) >= 1; }));
  // A file moved from one folder to the other leaves the first and
  // arrives in the second.
  ASSERT_EQ(RunCommand("mv " + Quoted(a + "/x.gif") + " " + Quoted(b + "/x.gif")), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(wa) >= 2 && Count(wb) >= 2; }));

  EXPECT_EQ(EventsOf(wa), (Events{{SHCNE_CREATE, DevicePath(a + "/x.gif")},
                                   {SHCNE_DELETE, DevicePath(a + "/x.gif")}}));
  EXPECT_EQ(EventsOf(wb), (Events{{SHCNE_CREATE, DevicePath(b + "/y.gif")},
                                   {SHCNE_CREATE, DevicePath(b + "/x.gif")}}));

  // Ending one registration leaves the other working.
  EXPECT_TRUE(SHChangeNotifyDeregister(wa));
  ASSERT_EQ(RunCommand("rm " + Quoted(b + "/y.gif") + " && : > " + Quoted(a + "/z.gif") + " && : > " +
                       Quoted(b + "/z.gif")),
            0);
  ASSERT_TRUE(PumpUntil([&] { return Count(wb) >= 4; }));
  EXPECT_TRUE(Has(wb, SHCNE_DELETE, DevicePath(b + "/y.gif")));
  EXPECT_TRUE(Has(wb, SHCNE_CREATE, DevicePath(b + "/z.gif")));
  EXPECT_EQ(Count(wa), 2u);
}

TEST_F(ChangeNotifyTest, TheEventMaskChoosesWhatArrives) {
  std::string folder = Folder("masked");
  HWND deletions = Watch(DevicePath(folder), SHCNE_DELETE);
  HWND everything = Watch(DevicePath(folder));
  ASSERT_EQ(RunCommand("cd " + Quoted(folder) + " && : > p.bmp && mv p.bmp q.bmp && rm q.bmp && mkdir sub"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(everything) >= 4; }));
  EXPECT_EQ(EventsOf(deletions), (Events{{SHCNE_DELETE, DevicePath(folder + "/q.bmp")}}));
  ASSERT_EQ(Count(everything), 4u);
  EXPECT_EQ(Of(everything)[3].event, SHCNE_MKDIR) << "a new folder is not reported as a file";
  EXPECT_TRUE(Of(everything)[3].attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ChangeNotifyTest, ADeletedWatchedFolderIsSurvived) {
  std::string parent = Folder("parent");
  std::string gone = Folder("parent/gone");
  ASSERT_EQ(RunCommand(": > " + Quoted(gone + "/inside.jpg")), 0);
  HWND w = Watch(DevicePath(gone));
  HWND witness = Watch(DevicePath(parent));
  ASSERT_EQ(RunCommand("rm -rf " + Quoted(gone)), 0);
  ASSERT_TRUE(PumpUntil([&] { return Has(witness, SHCNE_RMDIR, DevicePath(gone)); }));
  EXPECT_TRUE(Has(w, SHCNE_DELETE, DevicePath(gone + "/inside.jpg")));

  // A new folder of the same name is another folder: the old registration
  // hears nothing of it, and the rest keeps working.
  ASSERT_EQ(RunCommand("mkdir " + Quoted(gone) + " && : > " + Quoted(gone + "/new.jpg") + " && : > " +
                       Quoted(parent + "/sibling.jpg")),
            0);
  ASSERT_TRUE(PumpUntil([&] { return Has(witness, SHCNE_CREATE, DevicePath(parent + "/sibling.jpg")); }));
  EXPECT_EQ(Count(w), 1u);
  EXPECT_TRUE(SHChangeNotifyDeregister(w));

  // Registering a folder that no longer exists fails.
  ASSERT_EQ(RunCommand("rm -rf " + Quoted(gone)), 0);
  EXPECT_FALSE(Register(Top(), DevicePath(gone).c_str()));
}

TEST_F(ChangeNotifyTest, TheProgramsOwnFileOperationsAreReported) {
  std::string folder = Folder("own");
  HWND w = Watch(DevicePath(folder));
  std::u16string a = DevicePath(folder + "/a.jpg");
  std::u16string b = DevicePath(folder + "/b.jpg");
  std::u16string c = DevicePath(folder + "/c.jpg");
  ASSERT_EQ(RunCommand("printf xyz > " + Quoted(folder + "/a.jpg")), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(w) >= 1; }));
  ASSERT_TRUE(MoveFile(a.c_str(), b.c_str()));
  ASSERT_TRUE(CopyFile(b.c_str(), c.c_str(), TRUE));
  ASSERT_TRUE(DeleteFile(b.c_str()));
  ASSERT_TRUE(PumpUntil([&] { return Has(w, SHCNE_DELETE, b); }));
  EXPECT_TRUE(Has(w, SHCNE_CREATE, c));
  std::vector<Seen> got = Of(w);
  EXPECT_TRUE(std::any_of(got.begin(), got.end(), [&](const Seen& s) {
    return s.event == SHCNE_RENAMEITEM && s.first == a && s.second == b;
  }));
}

TEST_F(ChangeNotifyTest, AFileTheProgramWritesIsReportedAsCreated) {
  // As a saved picture or a screen capture is written.
  std::string folder = Folder("saved");
  HWND w = Watch(DevicePath(folder));
  std::u16string path = DevicePath(folder + "/screen000.bmp");
  HANDLE f = CreateFile(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(f, "BM", 2, &written, nullptr));
  CloseHandle(f);
  ASSERT_TRUE(PumpUntil([&] { return Has(w, SHCNE_CREATE, path); }));
  EXPECT_FALSE(Has(w, SHCNE_DELETE, path));
}

TEST_F(ChangeNotifyTest, RegistrationNeedsAWindowAndAFolder) {
  std::string folder = Folder("args");
  std::u16string path = DevicePath(folder);
  EXPECT_FALSE(Register(nullptr, path.c_str()));
  HWND w = Top();
  EXPECT_FALSE(SHChangeNotifyRegister(w, nullptr));
  EXPECT_FALSE(Register(w, nullptr));
  ASSERT_EQ(RunCommand(": > " + Quoted(folder + "/plain.txt")), 0);
  EXPECT_FALSE(Register(w, DevicePath(folder + "/plain.txt").c_str())) << "a file is not a folder";
  EXPECT_FALSE(SHChangeNotifyDeregister(w));
  DestroyWindow(w);
  EXPECT_FALSE(Register(w, path.c_str())) << "a destroyed window";
}

TEST_F(ChangeNotifyTest, RegisteringAgainMovesTheWindowToTheNewFolder) {
  std::string a = Folder("first");
  std::string b = Folder("second");
  HWND w = Watch(DevicePath(a));
  HWND witness = Watch(DevicePath(a));
  ASSERT_TRUE(Register(w, DevicePath(b).c_str()));
  ASSERT_EQ(RunCommand(": > " + Quoted(a + "/old.jpg") + " && : > " + Quoted(b + "/new.jpg")), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(witness) >= 1 && Count(w) >= 1; }));
  EXPECT_EQ(EventsOf(w), (Events{{SHCNE_CREATE, DevicePath(b + "/new.jpg")}}));
  EXPECT_TRUE(SHChangeNotifyDeregister(w));
  EXPECT_FALSE(SHChangeNotifyDeregister(w)) << "one registration per window";
}

TEST_F(ChangeNotifyTest, AWindowDestroyedWhileRegisteredIsForgotten) {
  std::string folder = Folder("destroyed");
  HWND w = Watch(DevicePath(folder));
  HWND witness = Watch(DevicePath(folder));
  ASSERT_TRUE(DestroyWindow(w));
  ASSERT_EQ(RunCommand(": > " + Quoted(folder + "/after.jpg")), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(witness) >= 1; }));
  EXPECT_EQ(Count(w), 0u);
  EXPECT_FALSE(SHChangeNotifyDeregister(w)) << "the registration went with the window";
  ASSERT_EQ(RunCommand("rm " + Quoted(folder + "/after.jpg")), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(witness) >= 2; }));
  EXPECT_TRUE(Has(witness, SHCNE_DELETE, DevicePath(folder + "/after.jpg")));
}

// Device paths below a device root other than "/".
class ChangeNotifyRootTest : public ChangeNotifyTest {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quivra-notify-root-XXXXXX";
    char* root = mkdtemp(pattern);
    ASSERT_NE(root, nullptr);
    root_ = root;
    platform::DeviceOptions options;
    options.root = root_;
    StartWith(options);
    InstallHandler();
  }
  void TearDown() override {
    ChangeNotifyTest::TearDown();
    RunCommand("rm -rf " + Quoted(root_));
  }
  std::string root_;
};

TEST_F(ChangeNotifyRootTest, PathsAreDevicePathsUnderTheRoot) {
  ASSERT_EQ(RunCommand("mkdir -p " + Quoted(root_ + "/My Pictures")), 0);
  HWND w = Watch(u"\\My Pictures");
  ASSERT_EQ(RunCommand("cd " + Quoted(root_ + "/My Pictures") + " && : > a.jpg && mv a.jpg b.jpg"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(w) >= 2; }));
  EXPECT_EQ(EventsOf(w), (Events{{SHCNE_CREATE, u"\\My Pictures\\a.jpg"},
                                  {SHCNE_RENAMEITEM, u"\\My Pictures\\a.jpg"}}));
  EXPECT_EQ(Of(w)[1].second, u"\\My Pictures\\b.jpg");
}

}  // namespace
