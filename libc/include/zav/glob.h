// Wildcard expansion of path names, and the growable vector of path names that
// glob fills and start-up builds the argument vector in.
#pragma once

namespace zav {

struct glob_t {
  int gl_pathc;
  char** gl_pathv;
  int gl_offs;
  char** gl_first;
  int gl_capacity;
};

inline constexpr int GLOB_ERR = 1;       // stop when a directory cannot be opened
inline constexpr int GLOB_NOSORT = 4;
inline constexpr int GLOB_NOCHECK = 8;   // nothing matches: store the pattern itself
inline constexpr int GLOB_DOOFFS = 16;   // keep gl_offs reserved slots at the front
inline constexpr int GLOB_APPEND = 32;
inline constexpr int GLOB_NOESCAPE = 64;

inline constexpr int GLOB_ABORTED = -1;
inline constexpr int GLOB_NOSPACE = -2;
inline constexpr int GLOB_NOMATCH = -3;

// Appends the path names that match `pattern`, sorted among themselves, to the
// vector (a new one without GLOB_APPEND). `errfunc` may be null; a non-zero
// answer from it for a directory that cannot be opened stops with GLOB_ABORTED.
int glob(const char* pattern, int flags, int (*errfunc)(const char* path, int error), glob_t* pglob);

// Frees every stored path and the vector.
void globfree(glob_t* pglob);

// Stores `path` (already allocated) after the last match, doubling the vector
// when it fills so one slot always remains for the terminating null pointer.
// Returns 0, or -1 when the vector cannot grow.
int glob_store(glob_t* pglob, char* path);

}  // namespace zav
