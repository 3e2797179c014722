// Reading the raw records of a raw image one at a time, with fixup and
// resynchronisation after a problem record.
#pragma once
#include <cstdint>
#include <cstdio>

#include "common/status.h"

struct ConvState;
struct OutputSet;

// Checks one complete raw record and hands it to the raw-record encoder.
Status SubmitRawRecord(OutputSet* set, ConvState& cs, const uint8_t* rec);
// Searches forward from *pos + 1 for a record that passes its checks and is
// written; on success *pos is its start and the stream is just after it.
// checksumErrors counts the candidates rejected for a bad checksum.
Status ResyncToRecord(FILE* stream, uint32_t* pos, OutputSet* set, ConvState& cs,
                      uint8_t* buffer, uint32_t* checksumErrors);
// The first record of a run hands the file identity to the conversion state.
void HandOverFirstRecord(OutputSet* set, ConvState& cs);
