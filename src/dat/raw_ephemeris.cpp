// Raw ephemeris records (types 3 and 21): the direct DAT conversion and the
// fill of the EPH table entry of the record's SV.
#include <cstring>

#include "common/byte_order.h"
#include "dat/conv_state.h"
#include "dat/encoder_internal.h"
#include "dat/field_convert.h"

namespace enc {

namespace {

constexpr size_t kEphEntry = 336;

// The EPH entry of sv, or null when there is no table, the SV number is
// outside 1..32, or the SV already took an ephemeris and has measurement
// records (its table entry then stays as it was). Sets the taken flag.
uint8_t* EntryToFill(ConvState& cs, uint8_t sv) {
  if (sv < 1 || sv > 32) return nullptr;
  const bool keep = cs.enc.ephTaken[sv] != 0 && cs.writer.svRecordCount[sv] > 0;
  cs.enc.ephTaken[sv] = 1;
  if (keep || cs.ephTable == nullptr) return nullptr;
  return cs.ephTable + (sv - 1) * kEphEntry;
}

void PutSlot(uint8_t* entry, int slot, double v) { bo::PutLeDouble(entry + 8 * slot, v); }

}  // namespace

Status RawEphemeris3(ConvState& cs, const uint8_t* rec, size_t len) {
  uint8_t out[206] = {};
  PutHeader(out, sizeof out, 0, 3, false);
  fc::Cursor c(rec, 3, len - 3, out, 4, sizeof out);
  fc::Copy(c, 1);
  c.WriteByte(0);
  fc::Swap64(c, 25);
  if (c.overrun) return status::kNoEtx;

  if (uint8_t* e = EntryToFill(cs, rec[3])) {
    std::memcpy(e, out + 6, 200);
    e[334] = 0;
    e[335] = 0;
  }
  WriteRecord(cs, out, sizeof out);
  return status::kOk;
}

Status RawEphemeris21(ConvState& cs, const uint8_t* rec, size_t len) {
  uint8_t out[190] = {};
  PutHeader(out, sizeof out, 0, 21, false);
  fc::Cursor c(rec, 3, len - 3, out, 4, sizeof out);
  fc::Copy(c, 1);
  c.WriteByte(0);
  fc::Swap16(c, 2);
  fc::Copy(c, 2);
  fc::Swap32(c, 3);
  fc::Swap64(c, 19);
  fc::Swap32(c, 1);
  fc::Copy(c, 10);
  if (c.overrun) return status::kNoEtx;

  if (uint8_t* e = EntryToFill(cs, rec[3])) {
    const uint8_t* d = rec + 22;  // the 19 binary64 values
    auto value = [d](int i) { return bo::GetBeDouble(d + 8 * i); };
    PutSlot(e, 0, static_cast<int16_t>(bo::GetBe16(rec + 4)));
    PutSlot(e, 3, static_cast<int16_t>(bo::GetBe16(rec + 6)));
    PutSlot(e, 8, rec[9]);
    PutSlot(e, 1, static_cast<int32_t>(bo::GetBe32(rec + 10)));
    PutSlot(e, 4, static_cast<int32_t>(bo::GetBe32(rec + 14)));
    PutSlot(e, 16, static_cast<int32_t>(bo::GetBe32(rec + 18)));
    PutSlot(e, 2, value(0));
    for (int i = 0; i < 3; ++i) PutSlot(e, 5 + i, value(1 + i));
    for (int i = 0; i < 7; ++i) PutSlot(e, 9 + i, value(4 + i));
    for (int i = 0; i < 8; ++i) PutSlot(e, 17 + i, value(11 + i));
    const uint32_t w = bo::GetBe32(rec + 174);
    std::memset(e + 320, 0, 16);
    bo::PutLe32(e + 328, w);
    e[320] = 3;
    e[321] = static_cast<uint8_t>((w >> 11) & 0xF);
    e[322] = static_cast<uint8_t>((w >> 15) & 0x1);
    e[323] = static_cast<uint8_t>((w >> 10) & 0x1);
    e[324] = static_cast<uint8_t>((w >> 4) & 0x3F);
    e[325] = static_cast<uint8_t>((w >> 16) & 0x7);
    e[334] = 255;
    e[335] = 255;
  }
  WriteRecord(cs, out, sizeof out);
  return status::kOk;
}

}  // namespace enc
