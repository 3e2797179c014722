// Raw measurement and position records: type-7 entries collected into an
// epoch, type-17/117 measurement blocks (an epoch may span several
// records) and type-10/11 positions.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/scale.h"
#include "common/byte_order.h"
#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "dat/encoder_internal.h"
#include "dat/field_convert.h"

namespace enc {

namespace {

constexpr double kClockToMs = 3.335640952e-6;

// Body offsets of a converted type-7 entry.
constexpr size_t k7Clock = 8;
constexpr size_t k7Third = 24;
constexpr size_t k7Time = 48;
constexpr size_t k7FlagByte = 76;
constexpr size_t k7SvNumber = 77;

uint8_t Type7DatLength(size_t rawLength) {
  switch (rawLength) {
    case 51: return 82;
    case 61: return 106;
    case 73: return 122;
    default: return 0;
  }
}

// Size of the raw SV block that starts with these flags.
size_t SvBlockSize(uint8_t flags) {
  size_t n = 20;
  if (flags & 0x01) n += (flags & 0x20) ? 9 : 7;
  return n;
}

// Converts one raw SV block (20, 27 or 29 bytes at p) into an image slot.
void ConvertSvBlock(const ConvState& cs, const uint8_t* p, k01_meas17_sv_t& s) {
  s.svNumber = p[0];
  s.flags = p[1];
  s.status = p[2];
  uint8_t fourth = 0;
  if (!(cs.rx.typeCode < 4 && cs.rx.firmwareVersion < 550)) fourth |= 0x01;
  if (cs.rx.typeCode >= 5) fourth |= 0x02;
  s.byte3 = fourth;
  s.word1 = p[3];
  s.word2 = static_cast<uint16_t>(p[4] * 2);
  s.snr1 = sc::Ldexp(p[5], -2);
  s.range1 = sc::Ldexp(static_cast<double>(bo::GetBe32(p + 6)), -7);
  if (s.svNumber >= 120 && s.svNumber <= 138) s.range1 *= 2.0;
  const int64_t phaseHigh = static_cast<int32_t>(bo::GetBe32(p + 10));
  s.phase1 = sc::Ldexp(static_cast<double>(phaseHigh * 65536 + bo::GetBe16(p + 14)), -15);
  const int32_t doppler = static_cast<int32_t>(bo::GetBe24(p + 16) << 8) >> 8;
  s.doppler1 = sc::Ldexp(doppler, -6);
  s.value5 = sc::Ldexp(static_cast<int8_t>(p[19]), -7);
  s.snr2 = 0.0;
  s.phase2 = 0.0;
  s.value2 = 0.0;
  s.spare = 0.0;
  if (s.flags & 0x01) {
    s.snr2 = sc::Ldexp(p[20], (s.flags & 0x20) ? -2 : -5);
    const int64_t high2 = static_cast<int32_t>(bo::GetBe32(p + 21));
    s.phase2 = sc::Ldexp(static_cast<double>(high2 * 65536 + bo::GetBe16(p + 25)), -15);
    if (s.flags & 0x20) s.value2 = sc::Ldexp(static_cast<int16_t>(bo::GetBe16(p + 27)), -8);
  }
}

}  // namespace

Status RawMeasurement7(ConvState& cs, const uint8_t* rec, size_t len) {
  const uint8_t datLength = Type7DatLength(len);
  if (datLength == 0) return status::kNoEtx;  // layout unknown for this length
  const uint8_t follow = rec[3];

  if (cs.enc.type7Count < kType7Slots) {
    Type7Slot& slot = cs.enc.type7[cs.enc.type7Count];
    std::memset(&slot, 0, sizeof slot);
    PutHeader(slot.header, datLength, follow, 7, false);
    fc::Cursor c(rec, 4, len - 3, slot.body, 0, sizeof slot.body);
    fc::Swap16(c, 2);
    c.WriteLe(0, 2);
    c.WriteLe(0, 2);
    fc::Fix32(c, 1, fc::kSigned, -9);
    fc::Fix32(c, 1, fc::kUnsigned, -7);
    fc::Fix32(c, 1, fc::kUnsigned, 0);
    fc::Fix16(c, 1, fc::kUnsigned, -18);
    fc::Swap64(c, 1);
    fc::Fix32(c, 1, fc::kUnsigned, 0);
    fc::Fix32(c, 1, fc::kUnsigned, -13);
    fc::Fix32(c, 1, fc::kUnsigned, -10);
    fc::Copy(c, 6);
    if (datLength >= 106) {
      fc::Fix16(c, 1, fc::kUnsigned, -18);
      fc::Fix32(c, 1, fc::kUnsigned, -10);
      fc::Fix32(c, 1, fc::kUnsigned, 0);
    }
    if (datLength == 122) {
      fc::Fix32(c, 1, fc::kUnsigned, 0);
      fc::Swap64(c, 1);
    }
    const double time = bo::GetLeDouble(slot.body + k7Time);
    const double clock = bo::GetLeDouble(slot.body + k7Clock);
    const double third = bo::GetLeDouble(slot.body + k7Third);
    if (cs.enc.type7Count == 0 ||
        (third != 0.0 && (slot.body[k7FlagByte] & 0x08) != 0)) {
      cs.enc.type7Time = time;
      cs.enc.type7Clock = clock;
    }
    ++cs.enc.type7Count;
  }
  // An entry beyond the image's slots is dropped; its epoch is still closed.
  if (follow != 0) return status::kOk;
  return WriteType7Epoch(cs);
}

Status WriteType7Epoch(ConvState& cs) {
  const double t = cs.enc.type7Time;
  UpdateEpochPair(cs, t, cs.enc.type7Clock * kClockToMs);
  WriteDueEvents(cs);
  const int n = std::min<int>(cs.enc.type7Count, kType7Slots);
  for (int i = 0; i < n; ++i) {
    const Type7Slot& slot = cs.enc.type7[i];
    const size_t bodyLen = static_cast<size_t>(slot.header[1]) - 4;
    std::memcpy(cs.enc.scratch, slot.header, 4);
    std::memcpy(cs.enc.scratch + 4, slot.body, bodyLen);
    WriteRecord(cs, cs.enc.scratch, bodyLen + 4);
    AddToSvList(cs, slot.body[k7SvNumber]);
  }
  const Status st = SequenceCheck(cs, t, 0.0);
  cs.epoch.last = t;
  std::memset(cs.enc.type7, 0, sizeof cs.enc.type7);
  cs.enc.type7Count = 0;
  WriteDeferred(cs);
  return st;
}

Status RawMeasurementBlock(ConvState& cs, uint8_t* rec, size_t len) {
  if (len < 13) return status::kNoEtx;
  const size_t end = len - 3;
  // The SV blocks must fill the record exactly; check before touching state.
  for (size_t p = 10; p < end;) {
    if (p + 2 > end) return status::kNoEtx;
    p += SvBlockSize(rec[p + 1]);
    if (p > end) return status::kNoEtx;
  }
  const bool more = (rec[3] & 0x80) != 0;
  rec[3] &= 0x7F;
  const double time = static_cast<double>(bo::GetBe32(rec + 3));
  const int32_t clockRaw = static_cast<int32_t>(bo::GetBe24(rec + 7) << 8) >> 8;
  const double clock = sc::Ldexp(clockRaw, -19);

  Status st = status::kOk;
  MeasurementImage& m = cs.enc.meas;
  if (cs.enc.measOpen && m.time != time) {
    // The open epoch never got its last block: write it before this one.
    st = WriteMeasurementEpoch(cs);
    cs.enc.measOpen = 0;
  }
  if (!cs.enc.measOpen) {
    m.svCount = 0;
    cs.enc.measOpen = 1;
  }
  m.time = time;
  m.clockTerm = clock;
  for (size_t p = 10; p < end; p += SvBlockSize(rec[p + 1])) {
    if (m.svCount >= kMeasSlots) break;  // the image is full: further SVs dropped
    ConvertSvBlock(cs, rec + p, m.sv[m.svCount]);
    ++m.svCount;
  }
  if (more) return st;
  cs.enc.measOpen = 0;
  const Status written = EncodeDatRecord(cs, 17);
  return st != status::kOk ? st : written;
}

Status RawPosition(ConvState& cs, const uint8_t* rec, size_t len) {
  if (len < 46) return status::kNoEtx;
  const size_t n = rec[2] == 10 ? 4 : rec[42];
  const size_t need = 2 * n + 46;
  const size_t datLength = 82 + 2 * n;
  if (len < need || 2 * n > kPosListBytes || datLength > 255) return status::kNoEtx;

  // Two correction bytes follow the lists when the record is longer.
  const bool corrected = len > need;
  if (corrected && len < need + 2) return status::kNoEtx;

  PositionImage& p = cs.enc.position;
  uint8_t* img = reinterpret_cast<uint8_t*>(&p);
  fc::Cursor c(rec, 3, len - 3, img, 0, offsetof(PositionImage, corrections));
  fc::Fix32(c, 1, fc::kSigned, -31);
  fc::Fix32(c, 1, fc::kSigned, -30);
  fc::Fix32(c, 1, fc::kSigned, -12);
  if (rec[2] == 10)
    fc::Fix32(c, 1, fc::kUnsigned, -13);
  else
    fc::Fix32(c, 1, fc::kSigned, -9);
  fc::Fix32(c, 1, fc::kSigned, -17);
  fc::Fix16(c, 1, fc::kUnsigned, -3);
  fc::Fix32(c, 1, fc::kSigned, -44);
  fc::Fix32(c, 1, fc::kSigned, -32);
  fc::Fix32(c, 1, fc::kSigned, -21);
  fc::Swap32(c, 1);                              // time
  fc::Copy(c, static_cast<int>(2 * n + 2));      // byte 41, count, both lists
  p.corrections[0] = 0.0;
  p.corrections[1] = 0.0;
  if (corrected) {
    p.corrections[0] = sc::Ldexp(static_cast<int8_t>(rec[2 * n + 43]), -39);
    p.corrections[1] = sc::Ldexp(static_cast<int8_t>(rec[2 * n + 44]), -38);
    p.values[0] += p.corrections[0];
    p.values[1] += p.corrections[1];
  }
  PutHeader(cs.enc.header, datLength, 0, rec[2], false);
  return EncodeDatRecord(cs, rec[2]);
}

}  // namespace enc
