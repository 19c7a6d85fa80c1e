// Volume roots and volume information, and the file-system type that decides
// whether names are folded to lower case.
#include <zav/path.h>
#include <zav/system_call.h>
#include <zav/windows_version.h>

#include <windows.h>

#include <cstring>

namespace zav {

namespace {

constexpr std::size_t path_buffer = MAX_PATH + 1;
constexpr int fold = 249;


// Index of the first separator at or after `from`, or -1.
int next_separator(const char* path, int from) {
  for (int i = from; path[i] != '\0'; ++i) {
    if (is_lead_byte(path[i])) {
      if (path[++i] == '\0') return -1;
    } else if (is_separator(path[i])) {
      return i;
    }
  }
  return -1;
}

// \\server\share\ of a network path into `out`: false when the server has no
// separator after it (ERROR_INVALID_PARAMETER) or the result does not fit
// (ERROR_INSUFFICIENT_BUFFER).
bool network_root(const char* path, char* out, std::size_t size) {
  int server_end = next_separator(path, 2);
  if (server_end < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  int share_end = next_separator(path, server_end + 1);
  std::size_t n = share_end >= 0 ? static_cast<std::size_t>(share_end) : std::strlen(path);
  if (n + 2 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  std::memcpy(out, path, n);
  out[0] = out[1] = out[server_end] = '\\';
  out[n] = '\\';
  out[n + 1] = '\0';
  return true;
}

// Older systems lack it.
SystemCall<BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD)> volume_path_name{"kernel32.dll", "GetVolumePathNameA"};

}  // namespace

char* unc_for_win95(char* path) {
  normalise_path(path);
  if (!running_on_windows_95() || path[0] != '/' || path[1] != '/') return path;
  path[0] = path[1] = '\\';
  for (char* p = path + 2; *p != '\0'; ++p) {
    if (is_lead_byte(*p)) {
      if (*++p == '\0') break;
    } else if (*p == '/') {
      *p = '\\';
      break;
    }
  }
  return path;
}

int volume_root(const char* path, char* buffer, std::size_t size) {
  char converted[path_buffer];
  bool drive_form = false;
  if (is_separator(path[0]) && std::strlen(path) < sizeof converted) {
    std::strcpy(converted, path);
    convert_drive_form_only(converted);
    drive_form = converted[1] == ':';
  }
  const char* name = drive_form ? converted : path;

  if (auto function = volume_path_name.get())
    return function(name, buffer, static_cast<DWORD>(size)) ? 1 : 0;

  char full[path_buffer];
  if (!drive_form) {
    DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (n == 0) return 0;
    if (n >= sizeof full) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return 0;
    }
    name = full;
  }
  if (name[0] == '\\' && name[1] == '\\') return network_root(name, buffer, size) ? 1 : 0;
  if (size < 4) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  buffer[0] = name[0];
  buffer[1] = ':';
  buffer[2] = '\\';
  buffer[3] = '\0';
  return 1;
}

BOOL volume_information(const char* path, LPSTR volume_name, DWORD volume_name_size,
                        LPDWORD serial_number, LPDWORD maximum_component_length,
                        LPDWORD file_system_flags, LPSTR file_system_name,
                        DWORD file_system_name_size) {
  char root[path_buffer];
  if (path != nullptr && !volume_root(path, root, sizeof root)) return FALSE;
  return GetVolumeInformationA(path != nullptr ? root : nullptr, volume_name, volume_name_size,
                               serial_number, maximum_component_length, file_system_flags,
                               file_system_name, file_system_name_size);
}

int file_system_type(const char* path) {
  char root[path_buffer];
  const char* examined = nullptr;
  if (has_drive_prefix(path)) {
    root[0] = path[0];
    root[1] = ':';
    root[2] = '\\';
    root[3] = '\0';
    examined = root;
  } else if (is_separator(path[0]) && is_separator(path[1])) {
    if (!network_root(path, root, sizeof root)) return fold;
    examined = root;
  }
  DWORD flags = 0, maximum_length = 0;
  char name[26];
  if (!GetVolumeInformationA(examined, nullptr, 0, nullptr, &maximum_length, &flags, name, sizeof name))
    return fold;
  if (flags & FS_CASE_IS_PRESERVED) return 0;
  if (std::strcmp(name, "AS400") == 0) return 0;
  return maximum_length == 12 ? fold : 0;
}

}  // namespace zav
