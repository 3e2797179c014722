// Raw measurement records (types 7, 17/117) and positions (10, 11): field
// scalings, epochs spanning records, duplicate epochs and sequence checks.
#include "dat_fixture.h"

namespace dattest {
namespace {

struct RawSv {
  uint8_t sv, flags, status, w1, w2, snr;
  uint32_t range;
  int64_t phase;
  int32_t doppler;
  int8_t v5;
  uint8_t snr2;  // second-frequency values: flags bit 0; v8 also needs bit 5
  int64_t phase2;
  int16_t v8;
};

void AddSv(Fields& f, const RawSv& s) {
  f.u8(s.sv).u8(s.flags).u8(s.status).u8(s.w1).u8(s.w2).u8(s.snr).u32(s.range);
  f.u48(static_cast<uint64_t>(s.phase) & 0xFFFFFFFFFFFFull).u24(static_cast<uint32_t>(s.doppler) & 0xFFFFFF);
  f.u8(static_cast<uint8_t>(s.v5));
  if (s.flags & 1) {
    f.u8(s.snr2).u48(static_cast<uint64_t>(s.phase2) & 0xFFFFFFFFFFFFull);
    if (s.flags & 0x20) f.u16(static_cast<uint16_t>(s.v8));
  }
}

Bytes Block17(uint32_t time, bool more, int32_t clock, const std::vector<RawSv>& svs) {
  Fields f;
  f.u32(time | (more ? 0x80000000u : 0u)).u24(static_cast<uint32_t>(clock) & 0xFFFFFF);
  for (const RawSv& s : svs) AddSv(f, s);
  return f.record(17);
}

// The DAT SV block from the raw values and their scalings.
void ExpectSv(Le& o, const RawSv& s, uint8_t fourth) {
  o.u8(s.sv).u8(s.flags).u8(s.status).u8(fourth).u16(s.w1).u16(2 * s.w2);
  const double range = std::ldexp(static_cast<double>(s.range), -7) * ((s.sv >= 120 && s.sv <= 138) ? 2 : 1);
  o.f64(s.snr / 4.0).f64(range).f64(std::ldexp(static_cast<double>(s.phase), -15));
  o.f64(std::ldexp(s.doppler, -6)).f64(std::ldexp(s.v5, -7));
  if (s.flags & 1) {
    o.f64(std::ldexp(s.snr2, (s.flags & 0x20) ? -2 : -5));
    o.f64(std::ldexp(static_cast<double>(s.phase2), -15));
    o.f64((s.flags & 0x20) ? std::ldexp(s.v8, -8) : 0.0);
  }
}

const RawSv kSvA{3, 0x00, 7, 10, 20, 180, 2600000000u, -123456789012LL, -5000, -64, 0, 0, 0};
const RawSv kSvB{12, 0x10, 1, 0, 255, 1, 1, 1, 1, 127, 0, 0, 0};
const RawSv kSvC{25, 0x21, 2, 3, 4, 100, 3000, 99999, 8388607, 1, 160, -7, -300};
const RawSv kSvD{125, 0x01, 0, 0, 0, 4, 12800, 0, -8388608, 0, 64, 5, 0};

TEST_F(DatTest, Type17EpochOverThreeRecordsAndOpenEpochClosedByALaterOne) {
  cs.rx.typeCode = 5;
  RawOk({Block17(345000, true, 131072, {kSvA, kSvB}), Block17(345000, true, 131072, {kSvC})});
  EXPECT_TRUE(Records().empty());
  ASSERT_EQ(Raw(Block17(345000, false, 131072, {kSvD})), 0);
  Le body;
  body.f64(345000.0).f64(0.25).u8(4);
  for (const RawSv& s : {kSvA, kSvB, kSvC, kSvD}) ExpectSv(body, s, 0x03);
  ASSERT_EQ(Records(), std::vector<Bytes>{body.record(0, 17, true)});
  EXPECT_EQ(Records()[0].size(), 21u + 4 * 48 + 2 * 24);
  EXPECT_EQ(cs.writer.svRecordCount[25], 1u);
  // The last block of 346000 never comes: written when 347000 begins.
  RawOk({Block17(346000, true, 0, {kSvA}), Block17(347000, false, 0, {kSvB})});
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(F64(recs[1].data() + 4), 346000.0);
  EXPECT_EQ(recs[1][20], 1);
  EXPECT_EQ(F64(recs[2].data() + 4), 347000.0);
}

TEST_F(DatTest, FourthByteFollowsReceiverTypeAndFirmware) {
  struct Case { uint8_t type; uint16_t fw; uint8_t fourth; };
  const Case cases[] = {{3, 549, 0x00}, {3, 550, 0x01}, {4, 0, 0x01}, {5, 0, 0x03}, {29, 900, 0x03}};
  uint32_t t = 1000;
  for (const Case& c : cases) {
    cs.rx.typeCode = c.type;
    cs.rx.firmwareVersion = c.fw;
    ASSERT_EQ(Raw(Block17(t += 1000, false, 0, {kSvA})), 0);
    EXPECT_EQ(Records().back()[21 + 3], c.fourth) << int(c.type) << " " << c.fw;
  }
}

// A type-117 epoch (13 SVs with second-frequency values: 13 + 13 x 29 = 390
// bytes) is written as type 17; a repeated epoch writes nothing, not even the
// event queued before it, which waits for a written epoch.
TEST_F(DatTest, Type117LongEpochAndDuplicateEpoch) {
  Fields f;
  f.u32(7000).u24(0);
  for (int i = 0; i < 13; ++i) AddSv(f, kSvC);
  const Bytes rec = rawrec::BuildRecord(117, f.data());
  ASSERT_EQ(rec[1], 390 - 256);
  RawOk({rec, Fields().u8(2).u16(1).u32(6000).record(19), Block17(7000, false, 0, {kSvB})});
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0][3], 17);
  EXPECT_EQ(recs[0].size(), 21u + 13 * 72);
  EXPECT_EQ(cs.enc.events.size(), 1u);
}

// A type-7 entry and its DAT record; extra 1 and 2 give the raw lengths 61 and 73.
struct Entry7 { Bytes raw, dat; };
Entry7 Type7(uint8_t follow, uint32_t time, int32_t clock, uint32_t third, uint8_t flag, uint8_t sv, int extra = 0) {
  Fields f;
  Le b;
  f.u8(follow).u16(0x0102).u16(0x0304).u32(static_cast<uint32_t>(clock)).u32(1280).u32(third);
  f.u16(0x8000).f64(2.5).u32(time).u32(8192).u32(2048).u8(1).u8(2).u8(3).u8(4).u8(flag).u8(sv);
  b.u16(0x0102).u16(0x0304).u16(0).u16(0).f64(std::ldexp(clock, -9)).f64(1280 / 128.0).f64(third);
  b.f64(std::ldexp(32768.0, -18)).f64(2.5).f64(time).f64(8192 / 8192.0).f64(2048 / 1024.0);
  b.u8(1).u8(2).u8(3).u8(4).u8(flag).u8(sv);
  if (extra >= 1) f.u16(0x4000).u32(1024).u32(77), b.f64(std::ldexp(16384.0, -18)).f64(1024 / 1024.0).f64(77.0);
  if (extra >= 2) f.u32(88).f64(-4.5), b.f64(88.0).f64(-4.5);
  return {f.record(7), b.record(follow, 7)};
}

// The epoch time and clock come from the first entry, or from a later one
// whose third value is not 0 and whose flag byte has bit 3 set.
TEST_F(DatTest, Type7EntriesWrittenWhenTheLastArrives) {
  const Entry7 entries[] = {Type7(3, 9000, 512, 0, 0x00, 4), Type7(2, 9100, 1024, 5, 0x08, 5, 1),
                            Type7(1, 9200, 1536, 3, 0x00, 6, 2), Type7(0, 9300, 2048, 0, 0x08, 7)};
  ASSERT_EQ(entries[0].raw.size(), 51u);
  std::vector<Bytes> expected;
  for (const Entry7& e : entries) {
    EXPECT_TRUE(Records().empty());
    ASSERT_EQ(Raw(e.raw), 0);
    expected.push_back(e.dat);
  }
  EXPECT_EQ(Records(), expected);
  EXPECT_EQ(expected[0].size(), 82u);
  for (int sv : {4, 5, 6, 7}) EXPECT_EQ(cs.writer.svRecordCount[sv], 1u);
  EXPECT_EQ(cs.epoch.last, 9100.0);
  EXPECT_EQ(cs.enc.pair.curClock, 2 * 3.335640952e-6);  // 1024 x 2^-9 = 2 units
}

TEST(MeasurementSequence, BackwardToleranceAndHalfWeek) {
  struct Case { bool type7; uint32_t first, second; Status st; } cases[] = {
      {false, 100000, 85000, 0},  // 15,000 ms back: tolerated
      {false, 100000, 84999, status::kOutOfSequence},
      {false, 302500000, 100000, 0},  // 302,400,000 back: week rollover
      {false, 302499999, 100000, status::kOutOfSequence},
      {false, 100000, 302500000, 0},  // exactly half a week forward
      {false, 100000, 302500001, status::kOutOfSequence},
      {true, 100000, 99999, status::kOutOfSequence},  // type 7: no backward tolerance
      {true, 100000, 99999 + 302400000, 0},
  };
  for (const Case& c : cases) {
    DatSink s;
    auto meas = [&](uint32_t t) { return c.type7 ? Type7(0, t, 0, 0, 0, 1).raw : Block17(t, false, 0, {kSvA}); };
    ASSERT_EQ(s.Raw(meas(c.first)), 0);
    EXPECT_EQ(s.Raw(meas(c.second)), c.st) << c.first << " -> " << c.second;
    EXPECT_EQ(s.cs.epoch.last, static_cast<double>(c.second));
    EXPECT_EQ(s.cs.epoch.first, static_cast<double>(c.first));
    EXPECT_EQ(s.Records().size(), 2u);  // the record stays written
  }
}

Bytes Position(uint8_t type, uint8_t n, bool corrections) {
  Fields f;
  f.u32(0x40000000).u32(0xC0000000).u32(4096).u32(0xFFFFFE00).u32(131072).u16(80);
  f.u32(1).u32(0xFFFFFFFF).u32(2097152).u32(604799000).u8(0x42).u8(n);
  for (int i = 0; i < 2 * (type == 10 ? 4 : n); ++i) f.u8(i + 1);
  if (corrections) f.u8(0x80).u8(0x7F);
  return f.record(type);
}

TEST_F(DatTest, PositionsType11WithSixSatellitesAndCorrectionsAndType10) {
  ASSERT_EQ(Position(11, 6, true).size(), 2u * 6 + 48);
  ASSERT_EQ(Raw(Position(11, 6, true)), 0);
  Le b;
  b.f64(std::ldexp(double(0x40000000), -31) + std::ldexp(-128.0, -39));
  b.f64(std::ldexp(-1073741824.0, -30) + std::ldexp(127.0, -38));
  b.f64(4096 / 4096.0).f64(std::ldexp(-512.0, -9)).f64(131072 / 131072.0).f64(80 / 8.0);
  b.f64(std::ldexp(1.0, -44)).f64(std::ldexp(-1.0, -32)).f64(2097152 / 2097152.0);
  b.u32(604799000).u8(0x42).u8(6);
  for (int i = 0; i < 12; ++i) b.u8(i + 1);
  ASSERT_EQ(Raw(Position(10, 9, false)), 0);  // four entries, unsigned fourth value, no corrections
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0], b.record(0, 11));
  EXPECT_EQ(recs[0].size(), 94u);
  EXPECT_EQ(recs[1].size(), 90u);
  EXPECT_EQ(F64(recs[1].data() + 4), 0.5);
  EXPECT_EQ(F64(recs[1].data() + 4 + 24), std::ldexp(double(0xFFFFFE00u), -13));
  EXPECT_EQ(recs[1][4 + 77], 9);  // the count byte is copied as it is
}

}  // namespace
}  // namespace dattest
