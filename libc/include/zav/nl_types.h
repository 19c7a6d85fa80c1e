// Message catalogs: the "<gencat>" file format read through descriptors.
#pragma once

#include <cstdint>

namespace zav {

struct catalog_descriptor {
  int fd;                         // always 10 or above
  std::uint8_t set_count;
  std::uint32_t trailer_word;     // kept, never used
  std::uint32_t set_index_offset;
  unsigned char* set_index;       // set_count entries of {set number, offset}, little-endian
};

using nl_catd = catalog_descriptor*;

inline constexpr int NL_CAT_LOCALE_ = 1;
inline const nl_catd CATD_FAILED_ = reinterpret_cast<nl_catd>(static_cast<std::intptr_t>(-1));

nl_catd catopen(const char* name, int oflag);
char* catgets(nl_catd catd, int set, int number, const char* default_text);
int catclose(nl_catd catd);

// A malloc'd path of an existing catalog named `name`, searched along NLSPATH, or null.
char* find_catalog_path(const char* name, int oflag);
// `path`, or ROOTDIR followed by `path` for a rooted path, in a buffer the next call reuses.
const char* rootname(const char* path);
// 1 when GetFileAttributesA knows the path (file or directory), else 0.
int file_exists(const char* path);

}  // namespace zav
