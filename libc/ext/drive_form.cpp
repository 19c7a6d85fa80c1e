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
    bool after_separator = false;
    int i = 2;
    for (; path[i] != '\0'; ++i) {
      // The second byte of a double-byte character is never a separator.
      if (is_lead_byte(path[i])) {
        after_separator = false;
        if (path[++i] == '\0') break;
        continue;
      }
      if (!is_separator(path[i])) {
        after_separator = false;
        continue;
      }
      // An empty server or share name is no share.
      if (i == 2 || after_separator) return -1;
      if (++separators == 2) return i;
      after_separator = true;
    }
    // //server/share with nothing after the share name
    if (separators == 1 && !after_separator) return i;
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
