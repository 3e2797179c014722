// The DAT envelope: opening records, the ion/UTC record and its in-place
// rewrite, and the sticky write error.
#include "dat/dat_writer.h"
#include "dat_fixture.h"

namespace dattest {
namespace {

TEST_F(DatTest, FirstRecordIsPrecededByTheOpeningRecords) {
  ion[0] = 0x3F;
  const Bytes nothing = Fields().u8(1).record(90);  // a type that writes nothing itself
  EXPECT_EQ(WriteRawRecord(cs, nullptr, nothing.data(), nothing.size()), 0);  // no stream, no call
  ASSERT_EQ(Raw(nothing), 0);
  ASSERT_EQ(Raw(nothing), 0);
  // Five type-5 placeholders (subtype bit 7 set, zero bodies), then the ion/UTC record.
  const uint8_t heads[6][3] = {{24, 0x86, 5}, {98, 0x80, 5}, {65, 0x81, 5},
                               {64, 0x82, 5}, {110, 0x83, 5}, {124, 0, 15}};
  Bytes expected;
  for (const auto& h : heads) expected += Le().zeros(h[0] - 4).record(h[1], h[2]);
  expected[361 + 4] = 0x3F;
  EXPECT_EQ(File(), expected);
}

Bytes Type15(uint32_t value14, double first) {
  Fields f;
  for (int i = 0; i < 11; ++i) f.f64(first + i);
  f.u16(0xFFFB).u16(7).u32(value14);
  for (int i = 0; i < 8; ++i) f.u8(0xA0 + i);
  return f.record(15);
}
// 11 x swap64, 2 x fix16 s 0, fix32 u 0, 8 x copy.
Bytes IonRecord(uint32_t value14, double first) {
  Le b;
  for (int i = 0; i < 11; ++i) b.f64(first + i);
  b.f64(-5.0).f64(7.0).f64(value14);
  for (int i = 0; i < 8; ++i) b.u8(0xA0 + i);
  return b.record(0, 15);
}

TEST_F(DatTest, IonUtcRecordRewrittenInPlaceThenAppended) {
  auto opening = [this] { const Bytes all = File(); return Bytes(all.begin() + 361, all.begin() + kOpening); };
  ASSERT_EQ(Raw(Type15(0, 1.0)), 0);  // 14th value 0: block filled, nothing written
  EXPECT_EQ(F64(ion), 1.0);
  EXPECT_EQ(File().size(), kOpening);
  EXPECT_EQ(opening(), Le().zeros(120).record(0, 15));
  const Bytes later = Fields().u32(1).f64(1).f64(2).f64(3).f64(4).u8(5).u8(6).record(101);
  ASSERT_EQ(Raw(later), 0);
  const Bytes laterDat = Records().at(0);
  ASSERT_EQ(Raw(Type15(9, 2.0)), 0);  // first positive: over the opening record
  EXPECT_EQ(opening(), IonRecord(9, 2.0));
  EXPECT_EQ(Records(), std::vector<Bytes>{laterDat});
  ASSERT_EQ(Raw(Type15(11, 3.0)), 0);  // second positive: appended
  EXPECT_EQ(Records(), (std::vector<Bytes>{laterDat, IonRecord(11, 3.0)}));
  EXPECT_EQ(opening(), IonRecord(9, 2.0));
}

TEST(DatWriter, ShortWriteIsStickyDiskFull) {
  FILE* full = std::fopen("/dev/full", "wb");
  if (full == nullptr) GTEST_SKIP() << "/dev/full not available";
  std::setvbuf(full, nullptr, _IONBF, 0);
  DatSink s;
  const uint8_t bytes[8] = {};
  EXPECT_EQ(dat::WriteBlock(s.cs, bytes, 1, 8, full), 0u);
  EXPECT_EQ(s.cs.writer.writeError, 15);
  EXPECT_EQ(dat::WriteBlock(s.cs, bytes, 1, 8, s.f), 0u);  // later writes reach no stream
  EXPECT_TRUE(s.File().empty());
  std::fclose(full);
}

}  // namespace
}  // namespace dattest
