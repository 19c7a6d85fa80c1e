// Volumes, module look-ups, handle information and time conversions.
#include "conformance.h"

#include <cstdlib>
#include <ctime>

namespace {

using conformance::sentinel;

class Volume : public conformance::TempDirTest {};

TEST_F(Volume, VolumePathAndInformation) {
  char root[MAX_PATH];
  SetLastError(sentinel);
  ASSERT_TRUE(GetVolumePathNameA(path("x").c_str(), root, sizeof root)) << GetLastError();
  std::string volume = root;
  ASSERT_GE(volume.size(), 3u);
  EXPECT_EQ(volume[1], ':');
  EXPECT_EQ(volume.back(), '\\');
  char full[MAX_PATH];
  GetFullPathNameA(dir().c_str(), sizeof full, full, nullptr);
  EXPECT_EQ(std::string(full).rfind(volume.substr(0, volume.size() - 1), 0), 0u) << "the volume holds the path";

  char name[32] = "", label[32] = "x";
  DWORD serial = 0, maximum = 0, flags = 0;
  SetLastError(sentinel);
  ASSERT_TRUE(GetVolumeInformationA(root, label, sizeof label, &serial, &maximum, &flags, name, sizeof name))
      << GetLastError();
  EXPECT_NE(name[0], '\0');
  EXPECT_EQ(maximum, 255u);
  EXPECT_NE(flags & FS_CASE_IS_PRESERVED, 0u);
  // NTFS and the host's file systems compare names exactly, and say so.
  EXPECT_KNOWN_WINE_DIFFERENCE(flags & FS_CASE_SENSITIVE, DWORD{FS_CASE_SENSITIVE}, DWORD{0},
                               "Wine reports its volumes as comparing names without case");
  DWORD again = 0;
  ASSERT_TRUE(GetVolumeInformationA(nullptr, nullptr, 0, &again, nullptr, nullptr, nullptr, 0));

  SetLastError(sentinel);
  std::string without_separator = volume.substr(0, 2);
  BOOL answered =
      GetVolumeInformationA(without_separator.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
  EXPECT_KNOWN_WINE_DIFFERENCE(answered, FALSE, TRUE, "Wine takes a root without its backslash");
  EXPECT_KNOWN_WINE_DIFFERENCE(GetLastError(), DWORD{ERROR_INVALID_NAME}, sentinel,
                               "Wine takes a root without its backslash");
  char tiny[2];
  SetLastError(sentinel);
  EXPECT_FALSE(GetVolumePathNameA(path("x").c_str(), tiny, 2));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILENAME_EXCED_RANGE});
}

#ifndef _WIN32
TEST_F(Volume, TheHostRootAndItsMounts) {
  char root[MAX_PATH];
  ASSERT_TRUE(GetVolumePathNameA("Z:\\", root, sizeof root));
  EXPECT_STREQ(root, "Z:\\");
  // /proc is a mount of its own on every Linux host.
  ASSERT_TRUE(GetVolumePathNameA("Z:\\proc\\self", root, sizeof root));
  EXPECT_STREQ(root, "Z:\\proc\\");
  char name[32];
  ASSERT_TRUE(GetVolumeInformationA("Z:\\proc\\", nullptr, 0, nullptr, nullptr, nullptr, name, sizeof name));
  EXPECT_STREQ(name, "UNIX") << "a file system without a name of its own";
}

// What was seen of a volume holds for a moment only.
TEST_F(Volume, ARootThatWentAwayIsMissedAMomentLater) {
  ASSERT_TRUE(CreateDirectoryA(path("gone").c_str(), nullptr));
  std::string host = dir() + "/gone";
  for (char& c : host)
    if (c == '\\') c = '/';
  ASSERT_TRUE(SetEnvironmentVariableA("WINAPI_DRIVE_Q", host.c_str()));
  DWORD serial = 0;
  ASSERT_TRUE(GetVolumeInformationA("Q:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) << GetLastError();
  ASSERT_TRUE(RemoveDirectoryA(path("gone").c_str()));
  ::Sleep(5);
  SetLastError(sentinel);
  EXPECT_FALSE(GetVolumeInformationA("Q:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
  SetEnvironmentVariableA("WINAPI_DRIVE_Q", nullptr);
}
#endif

TEST(Modules, Kernel32OffersGetVolumePathNameA) {
  HMODULE kernel = LoadLibraryA("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  FARPROC found = GetProcAddress(kernel, "GetVolumePathNameA");
  ASSERT_NE(found, nullptr);
  auto function = reinterpret_cast<BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD)>(reinterpret_cast<void*>(found));
  char root[MAX_PATH], direct[MAX_PATH];
  ASSERT_TRUE(function("\\", root, sizeof root));
  ASSERT_TRUE(GetVolumePathNameA("\\", direct, sizeof direct));
  EXPECT_STREQ(root, direct);
  SetLastError(sentinel);
  EXPECT_EQ(GetProcAddress(kernel, "NoSuchFunctionAnywhere"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PROC_NOT_FOUND});
  SetLastError(sentinel);
  EXPECT_EQ(LoadLibraryA("no-such-module-zav.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
  FreeLibrary(kernel);
}

TEST(Modules, Shell32OffersSHFileOperationWAndKernel32DoesNot) {
  HMODULE shell = LoadLibraryA("shell32.dll");
  ASSERT_NE(shell, nullptr);
  EXPECT_NE(GetProcAddress(shell, "SHFileOperationW"), nullptr);
  HMODULE kernel = LoadLibraryA("KERNEL32");
  ASSERT_NE(kernel, nullptr);
  SetLastError(sentinel);
  EXPECT_EQ(GetProcAddress(kernel, "SHFileOperationW"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PROC_NOT_FOUND});
  FreeLibrary(kernel);
  FreeLibrary(shell);
}

class HandleInformation : public conformance::TempDirTest {};

TEST_F(HandleInformation, FilesAndDirectories) {
  make_file("f", std::string(5000, 'x'));
  HANDLE a = conformance::open_file(path("f"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  HANDLE b = conformance::open_file(path("f"), 0, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  ASSERT_NE(b, INVALID_HANDLE_VALUE);
  BY_HANDLE_FILE_INFORMATION ia, ib;
  SetLastError(sentinel);
  ASSERT_TRUE(GetFileInformationByHandle(a, &ia)) << GetLastError();
  ASSERT_TRUE(GetFileInformationByHandle(b, &ib));
  EXPECT_EQ(ia.nFileSizeLow, 5000u);
  EXPECT_EQ(ia.nFileSizeHigh, 0u);
  EXPECT_EQ(ia.nNumberOfLinks, 1u);
  EXPECT_EQ(ia.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(ia.nFileIndexLow, ib.nFileIndexLow) << "one file, one index";
  EXPECT_EQ(ia.nFileIndexHigh, ib.nFileIndexHigh);
  EXPECT_EQ(ia.dwVolumeSerialNumber, ib.dwVolumeSerialNumber);
  EXPECT_NE(ia.ftLastWriteTime.dwHighDateTime, 0u);
  CloseHandle(a);
  CloseHandle(b);

  ASSERT_TRUE(CreateDirectoryA(path("d").c_str(), nullptr));
  SetLastError(sentinel);
  EXPECT_EQ(conformance::open_file(path("d"), 0, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "a directory needs backup semantics";
  HANDLE d = conformance::open_file(path("d"), 0, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(d, INVALID_HANDLE_VALUE) << GetLastError();
  BY_HANDLE_FILE_INFORMATION id;
  ASSERT_TRUE(GetFileInformationByHandle(d, &id));
  EXPECT_EQ(id.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
  EXPECT_NE(id.nFileIndexLow, ia.nFileIndexLow);
  CloseHandle(d);

  SetLastError(sentinel);
  EXPECT_FALSE(GetFileInformationByHandle(reinterpret_cast<HANDLE>(0x7ff0), &id));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

TEST(Time, FileTimeToSystemTime) {
  // 2000-02-29 12:34:56.789 UTC, a Tuesday.
  ULONGLONG ticks = (ULONGLONG{951827696} + 11644473600ull) * 10000000ull + 7890000;
  FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_EQ(st.wYear, 2000);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 29);
  EXPECT_EQ(st.wDayOfWeek, 2);
  EXPECT_EQ(st.wHour, 12);
  EXPECT_EQ(st.wMinute, 34);
  EXPECT_EQ(st.wSecond, 56);
  EXPECT_EQ(st.wMilliseconds, 789);
  // Times close together, one day after another and back: each gets its own date.
  auto at = [](ULONGLONG unix_seconds) {
    ULONGLONG t = (unix_seconds + 11644473600ull) * 10000000ull;
    SYSTEMTIME s{};
    FILETIME f{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    EXPECT_TRUE(FileTimeToSystemTime(&f, &s));
    return s;
  };
  st = at(951868799);  // 2000-02-29 23:59:59
  EXPECT_EQ(st.wDay, 29);
  EXPECT_EQ(st.wHour, 23);
  EXPECT_EQ(st.wSecond, 59);
  st = at(951868800);  // 2000-03-01 00:00:00, a Wednesday
  EXPECT_EQ(st.wMonth, 3);
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wDayOfWeek, 3);
  EXPECT_EQ(st.wHour, 0);
  st = at(951868799);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 29);
  EXPECT_EQ(st.wDayOfWeek, 2);
  FILETIME zero{0, 0};
  ASSERT_TRUE(FileTimeToSystemTime(&zero, &st));
  EXPECT_EQ(st.wYear, 1601);
  EXPECT_EQ(st.wDayOfWeek, 1) << "1601-01-01 was a Monday";
  FILETIME negative{0, 0x80000000u};
  SetLastError(sentinel);
  EXPECT_FALSE(FileTimeToSystemTime(&negative, &st));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

#ifndef _WIN32
// The host's TZ is the layer's time zone.
TEST(Time, TimeZoneFromTheHost) {
  const char* saved = std::getenv("TZ");
  std::string old = saved ? saved : "";
  ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  TIME_ZONE_INFORMATION tz;
  DWORD id = GetTimeZoneInformation(&tz);
  EXPECT_TRUE(id == TIME_ZONE_ID_STANDARD || id == TIME_ZONE_ID_DAYLIGHT) << id;
  EXPECT_EQ(tz.Bias, -60);
  EXPECT_EQ(tz.StandardBias, 0);
  EXPECT_EQ(tz.DaylightBias, -60);
  EXPECT_EQ(tz.DaylightDate.wMonth, 3);
  EXPECT_EQ(tz.DaylightDate.wDay, 5) << "the last week";
  EXPECT_EQ(tz.DaylightDate.wDayOfWeek, 0);
  EXPECT_EQ(tz.DaylightDate.wHour, 2);
  EXPECT_EQ(tz.StandardDate.wMonth, 10);
  EXPECT_EQ(tz.StandardDate.wHour, 3);
  ::setenv("TZ", "UTC0", 1);
  EXPECT_EQ(GetTimeZoneInformation(&tz), DWORD{TIME_ZONE_ID_UNKNOWN});
  EXPECT_EQ(tz.Bias, 0);
  if (saved)
    ::setenv("TZ", old.c_str(), 1);
  else
    ::unsetenv("TZ");
  tzset();
}
#endif

}  // namespace
