#include "handle_table.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "error_mapping.h"

namespace winapi {
namespace {

const HANDLE current_process = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

struct Table {
  std::vector<std::optional<HandleObject>> slots;
  std::array<HANDLE, 3> standard{};

  Table() {
    for (int fd = 0; fd < 3; ++fd) {
      int flags = ::fcntl(fd, F_GETFL);
      if (flags < 0) continue;
      HandleObject object;
      object.fd = fd;
      object.can_read = (flags & O_ACCMODE) != O_WRONLY;
      object.can_write = (flags & O_ACCMODE) != O_RDONLY;
      object.inherit = true;
      object.console_input = fd == 0;
      standard[fd] = add(std::move(object));
    }
  }

  HANDLE add(HandleObject object) {
    size_t index = 0;
    while (index < slots.size() && slots[index]) ++index;
    if (index == slots.size()) slots.emplace_back();
    slots[index] = std::move(object);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>((index + 1) * 4));
  }

  std::optional<HandleObject>* find(HANDLE handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || value % 4 != 0 || value / 4 > slots.size()) return nullptr;
    auto& slot = slots[value / 4 - 1];
    return slot ? &slot : nullptr;
  }
};

// Never destroyed: exit handlers of the runtime may still write to handles.
Table& table() {
  static Table* instance = new Table;
  return *instance;
}

int standard_index(DWORD which) {
  switch (which) {
    case STD_INPUT_HANDLE: return 0;
    case STD_OUTPUT_HANDLE: return 1;
    case STD_ERROR_HANDLE: return 2;
    default: return -1;
  }
}

// Writes to a pipe without a reader must fail like WriteFile does on Windows, not
// end the process.
void ignore_sigpipe(int, char**, char**) { ::signal(SIGPIPE, SIG_IGN); }
[[gnu::section(".init_array"), gnu::used]] void (*const ignore_sigpipe_at_start)(int, char**, char**) =
    ignore_sigpipe;

// Takes the handle out of the table; the caller closes the descriptor outside
// the lock, so that the last reference to an OpenFile is dropped there too.
std::optional<HandleObject> take(HANDLE handle) {
  std::lock_guard guard(table_mutex());
  auto* slot = table().find(handle);
  if (!slot) return std::nullopt;
  std::optional<HandleObject> object = std::move(*slot);
  slot->reset();
  return object;
}

void release(HandleObject& object) {
  if (object.fd >= 0) ::close(object.fd);
  object.file.reset();
}

}  // namespace

namespace {
// Lets a removal skip the sharing check while the process has no file open.
std::atomic<int> open_file_count{0};
}  // namespace

// Runs without table_mutex held: the table's own references keep an OpenFile
// alive while the lock is taken, so the last reference is never dropped there.
OpenFile::OpenFile() { open_file_count.fetch_add(1, std::memory_order_relaxed); }

OpenFile::~OpenFile() {
  open_file_count.fetch_sub(1, std::memory_order_relaxed);
  if (delete_on_close && directory_fd >= 0) {
    // The file goes with the last handle to it, whichever open that belongs to.
    std::lock_guard guard(table_mutex());
    auto others = open_files_locked(device, inode);
    if (!others.empty()) {
      OpenFile& other = *others.front();
      if (other.directory_fd >= 0) ::close(other.directory_fd);
      other.delete_on_close = true;
      other.directory_fd = std::exchange(directory_fd, -1);
      other.name = name;
      return;
    }
    // Only the file that was opened: a name taken over by another file meanwhile stays.
    struct stat st;
    if (::fstatat(directory_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == device &&
        st.st_ino == inode)
      ::unlinkat(directory_fd, name.c_str(), 0);
  }
  if (directory_fd >= 0) ::close(directory_fd);
}

std::mutex& table_mutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

HANDLE insert_handle(HandleObject object) {
  std::lock_guard guard(table_mutex());
  return table().add(std::move(object));
}

std::optional<HandleObject> descriptor_handle(HANDLE handle) {
  std::lock_guard guard(table_mutex());
  auto* slot = table().find(handle);
  if (!slot || (*slot)->kind != Kind::descriptor) return fail(EBADF, Call::generic, std::nullopt);
  return **slot;
}

std::vector<std::shared_ptr<OpenFile>> open_files_locked(dev_t device, ino_t inode) {
  std::vector<std::shared_ptr<OpenFile>> files;
  for (auto& slot : table().slots) {
    if (!slot || !slot->file) continue;
    auto& file = slot->file;
    if (file->device != device || file->inode != inode) continue;
    bool seen = false;
    for (auto& known : files) seen = seen || known == file;
    if (!seen) files.push_back(file);
  }
  return files;
}

bool files_open() { return open_file_count.load(std::memory_order_relaxed) != 0; }

bool sharing_allows(dev_t device, ino_t inode, DWORD access, DWORD share) {
  auto refused = [](DWORD access, DWORD share) {
    return ((access & access_read) && !(share & FILE_SHARE_READ)) ||
           ((access & access_write) && !(share & FILE_SHARE_WRITE)) ||
           ((access & access_delete) && !(share & FILE_SHARE_DELETE));
  };
  // An open for attributes only is not subject to sharing.
  if (access == 0 || open_file_count.load(std::memory_order_relaxed) == 0) return true;
  std::lock_guard guard(table_mutex());
  for (auto& file : open_files_locked(device, inode)) {
    if (refused(file->access, share) || refused(access, file->share)) return false;
  }
  return true;
}

}  // namespace winapi

using namespace winapi;

extern "C" {

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
  int index = standard_index(nStdHandle);
  if (index < 0) return fail(EBADF, Call::generic, INVALID_HANDLE_VALUE);
  std::lock_guard guard(table_mutex());
  return table().standard[index];
}

BOOL WINAPI SetStdHandle(DWORD nStdHandle, HANDLE hHandle) {
  int index = standard_index(nStdHandle);
  if (index < 0) return fail(EBADF, Call::generic, FALSE);
  std::lock_guard guard(table_mutex());
  table().standard[index] = hHandle;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (hObject == current_process) return TRUE;
  auto object = take(hObject);
  if (!object) return fail(EBADF, Call::generic, FALSE);
  release(*object);
  return TRUE;
}

BOOL WINAPI DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                            HANDLE hTargetProcessHandle, LPHANDLE lpTargetHandle,
                            DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions) {
  if (hSourceProcessHandle != current_process || hTargetProcessHandle != current_process)
    return fail(EBADF, Call::generic, FALSE);

  std::optional<HandleObject> source;
  if (hSourceHandle == current_process) {
    source.emplace();
    source->kind = Kind::process;
  } else {
    std::lock_guard guard(table_mutex());
    if (auto* slot = table().find(hSourceHandle)) source = **slot;
  }
  int dup_error = 0;
  HandleObject copy;
  if (source) {
    copy = *source;
    copy.inherit = bInheritHandle != FALSE;
    if (copy.kind == Kind::descriptor) {
      copy.fd = ::fcntl(source->fd, copy.inherit ? F_DUPFD : F_DUPFD_CLOEXEC, 3);
      if (copy.fd < 0) dup_error = errno;
    }
  }
  // Windows closes the source even when no duplicate could be made.
  if (dwOptions & DUPLICATE_CLOSE_SOURCE) CloseHandle(hSourceHandle);
  if (!source) return fail(EBADF, Call::generic, FALSE);
  if (dup_error) return fail(dup_error, Call::generic, FALSE);

  if (!(dwOptions & DUPLICATE_SAME_ACCESS)) {
    bool read = dwDesiredAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
    bool write = dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
    copy.can_read = copy.can_read && read;
    copy.can_write = copy.can_write && write;
  }
  HANDLE duplicate = insert_handle(std::move(copy));
  if (lpTargetHandle) {
    *lpTargetHandle = duplicate;
  } else {
    CloseHandle(duplicate);
  }
  return TRUE;
}

DWORD WINAPI GetFileType(HANDLE hFile) {
  auto object = descriptor_handle(hFile);
  if (!object) return FILE_TYPE_UNKNOWN;
  struct stat st;
  if (::fstat(object->fd, &st) != 0) return fail(errno, Call::generic, DWORD{FILE_TYPE_UNKNOWN});
  if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || S_ISBLK(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  SetLastError(NO_ERROR);
  return FILE_TYPE_UNKNOWN;
}

}  // extern "C"
