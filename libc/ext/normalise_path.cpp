#include <zav/path.h>
#include <zav/startup.h>

#include <windows.h>

#include <cstring>

namespace zav {

int slash_drive_form = 0;

// No code page has lead bytes below 0x81, so ASCII never asks the system; on
// some hosts that question costs more than the whole loop around it.
bool is_lead_byte(char c) {
  return static_cast<unsigned char>(c) >= 0x81 && IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE;
}

namespace {

void backslashes_to_slashes(char* p) {
  for (; *p != '\0'; ++p) {
    if (is_lead_byte(*p)) {
      if (*++p == '\0') return;
    } else if (*p == '\\') {
      *p = '/';
    }
  }
}

}  // namespace

char* convert_drive_form(char* path, int convert_backslashes) {
  bool form = path[1] != '\0' && !is_lead_byte(path[1]) && path[2] == '=' && (path[3] == '/' || path[3] == '\0');
  if (!form) {
    if (convert_backslashes) backslashes_to_slashes(path);
    return path;
  }
  path[0] = path[1];
  path[1] = ':';
  if (path[3] == '\0') {
    path[2] = '\0';
    return path;
  }
  path[2] = '/';
  char* to = path + 3;
  for (const char* from = path + 4; *from != '\0';) {
    if (is_lead_byte(*from)) {
      *to++ = *from++;
      if (*from == '\0') break;
      *to++ = *from++;
    } else {
      char c = *from++;
      *to++ = convert_backslashes && c == '\\' ? '/' : c;
    }
  }
  *to = '\0';
  return path;
}

char* normalise_path(char* path) {
  if (slash_drive_form && path[0] == '/' && !is_lead_byte(path[0])) return convert_drive_form(path, 1);
  backslashes_to_slashes(path);
  return path;
}

}  // namespace zav
