// glob: expands a pattern one directory level at a time, reading each directory
// that a wildcard component names with the directory streams and testing its
// names with fnmatch.
#include <zav/glob.h>

#include <cstdlib>
#include <cstring>

#include <zav/dirent.h>
#include <zav/errno.h>
#include <zav/fnmatch.h>
#include <zav/path.h>
#include <zav/stdlib.h>

namespace zav {

namespace {

constexpr int initial_capacity = 8;

using error_function = int (*)(const char* path, int error);

class Expansion {
 public:
  Expansion(const char* pattern, int flags, error_function errfunc, glob_t* pglob)
      : pattern_(pattern), flags_(flags), errfunc_(errfunc), pglob_(pglob) {
    // One look at DUALCASE for the whole expansion rather than one per name read.
    match_flags_ = FNM_PERIOD | (getenv("DUALCASE") != nullptr ? FNM_IGNORE_DUALCASE : FNM_CASEFOLD);
    if (flags & GLOB_NOESCAPE) match_flags_ |= FNM_NOESCAPE;
  }
  Expansion(const Expansion&) = delete;
  Expansion& operator=(const Expansion&) = delete;
  ~Expansion() {
    if (buffer_ != nullptr) free(buffer_);
  }

  int run() {
    if (!reserve(std::strlen(pattern_) + 1)) return GLOB_NOSPACE;
    return expand(0, 0);
  }

 private:
  bool reserve(std::size_t size) {
    if (size <= capacity_) return true;
    auto* grown = static_cast<char*>(realloc(buffer_, size));
    if (grown == nullptr) return false;
    buffer_ = grown;
    capacity_ = size;
    return true;
  }

  int store_built(std::size_t length) {
    buffer_[length] = '\0';
    char* copy = strdup(buffer_);
    if (copy == nullptr) return GLOB_NOSPACE;
    if (glob_store(pglob_, copy) != 0) {
      free(copy);
      return GLOB_NOSPACE;
    }
    return 0;
  }

  // Copies the pattern from `from` into the buffer after the `length` bytes
  // built so far, up to the first component that holds a wildcard.
  int expand(std::size_t from, std::size_t length) {
    std::size_t prefix = length;
    std::size_t component = from;
    bool wildcard = false;
    for (std::size_t p = from;;) {
      const char c = pattern_[p];
      // A colon as the second character ends a drive, as a separator would.
      const bool separator = is_separator(c) || (c == ':' && length == 1);
      if (c == '\0' || separator) {
        if (wildcard) return read_directory(prefix, component, p);
        if (c == '\0') return store_built(length);
        buffer_[length++] = c;
        ++p;
        prefix = length;
        component = p;
        continue;
      }
      if (c == '*' || c == '?' || c == '[') wildcard = true;
      buffer_[length++] = c;
      ++p;
      if (is_lead_byte(c) && pattern_[p] != '\0') buffer_[length++] = pattern_[p++];
    }
  }

  // The directory that the first `prefix` bytes of the buffer name: the prefix
  // without its separator, except for a root (/, x:/) or a bare drive (x:).
  // Terminates it in place and returns it.
  const char* directory_of(std::size_t prefix) {
    if (prefix == 0) return ".";
    const bool drive = prefix >= 2 && buffer_[1] == ':' && prefix <= 3;
    const std::size_t length = prefix == 1 || drive ? prefix : prefix - 1;
    buffer_[length] = '\0';
    return buffer_;
  }

  int read_directory(std::size_t prefix, std::size_t component, std::size_t close) {
    const char separator = prefix > 0 ? buffer_[prefix - 1] : '\0';
    const char* directory = directory_of(prefix);
    DIR* dir = opendir(directory);
    if (dir == nullptr) {
      if (errno_ == ENOMEM_) return GLOB_NOSPACE;
      if (errfunc_ != nullptr && errfunc_(directory, errno_) != 0) return GLOB_ABORTED;
      return (flags_ & GLOB_ERR) ? GLOB_ABORTED : 0;
    }
    if (prefix > 0) buffer_[prefix - 1] = separator;

    const std::size_t component_length = close - component;
    auto* component_pattern = static_cast<char*>(malloc(component_length + 1));
    const std::size_t rest_length = std::strlen(pattern_ + close);
    int result = 0;
    if (component_pattern == nullptr) {
      result = GLOB_NOSPACE;
    } else {
      std::memcpy(component_pattern, pattern_ + component, component_length);
      component_pattern[component_length] = '\0';
      while (struct dirent* entry = readdir(dir)) {
        const int matched = fnmatch(component_pattern, entry->d_name, match_flags_);
        if (matched == FNM_NOSPACE) {
          result = GLOB_NOSPACE;
          break;
        }
        if (matched != 0) continue;
        // Sized for each name: a double-byte name may be longer than 255 bytes.
        const std::size_t name_length = std::strlen(entry->d_name);
        if (!reserve(prefix + name_length + rest_length + 1)) {
          result = GLOB_NOSPACE;
          break;
        }
        std::memcpy(buffer_ + prefix, entry->d_name, name_length);
        result = expand(close, prefix + name_length);
        if (result != 0) break;
      }
    }
    free(component_pattern);
    closedir(dir);
    return result;
  }

  const char* pattern_;
  int flags_;
  error_function errfunc_;
  glob_t* pglob_;
  int match_flags_;
  char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
};

int compare_paths(const void* a, const void* b) {
  return std::strcmp(*static_cast<char* const*>(a), *static_cast<char* const*>(b));
}

}  // namespace

int glob(const char* pattern, int flags, error_function errfunc, glob_t* pglob) {
  if (!(flags & GLOB_DOOFFS)) pglob->gl_offs = 0;
  if (!(flags & GLOB_APPEND)) {
    pglob->gl_pathc = 0;
    pglob->gl_capacity = pglob->gl_offs + initial_capacity;
    pglob->gl_pathv = static_cast<char**>(malloc(sizeof(char*) * pglob->gl_capacity));
    if (pglob->gl_pathv == nullptr) {
      pglob->gl_first = nullptr;
      pglob->gl_capacity = 0;
      return GLOB_NOSPACE;
    }
  }
  pglob->gl_first = pglob->gl_pathv + pglob->gl_offs;

  const int before = pglob->gl_pathc;
  int result = Expansion(pattern, flags, errfunc, pglob).run();
  const int added = pglob->gl_pathc - before;
  if (result != GLOB_ABORTED) {
    if (added > 1 && !(flags & GLOB_NOSORT))
      std::qsort(pglob->gl_first + before, added, sizeof(char*), compare_paths);
    if (result == 0 && added == 0) {
      if (flags & GLOB_NOCHECK) {
        char* copy = strdup(pattern);
        if (copy == nullptr || glob_store(pglob, copy) != 0) {
          free(copy);
          result = GLOB_NOSPACE;
        }
      } else {
        result = GLOB_NOMATCH;
      }
    }
  }
  // Also after a failure: whatever was stored stays a well-formed vector.
  pglob->gl_first[pglob->gl_pathc] = nullptr;
  return result;
}

}  // namespace zav
