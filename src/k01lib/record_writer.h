// Appends most-significant-byte-first fields to a record buffer.
//
// Each call writes at the buffer's byte count and advances it. A field that
// would not fit in the 4096 bytes is not written at all and the call returns
// false, so a transcoder can AND the results and reject the record.
#pragma once
#include <cstddef>
#include <cstdint>

#include "k01lib/record_buffer.h"

namespace k01 {

bool appendByte(k01_record_t& rec, uint8_t value);
bool appendBytes(k01_record_t& rec, const uint8_t* bytes, size_t n);
bool appendU16(k01_record_t& rec, uint32_t value);  // low 16 bits
bool appendU24(k01_record_t& rec, uint32_t value);  // low 24 bits
bool appendU32(k01_record_t& rec, uint32_t value);
// The integer nearest to x * 2^e (halves away from zero), truncated to
// 4, 3 or 2 bytes.
bool appendScaled32(k01_record_t& rec, double x, int e);
bool appendScaled24(k01_record_t& rec, double x, int e);
bool appendScaled16(k01_record_t& rec, double x, int e);

// The rounding and truncation of the scaled writers, as a 32-bit pattern.
uint32_t scaledBits(double x, int e);

}  // namespace k01
