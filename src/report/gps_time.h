// GPS time to calendar conversions and the report week.
//
// GPS time starts on 6 January 1980, 00:00 (MJD 44244). Calendar years are
// counted from 1900; the conversions cover 1 January 1901 to 31 December
// 2099. Outputs that a failing conversion did not reach are left as the
// caller set them.
#pragma once
#include <cstdint>

struct ConvState;

// MJD of the GPS time origin.
constexpr int32_t kGpsOriginMjd = 44244;

// Modified Julian Day and day fraction of a calendar instant (year counted
// from 1900). Returns 0 or an error code: 100 year, 200 month, 300 day,
// 400 day beyond the month, 500 hour, 600 minute, 700 seconds.
int CalendarToMjd(int year, int month, int day, int hour, int minute, double seconds,
                  int32_t* mjd, double* fraction);
// GPS week and time of week (s) to calendar values. Returns 0, or 100 for a
// date outside 1901..2099 (also for a time of week that is not a number or
// is far out of range), 200..600 for an inconsistent day or fraction.
int GpsToCalendar(double timeOfWeek, int week, int16_t* year, int16_t* month, int16_t* day,
                  int16_t* hour, int16_t* minute, double* seconds);
// GPS week and time of week (s) to year, day of year and day fraction.
// Returns 0, 100 or 200 as GpsToCalendar.
int GpsToDayOfYear(double timeOfWeek, int week, int16_t* year, int16_t* dayOfYear,
                   double* fraction);
// The GPS week that goes with the recorded epoch times: the week taken
// from the data when set, else the week handed over on the first record.
uint16_t ReportWeek(const ConvState& cs);
