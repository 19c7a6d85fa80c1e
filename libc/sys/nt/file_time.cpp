// File times as the seconds from 1970 that a status record holds.
#include <windows.h>

#include <cstdint>
#include <ctime>

#include <zav/errno.h>
#include <zav/stat_nt.h>

namespace zav {

namespace {

// Years in which mktime of any C library we run on (the Windows one stops
// before 1970 and after 3000; zones kept local mean time until about 1900)
// agrees with plain arithmetic; outside them mktime still decides.
constexpr int first_plain_year = 1971;
constexpr int last_plain_year = 2999;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
constexpr int64_t days_from_civil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

constexpr uint64_t ticks_per_second = 10'000'000;
constexpr int64_t seconds_from_1601_to_1970 = 11'644'473'600;
constexpr uint64_t first_plain_ticks =
    (days_from_civil(first_plain_year, 1, 1) * 86400 + seconds_from_1601_to_1970) * ticks_per_second;
constexpr uint64_t after_plain_ticks =
    (days_from_civil(last_plain_year + 1, 1, 1) * 86400 + seconds_from_1601_to_1970) * ticks_per_second;

bool have_time_zone = false;
TIME_ZONE_INFORMATION time_zone;

}  // namespace

time_t filetime_to_time_t(const FILETIME* file_time) {
  if (!have_time_zone) {
    if (GetTimeZoneInformation(&time_zone) == TIME_ZONE_ID_INVALID) return set_errno_from_last_error();
    if (time_zone.StandardBias > 1440) time_zone.StandardBias = 0;
    have_time_zone = true;
  }
  // Inside the plain years that count is the file time's own, in seconds from
  // 1970: the calendar fields need not be made. Three times per file status.
  const uint64_t ticks = (static_cast<uint64_t>(file_time->dwHighDateTime) << 32) | file_time->dwLowDateTime;
  if (ticks >= first_plain_ticks && ticks < after_plain_ticks)
    return static_cast<time_t>(ticks / ticks_per_second) - seconds_from_1601_to_1970;
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(file_time, &st)) return set_errno_from_last_error();
  if (st.wYear >= first_plain_year && st.wYear <= last_plain_year) {
    // mktime reads these UTC fields as local standard time and so adds the
    // zone's standard bias (Bias + StandardBias), which is taken off again
    // below: what is left is the fields' own second count. Computed here
    // because the host C library's mktime looks at the zone file on every
    // call, three times per file status.
    return static_cast<time_t>(days_from_civil(st.wYear, st.wMonth, st.wDay) * 86400 + st.wHour * 3600 +
                               st.wMinute * 60 + st.wSecond);
  }
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
  return t - static_cast<time_t>(time_zone.Bias + time_zone.StandardBias) * 60;
}

}  // namespace zav
