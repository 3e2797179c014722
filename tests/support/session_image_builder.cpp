#include "support/session_image_builder.h"

#include <algorithm>
#include <cmath>

namespace tb {
namespace session {

std::vector<uint8_t> AppFile() {
  Fields f;
  f.u8(0xA1).u8(0xA2).u8(0xA3).u8(0xA4);
  f.u8(0x10).u8(100);
  for (int i = 0; i < 100; ++i) f.u8((i * 7) & 0xFF);
  f.u8(0x20).u8(100);
  for (int i = 0; i < 100; ++i) f.u8(i * 3 + 1);
  f.u8(0x30).u8(50);
  for (int i = 0; i < 50; ++i) f.u8(200 - i);
  return f.data();
}

}  // namespace session

namespace {

using namespace session;

std::vector<uint8_t> ReceiverInfo(const SessionParams& p) {
  Fields f;
  f.u8(1).u8(6);
  f.u8(8).u32(kInfoSerial).u16(0x0100 | p.typeCode).u8(0xAA).u8(0xBB);      // item 1
  f.u8(static_cast<uint32_t>(p.serialText.size())).text(p.serialText);        // item 2
  f.u8(2).u8(0x01).u8(0x02);                                                  // item 3
  f.u8(8).u16(p.firmware).u16(2).u16(3).u8(0xCC).u8(0xDD);                    // item 4
  f.u8(0);                                                                    // item 5
  f.u8(6).u32(kInfoAntenna).u16(0x0506);                                      // item 6
  return f.record(30);
}

// A counter or count field: 16-bit in the narrow record types, else 32-bit.
void Count(Fields& f, const SessionParams& p, uint32_t v) { p.narrow ? f.u16(v) : f.u32(v); }

std::vector<uint8_t> SessionHeader(const SessionParams& p) {
  Fields f;
  f.u8(2);  // k: per-SV entries 0..2
  f.f64(kRefLat).f64(kRefLon).f64(kRefHeight).f64(kAntennaHeight);
  f.u8(kA1).u8(kL2Flag).u8(kTestMode).u8(kRefKind).u8(kScheduleSpecified).u8(kElevationMask)
      .u8(kMinSvs).u8(kSvSelection).u8(0x21).u8(0x22).u8(0x23);
  f.u8(kA4).u8(kAntennaInField).u8(kAntennaHeightUnit).u8(kLoggingSpecified).u8(kPositionOnly)
      .u8(kEveryCycle).u8(0x31).u8(0x32).u8(0x33);
  f.u16(kScheduleStart).u16(kScheduleStop).u16(kLoggingStart).u16(kLoggingStop);
  for (int c = 0; c < 4; ++c)
    for (int e = 0; e < 3; ++e) Count(f, p, 10 * c + e + 1);  // C1..C4
  f.u16(kSyncRate).u32(777).u32(4444);  // antenna and receiver serials
  f.u16(kDataNav).u16(kDataSig);
  return f.record(p.narrow ? 4 : 22);
}

std::vector<uint8_t> SessionValues(const SessionParams& p) {
  Fields f;
  f.u8(0).u8(0).u8(2);  // first entry 0, last entry 2
  f.u8(0x24).u8(0x25).u8(0x26).u8(0x34).u8(0x35).u8(0x36);
  for (int c = 0; c < 4; ++c)
    for (int e = 0; e < 3; ++e) Count(f, p, 100 * c + e);
  // Header station name: length byte n, then n + 1 bytes.
  const uint32_t n = static_cast<uint32_t>(p.headerName.size());
  if (p.headerNameTerminated || n == 0)
    f.u8(n).text(p.headerName).u8(0);
  else
    f.u8(n - 1).text(p.headerName);
  f.u8(kA5).u32(static_cast<uint32_t>(kD1Raw)).text(kT1);
  f.u32(kW1).u32(kW2).u32(kW3).u8(kA6).u8(kA7).u8(kA8).u8(kA9);
  f.u32(kW4).u8(kA10).u8(kA11).u16(static_cast<uint16_t>(kD2Raw)).u16(kH1);
  return f.record(p.narrow ? 13 : 23);
}

std::vector<uint8_t> AppBlock(size_t declared, bool more, const std::vector<uint8_t>& payload) {
  return Fields().u16(static_cast<uint32_t>(declared)).u8(more ? 1 : 0)
      .u8(static_cast<uint32_t>(payload.size())).bytes(payload).record(31);
}

// One raw type-17 block: time (bit 7 of its first byte: more blocks follow),
// clock term, and a 20-byte block per SV.
std::vector<uint8_t> Measurements(uint32_t time, bool more, const std::vector<uint8_t>& svs) {
  Fields f;
  f.u32(time | (more ? 0x80000000u : 0u)).u24(0x000400);
  for (uint8_t sv : svs)
    f.u8(sv).u8(0).u8(0).u8(10).u8(20).u8(40).u32(1000u * sv).u48(5000).u24(7).u8(3);
  return f.record(17);
}

}  // namespace

RawImage SessionImage(const SessionParams& params) {
  RawImage img;
  img.receiverCode = 0x0105;  // type code 5 in the low byte
  img.navVersion = 550;
  img.sigVersion = 120;
  for (int prn = 0; prn < 32; ++prn) {
    for (int v = 0; v < 40; ++v) img.eph[prn][v] = prn + v / 64.0;
    for (int b = 0; b < 13; ++b) img.ephTail[prn][b] = static_cast<uint8_t>(0x40 + b);
  }
  for (int v = 0; v < 14; ++v) img.ion[v] = std::ldexp(v + 0.5, v - 8);
  for (int b = 0; b < 5; ++b) img.ionTail[b] = static_cast<uint8_t>(0xA0 + b);

  auto& r = img.records;
  r.push_back(Fields().u8(0).u8(0).record(30));  // subtype 0: not written
  Fields t12;
  t12.u8(1).u8(0x07).u16(0x0102).u16(0x0304).u8(params.typeCode);
  for (int i = 0; i < 7; ++i) t12.u8(0x70 + i);
  r.push_back(t12.u16(1500).u32(86400).f64(1.5).f64(-2.5).f64(3.25).f64(4.0).u32(1u << 22).record(12));
  r.push_back(ReceiverInfo(params));
  r.push_back(Fields().u8(3).text(params.longNameText).record(16));
  r.push_back(Fields().u8(27).text("ANTSER: 12345").record(16));
  r.push_back(Fields().u8(6).text("NOT WRITTEN").record(16));
  r.push_back(SessionHeader(params));
  r.push_back(SessionValues(params));
  Fields eph;
  eph.u8(kEphSv);
  for (int i = 0; i < 25; ++i) eph.f64(EphValue(i));
  r.push_back(eph.record(3));
  Fields ion;
  for (int i = 0; i < 11; ++i) ion.f64(IonValue(i));
  ion.u16(static_cast<uint16_t>(kIonShort[0])).u16(static_cast<uint16_t>(kIonShort[1])).u32(kIonLong);
  for (uint8_t b : kIonTail) ion.u8(b);
  r.push_back(ion.record(15));
  r.push_back(AppBlock(10, false, std::vector<uint8_t>(10, 0xEE)));
  const std::vector<uint8_t> app = AppFile();
  for (size_t at : {0u, 100u, 200u}) {
    const size_t end = std::min<size_t>(at + 100, app.size());
    r.push_back(AppBlock(app.size(), end < app.size(),
                         std::vector<uint8_t>(app.begin() + at, app.begin() + end)));
  }
  r.push_back(Measurements(kEpochs[0], true, {1, 2}));
  r.push_back(Measurements(kEpochs[0], false, {3}));
  r.push_back(Measurements(kEpochs[1], false, {1, 2, 3, 4}));
  // Tracking table (type 14): index, then continuous L1, total L1,
  // continuous L2, total L2, session and word 5.
  auto track = [&r](int index, std::vector<uint32_t> w) {
    Fields f;
    f.u8(0).u8(index);
    for (uint32_t v : w) f.u32(v);
    r.push_back(f.record(14));
  };
  track(1, {100, 120, 90, 110, 1, 7});  // SV 1, first session
  track(2, {10, 20, 30, 40, 1, 0});     // SV 2, replaced below (same session)
  track(4, {0, 0, 33, 50, 1, 0});       // SV 4: L2 only
  for (uint32_t s : {2, 3, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 17, 18, 19, 20, 21, 22, 24, 25, 27, 31})
    track(s, {100 + s, 200 + 3 * s, 50 + s, 150 + 2 * s, 1, 0});
  track(1, {150, 160, 80, 100, 2, 3});  // SV 1, second session
  r.push_back(Measurements(kEpochs[2], false, {1}));
  Fields pos;
  for (int i = 0; i < 12; ++i) pos.f64(i == 3 ? params.pdop3d : i == 6 ? params.pdop2d : kPositions[i]);
  Count(pos, params, kW5);
  Count(pos, params, kW6);
  r.push_back(pos.record(params.narrow ? 5 : 24));
  return img;
}

}  // namespace tb
