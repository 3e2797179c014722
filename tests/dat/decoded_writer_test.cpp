// WriteDecodedRecord: decoded structures of the K01 library written as DAT
// records, lengths recomputed from what is written, array bounds and the
// exclusion mask.
#include "dat_fixture.h"
#include "k01lib/decoded_types.h"

namespace dattest {
namespace {

class DecodedTest : public DatTest {
 protected:
  template <typename T>
  Status Decoded(uint8_t type, const T& s, uint8_t byte2 = 0) {
    const uint8_t header[4] = {0x74, 0, byte2, type};  // length bytes deliberately wrong
    return WriteDecodedRecord(cs, f, type, header, &s);
  }
};

// SVs 1..n; odd slots (SVs 2, 4, ...) carry second-frequency values.
k01_meas17_t Meas17(double time, int n) {
  k01_meas17_t m{};
  m.time = time;
  m.clockTerm = -0.5;
  m.svCount = static_cast<uint8_t>(n);
  for (int i = 0; i < k01_meas17_t::kSvSlots; ++i)
    m.sv[i] = {static_cast<uint8_t>(i + 1), static_cast<uint8_t>((i % 2) ? 0x01 : 0x10), 2, 3, 10, 20,
               45.0, 2.1e7, -1.5, 300.0, 0.0, 30.0, 7.25, -0.5, 99.0};
  return m;
}

// Counts beyond the arrays are bounded, lengths follow what is written. (The
// type-17 and type-11 body writers are checked byte for byte with the raw records.)
TEST_F(DecodedTest, MeasurementsAndPositionWithBoundedCounts) {
  k01_pos11_t p{0.25, -0.5, 100.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 345600000, 7, 3, {}};
  for (int i = 0; i < 64; ++i) p.lists[i] = static_cast<uint8_t>(i + 1);
  for (Status st : {Decoded(17, Meas17(1000.0, 3)), Decoded(17, Meas17(2000.0, 200)), Decoded(11, p)}) EXPECT_EQ(st, 0);
  p.count = 100;
  ASSERT_EQ(Decoded(11, p), 0);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[0].size(), 21u + 3 * 48 + 24);  // 24 more with flags bit 0; the spare is not written
  EXPECT_EQ(Bytes(recs[0].begin() + 4, recs[0].begin() + 21), Le().f64(1000.0).f64(-0.5).u8(3).data());
  EXPECT_EQ(F64(recs[0].data() + 21 + 2 * 48), 30.0);  // SV 2's second frequency, before SV 3
  EXPECT_EQ(recs[1][20], 24);  // 200 SVs: the 24 slots
  EXPECT_EQ(recs[1].size(), 21u + 12 * 48 + 12 * 72);
  EXPECT_EQ(cs.writer.svRecordCount[2], 2u);
  Le b;
  b.f64(0.25).f64(-0.5).f64(100.0).f64(1.0).f64(2.0).f64(3.0).f64(4.0).f64(5.0).f64(6.0).u32(345600000).u8(7).u8(3);
  for (int i = 0; i < 6; ++i) b.u8(i + 1);
  EXPECT_EQ(recs[2], b.record(0, 11));
  EXPECT_EQ(recs[3].size(), 82u + 64);  // 100 entries: the 32 pairs
  EXPECT_EQ(recs[3][4 + 77], 32);
}

TEST_F(DecodedTest, ExpandedMeasurementsFollowTheirFlags) {
  k01_meas27_t m{};
  m.fixedSize = 22; m.week = 1500; m.time = 5000.0; m.clockOffset = 0.5f; m.svCount = 1;
  m.flags = 0x32; m.clockValue2 = 1.5f; m.byteF4 = 9;  // bits 1, 4, 5: all optional parts
  m.extSize = 21; m.extCode = 4; m.extCount = 2;
  m.extCodes[0] = 1; m.extCodes[1] = 2; m.extValues[0] = 0.125; m.extValues[1] = -8.0;
  k01_sv27_t& sv = m.sv[0];
  sv.size = 10; sv.svNumber = 5; sv.system = 2; sv.channel = 0xFE; sv.signalCount = 2;
  sv.wordA = 300; sv.wordB = 400; sv.byteQ = 4;
  for (int g = 0; g < 2; ++g) {
    k01_signal27_t& s = sv.signal[g];
    s.size = g ? 28 : 27; s.band = static_cast<uint8_t>(g); s.signalType = 3; s.snr = 455;
    s.range = 2.2e7 + g; s.phase = -3.5; s.doppler = 120.25f; s.status = 1;
    s.flagsG = g ? 0x84 : 0x04; s.flagsH = 1;  // the last byte only with G bit 7
  }
  ASSERT_EQ(Decoded(27, m), 0);
  Le b;
  b.u8(22).u16(1500).f64(5000.0).f32(0.5f).u8(1).u8(0x32).f32(1.5f).u8(9);
  b.u8(21).u8(4).u8(2).u8(1).f64(0.125).u8(2).f64(-8.0);
  b.u8(10).u8(5).u8(2).u8(0xFE).u8(2).u16(300).u16(400).u8(4);
  b.u8(27).u8(0).u8(3).u16(455).f64(2.2e7).f64(-3.5).f32(120.25f).u8(1).u8(0x04);
  b.u8(28).u8(1).u8(3).u16(455).f64(2.2e7 + 1).f64(-3.5).f32(120.25f).u8(1).u8(0x84).u8(1);
  EXPECT_EQ(Records(), std::vector<Bytes>{b.record(0, 27, true)});
}

TEST_F(DecodedTest, PrecisePositionSections) {
  k01_pos29_t p{};
  p.firstSize = 15; p.word5 = 0x0102; p.time = 1000; p.svCount = 2; p.sectionFlags = 0x12;
  p.modeByte = 4; p.secondSize = 93; p.latitude = 0.5; p.values[10] = 2.0f;
  p.thirdSize = 7; p.thirdByte = 1; p.thirdValue = 0.25f; p.thirdFlags = 0x5; p.thirdWord = 0x0A0B;
  p.thirdTriple[0] = 11; p.thirdLast = 0x01020304;  // Q bit 1 clear: the triple is not written
  p.fourthSize = 10; p.fourthValues[0] = 1.0f; p.fourthValues[1] = -1.0f; p.fourthFlags = 1;
  p.fourthExtra = 77;
  p.extSize = 12; p.extCode = 3; p.extCount = 1; p.extCodes[0] = 6; p.extValues[0] = 2.5;
  p.svSectionSize = 7;
  for (int i = 0; i < 6; ++i) p.svEntries[i] = static_cast<uint8_t>(0xE0 + i);
  ASSERT_EQ(Decoded(29, p), 0);
  Le b;
  b.u8(15).u16(0x0102).u32(1000).u8(0).u8(2).u8(0).u8(0).u8(0x12).u8(0).u8(4).u8(0).u8(93);
  b.f64(0.5).zeros(40 + 10 * 4).f32(2.0f);
  b.u8(7).u8(1).f32(0.25f).u8(0x5).u16(0x0A0B).u32(0x01020304);
  b.u8(10).f32(1.0f).f32(-1.0f).u8(1).u32(77);
  b.u8(12).u8(3).u8(1).u8(6).f64(2.5);
  b.u8(7);
  for (int i = 0; i < 6; ++i) b.u8(0xE0 + i);
  EXPECT_EQ(Records(), std::vector<Bytes>{b.record(0, 29, true)});
}

// Type 28 subtype 2, subtype 5 (no layout: not written); type 32 subtypes 3,
// 4 and 1 (not written); type 40 with 2 pairs and with 50 (beyond the 20 the
// structure holds); type 98 as long as its header says.
TEST_F(DecodedTest, SubtypesAndCountedLists) {
  k01_rec28_t r{}, r5{};
  r.subtype = 2, r.body.s2.byte4 = 1, r.body.s2.values[13] = 6.5, r5.subtype = 5;
  k01_rec32_t q3{}, q4{}, q1{};
  q3.subtype = 3, q4.subtype = 4, q1.subtype = 1;
  k01_coded40_t c{}, c50{};
  c.word = 3, c.value = 4, c.count = 2, c.entry[0] = {7, 1.0}, c.entry[1] = {9, -0.01};
  c50.count = 50;
  k01_data98_t d{};
  d.kind = 1, d.word = 2, d.value = 3;
  for (int i = 0; i < 10; ++i) d.data[i] = static_cast<uint8_t>(i);
  const uint8_t header98[4] = {0x74, 21, 0, 98};
  for (Status st : {Decoded(28, r), Decoded(28, r5), Decoded(32, q3), Decoded(32, q4), Decoded(32, q1),
                    Decoded(40, c), Decoded(40, c50), WriteDecodedRecord(cs, f, 98, header98, &d)})
    EXPECT_EQ(st, 0);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 6u);
  EXPECT_EQ(recs[0].size(), 139u);
  EXPECT_EQ(Bytes(recs[0].begin() + 4, recs[0].begin() + 6), (Bytes{2, 1}));
  EXPECT_EQ(F64(recs[0].data() + 139 - 8), 6.5);
  EXPECT_EQ(recs[1].size(), 88u);
  EXPECT_EQ(recs[2].size(), 91u);
  EXPECT_EQ(recs[3], Le().u16(3).u32(4).u8(2).u8(7).f64(1.0).u8(9).f64(-0.01).record(0, 40));
  EXPECT_EQ(recs[4].size(), 11u + 20 * 9);
  Le e;
  e.u8(1).u16(2).u32(3);
  for (int i = 0; i < 10; ++i) e.u8(i);
  EXPECT_EQ(recs[5], e.record(0, 98, true));
}

// Mask 0x98 (bits of types 28, 32 and 40) leaves type 26; -k alone (all bits)
// leaves type 17; type 5 never writes.
TEST_F(DecodedTest, ExclusionMask) {
  k01_rec28_t r{};
  r.subtype = 3;
  k01_coded40_t c{};
  k01_page25_t pg{};
  k01_aux26_t aux{};
  aux.byte12 = 2;
  cs.exclusionMask = 0x98;
  for (Status st : {Decoded(28, r), Decoded(40, c), Decoded(26, aux, 6)}) EXPECT_EQ(st, 0);
  cs.exclusionMask = 0xFFFFFFFF;
  for (Status st : {Decoded(25, pg), Decoded(26, aux, 6), Decoded(40, c), Decoded(28, r),
                    Decoded(17, Meas17(1000.0, 1)), Decoded(5, pg)})
    EXPECT_EQ(st, 0);
  EXPECT_EQ(Types(), (Bytes{26, 17}));
  EXPECT_EQ(Records()[0].size(), 4u + 13 + 2);
}

}  // namespace
}  // namespace dattest
