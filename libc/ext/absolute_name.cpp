// The canonical absolute form of a path name.
#include <zav/errno.h>
#include <zav/path.h>
#include <zav/stdlib.h>

#include <windows.h>

#include <cstring>

namespace zav {

namespace {

constexpr std::size_t path_buffer = MAX_PATH + 1;


// c:, c:. and c:./... name the drive's current directory.
bool names_drive_directory(const char* p) {
  return has_drive_prefix(p) && (p[2] == '\0' || (p[2] == '.' && (p[3] == '\0' || p[3] == '/')));
}

// Offset of the last slash at or after `from`, honouring double-byte characters.
std::size_t last_slash(const char* text, std::size_t from, std::size_t length) {
  std::size_t found = from;
  for (std::size_t i = from; i < length; ++i) {
    if (is_lead_byte(text[i]))
      ++i;
    else if (text[i] == '/')
      found = i;
  }
  return found;
}

// Whether the text ends in a slash that is not the second byte of a double-byte character.
bool ends_in_slash(const char* text, std::size_t length) {
  bool slash = false;
  for (std::size_t i = 0; i < length; ++i) {
    slash = text[i] == '/';
    if (is_lead_byte(text[i])) {
      slash = false;
      ++i;
    }
  }
  return slash;
}

}  // namespace

int absolute_name(const char* base, char* path, char* buffer, std::size_t size) {
  if (path == nullptr || buffer == nullptr || path == buffer) return fail_with(EINVAL_);
  if (size < 3) return fail_with(ERANGE_);
  normalise_path(path);

  char rewritten[path_buffer];
  if (names_drive_directory(path)) {
    char* directory = drive_directory(path[0]);
    if (directory == nullptr) return -1;
    normalise_path(directory);
    const char* rest = path + (path[2] == '.' ? 3 : 2);
    std::size_t d = std::strlen(directory), r = std::strlen(rest);
    bool fits = d + r < sizeof rewritten;
    if (fits) {
      std::memcpy(rewritten, directory, d);
      std::memcpy(rewritten + d, rest, r + 1);
    }
    free(directory);
    if (!fits) return fail_with(ERANGE_);
    path = rewritten;
  }

  const char* rest = path;
  bool explicit_prefix = true;
  if (path[0] == '/' && path[1] == '/') {
    int root = root_prefix_length(path);
    if (root < 0) return fail_with(ENOENT_);
    if (static_cast<std::size_t>(root) >= size - 1) return fail_with(ERANGE_);
    std::memcpy(buffer, path, root);
    buffer[root] = '\0';
    rest = path + root;
  } else if (has_drive_prefix(path) && path[2] == '/') {
    buffer[0] = path[0];
    buffer[1] = ':';
    buffer[2] = '\0';
    rest = path + 2;
  } else if (has_drive_prefix(path)) {
    char drive[] = {path[0], ':', '\0'};
    if (drive_getcwd(drive, buffer, size) == nullptr) return -1;
    rest = path + 2;
  } else {
    explicit_prefix = false;
    if (base != nullptr && *base != '\0') {
      if (!has_drive_prefix(base) && !(is_separator(base[0]) && is_separator(base[1]))) return fail_with(EINVAL_);
      if (has_drive_prefix(base) && base[2] != '\0' && !is_separator(base[2])) return fail_with(EINVAL_);
      if (std::strlen(base) >= size) return fail_with(ERANGE_);
      std::strcpy(buffer, base);
      normalise_path(buffer);
    } else {
      if (getcwd(buffer, size) == nullptr) return -1;
      if (base != nullptr) {
        int root = root_prefix_length(buffer);
        if (root >= 0) buffer[root] = '\0';
      }
    }
  }

  std::size_t length = std::strlen(buffer);
  if (ends_in_slash(buffer, length)) buffer[--length] = '\0';
  if (*rest == '/') {
    if (!explicit_prefix) {
      int root = root_prefix_length(buffer);
      if (root >= 0) buffer[length = root] = '\0';
    }
    ++rest;
  }
  int root_length = root_prefix_length(buffer);
  std::size_t root = root_length > 0 ? static_cast<std::size_t>(root_length) : 0;

  while (*rest != '\0') {
    while (*rest == '/') ++rest;
    if (*rest == '\0') break;
    const char* end = rest;
    while (*end != '\0' && *end != '/') {
      if (is_lead_byte(*end) && end[1] != '\0') ++end;
      ++end;
    }
    std::size_t n = static_cast<std::size_t>(end - rest);
    if (n == 1 && rest[0] == '.') {
      // nothing to add
    } else if (n == 2 && rest[0] == '.' && rest[1] == '.') {
      if (length <= root) return fail_with(ENOENT_);
      length = last_slash(buffer, root, length);
      buffer[length] = '\0';
    } else {
      if (length + 1 + n >= size - 2) return fail_with(ERANGE_);
      buffer[length++] = '/';
      std::memcpy(buffer + length, rest, n);
      length += n;
      buffer[length] = '\0';
    }
    rest = end;
  }

  if (length == 0 || (length == 2 && buffer[1] == ':')) {
    // The closing slash needs room of its own: the prefix may fill the buffer.
    if (length + 1 >= size) return fail_with(ERANGE_);
    buffer[length++] = '/';
  }
  buffer[length] = '\0';
  errno_ = 0;
  return 0;
}

}  // namespace zav
