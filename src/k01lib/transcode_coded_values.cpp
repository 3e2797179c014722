// Transcoder of the compressed coded values (41): each value travels raw
// or as a step from its last value, and every code ever named is repeated
// in the rebuilt raw type-40 record.
#include <cstring>

#include "common/byte_order.h"
#include "k01lib/aux_state.h"
#include "k01lib/delta_fields.h"

namespace k01 {

namespace {

// The raw type-40 record carries its length in one byte.
constexpr uint32_t kMaxRebuiltLength = 255;

}  // namespace

uint8_t transcodeCodedValues41(const k01_record_t& in, k01_record_t& out,
                               k01_coded_store_t& store) {
  out.length = 0;
  const uint32_t length = in.bytes[1];
  // Bytes 0 to 3, the control byte and the carried checksum at least.
  if (length < 7 || length > in.length) return kAuxOverrun;
  // The store is updated in a copy and kept only when the record is whole.
  k01_coded_store_t next = store;
  k01_cursor_t c;
  setCursor(c, in.bytes, length - 2, 4);
  const uint8_t Q = takeByte(c);
  if (Q & 0x80) {
    uint8_t w[2];
    if (!takeBytes(c, w, 2)) return kAuxOverrun;
    next.lastWord = static_cast<uint16_t>(bo::GetBeN(w, 2));
  } else {
    next.lastWord = static_cast<uint16_t>(next.lastWord + ((Q >> 6) & 1));
  }
  uint32_t value;
  if (Q & 0x20) {
    uint8_t v[4];
    if (!takeBytes(c, v, 4)) return kAuxOverrun;
    value = static_cast<uint32_t>(bo::GetBeN(v, 4));
  } else {
    value = next.prediction + (Q & 31u);
  }
  next.prediction = 2 * value - next.lastValue;
  next.lastValue = value;
  while (c.left > 0) {
    const uint8_t e = takeByte(c);
    const uint8_t code = e & 127;
    if (e & 0x80) {
      uint8_t w[2];
      if (!takeBytes(c, w, 2)) return kAuxOverrun;
      next.value[code] = static_cast<uint16_t>(bo::GetBeN(w, 2));
    } else {
      if (c.left == 0) return kAuxOverrun;
      const int8_t step = static_cast<int8_t>(takeByte(c));
      next.value[code] = static_cast<uint16_t>(next.value[code] + step);
    }
    next.present[code] = 1;
  }

  uint32_t total = 4 + 2 + 4 + 3;
  for (uint32_t code = 1; code < kCodeCount; ++code)
    if (next.present[code]) total += 3;
  if (total > kMaxRebuiltLength) return kAuxOverrun;

  uint8_t* o = out.bytes;
  std::memcpy(o, in.bytes, 4);
  o[1] = static_cast<uint8_t>(total);
  o[2] = 40;
  bo::PutBeN(o + 4, next.lastWord, 2);
  bo::PutBeN(o + 6, next.lastValue, 4);
  uint32_t pos = 10;
  for (uint32_t code = 1; code < kCodeCount; ++code) {
    if (!next.present[code]) continue;
    o[pos] = static_cast<uint8_t>(code);
    bo::PutBeN(o + pos + 1, next.value[code], 2);
    pos += 3;
  }
  o[pos] = in.bytes[length - 2];
  o[pos + 1] = in.bytes[length - 1];
  o[pos + 2] = 0x03;
  out.length = static_cast<uint16_t>(total);
  store = next;
  return kAuxOk;
}

}  // namespace k01
