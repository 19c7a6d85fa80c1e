// Numbered texts: the catalog "zav" for the locale of LC_MESSAGES, opened at the
// first lookup and again whenever that locale's name changes.
#include <zav/errno.h>
#include <zav/locale.h>
#include <zav/nl_types.h>
#include <zav/stdlib.h>
#include <zav/text_message.h>

#include <cstdlib>
#include <cstring>

namespace zav {

namespace {

char* catalog_name = nullptr;
nl_catd catalog = nullptr;
char* recorded_locale = nullptr;

bool same(const char* a, const char* b) { return a != nullptr && b != nullptr && std::strcmp(a, b) == 0; }

// What one printf conversion takes from the arguments: its '*' widths and
// precisions, its length modifier and its conversion character ('!' for %n and
// for anything not understood). Flags, widths and precisions may differ.
struct Conversion {
  int stars = 0;
  char length[3] = {};
  char type = '!';
  bool operator==(const Conversion&) const = default;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The next conversion from p on, with p moved past it; false at the end of the text.
bool next_conversion(const char*& p, Conversion& c) {
  for (; *p != '\0'; ++p) {
    if (*p != '%') continue;
    if (p[1] == '%') {
      ++p;
      continue;
    }
    c = {};
    ++p;
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
    for (int part = 0; part < 2; ++part) {
      if (part == 1 && *p != '.') break;
      if (part == 1) ++p;
      if (*p == '*') {
        ++c.stars;
        ++p;
      }
      while (is_digit(*p)) ++p;
    }
    for (int n = 0; n < 2 && *p != '\0' && std::strchr("hlLjzt", *p) != nullptr;) c.length[n++] = *p++;
    if (*p != '\0' && std::strchr("diouxXeEfFgGaAcsp", *p) != nullptr) c.type = *p;
    if (*p != '\0') ++p;
    return true;
  }
  return false;
}

// A catalog text stands in for the default only when, used as a format, it takes
// the same arguments in the same order; one that does not could read past them
// or, with %n, write through one.
bool conversions_agree(const char* text, const char* model) {
  Conversion t, m;
  while (true) {
    const bool more_text = next_conversion(text, t), more_model = next_conversion(model, m);
    if (more_text != more_model) return false;
    if (!more_text) return true;
    if (t.type == '!' || !(t == m)) return false;
  }
}

}  // namespace

void set_text_catalog(const char* name) {
  if (catalog != nullptr) catclose(catalog);
  catalog = nullptr;
  free(catalog_name);
  catalog_name = name != nullptr ? strdup(name) : nullptr;
}

void close_text_catalog() { set_text_catalog(nullptr); }

const char* text_message(int number, const char* default_text, const char*) {
  int saved = errno_;
  const char* current = setlocale(LC_MESSAGES_, nullptr);
  if (catalog == nullptr || !same(recorded_locale, current)) {
    // A failed open for this locale is not retried until the locale changes.
    if (catalog_name != nullptr && same(recorded_locale, current)) {
      errno_ = saved;
      return default_text;
    }
    if (catalog != nullptr) catclose(catalog);
    catalog = nullptr;
    if (catalog_name == nullptr) set_text_catalog("zav");
    free(recorded_locale);
    recorded_locale = current != nullptr ? strdup(current) : nullptr;
    nl_catd opened = catalog_name != nullptr ? catopen(catalog_name, NL_CAT_LOCALE_) : CATD_FAILED_;
    if (opened == CATD_FAILED_) {
      errno_ = saved;
      return default_text;
    }
    catalog = opened;
    atexit(close_text_catalog);
  }
  const char* text = catgets(catalog, 1, number, default_text);
  errno_ = saved;
  return conversions_agree(text, default_text) ? text : default_text;
}

const char* string_message(const char* text) {
  char* end = nullptr;
  long number = std::strtol(text, &end, 0);
  if (end[0] == '#' && end[1] == '#') return text_message(static_cast<int>(number), end + 2, "");
  return text;
}

}  // namespace zav
