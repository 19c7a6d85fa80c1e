// POSIX descriptors over Win32 handles.
#include <windows.h>

#include <cstring>

#include <zav/errno.h>
#include <zav/fcntl.h>
#include <zav/path.h>
#include <zav/signal.h>
#include <zav/stdlib.h>
#include <zav/unistd.h>
#include <zav/windows_version.h>

namespace zav {

int umask_value = 0;

namespace {

constexpr int initial_descriptors = 10;

// A null slot is free; INVALID_HANDLE_VALUE marks a standard descriptor the
// process was started without.
HANDLE* handles = nullptr;
int table_size = 0;

DWORD file_share_mode = 0;

HANDLE handle_of(int fd) {
  if (fd < 0 || fd >= table_size) return nullptr;
  return handles[fd];
}

bool grow_table(int size) {
  if (size <= table_size) return true;
  void* grown = zav::realloc(handles, static_cast<std::size_t>(size) * sizeof(HANDLE));
  if (grown == nullptr) return false;
  handles = static_cast<HANDLE*>(grown);  // the new slots come zeroed, that is free
  table_size = size;
  return true;
}

int allocate_descriptor(HANDLE handle) {
  int fd = 0;
  while (fd < table_size && handles[fd] != nullptr) ++fd;
  if (!grow_table(fd + 1)) return fail_with(EMFILE_);
  handles[fd] = handle;
  return fd;
}

void close_slot_handle(int fd) {
  if (handles[fd] != nullptr && handles[fd] != INVALID_HANDLE_VALUE) CloseHandle(handles[fd]);
}

int store_at(int fd, HANDLE handle) {
  if (!grow_table(fd + 1)) return fail_with(EMFILE_);
  close_slot_handle(fd);
  handles[fd] = handle;
  return fd;
}

bool duplicate(HANDLE source, BOOL inheritable, HANDLE* copy) {
  if (source == INVALID_HANDLE_VALUE) {
    *copy = source;
    return true;
  }
  HANDLE self = GetCurrentProcess();
  return DuplicateHandle(self, source, self, copy, 0, inheritable, DUPLICATE_SAME_ACCESS) != 0;
}

bool equals_ignoring_case(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return *a == *b;
}

// Drive specifiers ("a:") and the device namespace ("\\.\x", any separators)
// name things that cannot be created.
bool names_existing_device(const char* name) {
  const std::size_t length = std::strlen(name);
  if (length > 0 && name[length - 1] == ':') return true;
  return length >= 4 && is_separator(name[0]) && is_separator(name[1]) && name[2] == '.' &&
         is_separator(name[3]);
}

DWORD creation_disposition(int flags) {
  const bool create = (flags & O_CREAT_) != 0;
  const bool truncate = (flags & O_TRUNC_) != 0;
  if (create && (flags & O_EXCL_) != 0) return CREATE_NEW;
  if (create && truncate) return CREATE_ALWAYS;
  if (create) return OPEN_ALWAYS;
  if (truncate) return TRUNCATE_EXISTING;
  return OPEN_EXISTING;
}

DWORD access_for(int flags) {
  switch (flags & 3) {
    case O_WRONLY_: return GENERIC_WRITE;
    case O_RDWR_: return GENERIC_READ | GENERIC_WRITE;
    default: return GENERIC_READ;
  }
}

DWORD seek_method(int whence, bool* valid) {
  *valid = whence == SEEK_SET_ || whence == SEEK_CUR_ || whence == SEEK_END_;
  return whence == SEEK_CUR_ ? FILE_CURRENT : whence == SEEK_END_ ? FILE_END : FILE_BEGIN;
}

// The handle a seek moves and the SetFilePointer method for `whence`; null with
// errno_ set for a bad descriptor, a pipe or an unknown `whence`.
HANDLE seek_handle(int fd, int whence, DWORD* method) {
  HANDLE handle = handle_of(fd);
  bool valid;
  *method = seek_method(whence, &valid);
  int code = 0;
  if (handle == nullptr)
    code = EBADF_;
  else if (GetFileType(handle) == FILE_TYPE_PIPE)
    code = ESPIPE_;
  else if (!valid)
    code = EINVAL_;
  if (code == 0) return handle;
  fail_with(code);
  return nullptr;
}

int lock_range(HANDLE handle, int cmd, flock* lock) {
  DWORD base = 0;
  switch (lock->l_whence) {
    case SEEK_SET_: break;
    case SEEK_CUR_: base = SetFilePointer(handle, 0, nullptr, FILE_CURRENT); break;
    case SEEK_END_: base = SetFilePointer(handle, 0, nullptr, FILE_END); break;
    default: return fail_with(EINVAL_);
  }
  if (base == INVALID_SET_FILE_POINTER) return set_errno_from_last_error();
  const DWORD start = base + static_cast<DWORD>(lock->l_start);
  const DWORD length = static_cast<DWORD>(lock->l_len);

  if (cmd == F_GETLK_) {
    if (lock->l_type == F_UNLCK_) return fail_with(EINVAL_);
    // Probing is the only way Win32 offers: a range we can lock is free.
    if (LockFile(handle, start, 0, length, 0)) {
      UnlockFile(handle, start, 0, length, 0);
      lock->l_type = F_UNLCK_;
    }
    return 0;
  }
  const BOOL done = lock->l_type == F_UNLCK_ ? UnlockFile(handle, start, 0, length, 0)
                                             : LockFile(handle, start, 0, length, 0);
  return done ? 0 : fail_with(EINVAL_);
}

}  // namespace

int init_descriptor_table() {
  if (handles != nullptr) {
    zav::free(handles);
    handles = nullptr;
    table_size = 0;
  }
  if (!grow_table(initial_descriptors)) return -1;

  const DWORD standard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int fd = 0; fd < 3; ++fd) {
    HANDLE handle = GetStdHandle(standard[fd]);
    handles[fd] = handle != nullptr ? handle : INVALID_HANDLE_VALUE;
  }
  // Stdout and stderr on one handle would let close(2) take stdout with it.
  if (handles[2] == handles[1] && handles[1] != INVALID_HANDLE_VALUE) {
    HANDLE copy;
    if (duplicate(handles[1], TRUE, &copy)) handles[2] = copy;
    SetStdHandle(STD_ERROR_HANDLE, handles[2]);
  }
  return 0;
}

void* descriptor_handle(int fd) {
  HANDLE handle = handle_of(fd);
  if (handle == nullptr) fail_with(EBADF_);
  return handle;
}

int install_handle(void* handle) { return allocate_descriptor(handle); }

int isatty(int fd) {
  HANDLE handle = handle_of(fd);
  if (handle == nullptr) {
    fail_with(EBADF_);
    return 0;
  }
  DWORD mode;
  return GetConsoleMode(handle, &mode) ? 1 : 0;
}

int open(const char* path, int flags, int mode) {
  const bool nt = !running_on_windows_95();
  if (file_share_mode == 0)
    file_share_mode = FILE_SHARE_READ | FILE_SHARE_WRITE | (nt ? FILE_SHARE_DELETE : 0);

  const char* name = path;
  if (std::strcmp(name, "/dev/null") == 0) name = "nul";
  else if (std::strcmp(name, "/dev/tty") == 0) name = nt ? "CONIN$" : "con";

  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  if ((flags & O_CREAT_) != 0 && ((mode & ~umask_value) & 0222) == 0)
    attributes = FILE_ATTRIBUTE_READONLY;
  if ((flags & O_TEMPORARY_) != 0) attributes |= FILE_FLAG_DELETE_ON_CLOSE;

  DWORD access = access_for(flags);
  DWORD disposition = creation_disposition(flags);
  if (names_existing_device(name)) disposition = OPEN_EXISTING;
  if (equals_ignoring_case(name, "/dev/con") || equals_ignoring_case(name, "con")) {
    disposition = OPEN_EXISTING;
    if ((flags & 3) == O_RDWR_) access = GENERIC_READ;
  } else if (nt && (equals_ignoring_case(name, "conin$") || equals_ignoring_case(name, "conout$"))) {
    disposition = OPEN_EXISTING;
    access = GENERIC_READ | GENERIC_WRITE;
  }

  char full_name[MAX_PATH];
  if (nt && std::strpbrk(name, "/\\") != nullptr) {
    const DWORD length = GetFullPathNameA(name, sizeof full_name, full_name, nullptr);
    if (length > 0 && length < sizeof full_name) name = full_name;
  }

  HANDLE handle = CreateFileA(name, access, file_share_mode, nullptr, disposition, attributes, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return set_errno_from_last_error();
  const int fd = allocate_descriptor(handle);
  if (fd < 0) {
    CloseHandle(handle);
    return -1;
  }
  if ((flags & O_APPEND_) != 0) SetFilePointer(handle, 0, nullptr, FILE_END);
  return fd;
}

int close(int fd) {
  HANDLE handle = handle_of(fd);
  if (handle == nullptr) return fail_with(EBADF_);
  if (handle != INVALID_HANDLE_VALUE && !CloseHandle(handle)) return set_errno_from_last_error();
  handles[fd] = nullptr;
  return 0;
}

long read(int fd, void* buf, std::size_t n) {
  HANDLE handle = handle_of(fd);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return fail_with(EBADF_);
  DWORD count = 0;
  const DWORD wanted = n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(n);
  if (ReadFile(handle, buf, wanted, &count, nullptr)) {
    if (count == 0) Sleep(0);
    return static_cast<long>(count);
  }
  if (count > 0) return static_cast<long>(count);
  if (GetLastError() == ERROR_BROKEN_PIPE) return 0;  // the writer has gone: end of file
  return set_errno_from_last_error();
}

long write(int fd, const void* buf, std::size_t n) {
  HANDLE handle = handle_of(fd);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return fail_with(EBADF_);
  DWORD count = 0;
  const DWORD wanted = n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(n);
  if (WriteFile(handle, buf, wanted, &count, nullptr)) return static_cast<long>(count);
  // Windows reports a pipe without a reader as ERROR_NO_DATA for anonymous pipes,
  // so that code ends the process too, as the two named ones do.
  const DWORD code = GetLastError();
  if (code == ERROR_BROKEN_PIPE || code == ERROR_PIPE_NOT_CONNECTED || code == ERROR_NO_DATA) raise(SIGPIPE_);
  return set_errno_from_last_error();
}

long lseek(int fd, long offset, int whence) {
  DWORD method;
  HANDLE handle = seek_handle(fd, whence, &method);
  if (handle == nullptr) return -1;
  const DWORD position = SetFilePointer(handle, static_cast<LONG>(offset), nullptr, method);
  if (position != INVALID_SET_FILE_POINTER) return static_cast<long>(position);
  if (GetLastError() == ERROR_NEGATIVE_SEEK) {
    SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
    return fail_with(ERROR_NEGATIVE_SEEK);
  }
  return set_errno_from_last_error();
}

int64_t lseek64(int fd, int64_t offset, int whence) {
  DWORD method;
  HANDLE handle = seek_handle(fd, whence, &method);
  if (handle == nullptr) return -1;
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(handle, static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return set_errno_from_last_error();
  return (static_cast<int64_t>(high) << 32) | low;
}

int dup2(int fd, int newfd) {
  HANDLE handle = handle_of(fd);
  if (handle == nullptr || newfd < 0) return fail_with(EBADF_);
  HANDLE copy;
  if (!duplicate(handle, TRUE, &copy)) return set_errno_from_last_error();
  if (store_at(newfd, copy) < 0) {
    if (copy != INVALID_HANDLE_VALUE) CloseHandle(copy);
    return -1;
  }
  return newfd;
}

int fcntl(int fd, int cmd, intptr_t arg) {
  if (cmd == F_GETLK_ || cmd == F_SETLK_ || cmd == F_SETLKW_)
    return fcntl(fd, cmd, reinterpret_cast<flock*>(arg));
  HANDLE handle = handle_of(fd);
  if (handle == nullptr) return fail_with(EBADF_);
  switch (cmd) {
    case F_DUPFD_: {
      if (arg < 0) return fail_with(EINVAL_);
      int target = static_cast<int>(arg);
      while (target < table_size && handles[target] != nullptr) ++target;
      return dup2(fd, target);
    }
    case F_GETFD_:
      return 0;
    case F_SETFD_: {
      if (handle == INVALID_HANDLE_VALUE) return 0;
      HANDLE copy;
      if (!duplicate(handle, (arg & FD_CLOEXEC_) == 0, &copy)) return set_errno_from_last_error();
      CloseHandle(handle);
      handles[fd] = copy;
      return 0;
    }
    case F_SETFL_:
      return 0;
    default:
      return fail_with(EINVAL_);
  }
}

int fcntl(int fd, int cmd, flock* lock) {
  if (cmd != F_GETLK_ && cmd != F_SETLK_ && cmd != F_SETLKW_)
    return fcntl(fd, cmd, reinterpret_cast<intptr_t>(lock));
  HANDLE handle = handle_of(fd);
  if (handle == nullptr) return fail_with(EBADF_);
  if (lock == nullptr) return fail_with(EINVAL_);
  return lock_range(handle, cmd, lock);
}

}  // namespace zav
