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
//     BUTTON index MENU id "label" [STRING id] [POPUP n] [ID id]
//   END                             a MENU button opens that menu, or only its
//                                   popup n; ID is the button's own command
//   DIALOG id "title" [BAR id] [STYLE s] [FONT size "face"] [SIZE cx cy]
//     CONTROL id "class" "text" x y cx cy [STYLE s] [EXSTYLE s]
//   END
//   BITMAP id width height          a picture drawn in characters:
//     COLOR "c" 0xBBGGRR            the colour of character c
//     ROW "..."                     one row of `width` characters, top first
//   END
//
// A style s is a number or names joined by "|" (WS_TABSTOP | ES_NUMBER),
// the names of the window and control headers with their values.
//
// Dialog rectangles are in dialog units; the layer converts them with fixed
// base units per screen profile. A dialog without SIZE fills the work area.
// A bitmap static (SS_BITMAP) names its bitmap in its text as "#id".
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
  int cx = 0, cy = 0;  // dialog units; 0 when the dialog fills the work area
  int fontSize = 0;
  std::u16string fontFace;
  std::vector<DialogItemTemplate> items;
};
typedef const DialogTemplate* LPCDLGTEMPLATE;

struct SoftKeyButtonTemplate {
  bool present = false;
  bool opensMenu = false;
  int command = 0;  // WM_COMMAND id, or the menu id when opensMenu
  int popup = -1;   // opensMenu: the popup of that menu it opens, -1 the whole menu
  int buttonId = 0;  // opensMenu: the button's own command id (0 when none)
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
// A new device-independent bitmap (24 bits) of bitmap `name`
// (MAKEINTRESOURCE(id) or "#id"); null when there is none.
HBITMAP LoadBitmap(HINSTANCE instance, LPCWSTR name);

namespace platform {

// Adds a script (from the build-time embedding or from tests); false with
// "name:line: message" on a malformed script, which then adds nothing.
bool AddResourceScript(const std::string& text, const std::string& name, std::string* error);
void ClearResources();
// The value of a style name of the window and control headers
// ("WS_TABSTOP", "ES_NUMBER", ...); false for an unknown name.
bool StyleByName(const std::string& name, DWORD* value);
// A style written as in scripts: numbers and names joined by "|".
// False with the reason when a part is empty or unknown.
bool ParseStyle(const std::string& text, DWORD* value, std::string* why);
const DialogTemplate* FindDialogTemplate(int id);
const SoftKeyBarTemplate* FindSoftKeyBar(int id);

// Registers an embedded script at start-up (used by the generated source).
struct EmbeddedResourceScript {
  EmbeddedResourceScript(const char* text, size_t size, const char* name);
};
// Parses the embedded scripts if not done yet; reports errors on stderr.
void LoadEmbeddedResources();

}  // namespace platform
