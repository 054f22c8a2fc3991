#include "platform/fs/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

#include "platform/backend/device.h"
#include "platform/fs/path_map.h"
#include "platform/text/codepage.h"
#include "platform/text/wide.h"
#include "platform/thread/sync.h"

namespace platform {
namespace {

void SetErrorFromErrno(int e) {
  switch (e) {
    case ENOENT: SetLastError(ERROR_FILE_NOT_FOUND); break;
    case ENOTDIR: SetLastError(ERROR_PATH_NOT_FOUND); break;
    case EEXIST: SetLastError(ERROR_ALREADY_EXISTS); break;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENOTEMPTY: SetLastError(ERROR_ACCESS_DENIED); break;
    case ENOSPC: SetLastError(ERROR_WRITE_FAULT); break;
    default: SetLastError(ERROR_ACCESS_DENIED);
  }
}

std::string Host(LPCWSTR path) { return path ? HostPathFromDevice(path) : std::string(); }

struct Entry {
  std::string name;
  DWORD attributes = 0;
  FILETIME created{}, accessed{}, written{};
  uint64_t size = 0;
};

bool Describe(const std::string& hostPath, const std::string& name, Entry* e) {
  struct statx sx;
  if (statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  e->name = name;
  e->attributes = 0;
  if (S_ISDIR(sx.stx_mode)) e->attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (!name.empty() && name[0] == '.') e->attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (access(hostPath.c_str(), W_OK) != 0 && errno == EACCES) e->attributes |= FILE_ATTRIBUTE_READONLY;
  if (!(e->attributes & FILE_ATTRIBUTE_DIRECTORY)) e->attributes |= FILE_ATTRIBUTE_ARCHIVE;
  e->written = FileTimeFromUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  e->accessed = FileTimeFromUnix(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  e->created = (sx.stx_mask & STATX_BTIME) ? FileTimeFromUnix(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec)
                                           : e->written;
  e->size = S_ISDIR(sx.stx_mode) ? 0 : sx.stx_size;
  return true;
}

// Wildcards: '*' any run, '?' one character; letters match ignoring case.
// "*.*" matches every name, with or without a dot.
bool Match(const std::u16string& pattern, const std::u16string& name) {
  if (pattern == u"*.*" || pattern == u"*") return true;
  size_t p = 0, n = 0, star = std::u16string::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      mark = n;
    } else if (star != std::u16string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  // "name.*" also matches "name" without an extension.
  if (p + 2 == pattern.size() && pattern[p] == u'.' && pattern[p + 1] == u'*') return true;
  return p == pattern.size();
}

struct FindObject : KernelObject {
  std::vector<Entry> entries;
  size_t next = 0;
};

void Fill(const Entry& e, WIN32_FIND_DATA* d) {
  std::memset(d, 0, sizeof *d);
  d->dwFileAttributes = e.attributes;
  d->ftCreationTime = e.created;
  d->ftLastAccessTime = e.accessed;
  d->ftLastWriteTime = e.written;
  d->nFileSizeHigh = (DWORD)(e.size >> 32);
  d->nFileSizeLow = (DWORD)e.size;
  CopyWide(WideFromUtf8(e.name), d->cFileName, MAX_PATH);
}

struct FileObject : KernelObject {
  int fd = -1;
  ~FileObject() override {
    if (fd >= 0) close(fd);
  }
};

FileObject* FileOf(HANDLE h) { return dynamic_cast<FileObject*>(FindKernelObject(h)); }

bool Exists(const std::string& hostPath) {
  struct stat st;
  return lstat(hostPath.c_str(), &st) == 0;
}

std::string Folder(const std::string& hostPath) {
  size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : hostPath.substr(0, slash);
}

// Copies the bytes of an open file into a new temporary file beside
// `target`, synced to disk; returns its path or "" on failure.
std::string CopyToTemporary(int in, const std::string& target, mode_t mode) {
  std::string temp = Folder(target) + "/.quivra-copy-XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back(0);
  int out = mkstemp(name.data());
  if (out < 0) return "";
  temp = name.data();
  std::vector<char> buffer(1 << 16);
  bool ok = true;
  for (;;) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer.data() + done, (size_t)(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  if (ok) ok = fchmod(out, mode & 07777) == 0 || true;
  if (ok) ok = fsync(out) == 0;
  int savedErrno = errno;
  if (close(out) != 0) ok = false;
  if (!ok) {
    unlink(temp.c_str());
    errno = savedErrno ? savedErrno : EIO;
    return "";
  }
  return temp;
}

}  // namespace

FILETIME FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  int64_t t = (seconds + 11644473600LL) * 10000000LL + nanoseconds / 100;
  if (t < 0) t = 0;
  return FILETIME{(DWORD)(uint64_t)t, (DWORD)((uint64_t)t >> 32)};
}

std::string HostPicturesFolder() {
  const char* home = std::getenv("HOME");
  std::string homeDir = home && *home ? home : "/";
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string config = xdg && *xdg ? xdg : homeDir + "/.config";
  std::ifstream dirs(config + "/user-dirs.dirs");
  std::string line;
  while (std::getline(dirs, line)) {
    if (line.rfind("XDG_PICTURES_DIR=", 0) != 0) continue;
    std::string v = line.substr(17);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.rfind("$HOME", 0) == 0) v = homeDir + v.substr(5);
    if (!v.empty() && v[0] == '/') {
      while (v.size() > 1 && v.back() == '/') v.pop_back();
      return v;
    }
  }
  return (homeDir == "/" ? "" : homeDir) + "/Pictures";
}

}  // namespace platform

using namespace platform;

HANDLE FindFirstFile(LPCWSTR pattern, WIN32_FIND_DATA* data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string p = pattern;
  size_t cut = p.find_last_of(u"\\/");
  std::u16string namePattern = cut == std::u16string::npos ? p : p.substr(cut + 1);
  std::u16string folder = cut == std::u16string::npos ? u"." : p.substr(0, cut + 1);
  if (folder == u"\\" || folder == u"/") folder = p.substr(0, cut + 1);
  std::string hostFolder = HostPathFromDevice(folder);
  if (hostFolder.empty()) hostFolder = "/";
  auto find = std::make_unique<FindObject>();
  bool wild = namePattern.find_first_of(u"*?") != std::u16string::npos;
  if (!wild) {
    Entry e;
    std::string host = HostPathFromDevice(p);
    if (namePattern.empty() || !Describe(host, Utf8FromWide(namePattern), &e)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    find->entries.push_back(e);
  } else {
    DIR* dir = opendir(hostFolder.c_str());
    if (!dir) {
      SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> names;
    while (dirent* d = readdir(dir)) {
      std::string n = d->d_name;
      if (n == "." || n == "..") continue;
      if (Match(namePattern, WideFromUtf8(n))) names.push_back(n);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    std::string base = hostFolder.back() == '/' ? hostFolder : hostFolder + "/";
    for (const std::string& n : names) {
      Entry e;
      if (Describe(base + n, n, &e)) find->entries.push_back(e);
    }
  }
  if (find->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  Fill(find->entries[0], data);
  find->next = 1;
  return AddKernelObject(find.release());
}

BOOL FindNextFile(HANDLE h, WIN32_FIND_DATA* data) {
  FindObject* f = dynamic_cast<FindObject*>(FindKernelObject(h));
  if (!f || !data) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (f->next >= f->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  Fill(f->entries[f->next++], data);
  return TRUE;
}

BOOL FindClose(HANDLE h) {
  if (!dynamic_cast<FindObject*>(FindKernelObject(h))) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(h);
}

DWORD GetFileAttributes(LPCWSTR path) {
  if (!path) return INVALID_FILE_ATTRIBUTES;
  std::u16string p = path;
  while (p.size() > 1 && (p.back() == u'\\' || p.back() == u'/')) p.pop_back();
  std::string host = HostPathFromDevice(p);
  size_t slash = host.find_last_of('/');
  Entry e;
  if (!Describe(host, slash == std::string::npos ? host : host.substr(slash + 1), &e)) {
    SetErrorFromErrno(errno);
    return INVALID_FILE_ATTRIBUTES;
  }
  return e.attributes;
}

BOOL CopyFile(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  std::string src = Host(from), dst = Host(to);
  int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    SetErrorFromErrno(errno);
    return FALSE;
  }
  struct stat st;
  if (fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(in);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (failIfExists && Exists(dst)) {
    close(in);
    SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }
  std::string temp = CopyToTemporary(in, dst, st.st_mode);
  close(in);
  if (temp.empty()) {
    SetErrorFromErrno(errno);
    return FALSE;
  }
  // The finished copy takes the target's name: with failIfExists by a link
  // that cannot replace anything, otherwise by an atomic rename.
  if (failIfExists) {
    if (link(temp.c_str(), dst.c_str()) != 0) {
      int e = errno;
      unlink(temp.c_str());
      if (e == EEXIST) SetLastError(ERROR_FILE_EXISTS);
      else SetErrorFromErrno(e);
      return FALSE;
    }
    unlink(temp.c_str());
  } else if (rename(temp.c_str(), dst.c_str()) != 0) {
    int e = errno;
    unlink(temp.c_str());
    SetErrorFromErrno(e);
    return FALSE;
  }
  return TRUE;
}

BOOL MoveFile(LPCWSTR from, LPCWSTR to) {
  std::string src = Host(from), dst = Host(to);
  struct stat st;
  if (lstat(src.c_str(), &st) != 0) {
    SetErrorFromErrno(errno);
    return FALSE;
  }
  if (renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return TRUE;
  int e = errno;
  if (e == EEXIST) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (e == EINVAL || e == ENOSYS) {
    // A file system without the no-replace rename: a hard link cannot
    // replace anything either.
    if (!S_ISDIR(st.st_mode) && link(src.c_str(), dst.c_str()) == 0) {
      unlink(src.c_str());
      return TRUE;
    }
    if (errno == EEXIST) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    e = errno;
  }
  if (e != EXDEV) {
    SetErrorFromErrno(e);
    return FALSE;
  }
  // Across file systems: files only, copied whole beside the target, then
  // linked under the target's name, then the source goes.
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (Exists(dst)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    SetErrorFromErrno(errno);
    return FALSE;
  }
  std::string temp = CopyToTemporary(in, dst, st.st_mode);
  close(in);
  if (temp.empty()) {
    SetErrorFromErrno(errno);
    return FALSE;
  }
  if (link(temp.c_str(), dst.c_str()) != 0) {
    int le = errno;
    unlink(temp.c_str());
    if (le == EEXIST) SetLastError(ERROR_ALREADY_EXISTS);
    else SetErrorFromErrno(le);
    return FALSE;
  }
  unlink(temp.c_str());
  if (unlink(src.c_str()) != 0) {
    // The source cannot go: undo, so that the file is in one place.
    int ue = errno;
    unlink(dst.c_str());
    SetErrorFromErrno(ue);
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFile(LPCWSTR path) {
  std::string host = Host(path);
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) {
    SetErrorFromErrno(errno);
    return FALSE;
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (unlink(host.c_str()) != 0) {
    SetErrorFromErrno(errno);
    return FALSE;
  }
  return TRUE;
}

BOOL CreateDirectory(LPCWSTR path, void*) {
  if (mkdir(Host(path).c_str(), 0777) != 0) {
    SetErrorFromErrno(errno);
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectory(LPCWSTR path) {
  if (rmdir(Host(path).c_str()) != 0) {
    SetErrorFromErrno(errno);
    return FALSE;
  }
  return TRUE;
}

HANDLE CreateFile(LPCWSTR path, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
  int flags = O_CLOEXEC;
  if ((access & GENERIC_READ) && (access & GENERIC_WRITE)) flags |= O_RDWR;
  else if (access & GENERIC_WRITE) flags |= O_WRONLY;
  else flags |= O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  std::string host = Host(path);
  int fd = open(host.c_str(), flags, 0666);
  if (fd < 0) {
    if (errno == EEXIST) SetLastError(ERROR_FILE_EXISTS);
    else SetErrorFromErrno(errno);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto f = new FileObject;
  f->fd = fd;
  return AddKernelObject(f);
}

DWORD GetFileSize(HANDLE file, DWORD* high) {
  FileObject* f = FileOf(file);
  struct stat st;
  if (!f || fstat(f->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  uint64_t size = (uint64_t)st.st_size;
  if (high) *high = (DWORD)(size >> 32);
  SetLastError(NO_ERROR);
  return (DWORD)size;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* readCount, void*) {
  FileObject* f = FileOf(file);
  if (readCount) *readCount = 0;
  if (!f || (!buffer && toRead)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD total = 0;
  while (total < toRead) {
    ssize_t n = read(f->fd, (char*)buffer + total, toRead - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetErrorFromErrno(errno);
      if (readCount) *readCount = total;
      return FALSE;
    }
    if (n == 0) break;
    total += (DWORD)n;
  }
  if (readCount) *readCount = total;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, void*) {
  FileObject* f = FileOf(file);
  if (written) *written = 0;
  if (!f || (!buffer && toWrite)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD total = 0;
  while (total < toWrite) {
    ssize_t n = write(f->fd, (const char*)buffer + total, toWrite - total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetErrorFromErrno(errno);
      if (written) *written = total;
      return FALSE;
    }
    total += (DWORD)n;
  }
  if (written) *written = total;
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) {
  FileObject* f = FileOf(file);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t offset = high ? (int64_t)(((uint64_t)(uint32_t)*high << 32) | (uint32_t)distance) : distance;
  int whence = method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : SEEK_SET;
  off_t r = lseek(f->fd, (off_t)offset, whence);
  if (r < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (high) *high = (LONG)((uint64_t)r >> 32);
  return (DWORD)(uint64_t)r;
}

FILE* _wfopen(LPCWSTR path, LPCWSTR mode) {
  if (!path || !mode) return nullptr;
  std::string m;
  for (const WCHAR* p = mode; *p; ++p) {
    if (*p > 0x7F) return nullptr;
    m += (char)*p;
  }
  return std::fopen(Host(path).c_str(), m.c_str());
}

DWORD GetModuleFileName(HMODULE, LPWSTR buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  std::string exe = DeviceRunning() ? CurrentOptions().programPath : std::string();
  if (exe.empty()) {
    char link[4096];
    ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
    if (n <= 0) return 0;
    exe.assign(link, (size_t)n);
  }
  std::u16string device = DevicePathFromHost(exe);
  size_t copied = CopyWide(device, buffer, (int)size);
  if (copied < device.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return (DWORD)copied;
}

DWORD GetTempPath(DWORD size, LPWSTR buffer) {
  std::u16string device = DevicePathFromHost(HostTempFolder());
  for (auto& c : device)
    if (c == u'/') c = u'\\';
  if (device.empty() || device.back() != u'\\') device += u'\\';
  if (!buffer || size <= device.size()) return (DWORD)device.size() + 1;
  CopyWide(device, buffer, (int)size);
  return (DWORD)device.size();
}

UINT GetTempFileName(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR out) {
  if (!path || !out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string base = path;
  if (!base.empty() && base.back() != u'\\' && base.back() != u'/') base += u'\\';
  std::u16string pre = prefix ? std::u16string(prefix).substr(0, 3) : std::u16string();
  auto nameFor = [&](UINT n) {
    WCHAR hex[16];
    wsprintf(hex, u"%X", n & 0xFFFF);
    return base + pre + hex + u".tmp";
  };
  if (unique) {
    std::u16string name = nameFor(unique);
    CopyWide(name, out, MAX_PATH);
    return unique & 0xFFFF;
  }
  static std::mt19937 random{std::random_device{}()};
  UINT start = (UINT)(random() & 0xFFFF);
  for (UINT i = 0; i < 0x10000; ++i) {
    UINT n = ((start + i) & 0xFFFF) ? (start + i) & 0xFFFF : 1;
    std::u16string name = nameFor(n);
    int fd = open(HostPathFromDevice(name).c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
      close(fd);
      CopyWide(name, out, MAX_PATH);
      return n;
    }
    if (errno != EEXIST) {
      SetErrorFromErrno(errno);
      return 0;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

BOOL SHGetSpecialFolderPath(HWND, LPWSTR path, int folder, BOOL create) {
  if (!path || folder != CSIDL_MYPICTURES) return FALSE;
  std::string host = HostPicturesFolder();
  if (create) mkdir(host.c_str(), 0777);
  std::u16string device = DevicePathFromHost(host);
  while (device.size() > 1 && (device.back() == u'\\' || device.back() == u'/')) device.pop_back();
  CopyWide(device, path, MAX_PATH);
  return TRUE;
}
