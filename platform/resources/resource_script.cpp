#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/controls/button.h"
#include "platform/controls/edit.h"
#include "platform/controls/list_box.h"
#include "platform/controls/list_view.h"
#include "platform/controls/static_control.h"
#include "platform/controls/trackbar.h"
#include "platform/controls/tree_view.h"
#include "platform/controls/up_down.h"
#include "platform/gdi/gdi.h"
#include "platform/resources/resources.h"
#include "platform/text/codepage.h"
#include "platform/text/wide.h"
#include "platform/window/menu.h"
#include "platform/window/messages.h"

namespace platform {
namespace {

struct MenuEntry {
  enum Kind { kItem, kPopup, kSeparator } kind = kItem;
  int id = 0;
  std::u16string text;
  UINT flags = 0;
  std::vector<MenuEntry> children;
};

struct Bitmap {
  int width = 0, height = 0;
  std::vector<COLORREF> pixels;  // rows top first
};

struct Resources {
  std::map<int, std::u16string> strings;
  std::map<int, MenuEntry> menus;  // the root's children are the menu's items
  std::map<int, SoftKeyBarTemplate> bars;
  std::map<int, DialogTemplate> dialogs;
  std::map<int, Bitmap> bitmaps;
};

// Style names scripts may use, taken from the headers that define them.
#define STYLE_NAME(name) {#name, (DWORD)(name)}
const std::pair<const char*, DWORD> kStyleNames[] = {
    STYLE_NAME(WS_OVERLAPPED), STYLE_NAME(WS_POPUP), STYLE_NAME(WS_CHILD), STYLE_NAME(WS_VISIBLE),
    STYLE_NAME(WS_DISABLED), STYLE_NAME(WS_CLIPSIBLINGS), STYLE_NAME(WS_CLIPCHILDREN),
    STYLE_NAME(WS_CAPTION), STYLE_NAME(WS_BORDER), STYLE_NAME(WS_DLGFRAME), STYLE_NAME(WS_VSCROLL),
    STYLE_NAME(WS_HSCROLL), STYLE_NAME(WS_SYSMENU), STYLE_NAME(WS_GROUP), STYLE_NAME(WS_TABSTOP),
    STYLE_NAME(WS_EX_NONE),
    STYLE_NAME(BS_PUSHBUTTON), STYLE_NAME(BS_DEFPUSHBUTTON), STYLE_NAME(BS_CHECKBOX),
    STYLE_NAME(BS_AUTOCHECKBOX), STYLE_NAME(BS_LEFTTEXT), STYLE_NAME(BS_MULTILINE), STYLE_NAME(BS_NOTIFY),
    STYLE_NAME(ES_LEFT), STYLE_NAME(ES_CENTER), STYLE_NAME(ES_RIGHT), STYLE_NAME(ES_AUTOHSCROLL),
    STYLE_NAME(ES_NOHIDESEL), STYLE_NAME(ES_READONLY), STYLE_NAME(ES_NUMBER),
    STYLE_NAME(SS_LEFT), STYLE_NAME(SS_CENTER), STYLE_NAME(SS_RIGHT), STYLE_NAME(SS_ICON),
    STYLE_NAME(SS_BITMAP), STYLE_NAME(SS_LEFTNOWORDWRAP), STYLE_NAME(SS_NOPREFIX),
    STYLE_NAME(SS_NOTIFY), STYLE_NAME(SS_CENTERIMAGE),
    STYLE_NAME(LBS_NOTIFY), STYLE_NAME(LBS_SORT), STYLE_NAME(LBS_NOINTEGRALHEIGHT),
    STYLE_NAME(UDS_WRAP), STYLE_NAME(UDS_SETBUDDYINT), STYLE_NAME(UDS_ALIGNRIGHT),
    STYLE_NAME(UDS_ALIGNLEFT), STYLE_NAME(UDS_AUTOBUDDY), STYLE_NAME(UDS_ARROWKEYS),
    STYLE_NAME(UDS_HORZ), STYLE_NAME(UDS_NOTHOUSANDS), STYLE_NAME(UDS_EXPANDABLE),
    STYLE_NAME(UDS_NOSCROLL),
    STYLE_NAME(TBS_AUTOTICKS), STYLE_NAME(TBS_VERT), STYLE_NAME(TBS_HORZ), STYLE_NAME(TBS_TOP),
    STYLE_NAME(TBS_BOTTOM), STYLE_NAME(TBS_BOTH), STYLE_NAME(TBS_NOTICKS),
    STYLE_NAME(LVS_ICON), STYLE_NAME(LVS_REPORT), STYLE_NAME(LVS_SMALLICON), STYLE_NAME(LVS_LIST),
    STYLE_NAME(LVS_SINGLESEL), STYLE_NAME(LVS_SHOWSELALWAYS), STYLE_NAME(LVS_SHAREIMAGELISTS),
    STYLE_NAME(LVS_AUTOARRANGE), STYLE_NAME(LVS_ALIGNTOP), STYLE_NAME(LVS_OWNERDRAWFIXED),
    STYLE_NAME(LVS_ALIGNLEFT), STYLE_NAME(LVS_NOCOLUMNHEADER), STYLE_NAME(LVS_EX_FULLROWSELECT),
    STYLE_NAME(TVS_HASBUTTONS), STYLE_NAME(TVS_HASLINES), STYLE_NAME(TVS_LINESATROOT),
    STYLE_NAME(TVS_SHOWSELALWAYS),
};
#undef STYLE_NAME

// What FindResource hands out: the type and the object.
struct Found {
  int type;
  const void* object;
  DWORD size;
};

std::recursive_mutex g_mutex;
Resources g_resources;
std::map<std::pair<int, int>, std::unique_ptr<Found>> g_found;
bool g_embeddedLoaded = false;

std::vector<std::pair<std::string, std::string>>& Embedded() {
  static std::vector<std::pair<std::string, std::string>> scripts;
  return scripts;
}

struct Token {
  std::string text;
  bool quoted = false;
};

bool Tokenize(const std::string& line, std::vector<Token>* out, std::string* why) {
  out->clear();
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '#') break;
    Token t;
    if (c == '"') {
      t.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\' && i < line.size()) {
          char e = line[i++];
          d = e == 'n' ? '\n' : e == 't' ? '\t' : e;
        }
        t.text += d;
      }
      if (!closed) {
        *why = "unterminated text";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') t.text += line[i++];
    }
    out->push_back(t);
  }
  return true;
}

bool Number(const Token& t, long long* out) {
  if (t.quoted || t.text.empty()) return false;
  const char* s = t.text.c_str();
  bool negative = *s == '-';
  if (negative) ++s;
  int base = 10;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s += 2;
  }
  if (!*s) return false;
  unsigned long long v = 0;
  for (; *s; ++s) {
    int d;
    if (*s >= '0' && *s <= '9') d = *s - '0';
    else if (base == 16 && *s >= 'a' && *s <= 'f') d = *s - 'a' + 10;
    else if (base == 16 && *s >= 'A' && *s <= 'F') d = *s - 'A' + 10;
    else return false;
    v = v * (unsigned)base + (unsigned)d;
    if (v > 0xFFFFFFFFull) return false;
  }
  *out = negative ? -(long long)v : (long long)v;
  return true;
}

class Parser {
 public:
  Parser(const std::string& name, Resources* into) : name_(name), r_(into) {}

  bool Parse(const std::string& text, std::string* error) {
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      ++line_;
      std::vector<Token> tokens;
      std::string why;
      if (!Tokenize(text.substr(start, end - start), &tokens, &why)) return Fail(why, error);
      if (!tokens.empty() && !Statement(tokens, &why)) return Fail(why, error);
      start = end + 1;
    }
    if (!stack_.empty() || block_ != kNone) return Fail("missing END", error);
    return true;
  }

 private:
  enum Block { kNone, kMenu, kBar, kDialog, kBitmap };

  // A style starting at t[*i]; words joined by "|" belong to it, whether
  // the bars stand apart or inside a word. *i ends on its last word.
  static bool StyleAt(const std::vector<Token>& t, size_t* i, DWORD* out, std::string* why) {
    if (*i >= t.size() || t[*i].quoted) return (*why = "expected a style"), false;
    std::string text = t[*i].text;
    while (*i + 1 < t.size() && !t[*i + 1].quoted &&
           (text.back() == '|' || t[*i + 1].text.front() == '|'))
      text += t[++*i].text;
    return ParseStyle(text, out, why);
  }

  bool BitmapLine(const std::vector<Token>& t, std::string* why) {
    const std::string& word = t[0].text;
    if (word == "COLOR") {
      long long c;
      if (t.size() != 3 || !t[1].quoted || t[1].text.size() != 1 || !Number(t[2], &c) || c < 0 ||
          c > 0xFFFFFF)
        return (*why = "COLOR \"c\" 0xBBGGRR"), false;
      palette_[t[1].text[0]] = (COLORREF)c;
      return true;
    }
    if (word == "ROW") {
      if (t.size() != 2 || !t[1].quoted) return (*why = "ROW \"...\""), false;
      if ((int)t[1].text.size() != bitmap_.width)
        return (*why = "a row of " + std::to_string(t[1].text.size()) + " characters, not " +
                       std::to_string(bitmap_.width)),
               false;
      if ((int)bitmap_.pixels.size() >= bitmap_.width * bitmap_.height) return (*why = "too many rows"), false;
      for (char c : t[1].text) {
        auto it = palette_.find(c);
        if (it == palette_.end()) return (*why = std::string("no COLOR for '") + c + "'"), false;
        bitmap_.pixels.push_back(it->second);
      }
      return true;
    }
    *why = "expected COLOR, ROW or END";
    return false;
  }

  bool Fail(const std::string& why, std::string* error) {
    if (error) *error = name_ + ":" + std::to_string(line_) + ": " + why;
    return false;
  }

  static std::u16string Text(const Token& t) { return WideFromUtf8(t.text); }

  bool Id(const std::vector<Token>& t, size_t i, int* id, std::string* why) {
    long long v;
    if (i >= t.size() || !Number(t[i], &v) || v < 0 || v > 0xFFFF) {
      *why = "expected an identifier from 0 to 65535";
      return false;
    }
    *id = (int)v;
    return true;
  }

  bool Statement(const std::vector<Token>& t, std::string* why) {
    const std::string& word = t[0].text;
    if (t[0].quoted) {
      *why = "expected a statement";
      return false;
    }
    if (block_ == kNone) {
      int id;
      if (word == "STRING") {
        if (!Id(t, 1, &id, why)) return false;
        if (t.size() != 3 || !t[2].quoted) return (*why = "STRING id \"text\""), false;
        if (r_->strings.count(id)) return (*why = "string " + std::to_string(id) + " defined twice"), false;
        r_->strings[id] = Text(t[2]);
        return true;
      }
      if (word == "MENU") {
        if (!Id(t, 1, &id, why) || t.size() != 2) return (*why = "MENU id"), false;
        if (r_->menus.count(id)) return (*why = "menu " + std::to_string(id) + " defined twice"), false;
        block_ = kMenu;
        blockId_ = id;
        menu_ = MenuEntry{};
        menu_.kind = MenuEntry::kPopup;
        stack_.clear();
        stack_.push_back(&menu_);
        return true;
      }
      if (word == "SOFTKEYBAR") {
        if (!Id(t, 1, &id, why) || t.size() != 2) return (*why = "SOFTKEYBAR id"), false;
        if (r_->bars.count(id)) return (*why = "bar " + std::to_string(id) + " defined twice"), false;
        block_ = kBar;
        bar_ = SoftKeyBarTemplate{};
        bar_.id = id;
        return true;
      }
      if (word == "DIALOG") {
        if (!Id(t, 1, &id, why) || t.size() < 3 || !t[2].quoted) return (*why = "DIALOG id \"title\" ..."), false;
        if (r_->dialogs.count(id)) return (*why = "dialog " + std::to_string(id) + " defined twice"), false;
        dialog_ = DialogTemplate{};
        dialog_.id = id;
        dialog_.title = Text(t[2]);
        for (size_t i = 3; i < t.size(); ++i) {
          long long v;
          if (t[i].text == "BAR" && i + 1 < t.size() && Number(t[i + 1], &v)) {
            dialog_.bar = (int)v;
            ++i;
          } else if (t[i].text == "STYLE") {
            ++i;
            if (!StyleAt(t, &i, &dialog_.style, why)) return false;
          } else if (t[i].text == "SIZE" && i + 2 < t.size() && Number(t[i + 1], &v) && v >= 0 &&
                     v <= 32767) {
            dialog_.cx = (int)v;
            if (!Number(t[i + 2], &v) || v < 0 || v > 32767) return (*why = "SIZE cx cy"), false;
            dialog_.cy = (int)v;
            i += 2;
          } else if (t[i].text == "FONT" && i + 2 < t.size() && Number(t[i + 1], &v) && t[i + 2].quoted) {
            dialog_.fontSize = (int)v;
            dialog_.fontFace = Text(t[i + 2]);
            i += 2;
          } else {
            return (*why = "unknown dialog option \"" + t[i].text + "\""), false;
          }
        }
        block_ = kDialog;
        return true;
      }
      if (word == "BITMAP") {
        long long w, h;
        if (!Id(t, 1, &id, why) || t.size() != 4 || !Number(t[2], &w) || !Number(t[3], &h) || w < 1 ||
            h < 1 || w > 1024 || h > 1024)
          return (*why = "BITMAP id width height (1 to 1024)"), false;
        if (r_->bitmaps.count(id)) return (*why = "bitmap " + std::to_string(id) + " defined twice"), false;
        block_ = kBitmap;
        blockId_ = id;
        bitmap_ = Bitmap{};
        bitmap_.width = (int)w;
        bitmap_.height = (int)h;
        palette_.clear();
        return true;
      }
      *why = "unknown statement \"" + word + "\"";
      return false;
    }
    if (word == "END") {
      if (t.size() != 1) return (*why = "END stands alone"), false;
      if (block_ == kMenu) {
        stack_.pop_back();
        if (stack_.empty()) {
          r_->menus[blockId_] = menu_;
          block_ = kNone;
        }
      } else if (block_ == kBar) {
        r_->bars[bar_.id] = bar_;
        block_ = kNone;
      } else if (block_ == kBitmap) {
        if ((int)bitmap_.pixels.size() != bitmap_.width * bitmap_.height)
          return (*why = "bitmap " + std::to_string(blockId_) + " has " +
                         std::to_string(bitmap_.pixels.size() / (size_t)bitmap_.width) + " rows, not " +
                         std::to_string(bitmap_.height)),
                 false;
        r_->bitmaps[blockId_] = bitmap_;
        block_ = kNone;
      } else {
        r_->dialogs[dialog_.id] = dialog_;
        block_ = kNone;
      }
      return true;
    }
    if (block_ == kBitmap) return BitmapLine(t, why);
    if (block_ == kMenu) {
      MenuEntry e;
      if (word == "SEPARATOR" && t.size() == 1) {
        e.kind = MenuEntry::kSeparator;
        stack_.back()->children.push_back(e);
        return true;
      }
      if (word == "POPUP") {
        if (t.size() != 2 || !t[1].quoted) return (*why = "POPUP \"text\""), false;
        e.kind = MenuEntry::kPopup;
        e.text = Text(t[1]);
        stack_.back()->children.push_back(e);
        stack_.push_back(&stack_.back()->children.back());
        return true;
      }
      if (word == "ITEM") {
        if (!Id(t, 1, &e.id, why) || t.size() < 3 || !t[2].quoted) return (*why = "ITEM id \"text\" [CHECKED] [GRAYED]"), false;
        e.text = Text(t[2]);
        for (size_t i = 3; i < t.size(); ++i) {
          if (t[i].text == "CHECKED") e.flags |= MF_CHECKED;
          else if (t[i].text == "GRAYED") e.flags |= MF_GRAYED;
          else return (*why = "unknown item option \"" + t[i].text + "\""), false;
        }
        stack_.back()->children.push_back(e);
        return true;
      }
      *why = "expected POPUP, ITEM, SEPARATOR or END";
      return false;
    }
    if (block_ == kBar) {
      int index;
      if (word != "BUTTON" || !Id(t, 1, &index, why) || index > 1 || t.size() < 5 ||
          (t[2].text != "COMMAND" && t[2].text != "MENU") || !t[4].quoted)
        return (*why = "BUTTON 0|1 COMMAND|MENU id \"label\" [STRING id]"), false;
      SoftKeyButtonTemplate b;
      b.present = true;
      b.opensMenu = t[2].text == "MENU";
      if (!Id(t, 3, &b.command, why)) return false;
      b.label = Text(t[4]);
      for (size_t i = 5; i < t.size(); i += 2) {
        const std::string& option = t[i].text;
        int value;
        if (i + 1 >= t.size() || t[i].quoted || !Id(t, i + 1, &value, why))
          return (*why = "expected STRING, POPUP or ID with a number after the label"), false;
        if (option == "STRING") b.labelString = value;
        else if (option == "POPUP" && b.opensMenu) b.popup = value;
        else if (option == "ID" && b.opensMenu) b.buttonId = value;
        else return (*why = "unexpected \"" + option + "\" after the label"), false;
      }
      bar_.buttons[index] = b;
      return true;
    }
    // Dialog controls.
    DialogItemTemplate item;
    long long v[4];
    if (word != "CONTROL" || t.size() < 8 || !t[2].quoted || !t[3].quoted || !Id(t, 1, &item.id, why))
      return (*why = "CONTROL id \"class\" \"text\" x y cx cy [STYLE n] [EXSTYLE n]"), false;
    for (int k = 0; k < 4; ++k)
      if (!Number(t[4 + k], &v[k]) || v[k] < -32768 || v[k] > 32767) return (*why = "bad rectangle"), false;
    item.className = Text(t[2]);
    item.text = Text(t[3]);
    item.x = (int)v[0];
    item.y = (int)v[1];
    item.cx = (int)v[2];
    item.cy = (int)v[3];
    for (size_t i = 8; i < t.size(); ++i) {
      DWORD* target = t[i].text == "STYLE" ? &item.style : t[i].text == "EXSTYLE" ? &item.exStyle : nullptr;
      if (!target || t[i].quoted) return (*why = "unknown control option \"" + t[i].text + "\""), false;
      ++i;
      if (!StyleAt(t, &i, target, why)) return false;
    }
    dialog_.items.push_back(item);
    return true;
  }

  std::string name_;
  Resources* r_;
  int line_ = 0;
  Block block_ = kNone;
  int blockId_ = 0;
  MenuEntry menu_;
  std::vector<MenuEntry*> stack_;
  SoftKeyBarTemplate bar_;
  DialogTemplate dialog_;
  Bitmap bitmap_;
  std::map<char, COLORREF> palette_;
};

void EnsureLoaded() {
  if (!g_embeddedLoaded) LoadEmbeddedResources();
}

HMENU Build(const MenuEntry& node) {
  HMENU m = CreatePopupMenu();
  for (const MenuEntry& e : node.children) {
    switch (e.kind) {
      case MenuEntry::kSeparator: AppendMenu(m, MF_SEPARATOR, 0, nullptr); break;
      case MenuEntry::kPopup: AppendMenu(m, MF_POPUP, (UINT_PTR)Build(e), e.text.c_str()); break;
      case MenuEntry::kItem: AppendMenu(m, MF_STRING | e.flags, (UINT_PTR)e.id, e.text.c_str()); break;
    }
  }
  return m;
}

int IdOf(LPCWSTR name) { return IS_INTRESOURCE(name) ? (int)(ULONG_PTR)name : -1; }

}  // namespace

bool StyleByName(const std::string& name, DWORD* value) {
  for (auto& [n, v] : kStyleNames) {
    if (name == n) {
      *value = v;
      return true;
    }
  }
  return false;
}

bool ParseStyle(const std::string& text, DWORD* value, std::string* why) {
  DWORD result = 0;
  size_t start = 0;
  while (true) {
    size_t bar = text.find('|', start);
    std::string part = text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    size_t first = part.find_first_not_of(" \t"), last = part.find_last_not_of(" \t");
    part = first == std::string::npos ? std::string() : part.substr(first, last - first + 1);
    if (part.empty()) {
      if (why) *why = "empty part in style \"" + text + "\"";
      return false;
    }
    long long n;
    DWORD v;
    Token token{part, false};
    if (Number(token, &n)) {
      v = (DWORD)n;
    } else if (!StyleByName(part, &v)) {
      if (why) *why = "unknown style name \"" + part + "\"";
      return false;
    }
    result |= v;
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  *value = result;
  return true;
}

bool AddResourceScript(const std::string& text, const std::string& name, std::string* error) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  Resources copy = g_resources;
  Parser parser(name, &copy);
  if (!parser.Parse(text, error)) return false;
  g_resources = copy;
  g_found.clear();
  return true;
}

void ClearResources() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  g_resources = Resources{};
  g_found.clear();
  g_embeddedLoaded = true;
}

EmbeddedResourceScript::EmbeddedResourceScript(const char* text, size_t size, const char* name) {
  Embedded().push_back({std::string(text, size), name});
}

void LoadEmbeddedResources() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (g_embeddedLoaded) return;
  g_embeddedLoaded = true;
  for (auto& [text, name] : Embedded()) {
    std::string error;
    if (!AddResourceScript(text, name, &error)) std::fprintf(stderr, "quivra: %s\n", error.c_str());
  }
}

const DialogTemplate* FindDialogTemplate(int id) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  EnsureLoaded();
  auto it = g_resources.dialogs.find(id);
  return it == g_resources.dialogs.end() ? nullptr : &it->second;
}

const SoftKeyBarTemplate* FindSoftKeyBar(int id) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  EnsureLoaded();
  auto it = g_resources.bars.find(id);
  return it == g_resources.bars.end() ? nullptr : &it->second;
}

}  // namespace platform

using namespace platform;

HRSRC FindResource(HMODULE, LPCWSTR name, LPCWSTR type) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  EnsureLoaded();
  int id = IdOf(name), kind = IdOf(type);
  if (id < 0 || kind < 0) return nullptr;
  const void* object = nullptr;
  DWORD size = 0;
  if (type == RT_DIALOG) {
    auto it = g_resources.dialogs.find(id);
    if (it != g_resources.dialogs.end()) {
      object = &it->second;
      size = sizeof(DialogTemplate);
    }
  } else if (type == RT_MENU) {
    auto it = g_resources.menus.find(id);
    if (it != g_resources.menus.end()) {
      object = &it->second;
      size = (DWORD)it->second.children.size();
    }
  } else if (type == RT_SOFTKEYBAR) {
    auto it = g_resources.bars.find(id);
    if (it != g_resources.bars.end()) {
      object = &it->second;
      size = sizeof(SoftKeyBarTemplate);
    }
  }
  if (!object) {
    SetLastError(1814 /*ERROR_RESOURCE_NAME_NOT_FOUND*/);
    return nullptr;
  }
  auto& slot = g_found[{kind, id}];
  if (!slot) slot = std::make_unique<Found>(Found{kind, object, size});
  return (HRSRC)slot.get();
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) { return (HGLOBAL)resource; }

LPVOID LockResource(HGLOBAL data) {
  if (!data) return nullptr;
  return const_cast<void*>(((Found*)data)->object);
}

DWORD SizeofResource(HMODULE, HRSRC resource) { return resource ? ((Found*)resource)->size : 0; }

int LoadString(HINSTANCE, UINT id, LPWSTR buffer, int bufferMax) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  EnsureLoaded();
  auto it = g_resources.strings.find((int)id);
  if (it == g_resources.strings.end() || !buffer) return 0;
  if (bufferMax == 0) {
    *(LPCWSTR*)buffer = it->second.c_str();
    return (int)it->second.size();
  }
  return (int)CopyWide(it->second, buffer, bufferMax);
}

HMENU LoadMenu(HINSTANCE, LPCWSTR name) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  EnsureLoaded();
  int id = IdOf(name);
  auto it = g_resources.menus.find(id);
  if (it == g_resources.menus.end()) return nullptr;
  return Build(it->second);
}

HBITMAP LoadBitmap(HINSTANCE, LPCWSTR name) {
  int id = -1;
  if (IS_INTRESOURCE(name)) {
    id = IdOf(name);
  } else if (name && name[0] == u'#' && name[1]) {
    id = 0;
    for (const char16_t* p = name + 1; *p; ++p) {
      if (*p < u'0' || *p > u'9' || id > 0xFFFF) return nullptr;
      id = id * 10 + (*p - u'0');
    }
  }
  Bitmap copy;
  {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    EnsureLoaded();
    auto it = g_resources.bitmaps.find(id);
    if (it == g_resources.bitmaps.end()) return nullptr;
    copy = it->second;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = copy.width;
  info.bmiHeader.biHeight = -copy.height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return bitmap;
  size_t stride = ((size_t)copy.width * 3 + 3) & ~(size_t)3;
  for (int y = 0; y < copy.height; ++y) {
    BYTE* row = (BYTE*)bits + stride * (size_t)y;
    for (int x = 0; x < copy.width; ++x) {
      COLORREF c = copy.pixels[(size_t)y * (size_t)copy.width + (size_t)x];
      row[x * 3] = GetBValue(c);
      row[x * 3 + 1] = GetGValue(c);
      row[x * 3 + 2] = GetRValue(c);
    }
  }
  return bitmap;
}
