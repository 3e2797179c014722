// Stage 2 of the position records: DAT type 11 (position) and DAT type 29
// (precise position, a record of consecutive sections).
#include <cmath>
#include <cstring>

#include "k01lib/decode_stage2.h"

namespace k01 {

namespace {

constexpr uint32_t kPosListEntries = sizeof(k01_pos11_t::lists) / 2;  // per list
constexpr uint8_t kMaxSatellites = 88;

}  // namespace

uint16_t decodePosition11(k01_view_t& rec, k01_pos11_t& slot, uint8_t header[4],
                          uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  setDatHeader(header, 0, 0, 11);
  slot.latitude = readScaled(rec, 3, 4, -31, true);
  slot.longitude = readScaled(rec, 7, 4, -30, true);
  slot.height = readScaled(rec, 11, 4, -12, true);
  slot.value4 = readScaled(rec, 15, 4, -9, true);
  slot.value5 = readScaled(rec, 19, 4, -17, true);
  slot.value6 = readUnsigned(rec, 23, 2) * 0.125;
  slot.value7 = readScaled(rec, 25, 4, -44, true);
  slot.value8 = readScaled(rec, 29, 4, -32, true);
  slot.value9 = readScaled(rec, 33, 4, -21, true);
  slot.time = readUnsigned(rec, 37, 4);
  slot.byte41 = readByte(rec, 41);
  const uint32_t n = readByte(rec, 42);
  // Both lists must be in the record; the structure keeps 32 entries of each.
  if (rec.overrun || 43 + 2 * n > rec.length) {
    status = kDecodeLayout;
    return 0;
  }
  const uint32_t kept = n < kPosListEntries ? n : kPosListEntries;
  readBytes(rec, 43, kept, slot.lists);
  readBytes(rec, 43 + n, kept, slot.lists + kept);
  slot.count = static_cast<uint8_t>(kept);
  // Record longer than 2n + 46 bytes: latitude and longitude corrections.
  if (rec.length + 3 > 2 * n + 46) {
    slot.latitude += readScaled(rec, 2 * n + 43, 1, -39, true);
    slot.longitude += readScaled(rec, 2 * n + 44, 1, -38, true);
    if (rec.overrun) {
      status = kDecodeLayout;
      return 0;
    }
  }
  const uint32_t length = 82 + 2 * kept;
  setDatHeader(header, length, 0, 11);
  return static_cast<uint16_t>(length);
}

uint16_t decodePrecise29(k01_view_t& rec, k01_pos29_t& slot, uint8_t header[4],
                         uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  setDatHeaderWide(header, 0, 29);
  const uint8_t count = readByte(rec, 12);
  const uint8_t secondCount = readByte(rec, 13);
  if (rec.overrun || count > kMaxSatellites || secondCount > kMaxSatellites) {
    status = kDecodeLayout;
    return 0;
  }

  // First section (4 to 18).
  slot.firstSize = 15;
  slot.word5 = static_cast<uint16_t>(readUnsigned(rec, 5, 2));
  slot.time = readUnsigned(rec, 7, 4);
  slot.byte11 = readByte(rec, 11);
  slot.svCount = count;
  slot.secondCount = secondCount;
  slot.byte14 = readByte(rec, 14);
  slot.sectionFlags = readByte(rec, 15);
  slot.byte16 = readByte(rec, 16);
  slot.modeByte = readByte(rec, 17);
  slot.byte18 = readByte(rec, 18);

  // Second section (19 to 71).
  slot.secondSize = 93;
  slot.latitude = readScaled(rec, 20, 6, -40, true);
  slot.longitude = readScaled(rec, 26, 6, -39, true);
  slot.height = readScaled(rec, 32, 4, -12, true);
  slot.value40 = readScaled(rec, 36, 4, -21, true);
  slot.value48 = readScaled(rec, 40, 4, -21, true);
  slot.value56 = readScaled(rec, 44, 4, -21, true);
  // Built aside and copied in: the packed slot's floats are not aligned.
  float v[11] = {};
  v[0] = static_cast<float>(readScaled(rec, 48, 4, -26, true));
  v[1] = static_cast<float>(readScaled(rec, 52, 4, -17, true));
  v[3] = static_cast<float>(readScaled(rec, 56, 2, -4, false));
  v[4] = static_cast<float>(readScaled(rec, 58, 2, -4, false));
  v[5] = static_cast<float>(readScaled(rec, 60, 2, -4, false));
  v[2] = std::sqrt(v[4] * v[4] + v[3] * v[3]);
  v[6] = static_cast<float>(readScaled(rec, 62, 2, -11, false));
  v[7] = static_cast<float>(readScaled(rec, 64, 2, -11, false));
  v[8] = static_cast<float>(readScaled(rec, 66, 2, -11, false));
  v[9] = static_cast<float>(readScaled(rec, 68, 2, -14, false));
  const double last = readScaled(rec, 70, 2, -11, false);
  v[10] = static_cast<float>(last * last);
  std::memcpy(slot.values, v, sizeof v);

  // Optional sections follow one another, each led by its length byte.
  uint32_t at = 72;
  if (slot.modeByte >= 3 && slot.modeByte <= 6) {
    const uint8_t size = readByte(rec, at);
    slot.thirdSize = 7;
    slot.thirdByte = readByte(rec, at + 1);
    slot.thirdValue = static_cast<float>(readScaled(rec, at + 2, 2, -6, false));
    slot.thirdFlags = readByte(rec, at + 4);
    if (size < 5) rec.overrun = true;
    at += size;
  }
  if (slot.sectionFlags & 0x02) {
    const uint8_t size = readByte(rec, at);
    slot.fourthSize = 10;
    slot.fourthValues[0] = static_cast<float>(readScaled(rec, at + 1, 4, -16, true));
    slot.fourthValues[1] = static_cast<float>(readScaled(rec, at + 5, 4, -16, true));
    slot.fourthFlags = size != 9 ? readByte(rec, at + 9) : 0;
    if (size < 9) rec.overrun = true;
    at += size;
  }
  if (slot.sectionFlags & 0x10) {
    const uint8_t size = readByte(rec, at);
    const uint8_t code = readByte(rec, at + 1);
    const uint8_t n = (code >> 4) & 7;
    slot.extSize = static_cast<uint8_t>(3 + 9 * n);
    slot.extCode = code & 0x0F;
    slot.extCount = n;
    uint32_t q = at + 2;
    for (uint8_t i = 0; i < n; ++i) {
      const uint8_t descriptor = readByte(rec, q);
      const uint32_t k = (descriptor >> 4) & 7;
      slot.extCodes[i] = descriptor & 0x0F;
      slot.extValues[i] = readScaled(rec, q + 1, k, -28, true);
      q += 1 + k;
    }
    if (size < 2 || q > at + size) rec.overrun = true;  // entries beyond the section
    at += size;
  }
  // Satellite section: its length byte, then 3 bytes per satellite; the
  // structure keeps 32 entries.
  const uint32_t kept = count < k01_pos29_t::kSvSlots ? count : k01_pos29_t::kSvSlots;
  if (at + 1 + 3u * count > rec.length) rec.overrun = true;
  readBytes(rec, at + 1, 3 * kept, slot.svEntries);
  slot.svCount = static_cast<uint8_t>(kept);
  slot.svSectionSize = static_cast<uint8_t>(3 * kept + 1);
  if (rec.overrun) {
    status = kDecodeLayout;
    return 0;
  }
  const uint32_t length = 4 + 15 + 93 + slot.thirdSize + slot.fourthSize + slot.extSize +
                          slot.svSectionSize;
  setDatHeaderWide(header, length, 29);
  return static_cast<uint16_t>(length);
}

}  // namespace k01
