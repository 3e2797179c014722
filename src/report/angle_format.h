// Latitude/longitude text in degrees, minutes and seconds.
#pragma once
#include <cstddef>

// kind 0 latitude, 1 longitude; value in semicircles; d decimals of the
// last component; p parts (1 degrees, 2 degrees+minutes, 3 d+m+s).
int FormatAngle(char* out, size_t outSize, int kind, double value, int d, int p);
