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
  static void Script(const std::string& text) {
    std::string error;
    ASSERT_TRUE(platform::headless::AddScript(text, &error)) << error;
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
  {
    CDlgProbe ok(kRename);
    Script("key F1");
    EXPECT_EQ(ok.Run(), 1);
    EXPECT_TRUE(ok.destroyed);
  }
  {
    CDlgProbe cancel(kRename);
    Script("key F2");
    EXPECT_EQ(cancel.Run(), 0);
    EXPECT_TRUE(cancel.destroyed);
  }
}

TEST_F(DialogFramework, InitDialogBindsTheObjectAndFillsTheScreen) {
  REQUIRE_PROGRAM_TEMPLATES();
  CDlgProbe probe(kRename);
  HWND bound = nullptr;
  LONG_PTR userData = 0;
  RECT rect{};
  HWND bar = nullptr;
  bool barShown = false;
  probe.onInit = [&](CDlgProbe* p) -> LRESULT {
    bound = p->Handle();
    userData = GetWindowLong(p->Handle(), GWL_USERDATA);
    GetWindowRect(p->Handle(), &rect);
    bar = p->SoftKeyBar();
    return 1;
  };
  probe.onOk = [&](CDlgProbe*) { barShown = bar && IsWindowVisible(bar); };
  Script("key F1");
  EXPECT_EQ(probe.Run(), 1);
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
  // The bold font was made from the dialog's font, and released at the end.
  EXPECT_EQ(probe.BoldFont(), nullptr);
}

TEST_F(DialogFramework, TheDialogProcedureReturnRules) {
  REQUIRE_PROGRAM_TEMPLATES();
  CDlgProbe probe(kRename);
  struct Seen {
    INT_PTR notifyHandled, notifyUnset, notifyOther, vkey, unmatched, ctlColor;
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
  Script("key F1");
  ASSERT_EQ(probe.Run(), 1);
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

TEST_F(DialogFramework, TheBoldFontCopiesTheDialogFontWithWeight700) {
  REQUIRE_PROGRAM_TEMPLATES();
  CDlgProbe probe(kRename);
  LOGFONT normal{}, bold{};
  probe.onInit = [&](CDlgProbe* p) -> LRESULT {
    HFONT f = (HFONT)SendMessage(p->Handle(), WM_GETFONT, 0, 0);
    GetObject(f, sizeof normal, &normal);
    GetObject(p->BoldFont(), sizeof bold, &bold);
    return 1;
  };
  Script("key F1");
  ASSERT_EQ(probe.Run(), 1);
  EXPECT_EQ(bold.lfWeight, 700);
  EXPECT_NE(normal.lfWeight, 700);
  EXPECT_EQ(bold.lfHeight, normal.lfHeight);
  EXPECT_EQ(std::u16string(bold.lfFaceName), std::u16string(normal.lfFaceName));
}

TEST_F(DialogFramework, ALanguageFileTranslatesTitleLabelsAndSoftKeys) {
  REQUIRE_PROGRAM_TEMPLATES();
  OpenFrench();
  CDlgProbe probe(kRename);
  std::u16string title, folder, name, extension, left, right;
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
    title = TextOf(p->Handle());
    folder = TextOf(p->Item(1045));
    name = TextOf(p->Item(1046));
    extension = TextOf(p->Item(1047));
    left = ButtonText(p->SoftKeyBar(), 0);
    right = ButtonText(p->SoftKeyBar(), 1);
    platform_test::ExpectScreenMatchesGolden("framework_rename_fr");
  };
  Script("key F1");
  ASSERT_EQ(probe.Run(), 1);
  EXPECT_EQ(title, u"Renommer");
  EXPECT_EQ(folder, u"Dossier :");
  EXPECT_EQ(name, u"Nom :");
  EXPECT_EQ(extension, u"Extension :");
  EXPECT_EQ(left, u"OK");
  EXPECT_EQ(right, u"Annuler");
}

std::u16string MenuText(HMENU menu, int position) {
  WCHAR text[64] = {0};
  GetMenuString(menu, (UINT)position, text, 64, MF_BYPOSITION);
  return text;
}

TEST_F(DialogFramework, TheSoftKeyMenuIsTranslatedWithItsButtons) {
  REQUIRE_PROGRAM_TEMPLATES();
  if (!platform::FindDialogTemplate(107) || !platform::FindSoftKeyBar(131))
    GTEST_SKIP() << "the properties dialog and its bar are not in this build yet";
  OpenFrench();
  CDlgProbe probe(107, 131);
  std::u16string left, right, first, second, info, exif;
  probe.onInit = [&](CDlgProbe* p) -> LRESULT {
    HMENU menu = p->SoftKeyMenu();
    EXPECT_NE(menu, nullptr);
    left = ButtonText(p->SoftKeyBar(), 0);
    right = ButtonText(p->SoftKeyBar(), 1);
    first = MenuText(menu, 0);
    second = MenuText(menu, 1);
    info = MenuText(menu, 3);
    exif = MenuText(menu, 5);  // no entry: the English text stays
    return 1;
  };
  Script("key F1");
  EXPECT_EQ(probe.Run(), 1);
  EXPECT_EQ(left, u"Termin\u00e9");
  EXPECT_EQ(right, u"Menu");
  EXPECT_EQ(first, u"Pr\u00e9c\u00e9dente");
  EXPECT_EQ(second, u"Suivante");
  EXPECT_EQ(info, u"Infos");
  EXPECT_EQ(exif, u"EXIF");
}

// The name field of the rename dialog, focused with the caret after "photo".
LRESULT FocusNameField(CDlgProbe* p) {
  SetDlgItemText(p->Handle(), 1003, u"photo");
  SetFocus(p->Item(1003));
  SendMessage(p->Item(1003), EM_SETSEL, 5, 5);
  return 0;
}

TEST_F(DialogFramework, ReleasingBackInAnEditFieldDeletesOneCharacter) {
  REQUIRE_PROGRAM_TEMPLATES();
  CDlgProbe probe(kRename);
  std::u16string atOk;
  probe.onInit = FocusNameField;
  probe.onOk = [&](CDlgProbe* p) { atOk = TextOf(p->Item(1003)); };
  Script("key back\nkey back\nkey F1");
  EXPECT_EQ(probe.Run(), 1);
  EXPECT_EQ(atOk, u"pho");
  EXPECT_EQ(probe.backKeys, 0);
}

TEST_F(DialogFramework, HoldingBackInAnEditFieldEmptiesIt) {
  REQUIRE_PROGRAM_TEMPLATES();
  CDlgProbe probe(kRename);
  std::u16string atOk;
  probe.onInit = FocusNameField;
  probe.onOk = [&](CDlgProbe* p) { atOk = TextOf(p->Item(1003)); };
  Script("hold back 1500\nkey F1");
  EXPECT_EQ(probe.Run(), 1);
  EXPECT_EQ(atOk, u"");
  EXPECT_EQ(probe.backKeys, 0);
}

// The slideshow settings dialog with its first check box focused.
LRESULT FocusCheckBox(CDlgProbe* p) {
  SetFocus(p->Item(1034));
  return 0;
}

TEST_F(DialogFramework, BackOutsideAnEditFieldEndsTheDialogWithZero) {
  REQUIRE_PROGRAM_TEMPLATES();
  CDlgProbe probe(kSlideshow);
  probe.onInit = FocusCheckBox;
  bool okReached = false;
  probe.onOk = [&](CDlgProbe*) { okReached = true; };
  // Had Back not ended the dialog, F1 would end it with 1.
  Script("key back\nkey F1");
  EXPECT_EQ(probe.Run(), 0);
  EXPECT_EQ(probe.backKeys, 1);
  EXPECT_FALSE(okReached);
}

TEST_F(DialogFramework, ADialogClassMayGiveTheBackKeyItsOwnMeaning) {
  REQUIRE_PROGRAM_TEMPLATES();
  CDlgProbe probe(kSlideshow);
  probe.onInit = FocusCheckBox;
  probe.overrideBack = true;
  Script("key back\nkey F1");
  EXPECT_EQ(probe.Run(), 7);
  EXPECT_EQ(probe.backKeys, 1);
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
  Script("key down\nkey up\nkey enter");
  EXPECT_EQ(probe.Run(), 1);
  EXPECT_NE(control, nullptr);
  EXPECT_EQ(tree.keys, (std::vector<WPARAM>{VK_DOWN, VK_UP}));
  EXPECT_TRUE(focusedAtEnd);
  // The dialog's end destroyed the tree and unbound the wrapper.
  EXPECT_EQ(tree.Handle(), nullptr);
}

TEST_F(DialogFramework, TheDebugConsoleNamesTheDestroyedDialogOnlyWhenAsked) {
  REQUIRE_PROGRAM_TEMPLATES();
  setenv("QUIVRA_DEBUG", "1", 1);
  testing::internal::CaptureStderr();
  HWND handle = nullptr;
  {
    CDlgProbe probe(kRename);
    probe.onInit = [&](CDlgProbe* p) -> LRESULT {
      handle = p->Handle();
      return 1;
    };
    Script("key F1");
    probe.Run();
  }
  std::string printed = testing::internal::GetCapturedStderr();
  unsetenv("QUIVRA_DEBUG");
  char expected[64];
  std::snprintf(expected, sizeof expected, "WM_DESTROY  %x \n", (unsigned)(uintptr_t)handle);
  EXPECT_NE(printed.find(expected), std::string::npos) << printed;

  testing::internal::CaptureStderr();
  {
    CDlgProbe probe(kRename);
    Script("key F1");
    probe.Run();
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr().find("WM_DESTROY"), std::string::npos);
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
