#include "report/gps_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kDay = 86400.0;

// Dates worked out from MJD: GPS origin 44244; 1 Jan 2000 = 51544. Calendar
// outputs start at -7 and must stay so when the conversion fails. The day
// of year and day fraction of the same instant come from GpsToDayOfYear.
TEST(GpsToCalendar, DatesDaysOfYearAndOutOfRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct { int week; double tow; int error; std::vector<double> date; int doy; } cases[] = {
      {0, 0.0, 0, {80, 1, 6, 0, 0, 0}, 6},
      {1500, 518400.0, 0, {108, 10, 11, 0, 0, 0}, 285},  // Saturday; 274 + 11
      {1500, 604800.0, 0, {108, 10, 12, 0, 0, 0}, 286},  // the day count carries into the next week
      {1051, 2 * kDay + 45296.5, 0, {100, 2, 29, 12, 34, 56.5}, 60},  // MJD 51603
      {1051, 3 * kDay, 0, {100, 3, 1, 0, 0, 0}, 61},
      {1512, 3 * kDay + 86399.0, 0, {108, 12, 31, 23, 59, 59}, 366},
      {6260, 4 * kDay, 0, {199, 12, 31, 0, 0, 0}, 365},             // MJD 88068, last day in range
      {0, -28859.0 * kDay, 0, {1, 1, 1, 0, 0, 0}, 1},               // 1 Jan 1901, first day in range
      {0, 40000.0 * kDay, 0, {189, 7, 12, 0, 0, 0}, 181 + 12},      // a day count beyond 16 bits
      {6260, 5 * kDay, 100, {}, 0},                                 // 1 Jan 2100
      {0, -28860.0 * kDay, 100, {}, 0},
      {1500, -1.0, 200, {}, 0},  // a negative fraction of the day
      {1500, nan, 100, {}, 0},
      {1500, 1e300, 100, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.week << " " << c.tow);
    int16_t y = -7, mo = -7, d = -7, h = -7, mi = -7;
    double s = -7.0;
    EXPECT_EQ(GpsToCalendar(c.tow, c.week, &y, &mo, &d, &h, &mi, &s), c.error);
    const std::vector<double> got = {double(y), double(mo), double(d), double(h), double(mi),
                                     std::round(s * 1e6) / 1e6};
    EXPECT_EQ(got, c.error ? std::vector<double>(6, -7.0) : c.date);
    int16_t year = 0, doy = 0;
    double fraction = 0;
    EXPECT_EQ(GpsToDayOfYear(c.tow, c.week, &year, &doy, &fraction), c.error);
    if (c.error != 0) continue;
    EXPECT_EQ(year * 1000 + doy, c.date[0] * 1000 + c.doy);
    EXPECT_NEAR(fraction, (c.date[3] * 3600 + c.date[4] * 60 + c.date[5]) / kDay, 1e-12);
  }
}

TEST(CalendarToMjd, ValuesAndChecks) {
  const struct { int y, mo, d, h, mi; double s; int error; int32_t mjd; double fraction; } cases[] = {
      {80, 1, 6, 0, 0, 0.0, 0, 44244, 0.0},
      {100, 2, 29, 0, 0, 0.0, 0, 51603, 0.0},
      {108, 10, 11, 12, 0, 0.0, 0, 54750, 0.5},
      {199, 12, 31, 18, 0, 0.0, 0, 88068, 0.75},
      {0, 1, 1, 0, 0, 0.0, 100, -1, -1},
      {100, 0, 1, 0, 0, 0.0, 200, -1, -1},
      {100, 1, 0, 0, 0, 0.0, 300, -1, -1},
      {101, 2, 29, 0, 0, 0.0, 400, -1, -1},  // 2001 is not a leap year
      {108, 4, 31, 0, 0, 0.0, 400, -1, -1},
      {108, 1, 1, 24, 0, 0.0, 500, -1, -1},
      {108, 1, 1, 0, 60, 0.0, 600, -1, -1},
      {108, 1, 1, 0, 0, 60.0, 700, -1, -1},
  };
  for (const auto& c : cases) {
    int32_t mjd = -1;
    double f = -1;
    EXPECT_EQ(CalendarToMjd(c.y, c.mo, c.d, c.h, c.mi, c.s, &mjd, &f), c.error) << c.y << "-" << c.mo;
    EXPECT_EQ(mjd, c.mjd) << c.y << "-" << c.mo << "-" << c.d;
    EXPECT_DOUBLE_EQ(f, c.fraction);
  }
}

}  // namespace
