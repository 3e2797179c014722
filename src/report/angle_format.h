// Latitude/longitude text in degrees, minutes and seconds.
#pragma once
#include <cstddef>

constexpr int kAngleLatitude = 0;
constexpr int kAngleLongitude = 1;

// Writes the text of an angle given in semicircles into out (at most
// outSize bytes, always terminated when outSize > 0) and returns its
// length. kind 0 latitude (hemisphere N/S, degrees in 2 columns), 1
// longitude (E/W, 3 columns); d decimals of the last component, truncated,
// never rounded; p parts: 1 degrees, 2 degrees and minutes, otherwise
// degrees, minutes and seconds.
int FormatAngle(char* out, size_t outSize, int kind, double value, int d, int p);
