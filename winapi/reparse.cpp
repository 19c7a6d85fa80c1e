// FSCTL_GET_REPARSE_POINT for links opened with FILE_FLAG_OPEN_REPARSE_POINT:
// a link to a directory reads as a mount point, any other as a symbolic link.
#include "fs_common.h"

#include "error_mapping.h"
#include "handle_table.h"
#include "paths.h"

#include <winioctl.h>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <climits>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace winapi {
namespace {

constexpr size_t header_size = 8;  // tag, data length, reserved

void put16(std::vector<unsigned char>& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, 2); }
void put32(std::vector<unsigned char>& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// "." and ".." of an absolute host path resolved by text, as the target names it.
std::string lexically_absolute(const std::string& link_path, const std::string& target) {
  std::string joined = target;
  if (!target.starts_with('/')) {
    size_t slash = link_path.rfind('/');
    joined = (slash == std::string::npos ? std::string(".") : link_path.substr(0, slash)) + "/" + target;
  }
  DWORD error = 0;
  std::string rooted = "/" + joined;  // a relative link path stays on Z:
  if (joined.starts_with('/')) rooted = joined;
  auto full = full_path_name(rooted, &error);
  return full ? *full : windows_form(rooted);
}

std::vector<unsigned char> reparse_data(const std::string& link_path, const std::string& host_target, bool directory) {
  std::string target;
  append_windows_name(host_target, &target);
  std::u16string print = widen(target);
  std::u16string substitute = u"\\??\\" + widen(lexically_absolute(link_path, target));
  size_t path_buffer = directory ? 16 : 20;
  size_t substitute_bytes = substitute.size() * 2, print_bytes = print.size() * 2;
  // Both names keep a terminator after them, as Windows writes them.
  size_t total = path_buffer + substitute_bytes + 2 + print_bytes + 2;
  std::vector<unsigned char> b(total, 0);
  put32(b, 0, directory ? IO_REPARSE_TAG_MOUNT_POINT : IO_REPARSE_TAG_SYMLINK);
  put16(b, 4, static_cast<uint16_t>(total - header_size));
  put16(b, 8, 0);
  put16(b, 10, static_cast<uint16_t>(substitute_bytes));
  put16(b, 12, static_cast<uint16_t>(substitute_bytes + 2));
  put16(b, 14, static_cast<uint16_t>(print_bytes));
  if (!directory) put32(b, 16, target.starts_with('/') ? 0 : SYMLINK_FLAG_RELATIVE);
  std::memcpy(b.data() + path_buffer, substitute.data(), substitute_bytes);
  std::memcpy(b.data() + path_buffer + substitute_bytes + 2, print.data(), print_bytes);
  return b;
}

}  // namespace
}  // namespace winapi

using namespace winapi;

extern "C" BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID, DWORD, LPVOID lpOutBuffer,
                                       DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED) {
  auto object = descriptor_handle(hDevice);
  if (!object) return FALSE;
  if (dwIoControlCode != FSCTL_GET_REPARSE_POINT) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  struct stat st;
  if (::fstat(object->fd, &st) != 0) return fail(errno, Call::generic, FALSE);
  if (!S_ISLNK(st.st_mode) || !object->file) {
    SetLastError(ERROR_NOT_A_REPARSE_POINT);
    return FALSE;
  }
  char target[PATH_MAX];
  ssize_t n = ::readlinkat(object->fd, "", target, sizeof target);
  if (n < 0) return fail(errno, Call::generic, FALSE);
  const OpenFile& file = *object->file;
  struct stat pointed;
  bool directory = ::fstatat(file.directory_fd, file.name.c_str(), &pointed, 0) == 0 && S_ISDIR(pointed.st_mode);
  std::vector<unsigned char> data = reparse_data(file.key, std::string(target, static_cast<size_t>(n)), directory);
  // Windows: below the header nothing is returned; above it, what fits, with ERROR_MORE_DATA.
  if (nOutBufferSize < header_size || !lpOutBuffer) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  size_t copied = std::min<size_t>(data.size(), nOutBufferSize);
  std::memcpy(lpOutBuffer, data.data(), copied);
  if (lpBytesReturned) *lpBytesReturned = static_cast<DWORD>(copied);
  if (copied < data.size()) {
    SetLastError(ERROR_MORE_DATA);
    return FALSE;
  }
  return TRUE;
}
