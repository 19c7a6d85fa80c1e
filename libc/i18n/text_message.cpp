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
  return text;
}

const char* string_message(const char* text) {
  char* end = nullptr;
  long number = std::strtol(text, &end, 0);
  if (end[0] == '#' && end[1] == '#') return text_message(static_cast<int>(number), end + 2, "");
  return text;
}

}  // namespace zav
