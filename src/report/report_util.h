// Helpers shared by the text reports.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "dat/conv_state.h"
#include "dat/session_records.h"
#include "report/gps_time.h"

namespace report {

// Truncates a value to a long integer for printing; values beyond the
// range of long give its nearest end, a value that is not a number gives 0.
inline long TruncToLong(double v) {
  constexpr double kLimit = static_cast<double>(std::numeric_limits<long>::max());
  if (std::isnan(v)) return 0;
  if (v >= kLimit) return std::numeric_limits<long>::max();
  if (v <= -kLimit) return std::numeric_limits<long>::min();
  return static_cast<long>(v);
}

// Length of a text in a fixed field that may lack its terminator.
inline int FieldLength(const char* s, size_t size) {
  return static_cast<int>(strnlen(s, size));
}

// Tracking figures of one SV over the whole conversion.
struct TrackingFigures {
  uint32_t totalL1 = 0, contL1 = 0, totalL2 = 0, contL2 = 0;
};

inline TrackingFigures Tracking(const ConvState& cs, int sv) {
  int32_t w[6];
  FinalTrackingEntry(cs.tracking, sv, w);
  TrackingFigures t;
  t.totalL1 = static_cast<uint32_t>(w[kTrackTotalL1]);
  t.contL1 = static_cast<uint32_t>(w[kTrackContL1]);
  t.totalL2 = static_cast<uint32_t>(w[kTrackTotalL2]);
  t.contL2 = static_cast<uint32_t>(w[kTrackContL2]);
  return t;
}

// Calendar values of a GPS time; all zero when the time cannot be
// converted (the reports then print a zero date).
struct Calendar {
  int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
};

inline Calendar ToCalendar(double timeOfWeekSeconds, int week) {
  Calendar c;
  if (GpsToCalendar(timeOfWeekSeconds, week, &c.year, &c.month, &c.day, &c.hour, &c.minute,
                    &c.seconds) != 0)
    c = Calendar();
  return c;
}

}  // namespace report
