// Expansion of the compact measurement records of the raw path (types 64 to
// 67, 74 and 75) into a raw type-17 record (117 when longer than 255 bytes).
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/status.h"

struct ConvState;

namespace compact {
// Expansion statuses: the letters "e" to "o".
constexpr Status kNoStx = 101;           // e
constexpr Status kWrongType = 102;       // f
constexpr Status kLengthMismatch = 103;  // g
constexpr Status kChecksum = 104;        // h: the input record is restored
constexpr Status kNoEtx = 105;           // i
constexpr Status kFieldFirst = 106;      // j .. o: a field could not be decoded
constexpr Status kFieldLast = 111;

inline bool IsExpansionStatus(Status s) { return s >= kNoStx && s <= kFieldLast; }
}  // namespace compact

// Expands the compact record rec (*len bytes, STX .. ETX; the buffer holds
// at least 4096 bytes) in place into a raw type-17/117 record and sets *len
// to its length. Returns 0 or an expansion status (101 to 111).
Status ExpandCompactRecord(ConvState& cs, uint8_t* rec, size_t* len);

// Resets the expansion histories for the family of this compact type; called
// at the first compact record of an input.
void ResetCompactHistories(ConvState& cs, uint8_t type);
