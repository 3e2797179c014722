#include "report/gps_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>


namespace {

struct CalendarCase {
  const char* what;
  int week;
  double tow;
  int year, month, day, hour, minute;
  double seconds;
};

// Dates worked out from MJD: GPS origin 44244; 1 Jan 2000 = 51544,
// 1 Jan 2008 = 54466, 1 Jan 1901 = 15385.
const CalendarCase kCalendarCases[] = {
    {"origin", 0, 0.0, 80, 1, 6, 0, 0, 0.0},
    {"week 1500 Saturday", 1500, 518400.0, 108, 10, 11, 0, 0, 0.0},
    {"week 1500 starts on Sunday", 1500, 0.0, 108, 10, 5, 0, 0, 0.0},
    {"end of week carries into next", 1500, 604800.0, 108, 10, 12, 0, 0, 0.0},
    // 29 Feb 2000 = MJD 51603 = origin + 1051 weeks + 2 days.
    {"29 February 2000", 1051, 2 * 86400.0 + 12 * 3600 + 34 * 60 + 56.5, 100, 2, 29, 12, 34, 56.5},
    {"1 March 2000", 1051, 3 * 86400.0, 100, 3, 1, 0, 0, 0.0},
    // 29 Feb 2008 = MJD 54525 = origin + 1468 weeks + 5 days.
    {"29 February 2008", 1468, 5 * 86400.0, 108, 2, 29, 0, 0, 0.0},
    // 31 Dec 2008 (day 366) = MJD 54831 = origin + 1512 weeks + 3 days.
    {"31 December 2008", 1512, 3 * 86400.0 + 86399.0, 108, 12, 31, 23, 59, 59.0},
    // 31 Dec 2099 = MJD 88068 = origin + 6260 weeks + 4 days.
    {"last day in range", 6260, 4 * 86400.0, 199, 12, 31, 0, 0, 0.0},
    // 1 Jan 1901 lies 28,859 days before the origin.
    {"first day in range", 0, -28859.0 * 86400.0, 1, 1, 1, 0, 0, 0.0},
    {"time of day", 1500, 518400.0 + 3661.25, 108, 10, 11, 1, 1, 1.25},
};

class GpsToCalendarTest : public ::testing::TestWithParam<CalendarCase> {};

TEST_P(GpsToCalendarTest, GivesDate) {
  const CalendarCase& c = GetParam();
  int16_t y = -1, mo = -1, d = -1, h = -1, mi = -1;
  double s = -1;
  ASSERT_EQ(GpsToCalendar(c.tow, c.week, &y, &mo, &d, &h, &mi, &s), 0) << c.what;
  EXPECT_EQ(y, c.year) << c.what;
  EXPECT_EQ(mo, c.month) << c.what;
  EXPECT_EQ(d, c.day) << c.what;
  EXPECT_EQ(h, c.hour) << c.what;
  EXPECT_EQ(mi, c.minute) << c.what;
  EXPECT_NEAR(s, c.seconds, 1e-6) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Dates, GpsToCalendarTest, ::testing::ValuesIn(kCalendarCases));

struct FailCase {
  const char* what;
  int week;
  double tow;
  int error;
};

const FailCase kFailCases[] = {
    // 1 Jan 2100 = MJD 88069 = origin + 6260 weeks + 5 days.
    {"1 January 2100", 6260, 5 * 86400.0, 100},
    {"largest week", 65535, 0.0, 100},
    {"before 1901", 0, -28860.0 * 86400.0, 100},
    {"negative time gives negative fraction", 1500, -1.0, 200},
    {"not a number", 1500, std::numeric_limits<double>::quiet_NaN(), 100},
    {"infinite", 1500, std::numeric_limits<double>::infinity(), 100},
    {"far beyond any week", 1500, 1e300, 100},
    {"far before any week", 1500, -1e300, 100},
};

TEST(GpsToCalendar, OutOfRangeLeavesOutputsUnset) {
  for (const FailCase& c : kFailCases) {
    int16_t y = -7, mo = -7, d = -7, h = -7, mi = -7;
    double s = -7.0;
    EXPECT_EQ(GpsToCalendar(c.tow, c.week, &y, &mo, &d, &h, &mi, &s), c.error) << c.what;
    EXPECT_EQ(y, -7) << c.what;
    EXPECT_EQ(mo, -7) << c.what;
    EXPECT_EQ(d, -7) << c.what;
    EXPECT_EQ(s, -7.0) << c.what;
  }
}

TEST(GpsToCalendar, DayCountBeyond16BitsStaysCorrect) {
  // 40,000 days after the origin is MJD 84244, within range (year 2089);
  // the count must not wrap.
  int16_t y, mo, d, h, mi;
  double s;
  ASSERT_EQ(GpsToCalendar(40000.0 * 86400.0, 0, &y, &mo, &d, &h, &mi, &s), 0);
  EXPECT_EQ(y, 189);
}

TEST(GpsToDayOfYear, YearDayAndFraction) {
  struct Case {
    int week;
    double tow;
    int year, doy;
    double fraction;
  } cases[] = {
      {0, 0.0, 80, 6, 0.0},
      {1500, 518400.0, 108, 285, 0.0},          // 11 Oct 2008: 274 + 11
      {1500, 518400.0 + 43200.0, 108, 285, 0.5},
      {1512, 3 * 86400.0, 108, 366, 0.0},       // 31 Dec 2008
      {1051, 2 * 86400.0 + 21600.0, 100, 60, 0.25},  // 29 Feb 2000
  };
  for (const Case& c : cases) {
    int16_t y = 0, doy = 0;
    double f = -1;
    ASSERT_EQ(GpsToDayOfYear(c.tow, c.week, &y, &doy, &f), 0) << c.week << " " << c.tow;
    EXPECT_EQ(y, c.year);
    EXPECT_EQ(doy, c.doy);
    EXPECT_NEAR(f, c.fraction, 1e-12);
  }
  int16_t y = 0, doy = 0;
  double f = 0;
  EXPECT_EQ(GpsToDayOfYear(5 * 86400.0, 6260, &y, &doy, &f), 100);
  EXPECT_EQ(GpsToDayOfYear(-10.0, 1500, &y, &doy, &f), 200);
}

TEST(CalendarToMjd, ValuesAndChecks) {
  struct Case {
    int y, mo, d, h, mi;
    double s;
    int error;
    int32_t mjd;
    double fraction;
  } cases[] = {
      {80, 1, 6, 0, 0, 0.0, 0, 44244, 0.0},
      {100, 2, 29, 0, 0, 0.0, 0, 51603, 0.0},
      {108, 10, 11, 12, 0, 0.0, 0, 54750, 0.5},
      {199, 12, 31, 18, 0, 0.0, 0, 88068, 0.75},
      {0, 1, 1, 0, 0, 0.0, 100, 0, 0},
      {100, 0, 1, 0, 0, 0.0, 200, 0, 0},
      {100, 1, 0, 0, 0, 0.0, 300, 0, 0},
      {101, 2, 29, 0, 0, 0.0, 400, 0, 0},  // 2001 is not a leap year
      {108, 4, 31, 0, 0, 0.0, 400, 0, 0},
      {108, 1, 1, 24, 0, 0.0, 500, 0, 0},
      {108, 1, 1, 0, 60, 0.0, 600, 0, 0},
      {108, 1, 1, 0, 0, 60.0, 700, 0, 0},
  };
  for (const Case& c : cases) {
    int32_t mjd = -1;
    double f = -1;
    EXPECT_EQ(CalendarToMjd(c.y, c.mo, c.d, c.h, c.mi, c.s, &mjd, &f), c.error)
        << c.y << "-" << c.mo << "-" << c.d;
    if (c.error == 0) {
      EXPECT_EQ(mjd, c.mjd);
      EXPECT_DOUBLE_EQ(f, c.fraction);
    }
  }
}

}  // namespace
