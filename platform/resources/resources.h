// Resources: menus, soft-key bars, dialog templates and the string table,
// written as a resource script, embedded in the executable at build time
// (quivra_embed_resources in cmake/) and found by identifier at run time.
//
// The script, one statement a line ('#' starts a comment, texts are in
// double quotes with \" \\ \n \t escapes, numbers decimal or 0x hex):
//
//   STRING id "text"
//   MENU id                         a menu: its items up to END
//     POPUP "text"                  a submenu up to its END
//     ITEM id "text" [CHECKED] [GRAYED]
//     SEPARATOR
//   END
//   SOFTKEYBAR id                   two buttons, 0 left and 1 right
//     BUTTON index COMMAND id "label" [STRING id]
//     BUTTON index MENU id "label" [STRING id]   opens that menu
//   END
//   DIALOG id "title" [BAR id] [STYLE n] [FONT size "face"]
//     CONTROL id "class" "text" x y cx cy [STYLE n] [EXSTYLE n]
//   END
//
// Dialog rectangles are in dialog units; the layer converts them with fixed
// base units per screen profile.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

#define MAKEINTRESOURCE(i) ((LPCWSTR)(ULONG_PTR)((WORD)(i)))
#define IS_INTRESOURCE(p) ((((ULONG_PTR)(p)) >> 16) == 0)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_SOFTKEYBAR MAKEINTRESOURCE(0x6000)

struct DialogItemTemplate {
  int id = 0;
  std::u16string className;
  std::u16string text;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  DWORD style = 0;
  DWORD exStyle = 0;
};

// What LockResource gives for a dialog (the layer's own template form).
struct DialogTemplate {
  int id = 0;
  std::u16string title;
  DWORD style = 0;
  int bar = 0;  // soft-key bar id, 0 for none
  int fontSize = 0;
  std::u16string fontFace;
  std::vector<DialogItemTemplate> items;
};
typedef const DialogTemplate* LPCDLGTEMPLATE;

struct SoftKeyButtonTemplate {
  bool present = false;
  bool opensMenu = false;
  int command = 0;  // WM_COMMAND id, or the menu id when opensMenu
  std::u16string label;
  int labelString = 0;  // string-table id of the label, 0 for none
};

struct SoftKeyBarTemplate {
  int id = 0;
  SoftKeyButtonTemplate buttons[2];
};

HRSRC FindResource(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
// Copies string `id`, cut to the buffer; returns the characters copied,
// 0 when missing. With a size of 0 a pointer to the text is stored.
int LoadString(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
HMENU LoadMenu(HINSTANCE instance, LPCWSTR name);

namespace platform {

// Adds a script (from the build-time embedding or from tests); false with
// "name:line: message" on a malformed script, which then adds nothing.
bool AddResourceScript(const std::string& text, const std::string& name, std::string* error);
void ClearResources();
const DialogTemplate* FindDialogTemplate(int id);
const SoftKeyBarTemplate* FindSoftKeyBar(int id);

// Registers an embedded script at start-up (used by the generated source).
struct EmbeddedResourceScript {
  EmbeddedResourceScript(const char* text, size_t size, const char* name);
};
// Parses the embedded scripts if not done yet; reports errors on stderr.
void LoadEmbeddedResources();

}  // namespace platform
