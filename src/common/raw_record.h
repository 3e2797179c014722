// The receiver's raw record envelope:
//   STX 0x02, length L (STX to ETX inclusive), type, big-endian data,
//   16-bit byte sum of bytes 0..L-4 stored high byte first, ETX 0x03.
// Types 74, 75 and 117 add 256 to the length byte (records of 256 to 511
// bytes). In K00/K01 files a second length form carries the high 8 bits of
// the length in byte 3 for the types that HasLengthHighByte() names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/status.h"

namespace rawrec {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr size_t kEnvelopeBytes = 6;  // STX, length, type, checksum (2), ETX
constexpr size_t kMaxImageRecord = 511;

// Types whose length byte is the length minus 256.
inline bool AddsLength256(uint8_t type) { return type == 74 || type == 75 || type == 117; }

// K01-only types 74 to 77 also add 256 to the length byte.
inline bool K01AddsLength256(uint8_t type) { return type >= 74 && type <= 77; }

// K01-only types that carry the high 8 bits of the length in byte 3.
inline bool HasLengthHighByte(uint8_t type) {
  return type == 27 || type == 29 || (type >= 36 && type <= 39) || type == 56 || type == 57 ||
         type == 98 || type == 99;
}

// Length of a raw image record from its first three bytes (Q00 rule).
inline size_t ImageRecordLength(uint8_t lengthByte, uint8_t type) {
  return lengthByte + (AddsLength256(type) ? 256u : 0u);
}

// Types whose checksum and ETX are not checked (compact measurements).
inline bool SkipsChecksum(uint8_t type) {
  return (type >= 64 && type <= 67) || type == 74 || type == 75;
}

// 16-bit sum of the first n bytes, modulo 65536.
uint16_t ByteSum(const uint8_t* p, size_t n);

// Checks of a complete record of length len, in their order: STX (11),
// checksum (13, skipped for compact types) and ETX (12, skipped likewise).
Status CheckEnvelope(const uint8_t* rec, size_t len);

// Length forms used when building records.
enum class LengthForm {
  kImage,  // Q00 rule: length byte, +256 for types 74, 75, 117
  kK01,    // K01 rule: high byte in byte 3 for the long-form types, +256 for 74..77
};

// Builds a complete record (STX .. ETX) of the given type around data. For
// the K01 high-byte form, data must begin with the byte that will hold the
// length's high 8 bits (its value is overwritten). The checksum is computed
// unless badChecksum is set, in which case it is deliberately wrong.
std::vector<uint8_t> BuildRecord(uint8_t type, const std::vector<uint8_t>& data,
                                 LengthForm form = LengthForm::kImage, bool badChecksum = false);

}  // namespace rawrec
