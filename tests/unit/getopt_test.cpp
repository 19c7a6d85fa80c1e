// The option parser: clusters, arguments, the + modes, and where scanning stops.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <zav/getopt.h>

namespace {

// One parse over a private scan state, recording each result with its optarg.
struct Step {
  int result;
  std::string optarg;  // "<null>" when optarg is null
  int optind;
  int optplus;
  bool operator==(const Step&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Step& s) {
  return os << "{" << s.result << " '" << static_cast<char>(s.result) << "', optarg " << s.optarg
            << ", optind " << s.optind << ", optplus " << s.optplus << "}";
}

std::vector<Step> parse_all(const char* optstring, std::vector<std::string> words) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>("prog"));
  for (auto& w : words) argv.push_back(w.data());
  int argc = static_cast<int>(argv.size());
  argv.push_back(nullptr);
  zav::option_scan_state state{nullptr, 0, 0, 0, 0, 0};
  std::vector<Step> steps;
  for (int guard = 0; guard < 20; ++guard) {
    int r = zav::parse_next_option(argc, argv.data(), optstring, &state);
    // optarg means nothing once the options have ended.
    const char* arg = r != -1 && state.optarg ? state.optarg : "<null>";
    steps.push_back({r, arg, state.optind, state.optplus});
    if (r == -1) break;
  }
  return steps;
}

TEST(ParseNextOption, ClustersAndOperands) {
  EXPECT_EQ(parse_all("dfirRsv", {"-rf", "a"}),
            (std::vector<Step>{{'r', "<null>", 1, 0}, {'f', "<null>", 2, 0}, {-1, "<null>", 2, 0}}));
  // "--" ends the options and is consumed; what follows is an operand.
  EXPECT_EQ(parse_all("dfirRsv", {"--", "-f"}), (std::vector<Step>{{-1, "<null>", 2, 0}}));
  // A lone "-" is an operand unless the option string holds "-".
  EXPECT_EQ(parse_all("dfirRsv", {"-", "-f"}), (std::vector<Step>{{-1, "<null>", 1, 0}}));
  EXPECT_EQ(parse_all("a-", {"-", "-a"}),
            (std::vector<Step>{{'-', "<null>", 2, 0}, {'a', "<null>", 3, 0}, {-1, "<null>", 3, 0}}));
  // Scanning stops at the first operand; later options are not reordered.
  EXPECT_EQ(parse_all("dfirRsv", {"a", "-f"}), (std::vector<Step>{{-1, "<null>", 1, 0}}));
  EXPECT_EQ(parse_all("dfirRsv", {}), (std::vector<Step>{{-1, "<null>", 1, 0}}));
}

TEST(ParseNextOption, UnknownLettersKeepTheClusterUntilItsEnd) {
  // "--force" is a cluster whose first letter is "-": unknown, optind stays on it.
  auto steps = parse_all("dfirRsv", {"--force"});
  ASSERT_GE(steps.size(), 2u);
  EXPECT_EQ(steps[0], (Step{'?', "<null>", 1, 0}));
  EXPECT_EQ(steps[1], (Step{'f', "<null>", 1, 0}));
  EXPECT_EQ(parse_all("dfirRsv", {"-x", "a"}), (std::vector<Step>{{'?', "<null>", 2, 0}, {-1, "<null>", 2, 0}}));
  // ':' is never an option letter, even when the string holds one.
  EXPECT_EQ(parse_all("a:", {"-:"})[0].result, '?');
}

TEST(ParseNextOption, RequiredAndOptionalArguments) {
  EXPECT_EQ(parse_all("a:b", {"-avalue", "-b"}),
            (std::vector<Step>{{'a', "value", 2, 0}, {'b', "<null>", 3, 0}, {-1, "<null>", 3, 0}}));
  EXPECT_EQ(parse_all("a:b", {"-ba", "value", "x"}),
            (std::vector<Step>{{'b', "<null>", 1, 0}, {'a', "value", 3, 0}, {-1, "<null>", 3, 0}}));
  // Missing argument: '?' normally, ':' in quiet mode; the option's element is consumed.
  EXPECT_EQ(parse_all("a:", {"-a"})[0], (Step{'?', "<null>", 2, 0}));
  EXPECT_EQ(parse_all(":a:", {"-a"})[0], (Step{':', "<null>", 2, 0}));
  // An optional argument must be attached.
  EXPECT_EQ(parse_all("a;", {"-a", "value"}),
            (std::vector<Step>{{'a', "<null>", 2, 0}, {-1, "<null>", 2, 0}}));
  EXPECT_EQ(parse_all("a;", {"-avalue"})[0], (Step{'a', "value", 2, 0}));
}

TEST(ParseNextOption, PlusClustersAndThePlusOption) {
  EXPECT_EQ(parse_all("+ab", {"+a", "-b", "+", "x"}),
            (std::vector<Step>{{'a', "<null>", 2, 1}, {'b', "<null>", 3, 0}, {-1, "<null>", 3, 0}}));
  EXPECT_EQ(parse_all("x+", {"+abc"})[0], (Step{'+', "abc", 2, 0}));
  EXPECT_EQ(parse_all("x+", {"+", "abc", "y"}),
            (std::vector<Step>{{'+', "abc", 3, 0}, {-1, "<null>", 3, 0}}));
  EXPECT_EQ(parse_all("x+", {"+"})[0], (Step{'?', "<null>", 2, 0}));
  EXPECT_EQ(parse_all(":x+", {"+"})[0], (Step{':', "<null>", 2, 0}));
  // "++" at the front is plus-option mode, not plus-cluster mode.
  EXPECT_EQ(parse_all("++a", {"+a"})[0], (Step{'+', "a", 2, 0}));
  // Without either mode an element starting with '+' is an operand.
  EXPECT_EQ(parse_all("ab", {"+a"})[0], (Step{-1, "<null>", 1, 0}));
}

// Elements of exactly their own size, so that a read past one is caught.
struct ExactArguments {
  explicit ExactArguments(std::vector<std::string> words) {
    words.insert(words.begin(), "prog");
    for (const auto& w : words) {
      owned.emplace_back(new char[w.size() + 1]);
      std::memcpy(owned.back().get(), w.c_str(), w.size() + 1);
      argv.push_back(owned.back().get());
    }
    argv.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(argv.size()) - 1; }
  std::vector<std::unique_ptr<char[]>> owned;
  std::vector<char*> argv;
};

TEST(ParseNextOption, APositionPastTheElementStartsItAfresh) {
  ExactArguments args({"-bc", "-"});
  zav::option_scan_state state{nullptr, 2, 0, 0, 2, 0};
  EXPECT_EQ(zav::parse_next_option(args.argc(), args.argv.data(), "", &state), -1);
  EXPECT_EQ(state.optind, 2);
  state = {nullptr, 1, 0, 0, 3, 0};
  EXPECT_EQ(zav::parse_next_option(args.argc(), args.argv.data(), "b", &state), 'b');
}

TEST(Getopt, AnOptindMovedByTheCallerRestartsAtTheStartOfThatElement) {
  // Each step optionally sets optind first (-1 leaves it), then calls getopt.
  struct MovedStep {
    int set_optind;
    int result;
    int optind;
  };
  struct Case {
    const char* optstring;
    std::vector<std::string> words;
    std::vector<MovedStep> steps;
  };
  const Case cases[] = {
      {"", {"-bc", "-"}, {{-1, '?', 1}, {2, -1, 2}}},
      {"abcd", {"-ab", "-cd"}, {{-1, 'a', 1}, {2, 'c', 2}, {-1, 'd', 3}}},
      {"abcd", {"-ab", "-cd"}, {{-1, 'a', 1}, {-1, 'b', 2}, {-1, 'c', 2}, {1, 'a', 1}}},
      // Setting optind to the value it already has keeps the place in the cluster.
      {"abcd", {"-abc"}, {{-1, 'a', 1}, {1, 'b', 1}, {-1, 'c', 2}}},
  };
  zav::opterr = 0;
  for (const Case& c : cases) {
    ExactArguments args(c.words);
    zav::optind = 0;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const MovedStep& step = c.steps[i];
      if (step.set_optind >= 0) zav::optind = step.set_optind;
      SCOPED_TRACE(testing::Message() << '"' << c.optstring << "\" step " << i);
      EXPECT_EQ(zav::getopt(args.argc(), args.argv.data(), c.optstring), step.result);
      EXPECT_EQ(zav::optind, step.optind);
    }
  }
  zav::opterr = 1;
  zav::optind = 1;
}

TEST(Getopt, PublicVariablesCarryTheScanAndZeroRestartsIt) {
  std::string a = "-ab", b = "-c", c = "op";
  char* argv[] = {const_cast<char*>("prog"), a.data(), b.data(), c.data(), nullptr};
  zav::opterr = 0;
  zav::optind = 0;
  EXPECT_EQ(zav::getopt(4, argv, "abc"), 'a');
  EXPECT_EQ(zav::optind, 1);
  EXPECT_EQ(zav::getopt(4, argv, "abc"), 'b');
  EXPECT_EQ(zav::optind, 2);
  EXPECT_EQ(zav::optopt, 'b');
  // Restarting in the middle of a cluster begins again at the first element.
  zav::optind = 0;
  EXPECT_EQ(zav::getopt(4, argv, "abc"), 'a');
  EXPECT_EQ(zav::getopt(4, argv, "abc"), 'b');
  EXPECT_EQ(zav::getopt(4, argv, "abc"), 'c');
  EXPECT_EQ(zav::getopt(4, argv, "abc"), -1);
  EXPECT_EQ(zav::optind, 3);
  // No end state is kept: the next call looks at the operand again.
  EXPECT_EQ(zav::getopt(4, argv, "abc"), -1);
  EXPECT_EQ(zav::optind, 3);
  // optopt is set for unknown letters too.
  zav::optind = 0;
  EXPECT_EQ(zav::getopt(4, argv, "b"), '?');
  EXPECT_EQ(zav::optopt, 'a');
  zav::opterr = 1;
  zav::optind = 1;
}

TEST(Getopt, EachCallTakesTheModesOfItsOwnOptionString) {
  std::string a = "-a", p = "+b";
  char* argv[] = {const_cast<char*>("prog"), a.data(), p.data(), nullptr};
  zav::opterr = 0;
  const struct {
    const char* optstring;
    int argc;
    int optind_before;
    int result;
  } calls[] = {
      {":a:", 2, 0, ':'}, {"a:", 2, 1, '?'}, {":a:", 2, 1, ':'},  // a missing argument: quiet or not
      {"+b", 3, 2, 'b'},  {"b", 3, 2, -1},   {"+b", 3, 2, 'b'},   // a + cluster only in plus-cluster mode
  };
  for (const auto& call : calls) {
    zav::optind = call.optind_before;
    EXPECT_EQ(zav::getopt(call.argc, argv, call.optstring), call.result)
        << call.optstring << " at " << call.optind_before;
  }
  zav::opterr = 1;
  zav::optind = 1;
}

}  // namespace
