// rename_ex: a file deleted at the next system start, through MoveFileEx on
// Windows NT and WININIT.INI on Windows 95/98.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include <zav/errno.h>
#include <zav/path.h>
#include <zav/removal.h>
#include <zav/stdlib.h>
#include <zav/unistd.h>
#include <zav/windows_version.h>

namespace zav {

namespace {

char absolute_buffer[MAX_PATH];

constexpr DWORD section_step = 512;
constexpr DWORD section_limit = 2048;
constexpr char wininit_name[] = "\\WININIT.INI";

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (fold(*a) != fold(*b)) return false;
  }
  return *a == *b;
}

// Windows 95 wants a network name in backslash form up to the share.
void win95_network_form(char* name) {
  if (!is_separator(name[0]) || !is_separator(name[1])) return;
  name[0] = name[1] = '\\';
  char* slash = std::strchr(name + 2, '/');
  if (slash != nullptr) *slash = '\\';
}

int delay_on_windows_95(const char* name) {
  char short_name[MAX_PATH];
  const DWORD n = GetShortPathNameA(name, short_name, sizeof short_name);
  if (n == 0) return set_errno_from_last_error();
  if (n >= sizeof short_name) return fail_with(ENAMETOOLONG_);

  char list_file[MAX_PATH + sizeof wininit_name];
  const UINT w = GetWindowsDirectoryA(list_file, MAX_PATH);
  if (w == 0) return set_errno_from_last_error();
  if (w >= MAX_PATH) return fail_with(ENAMETOOLONG_);
  std::memcpy(list_file + w, wininit_name, sizeof wininit_name);
  return request_deletion_in_wininit(short_name, list_file);
}

// The [Rename] section in a new buffer, or null when it is larger than the
// runtime reads or memory runs out.
char* read_rename_section(const char* list_file, DWORD* count) {
  char* section = nullptr;
  for (DWORD size = section_step; size <= section_limit; size += section_step) {
    char* grown = static_cast<char*>(realloc(section, size));
    if (grown == nullptr) break;
    section = grown;
    // A count of size - 2 means the section was cut to fit.
    *count = GetPrivateProfileSectionA("Rename", section, size, list_file);
    if (*count != size - 2) return section;
  }
  free(section);
  return nullptr;
}

}  // namespace

int request_deletion_in_wininit(const char* short_name, const char* list_file) {
  WritePrivateProfileStringA("Rename", "NUL", short_name, list_file);

  const int entry_size = std::snprintf(nullptr, 0, "%s=%s", "NUL", short_name) + 1;
  auto* entry = static_cast<char*>(malloc(static_cast<std::size_t>(entry_size)));
  if (entry == nullptr) return set_errno_from_last_error();
  std::snprintf(entry, static_cast<std::size_t>(entry_size), "%s=%s", "NUL", short_name);

  DWORD count = 0;
  char* section = read_rename_section(list_file, &count);
  if (section == nullptr) {
    free(entry);
    return set_errno_from_last_error();
  }

  bool found = false;
  const char* end = section + count;
  for (const char* line = section; line < end && *line != '\0'; line += std::strlen(line) + 1) {
    if (equal_ignoring_case(line, entry)) {
      found = true;
      break;
    }
  }
  free(section);
  free(entry);
  if (!found) return set_errno_from_last_error();
  errno_ = 0;
  return 0;
}

int rename_ex(const char* old_name, const char* new_name, unsigned flags) {
  if (new_name != nullptr || flags != MOVEFILE_DELAY_UNTIL_REBOOT) return fail_with(ENOSYS_);

  char* own = strdup(old_name);
  if (own == nullptr) return -1;
  const int r = absolute_name(nullptr, own, absolute_buffer, sizeof absolute_buffer);
  free(own);
  if (r != 0) return -1;
  normalise_path(absolute_buffer);

  if (running_on_windows_95()) {
    win95_network_form(absolute_buffer);
    return delay_on_windows_95(absolute_buffer);
  }
  if (!MoveFileExA(absolute_buffer, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
    return set_errno_from_last_error();
  }
  errno_ = 0;
  return 0;
}

}  // namespace zav
