// Readers of fixed-width, most-significant-byte-first fields of a record.
//
// Every read goes through a k01_view_t that knows how many bytes the record
// holds. A read that would pass the end sets the view's sticky `overrun`
// flag and yields 0 (readBytes zero-fills), so a decoder can read a whole
// layout and test the flag once at the end.
#pragma once
#include <cstddef>
#include <cstdint>

#include "k01lib/record_buffer.h"

namespace k01 {

struct k01_view_t {
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;    // readable bytes
  bool overrun = false;   // set by any read past `length`
};

// A view of the bytes in use of a record buffer (at most 4096).
k01_view_t viewRecord(const k01_record_t& rec);
k01_view_t viewBytes(const uint8_t* bytes, uint32_t length);

uint8_t readByte(k01_view_t& rec, uint32_t offset);
// n bytes (1 to 4) as an unsigned integer; n = 0 gives 0, n > 4 fails.
uint32_t readUnsigned(k01_view_t& rec, uint32_t offset, uint32_t n);
float readFloat(k01_view_t& rec, uint32_t offset);
double readDouble(k01_view_t& rec, uint32_t offset);
// n-byte (0 to 8) fixed-point value times 2^e: the first min(n, 4) bytes are
// the high part (two's complement when isSigned), the rest an unsigned low
// part in units of 2^e.
double readScaled(k01_view_t& rec, uint32_t offset, uint32_t n, int e, bool isSigned);
// Copies n bytes into out; on an overrun out is zero-filled.
void readBytes(k01_view_t& rec, uint32_t offset, uint32_t n, uint8_t* out);

}  // namespace k01
