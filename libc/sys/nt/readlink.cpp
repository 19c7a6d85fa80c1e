// readlink: the print name of a junction, symbolic link or other name-surrogate
// reparse point.
#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <cstring>

#include <zav/errno.h>
#include <zav/stat_nt.h>
#include <zav/stdlib.h>
#include <zav/unistd.h>
#include <zav/wide.h>

namespace zav {

namespace {

// REPARSE_DATA_BUFFER lives in the driver kit, not in the user-mode headers, so the
// layout is read by offset. Both layouts begin with tag (4 bytes), data length (2),
// reserved (2), then substitute name offset and length and print name offset and
// length (2 each, relative to the path buffer). A symbolic link has a 32-bit flags
// word before its path buffer; a mount point does not.
constexpr std::size_t reparse_buffer_size = 16404;
constexpr std::size_t print_name_offset_at = 12;
constexpr std::size_t print_name_length_at = 14;
constexpr std::size_t mount_point_path_buffer_at = 16;
constexpr std::size_t symbolic_link_path_buffer_at = 20;
constexpr DWORD name_surrogate_bit = 0x20000000;

uint16_t read_u16(const unsigned char* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

uint32_t read_u32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

int empty_result(WCHAR* buffer, int code) {
  buffer[0] = 0;
  errno_ = code;
  return 0;
}

}  // namespace

int readlink_w(const WCHAR* path, WCHAR* buffer, int size) {
  HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_OPEN_NO_RECALL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return set_errno_from_last_error();

  alignas(8) unsigned char data[reparse_buffer_size];
  DWORD returned = 0;
  if (!DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, data, sizeof data, &returned, nullptr)) {
    set_errno_from_last_error();
    CloseHandle(h);
    return -1;
  }
  CloseHandle(h);

  const DWORD tag = returned >= 4 ? read_u32(data) : 0;
  if (!(tag & name_surrogate_bit)) return fail_with(EINVAL_);
  const std::size_t path_buffer_at =
      tag == IO_REPARSE_TAG_SYMLINK ? symbolic_link_path_buffer_at : mount_point_path_buffer_at;
  if (returned < path_buffer_at) return fail_with(EINVAL_);

  const std::size_t offset = read_u16(data + print_name_offset_at);
  const std::size_t length = read_u16(data + print_name_length_at);
  if (length == 0) return empty_result(buffer, EINVAL_);
  if (size < 0 || length >= static_cast<std::size_t>(size)) return empty_result(buffer, ENAMETOOLONG_);
  // A print name that reaches past what the system returned is a damaged record.
  if (path_buffer_at + offset + length > returned) return fail_with(EINVAL_);

  const std::size_t count = length / 2;
  std::memcpy(buffer, data + path_buffer_at + offset, count * sizeof(WCHAR));
  buffer[count] = 0;
  return static_cast<int>(count);
}

long readlink(const char* path, char* buffer, std::size_t size) {
  if (size > 0x7FFFFFFF / 2) return fail_with(EINVAL_);
  WCHAR* wide_path = widen_path(path);
  if (wide_path == nullptr) return -1;
  auto* target = static_cast<WCHAR*>(malloc(2 * size + sizeof(WCHAR)));
  if (target == nullptr) {
    free(wide_path);
    return -1;
  }
  int r = readlink_w(wide_path, target, static_cast<int>(size));
  free(wide_path);
  if (r == 0) r = -1;
  if (r > 0) r = narrow_from_wide(buffer, target, static_cast<int>(size));
  free(target);
  return r;
}

}  // namespace zav
