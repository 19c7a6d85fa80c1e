// The drive form /c= for any path, and the length of a path's root prefix.
#include <zav/path.h>

#include <windows.h>

#include <cstring>

namespace zav {

char* convert_drive_form_only(char* path) {
  if (is_separator(path[0])) convert_drive_form(path, 0);
  return path;
}

int root_prefix_length(const char* path) {
  if (is_separator(path[0]) && is_separator(path[1])) {
    if (path[2] == '\0') return -1;
    int separators = 0;
    bool ends_in_separator = false;
    int i = 2;
    for (; path[i] != '\0'; ++i) {
      // The second byte of a double-byte character is never a separator.
      ends_in_separator = !is_lead_byte(path[i]) && is_separator(path[i]);
      if (!ends_in_separator) {
        if (is_lead_byte(path[i]) && path[++i] == '\0') break;
        continue;
      }
      if (++separators == 2) return i;
    }
    // //server/share with nothing after the share name
    if (separators == 1 && !ends_in_separator) return i;
    return -1;
  }
  for (int i = 0; path[i] != '\0'; ++i) {
    if (is_lead_byte(path[i])) {
      if (path[++i] == '\0') break;
    } else if (path[i] == ':') {
      return i + 1;
    }
  }
  return -1;
}

}  // namespace zav
