#include "app/lang/language.h"

#include <cstring>

#include "app/lang/language_file.h"
#include "platform/aygshell.h"
#include "platform/commctrl.h"
#include "platform/text/codepage.h"

namespace {

constexpr int kMaxMenuItems = 256;
constexpr size_t kMaxFirstLine = 63;

bool IsPathCharacter(WCHAR c) { return c == u'\\' || c == u'/' || c == u':'; }

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? (char16_t)(c - u'a' + u'A') : c; }

}  // namespace

Language::~Language() { Close(); }

std::u16string Language::ModuleFolder() const {
  WCHAR module[MAX_PATH] = {0};
  DWORD n = GetModuleFileName(instance_, module, MAX_PATH);
  std::u16string path(module, n < MAX_PATH ? n : 0);
  size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

int Language::Open(HINSTANCE instance, LPCWSTR code) {
  Close();
  instance_ = instance;
  stringSection_ = 0;
  dialogSection_ = -1;
  name_ = u"en";
  if (!code || !*code) return 0;
  std::u16string c = code;
  // A code names a file beside the executable, never a path elsewhere.
  for (WCHAR ch : c)
    if (IsPathCharacter(ch)) return 0;
  std::u16string path = ModuleFolder() + u"\\" + c + u".lng";
  file_ = _wfopen(path.c_str(), u"rb");
  if (!file_) return 0;
  name_ = c;
  return 1;
}

void Language::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool Language::Lookup(int32_t section, const char* key, std::u16string* out) {
  std::string value;
  if (!file_ || section < 0 || !language_file::FindEntry(file_, section, key, &value)) return false;
  *out = platform::WideFromCp1252(value);
  return true;
}

int Language::GetString(UINT id, LPWSTR buffer, int bufferMax) {
  const char* key = StringKeyName(id);
  if (file_ && key && buffer && bufferMax > 0) {
    if (stringSection_ <= 0) stringSection_ = language_file::FindSection(file_, "String");
    std::u16string text;
    if (Lookup(stringSection_, key, &text)) {
      platform::CopyWide(text, buffer, bufferMax);
      return 1;
    }
  }
  return LoadString(instance_, id, buffer, bufferMax);
}

bool Language::TranslateMenuText(const std::u16string& english, std::u16string* translated) {
  if (!file_) return false;
  int32_t section = language_file::FindSection(file_, "Menu");
  return Lookup(section, platform::Cp1252FromWide(english).c_str(), translated);
}

Language& TheLanguage() {
  static Language language;
  return language;
}

void Language::TranslateMenu(HMENU menu) { TranslateMenu(nullptr, menu); }

void Language::TranslateMenu(HWND bar, HMENU menu) {
  if (!file_ || (!menu && !bar)) return;
  int32_t section = language_file::FindSection(file_, "Menu");
  if (menu) TranslateMenuItems(menu, section);
  if (bar) TranslateBarButtons(bar, section);
}

void Language::TranslateBarButtons(HWND bar, int32_t section) {
  if (section < 0) return;
  for (int index = 0; index < 2; ++index) {
    WCHAR text[257] = {0};
    TBBUTTONINFO info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_BYINDEX | TBIF_COMMAND | TBIF_TEXT;
    info.pszText = text;
    info.cchText = 256;
    if (SendMessage(bar, TB_GETBUTTONINFO, (WPARAM)index, (LPARAM)&info) == -1) continue;
    std::u16string translated;
    if (!Lookup(section, platform::Cp1252FromWide(text).c_str(), &translated)) continue;
    TBBUTTONINFO set{};
    set.cbSize = sizeof set;
    set.dwMask = TBIF_BYINDEX | TBIF_TEXT;
    set.pszText = translated.data();
    set.cchText = (int)translated.size();
    SendMessage(bar, TB_SETBUTTONINFO, (WPARAM)index, (LPARAM)&set);
  }
}

void Language::TranslateMenuItems(HMENU menu, int32_t section) {
  if (section < 0) return;
  for (int position = 0; position < kMaxMenuItems; ++position) {
    WCHAR text[257] = {0};
    MENUITEMINFO info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_TYPE | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = 256;
    if (!GetMenuItemInfo(menu, (UINT)position, TRUE, &info)) break;
    if (info.fType & MFT_SEPARATOR) continue;
    std::u16string translated;
    if (Lookup(section, platform::Cp1252FromWide(text).c_str(), &translated)) {
      MENUITEMINFO set{};
      set.cbSize = sizeof set;
      set.fMask = MIIM_TYPE;
      set.fType = MFT_STRING;
      set.dwTypeData = translated.data();
      set.cch = (UINT)translated.size();
      SetMenuItemInfo(menu, (UINT)position, TRUE, &set);
    }
    if (info.hSubMenu) TranslateMenuItems(info.hSubMenu, section);
  }
}

void Language::TranslateDialog(HWND dialog, const char* section) {
  dialog_ = dialog;
  dialogSection_ = -1;
  if (!file_ || !section) return;
  dialogSection_ = language_file::FindSection(file_, section);
  TranslateControl(-1, "-1");
}

void Language::TranslateControl(int id, const char* key) {
  std::u16string text;
  if (!dialog_ || !Lookup(dialogSection_, key, &text)) return;
  HWND target = id == -1 ? dialog_ : GetDlgItem(dialog_, id);
  if (target) SetWindowText(target, text.c_str());
}

std::vector<std::u16string> Language::ListLanguages(int* selected) {
  std::vector<std::u16string> entries{u"en - English"};
  std::u16string folder = ModuleFolder();
  WIN32_FIND_DATA data;
  HANDLE find = FindFirstFile((folder + u"\\*.lng").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      std::u16string fileName(data.cFileName, platform::WideLength(data.cFileName) < MAX_PATH
                                                  ? platform::WideLength(data.cFileName)
                                                  : 0);
      if (fileName.size() < 2) continue;
      FILE* f = _wfopen((folder + u"\\" + fileName).c_str(), u"rb");
      if (!f) continue;
      char line[kMaxFirstLine + 1] = {0};
      bool read = std::fgets(line, sizeof line, f) != nullptr;
      std::fclose(f);
      if (!read) continue;
      // The first token ends at a space, a tab or '='; the language's own
      // name follows up to the end of the line.
      const char* p = line;
      while (*p == ' ' || *p == '\t' || *p == '=') ++p;
      const char* tokenEnd = p;
      while (*tokenEnd && *tokenEnd != ' ' && *tokenEnd != '\t' && *tokenEnd != '=' &&
             *tokenEnd != '\r' && *tokenEnd != '\n')
        ++tokenEnd;
      if (tokenEnd == p || (*tokenEnd != ' ' && *tokenEnd != '\t' && *tokenEnd != '=')) continue;
      const char* rest = tokenEnd + 1;
      while (*rest == ' ' || *rest == '\t' || *rest == '=') ++rest;
      const char* restEnd = rest;
      while (*restEnd && *restEnd != '\r' && *restEnd != '\n') ++restEnd;
      if (restEnd == rest) continue;
      entries.push_back(fileName.substr(0, 2) + u" - " +
                        platform::WideFromCp1252(std::string(rest, restEnd)));
    } while (FindNextFile(find, &data));
    FindClose(find);
  }
  int choice = 0;
  if (name_.size() >= 2) {
    for (size_t i = 0; i < entries.size(); ++i) {
      if (FoldAscii(entries[i][0]) == FoldAscii(name_[0]) &&
          FoldAscii(entries[i][1]) == FoldAscii(name_[1])) {
        choice = (int)i;
        break;
      }
    }
  }
  if (selected) *selected = choice;
  return entries;
}

void Language::FillLanguageList(HWND dialog, int listId) {
  HWND list = GetDlgItem(dialog, listId);
  if (!list) return;
  int selected = 0;
  std::vector<std::u16string> entries = ListLanguages(&selected);
  SendMessage(list, LB_RESETCONTENT, 0, 0);
  for (const std::u16string& entry : entries)
    SendMessage(list, LB_ADDSTRING, 0, (LPARAM)entry.c_str());
  SendMessage(list, LB_SETCURSEL, (WPARAM)selected, 0);
}

int Language::SelectLanguage(LPCWSTR entry) {
  if (!entry || !entry[0] || !entry[1]) return 0;
  std::u16string code(entry, 2);
  if (name_.size() >= 2 && name_.compare(0, 2, code) == 0) return 0;
  name_ = code;
  return 1;
}
