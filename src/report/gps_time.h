// GPS time to calendar conversions and the report week.
#pragma once
#include <cstdint>

struct ConvState;

// Modified Julian Day and day fraction of a calendar instant (year counted
// from 1900). Returns 0 or an error code (100..700).
int CalendarToMjd(int year, int month, int day, int hour, int minute, double seconds,
                  int32_t* mjd, double* fraction);
// GPS week and time of week (s) to calendar values. Returns 0 or 100..600.
int GpsToCalendar(double timeOfWeek, int week, int16_t* year, int16_t* month, int16_t* day,
                  int16_t* hour, int16_t* minute, double* seconds);
// GPS week and time of week (s) to year, day of year and day fraction.
int GpsToDayOfYear(double timeOfWeek, int week, int16_t* year, int16_t* dayOfYear,
                   double* fraction);
// The GPS week that goes with the recorded epoch times: the week taken
// from the data when set, else the week handed over on the first record.
uint16_t ReportWeek(const ConvState& cs);
