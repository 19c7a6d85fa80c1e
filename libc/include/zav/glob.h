// The growable vector of path names that glob fills and start-up builds the
// argument vector in.
#pragma once

namespace zav {

struct glob_t {
  int gl_pathc;
  char** gl_pathv;
  int gl_offs;
  char** gl_first;
  int gl_capacity;
};

// Stores `path` (already allocated) after the last match, doubling the vector
// when it fills so one slot always remains for the terminating null pointer.
// Returns 0, or -1 when the vector cannot grow.
int glob_store(glob_t* pglob, char* path);

}  // namespace zav
