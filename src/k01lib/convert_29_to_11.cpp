// Conversion of a precise position (type 29) into the older type-11
// position structure.
#include "k01lib/expand_state.h"

namespace k01 {

namespace {

// Status byte of the type-11 position from the solution bytes of type 29.
uint8_t positionStatus(uint8_t v, uint8_t s, uint8_t k, uint8_t w) {
  uint8_t status = 0;
  switch (s) {
    case 1: status = 0; break;
    case 3: status = 2; break;
    case 4: status = 3; break;
    case 5: status = (k == 5 || k == 6) ? 5 : 4; break;
    default: status = 0; break;
  }
  if (k == 1) status |= 0x10;
  if (k == 2) status |= 0x50;
  if (k == 7) status |= 0x30;
  if (w == 3) status |= 0x20;
  if (k >= 3 && k <= 6) {
    status |= 0x40;
    if (k == 4 || k == 6) status |= 0x08;
    if (v == 1) status |= 0x80;
  }
  return status;
}

}  // namespace

uint16_t convertPosition29To11(uint8_t header[4], const k01_pos29_t* in, k01_pos11_t* out) {
  if (in == nullptr || out == nullptr) return 0;
  out->latitude = in->latitude / 180.0;
  out->longitude = in->longitude / 180.0;
  out->height = in->height;
  out->value4 = static_cast<double>(in->values[0]) * 299792.458;
  out->value5 = static_cast<double>(in->values[1]) / 1000000.0 * 299792458.0 / 0.19029367279836487;
  out->value6 = static_cast<double>(in->values[2]);
  out->value7 = in->value40;
  out->value8 = in->value48;
  out->value9 = in->value56;
  out->time = in->time;
  out->byte41 = positionStatus(in->byte11, in->byte16, in->modeByte, in->byte18);

  // The lists hold 32 positions each (list 2 follows the n bytes of list 1).
  constexpr uint32_t kListSlots = sizeof out->lists / 2;
  const uint32_t n = in->secondCount < kListSlots ? in->secondCount : kListSlots;
  out->count = static_cast<uint8_t>(n);
  const uint32_t triples = in->svCount < static_cast<uint32_t>(k01_pos29_t::kSvSlots)
                               ? in->svCount
                               : static_cast<uint32_t>(k01_pos29_t::kSvSlots);
  uint32_t p = 0;
  for (uint32_t t = 0; t < triples && p < n; ++t) {
    const uint8_t* e = in->svEntries + 3 * t;
    if (!(e[2] & 0x02)) continue;
    out->lists[p] = static_cast<uint8_t>(p);
    out->lists[n + p] = static_cast<uint8_t>(e[1] == 2 ? e[0] + 51 : e[0]);
    ++p;
  }
  const uint32_t length = 82 + 2 * n;
  if (header != nullptr) {
    header[0] = 't';
    header[1] = static_cast<uint8_t>(length & 0xFF);
    header[2] = static_cast<uint8_t>(length >> 8);
    header[3] = 11;
  }
  return static_cast<uint16_t>(length);
}

}  // namespace k01
