#include <zav/locale.h>
#include <zav/stdlib.h>

#include <cstring>

namespace zav {

namespace {

char posix_name[] = "POSIX";

bool is_posix_name(const char* name) { return std::strcmp(name, "POSIX") == 0 || std::strcmp(name, "C") == 0; }

// The locale loader: every name is accepted; what it would load is the POSIX data.
bool valid_locale(const char* name) { return name != nullptr; }

// false only when the copy of the new name cannot be allocated.
bool set_category(locale_category& row, const char* name) {
  if (std::strcmp(row.locale_name, name) == 0) return true;
  char* copy = strdup(name);
  if (copy == nullptr) return false;
  if (row.locale_name != posix_name) free(row.locale_name);
  row.locale_name = copy;
  row.flags = 1;
  row.is_posix = is_posix_name(name) ? 1 : 0;
  return true;
}

const char* valid_env(const char* variable) {
  const char* value = getenv(variable);
  return value != nullptr && valid_locale(value) ? value : nullptr;
}

}  // namespace

locale_category locale_categories[LOCALE_CATEGORY_COUNT] = {
    {"LC_CTYPE", posix_name, 0, 1},    {"LC_COLLATE", posix_name, 0, 1}, {"LC_TIME", posix_name, 0, 1},
    {"LC_NUMERIC", posix_name, 0, 1},  {"LC_MONETARY", posix_name, 0, 1},
    {"LC_MESSAGES", posix_name, 0, 1}, {"LC_ALL", posix_name, 0, 1},
};

char* setlocale(int category, const char* locale) {
  if (category < 0 || category > LC_ALL_) return nullptr;
  locale_category& row = locale_categories[category];
  if (locale == nullptr) return row.locale_name;

  if (*locale != '\0') {
    if (!valid_locale(locale)) return nullptr;
    if (category != LC_ALL_) return set_category(row, locale) ? row.locale_name : nullptr;
    for (auto& each : locale_categories)
      if (!set_category(each, locale)) return nullptr;
    return row.locale_name;
  }

  if (category == LC_ALL_) {
    const char* all = getenv("LC_ALL");
    if (all != nullptr && *all != '\0') {
      if (!valid_locale(all)) return nullptr;
      for (auto& each : locale_categories)
        if (!set_category(each, all)) return nullptr;
      return row.locale_name;
    }
    const char* fallback = valid_env("LANG");
    if (fallback == nullptr) fallback = "POSIX";
    for (int i = 0; i < LC_ALL_; ++i) {
      const char* own = valid_env(locale_categories[i].name);
      set_category(locale_categories[i], own != nullptr ? own : fallback);
    }
    return set_category(row, locale_categories[LC_CTYPE_].locale_name) ? row.locale_name : nullptr;
  }

  const char* name = getenv("LC_ALL");
  if (name == nullptr) name = getenv(row.name);
  if (name == nullptr) name = getenv("LANG");
  if (name == nullptr || !valid_locale(name)) name = "POSIX";
  return set_category(row, name) ? row.locale_name : nullptr;
}

}  // namespace zav
