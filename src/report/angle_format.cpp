#include "report/angle_format.h"

#include <cmath>
#include <cstdio>

namespace {

// Decimals beyond this add nothing a binary64 can hold.
constexpr int kMaxDecimals = 15;

// Truncates v to d decimals; no carry into the component before it.
double TruncateDecimals(double v, int d) {
  const double scale = std::pow(10.0, d);
  return std::trunc(v * scale) / scale;
}

}  // namespace

int FormatAngle(char* out, size_t outSize, int kind, double value, int d, int p) {
  if (out == nullptr || outSize == 0) return 0;
  if (d < 0) d = 0;
  if (d > kMaxDecimals) d = kMaxDecimals;

  char letter;
  if (kind == kAngleLatitude) {
    letter = 'N';
    if (value < 0.0) {
      value = -value;
      letter = 'S';
    }
  } else {
    letter = 'E';
    if (!(value > 0.0)) {
      value = -value;
      letter = 'W';
    }
  }
  const int width = kind == kAngleLatitude ? 2 : 3;

  // Whole degrees and minutes are kept as doubles and printed without
  // decimals, so that no value, however far out of range, overflows an
  // integer conversion; in range the text is the same as an integer's.
  double degrees = value * 180.0 + 1e-10;
  int n;
  if (p <= 1) {
    degrees = TruncateDecimals(degrees, d);
    n = std::snprintf(out, outSize, "%*.*f %c", d + width + 1, d, degrees, letter);
  } else {
    const double wholeDegrees = std::trunc(degrees);
    double minutes = (degrees - wholeDegrees) * 60.0;
    if (p == 2) {
      minutes = TruncateDecimals(minutes, d);
      n = std::snprintf(out, outSize, "%*.0f:%0*.*f' %c", width, wholeDegrees, d + 3, d, minutes,
                        letter);
    } else {
      const double wholeMinutes = std::trunc(minutes);
      const double seconds = TruncateDecimals((minutes - wholeMinutes) * 60.0, d);
      n = std::snprintf(out, outSize, "%*.0f:%02.0f'%0*.*f\" %c", width, wholeDegrees,
                        wholeMinutes, d + 3, d, seconds, letter);
    }
  }
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(n) < outSize ? n : static_cast<int>(outSize - 1);
}
