// Byte-range locks as Windows has them: held by an open file (and the handles
// duplicated from it), refused to every other open of the same file, and never
// merged, so that an unlock must name a locked range exactly. POSIX record locks
// belong to the whole process and cannot refuse a second handle, so the ranges
// live in the layer's own table; other processes do not see them.
#include <cerrno>

#include "error_mapping.h"
#include "handle_table.h"

using namespace winapi;

namespace {

uint64_t join(DWORD low, DWORD high) { return static_cast<uint64_t>(high) << 32 | low; }

// An empty lock blocks nothing, but cannot be taken inside someone's range.
bool overlap(const LockRange& held, uint64_t offset, uint64_t length) {
  if (held.length == 0) return false;
  if (length == 0) return held.offset <= offset && offset < held.offset + held.length;
  return offset < held.offset + held.length && held.offset < offset + length;
}

}  // namespace

extern "C" {

BOOL WINAPI LockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                     DWORD nNumberOfBytesToLockLow, DWORD nNumberOfBytesToLockHigh) {
  auto object = descriptor_handle(hFile);
  if (!object) return FALSE;
  if (!object->file) return fail(EINVAL, Call::lock, FALSE);
  uint64_t offset = join(dwFileOffsetLow, dwFileOffsetHigh);
  uint64_t length = join(nNumberOfBytesToLockLow, nNumberOfBytesToLockHigh);
  uint64_t end;
  if (__builtin_add_overflow(offset, length, &end)) return fail(EINVAL, Call::lock, FALSE);

  std::lock_guard guard(table_mutex());
  for (auto& file : open_files_locked(object->file->device, object->file->inode)) {
    for (auto& range : file->locks)
      if (overlap(range, offset, length)) return fail(EAGAIN, Call::lock, FALSE);
  }
  object->file->locks.push_back({offset, length});
  return TRUE;
}

BOOL WINAPI UnlockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                       DWORD nNumberOfBytesToUnlockLow, DWORD nNumberOfBytesToUnlockHigh) {
  auto object = descriptor_handle(hFile);
  if (!object) return FALSE;
  if (!object->file) return fail(EINVAL, Call::unlock, FALSE);
  uint64_t offset = join(dwFileOffsetLow, dwFileOffsetHigh);
  uint64_t length = join(nNumberOfBytesToUnlockLow, nNumberOfBytesToUnlockHigh);

  std::lock_guard guard(table_mutex());
  auto& locks = object->file->locks;
  for (auto range = locks.begin(); range != locks.end(); ++range) {
    if (range->offset == offset && range->length == length) {
      locks.erase(range);
      return TRUE;
    }
  }
  return fail(ENOLCK, Call::unlock, FALSE);
}

}  // extern "C"
