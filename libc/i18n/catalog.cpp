// catopen/catgets/catclose over the "<gencat>" format, and the search along NLSPATH.
#include <zav/errno.h>
#include <zav/fcntl.h>
#include <zav/locale.h>
#include <zav/nl_types.h>
#include <zav/path.h>
#include <zav/stdlib.h>
#include <zav/unistd.h>

#include <windows.h>

#include <cstring>

namespace zav {

namespace {

constexpr char header[9] = {'<', 'g', 'e', 'n', 'c', 'a', 't', '>', '\0'};
constexpr int page_entries = 1024;
constexpr int text_size = 2049;
constexpr std::size_t path_size = 260;

std::uint32_t word_at(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::int32_t le32(const unsigned char* p) { return static_cast<std::int32_t>(word_at(p)); }

// Moves to `offset`, an offset read from the file. One before the header, or too
// large for a seek, is refused: a failed lseek gives -1 and rewinds, so its result
// is compared with what was asked.
bool seek_to(int fd, std::uint32_t offset) {
  if (offset < sizeof header || offset > 0x7fffffffu) return false;
  const long where = static_cast<long>(offset);
  return lseek(fd, where, SEEK_SET_) == where;
}

// One cache for all catalogs: the selected set and one page of its message index.
struct lookup_cache {
  nl_catd catalog = nullptr;
  int set = 0;
  std::uint32_t index_offset = 0;
  int count = 0;
  int fd = -1;
  int page_first = -1;  // first entry of the loaded page, -1 when none is loaded
  unsigned char page[page_entries * 8];
  char text[text_size + 1];
};
lookup_cache cache;

bool read_exact(int fd, void* buffer, std::size_t n) { return read(fd, buffer, n) == static_cast<long>(n); }

nl_catd open_failed(catalog_descriptor* catd, int fd) {
  int saved = errno_;
  if (fd >= 0) close(fd);
  if (catd != nullptr) {
    free(catd->set_index);
    free(catd);
  }
  errno_ = saved;
  return CATD_FAILED_;
}

// The key of entry `j` of the set's message index, paging it in when needed.
bool message_entry(int j, std::int32_t* number, std::uint32_t* offset) {
  int first = j - j % page_entries;
  if (cache.page_first != first) {
    cache.page_first = -1;
    int entries = cache.count - first < page_entries ? cache.count - first : page_entries;
    if (!seek_to(cache.fd, cache.index_offset + 8u * static_cast<std::uint32_t>(first))) return false;
    if (!read_exact(cache.fd, cache.page, 8u * static_cast<unsigned>(entries))) return false;
    cache.page_first = first;
  }
  const unsigned char* entry = cache.page + 8 * (j - first);
  *number = le32(entry);
  *offset = word_at(entry + 4);
  return true;
}

bool select_set(nl_catd catd, int set) {
  if (cache.catalog == catd && cache.set == set) return true;
  int low = 0, high = catd->set_count;
  while (low < high) {
    int mid = low + (high - low) / 2;
    std::int32_t key = le32(catd->set_index + 8 * mid);
    if (set == key) {
      const std::uint32_t start = word_at(catd->set_index + 8 * mid + 4);
      const std::uint32_t end =
          mid + 1 < catd->set_count ? word_at(catd->set_index + 8 * (mid + 1) + 4) : catd->set_index_offset;
      // A message index must lie between the header and the set index; one that
      // does not, or whose offsets are out of order, leaves the set empty.
      const bool inside = sizeof header <= start && start <= end && end <= catd->set_index_offset;
      cache.catalog = catd;
      cache.set = set;
      cache.index_offset = start;
      cache.count = inside ? static_cast<int>((end - start) / 8) : 0;
      cache.fd = catd->fd;
      cache.page_first = -1;
      return true;
    }
    if (set < key)
      high = mid;
    else
      low = mid + 1;
  }
  return false;
}

const char* lookup(nl_catd catd, int set, int number) {
  if (!select_set(catd, set)) return nullptr;
  int low = 0, high = cache.count;
  while (low < high) {
    int mid = low + (high - low) / 2;
    std::int32_t key;
    std::uint32_t offset;
    if (!message_entry(mid, &key, &offset)) return nullptr;
    if (number == key) {
      // Past the end of the file, read gives nothing.
      if (!seek_to(cache.fd, offset)) return nullptr;
      long got = read(cache.fd, cache.text, text_size);
      if (got <= 0) return nullptr;
      cache.text[got] = '\0';
      return cache.text;
    }
    if (number < key)
      high = mid;
    else
      low = mid + 1;
  }
  return nullptr;
}

// Appends `n` bytes at `*at`; false when the path would reach path_size.
bool append(char* buffer, std::size_t* at, const char* text, std::size_t n) {
  if (*at + n >= path_size) return false;
  if (n > 0) std::memcpy(buffer + *at, text, n);
  *at += n;
  return true;
}

// The parts of a locale name language_territory.codeset@modifier.
struct locale_parts {
  const char* p[4];
  std::size_t n[4];  // language, territory, codeset, modifier
};

locale_parts split_locale(const char* name) {
  locale_parts parts{};
  std::size_t length = std::strlen(name);
  const char* underscore = std::strchr(name, '_');
  const char* dot = std::strchr(name, '.');
  const char* at = std::strchr(name, '@');
  const char* end = name + length;
  const char* language_end = underscore ? underscore : dot ? dot : at ? at : end;
  parts.p[0] = name;
  parts.n[0] = static_cast<std::size_t>(language_end - name);
  if (underscore) {
    const char* t = underscore + 1;
    const char* stop = std::strchr(t, '.');
    if (!stop) stop = std::strchr(t, '@');
    if (!stop) stop = t + std::strlen(t);
    parts.p[1] = t;
    parts.n[1] = static_cast<std::size_t>(stop - t);
  }
  if (dot) {
    const char* c = dot + 1;
    const char* stop = std::strchr(c, '@');
    if (!stop) stop = c + std::strlen(c);
    parts.p[2] = c;
    parts.n[2] = static_cast<std::size_t>(stop - c);
  }
  if (at) {
    parts.p[3] = at + 1;
    parts.n[3] = std::strlen(at + 1);
  }
  return parts;
}

char* search(char* buffer, const char* name, const char* template_, const char* locale) {
  locale_parts parts = split_locale(locale);
  const char* t = template_;
  for (;;) {
    std::size_t at = 0;
    for (; *t != '\0' && *t != ';'; ++t) {
      bool ok = true;
      if (*t != '%') {
        ok = append(buffer, &at, t, 1);
      } else if (t[1] == '\0') {
        ok = append(buffer, &at, t, 1);
      } else {
        ++t;
        switch (*t) {
          case 'N': ok = append(buffer, &at, name, std::strlen(name)); break;
          case 'L': ok = append(buffer, &at, locale, std::strlen(locale)); break;
          case 'l': ok = append(buffer, &at, parts.p[0], parts.n[0]); break;
          case 't': ok = append(buffer, &at, parts.p[1], parts.n[1]); break;
          case 'c': ok = append(buffer, &at, parts.p[2], parts.n[2]); break;
          case 'm': ok = append(buffer, &at, parts.p[3], parts.n[3]); break;
          case '%': ok = append(buffer, &at, "%", 1); break;
          default: ok = append(buffer, &at, t - 1, 2); break;
        }
      }
      if (!ok) return nullptr;
    }
    if (at == 0 && !append(buffer, &at, name, std::strlen(name))) return nullptr;
    buffer[at] = '\0';
    if (file_exists(buffer)) return buffer;
    if (*t == '\0') return nullptr;
    ++t;
  }
}

}  // namespace

int file_exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0; }

const char* rootname(const char* path) {
  static char* root = nullptr;
  static char* buffer = nullptr;
  static std::size_t buffer_size = 0;
  if (path[0] != '/' && path[0] != '\\') return path;
  if (root == nullptr) {
    const char* value = getenv("ROOTDIR");
    if (value == nullptr) return path;
    // A copy, so that the remembered root does not depend on the environment block.
    root = strdup(value);
    if (root == nullptr) return path;
    normalise_path(root);
    std::size_t length = std::strlen(root);
    if (length > 1 && (root[length - 1] == '/' || root[length - 1] == '\\')) root[length - 1] = '\0';
  }
  std::size_t root_length = std::strlen(root);
  std::size_t need = root_length + std::strlen(path) + 1;
  if (need > buffer_size) {
    char* grown = static_cast<char*>(realloc(buffer, need));
    if (grown == nullptr) return path;
    buffer = grown;
    buffer_size = need;
  }
  std::memcpy(buffer, root, root_length);
  std::strcpy(buffer + root_length, path);
  return buffer;
}

char* find_catalog_path(const char* name, int oflag) {
  if (std::strpbrk(name, "/\\:") != nullptr) return strdup(name);
  char* buffer = static_cast<char*>(malloc(path_size));
  if (buffer == nullptr) return nullptr;
  const char* nlspath = getenv("NLSPATH");
  char* template_ = strdup(nlspath != nullptr ? nlspath : rootname("/etc/nls/locale/%L/%N.cat"));
  const char* current = oflag == NL_CAT_LOCALE_ ? setlocale(LC_MESSAGES_, nullptr) : getenv("LANG");
  char* locale = current != nullptr ? strdup(current) : nullptr;
  char* found = nullptr;
  if (template_ != nullptr && locale != nullptr) found = search(buffer, name, template_, locale);
  free(template_);
  free(locale);
  if (found == nullptr) free(buffer);
  return found;
}

nl_catd catopen(const char* name, int oflag) {
  char* path = find_catalog_path(name, oflag);
  if (path == nullptr) return CATD_FAILED_;
  auto* catd = static_cast<catalog_descriptor*>(malloc(sizeof(catalog_descriptor)));
  if (catd == nullptr) {
    free(path);
    return CATD_FAILED_;
  }
  int fd = open(path, O_RDONLY_);
  free(path);
  if (fd < 0) return open_failed(catd, -1);
  if (fd < 10) {
    int moved = fcntl(fd, F_DUPFD_, 10);
    if (moved < 0) return open_failed(catd, fd);
    close(fd);
    fd = moved;
  }
  catd->fd = fd;
  fcntl(fd, F_SETFD_, FD_CLOEXEC_);

  char start[sizeof header];
  if (!read_exact(fd, start, sizeof start) || std::memcmp(start, header, sizeof header) != 0)
    return open_failed(catd, fd);
  long trailer = lseek(fd, -8, SEEK_END_);
  unsigned char words[8];
  if (trailer < 0 || !read_exact(fd, words, sizeof words)) return open_failed(catd, fd);
  catd->trailer_word = word_at(words);
  catd->set_index_offset = word_at(words + 4);
  const std::uint32_t s = catd->set_index_offset;
  if (s > static_cast<unsigned long>(trailer)) return open_failed(catd, fd);
  std::size_t size = static_cast<std::size_t>(trailer) - s;
  catd->set_index = static_cast<unsigned char*>(malloc(size));
  if (catd->set_index == nullptr || !seek_to(fd, s) || !read_exact(fd, catd->set_index, size))
    return open_failed(catd, fd);
  catd->set_count = static_cast<std::uint8_t>(size / 8);
  return catd;
}

char* catgets(nl_catd catd, int set, int number, const char* default_text) {
  if (catd == nullptr || catd == CATD_FAILED_) return const_cast<char*>(default_text);
  int saved = errno_;
  const char* text = lookup(catd, set, number);
  errno_ = saved;
  return const_cast<char*>(text != nullptr ? text : default_text);
}

int catclose(nl_catd catd) {
  if (catd == nullptr || catd == CATD_FAILED_) return -1;
  if (cache.catalog == catd) {
    cache.catalog = nullptr;
    cache.page_first = -1;
  }
  int result = close(catd->fd);
  free(catd->set_index);
  free(catd);
  return result;
}

}  // namespace zav
