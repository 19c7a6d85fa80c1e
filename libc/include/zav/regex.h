// Regular expressions in the POSIX extended grammar, for the locale's answer
// expressions: whether a text matches, not where.
#pragma once

#include <cstddef>

namespace zav {

// Compilation flags. The basic grammar is not offered: regcomp refuses a call
// without REG_EXTENDED_.
inline constexpr int REG_EXTENDED_ = 1;
inline constexpr int REG_NOSUB_ = 2;

// Execution flags: the text's start is not the start of a line, or its end not
// the end of one.
inline constexpr int REG_NOTBOL_ = 1;
inline constexpr int REG_NOTEOL_ = 2;

// Results.
inline constexpr int REG_NOMATCH_ = 1;
inline constexpr int REG_BADPAT_ = 2;
inline constexpr int REG_ECOLLATE_ = 3;
inline constexpr int REG_ECTYPE_ = 4;
inline constexpr int REG_EESCAPE_ = 5;
inline constexpr int REG_EBRACK_ = 7;
inline constexpr int REG_EPAREN_ = 8;
inline constexpr int REG_EBRACE_ = 9;
inline constexpr int REG_BADBR_ = 10;
inline constexpr int REG_ERANGE_ = 11;
inline constexpr int REG_ESPACE_ = 12;
inline constexpr int REG_BADRPT_ = 13;
// regexec was asked for sub-match positions, which this matcher does not record.
inline constexpr int REG_ENOSYS_ = 17;

// An expression compiled into the runtime's heap; a zero-filled one holds nothing.
struct regex_t {
  std::size_t re_nsub;
  void* program_;
};

struct regmatch_t {
  long rm_so;
  long rm_eo;
};

// 0, or a REG_ code with `expression` holding nothing.
int regcomp(regex_t* expression, const char* pattern, int cflags);
// 0 when `string` holds a match, REG_NOMATCH_ when it does not; REG_BADPAT_ for
// an expression that holds nothing, REG_ESPACE_ when the heap has no room for
// the work, REG_ENOSYS_ for nmatch > 0 without REG_NOSUB_.
int regexec(const regex_t* expression, const char* string, std::size_t nmatch, regmatch_t pmatch[], int eflags);
// Harmless on an expression that holds nothing.
void regfree(regex_t* expression);

}  // namespace zav
