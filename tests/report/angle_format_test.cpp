#include "report/angle_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

double Semicircles(double degrees, double minutes, double seconds) {
  return (degrees + minutes / 60.0 + seconds / 3600.0) / 180.0;
}

TEST(FormatAngle, Texts) {
  const struct { int kind; double value; int d, p; const char* text; } cases[] = {
      {kAngleLatitude, -0.5, 3, 3, "90:00'00.000\" S"},
      {kAngleLongitude, 0.0, 3, 3, "  0:00'00.000\" W"},  // zero longitude is west
      {kAngleLatitude, 0.0, 3, 3, " 0:00'00.000\" N"},    // zero latitude is north
      {kAngleLongitude, 0.75, 1, 3, "135:00'00.0\" E"},
      {kAngleLatitude, 0.25, 3, 1, "45.000 N"},
      {kAngleLatitude, Semicircles(12, 30, 0), 2, 2, "12:30.00' N"},
      {kAngleLongitude, -Semicircles(7, 5, 0), 1, 2, "  7:05.0' W"},
      {kAngleLatitude, Semicircles(1, 2, 12.3456), 2, 3, " 1:02'12.34\" N"},  // truncated, not rounded
      {kAngleLatitude, Semicircles(10, 59, 59.9996), 3, 3, "10:59'59.999\" N"},
      {kAngleLatitude, -Semicircles(33, 3, 7.9), 0, 3, "33:03'007\" S"},  // width d + 3 even without decimals
  };
  for (const auto& c : cases) {
    char buf[128];
    EXPECT_EQ(FormatAngle(buf, sizeof buf, c.kind, c.value, c.d, c.p), static_cast<int>(std::strlen(c.text)));
    EXPECT_STREQ(buf, c.text);
  }
}

TEST(FormatAngle, BoundedTextForAnyValueAndBuffer) {
  for (double v : {1e300, -1e300, std::numeric_limits<double>::infinity(), std::nan("")}) {
    for (int kind : {kAngleLatitude, kAngleLongitude}) {
      for (int p = 1; p <= 3; ++p) {
        char buf[48];
        const int n = FormatAngle(buf, sizeof buf, kind, v, 5, p);
        EXPECT_TRUE(n >= 0 && n < 48 && static_cast<size_t>(n) == std::strlen(buf)) << v << " " << p;
      }
    }
  }
  char buf[6];
  EXPECT_EQ(FormatAngle(buf, sizeof buf, kAngleLatitude, 0.25, 3, 3), 5);
  EXPECT_STREQ(buf, "45:00");
  EXPECT_EQ(FormatAngle(buf, 0, kAngleLatitude, 0.25, 3, 3), 0);
}

}  // namespace
