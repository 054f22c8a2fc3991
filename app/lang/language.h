// The user-interface language: texts of a language file ("<code>.lng"
// beside the executable) replace the English texts of the resources; when
// no file is open every lookup gives the resources' text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/resources/resources.h"
#include "platform/window/menu.h"
#include "platform/windows.h"

class Language {
 public:
  Language() = default;
  virtual ~Language();
  Language(const Language&) = delete;
  Language& operator=(const Language&) = delete;

  // Opens "<folder of the module>\<code>.lng". 1 when it opened and `code`
  // is the current name; 0 otherwise, with the name "en" and no file.
  int Open(HINSTANCE instance, LPCWSTR code);
  void Close();

  // String `id` of the language file when it has one for that number (the
  // result is then 1), otherwise of the resources (LoadString's result).
  int GetString(UINT id, LPWSTR buffer, int bufferMax);

  // Replaces the texts of the menu's items (and of its submenus) found in
  // the file's Menu section.
  void TranslateMenu(HMENU menu);
  // The same for the menu of a soft-key bar (`menu` may be null), then the
  // texts of the bar's two buttons.
  void TranslateMenu(HWND bar, HMENU menu);
  // The translation of one menu or soft-key text; false when the file has none.
  bool TranslateMenuText(const std::u16string& english, std::u16string* translated);

  // Finds the dialog's section and sets its title from the key "-1".
  void TranslateDialog(HWND dialog, const char* section);
  // Sets the text of control `id` (-1: the dialog's title) from `key` of
  // the section of the last TranslateDialog.
  void TranslateControl(int id, const char* key);

  // The entries of the language list: "en - English" first, then one per
  // language file beside the executable, in the order the files are found.
  // `selected` gets the index of the current language's entry (0 without one).
  std::vector<std::u16string> ListLanguages(int* selected);
  // Fills list box `listId` of `dialog` with the language list and selects
  // the current language's entry.
  void FillLanguageList(HWND dialog, int listId);
  // Takes the language of a list entry as the current name: 1 when it
  // changed, 0 when it is the current one.
  int SelectLanguage(LPCWSTR entry);

  const std::u16string& Name() const { return name_; }
  bool HasFile() const { return file_ != nullptr; }

 private:
  std::u16string ModuleFolder() const;
  void TranslateMenuItems(HMENU menu, int32_t section);
  void TranslateBarButtons(HWND bar, int32_t section);
  bool Lookup(int32_t section, const char* key, std::u16string* out);

  std::u16string name_ = u"en";
  FILE* file_ = nullptr;
  int32_t dialogSection_ = -1;
  int32_t stringSection_ = 0;  // 0 until first needed
  HWND dialog_ = nullptr;
  HINSTANCE instance_ = nullptr;
};

// The one language of the process (opened by the main window at start).
Language& TheLanguage();

// The language-file key of string-table entry `id`, or null when that
// entry is always taken from the resources.
const char* StringKeyName(UINT id);
