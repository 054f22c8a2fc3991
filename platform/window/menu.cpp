#include "platform/window/menu.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/text/wide.h"

namespace {

struct Item {
  UINT id = 0;
  UINT flags = 0;  // MF_CHECKED, MF_GRAYED, MF_DISABLED, MF_POPUP, MF_SEPARATOR
  UINT type = 0;   // MFT_RADIOCHECK
  std::u16string text;
  HMENU sub = nullptr;
  ULONG_PTR data = 0;
};

struct Menu {
  std::vector<Item> items;
};

std::recursive_mutex g_mutex;
std::map<uintptr_t, std::unique_ptr<Menu>> g_menus;
uintptr_t g_next = 0x40000;

Menu* Get(HMENU h) {
  auto it = g_menus.find((uintptr_t)h);
  return it == g_menus.end() ? nullptr : it->second.get();
}

HMENU NewMenu() {
  uintptr_t h = (g_next += 8);
  g_menus[h] = std::make_unique<Menu>();
  return (HMENU)h;
}

// The item by position, or by command anywhere in the tree.
Item* Locate(HMENU menu, UINT item, UINT flags, Menu** owner = nullptr, int* index = nullptr) {
  Menu* m = Get(menu);
  if (!m) return nullptr;
  if (flags & MF_BYPOSITION) {
    if (item >= m->items.size()) return nullptr;
    if (owner) *owner = m;
    if (index) *index = (int)item;
    return &m->items[item];
  }
  for (size_t i = 0; i < m->items.size(); ++i) {
    Item& it = m->items[i];
    if (!(it.flags & MF_POPUP) && !(it.flags & MF_SEPARATOR) && it.id == item) {
      if (owner) *owner = m;
      if (index) *index = (int)i;
      return &it;
    }
    if (it.flags & MF_POPUP)
      if (Item* found = Locate(it.sub, item, flags, owner, index)) return found;
  }
  return nullptr;
}

void Destroy(HMENU h) {
  Menu* m = Get(h);
  if (!m) return;
  std::vector<HMENU> subs;
  for (auto& it : m->items)
    if (it.flags & MF_POPUP) subs.push_back(it.sub);
  g_menus.erase((uintptr_t)h);
  for (HMENU s : subs) Destroy(s);
}

Item MakeItem(UINT flags, UINT_PTR idOrPopup, LPCWSTR text) {
  Item it;
  it.flags = flags & (MF_CHECKED | MF_GRAYED | MF_DISABLED | MF_POPUP | MF_SEPARATOR);
  if (flags & MF_POPUP) it.sub = (HMENU)idOrPopup;
  else it.id = (UINT)idOrPopup;
  if (text && !(flags & MF_SEPARATOR)) it.text = text;
  return it;
}

}  // namespace

#define MENU_LOCK std::lock_guard<std::recursive_mutex> lock(g_mutex)

HMENU CreateMenu() {
  MENU_LOCK;
  return NewMenu();
}
HMENU CreatePopupMenu() {
  MENU_LOCK;
  return NewMenu();
}
BOOL DestroyMenu(HMENU menu) {
  MENU_LOCK;
  if (!Get(menu)) return FALSE;
  Destroy(menu);
  return TRUE;
}
BOOL IsMenu(HMENU menu) {
  MENU_LOCK;
  return Get(menu) != nullptr;
}

BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCWSTR text) {
  MENU_LOCK;
  Menu* m = Get(menu);
  if (!m || ((flags & MF_POPUP) && !Get((HMENU)idOrPopup))) return FALSE;
  m->items.push_back(MakeItem(flags, idOrPopup, text));
  return TRUE;
}

BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, LPCWSTR text) {
  MENU_LOCK;
  Menu* m = Get(menu);
  if (!m) return FALSE;
  size_t at = m->items.size();
  if (flags & MF_BYPOSITION) {
    if (position < at) at = position;
  } else {
    Menu* owner = nullptr;
    int index = 0;
    if (Locate(menu, position, MF_BYCOMMAND, &owner, &index)) {
      owner->items.insert(owner->items.begin() + index, MakeItem(flags, idOrPopup, text));
      return TRUE;
    }
  }
  m->items.insert(m->items.begin() + (long)at, MakeItem(flags, idOrPopup, text));
  return TRUE;
}

static BOOL RemoveItem(HMENU menu, UINT item, UINT flags, bool destroySub) {
  MENU_LOCK;
  Menu* owner = nullptr;
  int index = 0;
  Item* it = Locate(menu, item, flags, &owner, &index);
  if (!it) return FALSE;
  HMENU sub = (it->flags & MF_POPUP) ? it->sub : nullptr;
  owner->items.erase(owner->items.begin() + index);
  if (sub && destroySub) Destroy(sub);
  return TRUE;
}

BOOL DeleteMenu(HMENU menu, UINT item, UINT flags) { return RemoveItem(menu, item, flags, true); }
BOOL RemoveMenu(HMENU menu, UINT item, UINT flags) { return RemoveItem(menu, item, flags, false); }

int GetMenuItemCount(HMENU menu) {
  MENU_LOCK;
  Menu* m = Get(menu);
  return m ? (int)m->items.size() : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
  MENU_LOCK;
  Menu* m = Get(menu);
  if (!m || position < 0 || (size_t)position >= m->items.size()) return (UINT)-1;
  const Item& it = m->items[(size_t)position];
  return (it.flags & MF_POPUP) ? (UINT)-1 : it.id;
}

HMENU GetSubMenu(HMENU menu, int position) {
  MENU_LOCK;
  Menu* m = Get(menu);
  if (!m || position < 0 || (size_t)position >= m->items.size()) return nullptr;
  const Item& it = m->items[(size_t)position];
  return (it.flags & MF_POPUP) ? it.sub : nullptr;
}

int GetMenuString(HMENU menu, UINT item, LPWSTR buffer, int max, UINT flags) {
  MENU_LOCK;
  Item* it = Locate(menu, item, flags);
  if (!it) return 0;
  if (!buffer || max <= 0) return (int)it->text.size();
  return (int)platform::CopyWide(it->text, buffer, max);
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
  MENU_LOCK;
  Item* it = Locate(menu, item, flags);
  if (!it) return (UINT)-1;
  UINT state = it->flags & (MF_CHECKED | MF_GRAYED | MF_DISABLED | MF_SEPARATOR);
  if (it->flags & MF_POPUP) state |= MF_POPUP | ((UINT)GetMenuItemCount(it->sub) << 8);
  return state;
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags) {
  MENU_LOCK;
  Item* it = Locate(menu, item, flags);
  if (!it) return (DWORD)-1;
  DWORD previous = it->flags & MF_CHECKED;
  it->flags = (it->flags & ~MF_CHECKED) | (flags & MF_CHECKED);
  it->type &= ~MFT_RADIOCHECK;
  return previous;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags) {
  MENU_LOCK;
  Item* it = Locate(menu, item, flags);
  if (!it) return (BOOL)-1;
  BOOL previous = (BOOL)(it->flags & (MF_GRAYED | MF_DISABLED));
  it->flags = (it->flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
  return previous;
}

BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags) {
  MENU_LOCK;
  Menu* m = Get(menu);
  if (!m) return FALSE;
  bool found = false;
  // By identifier range: every item of the tree whose id lies in the range.
  std::vector<HMENU> todo{menu};
  while (!todo.empty()) {
    Menu* cur = Get(todo.back());
    todo.pop_back();
    if (!cur) continue;
    for (size_t i = 0; i < cur->items.size(); ++i) {
      Item& it = cur->items[i];
      if (it.flags & MF_POPUP) {
        if (!(flags & MF_BYPOSITION)) todo.push_back(it.sub);
        continue;
      }
      UINT key = (flags & MF_BYPOSITION) ? (UINT)i : it.id;
      if (cur != m && (flags & MF_BYPOSITION)) continue;
      if (key < first || key > last) continue;
      if (key == check) {
        it.flags |= MF_CHECKED;
        it.type |= MFT_RADIOCHECK;
        found = true;
      } else {
        it.flags &= ~MF_CHECKED;
      }
    }
  }
  return found;
}

BOOL ModifyMenu(HMENU menu, UINT item, UINT flags, UINT_PTR idOrPopup, LPCWSTR text) {
  MENU_LOCK;
  Item* it = Locate(menu, item, flags);
  if (!it) return FALSE;
  *it = MakeItem(flags, idOrPopup, text);
  return TRUE;
}

BOOL GetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, MENUITEMINFO* info) {
  MENU_LOCK;
  if (!info) return FALSE;
  Item* it = Locate(menu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
  if (!it) return FALSE;
  if (info->fMask & MIIM_ID) info->wID = it->id;
  if (info->fMask & MIIM_STATE) info->fState = it->flags & (MF_CHECKED | MF_GRAYED | MF_DISABLED);
  if (info->fMask & MIIM_SUBMENU) info->hSubMenu = (it->flags & MF_POPUP) ? it->sub : nullptr;
  if (info->fMask & MIIM_DATA) info->dwItemData = it->data;
  if (info->fMask & MIIM_TYPE) {
    info->fType = ((it->flags & MF_SEPARATOR) ? MFT_SEPARATOR : MFT_STRING) | it->type;
    if (info->dwTypeData && info->cch > 0)
      info->cch = (UINT)platform::CopyWide(it->text, info->dwTypeData, (int)info->cch);
    else
      info->cch = (UINT)it->text.size();
  }
  return TRUE;
}

BOOL SetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFO* info) {
  MENU_LOCK;
  if (!info) return FALSE;
  Item* it = Locate(menu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
  if (!it) return FALSE;
  if (info->fMask & MIIM_ID) it->id = info->wID;
  if (info->fMask & MIIM_STATE)
    it->flags = (it->flags & ~(MF_CHECKED | MF_GRAYED | MF_DISABLED)) |
                (info->fState & (MF_CHECKED | MF_GRAYED | MF_DISABLED));
  if (info->fMask & MIIM_SUBMENU) {
    it->sub = info->hSubMenu;
    it->flags = info->hSubMenu ? (it->flags | MF_POPUP) : (it->flags & ~MF_POPUP);
  }
  if (info->fMask & MIIM_DATA) it->data = info->dwItemData;
  if (info->fMask & MIIM_TYPE) {
    it->type = info->fType & MFT_RADIOCHECK;
    if (info->fType & MFT_SEPARATOR) it->flags |= MF_SEPARATOR;
    else if (info->dwTypeData) it->text = info->dwTypeData;
  }
  return TRUE;
}
