#include "entry_status.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace winapi {
namespace {

constexpr const char* dos_attribute_name = "user.DOSATTRIB";

bool unsupported(int error) { return error == ENOTSUP || error == ENOSYS; }

bool dot_name(std::string_view name) {
  std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  return name.size() > 1 && name[0] == '.' && name != "..";
}

// "/proc/self/fd/N" and, when given, the name below it: the file the
// descriptor stands for, reached without a path from the root.
struct DescriptorPath {
  explicit DescriptorPath(int fd) { std::snprintf(text, sizeof text, "/proc/self/fd/%d", fd); }
  DescriptorPath(int fd, const char* name) { std::snprintf(text, sizeof text, "/proc/self/fd/%d/%s", fd, name); }
  char text[4096 + 32];
};

// getxattrat (Linux 6.13) reads relative to the directory; older kernels, and
// sandboxes that refuse calls they do not know, go through /proc.
#if !defined(SYS_getxattrat) && (defined(__x86_64__) || defined(__aarch64__))
#define SYS_getxattrat 464
#endif

ssize_t read_dos_attribute(int at, const char* name, char* value, std::size_t size) {
#ifdef SYS_getxattrat
  static std::atomic<bool> relative_reads{true};
  if (relative_reads) {
    struct {
      uint64_t value;
      uint32_t size;
      uint32_t flags;
    } args{reinterpret_cast<uintptr_t>(value), static_cast<uint32_t>(size), 0};
    long n = ::syscall(SYS_getxattrat, at, name, AT_SYMLINK_NOFOLLOW, dos_attribute_name, &args, sizeof args);
    if (n >= 0 || (errno != ENOSYS && errno != EPERM)) return n;
    int refused = errno;
    ssize_t through_proc = at == AT_FDCWD ? ::lgetxattr(name, dos_attribute_name, value, size)
                                          : ::lgetxattr(DescriptorPath(at, name).text, dos_attribute_name, value, size);
    // EPERM the other way too is the entry's own answer, not a refusal of the call.
    if (refused == ENOSYS || through_proc >= 0 || errno != EPERM) relative_reads = false;
    return through_proc;
  }
#endif
  if (at == AT_FDCWD) return ::lgetxattr(name, dos_attribute_name, value, size);
  return ::lgetxattr(DescriptorPath(at, name).text, dos_attribute_name, value, size);
}

// `value` has room for a terminator after its n bytes.
DWORD parse_dos_attribute(char* value, ssize_t n) {
  if (n < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
  value[n] = '\0';
  return static_cast<DWORD>(std::strtoul(value + 2, nullptr, 16)) & dos_bits;
}

// The entry last seen without the attribute, by the status that shows a change.
struct WithoutDosAttribute {
  dev_t device = 0;
  ino_t inode = 0;
  struct statx_timestamp changed {};
  bool valid = false;
};
thread_local WithoutDosAttribute last_without;

bool same_change(const struct statx_timestamp& a, const struct statx_timestamp& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The kernel stamps ctime from a coarse clock: an attribute set within the tick
// in which the entry was read might leave ctime as it was, so only an entry
// changed before the current tick is remembered.
void remember_without(const struct statx& status) {
  struct timespec tick;
  ::clock_gettime(CLOCK_REALTIME_COARSE, &tick);
  const auto& changed = status.stx_ctime;
  bool settled = changed.tv_sec < tick.tv_sec ||
                 (changed.tv_sec == tick.tv_sec && changed.tv_nsec < static_cast<uint32_t>(tick.tv_nsec));
  last_without.valid = settled;
  last_without.device = makedev(status.stx_dev_major, status.stx_dev_minor);
  last_without.inode = status.stx_ino;
  last_without.changed = changed;
}

// The DOS bits of an entry that is not a link; `read` asks the file system.
template <typename Read>
DWORD dos_attributes(const struct statx& status, bool* xattrs, Read read) {
  if ((xattrs && !*xattrs) || known_without_dos_attribute(status)) return 0;
  char value[64];
  ssize_t n = read(value, sizeof value - 1);
  if (n >= 0) {
    last_without.valid = false;
    return parse_dos_attribute(value, n);
  }
  if (xattrs && unsupported(errno)) *xattrs = false;
  if (errno == ENODATA) remember_without(status);
  return 0;
}

DWORD compose(mode_t mode, bool target_is_directory, DWORD dos, std::string_view name) {
  DWORD attributes = 0;
  if (S_ISLNK(mode)) {
    attributes = FILE_ATTRIBUTE_REPARSE_POINT | (target_is_directory ? FILE_ATTRIBUTE_DIRECTORY : 0);
  } else {
    if (S_ISDIR(mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    attributes |= dos;
  }
  if (dot_name(name)) attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace

bool keeps_dos_attribute(mode_t mode) { return S_ISREG(mode) || S_ISDIR(mode); }

bool known_without_dos_attribute(const struct statx& status) {
  return last_without.valid && last_without.inode == status.stx_ino &&
         last_without.device == makedev(status.stx_dev_major, status.stx_dev_minor) &&
         same_change(last_without.changed, status.stx_ctime);
}

bool describe_entry(int at, const char* name, EntryStatus* entry, bool* xattrs) {
  if (::statx(at, name, AT_SYMLINK_NOFOLLOW, status_mask, &entry->status) != 0) return false;
  const mode_t mode = entry->status.stx_mode;
  entry->target_is_directory = false;
  DWORD dos = 0;
  if (S_ISLNK(mode)) {
    // What the link leads to is only read.
    struct stat target;
    entry->target_is_directory = ::fstatat(at, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
  } else if (keeps_dos_attribute(mode)) {
    dos = dos_attributes(entry->status, xattrs,
                         [at, name](char* value, std::size_t size) { return read_dos_attribute(at, name, value, size); });
  }
  entry->attributes = compose(mode, entry->target_is_directory, dos, name);
  return true;
}

void describe_directory(int fd, const struct statx& status, EntryStatus* entry, bool* xattrs) {
  entry->status = status;
  entry->target_is_directory = false;
  DWORD dos = dos_attributes(status, xattrs, [fd](char* value, std::size_t size) {
    return ::fgetxattr(fd, dos_attribute_name, value, size);
  });
  entry->attributes = compose(status.stx_mode, false, dos, ".");
}

DWORD attributes_of_descriptor(int fd, mode_t mode, bool target_is_directory, std::string_view name) {
  DWORD dos = 0;
  if (keeps_dos_attribute(mode)) {
    char value[64];
    // An O_PATH descriptor reads no attribute itself; its file does, through /proc.
    ssize_t n = ::fgetxattr(fd, dos_attribute_name, value, sizeof value - 1);
    if (n < 0 && errno == EBADF) n = ::getxattr(DescriptorPath(fd).text, dos_attribute_name, value, sizeof value - 1);
    dos = parse_dos_attribute(value, n);
  }
  return compose(mode, target_is_directory, dos, name);
}

bool write_dos_attribute(int fd, DWORD bits) {
  const DescriptorPath file(fd);
  int result;
  bits &= dos_bits;
  if (bits != 0) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(bits));
    result = ::setxattr(file.text, dos_attribute_name, text, std::strlen(text), 0);
  } else {
    result = ::removexattr(file.text, dos_attribute_name);
    if (result != 0 && errno == ENODATA) result = 0;
  }
  return result == 0 || unsupported(errno);
}

FILETIME file_time(const struct timespec& time) {
  constexpr int64_t seconds_1601_to_1970 = 11644473600;
  uint64_t ticks = static_cast<uint64_t>((time.tv_sec + seconds_1601_to_1970) * 10000000 + time.tv_nsec / 100);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace winapi
