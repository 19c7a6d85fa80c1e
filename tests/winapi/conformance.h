// Shared pieces of the Windows API conformance tests: a private directory per
// test and the markers for known differences from Windows.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace conformance {

constexpr DWORD sentinel = 0xdeadbeef;

// True in the Windows build when the host is Wine rather than Windows.
bool running_under_wine();

// Wine opens through the host's permissions, so as root it writes read-only files.
bool wine_running_as_root();

// What the host gives where Windows and the platform under test are known to
// differ: `expected` on Windows and in the layer, `differing` under Wine. The
// check fails when the difference goes away, so the marker gets removed then.
#define EXPECT_KNOWN_WINE_DIFFERENCE(actual, expected, differing, why)                        \
  do {                                                                                        \
    if (::conformance::running_under_wine())                                                  \
      EXPECT_EQ((actual), (differing)) << "known Wine difference (" why "), Windows gives "   \
                                       << (expected);                                         \
    else                                                                                      \
      EXPECT_EQ((actual), (expected)) << "Windows gives this; Wine differs: " why;            \
  } while (0)

// A fresh directory for each test, removed with all it holds afterwards.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The Windows name of an entry in the directory, joined with a backslash.
  std::string path(const std::string& name) const { return dir_ + "\\" + name; }
  const std::string& dir() const { return dir_; }

  // Creates the file with the given contents; fails the test if it cannot.
  void make_file(const std::string& name, const std::string& contents = {});
  // The whole contents of the file, read through the API under test.
  std::string contents(const std::string& name);
  bool exists(const std::string& name) const;

 private:
  std::string dir_;
};

HANDLE open_file(const std::string& name, DWORD access, DWORD share, DWORD disposition,
                 DWORD flags = FILE_ATTRIBUTE_NORMAL);

#ifndef _WIN32
// How many descriptors the process holds open.
int open_descriptors();
#endif

}  // namespace conformance
