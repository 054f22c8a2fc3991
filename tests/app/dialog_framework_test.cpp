// Dialog objects and the shared dialog procedure: binding on WM_INITDIALOG,
// full-screen sizing, the return rules, modal runs of the program's own
// templates with their soft-key bar (OK 1, Cancel 0), translation of the
// title, labels and soft keys from a language file, and the Back key in
// and outside edit fields.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "app/lang/language.h"
#include "app/window/dialog_ex.h"
#include "app/window/tree_ctrl.h"
#include "platform/aygshell.h"
#include "tests/support/test_support.h"

using namespace testing_support;

#include "tests/platform/golden.h"
#include "tests/platform/platform_fixture.h"

namespace {

constexpr WORD kRename = 112;
constexpr WORD kSlideshow = 116;

std::u16string TextOf(HWND hwnd) {
  WCHAR buffer[261] = {0};
  GetWindowText(hwnd, buffer, 260);
  return buffer;
}

// A dialog of the program's kind: soft keys from bar 137, OK ends with 1,
// Cancel with 0; the test decides what happens in WM_INITDIALOG.
class CDlgProbe : public CDlgEx {
 public:
  CDlgProbe(WORD templateId, UINT barId = 137)
      : CDlgEx(nullptr, GetModuleHandle(nullptr), templateId, kMessageMap), barId_(barId) {}

  std::function<LRESULT(CDlgProbe*)> onInit;
  std::function<void(CDlgProbe*)> onOk;
  int backKeys = 0;
  bool overrideBack = false;
  bool destroyed = false;
  HWND handleAtInit = nullptr;
  LPARAM initParam = 0;
  LRESULT notifyValue = -1;
  static const MessageMapEntry kMessageMap[];

  void OnBackKey() override {
    ++backKeys;
    if (overrideBack)
      EndDialog(hwnd_, 7);
    else
      CDlgEx::OnBackKey();
  }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

 private:
  LRESULT OnInitDialog(WPARAM, LPARAM lParam) {
    handleAtInit = hwnd_;
    initParam = lParam;
    CreateSoftKeys(barId_);
    return onInit ? onInit(this) : 1;
  }
  LRESULT OnOk() {
    if (onOk) onOk(this);
    EndDialog(hwnd_, 1);
    return 0;
  }
  LRESULT OnCancel() {
    EndDialog(hwnd_, 0);
    return 0;
  }
  LRESULT OnNotify(NMHDR*, LRESULT* result) {
    *result = notifyValue;
    return 0;
  }
  LRESULT OnDestroy() {
    destroyed = true;
    ReleaseFonts();
    return 0;
  }
  UINT barId_;
};

const MessageMapEntry CDlgProbe::kMessageMap[] = {
    MapMessage<WM_INITDIALOG>(&CDlgProbe::OnInitDialog),
    MapMessage<WM_DESTROY>(&CDlgProbe::OnDestroy),
    MapMessage<WM_HOTKEY>(&CDlgEx::OnHotKey),
    MapMessage<WM_CTLCOLORSTATIC>(&CDlgEx::OnCtlColorStatic),
    MapCommand(IDOK, &CDlgProbe::OnOk),
    MapCommand(IDCANCEL, &CDlgProbe::OnCancel),
    MapNotify(1035, 0u - 12u, &CDlgProbe::OnNotify),
    MapEnd(),
};

// A tree wrapper that wants every key, as the folder tree does.
class CKeyTree : public CTreeCtrl {
 public:
  CKeyTree() : CTreeCtrl(GetModuleHandle(nullptr), kMessageMap) {}
  std::vector<WPARAM> keys;
  static const MessageMapEntry kMessageMap[];

 private:
  LRESULT OnGetDlgCode(LPARAM) { return DLGC_WANTALLKEYS; }
  LRESULT OnKeyDown(WPARAM key, UINT, LPARAM) {
    keys.push_back(key);
    return 0;
  }
};
const MessageMapEntry CKeyTree::kMessageMap[] = {
    MapMessage<WM_GETDLGCODE>(&CKeyTree::OnGetDlgCode),
    MapMessage<WM_KEYDOWN>(&CKeyTree::OnKeyDown),
    MapEnd(),
};

class DialogFramework : public platform_test::DeviceTest {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quivra-dialogs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    programDir_ = pattern;
    platform::DeviceOptions options;
    options.programPath = programDir_ + "/quivra";
    StartWith(options);
    platform::ClearMessageBoxLog();
    haveTemplates_ = platform::FindDialogTemplate(kRename) != nullptr &&
                     platform::FindDialogTemplate(kSlideshow) != nullptr &&
                     platform::FindSoftKeyBar(137) != nullptr;
  }
  void TearDown() override {
    TheLanguage().Close();
    TheLanguage().Open(GetModuleHandle(nullptr), u"en");
    DeviceTest::TearDown();
    std::string cmd = "rm -rf '" + programDir_ + "'";
    (void)system(cmd.c_str());
  }
  // The French file of the program, beside the (pretended) executable.
  void OpenFrench() {
    std::ifstream in(std::string(QUIVRA_SOURCE_DIR) + "/resources/fr.lng", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(programDir_ + "/fr.lng", std::ios::binary) << bytes;
    ASSERT_EQ(TheLanguage().Open(GetModuleHandle(nullptr), u"fr"), 1);
  }
  // Runs `probe` with the keys of `script` queued.
  static int Run(CDlgProbe& probe, const std::string& script) {
    std::string error;
    EXPECT_TRUE(platform::headless::AddScript(script, &error)) << error;
    return probe.Run();
  }
  static std::u16string ButtonText(HWND bar, int index) {
    WCHAR text[64] = {0};
    TBBUTTONINFO info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_BYINDEX | TBIF_TEXT;
    info.pszText = text;
    info.cchText = 64;
    if (SendMessage(bar, TB_GETBUTTONINFO, (WPARAM)index, (LPARAM)&info) == -1) return u"<none>";
    return text;
  }
  std::string programDir_;
  bool haveTemplates_ = false;
};

#define REQUIRE_PROGRAM_TEMPLATES()                                                  \
  if (!haveTemplates_)                                                               \
  GTEST_SKIP() << "the program's resource script (dialogs 112 and 116, bar 137) is " \
                  "not in this build yet"

TEST_F(DialogFramework, AMissingTemplateRunsNothing) {
  CDlgProbe probe(4321);
  EXPECT_EQ(probe.Run(), -1);
  EXPECT_EQ(probe.Handle(), nullptr);
}

TEST_F(DialogFramework, TheSoftKeysGiveOkAndCancel) {
  REQUIRE_PROGRAM_TEMPLATES();
  for (auto [key, result] : {std::pair{"key F1", 1}, std::pair{"key F2", 0}}) {
    SCOPED_TRACE(key);
    CDlgProbe probe(kRename);
    EXPECT_EQ(Run(probe, key), result);
    EXPECT_TRUE(probe.destroyed);
  }
}

TEST_F(DialogFramework, InitDialogBindsTheObjectAndFillsTheScreen) {
  REQUIRE_PROGRAM_TEMPLATES();
  CDlgProbe probe(kRename);
  HWND bound = nullptr, bar = nullptr;
  LONG_PTR userData = 0;
  RECT rect{};
  bool barShown = false;
  LOGFONT normal{}, bold{};
  probe.onInit = [&](CDlgProbe* p) -> LRESULT {
    bound = p->Handle();
    userData = GetWindowLong(p->Handle(), GWL_USERDATA);
    GetWindowRect(p->Handle(), &rect);
    bar = p->SoftKeyBar();
    GetObject((HFONT)SendMessage(p->Handle(), WM_GETFONT, 0, 0), sizeof normal, &normal);
    GetObject(p->BoldFont(), sizeof bold, &bold);
    return 1;
  };
  probe.onOk = [&](CDlgProbe*) { barShown = bar && IsWindowVisible(bar); };
  EXPECT_EQ(Run(probe, "key F1"), 1);
  EXPECT_NE(bound, nullptr);
  EXPECT_EQ(probe.handleAtInit, bound);
  EXPECT_EQ(probe.initParam, (LPARAM)&probe);
  EXPECT_EQ(userData, (LONG_PTR)&probe);
  // The work area of the 176 x 220 screen: below the task bar, above the bar.
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 20);
  EXPECT_EQ(rect.right, 176);
  EXPECT_EQ(rect.bottom, 200);
  EXPECT_NE(bar, nullptr);
  EXPECT_TRUE(barShown);
  // The bold font copies the dialog's font with weight 700, and is released at the end.
  EXPECT_EQ(bold.lfWeight, 700);
  EXPECT_NE(normal.lfWeight, 700);
  EXPECT_EQ(bold.lfHeight, normal.lfHeight);
  EXPECT_EQ(std::u16string(bold.lfFaceName), std::u16string(normal.lfFaceName));
  EXPECT_EQ(probe.BoldFont(), nullptr);
}

TEST_F(DialogFramework, TheDialogProcedureReturnRules) {
  REQUIRE_PROGRAM_TEMPLATES();
  CDlgProbe probe(kRename);
  struct Seen {
    INT_PTR notifyHandled, notifyUnset, notifyOther, unmatched, ctlColor;
    LONG_PTR msgResult, msgResultAfterUnset;
    HGDIOBJ selectedFont;
    HFONT bold;
  } seen{};
  probe.onInit = [&](CDlgProbe* p) -> LRESULT {
    HWND d = p->Handle();
    NMHDR header{d, 1035, 0u - 12u};
    p->notifyValue = 0x20;  // e.g. a custom-draw answer
    seen.notifyHandled = CDlg::DialogProc(d, WM_NOTIFY, 1035, (LPARAM)&header);
    seen.msgResult = GetWindowLong(d, DWL_MSGRESULT);
    SetWindowLong(d, DWL_MSGRESULT, 0x55);
    p->notifyValue = -1;  // left at -1: not handled
    seen.notifyUnset = CDlg::DialogProc(d, WM_NOTIFY, 1035, (LPARAM)&header);
    seen.msgResultAfterUnset = GetWindowLong(d, DWL_MSGRESULT);
    NMHDR other{d, 1035, 0u - 2u};
    seen.notifyOther = CDlg::DialogProc(d, WM_NOTIFY, 1035, (LPARAM)&other);
    seen.unmatched = CDlg::DialogProc(d, WM_TIMER, 5, 0);
    // The static-colour handler: the bold font in the DC, the white brush.
    HDC dc = GetDC(d);
    seen.ctlColor = CDlg::DialogProc(d, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)p->Item(1045));
    seen.selectedFont = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    seen.bold = p->BoldFont();
    ReleaseDC(d, dc);
    return 1;
  };
  ASSERT_EQ(Run(probe, "key F1"), 1);
  EXPECT_EQ(seen.notifyHandled, 1);
  EXPECT_EQ(seen.msgResult, 0x20);
  EXPECT_EQ(seen.notifyUnset, 0);
  EXPECT_EQ(seen.msgResultAfterUnset, 0x55);
  EXPECT_EQ(seen.notifyOther, 0);
  EXPECT_EQ(seen.unmatched, 0);
  EXPECT_EQ(seen.ctlColor, (INT_PTR)GetStockObject(WHITE_BRUSH));
  ASSERT_NE(seen.bold, nullptr);
  EXPECT_EQ(seen.selectedFont, (HGDIOBJ)seen.bold);
}

TEST_F(DialogFramework, ALanguageFileTranslatesTitleLabelsAndSoftKeys) {
  REQUIRE_PROGRAM_TEMPLATES();
  OpenFrench();
  CDlgProbe probe(kRename);
  std::vector<std::u16string> texts;
  probe.onInit = [&](CDlgProbe* p) -> LRESULT {
    Language& language = TheLanguage();
    language.TranslateDialog(p->Handle(), "DlgRename");
    language.TranslateControl(1045, "IDC_TPATHNAME");
    language.TranslateControl(1046, "IDC_TFILENAME");
    language.TranslateControl(1047, "IDC_TEXTENSION");
    SetDlgItemText(p->Handle(), 1008, u"\\My Pictures\\");
    SetDlgItemText(p->Handle(), 1003, u"photo");
    SetDlgItemText(p->Handle(), 1036, u"jpg");
    return 1;
  };
  probe.onOk = [&](CDlgProbe* p) {
    texts = {TextOf(p->Handle()), TextOf(p->Item(1045)), TextOf(p->Item(1046)),
             TextOf(p->Item(1047)), ButtonText(p->SoftKeyBar(), 0), ButtonText(p->SoftKeyBar(), 1)};
    platform_test::ExpectScreenMatchesGolden("framework_rename_fr");
  };
  ASSERT_EQ(Run(probe, "key F1"), 1);
  EXPECT_EQ(texts, (std::vector<std::u16string>{u"Renommer", u"Dossier :", u"Nom :", u"Extension :",
                                                u"OK", u"Annuler"}));
}

TEST_F(DialogFramework, TheSoftKeyMenuIsTranslatedWithItsButtons) {
  REQUIRE_PROGRAM_TEMPLATES();
  if (!platform::FindDialogTemplate(107) || !platform::FindSoftKeyBar(131))
    GTEST_SKIP() << "the properties dialog and its bar are not in this build yet";
  OpenFrench();
  CDlgProbe probe(107, 131);
  std::vector<std::u16string> texts;
  probe.onInit = [&](CDlgProbe* p) -> LRESULT {
    HMENU menu = p->SoftKeyMenu();
    EXPECT_NE(menu, nullptr);
    texts = {ButtonText(p->SoftKeyBar(), 0), ButtonText(p->SoftKeyBar(), 1)};
    for (int position : {0, 1, 3, 5}) {
      WCHAR text[64] = {0};
      GetMenuString(menu, (UINT)position, text, 64, MF_BYPOSITION);
      texts.push_back(text);
    }
    return 1;
  };
  EXPECT_EQ(Run(probe, "key F1"), 1);
  // EXIF has no entry: the English text stays.
  EXPECT_EQ(texts, (std::vector<std::u16string>{u"Termin\u00e9", u"Menu", u"Pr\u00e9c\u00e9dente",
                                                u"Suivante", u"Infos", u"EXIF"}));
}

// Back in the name field of the rename dialog (caret after "photo") edits
// it; outside an edit field (a slideshow check box) it ends the dialog with
// 0, unless the dialog class gives it its own meaning.
TEST_F(DialogFramework, TheBackKeyInAndOutsideEditFields) {
  REQUIRE_PROGRAM_TEMPLATES();
  struct Case {
    const char* name;
    bool inEdit, overrideBack;
    const char* keys;
    int result, backKeys;
    const char16_t* nameAtOk;
  };
  const Case cases[] = {
      {"release in an edit field: one character", true, false, "key back\nkey back\nkey F1", 1, 0,
       u"pho"},
      {"hold in an edit field: all of it", true, false, "hold back 1500\nkey F1", 1, 0, u""},
      // Had Back not ended the dialog, F1 would end it with 1.
      {"outside an edit field: ends with 0", false, false, "key back\nkey F1", 0, 1, nullptr},
      {"the class's own meaning", false, true, "key back\nkey F1", 7, 1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CDlgProbe probe(c.inEdit ? kRename : kSlideshow);
    probe.overrideBack = c.overrideBack;
    probe.onInit = [&](CDlgProbe* p) -> LRESULT {
      if (c.inEdit) {
        SetDlgItemText(p->Handle(), 1003, u"photo");
        SendMessage(p->Item(1003), EM_SETSEL, 5, 5);
      }
      SetFocus(p->Item(c.inEdit ? 1003 : 1034));
      return 0;
    };
    bool okReached = false;
    std::u16string atOk;
    probe.onOk = [&](CDlgProbe* p) {
      okReached = true;
      atOk = TextOf(p->Item(1003));
    };
    EXPECT_EQ(Run(probe, c.keys), c.result);
    EXPECT_EQ(probe.backKeys, c.backKeys);
    EXPECT_EQ(okReached, c.result == 1);
    if (c.nameAtOk) {
      EXPECT_EQ(atOk, c.nameAtOk);
    }
    // The keys left after the dialog ended go before the next row starts.
    MSG m;
    while (GetMessage(&m, nullptr, 0, 0)) DispatchMessage(&m);
  }
}

TEST_F(DialogFramework, AnAttachedTreeThatWantsAllKeysGetsTheDirectionKeys) {
  REQUIRE_PROGRAM_TEMPLATES();
  if (!platform::FindDialogTemplate(108) || !platform::FindSoftKeyBar(132))
    GTEST_SKIP() << "the choose-folder dialog and its bar are not in this build yet";
  CKeyTree tree;
  CDlgProbe probe(108, 132);
  HWND control = nullptr;
  bool focusedAtEnd = false;
  probe.onInit = [&](CDlgProbe* p) -> LRESULT {
    EXPECT_TRUE(tree.Attach(p->Handle(), 1009));
    control = p->Item(1009);
    SetFocus(control);
    return 0;
  };
  probe.onOk = [&](CDlgProbe*) { focusedAtEnd = GetFocus() == control; };
  // Action still gives IDOK to the dialog, whatever the tree wants.
  EXPECT_EQ(Run(probe, "key down\nkey up\nkey enter"), 1);
  EXPECT_NE(control, nullptr);
  EXPECT_EQ(tree.keys, (std::vector<WPARAM>{VK_DOWN, VK_UP}));
  EXPECT_TRUE(focusedAtEnd);
  // The dialog's end destroyed the tree and unbound the wrapper.
  EXPECT_EQ(tree.Handle(), nullptr);
}

TEST_F(DialogFramework, TheDebugConsoleNamesTheDestroyedDialogOnlyWhenAsked) {
  REQUIRE_PROGRAM_TEMPLATES();
  for (bool asked : {true, false}) {
    SCOPED_TRACE(asked ? "QUIVRA_DEBUG=1" : "no QUIVRA_DEBUG");
    if (asked) setenv("QUIVRA_DEBUG", "1", 1);
    testing::internal::CaptureStderr();
    HWND handle = nullptr;
    {
      CDlgProbe probe(kRename);
      probe.onInit = [&](CDlgProbe* p) -> LRESULT {
        handle = p->Handle();
        return 1;
      };
      Run(probe, "key F1");
    }
    std::string printed = testing::internal::GetCapturedStderr();
    unsetenv("QUIVRA_DEBUG");
    char expected[64];
    std::snprintf(expected, sizeof expected, "WM_DESTROY  %x \n", (unsigned)(uintptr_t)handle);
    EXPECT_EQ(printed.find(asked ? expected : "WM_DESTROY") != std::string::npos, asked) << printed;
  }
}

TEST_F(DialogFramework, TheLanguageListFillsAListBox) {
  OpenFrench();
  std::ofstream(programDir_ + "/de.lng", std::ios::binary) << "de=Deutsch\r\n[Menu]\r\n";
  HWND top = Top(WS_VISIBLE);
  HWND list = CreateWindowEx(0, WC_LISTBOX, u"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, top,
                             (HMENU)1042, nullptr, nullptr);
  ASSERT_NE(list, nullptr);
  SendMessage(list, LB_ADDSTRING, 0, (LPARAM)u"stale entry");
  TheLanguage().FillLanguageList(top, 1042);
  ASSERT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 3);
  std::vector<std::u16string> entries;
  for (int i = 0; i < 3; ++i) {
    WCHAR text[64] = {0};
    SendMessage(list, LB_GETTEXT, (WPARAM)i, (LPARAM)text);
    entries.push_back(text);
  }
  EXPECT_EQ(entries[0], u"en - English");
  EXPECT_NE(std::find(entries.begin(), entries.end(), u"de - Deutsch"), entries.end());
  auto french = std::find(entries.begin(), entries.end(), u"fr - Fran\u00e7ais");
  ASSERT_NE(french, entries.end());
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), french - entries.begin());
}

}  // namespace
