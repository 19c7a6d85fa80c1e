// The process's handle table: HANDLE values are small multiples of 4 that index
// it, so a closed or never-opened handle is recognised rather than trusted.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include <windows.h>

namespace winapi {

// Access as the sharing rules see it.
constexpr DWORD access_read = 1;
constexpr DWORD access_write = 2;
constexpr DWORD access_delete = 4;

struct LockRange {
  uint64_t offset;
  uint64_t length;
};

// One CreateFileA open: shared by the handles DuplicateHandle makes from it, like
// a Windows file object. The last handle to go takes the file with it when it was
// opened with FILE_FLAG_DELETE_ON_CLOSE.
struct OpenFile {
  dev_t device = 0;
  ino_t inode = 0;
  DWORD access = 0;  // access_read | access_write | access_delete
  DWORD share = 0;   // FILE_SHARE_*
  bool delete_on_close = false;
  // For a link and for a file that goes with its last handle: the directory that
  // holds it and its name there, so that it is read and removed where it was opened.
  int directory_fd = -1;
  std::string name;
  std::string key;  // the absolute host path it was opened by, for the names a link reports
  std::vector<LockRange> locks;  // guarded by table_mutex()

  OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile();
};

enum class Kind { descriptor, process };

struct HandleObject {
  Kind kind = Kind::descriptor;
  int fd = -1;
  bool can_read = false;
  bool can_write = false;
  bool inherit = false;
  bool console_input = false;
  std::shared_ptr<OpenFile> file;  // null for pipes and devices
};

// Guards the table and the lock lists of open files.
std::mutex& table_mutex();

HANDLE insert_handle(HandleObject object);

// A copy of the handle's object, or nothing (last error set to ERROR_INVALID_HANDLE)
// for a handle that is not open or has no descriptor.
std::optional<HandleObject> descriptor_handle(HANDLE handle);

// Every open file of this process on the given file; caller holds table_mutex().
std::vector<std::shared_ptr<OpenFile>> open_files_locked(dev_t device, ino_t inode);

// Whether the process has any file open: only then can sharing refuse anything.
bool files_open();

// Whether a new open with this access and share mode is compatible with the
// opens the process already has of the file.
bool sharing_allows(dev_t device, ino_t inode, DWORD access, DWORD share);

}  // namespace winapi
