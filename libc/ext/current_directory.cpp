// The current directory, the current directory of each drive, and changing it.
#include <zav/errno.h>
#include <zav/path.h>
#include <zav/stdlib.h>
#include <zav/windows_version.h>

#include <windows.h>

#include <cstring>

namespace zav {

char** drive_directory_list = nullptr;

namespace {

constexpr std::size_t path_buffer = MAX_PATH + 1;

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Index of the first slash at or after `from`, or -1.
int next_slash(const char* path, int from) {
  for (int i = from; path[i] != '\0'; ++i) {
    if (is_lead_byte(path[i])) {
      if (path[++i] == '\0') return -1;
    } else if (path[i] == '/') {
      return i;
    }
  }
  return -1;
}

// Windows 95/98 report a network directory on a drive as x:\\srv\shr\dir; the
// drive means nothing there, so the name becomes //srv/shr\dir.
DWORD read_current_directory(char* buffer, DWORD size) {
  DWORD n = GetCurrentDirectoryA(size, buffer);
  if (n == 0 || n >= size || n <= 3 || !running_on_windows_95()) return n;
  normalise_path(buffer);
  if (buffer[1] != ':' || buffer[2] != '/' || buffer[3] != '/') return n;
  std::memmove(buffer, buffer + 2, n - 1);
  n -= 2;
  int server_end = next_slash(buffer, 2);
  if (server_end > 2) {
    int share_end = next_slash(buffer, server_end + 1);
    if (share_end > 0) buffer[share_end] = '\\';
  }
  return n;
}

// Compares environment names up to the '=' that ends each (after a leading '=').
bool same_name(const char* entry, const char* name) {
  std::size_t n = std::strlen(name);
  const char* end = std::strchr(entry + 1, '=');
  if (end == nullptr || static_cast<std::size_t>(end - entry) != n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (upper(entry[i]) != upper(name[i])) return false;
  return true;
}

}  // namespace

char* getcwd(char* buffer, std::size_t size) {
  char* allocated = nullptr;
  std::size_t capacity = size;
  if (buffer == nullptr) {
    capacity = size > path_buffer ? size : path_buffer;
    allocated = buffer = static_cast<char*>(malloc(capacity));
    if (buffer == nullptr) {
      fail_with(ENOMEM_);
      return nullptr;
    }
  }
  DWORD n = read_current_directory(buffer, static_cast<DWORD>(capacity));
  if (n == 0 || n >= size) {
    if (n == 0)
      set_errno_from_last_error();
    else
      fail_with(ERANGE_);
    free(allocated);
    return nullptr;
  }
  // Keeps the caller's spelling only when the search that finds the stored one fails.
  if (char* cased = true_case_path(buffer)) {
    std::strcpy(buffer, cased);
    free(cased);
  }
  if (file_system_type(buffer) & fold_names_to_lower_case) fold_to_lower_case(buffer);
  normalise_path(buffer);
  return buffer;
}

char* drive_directory(int letter) {
  char drive = upper(static_cast<char>(letter));
  if (drive_directory_list != nullptr) {
    for (char** entry = drive_directory_list; *entry != nullptr; ++entry) {
      // Only =X:= entries: the list also holds others such as =ExitCode=.
      const char* e = *entry;
      if (upper(e[1]) == drive && e[2] == ':' && e[3] == '=') return strdup(e + 4);
    }
  }
  char root[] = {drive, ':', '/', '\0'};
  return strdup(root);
}

char* drive_getcwd(const char* drive, char* buffer, std::size_t size) {
  if (drive == nullptr) return getcwd(buffer, size);
  char* saved = getcwd(nullptr, path_buffer);
  if (saved == nullptr) return nullptr;
  char* result = nullptr;
  if (chdir(drive) == 0) {
    result = getcwd(buffer, size);
    int e = errno_;
    if (chdir(saved) != 0) result = nullptr;
    else errno_ = e;
  }
  free(saved);
  return result;
}

int chdir(const char* path) {
  // A cut name could be another directory that exists.
  if (std::strlen(path) > MAX_PATH) return fail_with(ENAMETOOLONG_);
  char copy[path_buffer];
  std::strcpy(copy, path);
  if (copy[0] != '\0' && copy[1] == ':' && copy[0] >= 'a' && copy[0] <= 'z') copy[0] = upper(copy[0]);

  char* cased = true_case_path(copy);
  if (cased == nullptr) return fail_with(ENOMEM_);
  BOOL changed = SetCurrentDirectoryA(cased);
  free(cased);
  if (!changed) return set_errno_from_last_error();

  char now[path_buffer];
  DWORD n = read_current_directory(now, MAX_PATH);
  if (n == 0) return set_errno_from_last_error();
  if (n >= MAX_PATH) return fail_with(ENAMETOOLONG_);

  // A network directory belongs to no drive.
  if (drive_directory_list != nullptr && now[1] == ':') {
    char name[] = {'=', upper(now[0]), ':', '\0'};
    if (!set_drive_directory(name, now)) return -1;
  }
  return 0;
}

int set_drive_directory(const char* name, const char* value) {
  if (!SetEnvironmentVariableA(name, value)) {
    set_errno_from_last_error();
    return 0;
  }
  std::size_t name_length = std::strlen(name);
  std::size_t value_length = std::strlen(value);
  char* entry = static_cast<char*>(malloc(name_length + value_length + 2));
  if (entry == nullptr) return 0;
  std::memcpy(entry, name, name_length);
  entry[name_length] = '=';
  std::memcpy(entry + name_length + 1, value, value_length + 1);

  std::size_t count = 0;
  if (drive_directory_list != nullptr) {
    for (; drive_directory_list[count] != nullptr; ++count) {
      if (same_name(drive_directory_list[count], name)) {
        free(drive_directory_list[count]);
        drive_directory_list[count] = entry;
        return 1;
      }
    }
  }
  auto grown = static_cast<char**>(realloc(drive_directory_list, (count + 2) * sizeof(char*)));
  if (grown == nullptr) {
    free(entry);
    return 0;
  }
  grown[count] = entry;
  grown[count + 1] = nullptr;
  drive_directory_list = grown;
  return 1;
}

}  // namespace zav
