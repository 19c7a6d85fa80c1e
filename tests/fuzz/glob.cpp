// glob over a small scratch tree, with any flags, twice into one vector now and
// then (GLOB_APPEND), and reserved slots (GLOB_DOOFFS). Patterns stay in the
// target's own directories: none is rooted, names a drive or climbs with "..";
// and since .* matches "..", a pattern has at most four components and the tree
// lies four levels down. (Each component that matches "." and ".." doubles the
// paths that follow: .*/.*/.*/... takes time exponential in its length.)
#include <algorithm>
#include <cstring>
#include <fstream>

#include <winapi_settings.h>

#include <zav/glob.h>

#include "fuzz_support.h"

namespace {

constexpr int most_components = 4;

// The tree's root, which every pattern is put under.
std::string make_tree() {
  const auto root = fuzz::scratch_directory("glob") / "1" / "2" / "3" / "4";
  for (const char* directory : {"sub", "sub/deeper", "d(1)", ".git"})
    std::filesystem::create_directories(root / directory);
  for (const char* file : {"a", "b.txt", "B.TXT", ".hidden", "file(1).txt", "[x]", "star*", "back\\slash",
                           "sub/x.c", "sub/.y", "sub/deeper/z", "d(1)/e", ".git/config", "\x83\x5c", "\x83\x61z"})
    std::ofstream(root / file) << "x";
  return root.string() + "/";
}

bool stays_inside(const std::string& pattern) {
  if (pattern.empty() || pattern[0] == '/' || pattern[0] == '\\') return false;
  const auto separators = std::count_if(pattern.begin(), pattern.end(), [](char c) { return c == '/' || c == '\\'; });
  return separators < most_components && pattern.find(':') == std::string::npos &&
         pattern.find("..") == std::string::npos;
}

void check(const zav::glob_t& g, int first_new, bool sorted) {
  FUZZ_CHECK(g.gl_pathv != nullptr);
  FUZZ_CHECK(g.gl_first == g.gl_pathv + g.gl_offs);
  FUZZ_CHECK(g.gl_offs + g.gl_pathc < g.gl_capacity);
  for (int i = 0; i < g.gl_offs; ++i) FUZZ_CHECK(g.gl_pathv[i] == nullptr);
  for (int i = 0; i < g.gl_pathc; ++i) FUZZ_CHECK(g.gl_first[i] != nullptr && std::strlen(g.gl_first[i]) < 4096);
  FUZZ_CHECK(g.gl_first[g.gl_pathc] == nullptr);
  if (sorted)
    FUZZ_CHECK(std::is_sorted(g.gl_first + first_new, g.gl_first + g.gl_pathc,
                              [](const char* a, const char* b) { return std::strcmp(a, b) < 0; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::start_runtime();
  static const std::string root = make_tree();
  if (size < 2) return 0;
  const int flags = data[0] & (zav::GLOB_ERR | zav::GLOB_NOSORT | zav::GLOB_NOCHECK | zav::GLOB_DOOFFS |
                               zav::GLOB_NOESCAPE);
  WinapiSetCodePage((data[1] & 1) != 0 ? 932 : 65001);
  const bool twice = (data[1] & 2) != 0;
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string relative = text.substr(0, text.find('\0'));
  if (!stays_inside(relative)) return 0;
  const std::string pattern = root + relative;

  zav::glob_t g{};
  g.gl_offs = data[1] >> 6;
  const bool sorted = (flags & zav::GLOB_NOSORT) == 0;
  int result = zav::glob(pattern.c_str(), flags, nullptr, &g);
  FUZZ_CHECK(result == 0 || result == zav::GLOB_NOMATCH || result == zav::GLOB_ABORTED);
  if (result == 0) check(g, 0, sorted);
  if (twice && g.gl_pathv != nullptr) {
    const int before = g.gl_pathc;
    result = zav::glob(pattern.c_str(), flags | zav::GLOB_APPEND, nullptr, &g);
    if (result == 0) check(g, before, sorted);
  }
  zav::globfree(&g);
  return 0;
}
