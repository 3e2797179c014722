#pragma once
#include <cstdio>
#include "common/status.h"
struct ConvState;
// Writes the summary TXT file. Returns 0, or 21 without a stream.
Status WriteSummaryFile(ConvState& cs, FILE* summary, const char* stationText, const char* nameTail);
