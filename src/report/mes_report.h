#pragma once
#include <cstdio>
#include "common/status.h"
struct ConvState;
// Writes the MES session report. Returns 0, or 10 without a stream.
Status WriteMesReport(ConvState& cs, FILE* mes, const char* stationText, const char* nameTail);
