// The application's resource script as the program finds it embedded: every
// string, menu, soft-key bar and dialog template with the identifiers,
// texts, control classes and styles the program relies on; layouts that fit
// the work area of both screens; and the language files and the script
// agreeing on every text they translate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/lang/language.h"
#include "app/lang/language_file.h"
#include "platform/backend/device.h"
#include "platform/controls/button.h"
#include "platform/controls/edit.h"
#include "platform/controls/list_box.h"
#include "platform/controls/list_view.h"
#include "platform/controls/static_control.h"
#include "platform/controls/trackbar.h"
#include "platform/controls/tree_view.h"
#include "platform/controls/up_down.h"
#include "platform/text/codepage.h"
#include "platform/aygshell.h"
#include "platform/windows.h"
#include "tests/support/test_support.h"

using namespace testing_support;

#include "tests/platform/golden.h"

namespace {

std::string Narrow(const std::u16string& s) { return platform::Utf8FromWide(s); }

// ------------------------------------------------------------ the contract

const std::map<int, const char*> kStrings = {
    {3, "Name"}, {4, "Properties"}, {5, "Type"}, {6, "Size"}, {7, "Date"}, {8, "Bytes"},
    {9, "Kb"}, {10, "Mb"}, {11, "Gb"}, {12, "Action"}, {13, "File"}, {15, "Cancel"}, {17, "Done"},
    {18, "Filename"}, {19, "File location"}, {20, "File date"}, {21, "Format name"},
    {22, "Image size"}, {23, "DPI"}, {24, "# Bits"}, {25, "Comment"}, {26, "File size"},
    {27, "Select"}, {28, "Black&White"}, {29, "16 colors"}, {30, "256 colors"}, {31, "24 Bits"},
    {32, "File exists already, do you want to overwrite it?"}, {33, "Problem to save the file!"},
    {34, "My Phone"}, {35, "General"}, {36, "Thumbnails"}, {37, "SlideShow"}, {38, "None"},
    {39, "Auto Left"}, {40, "Auto Right"}, {41, "Left"}, {42, "Right"}, {43, "Associations"},
    {44, "You must restart Quivra to apply changes."},
    {45, "Do you really want to delete selected photo?"},
    {46, "The capture has been saved, do you want to view it?"}};

// Menus written as text: "{" opens a popup, ";" separates, "-" is a separator.
const std::map<int, const char*> kMenus = {
    {130,
     "Action{32791 Open folder...;32807 Start Slideshow;32865 Capture;"
     "View{32776 Thumbnails;32777 List;32778 Details;32779 Strip;-;32789 Show Filename};"
     "Thumbnails{32793 Small;32794 Normal;32795 Large};"
     "Sort by{32781 Name;32782 Date;32783 Type;32784 Size;32785 Image resolution;-;32786 Ascending;"
     "32787 Descending};"
     "Favorites{32861 Add to Favorites;32862 Delete Current};32838 About;32775 Quit};"
     "File{Send to{32839 as EMail};32814 Copy to;32815 Move to;32816 Rename;32817 Delete;"
     "32774 Properties;32840 Options}"},
    {133,
     "Action{32837 Browse;"
     "Zoom{32828 Fit to Screen;32827 Fill the Screen;-;32830 25%;32831 50%;32832 75%;32833 100%;"
     "32834 150%;32835 200%;32836 300%};"
     "Rotate{32823 Automatic;-;32824 Left;32825 180;32826 Right};"
     "Page{32819 Previous;32820 Next};32811 Resize;32812 Adjust;32775 Quit};"
     "File{32806 Save as;Send to{32866 via IrDA;32839 as EMail};32814 Copy to;32815 Move to;"
     "32816 Rename;32817 Delete;32774 Properties}"},
    {131, "32801 Previous;32802 Next;-;32803 Info;32804 IPTC;32805 EXIF"},
    {139,
     "32841 Brightness;32842 Contrast;32843 Gamma;32851 Negative;32847 Auto Levels;"
     "32848 Auto Contrast;32849 Reset;32850 Cancel"},
};

struct Key {
  bool present;
  bool opensMenu;
  int command;  // the menu when opensMenu
  const char* label;
  int labelString;
};
struct Bar {
  int id;
  Key keys[2];
};
const Bar kBars[] = {
    {130, {{true, true, 130, "Action", 12}, {true, true, 130, "File", 13}}},
    {133, {{true, true, 133, "Action", 12}, {true, true, 133, "File", 13}}},
    {131, {{true, false, IDOK, "Done", 17}, {true, true, 131, "Menu", 16}}},
    {132, {{true, false, 40001, "Select", 27}, {true, false, IDCANCEL, "Cancel", 15}}},
    {136, {{true, false, IDOK, "Done", 17}, {false, false, 0, nullptr, 0}}},
    {137, {{true, false, IDOK, "OK", 104}, {true, false, IDCANCEL, "Cancel", 15}}},
    {138, {{true, false, 40001, "Done", 17}, {false, false, 0, nullptr, 0}}},
    {139, {{true, false, IDOK, "OK", 104}, {true, true, 139, "Menu", 16}}},
};

enum Kind { kLabel, kEdit, kNumber, kReadOnly, kSpin, kUpDown, kUpDownInt, kCheck, kTrack, kReport, kTree, kLink, kPicture, kBox };

struct Ctl {
  int id;
  Kind kind;
  const char* text;  // null: set by the program
};
struct Dlg {
  int id;
  const char* title;
  int bar;
  const char* section;  // language section, null for none
  std::vector<Ctl> controls;
  std::vector<std::pair<int, const char*>> keys;  // translated labels
};

const std::vector<Dlg>& Dialogs() {
  static const std::vector<Dlg> dialogs = {
      {107, "Properties", 131, "DlgProperties",
       {{1000, kBox, nullptr}, {1003, kLabel, nullptr}, {1002, kReport, nullptr}, {1004, kReport, nullptr},
        {1005, kReport, nullptr}},
       {}},
      {108, "Choose folder", 132, "DlgBrowse", {{1008, kLabel, nullptr}, {1009, kTree, nullptr}}, {}},
      {109, "About", 136, "DlgAbout",
       {{1012, kPicture, "#135"}, {1013, kLabel, "Quivra 1.0"}, {1014, kLabel, "Picture viewer"},
        {1015, kLabel, "\xC2\xA9 2026 Quivra authors"}, {1010, kLink, "Quivra web site"},
        {1011, kLink, "Support forum"}},
       {}},
      {110, "Resize", 137, "DlgResize",
       {{1048, kLabel, "Size (%):"}, {1017, kNumber, nullptr}, {1019, kUpDownInt, nullptr},
        {1049, kLabel, "Width:"}, {1020, kNumber, nullptr}, {1021, kUpDownInt, nullptr},
        {1050, kLabel, "Height:"}, {1022, kNumber, nullptr}, {1023, kUpDownInt, nullptr},
        {1051, kLabel, "Predefined sizes:"}, {1024, kSpin, nullptr}, {1025, kUpDown, nullptr}},
       {{1048, "IDC_TIMAGESIZE"}, {1049, "IDC_TIMAGEWIDTH"}, {1050, "IDC_TIMAGEHEIGHT"}, {1051, "IDC_TDEFINEDSIZE"}}},
      {111, "Save as", 137, "DlgSaveas",
       {{1045, kLabel, "Folder:"}, {1008, kEdit, nullptr}, {1024, kUpDown, nullptr}, {1046, kLabel, "Name:"},
        {1003, kEdit, nullptr}, {1052, kLabel, "Format:"}, {1021, kSpin, nullptr}, {1022, kUpDown, nullptr},
        {1053, kLabel, "Quality:"}, {1027, kNumber, nullptr}, {1028, kUpDownInt, nullptr},
        {1034, kCheck, "Save EXIF data"}, {1054, kLabel, "Colors:"}, {1026, kSpin, nullptr},
        {1029, kUpDown, nullptr}},
       {{1045, "IDC_TPATHNAME"}, {1046, "IDC_TFILENAME"}, {1052, "IDC_TFORMAT"}, {1053, "IDC_TQUALITY"},
        {1034, "IDC_SAVEEXIF"}, {1054, "IDC_TCOLOR"}}},
      {112, "Rename", 137, "DlgRename",
       {{1045, kLabel, "Folder:"}, {1008, kReadOnly, nullptr}, {1046, kLabel, "Name:"}, {1003, kEdit, nullptr},
        {1047, kLabel, "Extension:"}, {1036, kEdit, nullptr}},
       {{1045, "IDC_TPATHNAME"}, {1046, "IDC_TFILENAME"}, {1047, "IDC_TEXTENSION"}}},
      {113, "Settings", 138, "DlgOption", {{1035, kReport, nullptr}}, {}},
      {114, "General settings", 137, "DlgOption1",
       {{1057, kLabel, "Language:"}, {1042, kSpin, nullptr}, {1058, kUpDown, nullptr},
        {1055, kLabel, "Default rotation:"}, {1039, kSpin, nullptr}, {1059, kUpDown, nullptr},
        {1056, kLabel, "Resize big pictures:"}, {1040, kSpin, nullptr}, {1060, kUpDown, nullptr},
        {1034, kCheck, "No resize for B&&W pictures"}},
       {{1056, "IDC_TRESIZEBIGPIC"}, {1034, "IDC_NOBWRESIZE"}, {1057, "IDC_TLANGUAGE"}, {1055, "IDC_TDEFROTATION"}}},
      {115, "Thumbnails settings", 137, "DlgOption2",
       {{1034, kCheck, "Use embedded thumbnail"}, {1035, kCheck, "Smooth thumbnail"}},
       {{1034, "IDC_USEEMBEDDED"}, {1035, "IDC_USEHIGHQUALITY"}}},
      {116, "Slideshow settings", 137, "DlgOption3",
       {{1043, kLabel, "Delay (seconds):"}, {1046, kNumber, nullptr}, {1044, kUpDownInt, nullptr},
        {1034, kCheck, "Use effect transition"}, {1035, kCheck, "Repeat in loop"}},
       {{1043, "IDC_TDELAY"}, {1034, "IDC_USEEFFECT"}}},
      {117, "Associations", 137, "DlgOption4",
       {{1057, kLabel, "Select formats that you want to associate with Quivra"}, {1034, kCheck, "JPEG, JFIF"},
        {1035, kCheck, "PNG"}, {1037, kCheck, "CompuServe GIF"}, {1036, kCheck, "BMP, 2BP"},
        {1038, kCheck, "TIFF"}, {1040, kCheck, "TARGA"}, {1039, kCheck, "PCX"},
        {1041, kCheck, "PBM, PGM, PPM, PNM"}, {1042, kCheck, "X11 XBM, XPM"}, {1043, kCheck, "ICO"},
        {1044, kCheck, "PSD"}},
       {{1057, "IDC_OPT4TEXT"}}},
      {118, "", 139, nullptr, {{1048, kTrack, nullptr}, {1047, kReadOnly, nullptr}}, {}},
      {140, "Capture", 137, "DlgCapture",
       {{1049, kLabel, "Press # to capture screen"}, {1034, kCheck, "Capture after 10s"}},
       {{1049, "IDC_TINFO"}, {1034, "IDC_AUTOCAPTURE"}}},
  };
  return dialogs;
}

// Menu texts that stay the same in every language.
const std::set<std::string> kNeutralTexts = {"25%", "50%", "75%", "100%", "150%", "200%", "300%", "180", "IPTC", "EXIF"};


// What each kind of control is: its class, whether the style bits under
// `mask` equal `bits` (labels: must not be a picture), whether Down stops on it.
struct Rule {
  const char* cls;
  DWORD mask, bits;
  bool equal, tabStop;
};
const DWORD kAutoBuddy = UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_ARROWKEYS;
const DWORD kTreeLines = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
const std::map<Kind, Rule> kRules = {
    {kLabel, {"Static", 0x1F, SS_BITMAP, false, false}},
    {kBox, {"Static", 0x1F, SS_BITMAP, false, false}},
    {kPicture, {"Static", 0x1F, SS_BITMAP, true, false}},
    {kLink, {"Static", SS_NOTIFY, SS_NOTIFY, true, true}},
    {kEdit, {"Edit", ES_NUMBER | ES_READONLY, 0, true, true}},
    {kNumber, {"Edit", ES_NUMBER | ES_READONLY, ES_NUMBER, true, true}},
    {kReadOnly, {"Edit", ES_READONLY, ES_READONLY, true, false}},
    {kSpin, {"ListBox", LBS_NOTIFY, LBS_NOTIFY, true, true}},
    {kUpDown, {"msctls_updown32", kAutoBuddy | UDS_SETBUDDYINT, kAutoBuddy, true, false}},
    {kUpDownInt,
     {"msctls_updown32", kAutoBuddy | UDS_SETBUDDYINT, kAutoBuddy | UDS_SETBUDDYINT, true, false}},
    {kCheck, {"Button", BS_TYPEMASK, BS_AUTOCHECKBOX, true, true}},
    {kTrack, {"msctls_trackbar32", TBS_VERT, 0, true, true}},
    {kReport,
     {"SysListView32", LVS_TYPEMASK | LVS_SINGLESEL, LVS_REPORT | LVS_SINGLESEL, true, true}},
    {kTree, {"SysTreeView32", kTreeLines, kTreeLines, true, true}},
};

// ------------------------------------------------------------ helpers

std::string WindowText(HWND hwnd) {
  WCHAR text[256] = {0};
  GetWindowText(hwnd, text, 256);
  return Narrow(text);
}

std::string MenuText(HMENU menu, int i) {
  WCHAR text[256] = {0};
  GetMenuString(menu, (UINT)i, text, 256, MF_BYPOSITION);
  return Narrow(text);
}

// A popup's state carries its item count in the high byte, so the
// separator flag means something only for plain items.
bool IsSeparator(HMENU menu, int i) {
  return !GetSubMenu(menu, i) && (GetMenuState(menu, (UINT)i, MF_BYPOSITION) & MF_SEPARATOR);
}

std::string Describe(HMENU menu) {
  std::string out;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (i) out += ";";
    if (HMENU sub = GetSubMenu(menu, i))
      out += MenuText(menu, i) + "{" + Describe(sub) + "}";
    else if (IsSeparator(menu, i))
      out += "-";
    else
      out += std::to_string(GetMenuItemID(menu, i)) + " " + MenuText(menu, i);
  }
  return out;
}

void MenuTexts(HMENU menu, std::set<std::string>* out) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (IsSeparator(menu, i)) continue;
    out->insert(MenuText(menu, i));
    if (HMENU sub = GetSubMenu(menu, i)) MenuTexts(sub, out);
  }
}

// Every text a language file's Menu section may translate: menu items,
// popups and soft-key labels.
std::set<std::string> ScriptMenuTexts() {
  std::set<std::string> texts;
  for (auto& [id, expected] : kMenus) {
    HMENU menu = LoadMenu(nullptr, MAKEINTRESOURCE(id));
    if (!menu) continue;
    MenuTexts(menu, &texts);
    DestroyMenu(menu);
  }
  for (const Bar& b : kBars) {
    if (const SoftKeyBarTemplate* bar = platform::FindSoftKeyBar(b.id))
      for (auto& button : bar->buttons)
        if (button.present) texts.insert(Narrow(button.label));
  }
  return texts;
}

const DialogItemTemplate* Item(const DialogTemplate* t, int id) {
  for (auto& item : t->items)
    if (item.id == id) return &item;
  return nullptr;
}

// The title (under 0) and labels `language` gives dialog `d`, on a stand-in
// window whose texts all start "untranslated".
std::map<int, std::u16string> Translate(Language& language, const Dlg& d) {
  HWND dialog = CreateWindowEx(0, u"Plain", u"untranslated", 0, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
  for (auto& [id, key] : d.keys)
    CreateWindowEx(0, u"Plain", u"untranslated", WS_CHILD, 0, 0, 10, 10, dialog,
                   (HMENU)(intptr_t)id, nullptr, nullptr);
  language.TranslateDialog(dialog, d.section);
  std::map<int, std::u16string> texts{{0, platform::WideFromUtf8(WindowText(dialog))}};
  for (auto& [id, key] : d.keys) {
    language.TranslateControl(id, key);
    texts[id] = platform::WideFromUtf8(WindowText(GetDlgItem(dialog, id)));
  }
  DestroyWindow(dialog);
  return texts;
}

// The sections of a language file with their keys, in file order.
std::vector<std::pair<std::string, std::vector<std::string>>> ReadSections(const std::string& path) {
  std::vector<std::pair<std::string, std::vector<std::string>>> sections;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return sections;
  std::string line, key, value;
  language_file::ReadLine(f, &line);  // the language's own name
  while (language_file::ReadLine(f, &line)) {
    if (!line.empty() && line[0] == '[')
      sections.push_back({line.substr(1, line.find(']') - 1), {}});
    else if (!sections.empty() && language_file::SplitEntry(line, &key, &value))
      sections.back().second.push_back(key);
  }
  std::fclose(f);
  return sections;
}

// The soft-key bar `id` under `parent`, or null.
HWND ShowSoftKeys(HWND parent, int id) {
  SHMENUBARINFO bar{};
  bar.cbSize = sizeof bar;
  bar.hwndParent = parent;
  bar.nToolBarId = (UINT)id;
  bar.hInstRes = GetModuleHandle(nullptr);
  return SHCreateMenuBar(&bar) ? bar.hwndMB : nullptr;
}

class ResourceScript : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quivra-rc-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    platform::DeviceOptions options = Options();
    // Language files are looked for beside the program: the shipped ones.
    options.programPath = std::string(QUIVRA_SOURCE_DIR) + "/resources/quivra";
    ASSERT_TRUE(platform::StartDevice(options));
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = u"Plain";
    RegisterClass(&wc);
  }
  void TearDown() override {
    platform::StopDevice();
    (void)system(("rm -rf '" + dir_ + "'").c_str());
  }
  platform::DeviceOptions Options() {
    platform::DeviceOptions options;
    options.headless = true;
    options.registryFile = dir_ + "/registry.db";
    return options;
  }
  void RestartOnScreen(int w, int h) {
    platform::StopDevice();
    platform::DeviceOptions options = Options();
    options.screen = platform::ProfileForSize(w, h);
    ASSERT_TRUE(platform::StartDevice(options));
  }
  std::string dir_;
};

// ------------------------------------------------------------ tests

TEST_F(ResourceScript, EveryStringIsThereWithItsText) {
  WCHAR text[128] = {0};
  for (UINT id = 1; id <= 46; ++id) {
    EXPECT_GT(LoadString(nullptr, id, text, 128), 1) << "string " << id;
    if (kStrings.count((int)id)) {
      EXPECT_EQ(Narrow(text), kStrings.at((int)id)) << "string " << id;
    }
  }
  EXPECT_EQ(LoadString(nullptr, 104, text, 16), 2);
  EXPECT_EQ(Narrow(text), "OK");
  // Entries without a language key come from here whatever the language.
  EXPECT_EQ(LoadString(nullptr, 16, text, 16), 4);
  EXPECT_EQ(Narrow(text), "Menu");
}

TEST_F(ResourceScript, MenusHoldTheirItemsInOrder) {
  for (auto& [id, expected] : kMenus) {
    HMENU menu = LoadMenu(nullptr, MAKEINTRESOURCE(id));
    ASSERT_NE(menu, nullptr) << "menu " << id;
    EXPECT_EQ(Describe(menu), expected) << "menu " << id;
    DestroyMenu(menu);
  }
  // Radio groups the program marks by identifier range are all present.
  HMENU view = LoadMenu(nullptr, MAKEINTRESOURCE(133));
  EXPECT_TRUE(CheckMenuRadioItem(view, 32827, 32836, 32828, MF_BYCOMMAND));
  EXPECT_TRUE(GetMenuState(view, 32828, MF_BYCOMMAND) & MF_CHECKED);
  DestroyMenu(view);
}

TEST_F(ResourceScript, SoftKeyBarsHaveTheirKeysLabelsAndMenus) {
  for (const Bar& b : kBars) {
    const SoftKeyBarTemplate* bar = platform::FindSoftKeyBar(b.id);
    ASSERT_NE(bar, nullptr) << "bar " << b.id;
    for (int i = 0; i < 2; ++i) {
      SCOPED_TRACE("bar " + std::to_string(b.id) + " key " + std::to_string(i));
      const Key& k = b.keys[i];
      const SoftKeyButtonTemplate& button = bar->buttons[i];
      EXPECT_EQ(button.present, k.present);
      if (!k.present) continue;
      EXPECT_EQ(button.opensMenu, k.opensMenu);
      EXPECT_EQ(button.command, k.command);
      EXPECT_EQ(Narrow(button.label), k.label);
      EXPECT_EQ(button.labelString, k.labelString);
      WCHAR text[64] = {0};
      LoadString(nullptr, (UINT)k.labelString, text, 64);
      EXPECT_EQ(Narrow(text), k.label) << "the label's string-table entry";
    }
    // The main window's bars drop popup 0 and popup 1 down, and keep the
    // commands of their two keys.
    if (b.id != 130 && b.id != 133) continue;
    EXPECT_EQ(bar->buttons[0].popup, 0);
    EXPECT_EQ(bar->buttons[1].popup, 1);
    EXPECT_EQ(bar->buttons[0].buttonId, 40003);
    EXPECT_EQ(bar->buttons[1].buttonId, 40002);
  }
}

std::vector<WORD> g_commands;

LRESULT CALLBACK CommandsProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND) g_commands.push_back(LOWORD(wParam));
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

// Pressing the keys of each bar: plain keys send their command, menu keys
// drop down the popup whose first item the action key then chooses.
TEST_F(ResourceScript, SoftKeysSendTheirCommandsAndOpenTheirMenus) {
  WNDCLASS wc{};
  wc.lpfnWndProc = CommandsProc;
  wc.lpszClassName = u"Commands";
  ASSERT_NE(RegisterClass(&wc), 0);
  struct Press {
    int bar;
    const char* keys;
    std::vector<WORD> commands;
  };
  const Press presses[] = {
      {130, "key F1\nkey enter\n", {32791}},       {130, "key F2\nkey enter\nkey enter\n", {32839}},
      {133, "key F1\nkey enter\n", {32837}},       {133, "key F2\nkey enter\n", {32806}},
      {131, "key F1\n", {IDOK}},                   {131, "key F2\nkey enter\n", {32801}},
      {132, "key F1\nkey F2\n", {40001, IDCANCEL}}, {136, "key F1\nkey F2\n", {IDOK}},
      {137, "key F1\nkey F2\n", {IDOK, IDCANCEL}},  {138, "key F1\nkey F2\n", {40001}},
      {139, "key F1\n", {IDOK}},                   {139, "key F2\nkey up\nkey enter\n", {32850}},
  };
  for (const Press& p : presses) {
    SCOPED_TRACE("bar " + std::to_string(p.bar) + ": " + p.keys);
    HWND owner = CreateWindowEx(0, u"Commands", u"Owner", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(owner, SW_SHOW);
    ASSERT_NE(ShowSoftKeys(owner, p.bar), nullptr);
    g_commands.clear();
    std::string error;
    ASSERT_TRUE(platform::headless::AddScript(p.keys, &error)) << error;
    MSG m;
    while (GetMessage(&m, nullptr, 0, 0)) {
      TranslateMessage(&m);
      DispatchMessage(&m);
    }
    platform::headless::RunPending();
    EXPECT_EQ(g_commands, p.commands);
    DestroyWindow(owner);
  }
}

TEST_F(ResourceScript, DialogsHaveTheirControlsWithClassesAndStyles) {
  for (const Dlg& d : Dialogs()) {
    SCOPED_TRACE("dialog " + std::to_string(d.id));
    HRSRC found = FindResource(nullptr, MAKEINTRESOURCE(d.id), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    auto* t = (LPCDLGTEMPLATE)LockResource(LoadResource(nullptr, found));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Narrow(t->title), d.title);
    EXPECT_EQ(t->bar, d.bar);
    EXPECT_EQ(t->items.size(), d.controls.size()) << "no control more than listed";
    std::set<int> ids;
    for (const DialogItemTemplate& item : t->items)
      EXPECT_TRUE(ids.insert(item.id).second) << "id " << item.id << " twice";
    for (const Ctl& c : d.controls) {
      SCOPED_TRACE("control " + std::to_string(c.id));
      const DialogItemTemplate* item = Item(t, c.id);
      ASSERT_NE(item, nullptr);
      const Rule& rule = kRules.at(c.kind);
      DWORD s = item->style;
      EXPECT_EQ(Narrow(item->className), rule.cls);
      EXPECT_EQ((s & rule.mask) == rule.bits, rule.equal) << std::hex << "style 0x" << s;
      EXPECT_EQ((s & WS_TABSTOP) != 0, rule.tabStop);
      EXPECT_TRUE(s & WS_VISIBLE || (d.id == 107 && (c.id == 1004 || c.id == 1005)));
      if (c.text) {
        EXPECT_EQ(Narrow(item->text), c.text);
      }
      if (c.kind != kUpDown && c.kind != kUpDownInt) continue;
      // The automatic buddy is the control just before it, the edit or spin
      // list of the same row, whose right end it takes.
      size_t at = (size_t)(item - t->items.data());
      ASSERT_GT(at, 0u);
      const DialogItemTemplate& buddy = t->items[at - 1];
      std::string buddyClass = Narrow(buddy.className);
      EXPECT_TRUE(buddyClass == "Edit" || buddyClass == "ListBox") << buddyClass;
      EXPECT_EQ(buddy.y, item->y);
      EXPECT_EQ(buddy.cy, item->cy);
      EXPECT_EQ(buddy.x + buddy.cx, item->x + item->cx);
      EXPECT_GT(buddy.cx, 2 * item->cx);
      EXPECT_TRUE(buddyClass != "ListBox" || item->cx == 1) << "the spin list draws its own arrows";
      EXPECT_TRUE(c.kind != kUpDownInt || buddy.style & ES_NUMBER);
    }
  }
}

TEST_F(ResourceScript, LayoutsFitTheWorkAreaTopToBottom) {
  for (const Dlg& d : Dialogs()) {
    SCOPED_TRACE("dialog " + std::to_string(d.id));
    const DialogTemplate* t = platform::FindDialogTemplate(d.id);
    ASSERT_NE(t, nullptr);
    // 176 x 180 pixels at 6 x 13 base units: 117 x 110 units; the adjust
    // bar is a strip of its own size.
    int width = t->cx ? t->cx : 117, height = t->cy ? t->cy : 110;
    EXPECT_LE(width, 117);
    EXPECT_LE(height, 110);
    const DialogItemTemplate* previous = nullptr;
    for (size_t i = 0; i < t->items.size(); ++i) {
      const DialogItemTemplate& a = t->items[i];
      EXPECT_TRUE(a.x >= 0 && a.y >= 0 && a.cx > 0 && a.cy > 0) << a.id;
      EXPECT_TRUE(a.x + a.cx <= width && a.y + a.cy <= height) << a.id << " inside";
      for (size_t j = i + 1; j < t->items.size(); ++j) {
        const DialogItemTemplate& b = t->items[j];
        bool pages = d.id == 107 && a.className == u"SysListView32" && b.className == u"SysListView32";
        bool buddy = j == i + 1 && b.className == u"msctls_updown32";
        bool overlap = a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
        EXPECT_TRUE(!overlap || pages || buddy) << a.id << " overlaps " << b.id;
      }
      // The properties pages share one place; the first stands for them.
      if (!(a.style & WS_TABSTOP) || (d.id == 107 && (a.id == 1004 || a.id == 1005))) continue;
      // Down moves to the next tab stop: it lies below, or on the same row
      // to the right.
      if (previous) {
        EXPECT_TRUE(a.y > previous->y || (a.y == previous->y && a.x > previous->x))
            << a.id << " comes after " << previous->id;
      }
      previous = &a;
    }
  }
}

// Each control's English text, and its French and German translations,
// fit its rectangle on both screens, in the dialog's font (bold, as the
// dialogs draw labels and check boxes).
TEST_F(ResourceScript, TextsFitTheirControlsOnBothScreens) {
  std::map<std::pair<int, int>, std::vector<std::u16string>> translated;
  for (const char16_t* code : {u"fr", u"de"}) {
    Language language;
    ASSERT_EQ(language.Open(GetModuleHandle(nullptr), code), 1);
    for (const Dlg& d : Dialogs())
      if (d.section)
        for (auto& [id, text] : Translate(language, d))
          if (id) translated[{d.id, id}].push_back(text);
  }
  for (auto [w, h] : {std::pair{176, 220}, std::pair{240, 320}}) {
    RestartOnScreen(w, h);
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    for (const Dlg& d : Dialogs()) {
      const DialogTemplate* t = platform::FindDialogTemplate(d.id);
      ASSERT_NE(t, nullptr);
      LOGFONT lf{};
      lf.lfHeight = -((t->fontSize * dpi + 36) / 72);
      lf.lfWeight = 700;  // the dialogs draw labels and check boxes in bold
      platform::CopyWide(t->fontFace, lf.lfFaceName, LF_FACESIZE);
      HFONT font = CreateFontIndirect(&lf);
      HGDIOBJ old = SelectObject(dc, font);
      TEXTMETRIC tm{};
      GetTextMetrics(dc, &tm);
      for (const DialogItemTemplate& item : t->items) {
        bool label = item.className == u"Static" && (item.style & 0x1F) != SS_BITMAP;
        bool check = item.className == u"Button";
        if ((!label && !check) || item.text.empty()) continue;
        SCOPED_TRACE("dialog " + std::to_string(d.id) + " control " + std::to_string(item.id) + " at " +
                     std::to_string(w));
        RECT r{item.x, item.y, item.x + item.cx, item.y + item.cy};
        MapDialogRect(nullptr, &r);
        // Labels wrap their words; check boxes only with BS_MULTILINE.
        int lines = std::max(1, (int)((r.bottom - r.top) / tm.tmHeight));
        if (check && !(item.style & 0x2000)) lines = 1;
        int room = (r.right - r.left) * lines;
        if (check) room -= (tm.tmHeight + 2) * lines;  // the box and its gap
        if (lines > 1) room -= (r.right - r.left) / 4 * (lines - 1);  // words wrap unevenly
        std::vector<std::u16string> texts{item.text};
        for (auto& t : translated[{d.id, item.id}]) texts.push_back(t);
        for (const std::u16string& written : texts) {
          std::u16string text;  // "&&" shows one "&", a single "&" underlines
          for (size_t i = 0; i < written.size(); ++i) {
            if (written[i] == u'&' && i + 1 < written.size()) ++i;
            text += written[i];
          }
          SIZE size{};
          GetTextExtentPoint32(dc, text.c_str(), (int)text.size(), &size);
          EXPECT_LE(size.cx, room) << Narrow(text);
          EXPECT_GE(r.bottom - r.top, tm.tmHeight - 1) << Narrow(text) << ": one line fits";
        }
      }
      SelectObject(dc, old);
      DeleteObject(font);
    }
    ReleaseDC(nullptr, dc);
  }
}

TEST_F(ResourceScript, TheAboutPictureLoadsAsABitmap) {
  HBITMAP picture = LoadBitmap(nullptr, MAKEINTRESOURCE(135));
  ASSERT_NE(picture, nullptr);
  BITMAP info{};
  ASSERT_NE(GetObject(picture, sizeof info, &info), 0);
  EXPECT_EQ(info.bmWidth, 28);
  EXPECT_EQ(info.bmHeight, 24);
  HBITMAP byName = LoadBitmap(nullptr, u"#135");
  EXPECT_NE(byName, nullptr);
  EXPECT_NE(byName, picture) << "each load is a bitmap of its own";
  // The frame's corner and the sky inside it.
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, picture);
  EXPECT_EQ(GetPixel(dc, 0, 0), (COLORREF)0x404040);
  EXPECT_EQ(GetPixel(dc, 2, 2), (COLORREF)0xF0C890);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(picture);
  DeleteObject(byName);
  EXPECT_EQ(LoadBitmap(nullptr, MAKEINTRESOURCE(134)), nullptr);
}

// The French and German files translate the same texts, every menu and
// soft-key text of the script but the language-neutral ones, every title
// and label the dialogs look up; and nothing they hold is unknown here.
TEST_F(ResourceScript, LanguageFilesAndScriptAgree) {
  std::set<std::string> menuTexts = ScriptMenuTexts();
  ASSERT_GT(menuTexts.size(), 60u);
  std::set<std::string> stringKeys;
  for (UINT id = 0; id < 200; ++id)
    if (StringKeyName(id)) stringKeys.insert(StringKeyName(id));
  for (const char16_t* code : {u"fr", u"de"}) {
    std::string name = Narrow(code);
    SCOPED_TRACE(name);
    Language language;
    ASSERT_EQ(language.Open(GetModuleHandle(nullptr), code), 1);
    for (const std::string& text : menuTexts) {
      std::u16string translated;
      bool found = language.TranslateMenuText(platform::WideFromUtf8(text), &translated);
      EXPECT_EQ(found, !kNeutralTexts.count(text)) << "menu text \"" << text << "\"";
    }
    for (const Dlg& d : Dialogs()) {
      if (!d.section) continue;
      const DialogTemplate* t = platform::FindDialogTemplate(d.id);
      ASSERT_NE(t, nullptr);
      for (auto& [id, key] : d.keys) {
        const DialogItemTemplate* item = Item(t, id);
        ASSERT_NE(item, nullptr) << d.section << " " << key;
        EXPECT_TRUE(item->className == u"Static" || item->className == u"Button") << key;
        EXPECT_FALSE(item->text.empty()) << key;
      }
      auto texts = Translate(language, d);
      EXPECT_NE(Narrow(texts[0]), "untranslated") << d.section << " title";
      for (auto& [id, key] : d.keys)
        EXPECT_NE(Narrow(texts[id]), "untranslated") << d.section << " " << key;
    }

    // The other way round: each section and key of the file is known.
    auto sections = ReadSections(std::string(QUIVRA_SOURCE_DIR) + "/resources/" + name + ".lng");
    ASSERT_FALSE(sections.empty());
    for (auto& [section, keys] : sections) {
      const Dlg* dialog = nullptr;
      for (const Dlg& d : Dialogs())
        if (d.section && section == d.section) dialog = &d;
      EXPECT_TRUE(section == "Menu" || section == "String" || dialog) << "section [" << section << "]";
      for (const std::string& key : keys) {
        bool known = !dialog || key == "-1";  // a section unknown is reported above
        if (section == "Menu")
          known = menuTexts.count(key);
        else if (section == "String")
          known = stringKeys.count(key);
        else if (dialog)
          for (auto& k : dialog->keys) known = known || key == k.second;
        EXPECT_TRUE(known) << "[" << section << "] " << key;
      }
    }
  }
}

// ------------------------------------------------------------ pictures

// Each dialog as the program shows it: full screen with its soft keys,
// labels in bold, sample values in its fields; the adjust bar as a strip at
// the bottom. One reviewed picture per dialog and screen.
struct Render {
  int id;
  std::string golden;
  HFONT bold = nullptr;
};

// Sample values by dialog: the texts of fields, the check boxes ticked.
const std::vector<std::tuple<int, int, const char16_t*>> kSampleTexts = {
    {107, 1003, u"photo.jpg"}, {108, 1008, u"\\My Documents\\"}, {110, 1017, u"100"},
    {110, 1020, u"640"},       {110, 1022, u"480"},                {111, 1008, u"\\My Documents\\"},
    {111, 1003, u"photo"},     {111, 1027, u"85"},                 {112, 1008, u"\\My Documents\\"},
    {112, 1003, u"photo"},     {112, 1036, u"jpg"},                {116, 1046, u"2"},
    {118, 1047, u"0"},
};
const std::vector<std::pair<int, int>> kTicked = {
    {111, 1034}, {114, 1034}, {115, 1034}, {116, 1034},
    {116, 1035}, {117, 1034}, {117, 1035}, {117, 1037},
};

void Fill(HWND d, int id) {
  auto add = [&](int control, std::initializer_list<const char16_t*> entries, int selected) {
    for (const char16_t* e : entries) SendDlgItemMessage(d, control, LB_ADDSTRING, 0, (LPARAM)e);
    SendDlgItemMessage(d, control, LB_SETCURSEL, (WPARAM)selected, 0);
  };
  auto rows = [&](int control, std::vector<std::pair<const char16_t*, const char16_t*>> rows, int columns) {
    HWND list = GetDlgItem(d, control);
    RECT client;
    GetClientRect(list, &client);
    for (int c = 0; c < columns; ++c) {
      LVCOLUMN column{};
      column.mask = LVCF_FMT | LVCF_WIDTH;
      column.fmt = columns == 2 && c == 0 ? LVCFMT_RIGHT : 0;
      column.cx = client.right / columns;
      SendMessage(list, LVM_INSERTCOLUMN, (WPARAM)c, (LPARAM)&column);
    }
    SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    int i = 0;
    for (auto& [label, value] : rows) {
      LVITEM item{};
      item.mask = LVIF_TEXT;
      item.iItem = i;
      item.pszText = (LPWSTR)label;
      SendMessage(list, LVM_INSERTITEM, 0, (LPARAM)&item);
      if (value) {
        item.iSubItem = 1;
        item.pszText = (LPWSTR)value;
        SendMessage(list, LVM_SETITEMTEXT, (WPARAM)i, (LPARAM)&item);
      }
      ++i;
    }
  };
  for (auto& [dialog, control, text] : kSampleTexts)
    if (dialog == id) SetDlgItemText(d, control, text);
  for (auto& [dialog, control] : kTicked)
    if (dialog == id) CheckDlgButton(d, control, BST_CHECKED);
  switch (id) {
    case 107:
      rows(1002, {{u"Filename", u"photo.jpg"}, {u"File size", u"12.50 Kb"}, {u"Image size", u"640 x 480"},
                  {u"# Bits", u"16M"}},
           2);
      break;
    case 108: {
      HWND tree = GetDlgItem(d, 1009);
      auto insert = [&](HTREEITEM parent, const char16_t* text) {
        TVINSERTSTRUCT in{};
        in.hParent = parent;
        in.hInsertAfter = TVI_LAST;
        in.item.mask = TVIF_TEXT;
        in.item.pszText = (LPWSTR)text;
        return (HTREEITEM)SendMessage(tree, TVM_INSERTITEM, 0, (LPARAM)&in);
      };
      HTREEITEM root = insert(TVI_ROOT, u"My Phone");
      HTREEITEM documents = insert(root, u"My Documents");
      insert(documents, u"My Pictures");
      insert(root, u"Storage Card");
      SendMessage(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)root);
      SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)documents);
      break;
    }
    case 109:
      SendDlgItemMessage(d, 1012, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)LoadBitmap(nullptr, MAKEINTRESOURCE(135)));
      break;
    case 110:
      add(1024, {u"", u"160x120", u"320x240", u"640x480"}, 0);
      break;
    case 111:
      add(1021, {u"JPEG Image Format", u"PNG Image Format"}, 0);
      add(1026, {u"256 colors", u"Black&White"}, 0);
      break;
    case 113:
      rows(1035, {{u"General", nullptr}, {u"Thumbnails", nullptr}, {u"SlideShow", nullptr}, {u"Associations", nullptr}},
           1);
      break;
    case 114:
      add(1042, {u"en - English", u"fr - Fran\u00E7ais"}, 0);
      add(1039, {u"None", u"Auto Left"}, 0);
      add(1040, {u"None", u"240x320"}, 1);
      break;
    case 118:
      SendDlgItemMessage(d, 1048, TBM_SETRANGE, TRUE, MAKELPARAM(-128, 128));
      SendDlgItemMessage(d, 1048, TBM_SETTICFREQ, 20, 0);
      SendDlgItemMessage(d, 1048, TBM_SETPOS, TRUE, 0);
      break;
  }
}

INT_PTR CALLBACK RenderProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  Render* r = (Render*)GetWindowLong(d, GWL_USERDATA);
  switch (msg) {
    case WM_INITDIALOG: {
      r = (Render*)lParam;
      SetWindowLong(d, GWL_USERDATA, (LONG_PTR)r);
      const DialogTemplate* t = platform::FindDialogTemplate(r->id);
      HWND bar = ShowSoftKeys(d, t->bar);
      if (t->cy) {  // a strip just above the soft keys, as the adjust bar moves itself
        RECT strip, keys;
        GetWindowRect(d, &strip);
        GetWindowRect(bar, &keys);
        int height = strip.bottom - strip.top;
        MoveWindow(d, strip.left, keys.top - height, strip.right - strip.left, height, TRUE);
      }
      LOGFONT lf{};
      GetObject((HFONT)SendMessage(d, WM_GETFONT, 0, 0), sizeof lf, &lf);
      lf.lfWeight = 700;
      r->bold = CreateFontIndirect(&lf);
      Fill(d, r->id);
      PostMessage(d, WM_APP, 0, 0);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = (HDC)wParam;
      SelectObject(dc, r->bold);
      int id = GetDlgCtrlID((HWND)lParam);
      if (r->id == 109 && (id == 1010 || id == 1011)) SetTextColor(dc, 0xFF0000);
      return (INT_PTR)GetStockObject(WHITE_BRUSH);
    }
    case WM_APP:
      platform_test::ExpectScreenMatchesGolden(r->golden);
      EndDialog(d, 1);
      return TRUE;
  }
  return FALSE;
}

TEST_F(ResourceScript, EveryDialogAsItLooks) {
  for (auto [w, h, suffix] : {std::tuple{176, 220, ""}, std::tuple{240, 320, "_large"}}) {
    RestartOnScreen(w, h);
    SHInitExtraControls();
    for (const Dlg& d : Dialogs()) {
      SCOPED_TRACE("dialog " + std::to_string(d.id) + suffix);
      Render r{d.id, "rc_dialog_" + std::to_string(d.id) + suffix};
      const DialogTemplate* t = platform::FindDialogTemplate(d.id);
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(DialogBoxIndirectParam(GetModuleHandle(nullptr), t, nullptr, RenderProc, (LPARAM)&r), 1);
      DeleteObject(r.bold);
    }
  }
}

}  // namespace
