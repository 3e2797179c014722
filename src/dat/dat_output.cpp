// Output helpers shared by the DAT record builders.
#include <cstring>

#include "common/byte_order.h"
#include "dat/conv_state.h"
#include "dat/dat_writer.h"
#include "dat/encoder_internal.h"

namespace enc {

void WriteRecord(ConvState& cs, const uint8_t* rec, size_t len) {
  dat::WriteBlock(cs, rec, 1, len, cs.writer.stream);
}

void PutHeader(uint8_t* h, size_t len, uint8_t byte2, uint8_t type, bool wide) {
  h[0] = dat::kMarker;
  h[1] = static_cast<uint8_t>(len);
  h[2] = wide ? static_cast<uint8_t>(len >> 8) : byte2;
  h[3] = type;
}

void AddToSvList(ConvState& cs, uint8_t sv) {
  if (sv < 1 || sv > 32) return;
  for (uint8_t& slot : cs.writer.svList) {
    if (slot == 0) {
      slot = sv;
      return;
    }
  }
}

bool Excluded(const ConvState& cs, uint8_t type) {
  uint32_t bit = 0;
  switch (type) {
    case 25: bit = 0x1; break;
    case 30: bit = 0x2; break;
    case 31: bit = 0x4; break;
    case 32: bit = 0x8; break;
    case 40: bit = 0x10; break;
    case 26: bit = 0x20; break;
    case 27: bit = 0x40; break;
    case 28: bit = 0x80; break;
    case 29: bit = 0x100; break;
    case 98: bit = 0x200; break;
    case 99: bit = 0x400; break;
    default: return false;
  }
  return (cs.exclusionMask & bit) != 0;
}

void Out::Bytes(const void* p, size_t n) {
  if (pos + n > cap) {
    overrun = true;
    return;
  }
  std::memcpy(buf + pos, p, n);
  pos += n;
}
void Out::U16(uint16_t v) {
  uint8_t b[2];
  bo::PutLe16(b, v);
  Bytes(b, 2);
}
void Out::U32(uint32_t v) {
  uint8_t b[4];
  bo::PutLe32(b, v);
  Bytes(b, 4);
}
void Out::F64(double v) {
  uint8_t b[8];
  bo::PutLeDouble(b, v);
  Bytes(b, 8);
}

}  // namespace enc
