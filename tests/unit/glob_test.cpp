// glob: which names each pattern yields, spelled and sorted how; the vector it
// fills; its flags; unreadable directories; and running out of memory.
#include <gtest/gtest.h>

#include <windows.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#include <winapi_settings.h>
#endif

#include <zav/errno.h>
#include <zav/glob.h>

#include "drive_on_directory.h"
#include "runtime_environment.h"
#include "scratch_tree.h"

namespace {

using namespace zav;
using Names = std::vector<std::string>;

class Tree : public ztest::ScratchTree {
 public:
  explicit Tree(std::initializer_list<const char*> files = {}) : ScratchTree("glob") {
    for (const char* name : files) {
      const std::string path(name);
      if (path.find('/') != std::string::npos && !exists(path.substr(0, path.find('/'))))
        dir(path.substr(0, path.find('/')));
      file(path);
    }
  }

 private:
  bool exists(const std::string& name) {
    return GetFileAttributesA((root() + "/" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
};

// Frees itself; checks the record's invariants on request.
struct Vector {
  Vector() = default;
  Vector(const Vector&) = delete;
  Vector& operator=(const Vector&) = delete;
  ~Vector() { globfree(&g); }

  // The stored names with `prefix` taken off the front of those that have it.
  Names names(const std::string& prefix = "") const {
    Names out;
    for (int i = 0; i < g.gl_pathc; ++i) {
      const std::string name = g.gl_first[i];
      out.push_back(name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : name);
    }
    return out;
  }
  void expect_well_formed() const {
    ASSERT_NE(g.gl_pathv, nullptr);
    EXPECT_EQ(g.gl_first, g.gl_pathv + g.gl_offs);
    for (int i = 0; i < g.gl_offs; ++i) EXPECT_EQ(g.gl_pathv[i], nullptr) << "reserved slot " << i;
    EXPECT_LT(g.gl_offs + g.gl_pathc, g.gl_capacity);
    EXPECT_EQ(g.gl_first[g.gl_pathc], nullptr) << "terminator after " << g.gl_pathc << " paths";
  }

  glob_t g{};
};

TEST(Glob, PatternsYieldSortedMatchesSpelledAsTyped) {
  Tree t({"a.txt", "B.TXT", "x.c", "Y.C", ".hidden", ".dot.txt", "file(1).txt", "file1.c", "sub/a.txt",
          "sub/b.TXT", "sub/c.c"});
  const std::pair<const char*, Names> cases[] = {
      // Case-blind, and sorted by byte, so capitals come first.
      {"/*.txt", {"/B.TXT", "/a.txt", "/file(1).txt"}},
      {"/*", {"/B.TXT", "/Y.C", "/a.txt", "/file(1).txt", "/file1.c", "/sub", "/x.c"}},
      {"/.*", {"/.", "/..", "/.dot.txt", "/.hidden"}},
      {"/*.*", {"/B.TXT", "/Y.C", "/a.txt", "/file(1).txt", "/file1.c", "/x.c"}},
      {"/?.c", {"/Y.C", "/x.c"}},
      {"/[!a-x]*", {"/Y.C"}},
      {"/sub/*.txt", {"/sub/a.txt", "/sub/b.TXT"}},
      {"\\sub\\*.txt", {"\\sub\\a.txt", "\\sub\\b.TXT"}},
      {"/s*\\c.c", {"/sub\\c.c"}},
      // Parentheses only group; ? takes them literally.
      {"/file(1)*", {"/file1.c"}},
      {"/file?1?*", {"/file(1).txt"}},
      {"/@(a|b)*", {"/B.TXT", "/a.txt"}},
      {"/!(*.txt|*.c)", {"/sub"}},
      // The rest follows every name that matches, file or not.
      {"/*.c/note", {"/Y.C/note", "/file1.c/note", "/x.c/note"}},
      // No wildcard: stored as it is, whether it exists or not.
      {"/sub/none.txt", {"/sub/none.txt"}},
  };
  for (const auto& [pattern, expected] : cases) {
    Vector v;
    EXPECT_EQ(glob((t.root() + pattern).c_str(), 0, nullptr, &v.g), 0) << pattern;
    EXPECT_EQ(v.names(t.root()), expected) << pattern;
    v.expect_well_formed();
  }
}

TEST(Glob, DualcaseEvenEmptyMakesMatchingExact) {
  Tree t({"x.c", "Y.C"});
  const std::pair<const char*, Names> cases[] = {
      {"DUALCASE=", {"/x.c"}}, {"DUALCASE=1", {"/x.c"}}, {"OTHER=1", {"/Y.C", "/x.c"}}};
  for (const auto& [entry, expected] : cases) {
    ztest::RuntimeEnvironment environment(entry);
    Vector v;
    ASSERT_EQ(glob((t.root() + "/*.c").c_str(), 0, nullptr, &v.g), 0);
    EXPECT_EQ(v.names(t.root()), expected) << entry;
  }
}

TEST(Glob, NothingMatchingGivesThePatternOrNoMatch) {
  Tree t({"abc"});
  for (const char* suffix : {"/[z-a]*", "/missing/*", "/x*", "/abc/*", "/[abc"}) {
    const std::string pattern = t.root() + suffix;
    Vector kept, none;
    EXPECT_EQ(glob(pattern.c_str(), GLOB_NOCHECK, nullptr, &kept.g), 0) << suffix;
    EXPECT_EQ(kept.names(), Names{pattern});
    EXPECT_EQ(glob(pattern.c_str(), 0, nullptr, &none.g), GLOB_NOMATCH) << suffix;
    EXPECT_EQ(none.g.gl_pathc, 0);
    none.expect_well_formed();
  }
}

TEST(Glob, AppendingKeepsOffsetsAndPatternOrderAndGrowsTheVector) {
  Tree t({"b.txt", "a.txt", "d.c", "c.c"});
  for (int i = 0; i < 20; ++i) t.file("f" + std::to_string(100 + i));
  Vector v;
  v.g.gl_offs = 3;
  ASSERT_EQ(glob((t.root() + "/*.txt").c_str(), GLOB_DOOFFS, nullptr, &v.g), 0);
  EXPECT_EQ(v.g.gl_capacity, 11);
  ASSERT_EQ(glob((t.root() + "/none*").c_str(), GLOB_DOOFFS | GLOB_APPEND | GLOB_NOCHECK, nullptr, &v.g), 0);
  ASSERT_EQ(glob((t.root() + "/*.c").c_str(), GLOB_DOOFFS | GLOB_APPEND, nullptr, &v.g), 0);
  ASSERT_EQ(glob((t.root() + "/f1[01]?").c_str(), GLOB_DOOFFS | GLOB_APPEND, nullptr, &v.g), 0);
  Names expected = {"/a.txt", "/b.txt", "/none*", "/c.c", "/d.c"};
  for (int i = 0; i < 20; ++i) expected.push_back("/f" + std::to_string(100 + i));
  EXPECT_EQ(v.names(t.root()), expected);
  EXPECT_EQ(v.g.gl_capacity, 44) << "3 reserved, 25 paths and the terminator: 11, 22, 44";
  v.expect_well_formed();

  Vector fresh;
  fresh.g.gl_offs = 5;
  ASSERT_EQ(glob((t.root() + "/*.c").c_str(), 0, nullptr, &fresh.g), 0);
  EXPECT_EQ(fresh.g.gl_offs, 0) << "without GLOB_DOOFFS";
  fresh.expect_well_formed();
}

TEST(Glob, NosortKeepsTheDirectoryOrder) {
  Tree t({"m", "z", "a", "q"});
  Names search_order;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA((t.root() + "\\*.*").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  do
    if (data.cFileName[0] != '.') search_order.push_back(std::string("/") + data.cFileName);
  while (FindNextFileA(h, &data));
  FindClose(h);
  Vector v;
  ASSERT_EQ(glob((t.root() + "/?").c_str(), GLOB_NOSORT, nullptr, &v.g), 0);
  EXPECT_EQ(v.names(t.root()), search_order);
}

std::vector<std::pair<std::string, int>> reported;
int report_answer = 0;
int report(const char* path, int error) {
  reported.push_back({path, error});
  return report_answer;
}

TEST(Glob, UnreadableDirectoriesAreReportedAndSkippedOrStop) {
  Tree t({"a/x", "b", "c/x"});  // reading the file b as a directory fails
  const std::string pattern = t.root() + "/*/*";
  struct Case {
    int flags;
    int answer;
    int result;
  };
  for (const Case& c : {Case{0, 0, 0}, Case{GLOB_ERR, 0, GLOB_ABORTED}, Case{0, 1, GLOB_ABORTED},
                        Case{GLOB_ERR | GLOB_NOCHECK, 0, GLOB_ABORTED}}) {
    reported.clear();
    report_answer = c.answer;
    Vector v;
    EXPECT_EQ(glob(pattern.c_str(), c.flags, report, &v.g), c.result) << c.flags;
    ASSERT_EQ(reported.size(), 1u) << c.flags;
    EXPECT_EQ(reported[0], std::make_pair(t.root() + "/b", ENOTDIR_));
    if (c.result == 0) {
      EXPECT_EQ(v.names(t.root()), (Names{"/a/x", "/c/x"}));
    } else {
      // Whatever came before b stays; the pattern is not added.
      for (const std::string& name : v.names(t.root())) EXPECT_TRUE(name == "/a/x" || name == "/c/x") << name;
    }
    v.expect_well_formed();
  }
}

TEST(Glob, DriveRelativeAndRootPatterns) {
  Tree t({"one.txt", "two.txt", "three.c"});
  ztest::DriveOnDirectory drive(t.root());
  const std::string x = drive.drive();
  Vector v;
  ASSERT_EQ(glob((x + "*.txt").c_str(), 0, nullptr, &v.g), 0);
  EXPECT_EQ(v.names(), (Names{x + "one.txt", x + "two.txt"}));
  // A lone separator is the root itself, not a directory named "".
  Vector top;
  ASSERT_EQ(glob("/tm[p]", 0, nullptr, &top.g), 0);
  EXPECT_EQ(top.names(), Names{"/tmp"});
}

#if !defined(_WIN32)
// The narrow calls cannot make a 255-character name beside the scratch
// directory's path, so the host makes it.
TEST(Glob, LongestNameWithARestAfterIt) {
  Tree t;
  const std::string host_path = t.root() + "/" + std::string(255, 'n');
  ASSERT_EQ(::close(::open(host_path.c_str(), O_CREAT | O_WRONLY, 0644)), 0);
  Vector v;
  EXPECT_EQ(glob((t.root() + "/n*/rest").c_str(), 0, nullptr, &v.g), 0);
  EXPECT_EQ(v.names(), Names{host_path + "/rest"});
  ::unlink(host_path.c_str());
}

TEST(Glob, RunningOutOfMemoryAnywhereGivesNospaceAndAWellFormedVector) {
  Tree t({"d1/a", "d1/b", "d2/a", "d2/c"});
  // Matching a component this long takes memory from the heap too.
  std::string long_component = "/d1/";
  for (int i = 0; i < 300; ++i) long_component += "?(x)";
  const struct {
    std::string pattern;
    Names names;
  } cases[] = {{"/d*/?", {"/d1/a", "/d1/b", "/d2/a", "/d2/c"}}, {long_component + "a", {"/d1/a"}}};
  for (const auto& c : cases) {
    int failures = 0;
    for (long n = 1; n < 100; ++n) {
      Vector v;
      WinapiSetHeapFailAt(n);
      const int result = glob((t.root() + c.pattern).c_str(), 0, nullptr, &v.g);
      WinapiSetHeapFailAt(0);
      if (v.g.gl_pathv != nullptr) v.expect_well_formed();
      if (result == 0) {
        EXPECT_EQ(v.names(t.root()), c.names) << "allocation " << n;
        break;
      }
      EXPECT_EQ(result, GLOB_NOSPACE) << "allocation " << n;
      ++failures;
    }
    EXPECT_GT(failures, 6) << "the vector, buffer, components, streams, copies and matches all allocate";
  }
}

// Outlives the files made under it, so they are removed by the names they were made by.
struct CodePage {
  explicit CodePage(unsigned page) { WinapiSetCodePage(page); }
  ~CodePage() { WinapiSetCodePage(0); }
};

// In a double-byte code page 0x83 0x5C, 0x83 0x5B and 0x83 0x61 are single
// characters, not a backslash, a '[' or an 'a'.
TEST(Glob, TrailBytesAreNeitherSeparatorsNorWildcards) {
  CodePage sjis(932);
  Tree t({"a", "\x83\x61"});
  Vector ends_in_a;
  EXPECT_EQ(glob((t.root() + "/*a").c_str(), 0, nullptr, &ends_in_a.g), 0);
  EXPECT_EQ(ends_in_a.names(t.root()), Names{"/a"});

  reported.clear();
  report_answer = 0;
  Vector no_separator;
  EXPECT_EQ(glob((t.root() + "/\x83\x5C*").c_str(), 0, report, &no_separator.g), GLOB_NOMATCH);
  EXPECT_TRUE(reported.empty()) << "read " << reported[0].first << " as a directory";

  const std::string literal = t.root() + "/none\x83\x5B";
  Vector no_wildcard;
  EXPECT_EQ(glob(literal.c_str(), 0, nullptr, &no_wildcard.g), 0);
  EXPECT_EQ(no_wildcard.names(), Names{literal});
}
#endif

}  // namespace
