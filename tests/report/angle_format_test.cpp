#include "report/angle_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace {

std::string Format(int kind, double value, int d, int p) {
  char buf[128];
  const int n = FormatAngle(buf, sizeof buf, kind, value, d, p);
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf));
  return buf;
}

double Semicircles(double degrees, double minutes, double seconds) {
  return (degrees + minutes / 60.0 + seconds / 3600.0) / 180.0;
}

struct AngleCase {
  const char* what;
  int kind;
  double value;
  int d, p;
  const char* text;
};

const AngleCase kCases[] = {
    {"latitude 45 N", kAngleLatitude, 0.25, 3, 3, "45:00'00.000\" N"},
    {"latitude 90 S", kAngleLatitude, -0.5, 3, 3, "90:00'00.000\" S"},
    {"longitude 90 W, wider field", kAngleLongitude, -0.5, 5, 3, " 90:00'00.00000\" W"},
    {"longitude 0 is west", kAngleLongitude, 0.0, 3, 3, "  0:00'00.000\" W"},
    {"latitude 0 is north", kAngleLatitude, 0.0, 3, 3, " 0:00'00.000\" N"},
    {"longitude east", kAngleLongitude, 0.75, 1, 3, "135:00'00.0\" E"},
    {"degrees only", kAngleLatitude, 0.25, 3, 1, "45.000 N"},
    {"degrees only, longitude", kAngleLongitude, 0.5, 2, 1, " 90.00 E"},
    {"degrees and minutes", kAngleLatitude, Semicircles(12, 30, 0), 2, 2, "12:30.00' N"},
    {"minutes padded", kAngleLongitude, -Semicircles(7, 5, 0), 1, 2, "  7:05.0' W"},
    {"seconds truncated, not rounded", kAngleLatitude, Semicircles(1, 2, 12.3456), 2, 3,
     " 1:02'12.34\" N"},
    {"seconds stay below 60", kAngleLatitude, Semicircles(10, 59, 59.9996), 3, 3,
     "10:59'59.999\" N"},
    // Width d + 3 with no decimals still pads the seconds to three places.
    {"no decimals", kAngleLatitude, -Semicircles(33, 3, 7.9), 0, 3, "33:03'007\" S"},
};

TEST(FormatAngle, Texts) {
  for (const AngleCase& c : kCases) EXPECT_EQ(Format(c.kind, c.value, c.d, c.p), c.text) << c.what;
}

TEST(FormatAngle, ValuesOutOfRangeGiveBoundedText) {
  const double values[] = {1e300, -1e300, std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  for (double v : values) {
    for (int kind : {kAngleLatitude, kAngleLongitude}) {
      for (int p = 1; p <= 3; ++p) {
        char buf[48];
        const int n = FormatAngle(buf, sizeof buf, kind, v, 5, p);
        EXPECT_GE(n, 0);
        EXPECT_LT(n, static_cast<int>(sizeof buf));
        EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf));
      }
    }
  }
}

TEST(FormatAngle, ShortBufferIsTruncatedAndTerminated) {
  char buf[6];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(FormatAngle(buf, sizeof buf, kAngleLatitude, 0.25, 3, 3), 5);
  EXPECT_STREQ(buf, "45:00");
  EXPECT_EQ(FormatAngle(buf, 0, kAngleLatitude, 0.25, 3, 3), 0);
}

}  // namespace
