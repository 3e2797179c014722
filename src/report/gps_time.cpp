#include "report/gps_time.h"

#include <cmath>

#include "dat/conv_state.h"

namespace {

constexpr int kMonthLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int kYearLength[4] = {365, 365, 365, 366};
constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

constexpr int32_t kFirstMjd = 15385;  // 1 January 1901
constexpr int32_t kEndMjd = 88069;    // 1 January 2100, first day out of range

// Anything beyond this many days from the week start cannot land in range;
// rejecting it first keeps the day count clear of integer overflow.
constexpr double kMaxDayCount = 1.0e6;

bool IsLeap(int yearSince1900) {
  const int y = yearSince1900 + 1900;
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// MJD and day fraction of a GPS week and time of week. 0, 100 or 200.
int GpsToMjd(double timeOfWeek, int week, int32_t* mjdOut, double* fractionOut) {
  int32_t mjd0 = 0;
  double fraction0 = 0.0;
  const int st = CalendarToMjd(80, 1, 6, 0, 0, 0.0, &mjd0, &fraction0);
  if (st != 0) return st;

  const double q = timeOfWeek / 86400.0;
  if (!std::isfinite(q) || std::fabs(q) > kMaxDayCount) return 100;
  const double whole = std::trunc(q);
  const int64_t mjd = static_cast<int64_t>(week) * 7 + mjd0 + static_cast<int64_t>(whole);
  const double fraction = q - whole + fraction0;
  if (mjd < kFirstMjd || mjd >= kEndMjd) return 100;
  if (!(fraction >= 0.0 && fraction < 1.0)) return 200;
  *mjdOut = static_cast<int32_t>(mjd);
  *fractionOut = fraction;
  return 0;
}

// Year since 1900 and day of year of an MJD within 1901..2099. Each anchor
// is 1 January of a year that follows a leap year, so the year lengths
// cycle 365, 365, 365, 366 from it.
void MjdToYearDay(int32_t mjd, int* year, int* dayOfYear) {
  int y;
  int32_t start;
  if (mjd < 32917) {
    y = 1, start = 15385;
  } else if (mjd < 51910) {
    y = 49, start = 32917;
  } else if (mjd < 69442) {
    y = 101, start = 51910;
  } else {
    y = 149, start = 69442;
  }
  int cycle = 0;
  while (start + kYearLength[cycle] <= mjd) {
    start += kYearLength[cycle];
    ++y;
    cycle = (cycle + 1) % 4;
  }
  *year = y;
  *dayOfYear = static_cast<int>(mjd - start) + 1;
}

}  // namespace

int CalendarToMjd(int year, int month, int day, int hour, int minute, double seconds,
                  int32_t* mjd, double* fraction) {
  if (year < 1 || year > 199) return 100;
  if (month < 1 || month > 12) return 200;
  if (day < 1 || day > 31) return 300;
  const bool leap = IsLeap(year);
  const int monthLength = kMonthLength[month - 1] + ((month == 2 && leap) ? 1 : 0);
  if (day > monthLength) return 400;
  if (hour < 0 || hour > 23) return 500;
  if (minute < 0 || minute > 59) return 600;
  if (!(seconds >= 0.0 && seconds < 60.0)) return 700;

  // Whole years since 1901; every fourth year in 1901..2099 is a leap year.
  const int32_t yearsBefore = year - 1;
  int32_t days = 365 * yearsBefore + yearsBefore / 4;
  days += kDaysBefore[month - 1] + ((leap && month > 2) ? 1 : 0) + (day - 1);
  *mjd = kFirstMjd + days;
  *fraction = (hour * 3600.0 + minute * 60.0 + seconds) / 86400.0;
  return 0;
}

int GpsToCalendar(double timeOfWeek, int week, int16_t* year, int16_t* month, int16_t* day,
                  int16_t* hour, int16_t* minute, double* seconds) {
  int32_t mjd = 0;
  double fraction = 0.0;
  int st = GpsToMjd(timeOfWeek, week, &mjd, &fraction);
  if (st != 0) return st;

  int y = 0, doy = 0;
  MjdToYearDay(mjd, &y, &doy);
  if (y < 0 || y > 199) return 100;
  if (doy < 1 || doy > 366) return 200;
  if (!(fraction >= 0.0 && fraction < 1.0)) return 300;
  if (!(doy + fraction < 367.0)) return 400;
  const bool leap = IsLeap(y);
  if (!leap) {
    if (!(doy + fraction < 366.0)) return 500;
    if (doy > 365) return 600;
  }

  int m = 0;
  for (int i = 0; i < 12; ++i) {
    const int before = kDaysBefore[i] + ((leap && i >= 2) ? 1 : 0);
    if (before < doy) m = i;
  }
  const int before = kDaysBefore[m] + ((leap && m >= 2) ? 1 : 0);

  const double hours = fraction * 24.0;
  const int h = static_cast<int>(hours);
  const int mi = static_cast<int>((hours - h) * 60.0);
  *year = static_cast<int16_t>(y);
  *month = static_cast<int16_t>(m + 1);
  *day = static_cast<int16_t>(doy - before);
  *hour = static_cast<int16_t>(h);
  *minute = static_cast<int16_t>(mi);
  *seconds = fraction * 24.0 * 3600.0 - h * 3600.0 - mi * 60.0;
  return 0;
}

int GpsToDayOfYear(double timeOfWeek, int week, int16_t* year, int16_t* dayOfYear,
                   double* fraction) {
  int32_t mjd = 0;
  double f = 0.0;
  const int st = GpsToMjd(timeOfWeek, week, &mjd, &f);
  if (st != 0) return st;
  int y = 0, doy = 0;
  MjdToYearDay(mjd, &y, &doy);
  *year = static_cast<int16_t>(y);
  *dayOfYear = static_cast<int16_t>(doy);
  *fraction = f;
  return 0;
}

uint16_t ReportWeek(const ConvState& cs) {
  return cs.epoch.dataWeekSet ? cs.epoch.dataWeek : cs.rx.gpsWeek;
}
