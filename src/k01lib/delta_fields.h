// The read cursor over one compressed record and the delta-coded field
// updates that the compressed record types use for every changing value.
//
// Every update returns false when the field cannot be decoded: a mode wider
// than the field, or a read that would pass the end of the record (the
// cursor's sticky `overrun` flag is then set as well). The destination is
// left unchanged on failure.
#pragma once
#include <cstddef>
#include <cstdint>

namespace k01 {

struct k01_cursor_t {
  const uint8_t* pos = nullptr;  // next byte to take
  uint32_t left = 0;             // bytes left in the record
  bool overrun = false;          // a take ran past the record
};

// Positions the cursor at bytes[offset] of a record of `length` bytes.
void setCursor(k01_cursor_t& c, const uint8_t* bytes, uint32_t length, uint32_t offset);

// The next byte (0 and overrun when none is left).
uint8_t takeByte(k01_cursor_t& c);
// The next n bytes into out (out may be null to skip them); false and
// nothing taken when fewer than n are left.
bool takeBytes(k01_cursor_t& c, uint8_t* out, size_t n);

// Widest field the updates handle.
constexpr size_t kMaxFieldWidth = 8;

// Delta-coded field of w bytes: mode == rawMode takes w raw bytes; mode 0
// copies the reference; a mode m from 1 to w takes m bytes of sign and
// magnitude (sign = top bit of the first) and adds or subtracts the magnitude
// from the reference; a mode above w fails.
bool updateField(k01_cursor_t& c, unsigned mode, unsigned rawMode, uint8_t* dst,
                 const uint8_t* ref, size_t w);
// The same for the type-27 family: a mode m above w does not fail but takes
// m bytes; the sign is the top bit of the first of them and the magnitude is
// their last w bytes as they stand.
bool updateField27(k01_cursor_t& c, unsigned mode, unsigned rawMode, uint8_t* dst,
                   const uint8_t* ref, size_t w);
// Small signed step: mode == rawMode takes w raw bytes; a mode below rawMode
// adds the mode; a mode above it adds mode - 2 * rawMode (w-byte arithmetic).
bool updateStep(k01_cursor_t& c, unsigned mode, unsigned rawMode, uint8_t* dst,
                const uint8_t* ref, size_t w);
// One-byte field: flag set with magnitude 0 takes a raw byte; otherwise the
// reference decreased (flag set) or increased (flag clear) by the magnitude.
bool updateSmall(k01_cursor_t& c, uint8_t magnitude, bool flag, uint8_t* dst, const uint8_t* ref);

}  // namespace k01
