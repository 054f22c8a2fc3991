// Language files: opening beside the executable, falling back to the
// English of the resources, the lookup rules of the file format (sections
// found by prefix, keys without case, one-character values passed over,
// "\n" and blanks), menus and dialogs translated, and the language list.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "app/lang/language.h"
#include "platform/backend/device.h"
#include "platform/windows.h"

namespace {

const char kEnglish[] = R"(
STRING 3 "Name"
STRING 9 "Kb"
STRING 13 "File"
STRING 28 "Black&White"
STRING 44 "You must restart Quivra to apply changes."
STRING 104 "OK"
MENU 130
  POPUP "Action"
    ITEM 32771 "Open folder..."
    SEPARATOR
    POPUP "View"
      ITEM 32780 "Thumbnails"
      ITEM 32799 "Quit"
    END
    ITEM 32799 "Quit"
  END
  POPUP "File"
    ITEM 32800 "Delete"
  END
END
)";

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

class LanguageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quivra-language-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    bin_ = dir_ + "/bin";
    ASSERT_EQ(mkdir(bin_.c_str(), 0777), 0);
    platform::DeviceOptions options;
    options.headless = true;
    options.registryFile = dir_ + "/registry.db";
    options.programPath = bin_ + "/quivra";
    ASSERT_TRUE(platform::StartDevice(options));
    platform::ClearResources();
    std::string error;
    ASSERT_TRUE(platform::AddResourceScript(kEnglish, "english.rc", &error)) << error;
    instance_ = GetModuleHandle(nullptr);
    WNDCLASS wc{};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = u"Plain";
    RegisterClass(&wc);
  }
  void TearDown() override {
    platform::StopDevice();
    platform::ClearResources();
    std::string cmd = "rm -rf '" + dir_ + "'";
    (void)system(cmd.c_str());
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(bin_ + "/" + name, std::ios::binary) << bytes;
  }
  std::u16string String(Language& language, UINT id, int* result = nullptr) {
    WCHAR buffer[128];
    for (auto& c : buffer) c = u'#';
    buffer[0] = 0;
    int r = language.GetString(id, buffer, 128);
    if (result) *result = r;
    // Whatever the file holds, the text ends inside the buffer.
    EXPECT_NE(std::find(buffer, buffer + 128, u'\0'), buffer + 128);
    return buffer;
  }
  static std::u16string Text(HWND hwnd) {
    WCHAR buffer[256] = {0};
    GetWindowText(hwnd, buffer, 256);
    return buffer;
  }
  // A window of the "Plain" class: a dialog, or one of its controls.
  static HWND Window(const char16_t* text, HWND parent = nullptr, int id = 0) {
    return CreateWindowEx(0, u"Plain", text, parent ? WS_CHILD : 0, 0, 0, 10, 10, parent,
                          (HMENU)(intptr_t)id, nullptr, nullptr);
  }
  static std::u16string ItemText(HMENU menu, int position) {
    WCHAR buffer[256] = {0};
    GetMenuString(menu, (UINT)position, buffer, 256, MF_BYPOSITION);
    return buffer;
  }
  std::string dir_, bin_;
  HINSTANCE instance_ = nullptr;
};

TEST_F(LanguageFiles, AMissingFileLeavesTheEnglishOfTheResources) {
  Language language;
  EXPECT_EQ(language.Open(instance_, u"de"), 0);
  EXPECT_EQ(language.Name(), u"en");
  EXPECT_FALSE(language.HasFile());
  int result = 0;
  EXPECT_EQ(String(language, 3, &result), u"Name");
  EXPECT_EQ(result, 4);  // what the string table gives: the characters copied
  EXPECT_EQ(String(language, 44), u"You must restart Quivra to apply changes.");
  EXPECT_EQ(String(language, 77, &result), u"");
  EXPECT_EQ(result, 0);

  HMENU menu = LoadMenu(instance_, MAKEINTRESOURCE(130));
  ASSERT_NE(menu, nullptr);
  language.TranslateMenu(menu);
  EXPECT_EQ(ItemText(menu, 0), u"Action");
  EXPECT_EQ(ItemText(GetSubMenu(menu, 0), 3), u"Quit");
  DestroyMenu(menu);
}

TEST_F(LanguageFiles, AFileBesideTheExecutableReplacesTheStrings) {
  Write("fr.lng",
        "fr=Fran\xE7" "ais\r\n"
        "[String]\r\n"
        "IDS_NAME=Nom\r\n"
        "ids_black_white = Noir\xA0" "et blanc   \r\n"
        "IDS_OK=OK\r\n"
        "IDS_REBOOT=Vous devez red\xE9" "marrer\\nQuivra.\r\n");
  Language language;
  ASSERT_EQ(language.Open(instance_, u"fr"), 1);
  EXPECT_EQ(language.Name(), u"fr");
  int result = 0;
  EXPECT_EQ(String(language, 3, &result), u"Nom");
  EXPECT_EQ(result, 1);
  // Keys without case; blanks around the value go; Windows-1252 bytes.
  EXPECT_EQ(String(language, 28), u"Noir\u00A0et blanc");
  EXPECT_EQ(String(language, 104), u"OK");
  EXPECT_EQ(String(language, 44), u"Vous devez red\u00E9marrer\r\nQuivra.");
  // Keys the file lacks, and numbers without a key, come from the resources.
  EXPECT_EQ(String(language, 9, &result), u"Kb");
  EXPECT_EQ(result, 2);
  EXPECT_EQ(String(language, 13), u"File");
}

// Lookup rules, each shown by a small file and the strings it gives.
TEST_F(LanguageFiles, StringLookupRules) {
  struct Row {
    const char* name;
    std::string file;
    std::vector<std::pair<UINT, std::u16string>> strings;
  };
  const Row rows[] = {
      {"one-character values are passed over and the search goes on",
       "fr=Francais\n[String]\nIDS_KB=K\nIDS_KB =\nIDS_KB\nIDS_KB\t= Ko\nIDS_KB=Kilo\n"
       "IDS_NAME=N\n",
       {{9, u"Ko"}, {3, u"Name"}}},
      {"a search stays inside its section",
       "fr=Francais\n[Menu]\nIDS_NAME=Nicht hier\n[String]\nIDS_KB=KB\n[DlgAbout]\n"
       "IDS_NAME=Auch nicht\n",
       {{9, u"KB"}, {3, u"Name"}}},
      {"the tail of an overlong line is not read as an entry",
       "fr=Francais\n[String]\n" + std::string(511, 'x') + "IDS_NAME=Falsch\nIDS_KB=KB\n",
       {{3, u"Name"}, {9, u"KB"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Write("fr.lng", row.file);
    Language language;
    ASSERT_EQ(language.Open(instance_, u"fr"), 1);
    for (auto& [id, text] : row.strings) EXPECT_EQ(String(language, id), text) << id;
  }
}

TEST_F(LanguageFiles, ALongValueIsCutToTheBuffer) {
  Write("de.lng", "de=Deutsch\n[String]\nIDS_NAME=Dateiname mit Endung\n");
  Language language;
  ASSERT_EQ(language.Open(instance_, u"de"), 1);
  WCHAR buffer[6];
  EXPECT_EQ(language.GetString(3, buffer, 6), 1);
  EXPECT_EQ(std::u16string(buffer), u"Datei");
}

TEST_F(LanguageFiles, TheMenuSectionRenamesEveryItemWithThatText) {
  Write("fr.lng",
        "fr=Francais\n"
        "[Menu]\n"
        "quit=Quitter\n"
        "File=Fichier\n"
        "View=Affichage\n"
        "Delete=X\n"
        "Open folder...=Ouvrir un dossier...\n");
  Language language;
  ASSERT_EQ(language.Open(instance_, u"fr"), 1);
  HMENU menu = LoadMenu(instance_, MAKEINTRESOURCE(130));
  ASSERT_NE(menu, nullptr);
  language.TranslateMenu(menu);
  EXPECT_EQ(ItemText(menu, 0), u"Action");
  EXPECT_EQ(ItemText(menu, 1), u"Fichier");
  HMENU action = GetSubMenu(menu, 0);
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(ItemText(action, 0), u"Ouvrir un dossier...");
  EXPECT_EQ(GetMenuItemID(action, 0), 32771u);
  EXPECT_EQ(GetMenuState(action, 1, MF_BYPOSITION) & MF_SEPARATOR, (UINT)MF_SEPARATOR);
  EXPECT_EQ(ItemText(action, 2), u"Affichage");
  HMENU view = GetSubMenu(action, 2);
  ASSERT_NE(view, nullptr);  // the submenu stays attached
  EXPECT_EQ(ItemText(view, 1), u"Quitter");
  EXPECT_EQ(ItemText(action, 3), u"Quitter");
  EXPECT_EQ(GetMenuItemID(action, 3), 32799u);
  // A one-character value leaves the English text.
  EXPECT_EQ(ItemText(GetSubMenu(menu, 1), 0), u"Delete");

  std::u16string translated;
  EXPECT_TRUE(language.TranslateMenuText(u"File", &translated));
  EXPECT_EQ(translated, u"Fichier");
  EXPECT_FALSE(language.TranslateMenuText(u"Menu", &translated));
  DestroyMenu(menu);
}

TEST_F(LanguageFiles, DialogSectionsAreFoundByTheirNamesBeginning) {
  Write("fr.lng",
        "fr=Francais\n"
        "[DlgOption1]\n"
        "-1=Options generales\n"
        "IDC_TLANGUAGE=Langue :\n"
        "[DlgOption]\n"
        "-1=Reglages\n"
        "[DlgCapture]\n"
        "-1=Capture d'ecran\n"
        "idc_tinfo=Appuyez sur #\n"
        "IDC_AUTOCAPTURE=A\n"
        "[DlgRename]\n"
        "IDC_TFILENAME=Nom :\n");
  Language language;
  ASSERT_EQ(language.Open(instance_, u"fr"), 1);
  HWND dialog = Window(u"Settings");
  ASSERT_NE(dialog, nullptr);
  // The search for DlgOption finds DlgOption1 first.
  language.TranslateDialog(dialog, "DlgOption");
  EXPECT_EQ(Text(dialog), u"Options generales");
  DestroyWindow(dialog);

  dialog = Window(u"Capture");
  HWND info = Window(u"Press # to capture screen", dialog, 1049);
  HWND check = Window(u"Capture after 10s", dialog, 1034);
  ASSERT_NE(info, nullptr);
  ASSERT_NE(check, nullptr);
  language.TranslateDialog(dialog, "DlgCapture");
  language.TranslateControl(1049, "IDC_TINFO");
  language.TranslateControl(1034, "IDC_AUTOCAPTURE");
  language.TranslateControl(1034, "IDC_TFILENAME");  // another dialog's key
  EXPECT_EQ(Text(dialog), u"Capture d'ecran");
  EXPECT_EQ(Text(info), u"Appuyez sur #");
  EXPECT_EQ(Text(check), u"Capture after 10s");

  // A section the file lacks leaves every text as it is.
  language.TranslateDialog(dialog, "DlgSaveas");
  language.TranslateControl(1049, "IDC_TINFO");
  language.TranslateControl(-1, "-1");
  EXPECT_EQ(Text(info), u"Appuyez sur #");
  EXPECT_EQ(Text(dialog), u"Capture d'ecran");
  DestroyWindow(dialog);
}

TEST_F(LanguageFiles, TheListShowsEnglishThenEveryFileAndSelectsTheCurrentOne) {
  Write("de.lng", "de=Deutsch\r\n[String]\r\n");
  Write("fr.lng", "fr=Fran\xE7" "ais\n[String]\n");
  Write("xx.lng", "nothing-here\n");
  Write("notes.txt", "en=Not a language\n");
  ASSERT_EQ(mkdir((bin_ + "/zz.lng").c_str(), 0777), 0);
  Language language;
  ASSERT_EQ(language.Open(instance_, u"fr"), 1);
  int selected = -1;
  std::vector<std::u16string> entries = language.ListLanguages(&selected);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], u"en - English");
  EXPECT_NE(std::find(entries.begin(), entries.end(), u"de - Deutsch"), entries.end());
  auto fr = std::find(entries.begin(), entries.end(), u"fr - Fran\u00E7ais");
  ASSERT_NE(fr, entries.end());
  EXPECT_EQ(selected, (int)(fr - entries.begin()));

  Language english;
  english.Open(instance_, u"it");
  entries = english.ListLanguages(&selected);
  EXPECT_EQ(entries.size(), 3u);
  EXPECT_EQ(selected, 0);
}

TEST_F(LanguageFiles, ChoosingAnotherLanguageChangesOnlyTheName) {
  Write("fr.lng", "fr=Francais\n[String]\nIDS_NAME=Nom\n");
  Language language;
  ASSERT_EQ(language.Open(instance_, u"fr"), 1);
  EXPECT_EQ(language.SelectLanguage(u"fr - Francais"), 0);
  EXPECT_EQ(language.Name(), u"fr");
  EXPECT_EQ(language.SelectLanguage(u"de - Deutsch"), 1);
  EXPECT_EQ(language.Name(), u"de");
  EXPECT_EQ(String(language, 3), u"Nom");  // the open file stays until the next start
  EXPECT_EQ(language.SelectLanguage(u"De - Deutsch"), 1);  // the name compares with case
  EXPECT_EQ(language.SelectLanguage(u"e"), 0);
  EXPECT_EQ(language.Name(), u"De");
}

TEST_F(LanguageFiles, ACodeNamesOnlyAFileBesideTheExecutable) {
  Write("fr.lng", "fr=Francais\n");
  ASSERT_EQ(mkdir((dir_ + "/other").c_str(), 0777), 0);
  std::ofstream(dir_ + "/other/xx.lng") << "xx=Elsewhere\n";
  Language language;
  EXPECT_EQ(language.Open(instance_, u"..\\other\\xx"), 0);
  EXPECT_EQ(language.Name(), u"en");
  EXPECT_EQ(language.Open(instance_, u""), 0);
  EXPECT_EQ(language.Open(instance_, u"fr"), 1);
  // Opening again closes the first file and starts afresh.
  EXPECT_EQ(language.Open(instance_, u"es"), 0);
  EXPECT_EQ(language.Name(), u"en");
  EXPECT_FALSE(language.HasFile());
}

TEST_F(LanguageFiles, DamagedFilesGiveTextsOrTheResourcesNeverACrash) {
  std::string good =
      "fr=Francais\r\n[Menu]\r\nQuit=Quitter\r\n[String]\r\nIDS_NAME=Nom\r\nIDS_KB=Ko\\n\r\n"
      "[DlgCapture]\r\n-1=Capture\r\n";
  uint32_t seed = 12345;
  for (int round = 0; round < 200; ++round) {
    std::string bytes = good;
    if (round % 2 == 0) {
      bytes.resize((size_t)round % (good.size() + 1));
    } else {
      for (int flips = 0; flips < 4; ++flips) {
        seed = seed * 1103515245u + 12345u;
        bytes[(seed >> 8) % bytes.size()] ^= (char)(1u << ((seed >> 4) % 8));
      }
    }
    Write("fr.lng", bytes);
    Language language;
    if (!language.Open(instance_, u"fr")) continue;
    String(language, 3);
    String(language, 9);
    HMENU menu = LoadMenu(instance_, MAKEINTRESOURCE(130));
    language.TranslateMenu(menu);
    DestroyMenu(menu);
    int selected = -1;
    EXPECT_GE(language.ListLanguages(&selected).size(), 1u);
    EXPECT_GE(selected, 0);
  }
}

}  // namespace

namespace {

// Every text the program shows that a language file can replace: the menu
// and soft-key texts, the dialog sections with their keys, the string keys.
const char* const kMenuTexts[] = {
    "Action", "File", "Open folder...", "Start Slideshow", "Capture", "View", "Thumbnails", "List",
    "Details", "Strip", "Show Filename", "Small", "Normal", "Large", "Sort by", "Name", "Date",
    "Type", "Size", "Image resolution", "Ascending", "Descending", "Favorites", "Add to Favorites",
    "Delete Current", "About", "Quit", "Send to", "as EMail", "via IrDA", "Copy to", "Move to",
    "Rename", "Delete", "Properties", "Options", "Browse", "Zoom", "Fit to Screen",
    "Fill the Screen", "Rotate", "Automatic", "Left", "Right", "Page", "Previous", "Next", "Resize",
    "Adjust", "Save as", "Info", "Brightness", "Contrast", "Gamma", "Negative", "Auto Levels",
    "Auto Contrast", "Reset", "Cancel", "Done", "Menu", "Select", "OK"};

struct DialogKeys {
  const char* section;
  std::vector<std::pair<int, const char*>> controls;
};
const DialogKeys kDialogs[] = {
    {"DlgAbout", {}},
    {"DlgBrowse", {}},
    {"DlgCapture", {{1049, "IDC_TINFO"}, {1034, "IDC_AUTOCAPTURE"}}},
    {"DlgOption", {}},
    {"DlgOption1",
     {{1056, "IDC_TRESIZEBIGPIC"}, {1034, "IDC_NOBWRESIZE"}, {1057, "IDC_TLANGUAGE"}, {1055, "IDC_TDEFROTATION"}}},
    {"DlgOption2", {{1034, "IDC_USEEMBEDDED"}, {1035, "IDC_USEHIGHQUALITY"}}},
    {"DlgOption3", {{1043, "IDC_TDELAY"}, {1034, "IDC_USEEFFECT"}}},
    {"DlgOption4", {{1057, "IDC_OPT4TEXT"}}},
    {"DlgProperties", {}},
    {"DlgRename", {{1045, "IDC_TPATHNAME"}, {1046, "IDC_TFILENAME"}, {1047, "IDC_TEXTENSION"}}},
    {"DlgResize",
     {{1048, "IDC_TIMAGESIZE"}, {1049, "IDC_TIMAGEWIDTH"}, {1050, "IDC_TIMAGEHEIGHT"}, {1051, "IDC_TDEFINEDSIZE"}}},
    {"DlgSaveas",
     {{1045, "IDC_TPATHNAME"}, {1046, "IDC_TFILENAME"}, {1052, "IDC_TFORMAT"}, {1053, "IDC_TQUALITY"},
      {1034, "IDC_SAVEEXIF"}, {1054, "IDC_TCOLOR"}}},
};

TEST_F(LanguageFiles, TheShippedFrenchAndGermanFilesTranslateEveryText) {
  for (const char* code : {"fr", "de"}) {
    std::ifstream in(std::string(QUIVRA_SOURCE_DIR) + "/resources/" + code + ".lng", std::ios::binary);
    ASSERT_TRUE(in) << code;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Write(std::string(code) + ".lng", bytes);
  }
  for (const char16_t* code : {u"fr", u"de"}) {
    SCOPED_TRACE(std::string(code, code + 2));
    Language language;
    ASSERT_EQ(language.Open(instance_, code), 1);
    int keyed = 0;
    for (UINT id = 0; id < 200; ++id) {
      if (!StringKeyName(id)) continue;
      ++keyed;
      int result = 0;
      std::u16string text = String(language, id, &result);
      EXPECT_EQ(result, 1) << "string " << id;
      EXPECT_GE(text.size(), 2u) << "string " << id;
    }
    EXPECT_EQ(keyed, 40);
    for (const char* english : kMenuTexts) {
      std::u16string translated;
      EXPECT_TRUE(language.TranslateMenuText(std::u16string(english, english + strlen(english)), &translated))
          << english;
    }
    for (const DialogKeys& d : kDialogs) {
      HWND dialog = Window(u"untranslated");
      ASSERT_NE(dialog, nullptr);
      for (auto& [id, key] : d.controls) Window(u"untranslated", dialog, id);
      language.TranslateDialog(dialog, d.section);
      EXPECT_NE(Text(dialog), u"untranslated") << d.section;
      for (auto& [id, key] : d.controls) {
        language.TranslateControl(id, key);
        EXPECT_NE(Text(GetDlgItem(dialog, id)), u"untranslated") << d.section << " " << key;
      }
      DestroyWindow(dialog);
    }
    int selected = -1;
    std::vector<std::u16string> entries = language.ListLanguages(&selected);
    EXPECT_NE(std::find(entries.begin(), entries.end(), u"fr - Fran\u00E7ais"), entries.end());
    EXPECT_NE(std::find(entries.begin(), entries.end(), u"de - Deutsch"), entries.end());
    EXPECT_EQ(entries[selected].substr(0, 2), std::u16string(code));
  }
}

}  // namespace
