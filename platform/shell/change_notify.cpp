// Shell file-change notifications over inotify. One inotify instance and one
// reader thread serve every registration; the reader pairs the two halves
// of a rename, turns each change into a FILECHANGENOTIFY record and posts it
// to the registered windows through the UI thread's message queue.
#include "platform/shell/change_notify.h"

#include <errno.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/files.h"
#include "platform/fs/path_map.h"
#include "platform/text/codepage.h"
#include "platform/window/window.h"

namespace platform::shell {
namespace {

constexpr uint32_t kWatchMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR | IN_EXCL_UNLINK;

// How long the reader waits for the second half of a rename before it
// takes the first half for a file that left the folder.
constexpr int kRenamePairingMs = 20;

struct Registration {
  HWND hwnd;
  DWORD mask;
  std::string hostFolder;  // no trailing '/'
  int wd;                  // -1 once the folder itself is gone
};

// A record handed out with the message, with the paths it points to.
struct OwnedRecord {
  FILECHANGENOTIFY record{};
  std::u16string first;
  std::u16string second;
};

struct Notifier {
  std::mutex mutex;
  int fd = -1;
  std::vector<Registration> registrations;
  std::map<FILECHANGENOTIFY*, std::unique_ptr<OwnedRecord>> outstanding;
};

// Lives for the whole process: the reader thread may still use it while
// the program exits.
Notifier& State() {
  static Notifier* n = new Notifier;
  return *n;
}

// One side of a change as inotify reported it.
struct Side {
  int wd = -1;
  std::string name;
};

enum class Change { kCreated, kDeleted, kRenamed };

std::string StripTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// Removes the registration at `index` and the folder's watch when no other
// registration shares it. Caller holds the mutex.
void DropRegistration(Notifier& n, size_t index) {
  int wd = n.registrations[index].wd;
  n.registrations.erase(n.registrations.begin() + (std::ptrdiff_t)index);
  if (wd < 0) return;
  for (auto& r : n.registrations)
    if (r.wd == wd) return;
  inotify_rm_watch(n.fd, wd);
}

void DescribeFile(const std::string& hostPath, const std::string& name, FILECHANGEINFO* fci) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0) return;
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  else attributes |= FILE_ATTRIBUTE_ARCHIVE;
  if (!name.empty() && name[0] == '.') attributes |= FILE_ATTRIBUTE_HIDDEN;
  fci->dwAttributes = attributes;
  fci->ftModified = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  fci->nFileSize = S_ISDIR(st.st_mode) ? 0 : (ULONG)((uint64_t)st.st_size & 0xFFFFFFFFu);
}

// Posts one record to `r`'s window; false when the window is gone (the
// record is released). Caller holds the mutex.
bool PostChange(Notifier& n, const Registration& r, LONG eventId, const std::string& firstName,
                const std::string* secondName) {
  auto owned = std::make_unique<OwnedRecord>();
  std::string firstHost = r.hostFolder + "/" + firstName;
  owned->first = DevicePathFromHost(firstHost);
  FILECHANGEINFO& fci = owned->record.fci;
  fci.cbSize = sizeof(FILECHANGEINFO);
  fci.wEventId = eventId;
  fci.uFlags = SHCNF_PATH;
  fci.dwItem1 = (DWORD_PTR)owned->first.c_str();
  if (secondName) {
    std::string secondHost = r.hostFolder + "/" + *secondName;
    owned->second = DevicePathFromHost(secondHost);
    fci.dwItem2 = (DWORD_PTR)owned->second.c_str();
    DescribeFile(secondHost, *secondName, &fci);
  } else if (eventId != SHCNE_DELETE && eventId != SHCNE_RMDIR) {
    DescribeFile(firstHost, firstName, &fci);
  }
  owned->record.dwRefCount = 1;
  FILECHANGENOTIFY* record = &owned->record;
  n.outstanding.emplace(record, std::move(owned));
  if (PostMessage(r.hwnd, WM_FILECHANGEINFO, 0, (LPARAM)record)) return true;
  n.outstanding.erase(record);
  return false;
}

// Hands one change to every registration it concerns. For a rename, a
// registration that sees only one side gets a deletion (the file left its
// folder) or a creation (the file arrived).
void Deliver(Change change, bool isDir, const Side& from, const Side& to) {
  Notifier& n = State();
  std::lock_guard<std::mutex> lock(n.mutex);
  for (size_t i = 0; i < n.registrations.size();) {
    const Registration& r = n.registrations[i];
    LONG eventId = 0;
    const std::string* first = nullptr;
    const std::string* second = nullptr;
    bool seesFrom = r.wd >= 0 && r.wd == from.wd;
    bool seesTo = r.wd >= 0 && r.wd == to.wd;
    if (change == Change::kCreated && seesTo) {
      eventId = isDir ? SHCNE_MKDIR : SHCNE_CREATE;
      first = &to.name;
    } else if (change == Change::kDeleted && seesFrom) {
      eventId = isDir ? SHCNE_RMDIR : SHCNE_DELETE;
      first = &from.name;
    } else if (change == Change::kRenamed) {
      if (seesFrom && seesTo) {
        eventId = isDir ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM;
        first = &from.name;
        second = &to.name;
      } else if (seesFrom) {
        eventId = isDir ? SHCNE_RMDIR : SHCNE_DELETE;
        first = &from.name;
      } else if (seesTo) {
        eventId = isDir ? SHCNE_MKDIR : SHCNE_CREATE;
        first = &to.name;
      }
    }
    if (!eventId || !(r.mask & (DWORD)eventId)) {
      ++i;
      continue;
    }
    if (PostChange(n, r, eventId, *first, second)) ++i;
    else DropRegistration(n, i);  // the window is gone
  }
}

void ForgetWatch(int wd) {
  Notifier& n = State();
  std::lock_guard<std::mutex> lock(n.mutex);
  for (auto& r : n.registrations)
    if (r.wd == wd) r.wd = -1;
}

struct PendingMove {
  Side from;
  uint32_t cookie;
  bool isDir;
};

void FlushMoves(std::vector<PendingMove>* pending) {
  for (auto& p : *pending) Deliver(Change::kRenamed, p.isDir, p.from, Side{});
  pending->clear();
}

void ReaderLoop(int fd) {
  alignas(struct inotify_event) char buffer[32 * 1024];
  std::vector<PendingMove> pending;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, pending.empty() ? -1 : kRenamePairingMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (ready == 0) {
      FlushMoves(&pending);
      continue;
    }
    ssize_t length = read(fd, buffer, sizeof(buffer));
    if (length < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return;
    }
    // Halves of renames left over from the previous read had their chance.
    std::vector<PendingMove> older = std::move(pending);
    pending.clear();
    bool lastWasMoveFrom = false;
    size_t offset = 0;
    while (offset + sizeof(struct inotify_event) <= (size_t)length) {
      struct inotify_event ev;
      std::memcpy(&ev, buffer + offset, sizeof(ev));
      size_t next = offset + sizeof(struct inotify_event) + ev.len;
      if (next > (size_t)length) break;
      std::string name;
      if (ev.len) {
        const char* start = buffer + offset + sizeof(struct inotify_event);
        name.assign(start, strnlen(start, ev.len));
      }
      offset = next;
      lastWasMoveFrom = false;
      bool isDir = (ev.mask & IN_ISDIR) != 0;
      if (ev.mask & IN_IGNORED) {
        ForgetWatch(ev.wd);
      } else if (ev.mask & IN_MOVED_FROM) {
        pending.push_back(PendingMove{Side{ev.wd, name}, ev.cookie, isDir});
        lastWasMoveFrom = true;
      } else if (ev.mask & IN_MOVED_TO) {
        Side to{ev.wd, name};
        bool paired = false;
        for (auto* list : {&pending, &older}) {
          for (auto it = list->begin(); it != list->end(); ++it) {
            if (it->cookie != ev.cookie) continue;
            Deliver(Change::kRenamed, isDir, it->from, to);
            list->erase(it);
            paired = true;
            break;
          }
          if (paired) break;
        }
        if (!paired) Deliver(Change::kRenamed, isDir, Side{}, to);
      } else if (ev.mask & IN_CREATE) {
        Deliver(Change::kCreated, isDir, Side{}, Side{ev.wd, name});
      } else if (ev.mask & IN_DELETE) {
        Deliver(Change::kDeleted, isDir, Side{ev.wd, name}, Side{});
      }
    }
    FlushMoves(&older);
    // Only a rename whose first half ends this read may still see its
    // second half in the next one.
    if (!lastWasMoveFrom) FlushMoves(&pending);
  }
}

}  // namespace
}  // namespace platform::shell

using namespace platform;
using namespace platform::shell;

BOOL SHChangeNotifyRegister(HWND hwnd, const SHCHANGENOTIFYENTRY* entry) {
  if (!hwnd || !entry || !entry->pszWatchDir || !*entry->pszWatchDir || !IsWindow(hwnd))
    return FALSE;
  std::string folder = StripTrailingSlashes(HostPathFromDevice(entry->pszWatchDir));
  Notifier& n = State();
  std::lock_guard<std::mutex> lock(n.mutex);
  if (n.fd < 0) {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return FALSE;
    n.fd = fd;
    std::thread(ReaderLoop, fd).detach();
  }
  for (size_t i = 0; i < n.registrations.size(); ++i)
    if (n.registrations[i].hwnd == hwnd) {
      DropRegistration(n, i);
      break;
    }
  int wd = inotify_add_watch(n.fd, folder.c_str(), kWatchMask);
  if (wd < 0) return FALSE;
  n.registrations.push_back(Registration{hwnd, entry->dwEventMask, folder, wd});
  return TRUE;
}

BOOL SHChangeNotifyDeregister(HWND hwnd) {
  Notifier& n = State();
  std::lock_guard<std::mutex> lock(n.mutex);
  for (size_t i = 0; i < n.registrations.size(); ++i)
    if (n.registrations[i].hwnd == hwnd) {
      DropRegistration(n, i);
      return TRUE;
    }
  return FALSE;
}

void SHChangeNotifyFree(FILECHANGENOTIFY* notify) {
  if (!notify) return;
  Notifier& n = State();
  std::lock_guard<std::mutex> lock(n.mutex);
  n.outstanding.erase(notify);
}
