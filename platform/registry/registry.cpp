#include "platform/registry/registry.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/wide.h"

namespace platform {
namespace {

std::recursive_mutex g_mutex;
sqlite3* g_db = nullptr;
std::map<uintptr_t, int64_t> g_handles;  // open key handle -> key row
uintptr_t g_nextHandle = 0x100;
const int64_t kRootClasses = 1;
const int64_t kRootUser = 2;

std::string Fold(const std::u16string& s) {
  std::u16string f;
  for (char16_t c : s) f += FoldCase(c);
  return Utf8FromWide(f);
}

class Statement {
 public:
  Statement(const char* sql) {
    if (!g_db || sqlite3_prepare_v2(g_db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
  }
  ~Statement() {
    if (stmt_) sqlite3_finalize(stmt_);
  }
  bool ok() const { return stmt_ != nullptr; }
  Statement& Bind(int i, int64_t v) {
    if (stmt_) sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  Statement& Bind(int i, const std::string& v) {
    if (stmt_) sqlite3_bind_text(stmt_, i, v.data(), (int)v.size(), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int i, const void* p, int n) {
    if (stmt_) sqlite3_bind_blob(stmt_, i, n ? p : "", n, SQLITE_TRANSIENT);
    return *this;
  }
  int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  int64_t Int(int c) { return sqlite3_column_int64(stmt_, c); }
  std::string Text(int c) {
    const unsigned char* t = sqlite3_column_text(stmt_, c);
    return t ? std::string((const char*)t, (size_t)sqlite3_column_bytes(stmt_, c)) : std::string();
  }
  std::vector<uint8_t> Blob(int c) {
    const uint8_t* p = (const uint8_t*)sqlite3_column_blob(stmt_, c);
    int n = sqlite3_column_bytes(stmt_, c);
    return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

bool Exec(const char* sql) { return g_db && sqlite3_exec(g_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// A write transaction that rolls back unless committed.
class Transaction {
 public:
  Transaction() { ok_ = Exec("BEGIN IMMEDIATE"); }
  ~Transaction() {
    if (ok_ && !done_) Exec("ROLLBACK");
  }
  bool ok() const { return ok_; }
  bool Commit() {
    done_ = true;
    return Exec("COMMIT");
  }

 private:
  bool ok_ = false;
  bool done_ = false;
};

bool KeyExists(int64_t id) {
  Statement s("SELECT 1 FROM keys WHERE id = ?");
  s.Bind(1, id);
  return s.Step() == SQLITE_ROW;
}

// The row of an open handle or a root; -1 when unknown.
int64_t RowOf(HKEY key) {
  uintptr_t k = (uintptr_t)key;
  if (k == (uintptr_t)HKEY_CLASSES_ROOT) return kRootClasses;
  if (k == (uintptr_t)HKEY_CURRENT_USER) return kRootUser;
  auto it = g_handles.find(k);
  return it == g_handles.end() ? -1 : it->second;
}

std::vector<std::u16string> Split(LPCWSTR path) {
  std::vector<std::u16string> parts;
  if (!path) return parts;
  std::u16string cur;
  for (const WCHAR* p = path; *p; ++p) {
    if (*p == u'\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += *p;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

int64_t Child(int64_t parent, const std::u16string& name) {
  Statement s("SELECT id FROM keys WHERE parent = ? AND fold = ?");
  s.Bind(1, parent).Bind(2, Fold(name));
  return s.Step() == SQLITE_ROW ? s.Int(0) : -1;
}

HKEY NewHandle(int64_t row) {
  uintptr_t h = (g_nextHandle += 4);
  g_handles[h] = row;
  return (HKEY)h;
}

std::string ValueName(LPCWSTR name) { return Fold(name ? std::u16string(name) : std::u16string()); }

LSTATUS Ready(HKEY key, int64_t* row) {
  if (!g_db) return ERROR_BADDB;
  *row = RowOf(key);
  if (*row < 0) return ERROR_INVALID_HANDLE;
  if (!KeyExists(*row)) return ERROR_KEY_DELETED;
  return ERROR_SUCCESS;
}

}  // namespace

std::string DefaultRegistryFile() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.config";
  }
  mkdir(base.c_str(), 0700);
  std::string dir = base + "/quivra";
  mkdir(dir.c_str(), 0700);
  return dir + "/registry.db";
}

bool OpenRegistryStore(const std::string& file) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  CloseRegistryStore();
  std::string path = file.empty() ? DefaultRegistryFile() : file;
  if (sqlite3_open_v2(path.c_str(), &g_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    if (g_db) sqlite3_close(g_db);
    g_db = nullptr;
    return false;
  }
  sqlite3_busy_timeout(g_db, 5000);
  bool ok = Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA synchronous=FULL") &&
            Exec("CREATE TABLE IF NOT EXISTS keys (id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
                 " name TEXT NOT NULL, fold TEXT NOT NULL, UNIQUE(parent, fold))") &&
            Exec("CREATE TABLE IF NOT EXISTS vals (key INTEGER NOT NULL, name TEXT NOT NULL,"
                 " fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
                 " PRIMARY KEY(key, fold))") &&
            Exec("INSERT OR IGNORE INTO keys (id, parent, name, fold) VALUES"
                 " (1, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),"
                 " (2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user')");
  Statement check("PRAGMA quick_check");
  if (!ok || check.Step() != SQLITE_ROW || check.Text(0) != "ok") {
    sqlite3_close(g_db);
    g_db = nullptr;
    return false;
  }
  return true;
}

void CloseRegistryStore() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  g_handles.clear();
  if (g_db) sqlite3_close(g_db);
  g_db = nullptr;
}

}  // namespace platform

using namespace platform;

LSTATUS RegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD, REGSAM, HKEY* result) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  int64_t row;
  if (LSTATUS e = Ready(key, &row)) return e;
  for (const auto& part : Split(subKey)) {
    row = Child(row, part);
    if (row < 0) return ERROR_FILE_NOT_FOUND;
  }
  *result = NewHandle(row);
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyEx(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, void*, HKEY* result,
                       DWORD* disposition) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  int64_t row;
  if (LSTATUS e = Ready(key, &row)) return e;
  Transaction t;
  if (!t.ok()) return ERROR_BADDB;
  bool created = false;
  for (const auto& part : Split(subKey)) {
    int64_t child = Child(row, part);
    if (child < 0) {
      Statement s("INSERT INTO keys (parent, name, fold) VALUES (?, ?, ?)");
      s.Bind(1, row).Bind(2, Utf8FromWide(part)).Bind(3, Fold(part));
      if (s.Step() != SQLITE_DONE) return ERROR_BADDB;
      child = sqlite3_last_insert_rowid(g_db);
      created = true;
    }
    row = child;
  }
  if (!t.Commit()) return ERROR_BADDB;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(row);
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  uintptr_t k = (uintptr_t)key;
  if (k == (uintptr_t)HKEY_CLASSES_ROOT || k == (uintptr_t)HKEY_CURRENT_USER) return ERROR_SUCCESS;
  return g_handles.erase(k) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueEx(HKEY key, LPCWSTR name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  int64_t row;
  if (LSTATUS e = Ready(key, &row)) return e;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  Statement s("SELECT type, data FROM vals WHERE key = ? AND fold = ?");
  s.Bind(1, row).Bind(2, ValueName(name));
  if (s.Step() != SQLITE_ROW) return ERROR_FILE_NOT_FOUND;
  DWORD storedType = (DWORD)s.Int(0);
  std::vector<uint8_t> bytes = s.Blob(1);
  if (type) *type = storedType;
  if (!size) return ERROR_SUCCESS;
  DWORD capacity = *size;
  *size = (DWORD)bytes.size();
  if (!data) return ERROR_SUCCESS;
  if (bytes.size() > capacity) return ERROR_MORE_DATA;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueEx(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  int64_t row;
  if (LSTATUS e = Ready(key, &row)) return e;
  if (!data && size) return ERROR_INVALID_PARAMETER;
  if (type == REG_DWORD && size != 4) return ERROR_INVALID_PARAMETER;
  Transaction t;
  if (!t.ok()) return ERROR_BADDB;
  std::u16string n = name ? std::u16string(name) : std::u16string();
  Statement s("INSERT OR REPLACE INTO vals (key, name, fold, type, data) VALUES (?, ?, ?, ?, ?)");
  s.Bind(1, row).Bind(2, Utf8FromWide(n)).Bind(3, Fold(n)).Bind(4, (int64_t)type).BindBlob(5, data, (int)size);
  if (s.Step() != SQLITE_DONE) return ERROR_BADDB;
  return t.Commit() ? ERROR_SUCCESS : ERROR_BADDB;
}

LSTATUS RegDeleteValue(HKEY key, LPCWSTR name) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  int64_t row;
  if (LSTATUS e = Ready(key, &row)) return e;
  Transaction t;
  if (!t.ok()) return ERROR_BADDB;
  Statement s("DELETE FROM vals WHERE key = ? AND fold = ?");
  s.Bind(1, row).Bind(2, ValueName(name));
  if (s.Step() != SQLITE_DONE) return ERROR_BADDB;
  if (sqlite3_changes(g_db) == 0) return ERROR_FILE_NOT_FOUND;
  return t.Commit() ? ERROR_SUCCESS : ERROR_BADDB;
}

LSTATUS RegDeleteKey(HKEY key, LPCWSTR subKey) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  int64_t row;
  if (LSTATUS e = Ready(key, &row)) return e;
  std::vector<std::u16string> parts = Split(subKey);
  if (parts.empty()) return ERROR_INVALID_PARAMETER;  // a root or the key itself
  for (const auto& part : parts) {
    row = Child(row, part);
    if (row < 0) return ERROR_FILE_NOT_FOUND;
  }
  Transaction t;
  if (!t.ok()) return ERROR_BADDB;
  std::vector<int64_t> todo{row};
  while (!todo.empty()) {
    int64_t k = todo.back();
    todo.pop_back();
    Statement kids("SELECT id FROM keys WHERE parent = ?");
    kids.Bind(1, k);
    while (kids.Step() == SQLITE_ROW) todo.push_back(kids.Int(0));
    Statement dv("DELETE FROM vals WHERE key = ?");
    dv.Bind(1, k);
    Statement dk("DELETE FROM keys WHERE id = ?");
    dk.Bind(1, k);
    if (dv.Step() != SQLITE_DONE || dk.Step() != SQLITE_DONE) return ERROR_BADDB;
  }
  return t.Commit() ? ERROR_SUCCESS : ERROR_BADDB;
}

LSTATUS RegEnumKeyEx(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD*, LPWSTR, DWORD*,
                     FILETIME*) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  int64_t row;
  if (LSTATUS e = Ready(key, &row)) return e;
  if (!name || !nameLength) return ERROR_INVALID_PARAMETER;
  Statement s("SELECT name FROM keys WHERE parent = ? ORDER BY id LIMIT 1 OFFSET ?");
  s.Bind(1, row).Bind(2, (int64_t)index);
  if (s.Step() != SQLITE_ROW) return ERROR_NO_MORE_ITEMS;
  std::u16string n = WideFromUtf8(s.Text(0));
  if (n.size() + 1 > *nameLength) return ERROR_MORE_DATA;
  CopyWide(n, name, (int)*nameLength);
  *nameLength = (DWORD)n.size();
  return ERROR_SUCCESS;
}

LSTATUS RegEnumValue(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD*, DWORD* type,
                     BYTE* data, DWORD* size) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  int64_t row;
  if (LSTATUS e = Ready(key, &row)) return e;
  if (!name || !nameLength) return ERROR_INVALID_PARAMETER;
  Statement s("SELECT name, type, data FROM vals WHERE key = ? ORDER BY rowid LIMIT 1 OFFSET ?");
  s.Bind(1, row).Bind(2, (int64_t)index);
  if (s.Step() != SQLITE_ROW) return ERROR_NO_MORE_ITEMS;
  std::u16string n = WideFromUtf8(s.Text(0));
  if (n.size() + 1 > *nameLength) return ERROR_MORE_DATA;
  CopyWide(n, name, (int)*nameLength);
  *nameLength = (DWORD)n.size();
  if (type) *type = (DWORD)s.Int(1);
  std::vector<uint8_t> bytes = s.Blob(2);
  if (size) {
    DWORD capacity = *size;
    *size = (DWORD)bytes.size();
    if (data) {
      if (bytes.size() > capacity) return ERROR_MORE_DATA;
      if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    }
  }
  return ERROR_SUCCESS;
}
