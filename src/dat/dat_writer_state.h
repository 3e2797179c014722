// State of the DAT envelope and write path, kept in the conversion state.
#pragma once
#include <cstdint>
#include <cstdio>

struct DatWriterState {
  FILE* stream = nullptr;         // current DAT stream, set by each entry call
  uint32_t recordCalls = 0;       // entry calls with a stream
  uint32_t pendingIonOffset = 0;  // offset of the opening type-15 record, 0 = none
  int16_t writeError = 0;         // 0 or 15, sticky
  uint8_t svList[33] = {};        // SV numbers of the record being written
  uint32_t svRecordCount[33] = {};  // per-SV record counts, index = SV number 1..32
};
