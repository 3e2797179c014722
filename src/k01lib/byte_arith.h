// Arithmetic on w-byte big-endian integers held in byte arrays, modulo
// 2^(8w). The compressed measurement records are predicted and corrected in
// this form so that every field keeps its stored width and wraps as it does.
// All operations work from the last (least significant) byte to the first and
// accept overlapping operands.
#pragma once
#include <cstddef>
#include <cstdint>

namespace k01 {

// a := a + b; returns the carry out of the first byte (0 or 1).
int bytesAdd(uint8_t* a, const uint8_t* b, size_t w);
// a := a - b; returns 1 when a borrow leaves the first byte.
int bytesSub(uint8_t* a, const uint8_t* b, size_t w);
// Difference of the first differing pair (unsigned bytes, first to last);
// 0 when equal.
int bytesCompare(const uint8_t* a, const uint8_t* b, size_t w);
// Bytes from the first non-zero byte to the end, one more for a signed value
// whose first non-zero byte has its top bit set; 0 when all bytes are zero.
size_t bytesLength(const uint8_t* a, size_t w, bool isSigned);
// a := a >> s, arithmetic (the sign bit of the first byte fills in).
void bytesShiftRight(uint8_t* a, unsigned s, size_t w);
// c := 2b - a computed as c := b; c -= a; c += b; returns the carry of the
// final addition.
int bytesPredict(const uint8_t* a, const uint8_t* b, uint8_t* c, size_t w);

}  // namespace k01
