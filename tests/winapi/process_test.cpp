// GetVersion, the process identity, ExitProcess and GetCommandLineA.
#include "conformance.h"

#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fstream>
#include <iterator>
#include <unistd.h>

#include <winapi_settings.h>

#include "../../winapi/command_line.h"
#endif

using namespace conformance;

namespace {

constexpr DWORD windows_9x_bit = 0x80000000u;

TEST(Version, AnswersAsWindowsNt) {
  DWORD version = GetVersion();
  EXPECT_EQ(version & windows_9x_bit, 0u) << std::hex << version;
  EXPECT_GE(version & 0xFF, 5u) << "major version of " << std::hex << version;
}

TEST(ErrorMode, SetErrorModeGivesBackThePreviousMode) {
  const UINT before = SetErrorMode(SEM_NOGPFAULTERRORBOX);
  EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX) & SEM_NOGPFAULTERRORBOX,
            UINT{SEM_NOGPFAULTERRORBOX});
  EXPECT_EQ(SetErrorMode(before) & (SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX),
            UINT{SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX});
}

// A handle that no file mapping stands behind, such as one a parent meant to hand
// down and did not, gives no view.
TEST(FileMapping, HandleWithoutMappingGivesNoView) {
  SetLastError(sentinel);
  EXPECT_EQ(MapViewOfFile(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7ffc)), FILE_MAP_ALL_ACCESS, 0, 0, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  SetLastError(sentinel);
  EXPECT_EQ(MapViewOfFile(GetStdHandle(STD_OUTPUT_HANDLE), FILE_MAP_ALL_ACCESS, 0, 0, 0), nullptr);
  EXPECT_NE(GetLastError(), DWORD{sentinel});
}

#ifndef _WIN32
class VersionSettingTest : public ::testing::TestWithParam<const char*> {
 protected:
  void TearDown() override { SetEnvironmentVariableA("WINAPI_VERSION", nullptr); }
};

TEST_P(VersionSettingTest, WindowsNinetyFiveAndNinetyEightSetTheHighBit) {
  ASSERT_TRUE(SetEnvironmentVariableA("WINAPI_VERSION", GetParam()));
  DWORD version = GetVersion();
  EXPECT_EQ(version & windows_9x_bit, windows_9x_bit) << std::hex << version;
  EXPECT_EQ(version & 0xFF, 4u) << "major version";
  EXPECT_EQ((version >> 8) & 0xFF, std::strcmp(GetParam(), "95") == 0 ? 0u : 10u) << "minor version";
}

INSTANTIATE_TEST_SUITE_P(Settings, VersionSettingTest, ::testing::Values("95", "98"));

TEST(ProcessDeathTest, ExitProcessKeepsTheLowEightBits) {
  EXPECT_EXIT(ExitProcess(269), ::testing::ExitedWithCode(13), "");
  EXPECT_EXIT(ExitProcess(static_cast<UINT>(-1)), ::testing::ExitedWithCode(255), "");
  EXPECT_EXIT(ExitProcess(0), ::testing::ExitedWithCode(0), "");
}

// The runtime's splitting of a command line, written from its rules, to check
// that quoting gives every argument back.
std::vector<std::string> split(const std::string& line, std::vector<bool>* wildcard = nullptr) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) break;
    std::string word;
    bool pattern = false;
    char quote = 0;
    for (; i < line.size(); ++i) {
      char c = line[i];
      if (!quote && (c == ' ' || c == '\t')) break;
      if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < line.size()) {
        word += c;
        word += line[++i];
      } else if (c == '\\' && quote != '\'' && i + 1 < line.size() && line[i + 1] == '"') {
        word += '"';
        ++i;
      } else if (quote && c == quote) {
        quote = 0;
      } else if (!quote && (c == '"' || c == '\'')) {
        quote = c;
      } else {
        if (!quote && (c == '*' || c == '?' || c == '[')) pattern = true;
        word += c;
      }
    }
    words.push_back(word);
    if (wildcard) wildcard->push_back(pattern);
  }
  return words;
}

TEST(CommandLine, QuotingExamples) {
  EXPECT_EQ(winapi::quote_argument("plain"), "plain");
  EXPECT_EQ(winapi::quote_argument(""), "''");
  EXPECT_EQ(winapi::quote_argument("a b"), "'a b'");
  EXPECT_EQ(winapi::quote_argument("it's"), "'it'\"'\"'s'");
  EXPECT_EQ(winapi::quote_argument("'"), "\"'\"");
  EXPECT_EQ(winapi::quote_argument("*.txt"), "'*.txt'");
  EXPECT_EQ(winapi::quote_argument("C:\\dir\\"), "C:\\dir\\") << "backslashes alone need no quotes";
}

TEST(CommandLine, EveryArgumentComesBackByteForByte) {
  const std::vector<std::string> arguments = {
      "rm", "-rf", "", " ", "a b", "tab\there", "it's", "''", "\"", "\\\"", "say \"hi\"", "\\", "back\\slash\\",
      "*", "?.c", "[ab]", "x'*'y", "'\"'\"", "\\'", "end\\\\\"", "utf-8 \xc3\xa9", "\x01\xff",
  };
  std::vector<const char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.c_str());
  std::vector<bool> wildcard;
  std::string line = winapi::command_line(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(split(line, &wildcard), arguments) << line;
  for (size_t i = 0; i < wildcard.size(); ++i)
    EXPECT_FALSE(wildcard[i]) << "argument " << i << " became a pattern in " << line;
}

// Under a double-byte code page a lead byte takes the next byte with it: the
// line carries an argument only when that byte is the argument's own.
TEST(CommandLine, DoubleByteArgumentsComeBackOrAreHandedOver) {
  WinapiSetCodePage(932);
  const struct {
    std::string argument;
    bool carried;
  } cases[] = {
      {"a\x95\x5c", true},  {"\x95\x95", true},  {"a \x95\x41 b", true}, {"\x95\"", true},
      {"it\x95\x41's", true}, {"a\x95", false},     {"\x95\x95\x95", false}, {"a b\x95", false},
      {"\x95'", false},       {"x\x95'y", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(winapi::carried_byte_for_byte(c.argument), c.carried) << c.argument;
    const char* argv[] = {"rm", c.argument.c_str(), "b"};
    const std::vector<std::string> split_back = split(winapi::command_line(3, argv));
    EXPECT_EQ(split_back == std::vector<std::string>({"rm", c.argument, "b"}), c.carried) << c.argument;
  }
  WinapiSetCodePage(65001);
  EXPECT_TRUE(winapi::carried_byte_for_byte("a\x95"));
  WinapiSetCodePage(0);
}

TEST(CommandLine, BuiltFromTheHostArgumentVector) {
  std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
  std::vector<std::string> arguments;
  for (size_t start = 0; start < raw.size();) {
    size_t end = raw.find('\0', start);
    arguments.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_FALSE(arguments.empty());
  std::string line = GetCommandLineA();
  EXPECT_EQ(line.rfind(winapi::quote_argument(arguments[0]), 0), 0u)
      << "does not start with the program's name: " << line;
  EXPECT_EQ(split(line), arguments);
}
#endif

}  // namespace
