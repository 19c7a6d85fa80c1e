// Path names: the drive form, root prefixes, absolute names, the current and
// per-drive directories, the case of stored names and volume information.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <winapi_settings.h>
#endif

#include <zav/errno.h>
#include <zav/path.h>
#include <zav/startup.h>
#include <zav/stdlib.h>

#include "scratch_dir.h"

#ifndef _WIN32
#include <winapi_settings.h>
#endif

namespace {

std::string normalised(std::string text) {
  zav::normalise_path(text.data());
  return text.c_str();  // the drive form shortens the text
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The current directory as Win32 gives it, in the runtime's form.
std::string win32_cwd() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n > 0 && n < sizeof buffer ? normalised(buffer) : std::string("<GetCurrentDirectoryA failed>");
}

// A drive_directory_list of the test's own, made with the runtime's allocator as
// start-up makes it; the process's list comes back afterwards.
class DriveList {
 public:
  explicit DriveList(std::vector<std::string> entries) : saved_(zav::drive_directory_list) {
    auto list = static_cast<char**>(zav::malloc((entries.size() + 1) * sizeof(char*)));
    for (std::size_t i = 0; i < entries.size(); ++i) list[i] = zav::strdup(entries[i].c_str());
    list[entries.size()] = nullptr;
    zav::drive_directory_list = list;
  }
  ~DriveList() {
    for (char** e = zav::drive_directory_list; *e != nullptr; ++e) zav::free(*e);
    zav::free(zav::drive_directory_list);
    zav::drive_directory_list = saved_;
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> out;
    for (char** e = zav::drive_directory_list; *e != nullptr; ++e) out.emplace_back(*e);
    return out;
  }

 private:
  char** saved_;
};

struct SlashDriveForm {
  explicit SlashDriveForm(int value) : saved(zav::slash_drive_form) { zav::slash_drive_form = value; }
  ~SlashDriveForm() { zav::slash_drive_form = saved; }
  int saved;
};

TEST(DriveForm, NormalisePathConvertsTheDriveFormOnlyWhenItIsComplete) {
  SlashDriveForm on(1);
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"/c=", "c:"},           {"/c=/", "c:/"},        {"/c=/tmp\\x\\y", "c:/tmp/x/y"},
      {"/c=x", "/c=x"},        {"/cc=/x", "/cc=/x"},   {"a\\b\\c", "a/b/c"},
      {"/7=/x", "7:/x"},       {"/=", "/="},           {"\\c=/x", "/c=/x"},
      {"/", "/"},              {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(normalised(c.in), c.out) << "normalise_path(\"" << c.in << "\")";
}

TEST(DriveForm, WithSlashDriveFormClearTheFormStays) {
  SlashDriveForm off(0);
  EXPECT_EQ(normalised("/c=/x"), "/c=/x");
  EXPECT_EQ(normalised("\\c=\\x"), "/c=/x");
}

TEST(DriveForm, TheSecondEntryKeepsBackslashesAndTakesEitherSeparator) {
  SlashDriveForm off(0);
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"/c=/a\\b", "c:/a\\b"}, {"\\d=", "d:"},   {"\\d=\\x", "\\d=\\x"},
      {"c:\\x", "c:\\x"},      {"a\\b", "a\\b"}, {"/c=x", "/c=x"},
  };
  for (const auto& c : cases) {
    std::string text = c.in;
    zav::convert_drive_form_only(text.data());
    EXPECT_STREQ(text.c_str(), c.out) << "convert_drive_form_only(\"" << c.in << "\")";
  }
}

TEST(RootPrefix, DrivesNetworkSharesAndPathsWithoutARoot) {
  const struct {
    const char* path;
    int length;
  } cases[] = {
      {"c:/x", 2},          {"c:x", 2},       {"c:", 2},          {"//srv/shr/x", 9},
      {"//srv/shr", 9},     {"//srv/shr/", 9}, {"\\\\srv\\shr\\x", 9}, {"/\\srv/shr", 9},
      {"//srv", -1},        {"//srv/", -1},    {"//", -1},          {"/x", -1},
      {"/", -1},            {"x/y", -1},       {"", -1},            {"//srv/shr/a/b", 9},
      // An empty server or share name is no share.
      {"///shr", -1},       {"//srv//x", -1},  {"////", -1},        {"//srv//", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(zav::root_prefix_length(c.path), c.length) << c.path;
}

TEST(RootOrDotName, RootsDrivesAndLastComponentsOfDots) {
  SlashDriveForm on(1);
  const struct {
    const char* path;
    bool refused;
  } cases[] = {
      {".", true},          {"..", true},          {"./", true},           {".\\\\", true},
      {"a/..", true},       {"a\\b\\.\\", true},   {"/x/../", true},       {"c:..", true},
      {"/", true},          {"\\", true},          {"//", true},           {"///", true},
      {"c:", true},         {"c:/", true},         {"c:\\\\", true},       {"/c=", true},
      {"/c=/", true},       {"/c=/x/.", true},     {"//srv/shr", true},    {"\\\\srv\\shr\\", true},
      {"//srv/shr/x/..", true},
      {"", false},          {"...", false},        {".x", false},          {"x.", false},
      {"..x/", false},      {"a/.b", false},       {"c:x", false},         {"c:/x", false},
      {"/c=x", false},      {"/cc=/", false},      {"\\c=\\", false},      {"//srv", false},
      {"//srv/", false},    {"//srv/shr/x", false}, {"a:b/c", false},
  };
  for (const auto& c : cases) EXPECT_EQ(zav::is_root_or_dot_name(c.path), c.refused) << c.path;
  SlashDriveForm off(0);
  EXPECT_FALSE(zav::is_root_or_dot_name("/c=")) << "a folder c= on the current drive";
  EXPECT_TRUE(zav::is_root_or_dot_name("/c=/.."));
}

#ifndef _WIN32
// 0x95 0x5C is one character of code page 932 whose second byte is a backslash.
TEST(RootOrDotName, SecondBytesAreNeitherSeparatorsNorDots) {
  WinapiSetCodePage(932);
  EXPECT_FALSE(zav::is_root_or_dot_name("\x95\x5c."));
  EXPECT_FALSE(zav::is_root_or_dot_name("a/\x95\x5c.."));
  EXPECT_FALSE(zav::is_root_or_dot_name("c:\x95\x5c"));
  EXPECT_TRUE(zav::is_root_or_dot_name("\x95\x5c\\.."));
  EXPECT_TRUE(zav::is_root_or_dot_name("//\x95\x5c/shr/"));
  WinapiSetCodePage(0);
}
#endif

TEST(OperandSpelling, OneTrailingSlashGoesUnlessARootOrAThreeCharacterNameWouldChange) {
  const struct {
    const char* operand;
    const char* kept;
  } cases[] = {
      {"dir/", "dir"}, {"a/b/", "a/b"}, {"dir//", "dir/"}, {"dir", "dir"}, {"", ""},
      {"/", "/"},      {"c:/", "c:/"},  {"ab/", "ab/"},    {"x:/", "x:/"}, {"ab:/", "ab:/"},
  };
  for (const auto& c : cases) {
    std::string text = c.operand;
    zav::drop_trailing_slash(text.data());
    EXPECT_EQ(std::string(text.c_str()), c.kept) << c.operand;
  }
}

TEST(OperandSpelling, DrivePrefixIsALetterAndAColon) {
  for (const char* yes : {"c:", "Z:/x", "a:b"}) EXPECT_TRUE(zav::has_drive_prefix(yes)) << yes;
  for (const char* no : {"", "c", "1:", "::", "/c:", "@:", "[:", "`:", "{:"}) EXPECT_FALSE(zav::has_drive_prefix(no)) << no;
}

#ifndef _WIN32
// 0x81 0x41 is one character of code page 932 whose second byte is an A.
TEST(OperandSpelling, FoldingToLowerCaseLeavesSecondBytesAlone) {
  WinapiSetCodePage(932);
  std::string text = "AbC/\x81\x41Z\x81";
  zav::fold_to_lower_case(text.data());
  WinapiSetCodePage(0);
  EXPECT_EQ(text, "abc/\x81\x41z\x81");
}
#endif

// absolute_name into a buffer of `size` with a guard after it; "ERR n" on failure.
std::string absolute(const char* base, const char* path, std::size_t size = MAX_PATH + 1) {
  std::string text = path;
  std::vector<char> buffer(size + 8, '#');
  zav::errno_ = 12345;
  int r = zav::absolute_name(base, text.data(), buffer.data(), size);
  for (std::size_t i = size; i < buffer.size(); ++i)
    if (buffer[i] != '#') return "OVERRUN";
  if (r != 0) return "ERR " + std::to_string(zav::errno_);
  if (zav::errno_ != 0) return "errno not cleared";
  return buffer.data();
}

std::string error(int e) { return "ERR " + std::to_string(e); }

TEST(AbsoluteName, AgainstABase) {
  const struct {
    const char* base;
    const char* path;
    std::string result;
  } cases[] = {
      {"c:/base", "x", "c:/base/x"},
      {"c:/base/", "x", "c:/base/x"},
      {"c:\\base", "x\\y", "c:/base/x/y"},
      {"c:/base", "./a//b/.", "c:/base/a/b"},
      {"c:/base", "a/../b", "c:/base/b"},
      {"c:/base", "..", "c:/"},
      {"c:/base", "../..", error(zav::ENOENT_)},
      {"c:/base", "/x", "c:/x"},
      {"c:", "x", "c:/x"},
      {"//srv/shr/dir", "x", "//srv/shr/dir/x"},
      {"//srv/shr/dir", "/x", "//srv/shr/x"},
      {"//srv/shr/dir", "../..", error(zav::ENOENT_)},
      {"c:/base", "d:/y/../z", "d:/z"},
      {"c:/base", "c:/", "c:/"},
      {"c:/base", "c:/..", error(zav::ENOENT_)},
      {"c:/base", "//srv/share/a/..", "//srv/share"},
      {"c:/base", "//srv/share", "//srv/share"},
      {"c:/base", "//srv", error(zav::ENOENT_)},
      {"c:/base", "//srv//x", error(zav::ENOENT_)},
      {"c:/base", "////../..=x:", error(zav::ENOENT_)},
      {"abc", "x", error(zav::EINVAL_)},
      {"/base", "x", error(zav::EINVAL_)},
      {"c:base", "x", error(zav::EINVAL_)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(absolute(c.base, c.path), c.result) << "base " << c.base << ", path " << c.path;
}

TEST(AbsoluteName, NormalisesThePathInPlace) {
  char path[] = "a\\b";
  char buffer[64];
  ASSERT_EQ(zav::absolute_name("c:/base", path, buffer, sizeof buffer), 0);
  EXPECT_STREQ(path, "a/b");
  EXPECT_STREQ(buffer, "c:/base/a/b");
}

TEST(AbsoluteName, RefusesMissingArgumentsAndSmallBuffers) {
  char path[] = "x";
  char buffer[16];
  zav::errno_ = 0;
  EXPECT_EQ(zav::absolute_name("c:/", nullptr, buffer, sizeof buffer), -1);
  EXPECT_EQ(zav::errno_, zav::EINVAL_);
  zav::errno_ = 0;
  EXPECT_EQ(zav::absolute_name("c:/", path, nullptr, sizeof buffer), -1);
  EXPECT_EQ(zav::errno_, zav::EINVAL_);
  zav::errno_ = 0;
  EXPECT_EQ(zav::absolute_name("c:/", path, path, sizeof path), -1);
  EXPECT_EQ(zav::errno_, zav::EINVAL_);
  zav::errno_ = 0;
  EXPECT_EQ(zav::absolute_name("c:/", path, buffer, 2), -1);
  EXPECT_EQ(zav::errno_, zav::ERANGE_);
}

TEST(AbsoluteName, ResultsThatDoNotFitNeverWriteBeyondTheBuffer) {
  const std::string range = error(zav::ERANGE_);
  // The drive root needs its closing slash: "c:/" takes four bytes.
  EXPECT_EQ(absolute("c:/base", "c:/", 3), range);
  EXPECT_EQ(absolute("c:/base", "c:/", 4), "c:/");
  EXPECT_EQ(absolute("c:", "x", 3), range);
  // An appended component must stay below size - 2.
  EXPECT_EQ(absolute("c:/base", "abcdef", 14), range);
  EXPECT_EQ(absolute("c:/base", "abcdef", 17), "c:/base/abcdef");
  EXPECT_EQ(absolute("c:/a-long-base", "x", 8), range);
  EXPECT_EQ(absolute("c:/base", "//server/share", 8), range);
}

TEST(AbsoluteName, TheDrivesCurrentDirectoryComesFromTheDriveList) {
  DriveList list({"=ExitCode=00000001", "=Q:=Q:\\work\\dir"});
  EXPECT_EQ(absolute(nullptr, "q:"), "Q:/work/dir");
  EXPECT_EQ(absolute(nullptr, "q:."), "Q:/work/dir");
  EXPECT_EQ(absolute(nullptr, "q:./x/../y"), "Q:/work/dir/y");
  EXPECT_EQ(absolute(nullptr, "r:"), "R:/");
  EXPECT_EQ(absolute(nullptr, "r:./x"), "R:/x");
}

TEST(AbsoluteName, WithoutABaseTheCurrentDirectoryIsTheStart) {
  std::string cwd = win32_cwd();
  int root = zav::root_prefix_length(cwd.c_str());
  ASSERT_GT(root, 0) << cwd;
  // Case may be corrected or folded by getcwd; the structure may not.
  EXPECT_EQ(lower(absolute(nullptr, "x/../y")), lower(cwd + (cwd.back() == '/' ? "" : "/") + "y"));
  EXPECT_EQ(lower(absolute(nullptr, "/tmp//a/./b")), lower(cwd.substr(0, root) + "/tmp/a/b"));
  EXPECT_EQ(lower(absolute("", "x")), lower(cwd.substr(0, root) + "/x"));
  EXPECT_EQ(lower(absolute(nullptr, ".")), lower(cwd));
}

TEST(DriveDirectory, ReadsOnlyDriveEntries) {
  DriveList list({"=ExitCode=00000001", "=C:=C:\\w"});
  const struct {
    int letter;
    const char* result;
  } cases[] = {{'c', "C:\\w"}, {'C', "C:\\w"}, {'e', "E:/"}};
  for (const auto& c : cases) {
    char* d = zav::drive_directory(c.letter);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d, c.result) << static_cast<char>(c.letter);
    zav::free(d);
  }
}

TEST(DriveDirectory, SetDriveDirectoryReplacesOrAppends) {
  DriveList list({"=ExitCode=00000001", "=Q:=Q:\\old"});
  ASSERT_EQ(zav::set_drive_directory("=q:", "Q:\\new"), 1);
  ASSERT_EQ(zav::set_drive_directory("=R:", "R:\\r"), 1);
  EXPECT_EQ(list.entries(), (std::vector<std::string>{"=ExitCode=00000001", "=q:=Q:\\new", "=R:=R:\\r"}));
  char value[32] = "";
  EXPECT_GT(GetEnvironmentVariableA("=R:", value, sizeof value), 0u);
  EXPECT_STREQ(value, "R:\\r");
}

TEST(Getcwd, GivesTheNormalisedCurrentDirectory) {
  std::string expected = lower(win32_cwd());
  char* allocated = zav::getcwd(nullptr, 300);
  ASSERT_NE(allocated, nullptr) << "errno " << zav::errno_;
  EXPECT_EQ(lower(allocated), expected);
  EXPECT_EQ(std::strchr(allocated, '\\'), nullptr);

  std::vector<char> exact(expected.size() + 1);
  EXPECT_EQ(zav::getcwd(exact.data(), exact.size()), exact.data());
  EXPECT_STREQ(exact.data(), allocated);
  zav::free(allocated);
}

TEST(Getcwd, ADirectoryThatDoesNotFitIsERANGE) {
  std::string cwd = win32_cwd();
  std::vector<char> small(cwd.size());
  zav::errno_ = 0;
  EXPECT_EQ(zav::getcwd(small.data(), small.size()), nullptr);
  EXPECT_EQ(zav::errno_, zav::ERANGE_);
  // The allocated buffer is at least 261 bytes, yet the caller's size still rules.
  zav::errno_ = 0;
  EXPECT_EQ(zav::getcwd(nullptr, 2), nullptr);
  EXPECT_EQ(zav::errno_, zav::ERANGE_);
}

class CurrentDirectory : public testing::Test {
 protected:
  void SetUp() override {
    char buffer[MAX_PATH + 1];
    ASSERT_GT(GetCurrentDirectoryA(sizeof buffer, buffer), 0u);
    saved_ = buffer;
    ASSERT_GT(GetFullPathNameA(scratch_.path().c_str(), sizeof buffer, buffer, nullptr), 0u);
    full_ = normalised(buffer);
    ASSERT_TRUE(CreateDirectoryA((scratch_.path() + "/MixedCase").c_str(), nullptr));
    scratch_.write("MixedCase/Inner.TXT", "x");
  }
  void TearDown() override {
    SetCurrentDirectoryA(saved_.c_str());
    DeleteFileA((scratch_.path() + "/MixedCase/Inner.TXT").c_str());
    RemoveDirectoryA((scratch_.path() + "/MixedCase").c_str());
  }

  ztest::ScratchDir scratch_;
  std::string saved_;
  std::string full_;  // the scratch directory, absolute and normalised
};

TEST_F(CurrentDirectory, ChdirRecordsTheNewDirectoryForItsDrive) {
  std::string drive = full_.substr(0, 2);
  DriveList list({"=ExitCode=00000001", "=" + drive + "=" + drive + "\\old"});
  ASSERT_EQ(zav::chdir((full_ + "/MixedCase").c_str()), 0) << "errno " << zav::errno_;
  std::string now = win32_cwd();
  EXPECT_EQ(lower(now), lower(full_ + "/MixedCase"));
  std::vector<std::string> entries = list.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], "=ExitCode=00000001");
  EXPECT_EQ(normalised(entries[1]), "=" + drive + "=" + now);
  char value[MAX_PATH + 1] = "";
  GetEnvironmentVariableA(("=" + drive).c_str(), value, sizeof value);
  EXPECT_EQ(normalised(value), now);
}

TEST_F(CurrentDirectory, ChdirAppendsADriveThatTheListLacks) {
  DriveList list({"=ExitCode=00000001"});
  ASSERT_EQ(zav::chdir(full_.c_str()), 0) << "errno " << zav::errno_;
  std::vector<std::string> entries = list.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(lower(normalised(entries[1])), lower("=" + full_.substr(0, 2) + "=" + full_));
}

TEST_F(CurrentDirectory, ChdirToAMissingDirectoryFailsAndStays) {
  std::string before = win32_cwd();
  zav::errno_ = 0;
  EXPECT_EQ(zav::chdir((full_ + "/no-such-dir").c_str()), -1);
  EXPECT_TRUE(zav::errno_ == zav::ENOENT_ || zav::errno_ == zav::ENOTDIR_) << zav::errno_;
  EXPECT_EQ(win32_cwd(), before);
}

TEST_F(CurrentDirectory, ChdirRefusesANameItWouldHaveToCut) {
  // Cut at 260 bytes the name would lead into the scratch directory itself.
  std::string name = full_ + std::string(MAX_PATH - full_.size(), '/') + "missing";
  std::string before = win32_cwd();
  zav::errno_ = 0;
  EXPECT_EQ(zav::chdir(name.c_str()), -1);
  EXPECT_EQ(zav::errno_, zav::ENAMETOOLONG_);
  EXPECT_EQ(win32_cwd(), before);
}

TEST_F(CurrentDirectory, ADrivePathWithoutASlashIsRelativeToTheDrivesDirectory) {
  ASSERT_TRUE(SetCurrentDirectoryA((full_ + "/MixedCase").c_str()));
  DriveList list({});
  std::string path = full_.substr(0, 2) + "x/../Inner.TXT";
  EXPECT_EQ(lower(absolute(nullptr, path.c_str())), lower(full_ + "/MixedCase/Inner.TXT"));
  EXPECT_EQ(lower(win32_cwd()), lower(full_ + "/MixedCase"));
}

TEST_F(CurrentDirectory, ChdirMakesALowerCaseDriveLetterUpperCase) {
  std::string path = full_;
  path[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
  ASSERT_EQ(zav::chdir(path.c_str()), 0) << "errno " << zav::errno_;
  EXPECT_TRUE(std::isupper(static_cast<unsigned char>(win32_cwd()[0]))) << win32_cwd();
}

TEST_F(CurrentDirectory, DriveGetcwdOfTheCurrentDriveLeavesTheDirectoryAlone) {
  ASSERT_TRUE(SetCurrentDirectoryA(full_.c_str()));
  DriveList list({});
  char buffer[MAX_PATH + 1];
  ASSERT_NE(zav::drive_getcwd(full_.substr(0, 2).c_str(), buffer, sizeof buffer), nullptr)
      << "errno " << zav::errno_;
  EXPECT_EQ(lower(buffer), lower(full_));
  EXPECT_EQ(lower(win32_cwd()), lower(full_));
  ASSERT_NE(zav::drive_getcwd(nullptr, buffer, sizeof buffer), nullptr);
  EXPECT_EQ(lower(buffer), lower(full_));
}

TEST_F(CurrentDirectory, TrueCasePathSpellsComponentsAsStored) {
  char* cased = zav::true_case_path((full_ + "/mixedcase/INNER.txt").c_str());
  ASSERT_NE(cased, nullptr);
#ifdef _WIN32
  EXPECT_EQ(std::string(cased), full_ + "/MixedCase/Inner.TXT");
#else
  // The host's file systems compare names exactly: a differently cased name is
  // another, missing, name and stays as given.
  EXPECT_EQ(std::string(cased), full_ + "/mixedcase/INNER.txt");
#endif
  zav::free(cased);

  cased = zav::true_case_path((full_ + "\\MixedCase\\no-such-file").c_str());
  ASSERT_NE(cased, nullptr);
  EXPECT_EQ(std::string(cased), full_ + "\\MixedCase\\no-such-file");
  zav::free(cased);
}

TEST(TrueCasePath, ConvertsTheDriveFormButKeepsBackslashes) {
  SlashDriveForm off(0);
  char* cased = zav::true_case_path("/q=/no\\such");
  ASSERT_NE(cased, nullptr);
  EXPECT_STREQ(cased, "q:/no\\such");
  zav::free(cased);
}

TEST(UncForWin95, OnWindowsNTOnlyNormalises) {
  if (GetVersion() & 0x80000000u) GTEST_SKIP() << "running as Windows 95/98";
  char path[] = "\\\\srv\\shr\\x";
  EXPECT_STREQ(zav::unc_for_win95(path), "//srv/shr/x");
}

// The host layer's Windows 95 personality.
TEST(UncForWin95, OnWindows95TheServerPartTakesBackslashes) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows (and Wine) answer as Windows NT; the 95 personality is the host layer's";
#else
  const char* saved = std::getenv("WINAPI_VERSION");
  std::string restore = saved != nullptr ? saved : "";
  setenv("WINAPI_VERSION", "95", 1);
  bool personality = (GetVersion() & 0x80000000u) != 0;
  char unc[] = "//srv/shr/x/y";
  char drive[] = "c:\\x";
  if (personality) {
    EXPECT_STREQ(zav::unc_for_win95(unc), "\\\\srv\\shr/x/y");
    EXPECT_STREQ(zav::unc_for_win95(drive), "c:/x");
  }
  if (saved != nullptr)
    setenv("WINAPI_VERSION", restore.c_str(), 1);
  else
    unsetenv("WINAPI_VERSION");
  if (!personality) GTEST_SKIP() << "the host layer does not answer as Windows 95 for WINAPI_VERSION=95 yet";
#endif
}

TEST(Volume, RootsOfDrivePathsAndTheDriveForm) {
  std::string cwd = win32_cwd();
  char root[MAX_PATH + 1];
  ASSERT_EQ(zav::volume_root(cwd.c_str(), root, sizeof root), 1) << GetLastError();
  EXPECT_EQ(lower(root), lower(cwd.substr(0, 2) + "\\"));

  SlashDriveForm off(0);
  std::string form = "/" + cwd.substr(0, 1) + "=" + cwd.substr(2);
  ASSERT_EQ(zav::volume_root(form.c_str(), root, sizeof root), 1) << GetLastError();
  EXPECT_EQ(lower(root), lower(cwd.substr(0, 2) + "\\"));
}

TEST(Volume, InformationAndFileSystemType) {
  DWORD flags = 0, maximum = 0;
  char name[32] = "";
  ASSERT_TRUE(zav::volume_information(nullptr, nullptr, 0, nullptr, &maximum, &flags, name, sizeof name))
      << GetLastError();
  std::string cwd = win32_cwd();
  DWORD flags2 = 0;
  ASSERT_TRUE(zav::volume_information(cwd.c_str(), nullptr, 0, nullptr, nullptr, &flags2, nullptr, 0))
      << GetLastError();
  EXPECT_EQ(flags, flags2);
  // The folding bit follows the volume's own answer.
  int expected = (flags & FS_CASE_IS_PRESERVED) || std::strcmp(name, "AS400") == 0 || maximum != 12 ? 0 : 249;
  EXPECT_EQ(zav::file_system_type(cwd.c_str()), expected) << name << " flags " << flags;
  EXPECT_EQ(zav::file_system_type("relative"), expected);
  // A network path without a share, or one that cannot be asked, folds.
  EXPECT_EQ(zav::file_system_type("//server-without-share"), 249);
  EXPECT_EQ(zav::file_system_type("//no-such-server-zav/share/x"), 249);
}

bool double_byte_code_page() { return IsDBCSLeadByte(0x95) && IsDBCSLeadByte(0x82); }

// 0x95 0x5C is one character of code page 932 whose second byte is a backslash.
TEST(DoubleByteNames, SecondBytesAreNeverSeparators) {
  if (!double_byte_code_page())
    GTEST_SKIP() << "the file code page is not double-byte (run with WINAPI_CODEPAGE=932 on the "
                    "host, or a Japanese Wine locale)";
  EXPECT_EQ(normalised("a\\\x95\x5c\\b"), "a/\x95\x5c/b");
  EXPECT_EQ(normalised("\x95\x5c"), "\x95\x5c");
  EXPECT_EQ(zav::root_prefix_length("//\x95\x5c/shr"), 8);
  EXPECT_EQ(zav::root_prefix_length("//srv/\x95\x5c/x"), 8);
  EXPECT_EQ(absolute("c:/b", "\x95\x5c/x/.."), "c:/b/\x95\x5c");
  EXPECT_EQ(absolute("c:/b", "\x95\x5c/.."), "c:/b");
  EXPECT_EQ(absolute("c:/b", "x/\x95\x5c\\.."), "c:/b/x");
  SlashDriveForm on(1);
  EXPECT_EQ(normalised("/c=/\x95\x5c\\x"), "c:/\x95\x5c/x");
}

#if !defined(_WIN32)
// A share name may end in a double-byte character whose second byte is 0x5C or
// 0x2F: the name still has no separator after it.
TEST(DoubleByteNames, AShareNameEndingInADoubleByteCharacterHasNoSeparatorAfterIt) {
  WinapiSetCodePage(932);
  const struct {
    const char* path;
    int length;
    const char* absolute;
  } cases[] = {
      {"//srv/\x83\x5c", 8, "//srv/\x83\x5c"},
      {"//srv/\x83\x2f", 8, "//srv/\x83\x2f"},
      {"//srv/a\x83\x5c", 9, "//srv/a\x83\x5c"},
      {"//srv/\x83\x5c/a/..", 8, "//srv/\x83\x5c"},
      {"//\x83\x5c/\x83\x5c", 7, "//\x83\x5c/\x83\x5c"},
      {"//srv/\x83", 7, "//srv/\x83"},
      {"//srv\x83\x5c", -1, "ERR 2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zav::root_prefix_length(c.path), c.length) << c.path;
    EXPECT_EQ(absolute(nullptr, c.path), c.absolute) << c.path;
  }
  WinapiSetCodePage(0);
}
#endif

}  // namespace
