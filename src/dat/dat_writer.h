// DAT record envelope and the single counted write path.
//
// A DAT record is 0x74, length low byte, length high byte (or a per-type
// subtype byte), type, then a packed little-endian body. Every DAT file
// opens with five type-5 placeholders (final contents written at close)
// and one type-15 ion/UTC record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/status.h"

struct ConvState;

namespace dat {

constexpr uint8_t kMarker = 0x74;
constexpr size_t kIonRecordLength = 124;
constexpr size_t kOpeningBytes = 24 + 98 + 65 + 64 + 110 + kIonRecordLength;  // 485

struct Placeholder {
  uint8_t length;
  uint8_t subtype;
};
// The five header records in file order.
inline constexpr Placeholder kPlaceholders[5] = {{24, 6}, {98, 0}, {65, 1}, {64, 2}, {110, 3}};

// Writes count items of size bytes unless the sticky write error is set;
// a short write sets it to 15. Returns the items written.
size_t WriteBlock(ConvState& cs, const void* buffer, size_t size, size_t count, FILE* stream);

void WritePlaceholderHeaders(ConvState& cs, FILE* stream);
// Writes the 124-byte ion/UTC record at the current position and returns
// the offset at which it starts.
uint32_t WriteIonRecord(ConvState& cs, FILE* stream);
// Rewrites the ion/UTC record at offset and returns to where the stream was.
void RewriteIonRecord(ConvState& cs, FILE* stream, uint32_t offset);
// Writes or rewrites the ion/UTC record after the block changed: only when
// its 14th value is above zero; in place over the pending opening record
// if there is one, appended otherwise.
void UpdateIonRecord(ConvState& cs, FILE* stream);

// Common start of both entries: stores the stream; false when it is null
// (nothing to do). On the first call of a run writes the opening records.
bool BeginEntry(ConvState& cs, FILE* stream);
// Common end of both entries: counts the SVs of the SV list per SV, clears
// the list, and turns a set stream error indicator into 15.
Status EndEntry(ConvState& cs, Status st);

// Resets the envelope state for a new output set.
void ResetWriter(ConvState& cs);

}  // namespace dat
