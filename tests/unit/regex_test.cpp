// Extended regular expressions: what matches, what is refused with which code,
// and running out of memory while compiling or matching.
#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <winapi_settings.h>
#endif

#include <zav/isyes.h>
#include <zav/locale.h>
#include <zav/regex.h>

namespace {

// gtest brings the host's <regex.h>: the runtime's names are taken one by one.
using zav::regcomp;
using zav::regex_t;
using zav::regexec;
using zav::regfree;
using zav::regmatch_t;
using namespace zav;

// regcomp's code, or with 0 whether regexec found a match (1) or not (0).
struct Outcome {
  int compiled;
  int matched;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "{regcomp " << o.compiled << ", matched " << o.matched << "}";
}

Outcome run(const char* pattern, const char* text, int eflags = 0) {
  regex_t expression{};
  const int compiled = regcomp(&expression, pattern, REG_EXTENDED_);
  if (compiled != 0) return {compiled, 0};
  const int r = regexec(&expression, text, 0, nullptr, eflags);
  regfree(&expression);
  return {0, r == 0 ? 1 : (r == REG_NOMATCH_ ? 0 : -r)};
}

TEST(Regex, MatchesTheExtendedGrammar) {
  const struct {
    const char* pattern;
    const char* text;
    bool matches;
  } cases[] = {
      // anchors, and a search that may begin anywhere
      {"^[yY]", "yes\n", true}, {"^[yY]", " y", false}, {"^[yY]", "\ny", false}, {"b", "abc", true},
      {"a$", "ba", true}, {"a$", "ab", false}, {"^$", "", true}, {"^$", "x", false}, {"x^", "x", false},
      // single characters
      {"a.c", "abc", true}, {"a.c", "ac", false}, {"a\\.c", "abc", false}, {"a\\.c", "a.c", true},
      {"\\(", "(", true}, {")", ")", true}, {"a|)", ")", true},
      // bracket expressions
      {"[^a-c]", "abc", false}, {"[^a-c]", "abd", true}, {"[]x]", "]", true}, {"[^]x]", "]", false},
      {"[a-]", "-", true}, {"[%--]", ",", true}, {"[[:digit:]]+$", "ab12", true}, {"^[[:alpha:]]*$", "ab1", false},
      {"[[:space:]]", "\t", true}, {"[[:upper:][:punct:]]", "a!", true}, {"[[:xdigit:]]", "g", false},
      {"[[.a.]-c]", "b", true}, {"[[=e=]]", "e", true}, {"[a[.-.]]", "-", true},
      // repetition
      {"^ab*c$", "ac", true}, {"^ab*c$", "abbbc", true}, {"^ab+c$", "ac", false}, {"^ab+c$", "abbc", true},
      {"^ab?c$", "abbc", false}, {"^ab?c$", "abc", true}, {"^a{3}$", "aaa", true}, {"^a{3}$", "aaaa", false},
      {"^a{2,}$", "a", false}, {"^a{2,}$", "aaaaa", true}, {"^a{1,2}$", "aaa", false}, {"^a{0,2}b$", "b", true},
      {"^a{0}b$", "ab", false}, {"^(ab){2}$", "abab", true}, {"^(a*)*$", "aaa", true}, {"^(a|b)*c$", "abbac", true},
      {"^a**$", "aa", true}, {"^(a+|b){2,3}$", "aab", true}, {"^(a+|b){2,3}$", "abab", false},
      // alternation and groups
      {"^(yes|no)$", "no", true}, {"^(yes|no)$", "nope", false}, {"cat|dog", "hotdog", true}, {"^()$", "", true},
      {"^(a(b(c)))$", "abc", true}, {"a|", "x", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(run(c.pattern, c.text), (Outcome{0, c.matches})) << c.pattern << " on \"" << c.text << '"';
}

TEST(Regex, RefusesMalformedExpressionsWithTheirCodes) {
  const struct {
    const char* pattern;
    int code;
  } cases[] = {
      {"[abc", REG_EBRACK_},    {"[[:alpha:]", REG_EBRACK_},  {"[[:nope:]]", REG_ECTYPE_}, {"[[.ab.]]", REG_ECOLLATE_},
      {"[z-a]", REG_ERANGE_},   {"[a-[:digit:]]", REG_ERANGE_}, {"(ab", REG_EPAREN_},     {"a\\", REG_EESCAPE_},
      {"*a", REG_BADRPT_},      {"a|+b", REG_BADRPT_},        {"(?a)", REG_BADRPT_},      {"a{2,1}", REG_BADBR_},
      {"a{x}", REG_BADBR_},     {"a{256}", REG_BADBR_},       {"a{2", REG_EBRACE_},      {"a{2,", REG_EBRACE_},
      {"(a{255}){255}", REG_ESPACE_},
  };
  for (const auto& c : cases) {
    regex_t expression{};
    EXPECT_EQ(regcomp(&expression, c.pattern, REG_EXTENDED_), c.code) << c.pattern;
    EXPECT_EQ(expression.program_, nullptr) << c.pattern << ": a refused expression holds nothing";
    EXPECT_EQ(regexec(&expression, "a", 0, nullptr, 0), REG_BADPAT_) << c.pattern;
    regfree(&expression);
  }
}

TEST(Regex, DeeplyNestedGroupsAreRefusedNotFollowedOffTheStack) {
  const std::string deep = std::string(10000, '(') + "a" + std::string(10000, ')');
  regex_t expression{};
  EXPECT_EQ(regcomp(&expression, deep.c_str(), REG_EXTENDED_), REG_ESPACE_);
  const std::string fine = std::string(40, '(') + "a" + std::string(40, ')');
  ASSERT_EQ(regcomp(&expression, fine.c_str(), REG_EXTENDED_), 0);
  EXPECT_EQ(expression.re_nsub, 40u);
  regfree(&expression);
}

TEST(Regex, FlagsOfCompilationAndExecution) {
  regex_t expression{};
  EXPECT_EQ(regcomp(&expression, "a", 0), REG_BADPAT_) << "the basic grammar is not offered";
  EXPECT_EQ(run("^a", "a", REG_NOTBOL_), (Outcome{0, 0}));
  EXPECT_EQ(run("a$", "a", REG_NOTEOL_), (Outcome{0, 0}));
  EXPECT_EQ(run("^$", "", REG_NOTBOL_), (Outcome{0, 0}));

  regmatch_t positions[1];
  ASSERT_EQ(regcomp(&expression, "(a)", REG_EXTENDED_), 0);
  EXPECT_EQ(expression.re_nsub, 1u);
  EXPECT_EQ(regexec(&expression, "a", 1, positions, 0), REG_ENOSYS_) << "positions are not recorded";
  EXPECT_EQ(regexec(&expression, "a", 0, positions, 0), 0);
  regfree(&expression);
  ASSERT_EQ(regcomp(&expression, "(a)", REG_EXTENDED_ | REG_NOSUB_), 0);
  EXPECT_EQ(regexec(&expression, "a", 1, positions, 0), 0) << "REG_NOSUB asks for none";
  regfree(&expression);
  regfree(&expression);  // a second release is harmless
  EXPECT_EQ(expression.program_, nullptr);
}

TEST(Regex, ALongTextTakesOneStepPerByte) {
  // Exponential for a matcher that tries the choices one by one.
  const std::string text(5000, 'a');
  EXPECT_EQ(run("^(a|a)*(a*)*b$", text.c_str()), (Outcome{0, 0}));
  EXPECT_EQ(run("^(a|aa)*$", text.c_str()), (Outcome{0, 1}));
}

#ifndef _WIN32
// Switches injection off again however the test ends.
struct FailAt {
  explicit FailAt(long n) { WinapiSetHeapFailAt(n); }
  ~FailAt() { WinapiSetHeapFailAt(0); }
};

TEST(Regex, RunningOutOfMemoryIsReg_espaceAndLeavesNothingBehind) {
  int failures = 0;
  for (long n = 1; n < 50; ++n) {
    regex_t expression{};
    int compiled, executed = -1;
    {
      FailAt fail(n);
      compiled = regcomp(&expression, "^(ab|c){2,4}[[:digit:]]+$", REG_EXTENDED_);
      if (compiled == 0) executed = regexec(&expression, "abc12", 0, nullptr, 0);
    }
    regfree(&expression);
    if (compiled == 0 && executed == 0) break;
    ++failures;
    if (compiled != 0) {
      EXPECT_EQ(compiled, REG_ESPACE_) << "allocation " << n;
      EXPECT_EQ(expression.program_, nullptr) << "allocation " << n;
    } else {
      EXPECT_EQ(executed, REG_ESPACE_) << "allocation " << n;
    }
  }
  EXPECT_GE(failures, 3) << "compiling takes memory more than once, and matching takes some";
}

TEST(Isyes, AnswerExpressionsThatCannotBeCompiledMatchNothing) {
  auto& flags = locale_categories[LC_MESSAGES_].flags;
  flags &= static_cast<std::uint8_t>(~YESNO_COMPILED_FLAG);
  {
    FailAt fail(1);
    EXPECT_EQ(isyes("y\n"), -1) << "the affirmative slot could not be compiled";
  }
  EXPECT_EQ(isyes("n\n"), 0);
  EXPECT_EQ(isyes("y\n"), -1) << "the slots are not compiled again until the locale changes";
  zav::setlocale(LC_MESSAGES_, "xx_regex");
  EXPECT_EQ(isyes("y\n"), 1);
  zav::setlocale(LC_ALL_, "POSIX");
}
#endif

}  // namespace
