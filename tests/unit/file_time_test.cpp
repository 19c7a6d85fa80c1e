// filetime_to_time_t against the mktime-based conversion it replaced, over a
// spread of instants and around daylight saving changes in several zones.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <zav/stat_nt.h>

namespace {

constexpr int64_t seconds_1601_to_1970 = 11644473600;

FILETIME file_time(int64_t unix_seconds, int64_t extra_ticks = 0) {
  const uint64_t ticks = static_cast<uint64_t>((unix_seconds + seconds_1601_to_1970) * 10000000 + extra_ticks);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The conversion as the runtime made it before: the UTC fields read by mktime
// as local standard time, less the zone's standard bias.
time_t mktime_conversion(const FILETIME& ft, const TIME_ZONE_INFORMATION& zone) {
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&ft, &st)) return -1;
  struct tm tm {};
  tm.tm_year = st.wYear - 1900;
  tm.tm_mon = st.wMonth - 1;
  tm.tm_mday = st.wDay;
  tm.tm_hour = st.wHour;
  tm.tm_min = st.wMinute;
  tm.tm_sec = st.wSecond;
  tm.tm_wday = st.wDayOfWeek;
  tm.tm_isdst = 0;
  const time_t t = mktime(&tm);
  if (t == static_cast<time_t>(-1)) return -1;
  const LONG standard_bias = zone.StandardBias > 1440 ? 0 : zone.StandardBias;
  return t - static_cast<time_t>(zone.Bias + standard_bias) * 60;
}

// Every 1,000,003 seconds (about 11.6 days, so hours and weekdays drift) from
// `from` (default 1971) to 2100, and every quarter hour within two hours of each
// given change.
std::vector<FILETIME> instants(const std::vector<int64_t>& changes, int64_t from = 31536000) {
  std::vector<FILETIME> result;
  for (int64_t t = from; t < 4102444800; t += 1000003) result.push_back(file_time(t, t % 10000000));
  for (int64_t change : changes) {
    for (int64_t d = -7200; d <= 7200; d += 900) result.push_back(file_time(change + d));
    for (int64_t d : {-1, 1}) result.push_back(file_time(change + d, 9999999));
  }
  return result;
}

// Sets TZ for one test and puts the old value back.
class ZoneVariable {
 public:
  explicit ZoneVariable(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old, had_ = true;
    set(zone);
  }
  ~ZoneVariable() { set(had_ ? saved_.c_str() : nullptr); }

 private:
  static void set(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
#else
    if (zone)
      setenv("TZ", zone, 1);
    else
      unsetenv("TZ");
    tzset();
#endif
  }
  std::string saved_;
  bool had_ = false;
};

void expect_same_as_mktime(const std::vector<FILETIME>& times) {
  TIME_ZONE_INFORMATION zone;
  ASSERT_NE(GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
  int differing = 0;
  for (const FILETIME& ft : times) {
    const time_t expected = mktime_conversion(ft, zone);
    const time_t got = zav::filetime_to_time_t(&ft);
    if (got != expected && ++differing <= 5) {
      const uint64_t ticks = static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
      ADD_FAILURE() << "ticks " << ticks << ": got " << got << ", mktime gave " << expected;
    }
  }
  EXPECT_EQ(differing, 0);
}

TEST(FileTimeConversion, MatchesMktimeInTheProcessZone) {
  // Here the zone information the runtime keeps is the one in force, so the
  // years left to mktime (before 1971, after 2999) are compared as well.
  std::vector<FILETIME> times = instants({1616893200, 1635642000});
  for (int64_t t : {int64_t{-11644473600}, int64_t{-2208988800}, int64_t{-1}, int64_t{0}, int64_t{31535999},
                    int64_t{31536000}, int64_t{32503679999}, int64_t{32503680000}, int64_t{32535215999},
                    int64_t{253402300799}})
    times.push_back(file_time(t));
  expect_same_as_mktime(times);
}

TEST(FileTimeConversion, MatchesMktimeAroundDaylightSavingChanges) {
#ifdef _WIN32
  GTEST_SKIP() << "the C library reads TZ itself while the zone information comes from the system, so the old "
                  "conversion only held in the system's zone";
#else
  struct Zone {
    const char* name;
    std::vector<int64_t> changes;  // UTC instants of clock changes
    int64_t from = 31536000;
  };
  const Zone zones[] = {
      // 1980: the first summer time after 1949; 1996: the end moved from September to October.
      {"Europe/Berlin", {323830800, 846378000, 1616893200, 1635642000}},
      {"America/New_York", {1173596400, 1194156000}},  // 2007: the new US rules
      // Half-hour summer time; the standard time is the present one since March 1981.
      {"Australia/Lord_Howe", {1680361200, 1696087800}, 352339200},
      {"Asia/Kolkata", {}},
  };
  for (const Zone& zone : zones) {
    SCOPED_TRACE(zone.name);
    ZoneVariable tz(zone.name);
    expect_same_as_mktime(instants(zone.changes, zone.from));
  }
#endif
}

TEST(FileTimeConversion, AnEarlierStandardTimeOfTheZoneNoLongerShiftsTheResult) {
#ifdef _WIN32
  GTEST_SKIP() << "the zone comes from the system here, and the C library's mktime knows one standard time";
#else
  // Lord Howe Island kept +10:00 until 1981 and +10:30 since. mktime read a
  // 1975 instant in the old standard time, so the result came out 30 minutes
  // late; the zone information knows only today's bias, as Windows does.
  ZoneVariable tz("Australia/Lord_Howe");
  TIME_ZONE_INFORMATION zone;
  ASSERT_NE(GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
  const FILETIME mid_1975 = file_time(170856000);
  EXPECT_EQ(mktime_conversion(mid_1975, zone), 170856000 + 1800);
  EXPECT_EQ(zav::filetime_to_time_t(&mid_1975), 170856000);
#endif
}

TEST(FileTimeConversion, KeepsWholeSecondsOfTheUtcInstant) {
  const FILETIME just_before_a_second = file_time(1616893199, 9999999);
  const FILETIME first_plain = file_time(31536000);      // 1971-01-01 00:00:00
  const FILETIME last_plain = file_time(32503679999);    // 2999-12-31 23:59:59
  const FILETIME beyond{0xFFFFFFFF, 0xFFFFFFFF};         // past what FileTimeToSystemTime takes
  EXPECT_EQ(zav::filetime_to_time_t(&just_before_a_second), 1616893199);
  EXPECT_EQ(zav::filetime_to_time_t(&first_plain), 31536000);
  EXPECT_EQ(zav::filetime_to_time_t(&last_plain), 32503679999);
  EXPECT_EQ(zav::filetime_to_time_t(&beyond), -1);
}

}  // namespace
