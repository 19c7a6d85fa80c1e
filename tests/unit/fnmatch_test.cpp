// fnmatch: wildcards, bracket expressions, case rules, groups and back-references,
// and the extended patterns, each as a table of pattern, name and verdict.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include <winapi_settings.h>
#endif

#include <zav/fnmatch.h>

#include "runtime_environment.h"

namespace {

using namespace zav;
using Environment = ztest::RuntimeEnvironment;

struct Case {
  const char* pattern;
  const char* name;
  bool matches;
};

void expect_cases(std::initializer_list<Case> cases, int flags) {
  for (const Case& c : cases) {
    EXPECT_EQ(fnmatch(c.pattern, c.name, flags) == 0, c.matches)
        << '"' << c.pattern << "\" against \"" << c.name << "\", flags " << flags;
  }
}

TEST(Fnmatch, Wildcards) {
  expect_cases({{"abc", "abc", true},      {"abc", "abcd", false},   {"abc", "ab", false},
                {"", "", true},            {"", "a", false},         {"?", "", false},
                {"?", "a", true},          {"a?c", "abc", true},     {"a?c", "ac", false},
                {"*", "", true},           {"*", "anything", true},  {"a*", "a", true},
                {"*c", "abc", true},       {"*c", "abd", false},     {"a*b*c", "aXbYbZc", true},
                {"a*b*c", "aXbYbZ", false}, {"**a", "ba", true},     {"*.txt", "a.txt.bak", false},
                {"*.txt", "a.txt", true},  {"*?*?", "ab", true},     {"*?*?", "a", false}},
               FNM_IGNORE_DUALCASE);
}

TEST(Fnmatch, BracketExpressions) {
  expect_cases({{"[abc]", "b", true},       {"[abc]", "d", false},      {"[!abc]", "d", true},
                {"[!abc]", "a", false},     {"[^a]", "^", true},        {"[^a]", "b", false},
                {"[a-c]x", "bx", true},     {"[a-c]", "d", false},      {"[]a]", "]", true},
                {"[!]a]", "]", false},      {"[!]a]", "b", true},       {"[-a]", "-", true},
                {"[!-]", "-", false},       {"[!-]", "x", true},        {"[a-]", "a", false},
                {"[a-]", "-", false},       {"[z-a]", "m", false},      {"[z-a]", "z", false},
                {"[a-a]", "a", true},       {"[abc", "a", false},       {"[abc", "[abc", false},
                {"[", "[", false},          {"[a-cx-z]", "y", true},    {"[a-cx-z]", "m", false},
                {"[[:alpha:]]", "q", true}, {"[[:alpha:]]", "1", false}, {"[[:digit:]x]", "x", true},
                {"[[:digit:]]", "7", true}, {"[[:space:]]", "\t", true}, {"[[:punct:]]", "!", true},
                {"[[:punct:]]", "a", false}, {"[[:xdigit:]]", "F", true}, {"[[:xdigit:]]", "g", false},
                {"[[:blank:]]", "\n", false}, {"[[:cntrl:]]", "\x7f", true}, {"[[:print:]]", " ", true},
                {"[[:graph:]]", " ", false}, {"[[:alnum:]]", "_", false}, {"[[:nosuch:]]", "a", false},
                {"[[:alpha:]", "a", false}, {"[[=a=]]", "a", true},     {"[[=a=]]", "b", false},
                {"[[.-.]]", "-", true},     {"[[.ab.]]", "a", false},   {"[\\]]", "]", true},
                {"[a\\-z]", "-", true},     {"[a\\-z]", "m", false},    {"[[:upper:][:digit:]]", "5", true}},
               FNM_IGNORE_DUALCASE);
  // Without escapes the backslash is a member like any other.
  expect_cases({{"[\\]]", "\\]", true}, {"[\\]", "\\", true}}, FNM_IGNORE_DUALCASE | FNM_NOESCAPE);
}

TEST(Fnmatch, CaseIsBlindUnlessTheEnvironmentHoldsDualcase) {
  const std::initializer_list<Case> blind = {
      {"*.TXT", "a.txt", true},        {"ABC", "abc", true},           {"[a-c]", "B", true},
      {"[A-C]", "b", true},            {"[Z-a]", "z", true},           {"[Z-a]", "A", true},
      {"[Z-a]", "b", false},           {"[!a]", "A", false},           {"[[:upper:]]", "a", true},
      {"[[:upper:]]", "A", true},      {"[[:lower:]]", "a", false},    {"[[:lower:]]", "A", false},
      {"[[=a=]]", "a", false},         {"[[=A=]]", "a", true},         {"[[.a.]]", "a", false},
      {"(ab)\\1", "abAB", true}};
  const std::initializer_list<Case> exact = {
      {"*.TXT", "a.txt", false},       {"ABC", "abc", false},          {"[a-c]", "B", false},
      {"[Z-a]", "z", false},           {"[[:lower:]]", "a", true},     {"[[:upper:]]", "a", false},
      {"[[=a=]]", "a", true},          {"(ab)\\1", "abAB", false}};
  {
    Environment none("OTHER=1");
    expect_cases(blind, 0);
    expect_cases(exact, FNM_IGNORE_DUALCASE);
  }
  for (const char* entry : {"DUALCASE=", "DUALCASE=0"}) {
    Environment dual(entry);
    SCOPED_TRACE(entry);
    expect_cases(exact, 0);
    expect_cases(blind, FNM_CASEFOLD);
  }
  Environment lower_case_name("dualcase=1");
  expect_cases({{"ABC", "abc", true}}, 0);
}

TEST(Fnmatch, SlashesAndLeadingPeriods) {
  expect_cases({{"*", "a/b", true}, {"?", "/", true}, {"[/]", "/", true}, {"*", ".x", true}}, FNM_IGNORE_DUALCASE);
  expect_cases({{"*", "a/b", false},     {"a?b", "a/b", false},   {"a[/]b", "a/b", false},
                {"a/*", "a/b", true},    {"*/*", "a/b", true},    {"a*", "a/", false},
                {"*/b", "a/b", true},    {"*/b", "a/c/b", false}},
               FNM_IGNORE_DUALCASE | FNM_PATHNAME);
  expect_cases({{"*", ".x", false},      {"?x", ".x", false},     {"[.]x", ".x", false},
                {".*", ".x", true},      {".*", ".", true},       {".*", "..", true},
                {"*", "x.y", true},      {"x*", "x.y", true},     {"a/*", "a/.b", true},
                {"!(x)", ".y", false},   {"@(*)", ".y", false},
                // Only a period that begins the pattern takes a leading one, never
                // one after a star that matched nothing.
                {"*.*", ".", false},       {"*.*", "..", false},         {"*.*", ".git", false},
                {"*.*", "a.b", true},      {"?*.txt", ".a.txt", false},  {"*(x).y", ".y", false},
                {"().y", ".y", false},     {"\\.*", ".git", true},       {"(.*)", ".git", true},
                {"@(.y)", ".y", true},     {"@(.git|.svn)", ".svn", true}, {"@(.b&.*)", ".b", true},
                {"*(.a)", ".a.a", true},   {"a.*", "a.b", true}},
               FNM_IGNORE_DUALCASE | FNM_PERIOD);
  expect_cases({{"*.*", ".git", true}, {"?*.txt", ".a.txt", true}}, FNM_IGNORE_DUALCASE);
  expect_cases({{"a/*", "a/.b", false}, {"a/.*", "a/.b", true},   {"*/b", ".a/b", false},
                {"a/*.*", "a/.b", false}, {"*/(.b)", "a/.b", true}, {"*/.b", "x/.b", true}},
               FNM_IGNORE_DUALCASE | FNM_PERIOD | FNM_PATHNAME);
}

// Ends the process when a scope outlives its time: a matcher that went back to
// trying choice after choice would otherwise hang the run instead of failing.
class Watchdog {
 public:
  Watchdog(const char* what, int seconds) : what_(what), thread_([this, seconds] { watch(seconds); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    woken_.notify_one();
    thread_.join();
  }

 private:
  void watch(int seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (woken_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) return;
    std::fprintf(stderr, "%s: still running after %d s\n", what_, seconds);
    std::fflush(stderr);
    std::_Exit(3);
  }
  const char* what_;
  std::mutex mutex_;
  std::condition_variable woken_;
  bool done_ = false;
  std::thread thread_;
};

// Patterns as long as 256 bytes nest as deeply as they can.
std::string nested(const std::string& open, const std::string& inner, const std::string& close) {
  std::string p = inner;
  while (open.size() + p.size() + close.size() <= 256) p = open + p + close;
  return p;
}
std::string repeated(const std::string& unit, const std::string& end) {
  std::string p;
  while (p.size() + unit.size() + end.size() <= 256) p += unit;
  return p + end;
}

// Each of these took from seconds to hours when choices were tried one by one;
// every one must now finish at once, with the right verdict.
TEST(Fnmatch, WorstCasesFinishWithTheRightVerdict) {
  const std::string a26(26, 'a'), a28(28, 'a'), a60(60, 'a'), a255(255, 'a'), a254b = std::string(254, 'a') + "b";
  const std::string nested_plus = nested("+(*", "a", ")"), nested_at = nested("@(*", "a", ")");
  const std::string nested_star = nested("*(", "a", ")"), stars = repeated("*a", "b");
  std::string not_a = "+(";
  while (not_a.size() + 4 + 2 <= 256) not_a += "!(a)";
  not_a += ")b";
  const std::string back_reference = "(*)*(*)*(*)*(*)*c\\1";
  struct Timed {
    std::string pattern, name;
    bool matches;
  };
  const Timed cases[] = {
      {"*(*)b", a26, false},
      {"*(*)b", a28, false},
      {"*(*)b", a28 + "b", true},
      {"(*)*a*a*a*a*a*b", a60, false},
      {"(*)*a*a*a*a*a*b", a60 + "b", true},
      {"*(**(*)**)***(***)**)", "file(1).txt", false},
      {"*(**(*)**)***(***)**)", "file(1).txt)", true},
      {nested_plus, a255, true},
      {nested_plus, a254b, false},
      {nested_at, a255, true},
      {nested_at, a254b, false},
      {nested_star, a255, true},
      {nested_star, a254b, false},
      {stars, a255, false},
      {stars, a254b, true},
      {not_a, a255, false},
      {not_a, a254b, true},
      // A back-reference is tried choice by choice, within a bounded number of steps.
      {back_reference, a255, false},
      {back_reference, std::string(250, 'a') + "cxx", false},
      {back_reference, "xycxy", true},
  };
  const Watchdog watchdog("worst cases", 60);
  for (int flags : {FNM_IGNORE_DUALCASE, FNM_IGNORE_DUALCASE | FNM_PERIOD | FNM_PATHNAME}) {
    for (const Timed& c : cases)
      EXPECT_EQ(fnmatch(c.pattern.c_str(), c.name.c_str(), flags) == 0, c.matches)
          << c.pattern << " against " << c.name.size() << " bytes, flags " << flags;
  }
  // Stars that stop at slashes, and stars inside groups, still find their match.
  expect_cases({{"*x*/*y", "axbx/zy", true}, {"*x*/*y", "ab/xy", false}, {"*a*/*a*b", "xaya/zazb", true}},
               FNM_IGNORE_DUALCASE | FNM_PATHNAME);
  expect_cases({{"*(a|ab)*c", "abxc", true}, {"(*a)*c", "bac", true}, {"@(*a*b)*c", "xaybzc", true}},
               FNM_IGNORE_DUALCASE);
}

// The bounds the header documents: parentheses nested 200 deep are followed,
// deeper ones match nothing.
TEST(Fnmatch, ParenthesesNestedTooDeeplyMatchNothing) {
  for (int depth : {200, 201}) {
    const std::string pattern = std::string(depth, '(') + "a" + std::string(depth, ')');
    EXPECT_EQ(fnmatch(pattern.c_str(), "a", FNM_IGNORE_DUALCASE) == 0, depth <= 200) << depth;
  }
}

TEST(Fnmatch, BackslashEscapes) {
  expect_cases({{"\\*", "*", true},     {"\\*", "a", false},    {"\\?", "?", true},
                {"\\[a]", "[a]", true}, {"\\a", "a", true},     {"a\\", "a", false},
                {"a\\", "a\\", false},  {"\\\\", "\\", true},   {"\\1", "1", true},
                {"\\(a\\)", "(a)", true}},
               FNM_IGNORE_DUALCASE);
  expect_cases({{"\\*", "\\x", true}, {"a\\", "a\\", true}, {"\\\\", "\\\\", true}, {"\\(a)", "\\a", true}},
               FNM_IGNORE_DUALCASE | FNM_NOESCAPE);
}

TEST(Fnmatch, GroupsAndBackReferences) {
  expect_cases({{"file(1)*", "file1.txt", true},    {"file(1)*", "file(1).txt", false},
                {"file?1?*", "file(1).txt", true},  {"(ab)\\1", "abab", true},
                {"(ab)\\1", "abac", false},         {"(a*)b\\1", "aabaa", true},
                {"(a*)b\\1", "aaba", false},        {"(a)(b)\\2\\1", "abba", true},
                {"((a)b)\\2\\1", "abaab", true},    {"\\1(a)", "1a", true},
                {"(a\\1)", "a1", true},             {"(*)-\\1", "xy-xy", true},
                {"(*)-\\1", "xy-x", false},         {"(a", "a", false},
                {"(a", "(a", false},                {"a)b", "a)b", true},
                {"(a|b)", "a|b", true},             {"(a|b)", "a", false},
                {"a&b", "a&b", true},               {"((((((((((a))))))))))\\9", "aa", true},
                // Only nine groups: \10 is group 1 and a literal 0.
                {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)\\10", "abcdefghija0", true}},
               FNM_IGNORE_DUALCASE);
}

TEST(Fnmatch, ExtendedPatterns) {
  expect_cases({{"@(a|b)*", "a", true},          {"@(a|b)*", "ab", true},       {"@(a|b)*", "b", true},
                {"@(a|b)*", "c", false},         {"@(a|b)", "", false},         {"@(ab|a)b", "ab", true},
                {"@(a|)x", "x", false},          {"?(ab)c", "c", true},         {"?(ab)c", "abc", true},
                {"?(ab)c", "ababc", false},      {"*(ab)", "", true},           {"*(ab)", "ababab", true},
                {"*(ab)", "aba", false},         {"*(a|bc)d", "abcabcad", true}, {"+(ab)", "", false},
                {"+(ab)", "ab", true},           {"+(ab)", "abab", true},       {"+(a|b)c", "abbac", true},
                {"!(*.txt)", "a.c", true},       {"!(*.txt)", "a.txt", false},  {"!(a)", "", true},
                {"!(a)", "a", false},            {"!(a)", "aa", true},          {"!(*)", "", false},
                {"!(*)", "x", false},            {"x!(y)z", "xz", true},        {"x!(y)z", "xyz", false},
                {"x!(y)z", "xyyz", true},        {"@(a*&*b)", "axb", true},     {"@(a*&*b)", "axc", false},
                {"@(a*&*b|c)", "c", true},       {"@(?&?&[ab])", "b", true},    {"@(?&?&[ab])", "c", false},
                {"@(a|+(b))c", "bbbc", true},    {"@(a|+(b))c", "abc", false},  {"@(x|(y))z", "yz", true},
                {"@(a|b)\\1", "aa", true},       {"@(a|b)\\1", "ab", false},    {"*(a)\\1", "aaaa", true},
                {"+(a)\\1", "aaa", false},       {"@(a", "a", false},           {"@(a", "@(a", false},
                {"@(a|b", "a", false},           {"@(a[)])", "a)", true},       {"@(a\\))", "a)", true},
                {"@(a\\|b)", "a|b", true},       {"@(a(|)b)", "a|b", true},     {"a@", "a@", true},
                {"+", "+", true},                {"!x", "!x", true}},
               FNM_IGNORE_DUALCASE);
  Environment none("OTHER=1");
  expect_cases({{"@(a|b)", "A", true}, {"!(a)", "A", false}}, 0);
}

#if !defined(_WIN32)
// In a double-byte code page a trail byte is part of its character: 0x83 0x5C is
// one character whose second byte is a backslash, 0x83 0x61 one whose second is 'a'.
TEST(Fnmatch, DoubleByteCharactersAreWhole) {
  Environment none("OTHER=1");
  WinapiSetCodePage(932);
  expect_cases({{"?", "\x83\x5C", true},            {"??", "\x83\x5C", false},
                {"\x83\x5C", "\x83\x5C", true},     {"\x83\x5C*", "\x83\x5Cz", true},
                {"[\x83\x5C]", "\x83\x5C", true},   {"[\x83\x5C]", "\x5C", false},
                {"[!\x83\x5C]", "\x83\x61", true},  {"\x83\x61", "\x83\x41", false},
                {"*\x61", "\x83\x61", false},       {"(\x83\x5C)\\1", "\x83\x5C\x83\x5C", true}},
               0);
  WinapiSetCodePage(0);
}
#endif

}  // namespace
