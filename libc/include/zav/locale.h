// Locale selection: a locale name per category, taken from the argument or the
// environment. The only locale data the runtime carries are the POSIX locale's.
#pragma once

#include <cstdint>

namespace zav {

inline constexpr int LC_CTYPE_ = 0;
inline constexpr int LC_COLLATE_ = 1;
inline constexpr int LC_TIME_ = 2;
inline constexpr int LC_NUMERIC_ = 3;
inline constexpr int LC_MONETARY_ = 4;
inline constexpr int LC_MESSAGES_ = 5;
inline constexpr int LC_ALL_ = 6;
inline constexpr int LOCALE_CATEGORY_COUNT = 7;

struct locale_category {
  const char* name;         // also the name of its environment variable
  char* locale_name;        // "POSIX" (not owned) or a malloc copy
  std::uint8_t flags;       // 1 after every change of locale_name; other parts keep cache bits here
  std::uint8_t is_posix;    // locale_name is "POSIX" or "C"
};

extern locale_category locale_categories[LOCALE_CATEGORY_COUNT];

// Bit of LC_MESSAGES' flags that isyes keeps for its compiled answer expressions.
inline constexpr std::uint8_t YESNO_COMPILED_FLAG = 2;

char* setlocale(int category, const char* locale);

}  // namespace zav
