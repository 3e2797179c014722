// Receiver and session information records of the raw path: text records
// (16), receiver information (30, subtypes other than 0), session header
// records (4, 22), per-SV session values (13, 23), session positions (5,
// 24) and the tracking table (14).
//
// A record whose fields run past its data is dropped as a whole: nothing
// is written and the conversion state keeps its values. Entries of the
// per-SV arrays beyond the 72 the session block holds are read past and
// dropped; a tracking record for an index above 32 is dropped.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "common/status.h"
struct ConvState;
struct TrackingTable;

// rec is the raw record as received (STX .. ETX, len bytes). Writes the
// DAT record for the types that are written (16, 30) to stream through the
// counted write path, and fills the conversion state.
Status HandleSessionRecord(ConvState& cs, FILE* stream, const uint8_t* rec, size_t len);

// Words of a tracking table entry (index = SV number).
enum TrackingWord { kTrackContL1 = 0, kTrackTotalL1 = 1, kTrackContL2 = 2, kTrackTotalL2 = 3,
                    kTrackSession = 4, kTrackWord5 = 5 };

// Folds one current tracking entry into an accumulated entry: totals and
// word 5 add up, continuous counts keep the larger, the session word is
// taken when the accumulated entry has none. An entry that tracked nothing
// (both totals 0) changes nothing.
void FoldTrackingEntry(const int32_t current[6], int32_t accumulated[6]);

// The figures of one index over the whole conversion: the accumulated
// entry with the current (last, not yet folded) session folded in.
// Indexes outside 0..32 give zeros.
void FinalTrackingEntry(const TrackingTable& table, int index, int32_t out[6]);
