// The vector of names that glob fills: storing, growing and freeing it.
#include <zav/glob.h>

#include <zav/stdlib.h>

namespace zav {

int glob_store(glob_t* pglob, char* path) {
  pglob->gl_first[pglob->gl_pathc++] = path;
  if (pglob->gl_offs + pglob->gl_pathc < pglob->gl_capacity) return 0;
  int capacity = pglob->gl_capacity * 2;
  auto* grown = static_cast<char**>(realloc(pglob->gl_pathv, sizeof(char*) * capacity));
  if (grown == nullptr) {
    --pglob->gl_pathc;
    return -1;
  }
  pglob->gl_pathv = grown;
  pglob->gl_first = grown + pglob->gl_offs;
  pglob->gl_capacity = capacity;
  return 0;
}

void globfree(glob_t* pglob) {
  if (pglob->gl_pathv == nullptr) return;
  for (int i = 0; i < pglob->gl_pathc; ++i) free(pglob->gl_first[i]);
  free(pglob->gl_pathv);
  pglob->gl_pathv = nullptr;
  pglob->gl_first = nullptr;
  pglob->gl_pathc = 0;
  pglob->gl_capacity = 0;
}

}  // namespace zav
