// glob: which names each pattern yields and how they are spelled and sorted, the
// vector it fills (offsets, appending, growth), the flags, unreadable
// directories, and running out of memory at every allocation.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#include <winapi_settings.h>
#endif

#include <zav/errno.h>
#include <zav/glob.h>
#include <zav/startup.h>

#include "drive_on_directory.h"
#include "scratch_tree.h"

namespace {

using namespace zav;

using Names = std::vector<std::string>;

class Environment {
 public:
  explicit Environment(const char* entry) : saved_(zav::environ_) {
    entries_[0] = const_cast<char*>(entry);
    zav::environ_ = entries_;
  }
  ~Environment() { zav::environ_ = saved_; }

 private:
  char** saved_;
  char* entries_[2] = {nullptr, nullptr};
};

// A vector that frees itself; `names` reads what glob stored.
class Vector {
 public:
  Vector() = default;
  Vector(const Vector&) = delete;
  Vector& operator=(const Vector&) = delete;
  ~Vector() { globfree(&g); }

  Names names() const {
    Names out;
    for (int i = 0; i < g.gl_pathc; ++i) out.push_back(g.gl_first[i]);
    return out;
  }
  // Every name with `prefix` taken off the front (it must be there).
  Names relative(const std::string& prefix) const {
    Names out;
    for (const std::string& name : names()) {
      EXPECT_EQ(name.compare(0, prefix.size(), prefix), 0) << name;
      out.push_back(name.substr(std::min(prefix.size(), name.size())));
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

class Tree : public ztest::ScratchTree {
 public:
  Tree() : ScratchTree("glob") {}
};

TEST(Glob, PatternsYieldSortedMatchesSpelledAsTyped) {
  Tree t;
  for (const char* name : {"a.txt", "B.TXT", "x.c", "Y.C", ".hidden", ".dot.txt", "file(1).txt", "file1.c"})
    t.file(name);
  t.dir("sub");
  t.file("sub/a.txt");
  t.file("sub/b.TXT");
  t.file("sub/c.c");
  struct Case {
    std::string pattern;
    Names expected;
  };
  const Case cases[] = {
      // Case-blind, and sorted by byte, so capitals come first.
      {"/*.txt", {"/B.TXT", "/a.txt", "/file(1).txt"}},
      {"/*.c", {"/Y.C", "/file1.c", "/x.c"}},
      {"/*", {"/B.TXT", "/Y.C", "/a.txt", "/file(1).txt", "/file1.c", "/sub", "/x.c"}},
      {"/.*", {"/.", "/..", "/.dot.txt", "/.hidden"}},
      {"/?.c", {"/Y.C", "/x.c"}},
      {"/[a-b]*", {"/B.TXT", "/a.txt"}},
      {"/[!a-x]*", {"/Y.C"}},
      {"/sub/*.txt", {"/sub/a.txt", "/sub/b.TXT"}},
      {"\\sub\\*.txt", {"\\sub\\a.txt", "\\sub\\b.TXT"}},
      {"/s*/*.c", {"/sub/c.c"}},
      {"/s*\\c.c", {"/sub\\c.c"}},
      // Parentheses only group; ? takes them literally.
      {"/file(1)*", {"/file1.c"}},
      {"/file?1?*", {"/file(1).txt"}},
      {"/@(a|b)*", {"/B.TXT", "/a.txt"}},
      {"/!(*.txt|*.c)", {"/sub"}},
      // The rest is appended to every name that matches, file or not.
      {"/*.c/note", {"/Y.C/note", "/file1.c/note", "/x.c/note"}},
      // No wildcard: stored as it is, whether it exists or not.
      {"/sub/none.txt", {"/sub/none.txt"}},
  };
  for (const Case& c : cases) {
    Vector v;
    EXPECT_EQ(glob((t.root() + c.pattern).c_str(), 0, nullptr, &v.g), 0) << c.pattern;
    EXPECT_EQ(v.relative(t.root()), c.expected) << c.pattern;
    v.expect_well_formed();
  }
}

TEST(Glob, DualcaseEvenEmptyMakesMatchingExact) {
  Tree t;
  for (const char* name : {"x.c", "Y.C", "z.C"}) t.file(name);
  const std::string pattern = t.root() + "/*.c";
  for (const char* entry : {"DUALCASE=", "DUALCASE=1"}) {
    Environment dual(entry);
    Vector v;
    ASSERT_EQ(glob(pattern.c_str(), 0, nullptr, &v.g), 0);
    EXPECT_EQ(v.relative(t.root()), Names{"/x.c"}) << entry;
  }
  Environment none("OTHER=1");
  Vector v;
  ASSERT_EQ(glob(pattern.c_str(), 0, nullptr, &v.g), 0);
  EXPECT_EQ(v.relative(t.root()), (Names{"/Y.C", "/x.c", "/z.C"}));
}

TEST(Glob, NothingMatchingGivesThePatternOrNoMatch) {
  Tree t;
  t.file("abc");
  for (const std::string suffix : {"/[z-a]*", "/missing/*", "/x*", "/abc/*", "/[abc"}) {
    const std::string pattern = t.root() + suffix;
    Vector kept;
    EXPECT_EQ(glob(pattern.c_str(), GLOB_NOCHECK, nullptr, &kept.g), 0) << suffix;
    EXPECT_EQ(kept.names(), Names{pattern});
    kept.expect_well_formed();

    Vector none;
    EXPECT_EQ(glob(pattern.c_str(), 0, nullptr, &none.g), GLOB_NOMATCH) << suffix;
    EXPECT_EQ(none.g.gl_pathc, 0);
    none.expect_well_formed();
  }
}

TEST(Glob, AppendingKeepsEachPatternsMatchesTogetherInPatternOrder) {
  Tree t;
  for (const char* name : {"b.txt", "a.txt", "d.c", "c.c"}) t.file(name);
  Vector v;
  v.g.gl_offs = 2;
  ASSERT_EQ(glob((t.root() + "/*.txt").c_str(), GLOB_DOOFFS, nullptr, &v.g), 0);
  ASSERT_EQ(glob((t.root() + "/none*").c_str(), GLOB_DOOFFS | GLOB_APPEND | GLOB_NOCHECK, nullptr, &v.g), 0);
  ASSERT_EQ(glob((t.root() + "/*.c").c_str(), GLOB_DOOFFS | GLOB_APPEND, nullptr, &v.g), 0);
  EXPECT_EQ(v.relative(t.root()), (Names{"/a.txt", "/b.txt", "/none*", "/c.c", "/d.c"}));
  EXPECT_EQ(v.g.gl_offs, 2);
  v.expect_well_formed();

  // Without GLOB_DOOFFS the offset goes back to 0.
  Vector fresh;
  fresh.g.gl_offs = 5;
  ASSERT_EQ(glob((t.root() + "/*.c").c_str(), 0, nullptr, &fresh.g), 0);
  EXPECT_EQ(fresh.g.gl_offs, 0);
  EXPECT_EQ(fresh.g.gl_capacity, 8);
  fresh.expect_well_formed();
}

TEST(Glob, VectorDoublesAsItFills) {
  Tree t;
  Names expected;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "f" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    t.file(name);
    expected.push_back("/" + name);
  }
  Vector v;
  v.g.gl_offs = 3;
  ASSERT_EQ(glob((t.root() + "/f*").c_str(), GLOB_DOOFFS, nullptr, &v.g), 0);
  EXPECT_EQ(v.relative(t.root()), expected);
  EXPECT_EQ(v.g.gl_capacity, 44) << "3 reserved + 20 paths + the terminator: 11, 22, 44";
  v.expect_well_formed();
}

TEST(Glob, NosortKeepsTheDirectoryOrder) {
  Tree t;
  for (const char* name : {"m", "z", "a", "q"}) t.file(name);
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
  EXPECT_EQ(v.relative(t.root()), search_order);
}

struct ErrorReport {
  static std::vector<std::pair<std::string, int>> calls;
  static int answer;
  static int record(const char* path, int error) {
    calls.push_back({path, error});
    return answer;
  }
};
std::vector<std::pair<std::string, int>> ErrorReport::calls;
int ErrorReport::answer = 0;

TEST(Glob, UnreadableDirectoriesAreReportedAndSkippedOrStop) {
  Tree t;
  t.dir("a");
  t.file("a/x");
  t.file("b");  // a file: reading it as a directory fails
  t.dir("c");
  t.file("c/x");
  const std::string pattern = t.root() + "/*/*";
  ErrorReport::calls.clear();
  ErrorReport::answer = 0;
  {
    Vector v;
    EXPECT_EQ(glob(pattern.c_str(), 0, ErrorReport::record, &v.g), 0);
    EXPECT_EQ(v.relative(t.root()), (Names{"/a/x", "/c/x"}));
    ASSERT_EQ(ErrorReport::calls.size(), 1u);
    EXPECT_EQ(ErrorReport::calls[0].first, t.root() + "/b");
    EXPECT_EQ(ErrorReport::calls[0].second, ENOTDIR_);
  }
  struct Case {
    int flags;
    int answer;
  };
  for (const Case& c : {Case{GLOB_ERR, 0}, Case{0, 1}, Case{GLOB_ERR | GLOB_NOCHECK, 0}}) {
    ErrorReport::calls.clear();
    ErrorReport::answer = c.answer;
    Vector v;
    EXPECT_EQ(glob(pattern.c_str(), c.flags, ErrorReport::record, &v.g), GLOB_ABORTED) << c.flags;
    EXPECT_EQ(ErrorReport::calls.size(), 1u) << "stops at the first failure";
    // Whatever came before b in the directory stays; the pattern is not added.
    for (const std::string& name : v.relative(t.root())) EXPECT_TRUE(name == "/a/x" || name == "/c/x") << name;
    v.expect_well_formed();
  }
  Vector v;
  EXPECT_EQ(glob((t.root() + "/missing/*").c_str(), GLOB_ERR, nullptr, &v.g), GLOB_ABORTED);
  EXPECT_EQ(v.g.gl_pathc, 0);
  v.expect_well_formed();
}

TEST(Glob, DriveRelativeAndRootedPatterns) {
  Tree t;
  t.file("one.txt");
  t.file("two.txt");
  t.file("three.c");
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
// A 255-character name beside the scratch directory's path is past what the
// narrow calls create, so the host makes it.
TEST(Glob, LongestNamesWithARestAfterThem) {
  Tree t;
  const std::string name(255, 'n');
  const std::string host_path = t.root() + "/" + name;
  ASSERT_EQ(::close(::open(host_path.c_str(), O_CREAT | O_WRONLY, 0644)), 0);
  Vector v;
  EXPECT_EQ(glob((t.root() + "/n*/rest").c_str(), 0, nullptr, &v.g), 0);
  EXPECT_EQ(v.names(), Names{host_path + "/rest"});
  ::unlink(host_path.c_str());
}
#endif

#if !defined(_WIN32)
// Outlives the files made under it, so they are removed by the names they were made by.
class CodePage {
 public:
  explicit CodePage(unsigned page) { WinapiSetCodePage(page); }
  ~CodePage() { WinapiSetCodePage(0); }
};

TEST(Glob, RunningOutOfMemoryAnywhereGivesNospaceAndAWellFormedVector) {
  Tree t;
  t.dir("d1");
  t.dir("d2");
  for (const char* name : {"d1/a", "d1/b", "d2/a", "d2/c"}) t.file(name);
  const std::string pattern = t.root() + "/d*/?";
  const Names all = {"/d1/a", "/d1/b", "/d2/a", "/d2/c"};
  int failures = 0;
  for (long n = 1;; ++n) {
    Vector v;
    WinapiSetHeapFailAt(n);
    const int result = glob(pattern.c_str(), 0, nullptr, &v.g);
    WinapiSetHeapFailAt(0);
    if (result == 0) {
      EXPECT_EQ(v.relative(t.root()), all) << "failing allocation " << n << " was not glob's";
      v.expect_well_formed();
      break;
    }
    ++failures;
    EXPECT_EQ(result, GLOB_NOSPACE) << "allocation " << n;
    if (v.g.gl_pathv != nullptr) v.expect_well_formed();
    ASSERT_LT(n, 100) << "glob never succeeded";
  }
  EXPECT_GT(failures, 6) << "the vector, buffer, components, streams and copies all allocate";
}

// In a double-byte code page a trail byte belongs to its character: 0x83 0x5C,
// 0x83 0x5B and 0x83 0x61 are single characters, not a backslash, a '[' or an 'a'.
TEST(Glob, TrailBytesAreNeitherSeparatorsNorWildcards) {
  CodePage sjis(932);
  Tree t;
  t.file("a");
  t.file("\x83\x61");
  Vector ends_in_a;
  EXPECT_EQ(glob((t.root() + "/*a").c_str(), 0, nullptr, &ends_in_a.g), 0);
  EXPECT_EQ(ends_in_a.relative(t.root()), Names{"/a"});

  ErrorReport::calls.clear();
  ErrorReport::answer = 0;
  Vector no_separator;
  EXPECT_EQ(glob((t.root() + "/\x83\x5C*").c_str(), 0, ErrorReport::record, &no_separator.g), GLOB_NOMATCH);
  EXPECT_TRUE(ErrorReport::calls.empty()) << "read " << ErrorReport::calls[0].first << " as a directory";

  const std::string literal = t.root() + "/none\x83\x5B";
  Vector no_wildcard;
  EXPECT_EQ(glob(literal.c_str(), 0, nullptr, &no_wildcard.g), 0);
  EXPECT_EQ(no_wildcard.names(), Names{literal});
}
#endif

}  // namespace
