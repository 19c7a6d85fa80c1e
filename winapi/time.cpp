// The time zone as the host's C library sees it (TZ, /etc/localtime), and FILETIME
// to calendar time.
#include "fs_common.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

constexpr int64_t ticks_per_second = 10000000;

struct Offsets {
  long standard = 0;  // seconds east of UTC
  long daylight = 0;
  bool has_daylight = false;
};

Offsets offsets_in(int year) {
  Offsets result;
  bool have_standard = false;
  // The first and the middle of the year: one of them is in standard time.
  for (int month : {0, 6}) {
    struct tm probe {};
    probe.tm_year = year - 1900;
    probe.tm_mon = month;
    probe.tm_mday = 1;
    probe.tm_hour = 12;
    probe.tm_isdst = -1;
    time_t t = std::mktime(&probe);
    struct tm local;
    localtime_r(&t, &local);
    if (local.tm_isdst > 0) {
      result.daylight = local.tm_gmtoff;
      result.has_daylight = true;
    } else if (!have_standard) {
      result.standard = local.tm_gmtoff;
      have_standard = true;
    }
  }
  if (!have_standard) result.standard = result.daylight;
  return result;
}

int days_in_month(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return days[month] + (month == 1 && leap);
}

// The moment in the year when daylight saving time starts (to_daylight) or ends,
// as Windows' rule form: month, weekday, week of the month (5 = last), local time.
SYSTEMTIME transition(int year, bool to_daylight) {
  struct tm start {};
  start.tm_year = year - 1900;
  start.tm_mon = 0;
  start.tm_mday = 1;
  start.tm_isdst = -1;
  time_t t = std::mktime(&start);
  time_t end = t + 366L * 86400;
  struct tm local;
  localtime_r(&t, &local);
  int state = local.tm_isdst > 0;
  SYSTEMTIME rule{};
  for (time_t hour = t; hour < end; hour += 3600) {
    localtime_r(&hour, &local);
    int now = local.tm_isdst > 0;
    if (now == state) continue;
    // Narrow the change down to the second, within the hour.
    time_t low = hour - 3600, high = hour;
    while (high - low > 1) {
      time_t mid = low + (high - low) / 2;
      struct tm m;
      localtime_r(&mid, &m);
      ((m.tm_isdst > 0) == now ? high : low) = mid;
    }
    state = now;
    if ((now != 0) != to_daylight) continue;
    struct tm before;
    time_t last = high - 1;
    localtime_r(&last, &before);
    // Windows names the local time on the old clock at which the change happens.
    long seconds = before.tm_hour * 3600L + before.tm_min * 60 + before.tm_sec + 1;
    rule.wMonth = static_cast<WORD>(before.tm_mon + 1);
    rule.wDayOfWeek = static_cast<WORD>(before.tm_wday);
    rule.wDay = static_cast<WORD>(before.tm_mday + 7 > days_in_month(year, before.tm_mon) ? 5
                                                                                         : (before.tm_mday - 1) / 7 + 1);
    rule.wHour = static_cast<WORD>(seconds / 3600);
    rule.wMinute = static_cast<WORD>(seconds / 60 % 60);
    return rule;
  }
  return rule;
}

void copy_name(WCHAR* out, const char* name) {
  std::u16string wide = winapi::widen(name ? name : "");
  size_t n = std::min<size_t>(wide.size(), 31);
  std::memcpy(out, wide.data(), n * sizeof(WCHAR));
  out[n] = 0;
}

}  // namespace

extern "C" {

DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation) {
  if (!lpTimeZoneInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  tzset();
  time_t now = std::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  Offsets offsets = offsets_in(local.tm_year + 1900);
  TIME_ZONE_INFORMATION& info = *lpTimeZoneInformation;
  std::memset(&info, 0, sizeof info);
  info.Bias = static_cast<LONG>(-offsets.standard / 60);
  info.StandardBias = 0;
  copy_name(info.StandardName, tzname[0]);
  copy_name(info.DaylightName, tzname[1]);
  if (!offsets.has_daylight) return TIME_ZONE_ID_UNKNOWN;
  info.DaylightBias = static_cast<LONG>(-(offsets.daylight - offsets.standard) / 60);
  info.StandardDate = transition(local.tm_year + 1900, false);
  info.DaylightDate = transition(local.tm_year + 1900, true);
  return local.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t ticks = static_cast<uint64_t>(lpFileTime->dwHighDateTime) << 32 | lpFileTime->dwLowDateTime;
  if (ticks > 0x7FFFFFFFFFFFFFFFull) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = static_cast<int64_t>(ticks / ticks_per_second / 86400);
  int64_t rest = static_cast<int64_t>(ticks % (ticks_per_second * 86400));
  SYSTEMTIME& st = *lpSystemTime;
  // The times of one file, and of the files of one directory, mostly fall on one day.
  thread_local int64_t last_days = -1;
  thread_local SYSTEMTIME last_date;
  if (days != last_days) {
    // Days since 1601-01-01 to a civil date (proleptic Gregorian, as Windows counts).
    int64_t z = days - 134774 + 719468;  // shift to days since 0000-03-01
    int64_t era = z / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t day = doy - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = yoe + era * 400 + (month <= 2);
    last_date.wYear = static_cast<WORD>(year);
    last_date.wMonth = static_cast<WORD>(month);
    last_date.wDay = static_cast<WORD>(day);
    last_date.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    last_days = days;
  }
  st.wYear = last_date.wYear;
  st.wMonth = last_date.wMonth;
  st.wDay = last_date.wDay;
  st.wDayOfWeek = last_date.wDayOfWeek;
  auto seconds = static_cast<uint32_t>(rest / ticks_per_second);
  st.wHour = static_cast<WORD>(seconds / 3600);
  st.wMinute = static_cast<WORD>(seconds / 60 % 60);
  st.wSecond = static_cast<WORD>(seconds % 60);
  st.wMilliseconds = static_cast<WORD>(rest / 10000 % 1000);
  return TRUE;
}

}  // extern "C"
