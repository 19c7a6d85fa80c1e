// FindFirstFile/FindNextFile over getdents64. Each entry costs one statx (times,
// size, type without following links) relative to the open directory, a second
// one only for links, and one user.DOSATTRIB read while the file system keeps
// extended attributes. "." reuses the status taken of the directory at the start.
// Large directories are read ahead (below); the caller's last entry is kept for
// the calls that follow at once (recent_entry.cpp).
#include "fs_common.h"

#include "error_mapping.h"
#include "paths.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>

namespace winapi {
namespace {

// Two cache lines: the read-ahead worker fills entries that the caller reads on
// the other processor.
struct alignas(64) Entry {
  std::string name;
  DWORD attributes = 0;
  DWORD tag = 0;
  FILETIME created{}, accessed{}, written{};
  uint64_t size = 0;
  EntryState state;
  bool dos_attribute_absent = false;
  int64_t seen_ns = 0;
};
static_assert(sizeof(Entry) <= 128);

// A large directory is read ahead on another processor: a worker lists and
// describes its entries while the caller acts on those it has already got, the
// way Windows hands out a directory's entries a buffer at a time. Until the
// worker gets to the directory the caller goes on reading it itself, so it does
// not wait for the worker to wake. The ring passes entries from the worker to
// the caller without a lock; the worker's mutex guards the hand-over of the
// directory stream, the queue of directories to read, and sleeping.
constexpr int read_ahead_after = 2;  // entries handed out before the worker is asked in
constexpr uint32_t ring_size = 64;

// The counts each side moves at every entry lie in cache lines of their own, and
// the flags, which change a few times per directory, in a third: a line written
// on one processor moves to the other when that one reads it next.
constexpr std::size_t cache_line = 64;

struct ReadAhead {
  Entry ring[ring_size];
  // The worker's.
  alignas(cache_line) std::atomic<uint32_t> written{0};  // slots filled so far
  uint32_t taken_seen = 0;  // `taken` as last read: the ring has room up to it
  std::string path;  // scratch for the entries' host paths
  // The directory opened again for the worker's lookups: each lookup takes a
  // reference to its descriptor's open file, which the caller's removals take too.
  int lookup_fd = -1;
  // The caller's.
  alignas(cache_line) std::atomic<uint32_t> taken{0};  // slots emptied so far
  uint32_t written_seen = 0;  // `written` as last read: slots ready up to it
  alignas(cache_line) std::atomic<bool> finished{false};  // the directory's end has been read
  std::atomic<bool> started{false};  // the directory stream is the worker's from now on
  std::atomic<bool> queued{false};  // waiting for the worker
  std::atomic<bool> worker_inside{false};  // FindClose waits while it is
  std::atomic<bool> caller_waiting{false};
  std::atomic<bool> caller_reading{false};  // before the start, the caller may be inside the stream

  void restart() {
    written = 0;
    taken = 0;
    finished = false;
    started = false;
    queued = false;
    worker_inside = false;
    caller_waiting = false;
    caller_reading = false;
    taken_seen = 0;
    written_seen = 0;
  }
};

// The ring of a closed search serves the next one: it is some fifteen kilobytes,
// and a walk closes a directory just before it reads the next.
thread_local std::unique_ptr<ReadAhead> spare_read_ahead;

// The names of an open directory, read with getdents64 into a buffer of its own:
// opendir would first ask for the directory's status, which the search takes
// anyway, with its birth time.
//
// Each batch is read on while the buffer has room, so a directory that fits is
// read to its end at once. A read after the caller began to remove the entries
// handed out would wait for the directory's lock behind each removal, and each
// removal behind the read.
class DirectoryReader {
 public:
  explicit DirectoryReader(int fd) : fd_(fd) {}
  DirectoryReader(const DirectoryReader&) = delete;
  DirectoryReader& operator=(const DirectoryReader&) = delete;
  ~DirectoryReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  // The directory stays open for its new owner.
  void release() { fd_ = -1; }
  // The next name; null at the end with errno 0, or on a failure with errno set.
  const char* next() {
    if (next_ >= end_ && !refill()) return nullptr;
    auto* d = reinterpret_cast<struct dirent64*>(buffer_ + next_);
    next_ += d->d_reclen;
    return d->d_name;
  }

 private:
  // Room for any entry (a name of 255 bytes and the record around it), and
  // enough that another read is worth its call.
  static constexpr size_t room_to_read_on = 4096;

  // A failure after names already read waits until those are handed out.
  bool refill() {
    next_ = end_ = 0;
    while (!at_end_ && error_ == 0 && (end_ == 0 || sizeof buffer_ - end_ >= room_to_read_on)) {
      ssize_t read = ::getdents64(fd_, buffer_ + end_, sizeof buffer_ - end_);
      if (read < 0)
        error_ = errno;
      else if (read == 0)
        at_end_ = true;
      else
        end_ += static_cast<size_t>(read);
    }
    if (end_ > 0) return true;
    errno = error_;
    return false;
  }

  int fd_;
  size_t next_ = 0, end_ = 0;
  bool at_end_ = false;
  int error_ = 0;
  alignas(struct dirent64) char buffer_[32768];
};

struct Search {
  std::string directory;  // host path, ends in '/'
  std::string mask;
  std::string path;  // directory + the entry's name; kept to spare an allocation per entry
  std::string caller_directory;  // the directory as the caller named it, when that names it safely
  bool keyed = false;
  struct statx own{};  // of the directory, for "."
  std::unique_ptr<DirectoryReader> names;  // of a listing
  int fd = -1;  // the listing's directory, read once: the worker may be inside `names`
  int dots_left = 0;  // "." and ".." still to offer
  bool xattrs = true;
  int handed_out = 0;
  int read_error = 0;  // of a reading that failed part-way: the listing ends there with it
  std::string peeked;  // a name read but not yet described
  std::unique_ptr<ReadAhead> ahead;
};

std::mutex search_mutex;
std::set<Search*> searches;  // guarded by search_mutex

bool has_wildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

bool only_wildcards(const char* p) {
  for (; *p; ++p)
    if (*p != '*' && *p != '?') return false;
  return true;
}

// Windows' rules as Wine keeps them: '?' is one character, and ".*" after a name
// without extension matches its end ("*.*" matches all, "ab.*" matches "ab").
bool matches(const char* p, const char* n) {
  while (*p) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      for (const char* s = n;; ++s) {
        if (matches(p, s)) return true;
        if (!*s) return false;
      }
    }
    if (*p == '?') {
      if (!*n) return false;
      ++p, ++n;
      continue;
    }
    if (*p == '.' && !*n) return only_wildcards(p + 1);
    if (*p != *n) return false;
    ++p, ++n;
  }
  return !*n;
}

// Most listings ask for "*.*" or "*", which take every name.
bool mask_takes(const std::string& mask, const char* name) {
  return mask == "*.*" || mask == "*" || matches(mask.c_str(), name);
}

void describe(const struct statx& x, const EntryName& where, bool target_directory, const char* name, Entry* entry,
              bool* xattrs) {
  EntryState& state = entry->state;
  state.device = makedev(x.stx_dev_major, x.stx_dev_minor);
  state.inode = x.stx_ino;
  state.mode = x.stx_mode;
  state.changed = timespec{x.stx_ctime.tv_sec, x.stx_ctime.tv_nsec};
  struct stat st {};  // what attributes_of reads
  st.st_mode = state.mode;
  st.st_ctim = state.changed;
  bool link = S_ISLNK(x.stx_mode);
  entry->name = name;
  entry->attributes = attributes_of(where, st, target_directory, xattrs, &entry->dos_attribute_absent);
  entry->tag = !link ? 0 : target_directory ? IO_REPARSE_TAG_MOUNT_POINT : IO_REPARSE_TAG_SYMLINK;
  auto time = [](const statx_timestamp& t) { return file_time(timespec{t.tv_sec, t.tv_nsec}); };
  entry->written = time(x.stx_mtime);
  entry->accessed = time(x.stx_atime);
  entry->created = time((x.stx_mask & STATX_BTIME) ? x.stx_btime : x.stx_ctime);
  entry->size = S_ISREG(x.stx_mode) ? x.stx_size : 0;
}

constexpr unsigned status_mask = STATX_BASIC_STATS | STATX_BTIME;

// The entry at `relative` from the directory `at` (AT_FDCWD for a host path),
// which is `host` as a whole.
bool describe(int at, const char* relative, const char* host, const char* name, Entry* entry, bool* xattrs) {
  struct statx x;
  if (::statx(at, relative, AT_SYMLINK_NOFOLLOW, status_mask, &x) != 0) return false;
  bool target_directory = false;
  if (S_ISLNK(x.stx_mode)) {
    struct stat target;
    target_directory = ::fstatat(at, relative, &target, 0) == 0 && S_ISDIR(target.st_mode);
  }
  describe(x, EntryName{at, relative, host}, target_directory, name, entry, xattrs);
  return true;
}

// The entry a listing handed out a moment ago, from the listing's directory.
// What the listing saw of its DOS attribute still holds while its ctime is the same.
bool describe_seen(const RecentEntry& seen, const char* host, const char* name, Entry* entry, bool* xattrs) {
  const char* relative = seen.path.c_str() + seen.name_offset;
  if (S_ISLNK(seen.mode)) return describe(seen.directory_fd, relative, host, name, entry, xattrs);
  struct statx x;
  if (::statx(seen.directory_fd, relative, AT_SYMLINK_NOFOLLOW, status_mask, &x) != 0) return false;
  bool same = !S_ISLNK(x.stx_mode) && makedev(x.stx_dev_major, x.stx_dev_minor) == seen.device &&
              x.stx_ino == seen.inode && x.stx_ctime.tv_sec == seen.changed.tv_sec &&
              x.stx_ctime.tv_nsec == static_cast<uint32_t>(seen.changed.tv_nsec);
  if (!same) return describe(seen.directory_fd, relative, host, name, entry, xattrs);
  bool ask = *xattrs && !seen.dos_attribute_absent;
  describe(x, EntryName{seen.directory_fd, relative, host}, false, name, entry, &ask);
  return true;
}

// The next name of the open directory that the mask takes, or null at its end.
const char* next_name(Search* search) {
  while (true) {
    const char* name = search->names->next();
    if (!name) {
      search->read_error = errno;
      return nullptr;
    }
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (mask_takes(search->mask, name)) return name;
  }
}

// The next entry of the open directory that the mask takes, into `entry`;
// `path` is scratch space for its host path. False at the end of the directory.
bool read_entry(Search* search, int at, std::string& path, Entry* entry) {
  while (true) {
    // Only a name peeked at is taken out: the search's own fields stay unwritten
    // while the caller reads them on the other processor.
    std::string peeked;
    if (!search->peeked.empty()) peeked.swap(search->peeked);
    const char* name = !peeked.empty() ? peeked.c_str() : next_name(search);
    if (!name) return false;
    path.assign(search->directory).append(name);
    // Gone between readdir and statx: the listing goes on without it.
    if (!describe(at, name, path.c_str(), name, entry, &search->xattrs)) continue;
    entry->seen_ns = monotonic_ns();
    return true;
  }
}

struct Worker {
  std::mutex mutex;
  std::condition_variable wake;  // the worker: a directory to read
  std::condition_variable progress;  // callers: entries read, or the worker left a directory
  std::deque<Search*> pending;
  std::atomic<bool> work_waiting{false};  // pending is not empty
};

// A hand-over between the two threads takes microseconds; sleeping and being
// woken takes far longer on a busy or virtual machine. So each side first waits
// awake for a while: the worker for the next directory of a walk, the caller
// for the entry the worker is describing.
constexpr int64_t worker_lingers_ns = 500'000;
constexpr int64_t caller_lingers_ns = 50'000;

// Without a system call: on a virtual machine sched_yield can itself take tens
// of microseconds.
inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

template <typename Ready>
bool wait_awake(Ready ready, int64_t ns) {
  int64_t until = monotonic_ns() + ns;
  while (!ready()) {
    for (int i = 0; i < 64; ++i) cpu_relax();
    if (monotonic_ns() >= until) return false;
  }
  return true;
}

void fill_ring(Worker& shared, std::unique_lock<std::mutex>& lock, Search* search) {
  ReadAhead& ahead = *search->ahead;
  ahead.worker_inside = true;
  if (ahead.caller_reading) {
    lock.unlock();
    wait_awake([&ahead] { return !ahead.caller_reading; }, caller_lingers_ns);
    lock.lock();
  }
  shared.progress.wait(lock, [&ahead] { return !ahead.caller_reading; });
  ahead.started = true;
  lock.unlock();
  if (ahead.lookup_fd < 0) ahead.lookup_fd = ::openat(search->fd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  const int at = ahead.lookup_fd >= 0 ? ahead.lookup_fd : search->fd;
  while (!ahead.finished) {
    uint32_t slot = ahead.written.load(std::memory_order_relaxed);
    if (slot - ahead.taken_seen == ring_size) {
      ahead.taken_seen = ahead.taken.load(std::memory_order_acquire);
      if (slot - ahead.taken_seen == ring_size) break;
    }
    if (!read_entry(search, at, ahead.path, &ahead.ring[slot % ring_size])) {
      ahead.finished = true;
      break;
    }
    ahead.written = slot + 1;
    if (ahead.caller_waiting) {
      // Taking the mutex orders the entry before the caller's check; notifying
      // after it is let go spares the woken caller a wait for it.
      lock.lock();
      lock.unlock();
      shared.progress.notify_all();
    }
  }
  lock.lock();
  ahead.worker_inside = false;
  lock.unlock();
  shared.progress.notify_all();
  lock.lock();
}

// Made once and never destroyed: the worker may still wait on it while the
// process exits.
Worker& worker() {
  static Worker* shared = [] {
    auto* made = new Worker;
    // Signals stay with the program's own thread: the worker starts with all blocked.
    sigset_t all, before;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    std::thread([made] {
      std::unique_lock lock(made->mutex);
      while (true) {
        if (made->pending.empty()) {
          lock.unlock();
          wait_awake([made] { return made->work_waiting.load(); }, worker_lingers_ns);
          lock.lock();
        }
        made->wake.wait(lock, [made] { return !made->pending.empty(); });
        Search* search = made->pending.front();
        made->pending.pop_front();
        made->work_waiting = !made->pending.empty();
        search->ahead->queued = false;
        fill_ring(*made, lock, search);
      }
    }).detach();
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return made;
  }();
  return *shared;
}

bool two_processors() {
  static const bool answer = [] {
    cpu_set_t set;
    return ::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 1;
  }();
  return answer;
}

// Under the worker's mutex; true when the worker is to be woken, once the
// mutex is let go.
bool ask_for_more(Worker& shared, Search* search) {
  ReadAhead& ahead = *search->ahead;
  if (ahead.finished || ahead.queued || ahead.worker_inside) return false;
  ahead.queued = true;
  shared.pending.push_back(search);
  shared.work_waiting = true;
  return true;
}

void ask_worker(Worker& shared, Search* search) {
  std::unique_lock lock(shared.mutex);
  if (!ask_for_more(shared, search)) return;
  lock.unlock();
  shared.wake.notify_one();
}

bool take_read_ahead(Search* search, Entry* entry) {
  ReadAhead& ahead = *search->ahead;
  Worker& shared = worker();
  if (!ahead.started) {
    std::unique_lock lock(shared.mutex);
    if (!ahead.started && !ahead.worker_inside) {
      ahead.caller_reading = true;
      lock.unlock();
      bool read = read_entry(search, search->fd, search->path, entry);
      lock.lock();
      ahead.caller_reading = false;
      if (!read) ahead.finished = true;
      bool worker_waits = ahead.worker_inside;
      lock.unlock();
      if (worker_waits) shared.progress.notify_all();
      return read;
    }
  }
  while (true) {
    uint32_t slot = ahead.taken.load(std::memory_order_relaxed);
    if (ahead.written_seen == slot) ahead.written_seen = ahead.written;
    uint32_t filled = ahead.written_seen;
    if (filled != slot) {
      // Copied, not swapped: the slot's lines stay the worker's to write again.
      *entry = ahead.ring[slot % ring_size];
      ahead.taken.store(slot + 1, std::memory_order_release);
      if (filled - slot - 1 <= ring_size / 2) {
        filled = ahead.written_seen = ahead.written;
        if (filled - slot - 1 <= ring_size / 2 && !ahead.finished && !ahead.worker_inside && !ahead.queued)
          ask_worker(shared, search);
      }
      return true;
    }
    std::unique_lock lock(shared.mutex);
    if (ahead.finished && ahead.written == slot) return false;
    bool asked = ask_for_more(shared, search);
    lock.unlock();
    if (asked) shared.wake.notify_one();
    auto arrived = [&ahead, slot] { return ahead.written != slot || ahead.finished; };
    if (wait_awake(arrived, caller_lingers_ns)) continue;
    lock.lock();
    ahead.caller_waiting = true;
    shared.progress.wait(lock, [&ahead, slot] { return ahead.written != slot || ahead.finished; });
    ahead.caller_waiting = false;
  }
}

void stop_read_ahead(Search* search) {
  if (!search->ahead) return;
  Worker& shared = worker();
  std::unique_lock lock(shared.mutex);
  if (search->ahead->queued) {
    std::erase(shared.pending, search);
    shared.work_waiting = !shared.pending.empty();
  }
  shared.progress.wait(lock, [search] { return !search->ahead->worker_inside; });
  if (search->ahead->lookup_fd >= 0) ::close(search->ahead->lookup_fd);
  search->ahead->lookup_fd = -1;
}

bool next_entry(Search* search, Entry* entry) {
  while (search->dots_left > 0) {
    const char* dot = search->dots_left-- == 2 ? "." : "..";
    if (!mask_takes(search->mask, dot)) continue;
    search->path.assign(search->directory).append(dot);
    if (dot[1] == '\0') {
      // The directory was usually looked at a moment ago, to be opened: what was
      // seen of its DOS attribute then still holds while its ctime is the same.
      struct stat own {};
      own.st_dev = makedev(search->own.stx_dev_major, search->own.stx_dev_minor);
      own.st_ino = search->own.stx_ino;
      own.st_ctim = timespec{search->own.stx_ctime.tv_sec, search->own.stx_ctime.tv_nsec};
      const RecentEntry* seen = recent_entry_any_age(own);
      bool ask = search->xattrs && !(seen && seen->dos_attribute_absent);
      describe(search->own, EntryName{search->fd, dot, search->path.c_str()}, false, dot, entry, &ask);
      return true;
    }
    if (describe(search->fd, dot, search->path.c_str(), dot, entry, &search->xattrs)) return true;
  }
  if (!search->names) return false;
  // Only a directory with more to come is worth the worker: a look at the next
  // name tells, so that small directories are never handed over.
  if (!search->ahead && search->handed_out >= read_ahead_after && two_processors()) {
    const char* name = next_name(search);
    if (!name) return false;
    search->peeked = name;
    if (spare_read_ahead) {
      search->ahead = std::move(spare_read_ahead);
      search->ahead->restart();
    } else {
      search->ahead = std::make_unique<ReadAhead>();
    }
    ask_worker(worker(), search);
  }
  bool found = search->ahead ? take_read_ahead(search, entry) : read_entry(search, search->fd, search->path, entry);
  if (!found) return false;
  // Counted only until the worker is asked in: the worker reads the fields
  // beside it at every entry.
  if (!search->ahead) ++search->handed_out;
  if (search->keyed)
    remember_recent_entry(search->caller_directory, entry->name.c_str(), search, search->fd, entry->state,
                          entry->dos_attribute_absent, entry->seen_ns);
  return true;
}

// A directory to search that cannot be opened: missing or not a directory is
// ERROR_PATH_NOT_FOUND, as Windows has it; anything else keeps its own error.
HANDLE fail_directory(int error, const std::string& directory) {
  if (error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == ELOOP) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return fail(error, Call::generic, INVALID_HANDLE_VALUE, directory);
}

// Whether the pattern ends in the name of the entry it found: t\d does; t\d\.
// finds d too, but a name formed from its directory part is not d.
bool names_entry_itself(std::string_view pattern, const std::string& mask) {
  size_t slash = last_separator(pattern);
  return pattern.substr(slash == std::string_view::npos ? 0 : slash + 1) == mask;
}

// A listing asks for the same search at every entry: the one found last is
// known to be open until FindClose forgets it.
std::atomic<Search*> search_found_last{nullptr};

Search* find_search(HANDLE handle) {
  auto* search = static_cast<Search*>(handle);
  if (search && search == search_found_last.load(std::memory_order_acquire)) return search;
  std::lock_guard guard(search_mutex);
  if (!searches.count(search)) return nullptr;
  search_found_last.store(search, std::memory_order_release);
  return search;
}

HANDLE first(LPCSTR pattern, Entry* entry) {
  if (!pattern) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (!*pattern) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // The name is made whole first, as Windows does: "dir\\." is "dir".
  DWORD full_error = 0;
  auto full = full_path_name(pattern, &full_error);
  if (!full) {
    SetLastError(full_error);
    return INVALID_HANDLE_VALUE;
  }
  int error = 0;
  auto host = host_path(full->c_str(), &error);
  if (!host) return fail(error, Call::generic, INVALID_HANDLE_VALUE);
  size_t slash = host->rfind('/');
  std::string directory = slash == std::string::npos ? "./" : host->substr(0, slash + 1);
  std::string mask = slash == std::string::npos ? *host : host->substr(slash + 1);
  // A name ending in a separator, or a root, has no entry to find.
  if (mask.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto search = std::make_unique<Search>();
  search->directory = directory;
  search->mask = mask;
  search->keyed = caller_directory_key(pattern, &search->caller_directory);
  // An entry that a listing handed out a moment ago is looked up from the
  // listing's directory, not along its whole path.
  const RecentEntry* seen = recent_entry(std::string_view(*host).substr(0, has_wildcard(mask) ? slash : host->size()));
  if (seen && seen->directory_fd < 0) seen = nullptr;
  // The directory is looked up once: opened for a listing, and asked about only
  // when a single entry is not there.
  if (has_wildcard(mask)) {
    constexpr int listing = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC;
    int fd = seen && S_ISDIR(seen->mode) ? ::openat(seen->directory_fd, seen->path.c_str() + seen->name_offset, listing)
                                         : ::open(directory.c_str(), listing);
    if (fd < 0) return fail_directory(errno, directory);
    search->names = std::make_unique<DirectoryReader>(fd);
    search->fd = fd;
    if (::statx(search->fd, "", AT_EMPTY_PATH, status_mask, &search->own) != 0)
      return fail(errno, Call::generic, INVALID_HANDLE_VALUE, directory);
    // Drive roots have no "." and ".." entries on Windows.
    search->dots_left = directory == "/" ? 0 : 2;
    if (!next_entry(search.get(), entry)) {
      if (search->read_error) return fail(search->read_error, Call::generic, INVALID_HANDLE_VALUE, directory);
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
  } else if (seen ? !describe_seen(*seen, host->c_str(), mask.c_str(), entry, &search->xattrs)
                  : !describe(AT_FDCWD, host->c_str(), host->c_str(), mask.c_str(), entry, &search->xattrs)) {
    int error = errno;
    struct stat parent;
    if (::stat(directory.c_str(), &parent) != 0 || !S_ISDIR(parent.st_mode)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    return fail(error, Call::generic, INVALID_HANDLE_VALUE, *host);
  } else if (search->keyed && names_entry_itself(pattern, mask)) {
    remember_recent_entry(search->caller_directory, mask.c_str(), search.get(), seen ? seen->directory_fd : -1,
                          entry->state, entry->dos_attribute_absent, monotonic_ns());
  }
  std::lock_guard guard(search_mutex);
  searches.insert(search.get());
  return search.release();
}

template <typename Data>
void fill_common(const Entry& entry, Data* data) {
  data->dwFileAttributes = entry.attributes;
  data->ftCreationTime = entry.created;
  data->ftLastAccessTime = entry.accessed;
  data->ftLastWriteTime = entry.written;
  data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(entry.size);
  data->dwReserved0 = entry.tag;
  data->dwReserved1 = 0;
  data->cAlternateFileName[0] = 0;
}

void fill(const Entry& entry, WIN32_FIND_DATAA* data) {
  fill_common(entry, data);
  size_t n = std::min(entry.name.size(), size_t{MAX_PATH - 1});
  std::memcpy(data->cFileName, entry.name.data(), n);
  data->cFileName[n] = 0;
}

void fill(const Entry& entry, WIN32_FIND_DATAW* data) {
  fill_common(entry, data);
  std::u16string wide = widen(entry.name);
  size_t n = std::min(wide.size(), size_t{MAX_PATH - 1});
  std::memcpy(data->cFileName, wide.data(), n * sizeof(WCHAR));
  data->cFileName[n] = 0;
}

template <typename Data>
BOOL next(HANDLE handle, Data* data) {
  Search* search = find_search(handle);
  if (!search) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Entry entry;
  if (!next_entry(search, &entry)) {
    if (search->read_error) return fail(search->read_error, Call::generic, FALSE, search->directory);
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  fill(entry, data);
  return TRUE;
}

}  // namespace
}  // namespace winapi

using namespace winapi;

extern "C" {

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  Entry entry;
  HANDLE handle = first(lpFileName, &entry);
  if (handle != INVALID_HANDLE_VALUE) fill(entry, lpFindFileData);
  return handle;
}

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  auto name = narrow_argument(lpFileName);
  if (!name) return INVALID_HANDLE_VALUE;
  Entry entry;
  HANDLE handle = first(name->c_str(), &entry);
  if (handle != INVALID_HANDLE_VALUE) fill(entry, lpFindFileData);
  return handle;
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  return next(hFindFile, lpFindFileData);
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  if (wide_calls_missing()) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return next(hFindFile, lpFindFileData);
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  auto* search = static_cast<Search*>(hFindFile);
  {
    std::lock_guard guard(search_mutex);
    if (!searches.erase(search)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (search_found_last.load(std::memory_order_relaxed) == search) search_found_last.store(nullptr);
  }
  stop_read_ahead(search);
  if (search->ahead) spare_read_ahead = std::move(search->ahead);
  if (hand_directory_to_recent_entry(search, search->fd)) search->names->release();
  delete search;
  return TRUE;
}

}  // extern "C"
