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

void fold_to_lower_case(char* path) {
  for (char* p = path; *p != '\0'; ++p) {
    if (is_lead_byte(*p)) {
      if (*++p == '\0') return;
    } else if (*p >= 'A' && *p <= 'Z') {
      *p = static_cast<char>(*p - 'A' + 'a');
    }
  }
}

void drop_trailing_slash(char* path) {
  const std::size_t n = std::strlen(path);
  if (n > 0 && path[n - 1] == '/' && n != 1 && n != 3 && !(n >= 2 && path[n - 2] == ':')) path[n - 1] = '\0';
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

// /c= or /c=/..., after a first separator.
bool has_drive_form(const char* path) {
  return path[1] != '\0' && !is_lead_byte(path[1]) && path[2] == '=' && (path[3] == '/' || path[3] == '\0');
}

bool is_dot_or_dot_dot(const char* component, std::size_t length) {
  return (length == 1 || length == 2) && component[0] == '.' && component[length - 1] == '.';
}

}  // namespace

char* convert_drive_form(char* path, int convert_backslashes) {
  if (!has_drive_form(path)) {
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

bool is_root_or_dot_name(const char* path) {
  std::size_t prefix = 0;
  if (slash_drive_form && path[0] == '/' && has_drive_form(path)) {
    prefix = 3;
  } else if (path[0] != '\0' && !is_lead_byte(path[0]) && path[1] == ':') {
    prefix = 2;
  } else if (is_separator(path[0]) && is_separator(path[1])) {
    // Without a share name only separators after the first two make a root.
    int share = root_prefix_length(path);
    prefix = share > 0 ? static_cast<std::size_t>(share) : 2;
  }
  bool separated = prefix > 0;
  const char* last = nullptr;
  std::size_t last_length = 0;
  for (const char* p = path + prefix; *p != '\0';) {
    if (is_separator(*p)) {
      separated = true;
      ++p;
      continue;
    }
    last = p;
    while (*p != '\0' && !is_separator(*p)) p += is_lead_byte(*p) && p[1] != '\0' ? 2 : 1;
    last_length = static_cast<std::size_t>(p - last);
  }
  if (last == nullptr) return separated;
  return is_dot_or_dot_dot(last, last_length);
}

}  // namespace zav
