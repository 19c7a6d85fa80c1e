#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "error_mapping.h"
#include "handle_table.h"

using namespace winapi;

namespace {

bool is_pipe(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

off_t overlapped_offset(const OVERLAPPED* overlapped) {
  return static_cast<off_t>((static_cast<uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset);
}

}  // namespace

extern "C" {

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  auto object = descriptor_handle(hFile);
  if (!object) return FALSE;
  if (!object->can_read) return fail(EACCES, Call::read, FALSE);
  ssize_t count;
  do {
    count = lpOverlapped ? ::pread(object->fd, lpBuffer, nNumberOfBytesToRead, overlapped_offset(lpOverlapped))
                         : ::read(object->fd, lpBuffer, nNumberOfBytesToRead);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return fail(errno, Call::read, FALSE);
  if (lpOverlapped) ::lseek(object->fd, overlapped_offset(lpOverlapped) + count, SEEK_SET);
  // End of data on a pipe means the writer has gone, which Windows reports as an error.
  if (count == 0 && nNumberOfBytesToRead > 0 && is_pipe(object->fd)) return fail(EPIPE, Call::read, FALSE);
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = static_cast<DWORD>(count);
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  auto object = descriptor_handle(hFile);
  if (!object) return FALSE;
  if (!object->can_write) return fail(EACCES, Call::write, FALSE);
  const char* bytes = static_cast<const char*>(lpBuffer);
  DWORD done = 0;
  off_t offset = lpOverlapped ? overlapped_offset(lpOverlapped) : 0;
  do {
    ssize_t count = lpOverlapped ? ::pwrite(object->fd, bytes + done, nNumberOfBytesToWrite - done, offset + done)
                                 : ::write(object->fd, bytes + done, nNumberOfBytesToWrite - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
      return fail(errno, Call::write, FALSE);
    }
    done += static_cast<DWORD>(count);
  } while (done < nNumberOfBytesToWrite);
  if (lpOverlapped) ::lseek(object->fd, offset + done, SEEK_SET);
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
  auto object = descriptor_handle(hFile);
  if (!object) return INVALID_SET_FILE_POINTER;
  int64_t distance = lDistanceToMove;
  if (lpDistanceToMoveHigh) {
    uint64_t high = static_cast<uint32_t>(*lpDistanceToMoveHigh);
    distance = static_cast<int64_t>(high << 32 | static_cast<uint32_t>(lDistanceToMove));
  }
  int64_t base = 0;
  if (dwMoveMethod == FILE_CURRENT) {
    base = ::lseek(object->fd, 0, SEEK_CUR);
    if (base < 0) return fail(errno, Call::generic, INVALID_SET_FILE_POINTER);
  } else if (dwMoveMethod == FILE_END) {
    struct stat st;
    if (::fstat(object->fd, &st) != 0) return fail(errno, Call::generic, INVALID_SET_FILE_POINTER);
    base = st.st_size;
  } else if (dwMoveMethod != FILE_BEGIN) {
    return fail(EINVAL, Call::generic, INVALID_SET_FILE_POINTER);
  }
  int64_t target;
  if (__builtin_add_overflow(base, distance, &target)) return fail(EINVAL, Call::generic, INVALID_SET_FILE_POINTER);
  if (target < 0) return fail(EINVAL, Call::seek, INVALID_SET_FILE_POINTER);
  if (::lseek(object->fd, target, SEEK_SET) < 0) return fail(errno, Call::generic, INVALID_SET_FILE_POINTER);

  // Like Wine, a position beyond 4 GiB asked for without a high part succeeds
  // and answers its low part.
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
  DWORD low = static_cast<DWORD>(static_cast<uint64_t>(target));
  // The low part cannot tell success from failure then: the last error does.
  if (low == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
  return low;
}

}  // extern "C"
