// Message boxes in headless runs: answers from the keypad and the soft
// keys, the record of every box, the owner, the Back key, boxes from other
// threads, and how a box looks.
#include <thread>

#include "platform/shell/soft_key_bar.h"
#include "tests/platform/platform_fixture.h"
#include "tests/support/test_support.h"
namespace platform_test {
using namespace testing_support;
}
#include "tests/platform/golden.h"

using namespace platform_test;

namespace {

class MessageBoxTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    platform::ClearMessageBoxLog();
    owner_ = Top();
    ShowWindow(owner_, SW_SHOW);
    SetFocus(owner_);
    Recorder::Get().log.clear();
  }
  void Script(const std::string& text) {
    std::string error;
    ASSERT_TRUE(platform::headless::AddScript(text, &error)) << error;
  }
  // Runs `during` from a timer of the owner while the box is up.
  void WhileShown(std::function<void()> during) {
    Recorder::Get().handler = [this, during](HWND hwnd, UINT msg, WPARAM wParam, LPARAM, LRESULT*) {
      if (hwnd == owner_ && msg == WM_TIMER && wParam == 77) {
        KillTimer(owner_, 77);
        during();
      }
      return false;
    };
    SetTimer(owner_, 77, 50, nullptr);
  }
  HWND owner_ = nullptr;
};

TEST_F(MessageBoxTest, KeysAndSoftKeysAnswerAndEveryBoxIsRecorded) {
  struct Row {
    const char* name;
    const char* keys;
    bool owned;
    const char16_t* text;
    const char16_t* caption;
    UINT type;
    int answer;
  } rows[] = {
      {"action is OK", "key enter\n", true, u"Overwrite?", u"", MB_OKCANCEL | MB_ICONQUESTION,
       IDOK},
      {"back is Cancel", "key back\n", true, u"Delete?", u"", MB_OKCANCEL | MB_ICONQUESTION,
       IDCANCEL},
      {"back without Cancel is OK", "key back\n", false, u"RegisterClass() failed", u"Error", MB_OK,
       IDOK},
      {"left soft key is OK", "key F1\n", true, u"View the capture?", u"",
       MB_OKCANCEL | MB_ICONINFORMATION, IDOK},
      {"right soft key is Cancel", "key F2\n", true, u"View the capture?", u"",
       MB_OKCANCEL | MB_ICONINFORMATION, IDCANCEL},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    platform::ClearMessageBoxLog();
    Script(r.keys);
    EXPECT_EQ(MessageBox(r.owned ? owner_ : nullptr, r.text, r.caption, r.type), r.answer);
    const auto& log = platform::MessageBoxLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, r.text);
    EXPECT_EQ(log[0].caption, r.caption);
    EXPECT_EQ(log[0].type, r.type);
    EXPECT_EQ(log[0].answer, r.answer);
  }
  platform::ClearMessageBoxLog();
  EXPECT_TRUE(platform::MessageBoxLog().empty());
  // A box with OK alone has no right key: F2 does nothing, F1 answers.
  bool openAfterF2 = false;
  Script("key F2\nwait 100\nkey F1\n");
  WhileShown([&] { openAfterF2 = GetForegroundWindow() != owner_; });
  EXPECT_EQ(MessageBox(owner_, u"Restart needed", u"", MB_OK | MB_ICONEXCLAMATION), IDOK);
  EXPECT_TRUE(openAfterF2);
  // The soft keys went to the box's bar: the owner heard no command.
  EXPECT_TRUE(Recorder::Get().Of(owner_, {WM_COMMAND}).empty());
}

TEST_F(MessageBoxTest, FillsTheWorkAreaWithTheCaptionWhileTheOwnerWaits) {
  RECT rect{};
  WCHAR title[64] = {u'?', 0};
  bool ownerEnabled = true;
  WhileShown([&] {
    GetWindowRect(GetForegroundWindow(), &rect);
    GetWindowText(GetForegroundWindow(), title, 64);
    ownerEnabled = IsWindowEnabled(owner_);
  });
  SetTimer(owner_, 78, 100, nullptr);
  Script("wait 1000\nkey enter\n");
  EXPECT_EQ(MessageBox(owner_, u"Store missing PR_ENTRYID!", u"Doh", MB_OK), IDOK);
  EXPECT_TRUE(rect.left == 0 && rect.top == 20 && rect.right == 176 && rect.bottom == 200);
  EXPECT_EQ(std::u16string(title), u"Doh");
  EXPECT_FALSE(ownerEnabled);
  // The owner's timer kept running while the box was up.
  int ticks = 0;
  for (auto& r : Recorder::Get().Of(owner_, {WM_TIMER})) ticks += r.wParam == 78;
  EXPECT_GT(ticks, 1);
  // Afterwards the owner is enabled, active and focused again.
  EXPECT_TRUE(IsWindowEnabled(owner_));
  EXPECT_EQ(GetActiveWindow(), owner_);
  EXPECT_EQ(GetFocus(), owner_);
  EXPECT_EQ(Recorder::Get().Messages(owner_, {WM_KILLFOCUS, WM_SETFOCUS}),
            (std::vector<UINT>{WM_KILLFOCUS, WM_SETFOCUS}));
}

TEST_F(MessageBoxTest, BackTakenOverByTheOwnerStillAnswersTheBox) {
  platform::SetBackKeyOverride(owner_, true);
  Script("key back\n");
  EXPECT_EQ(MessageBox(owner_, u"Overwrite?", u"", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
  EXPECT_TRUE(Recorder::Get().Of(owner_, {WM_HOTKEY}).empty());
  // Once the box is gone the override is the owner's again.
  platform::KeypadKey(VK_ESCAPE, true);
  platform::KeypadKey(VK_ESCAPE, false);
  platform::headless::RunPending();
  EXPECT_EQ(Recorder::Get().Of(owner_, {WM_HOTKEY}).size(), 2u);
}

TEST_F(MessageBoxTest, BoxFromAnotherThreadIsRecordedAndTakenAsOk) {
  int answer = 0;
  std::thread worker(
      [&] { answer = MessageBox(nullptr, u"\\Pictures\\a.jpg", u"PB bitmap", MB_OK); });
  worker.join();
  EXPECT_EQ(answer, IDOK);
  ASSERT_EQ(platform::MessageBoxLog().size(), 1u);
  EXPECT_EQ(platform::MessageBoxLog()[0].caption, u"PB bitmap");
  EXPECT_EQ(platform::MessageBoxLog()[0].text, u"\\Pictures\\a.jpg");
}

TEST_F(MessageBoxTest, LooksOfAStopBoxWithALongPathAndAQuestionWithoutCaption) {
  struct Row {
    const char* golden;
    const char* keys;
    const char16_t* text;
    const char16_t* caption;
    UINT type;
    int answer;
  } rows[] = {
      {"msgbox_stop", "wait 100\nkey F1\n",
       u"Cannot save the picture \\My Documents\\My Pictures\\holiday_2004_beach_sunset.jpg",
       u"Error", MB_OK | MB_ICONSTOP, IDOK},
      {"msgbox_question", "wait 100\nkey F2\n", u"The file already exists. Overwrite it?", u"",
       MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.golden);
    WhileShown([&] { ExpectScreenMatchesGolden(r.golden); });
    Script(r.keys);
    EXPECT_EQ(MessageBox(owner_, r.text, r.caption, r.type), r.answer);
  }
}

}  // namespace
