// Stage 2 of the auxiliary record types: session (5), 12, ion/UTC (15),
// 16, events (19), 21, data pages (25), 26, 28, receiver information (30),
// application file blocks (31), 32, coded values (40) and data blocks (98,
// 99). Each zeroes its slot first, except 28 and 32 for the subtypes they
// do not decode.
#include <zlib.h>

#include <cstring>

#include "k01lib/decode_stage2.h"

namespace k01 {

namespace {

// Copies the record's bytes from `from` to the end of the payload into dst
// (at most cap bytes); false when they do not fit. *copied gets the count.
bool copyPayload(k01_view_t& rec, uint32_t from, uint8_t* dst, size_t cap, uint32_t* copied) {
  const uint32_t n = rec.length > from ? rec.length - from : 0;
  if (copied != nullptr) *copied = n;
  if (n > cap) return false;
  readBytes(rec, from, n, dst);
  return true;
}

uint16_t fail(uint8_t& status) {
  status = kDecodeLayout;
  return 0;
}

uint16_t u16(k01_view_t& rec, uint32_t at) { return static_cast<uint16_t>(readUnsigned(rec, at, 2)); }

}  // namespace

uint16_t decodeRec5(k01_view_t& rec, k01_rec5_t& slot, uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  const uint8_t subtype = readByte(rec, 3);
  setDatHeader(header, 0, subtype, 5);
  if (rec.overrun) return fail(status);
  if (subtype > 7) return 0;
  // Nothing downstream reads this slot: it keeps the subtype and the
  // payload as it stands.
  slot.data[0] = subtype;
  uint32_t n = 0;
  if (!copyPayload(rec, 4, slot.data + 1, sizeof slot.data - 1, &n)) return fail(status);
  const uint32_t length = rec.length;  // record length - 3
  setDatHeader(header, length, subtype, 5);
  return static_cast<uint16_t>(length);
}

uint16_t decodeRec12(k01_view_t& rec, k01_rec12_t& slot, uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  setDatHeader(header, 0, 0, 12);
  uint32_t n = 0;
  if (!copyPayload(rec, 3, slot.data, sizeof slot.data, &n)) return fail(status);
  slot.length = static_cast<uint16_t>(n);
  const uint32_t length = n + 4;
  if (length > 255) return fail(status);
  setDatHeader(header, length, 0, 12);
  return static_cast<uint16_t>(length);
}

uint16_t decodeIon15(k01_view_t& rec, k01_ion15_t& slot, uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  setDatHeader(header, 0, 0, 15);
  for (int i = 0; i < 11; ++i) slot.values[i] = readDouble(rec, 3 + 8 * static_cast<uint32_t>(i));
  slot.value91 = static_cast<int16_t>(u16(rec, 91));
  slot.value93 = static_cast<int16_t>(u16(rec, 93));
  slot.value95 = readUnsigned(rec, 95, 4);
  readBytes(rec, 99, 7, slot.bytes99);
  slot.byte106 = readByte(rec, 106);
  if (rec.overrun) return fail(status);
  setDatHeader(header, 124, 0, 15);
  return 124;
}

uint16_t decodeRec16(k01_view_t& rec, k01_rec16_t& slot, uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  const uint8_t byte3 = readByte(rec, 3);
  setDatHeader(header, 0, byte3, 16);
  if (rec.overrun || !copyPayload(rec, 4, slot.data, sizeof slot.data, nullptr))
    return fail(status);
  const uint32_t length = rec.length;  // record length - 3
  setDatHeader(header, length, byte3, 16);
  return static_cast<uint16_t>(length);
}

uint16_t decodeRec19(k01_view_t& rec, k01_rec19_t& slot, uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  const uint8_t subtype = readByte(rec, 3);
  setDatHeader(header, 0, subtype, 19);
  uint32_t n = 0;
  if (rec.overrun || !copyPayload(rec, 4, slot.data, sizeof slot.data, &n)) return fail(status);
  slot.subtype = subtype;
  slot.length = static_cast<uint16_t>(n);
  uint32_t length = 0;
  switch (subtype) {
    case 0: case 1: case 3: case 4: case 5: length = 14; break;
    case 6: length = 15; break;
    default: length = 0; break;
  }
  setDatHeader(header, length, subtype, 19);
  return static_cast<uint16_t>(length);
}

uint16_t decodeRec21(k01_view_t& rec, k01_rec21_t& slot, uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  setDatHeader(header, 0, 0, 21);
  slot.byte3 = readByte(rec, 3);
  slot.word4 = u16(rec, 4);
  slot.word6 = u16(rec, 6);
  slot.byte8 = readByte(rec, 8);
  slot.byte9 = readByte(rec, 9);
  slot.value10 = readUnsigned(rec, 10, 4);
  slot.value14 = readUnsigned(rec, 14, 4);
  slot.value18 = readUnsigned(rec, 18, 4);
  for (int i = 0; i < 19; ++i) slot.values[i] = readDouble(rec, 22 + 8 * static_cast<uint32_t>(i));
  slot.value174 = readUnsigned(rec, 174, 4);
  readBytes(rec, 178, 9, slot.bytes178);
  slot.byte187 = readByte(rec, 187);
  if (rec.overrun) return fail(status);
  setDatHeader(header, 190, 0, 21);
  return 190;
}

uint16_t decodePages25(k01_view_t& rec, k01_page25_t& slot, uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  setDatHeader(header, 0, 0, 25);
  slot.page.time = readUnsigned(rec, 4, 4);
  slot.page.week = u16(rec, 8);
  slot.page.byte10 = readByte(rec, 10);
  readBytes(rec, 11, 28, slot.page.page);
  if (rec.overrun) return fail(status);
  setDatHeader(header, 39, 0, 25);
  return 39;
}

uint16_t decodeAux26(k01_view_t& rec, k01_aux26_t& slot, uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  const uint8_t subtype = readByte(rec, 3);
  setDatHeader(header, 0, subtype, 26);
  slot.value0 = readUnsigned(rec, 4, 4);
  slot.value4 = u16(rec, 8);
  slot.byte6 = readByte(rec, 10);
  uint32_t length = 0;
  uint8_t byte2 = subtype;
  switch (subtype) {
    case 0:
    case 6:
      if (subtype == 6) {
        slot.byte7 = readByte(rec, 11);
        slot.value8 = readByte(rec, 12);
      }
      slot.byte12 = 38;
      readBytes(rec, 11, 38, slot.data);
      length = 55;
      byte2 = 6;
      break;
    case 1:
    case 7:
      slot.byte12 = readByte(rec, 11);
      if (subtype == 7) {
        slot.byte7 = readByte(rec, 12);
        slot.value8 = readByte(rec, 13);
      }
      slot.data[0] = 11;
      readBytes(rec, 12, 11, slot.data + 1);
      length = 29;
      byte2 = 7;
      break;
    case 2: case 3: case 4: case 5: {
      static const uint8_t kCounts[4] = {31, 30, 31, 15};
      const uint8_t count = kCounts[subtype - 2];
      slot.byte7 = readByte(rec, 11);
      const uint8_t split = readByte(rec, 12);
      slot.value8 = split >> 4;
      slot.byte12 = split & 0x0F;
      slot.data[0] = static_cast<uint8_t>(subtype - 2);
      slot.data[1] = count;
      readBytes(rec, 13, count, slot.data + 2);
      length = 19u + count;
      break;
    }
    default:
      length = 0;
      break;
  }
  if (rec.overrun) return fail(status);
  setDatHeader(header, length, byte2, 26);
  return static_cast<uint16_t>(length);
}

uint16_t decodeRec28(k01_view_t& rec, k01_rec28_t& slot, uint8_t header[4], uint8_t& status) {
  const uint8_t subtype = readByte(rec, 3);
  setDatHeader(header, 0, 0, 28);
  if (rec.overrun) return fail(status);
  if (subtype < 2 || subtype > 4) return 0;  // the slot is left as it was
  std::memset(&slot, 0, sizeof slot);
  slot.subtype = subtype;
  uint32_t length = 0;
  if (subtype == 2) {
    k01_rec28_2_t& b = slot.body.s2;
    b.byte4 = readByte(rec, 4);
    b.word5 = u16(rec, 5);
    b.value7 = readUnsigned(rec, 7, 4);
    b.word11 = u16(rec, 11);
    readBytes(rec, 13, 3, b.bytes13);
    b.value16 = readUnsigned(rec, 16, 4);
    readBytes(rec, 20, 6, b.bytes20);
    for (int i = 0; i < 14; ++i) b.values[i] = readDouble(rec, 26 + 8 * static_cast<uint32_t>(i));
    length = 139;
  } else if (subtype == 3) {
    k01_rec28_3_t& b = slot.body.s3;
    b.byte4 = readByte(rec, 4);
    b.word5 = u16(rec, 5);
    b.value7 = readUnsigned(rec, 7, 4);
    b.word11 = u16(rec, 11);
    b.value13 = readUnsigned(rec, 13, 4);
    for (int i = 0; i < 15; ++i) b.values[i] = readDouble(rec, 17 + 8 * static_cast<uint32_t>(i));
    b.byte137 = readByte(rec, 137);
    b.word138 = u16(rec, 138);
    b.byte140 = readByte(rec, 140);
    // Two forms by the record length: 216 (no 16-bit fields) or 220.
    const uint32_t recordLength = rec.length + 3;
    if (recordLength == 216) {
      b.wordA = 65535;
      b.valueA = readUnsigned(rec, 141, 4);
      for (int i = 0; i < 4; ++i) b.setA[i] = readDouble(rec, 145 + 8 * static_cast<uint32_t>(i));
      b.wordB = 65535;
      b.valueB = readUnsigned(rec, 177, 4);
      for (int i = 0; i < 4; ++i) b.setB[i] = readDouble(rec, 181 + 8 * static_cast<uint32_t>(i));
    } else if (recordLength == 220) {
      b.wordA = u16(rec, 141);
      b.valueA = readUnsigned(rec, 143, 4);
      for (int i = 0; i < 4; ++i) b.setA[i] = readDouble(rec, 147 + 8 * static_cast<uint32_t>(i));
      b.wordB = u16(rec, 179);
      b.valueB = readUnsigned(rec, 181, 4);
      for (int i = 0; i < 4; ++i) b.setB[i] = readDouble(rec, 185 + 8 * static_cast<uint32_t>(i));
    }
    length = 218;
  } else {
    k01_rec28_4_t& b = slot.body.s4;
    b.byte4 = readByte(rec, 4);
    b.byte5 = readByte(rec, 5);
    b.wordA = u16(rec, 6);
    b.valueA = readUnsigned(rec, 8, 4);
    b.wordB = u16(rec, 12);
    b.valueB = readUnsigned(rec, 14, 4);
    for (int i = 0; i < 15; ++i) b.values[i] = readDouble(rec, 18 + 8 * static_cast<uint32_t>(i));
    b.byteC = readByte(rec, 138);
    b.wordC = u16(rec, 139);
    b.valueC = readUnsigned(rec, 141, 4);
    for (int i = 0; i < 4; ++i) b.setC[i] = readDouble(rec, 145 + 8 * static_cast<uint32_t>(i));
    b.byteD = readByte(rec, 177);
    b.valueD = readDouble(rec, 178);
    b.byteE = readByte(rec, 186);
    length = 188;
  }
  if (rec.overrun) return fail(status);
  setDatHeader(header, length, 0, 28);
  return static_cast<uint16_t>(length);
}

uint16_t decodeRec30(k01_view_t& rec, k01_rec30_t& slot, uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  const uint8_t subtype = readByte(rec, 3);
  setDatHeader(header, 0, subtype, 30);
  if (rec.overrun) return fail(status);
  if (subtype > 3) return 0;
  uint32_t n = 0;
  if (!copyPayload(rec, 4, slot.data, sizeof slot.data, &n)) return fail(status);
  slot.subtype = subtype;
  slot.length = static_cast<uint16_t>(n);
  const uint32_t length = rec.length;  // record length - 3
  if (length > 255) return fail(status);
  setDatHeader(header, length, subtype, 30);
  return static_cast<uint16_t>(length);
}

uint16_t decodeRec31(k01_view_t& rec, k01_rec31_t& slot, uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  setDatHeader(header, 0, 0, 31);
  slot.word3 = u16(rec, 3);
  slot.byte5 = readByte(rec, 5);
  slot.count = readByte(rec, 6);
  readBytes(rec, 7, slot.count, slot.data);
  if (rec.overrun) return fail(status);
  const uint32_t length = slot.count + 8u;
  setDatHeader(header, length, 0, 31);
  return static_cast<uint16_t>(length);
}

namespace {

// The fields shared by subtypes 3 and 4 of type 32, from record offset `at`.
void readRec32Body(k01_view_t& rec, uint32_t at, k01_rec32_3_t& b) {
  b.word4 = u16(rec, at);
  b.value6 = readUnsigned(rec, at + 2, 4);
  for (int i = 0; i < 3; ++i) b.first[i] = readDouble(rec, at + 6 + 8 * static_cast<uint32_t>(i));
  b.byte34 = readByte(rec, at + 30);
  for (int i = 0; i < 2; ++i) b.second[i] = readDouble(rec, at + 31 + 8 * static_cast<uint32_t>(i));
  b.word51 = u16(rec, at + 47);
  b.value53 = readUnsigned(rec, at + 49, 4);
  for (int i = 0; i < 4; ++i) b.words[i] = u16(rec, at + 53 + 2 * static_cast<uint32_t>(i));
  for (int i = 0; i < 2; ++i) b.third[i] = readDouble(rec, at + 61 + 8 * static_cast<uint32_t>(i));
  b.value81 = readUnsigned(rec, at + 77, 4);
  b.word85 = u16(rec, at + 81);
}

}  // namespace

uint16_t decodeRec32(k01_view_t& rec, k01_rec32_t& slot, uint8_t header[4], uint8_t& status) {
  const uint8_t subtype = readByte(rec, 3);
  setDatHeader(header, 0, 0, 32);
  if (rec.overrun) return fail(status);
  uint32_t length = 0;
  switch (subtype) {
    case 2:
      // Nothing of a subtype-2 record is decoded; its DAT record is the
      // subtype alone, so no earlier record's fields may remain in the slot.
      std::memset(&slot, 0, sizeof slot);
      slot.subtype = 2;
      length = 5;
      break;
    case 3:
      std::memset(&slot, 0, sizeof slot);
      slot.subtype = 3;
      readRec32Body(rec, 4, slot.body.s3);
      length = 88;
      break;
    case 4:
      std::memset(&slot, 0, sizeof slot);
      slot.subtype = 4;
      readBytes(rec, 4, 3, slot.body.s4.bytes);
      readRec32Body(rec, 7, slot.body.s4.rest);
      length = 91;
      break;
    default:
      return 0;  // the slot is left as it was
  }
  if (rec.overrun) return fail(status);
  setDatHeader(header, length, 0, 32);
  return static_cast<uint16_t>(length);
}

uint16_t decodeCoded40(k01_view_t& rec, k01_coded40_t& slot, uint8_t header[4],
                       uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  setDatHeader(header, 0, 0, 40);
  slot.word = u16(rec, 4);
  slot.value = readUnsigned(rec, 6, 4);
  // Entries of a code and a 16-bit value up to the checksum; the structure
  // keeps the first 20.
  if (rec.overrun || rec.length < 10 || (rec.length - 10) % 3 != 0) return fail(status);
  const uint32_t entries = (rec.length - 10) / 3;
  const uint32_t kept = entries < k01_coded40_t::kEntrySlots
                            ? entries
                            : static_cast<uint32_t>(k01_coded40_t::kEntrySlots);
  for (uint32_t i = 0; i < kept; ++i) {
    const uint32_t at = 10 + 3 * i;
    const uint8_t code = readByte(rec, at);
    const uint16_t raw = u16(rec, at + 1);
    double value;
    if (code == 7 || code == 8)
      value = raw;
    else if (code == 6)
      value = static_cast<int16_t>(raw);
    else
      value = static_cast<int16_t>(raw) / 100.0;
    slot.entry[i].code = code;
    slot.entry[i].value = value;
  }
  slot.count = static_cast<uint8_t>(kept);
  const uint32_t length = 11 + 9 * kept;
  setDatHeader(header, length, 0, 40);
  return static_cast<uint16_t>(length);
}

namespace {

template <typename Slot>
uint16_t decodeData(k01_view_t& rec, Slot& slot, uint8_t type, uint8_t header[4],
                    uint8_t& status, bool inflate) {
  std::memset(&slot, 0, sizeof slot);
  setDatHeaderWide(header, 0, type);
  slot.kind = readByte(rec, 4);
  slot.word = u16(rec, 5);
  slot.value = readUnsigned(rec, 7, 4);
  if (rec.overrun || rec.length < 11) return fail(status);
  const uint32_t payload = rec.length - 11;
  uint32_t held = payload;
  if (inflate && slot.kind == 1) {
    uLongf outLength = sizeof slot.data;
    if (uncompress(slot.data, &outLength, rec.bytes + 11, payload) != Z_OK) {
      std::memset(slot.data, 0, sizeof slot.data);
      return fail(status);
    }
    held = static_cast<uint32_t>(outLength);
  } else {
    if (payload > sizeof slot.data) return fail(status);
    readBytes(rec, 11, payload, slot.data);
  }
  const uint32_t length = held + 11;
  setDatHeaderWide(header, length, type);
  return static_cast<uint16_t>(length);
}

}  // namespace

uint16_t decodeData98(k01_view_t& rec, k01_data98_t& slot, uint8_t header[4], uint8_t& status) {
  return decodeData(rec, slot, 98, header, status, false);
}

uint16_t decodeData99(k01_view_t& rec, k01_data99_t& slot, uint8_t header[4], uint8_t& status) {
  return decodeData(rec, slot, 99, header, status, true);
}

}  // namespace k01
