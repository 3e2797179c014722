// Raw records converted straight into DAT records, into the EPH table or
// into nothing: types 3, 21, 12, 101, 18, 20, 25, 30, 31 and 102; and raw
// records that do not fit their type or the encoder's fixed slots: a defined
// status, nothing written and no state changed, or a bounded write.
#include "dat_fixture.h"

namespace dattest {
namespace {

Bytes Type3(uint8_t sv, double first) {
  Fields f;
  f.u8(sv);
  for (int i = 0; i < 25; ++i) f.f64(first + 1.25 * i);
  return f.record(3);
}

TEST_F(DatTest, Type3WrittenAndKeptInTheEphemerisTable) {
  uint8_t* e5 = eph + 4 * 336;
  e5[334] = 9;
  e5[250] = 77;  // beyond the 25 values
  ASSERT_EQ(Raw(Type3(5, -3.0)), 0);
  Le body;
  body.u8(5).u8(0);
  for (int i = 0; i < 25; ++i) body.f64(-3.0 + 1.25 * i);
  EXPECT_EQ(Records().at(0), body.record(0, 3));
  EXPECT_EQ(Bytes(e5, e5 + 200), Bytes(body.data().begin() + 2, body.data().end()));
  EXPECT_EQ(e5[334] + e5[250], 77);
  // Once SV 5 has a measurement record its ephemeris stays; SV 6 takes every new one.
  ASSERT_EQ(Raw(Fields().u32(1000).u24(0).u8(5).zeros(19).record(17)), 0);
  ASSERT_EQ(Raw(Type3(5, 100.0)), 0);
  EXPECT_EQ(F64(e5), -3.0);
  ASSERT_EQ(Raw(Type3(6, 1.0)), 0);
  ASSERT_EQ(Raw(Type3(6, 50.0)), 0);
  EXPECT_EQ(F64(eph + 5 * 336), 50.0);
  // SV numbers outside 1..32: written, the table untouched.
  const Bytes before(eph, eph + sizeof eph);
  for (uint8_t sv : {0, 33, 200}) ASSERT_EQ(Raw(Type3(sv, 1.0)), 0);
  EXPECT_EQ(Bytes(eph, eph + sizeof eph), before);
  EXPECT_EQ(Types(), (Bytes{3, 17, 3, 3, 3, 3, 3, 3}));
}

TEST_F(DatTest, Type21WrittenAndFillsEphemerisSlots) {
  const uint32_t w = (5u << 16) | (1u << 15) | (0xAu << 11) | (1u << 10) | (0x2Bu << 4) | 0x3u;
  Fields f;
  Le body;
  f.u8(7).u16(0xFFFD).u16(1000).u8(9).u8(200).u32(static_cast<uint32_t>(-100000)).u32(7).u32(0xFFFFFFFF);
  body.u8(7).u8(0).u16(0xFFFD).u16(1000).u8(9).u8(200).u32(static_cast<uint32_t>(-100000)).u32(7).u32(0xFFFFFFFF);
  for (int i = 0; i < 19; ++i) f.f64(0.5 + i), body.f64(0.5 + i);
  f.u32(w), body.u32(w);
  for (int i = 1; i <= 10; ++i) f.u8(i), body.u8(i);
  uint8_t* e = eph + 6 * 336;
  e[30 * 8] = 0x42;  // slot 30: untouched
  ASSERT_EQ(Raw(f.record(21)), 0);
  EXPECT_EQ(Records(), std::vector<Bytes>{body.record(0, 21)});
  const std::pair<int, double> slots[] = {{0, -3.0}, {3, 1000.0}, {8, 200.0}, {1, -100000.0}, {4, 7.0},
                                          {16, -1.0}, {2, 0.5}, {5, 1.5}, {7, 3.5}, {9, 4.5},
                                          {15, 10.5}, {17, 11.5}, {24, 18.5}};
  for (const auto& [slot, value] : slots) EXPECT_EQ(F64(e + 8 * slot), value) << slot;
  EXPECT_EQ(Bytes(e + 320, e + 336),
            (Bytes{3, 0xA, 1, 1, 0x2B, 5, 0, 0, 0xB3, 0xD6, 0x05, 0x00, 0, 0, 255, 255}));  // w = 0x0005D6B3
  EXPECT_EQ(e[30 * 8], 0x42);
}

Bytes Type12(uint16_t week) {
  Fields f;
  f.u8(3).u8(1).u16(0x1234).u16(0x5678).u8(29);
  for (int i = 0; i < 7; ++i) f.u8(0x10 + i);
  f.u16(week).u32(5000).f64(1.0).f64(2.0).f64(3.0).f64(4.0).u32(0x00400000);
  f.u16(0xF800).u16(1024).u16(1).u16(0x8000);
  return f.record(12);
}

TEST_F(DatTest, Type12SetsTypeCodeAndTheWeekOnce) {
  cs.rx.typeCode = 3;
  ASSERT_EQ(Raw(Type12(1500)), 0);
  Le body;
  body.u8(3).u8(1).u16(0x1234).u16(0x5678).u8(29);
  for (int i = 0; i < 7; ++i) body.u8(0x10 + i);
  body.u16(1500).f64(5000.0).f64(1.0).f64(2.0).f64(3.0).f64(4.0).f64(std::ldexp(0x400000, -22));
  body.f64(std::ldexp(-2048.0, -11)).f64(std::ldexp(1024.0, -21));
  body.f64(std::ldexp(1.0, -11)).f64(std::ldexp(-32768.0, -21));
  EXPECT_EQ(Records(), std::vector<Bytes>{body.record(0, 12, true)});
  EXPECT_EQ(cs.rx.typeCode, 29);
  EXPECT_EQ(cs.epoch.dataWeek, 1500);
  ASSERT_EQ(Raw(Type12(1600)), 0);
  EXPECT_EQ(cs.epoch.dataWeek, 1500);
}

TEST(RawDirect, RecordsBySubtypeAndMask) {
  const std::string k28 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01";
  Fields table;  // type 25 subtype 1, kind 6
  Le tableDat;
  table.u8(1).u8(9).u8(6), tableDat.u8(9).u8(6);
  for (int i = 0; i < 14; ++i) table.u32(0x01000000u + i), tableDat.u32(0x01000000u + i);
  table.u8(0x5A), tableDat.u8(0x5A);
  Fields first, last;  // type 102: more blocks follow, clock 0.5; then the last, clock -1
  first.u32(0x80000000u | 5000).u24(0x040000).u8(1).u8(2).f64(1.0).f64(2.0).f64(3.0).f64(4.0);
  last.u32(5000).u24(0xF80000).u8(3).u8(4).f64(5.0).f64(6.0).f64(7.0).f64(8.0);
  last.u8(5).u8(6).f64(9.0).f64(10.0).f64(11.0).f64(12.0);
  Le multi;
  multi.f64(5000.0).f64(-1.0).u8(3);
  for (int e = 0; e < 3; ++e) {
    multi.u8(1 + 2 * e).u8(2 + 2 * e);
    for (int i = 0; i < 4; ++i) multi.f64(1.0 + 4 * e + i);
  }
  const Bytes page = Fields().u8(0).u32(604000).u16(1500).u8(4).text(k28).record(25);
  const Bytes app = Fields().u16(300).u8(1).u8(3).u8(0x11).u8(0x22).u8(0x33).record(31);
  struct Case { const char* name; uint32_t mask; std::vector<Bytes> raw; Status st; Bytes dat; } cases[] = {
      {"101", 0, {Fields().u32(123456).f64(1.5).f64(-2.5).f64(1e9).f64(0.125).u8(0xAB).u8(0xCD).record(101)}, 0,
       Le().f64(123456.0).f64(1.5).f64(-2.5).f64(1e9).f64(0.125).u8(0xAB).u8(0xCD).record(0, 101)},
      {"20/0", 0, {Fields().u8(0).u32(1000).u16(1).u16(2).u16(3).u16(4).u32(0xDEADBEEF).record(20)}, 0,
       Le().f64(1000).u16(1).u16(2).u16(3).u16(4).u32(0xDEADBEEF).record(0, 20)},
      {"20/1", 0, {Fields().u8(1).u32(7).text("ABC").record(20)}, 0, Le().f64(7).text("ABC").u8(0).record(1, 20)},
      {"20/2: no layout", 0, {Fields().u8(2).u32(7).u16(1).record(20)}, 0, {}},
      {"25/0", 0, {page}, 0, Le().u32(604000).u16(1500).u8(4).text(k28).record(0, 25)},
      {"25/1 kind 6", 0, {table.record(25)}, 0, tableDat.record(1, 25)},
      {"25/3: not written", 0, {Fields().u8(3).u32(1).record(25)}, 0, {}},
      {"25 masked", 0x1, {page}, 0, {}},
      {"31", 0, {app}, 0, Le().u16(300).u8(1).u8(3).u8(0x11).u8(0x22).u8(0x33).record(0, 31)},
      {"31 masked", 0x4, {app}, 0, {}},
      {"102 over two blocks", 0, {first.record(102), last.record(102)}, 0, multi.record(0, 102, true)},
      {"18", 0, {Fields().u8(0).u8(0).record(18)}, status::kUnexpectedLogst, {}},
      {"30/0: clears the compact flags", 0, {Fields().u8(0).u8(1).u8(2).record(30)}, 0, {}},
      {"unknown type", 0, {Fields().u8(1).u8(2).record(90)}, 0, {}},
  };
  for (const Case& c : cases) {
    DatSink s;
    s.cs.exclusionMask = c.mask;
    s.cs.enc.compactSeen = s.cs.rx.compactMode = 1;
    Status st = 0;
    for (const Bytes& r : c.raw) st = s.Raw(r);
    EXPECT_EQ(st, c.st) << c.name;
    EXPECT_EQ(s.Tail(), c.dat) << c.name;
    const int compact = std::string_view(c.name).starts_with("30/0") ? 0 : 1;
    EXPECT_EQ(s.cs.enc.compactSeen + s.cs.rx.compactMode, 2 * compact) << c.name;
  }
}

TEST_F(DatTest, BadRecordsGiveDefinedResults) {
  struct Case { const char* name; Bytes rec; Status st; size_t records; } cases[] = {
      {"type 3 truncated", Fields().u8(1).zeros(100).record(3), status::kNoEtx, 0},
      {"type 21 truncated", Fields().u8(1).zeros(150).record(21), status::kNoEtx, 0},
      {"type 7 of length 52", Fields().zeros(46).record(7), status::kNoEtx, 0},
      {"type 17 partial SV block", Fields().u32(1).u24(0).zeros(25).record(17), status::kNoEtx, 0},
      {"type 17 without epoch header", Fields().u32(1).record(17), status::kNoEtx, 0},
      {"type 11 count beyond record", Fields().zeros(39).u8(20).zeros(4).record(11), status::kNoEtx, 0},
      {"type 11 one correction byte", Fields().zeros(39).u8(1).zeros(3).record(11), status::kNoEtx, 0},
      {"type 11 beyond a DAT length byte", Fields().zeros(39).u8(100).zeros(200).record(11), status::kNoEtx, 0},
      {"type 12 entries beyond record", Fields().u8(5).zeros(56).record(12), status::kNoEtx, 0},
      {"type 15 truncated", Fields().zeros(50).record(15), status::kNoEtx, 0},
      {"type 19 truncated", Fields().u8(0).u16(1).record(19), status::kNoEtx, 0},
      {"type 25 kind 1 truncated", Fields().u8(1).u8(0).u8(1).zeros(20).record(25), status::kNoEtx, 0},
      {"type 31 count beyond record", Fields().u16(1).u8(0).u8(50).zeros(4).record(31), status::kNoEtx, 0},
      {"type 102 partial entry", Fields().u32(1).u24(0).zeros(20).record(102), status::kNoEtx, 0},
      {"type 3 over-long: extra ignored", Fields().u8(2).zeros(210).record(3), status::kOk, 1},
      {"3 bytes", {2, 3, 3}, status::kNoEtx, 0},
      {"5000 bytes", [] { Bytes b(5000, 0); b[0] = 2; b[2] = 17; return b; }(), status::kNoEtx, 0},
      {"compact type 64: no expansion", Fields().zeros(20).record(64), status::kExpansion, 0},
      {"compact type 66 garbage", Fields().zeros(20).record(66), status::kExpansion, 0},
      // A key frame carries the checksum of its type-17 form, not of its own type byte.
      {"key frame with its own checksum", rawrec::BuildRecord(75, Bytes(300, 0)), status::kBadChecksum, 0},
  };
  for (const Case& c : cases) {
    ResetEncoderState(cs);
    const size_t before = Records().size();
    EXPECT_EQ(Raw(c.rec), c.st) << c.name;
    EXPECT_EQ(Records().size() - before, c.records) << c.name;
    EXPECT_EQ(F64(ion), 0.0) << c.name;
    EXPECT_EQ(cs.enc.measOpen, 0) << c.name;
  }
}

// 41 type-7 entries of one epoch keep the first 33; 77 SVs of a type-17 epoch over 7 records, the first 64.
TEST_F(DatTest, EpochsBeyondTheSlotsKeepTheFirstEntries) {
  auto entry = [](uint8_t follow, uint8_t sv) {
    return Fields().u8(follow).zeros(4 + 12 + 2 + 8).u32(5000).zeros(8 + 5).u8(sv).record(7);
  };
  for (int i = 1; i <= 41; ++i) ASSERT_EQ(Raw(entry(i < 41, static_cast<uint8_t>(i))), 0);
  for (int block = 0; block < 7; ++block) {
    Fields f;
    f.u32(6000 | (block < 6 ? 0x80000000u : 0u)).u24(0);
    for (int i = 0; i < 11; ++i) f.u8(block * 11 + i + 1).zeros(19);
    ASSERT_EQ(Raw(f.record(17)), 0);
  }
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 34u);
  EXPECT_EQ(recs[32][4 + 77], 33);
  for (int sv = 1; sv <= 32; ++sv) EXPECT_EQ(cs.writer.svRecordCount[sv], 2u) << sv;
  EXPECT_EQ(recs[33][20], 64);
  EXPECT_EQ(recs[33].size(), 21u + 64 * 48);
}

}  // namespace
}  // namespace dattest
