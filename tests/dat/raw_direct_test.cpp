// Raw records converted straight into DAT records or into the EPH table
// and the ion/UTC block: types 3, 21, 12, 101, 15, 20, 25, 31, 102, 18, 30.
#include "dat_fixture.h"

namespace dattest {
namespace {

using tb::Fields;

std::vector<double> Doubles(int n, double start, double step) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(start + step * i);
  return v;
}

std::vector<uint8_t> Type3(uint8_t sv, const std::vector<double>& v) {
  Fields f;
  f.u8(sv);
  for (double d : v) f.f64(d);
  return f.record(3);
}

TEST_F(DatTest, FirstRecordFollowsTheOpeningRecords) {
  ASSERT_EQ(Raw(Type3(5, Doubles(25, -3.0, 1.25))), 0);
  const std::vector<uint8_t> all = File();
  ASSERT_EQ(all.size(), kOpening + 206);
  // Five placeholders (24, 98, 65, 64, 110 bytes) and the ion/UTC record.
  const uint8_t lengths[5] = {24, 98, 65, 64, 110};
  const uint8_t subtypes[5] = {0x86, 0x80, 0x81, 0x82, 0x83};
  size_t p = 0;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(all[p], 0x74);
    EXPECT_EQ(all[p + 1], lengths[i]);
    EXPECT_EQ(all[p + 2], subtypes[i]);
    EXPECT_EQ(all[p + 3], 5);
    p += lengths[i];
  }
  EXPECT_EQ(p, 361u);
  EXPECT_EQ(all[361], 0x74);
  EXPECT_EQ(all[362], 124);
  EXPECT_EQ(all[364], 15);
}

TEST_F(DatTest, Type3WritesRecordAndFillsEphemerisEntry) {
  const std::vector<double> v = Doubles(25, -3.0, 1.25);
  eph_[4 * 336 + 334] = 9;
  eph_[4 * 336 + 250] = 77;  // beyond the 25 values: untouched
  ASSERT_EQ(Raw(Type3(5, v)), 0);
  Le body;
  body.u8(5).u8(0);
  for (double d : v) body.f64(d);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].bytes, body.record(0, 3));
  const uint8_t* e = eph_ + 4 * 336;
  for (int i = 0; i < 25; ++i) EXPECT_EQ(GetF64(e + 8 * i), v[i]) << i;
  EXPECT_EQ(e[334], 0);
  EXPECT_EQ(e[335], 0);
  EXPECT_EQ(e[250], 77);
}

TEST_F(DatTest, EphemerisKeptOnceTheSvHasMeasurements) {
  ASSERT_EQ(Raw(Type3(5, Doubles(25, 1.0, 1.0))), 0);
  // A measurement record for SV 5 counts one record for it.
  Fields m;
  m.u32(1000).u24(0).u8(5).u8(0).u8(0).u8(0).u8(0).u8(0).u32(0).u48(0).u24(0).u8(0);
  ASSERT_EQ(Raw(m.record(17)), 0);
  ASSERT_EQ(cs_.writer.svRecordCount[5], 1u);
  ASSERT_EQ(Raw(Type3(5, Doubles(25, 100.0, 1.0))), 0);
  EXPECT_EQ(GetF64(eph_ + 4 * 336), 1.0);  // first ephemeris stays
  // Another SV without measurements takes every new ephemeris.
  ASSERT_EQ(Raw(Type3(6, Doubles(25, 1.0, 1.0))), 0);
  ASSERT_EQ(Raw(Type3(6, Doubles(25, 50.0, 1.0))), 0);
  EXPECT_EQ(GetF64(eph_ + 5 * 336), 50.0);
  EXPECT_EQ(Records().size(), 5u);  // every ephemeris record is written
}

TEST_F(DatTest, EphemerisSvOutsideTableIsWrittenButNotStored) {
  std::vector<uint8_t> before(eph_, eph_ + sizeof eph_);
  for (uint8_t sv : {0, 33, 200}) ASSERT_EQ(Raw(Type3(sv, Doubles(25, 1.0, 1.0))), 0);
  EXPECT_EQ(std::vector<uint8_t>(eph_, eph_ + sizeof eph_), before);
  EXPECT_EQ(Records().size(), 3u);
}

TEST_F(DatTest, Type21WritesRecordAndFillsEphemerisSlots) {
  const std::vector<double> d = Doubles(19, 0.5, 1.0);
  const uint32_t w = (5u << 16) | (1u << 15) | (0xAu << 11) | (1u << 10) | (0x2Bu << 4) | 0x3u;
  Fields f;
  f.u8(7).u16(0xFFFD).u16(1000).u8(9).u8(200);
  f.u32(static_cast<uint32_t>(-100000)).u32(7).u32(0xFFFFFFFF);
  for (double v : d) f.f64(v);
  f.u32(w);
  for (int i = 1; i <= 10; ++i) f.u8(i);
  eph_[6 * 336 + 30 * 8] = 0x42;  // value 30: untouched
  ASSERT_EQ(Raw(f.record(21)), 0);

  Le body;
  body.u8(7).u8(0).u16(0xFFFD).u16(1000).u8(9).u8(200);
  body.u32(static_cast<uint32_t>(-100000)).u32(7).u32(0xFFFFFFFF);
  for (double v : d) body.f64(v);
  body.u32(w);
  for (int i = 1; i <= 10; ++i) body.u8(i);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].bytes, body.record(0, 21));

  const uint8_t* e = eph_ + 6 * 336;
  const std::vector<std::pair<int, double>> slots = {
      {0, -3.0}, {3, 1000.0}, {8, 200.0}, {1, -100000.0}, {4, 7.0}, {16, -1.0}, {2, d[0]},
      {5, d[1]}, {7, d[3]}, {9, d[4]}, {15, d[10]}, {17, d[11]}, {24, d[18]}};
  for (const auto& [slot, value] : slots) EXPECT_EQ(GetF64(e + 8 * slot), value) << slot;
  EXPECT_EQ(e[320], 3);
  EXPECT_EQ(e[321], 0xA);
  EXPECT_EQ(e[322], 1);
  EXPECT_EQ(e[323], 1);
  EXPECT_EQ(e[324], 0x2B);
  EXPECT_EQ(e[325], 5);
  EXPECT_EQ(e[326], 0);
  EXPECT_EQ(e[328] | (e[329] << 8) | (e[330] << 16) | (static_cast<uint32_t>(e[331]) << 24), w);
  EXPECT_EQ(e[334], 255);
  EXPECT_EQ(e[335], 255);
  EXPECT_EQ(e[30 * 8], 0x42);
}

TEST_F(DatTest, Type101DirectConversion) {
  Fields f;
  f.u32(123456).f64(1.5).f64(-2.5).f64(1e9).f64(0.125).u8(0xAB).u8(0xCD);
  ASSERT_EQ(Raw(f.record(101)), 0);
  Le body;
  body.f64(123456.0).f64(1.5).f64(-2.5).f64(1e9).f64(0.125).u8(0xAB).u8(0xCD);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].bytes, body.record(0, 101));
  EXPECT_EQ(recs[0].size(), 46u);
}

std::vector<uint8_t> Type12(uint16_t week) {
  Fields f;
  f.u8(3).u8(1).u16(0x1234).u16(0x5678).u8(29);
  for (int i = 0; i < 7; ++i) f.u8(0x10 + i);
  f.u16(week).u32(5000).f64(1.0).f64(2.0).f64(3.0).f64(4.0).u32(0x00400000);
  f.u16(0xF800).u16(1024).u16(1).u16(0x8000);
  return f.record(12);
}

TEST_F(DatTest, Type12DirectConversionSetsTypeCodeAndWeekOnce) {
  cs_.rx.typeCode = 3;
  ASSERT_EQ(Raw(Type12(1500)), 0);
  Le body;
  body.u8(3).u8(1).u16(0x1234).u16(0x5678).u8(29);
  for (int i = 0; i < 7; ++i) body.u8(0x10 + i);
  body.u16(1500).f64(5000.0).f64(1.0).f64(2.0).f64(3.0).f64(4.0).f64(1.0);
  body.f64(-1.0).f64(std::ldexp(1024.0, -21)).f64(std::ldexp(1.0, -11)).f64(std::ldexp(-32768.0, -21));
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].size(), 68u + 16u * 2u);
  EXPECT_EQ(recs[0].bytes, body.record(0, 12, true));
  EXPECT_EQ(cs_.rx.typeCode, 29);
  EXPECT_EQ(cs_.epoch.dataWeek, 1500);
  ASSERT_EQ(Raw(Type12(1600)), 0);
  EXPECT_EQ(cs_.epoch.dataWeek, 1500);
}

std::vector<uint8_t> Type15(uint32_t value14, double first) {
  Fields f;
  for (int i = 0; i < 11; ++i) f.f64(first + i);
  f.u16(0xFFFB).u16(7).u32(value14);
  for (int i = 0; i < 8; ++i) f.u8(0xA0 + i);
  return f.record(15);
}

std::vector<uint8_t> IonRecord(uint32_t value14, double first) {
  Le b;
  for (int i = 0; i < 11; ++i) b.f64(first + i);
  b.f64(-5.0).f64(7.0).f64(value14);
  for (int i = 0; i < 8; ++i) b.u8(0xA0 + i);
  return b.record(0, 15);
}

TEST_F(DatTest, IonUtcRewritesOpeningRecordThenAppends) {
  ASSERT_EQ(Raw(Type15(0, 1.0)), 0);  // 14th value 0: not written anywhere
  std::vector<uint8_t> all = File();
  ASSERT_EQ(all.size(), kOpening);
  EXPECT_EQ(std::vector<uint8_t>(all.begin() + 365, all.end()), std::vector<uint8_t>(120, 0));
  EXPECT_EQ(GetF64(ion_), 1.0);  // the block itself is filled

  ASSERT_EQ(Raw(Type15(9, 2.0)), 0);
  all = File();
  ASSERT_EQ(all.size(), kOpening);
  EXPECT_EQ(std::vector<uint8_t>(all.begin() + 361, all.end()), IonRecord(9, 2.0));

  ASSERT_EQ(Raw(Type15(11, 3.0)), 0);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].bytes, IonRecord(11, 3.0));
  all = File();
  EXPECT_EQ(std::vector<uint8_t>(all.begin() + 361, all.begin() + 485), IonRecord(9, 2.0));
}

TEST_F(DatTest, Type20BySubtype) {
  Fields a;
  a.u8(0).u32(1000).u16(1).u16(2).u16(3).u16(4).u32(0xDEADBEEF);
  Fields b;
  b.u8(1).u32(7).text("ABC");
  Fields c;
  c.u8(2).u32(7).u16(1);
  ASSERT_EQ(Raw(a.record(20)), 0);
  ASSERT_EQ(Raw(b.record(20)), 0);
  ASSERT_EQ(Raw(c.record(20)), 0);  // no layout for subtype 2: not written
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].bytes, Le().f64(1000).u16(1).u16(2).u16(3).u16(4).u32(0xDEADBEEF).record(0, 20));
  EXPECT_EQ(recs[0].size(), 24u);
  EXPECT_EQ(recs[1].bytes, Le().f64(7).u8('A').u8('B').u8('C').u8(0).record(1, 20));
  EXPECT_EQ(recs[1].size(), 3u + 13u);
}

TEST_F(DatTest, Type25BySubtypeAndMask) {
  Fields page;
  page.u8(0).u32(604000).u16(1500).u8(4);
  for (int i = 0; i < 28; ++i) page.u8(i);
  Fields table;
  table.u8(1).u8(9).u8(6);
  for (int i = 0; i < 14; ++i) table.u32(0x01000000u + i);
  table.u8(0x5A);
  Fields other;
  other.u8(3).u32(1);
  ASSERT_EQ(Raw(page.record(25)), 0);
  ASSERT_EQ(Raw(table.record(25)), 0);
  ASSERT_EQ(Raw(other.record(25)), 0);
  cs_.exclusionMask = 0x1;
  ASSERT_EQ(Raw(page.record(25)), 0);

  Le p;
  p.u32(604000).u16(1500).u8(4);
  for (int i = 0; i < 28; ++i) p.u8(i);
  Le t;
  t.u8(9).u8(6);
  for (int i = 0; i < 14; ++i) t.u32(0x01000000u + i);
  t.u8(0x5A);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].bytes, p.record(0, 25));
  EXPECT_EQ(recs[0].size(), 39u);
  EXPECT_EQ(recs[1].bytes, t.record(1, 25));
  EXPECT_EQ(recs[1].size(), table.record(25).size() - 3);
}

TEST_F(DatTest, Type31WrittenUnlessMasked) {
  Fields f;
  f.u16(300).u8(1).u8(3).u8(0x11).u8(0x22).u8(0x33);
  ASSERT_EQ(Raw(f.record(31)), 0);
  cs_.exclusionMask = 0x4;
  ASSERT_EQ(Raw(f.record(31)), 0);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].bytes, Le().u16(300).u8(1).u8(3).u8(0x11).u8(0x22).u8(0x33).record(0, 31));
}

TEST_F(DatTest, Type102CollectsBlocksUntilTheLast) {
  Fields a;
  a.u32(0x80000000u | 5000).u24(0xF80000);  // more blocks follow; clock -1
  a.u8(1).u8(2).f64(1.0).f64(2.0).f64(3.0).f64(4.0);
  Fields b;
  b.u32(5000).u24(0x040000);  // clock 0.5
  b.u8(3).u8(4).f64(5.0).f64(6.0).f64(7.0).f64(8.0);
  b.u8(5).u8(6).f64(9.0).f64(10.0).f64(11.0).f64(12.0);
  ASSERT_EQ(Raw(a.record(102)), 0);
  EXPECT_TRUE(Records().empty());
  ASSERT_EQ(Raw(b.record(102)), 0);
  Le body;
  body.f64(5000.0).f64(0.5).u8(3);
  for (int e = 0; e < 3; ++e) {
    body.u8(1 + 2 * e).u8(2 + 2 * e);
    for (int i = 0; i < 4; ++i) body.f64(1.0 + 4 * e + i);
  }
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].size(), 21u + 3u * 34u);
  EXPECT_EQ(recs[0].bytes, body.record(0, 102, true));
}

TEST_F(DatTest, RecordsThatWriteNothing) {
  Fields logst;
  logst.u8(0).u8(0);
  EXPECT_EQ(Raw(logst.record(18)), status::kUnexpectedLogst);
  cs_.enc.compactSeen = 1;
  cs_.rx.compactMode = 1;
  Fields info;
  info.u8(0).u8(1).u8(2);
  EXPECT_EQ(Raw(info.record(30)), 0);
  EXPECT_EQ(cs_.enc.compactSeen, 0);
  EXPECT_EQ(cs_.rx.compactMode, 0);
  EXPECT_EQ(Raw(Fields().u8(1).u8(2).record(90)), 0);
  EXPECT_EQ(File().size(), kOpening);
}

TEST_F(DatTest, PerInputResetClearsCompactFlag) {
  cs_.enc.compactSeen = 1;
  ResetRawConverterForInput(cs_);
  EXPECT_EQ(cs_.enc.compactSeen, 0);
}

}  // namespace
}  // namespace dattest
