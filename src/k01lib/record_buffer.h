// The record buffer shared by the library's readers, writers and
// transcoders: 4096 bytes of record followed by its 16-bit byte count.
#pragma once
#include <cstddef>
#include <cstdint>

namespace k01 {

constexpr size_t kRecordCapacity = 4096;  // longest raw record the library handles

struct k01_record_t {
  uint8_t bytes[kRecordCapacity];
  uint16_t length;  // bytes in use, 0 to 4096
};
static_assert(sizeof(k01_record_t) == kRecordCapacity + 2, "record buffer is 4098 bytes");

// Compressed record types: their checksum is never tested by the reader.
inline bool isCompressedType(uint8_t type) {
  return (type >= 36 && type <= 39) || type == 41 || (type >= 54 && type <= 57) ||
         (type >= 66 && type <= 69) || (type >= 74 && type <= 77) || type == 84 || type == 85;
}

// Types that carry the high 8 bits of their length in byte 3.
inline bool hasLengthHighByte(uint8_t type) {
  return type == 27 || type == 29 || (type >= 36 && type <= 39) || type == 56 || type == 57 ||
         type == 98 || type == 99;
}

// K01 record length rule from the length byte b1, the type and byte 3.
inline uint32_t recordLength(uint8_t b1, uint8_t type, uint8_t b3) {
  uint32_t length = b1;
  if (type >= 74 && type <= 77) length += 256;
  if (hasLengthHighByte(type)) length += 256u * b3;
  return length;
}

}  // namespace k01
