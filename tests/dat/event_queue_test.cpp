// Events (type 19): written at once, week records, and queued events built
// against the epoch pair and deferred behind the measurement record.
#include "dat_fixture.h"

namespace dattest {
namespace {

Bytes Epoch(uint32_t time, int32_t clock = 0) {  // one SV block
  return Fields().u32(time).u24(static_cast<uint32_t>(clock) & 0xFFFFFF).u8(1).zeros(19).record(17);
}
Bytes Event0(uint16_t a, uint32_t b, uint16_t c = 0) { return Fields().u8(0).u16(a).u32(b).u16(c).record(19); }

// Event 9 is dropped (no epoch pair yet); an event equal to the next epoch
// comes before it, a later one after its measurement record.
TEST_F(DatTest, EventAfterItsEpochIsDeferredEqualIsNot) {
  RawOk({Event0(9, 500), Epoch(1000), Event0(1, 2000), Event0(2, 2001), Epoch(2000)});
  const auto recs = Records();
  ASSERT_EQ(Types(), (Bytes{17, 19, 17, 19}));
  EXPECT_EQ(recs[1], Le().u16(1).f64(2000.0).record(0, 19));
  EXPECT_EQ(recs[3], Le().u16(2).f64(2001.0).record(0, 19));
}

TEST(Events, TimeInterpolatesTheClockAndRemovesWholeUnitJumps) {
  // Clock terms are fix24 s -19: 131072 is 0.25, 393216 is 0.75.
  const double e = 1500.0 - 1000 * 6.109481915933529e-8 * 1000;
  struct Case { int32_t c0, c1; uint16_t sub; double expected; } cases[] = {
      {131072, 262144, 1000, e - (0.25 + 0.25 * (e - 1000.0) / 1000.0)},
      {0, 393216, 0, 1500.0 - (-0.25 * 500.0 / 1000.0)},  // +0.75 taken as -0.25
  };
  for (const Case& c : cases) {
    DatSink s;
    s.RawOk({Epoch(1000, c.c0), Event0(7, 1500, c.sub), Epoch(2000, c.c1)});
    EXPECT_EQ(s.Records().at(1), Le().u16(7).f64(c.expected).record(0, 19)) << c.c1;
  }
}

// The event queued before the reference event (offset 100) gets mode 0xFFFF
// and shifts only the epoch time; the one after it, mode 1, both.
TEST_F(DatTest, ReferenceEventShiftsLaterEventTimes) {
  RawOk({Epoch(10000), Event0(1, 10400), Fields().u8(1).u32(400).u16(100).record(19), Event0(2, 10600),
         Epoch(11000)});
  const auto recs = Records();
  ASSERT_EQ(Types(), (Bytes{17, 19, 19, 19, 17}));
  EXPECT_EQ(recs[1], Le().u16(1).f64(10400.0).record(0, 19));
  EXPECT_EQ(recs[2], Le().f64(400.0).u16(100).record(1, 19));
  EXPECT_EQ(recs[3], Le().u16(2).f64(10500.0).record(0, 19));
  EXPECT_EQ(cs.enc.currentMode, 0);
}

// Subtypes 6 to 8 are written at once (9 is ignored); week records only when
// the week grows, the time down to a whole second; text at the next epoch.
TEST_F(DatTest, EventsWrittenAtOnceWeeksAndTextAtTheNextEpoch) {
  auto week = [](uint16_t w, uint32_t t) { return Fields().u8(5).u16(w).u32(t).record(19); };
  RawOk({Fields().u8(6).u16(3).f64(1.5).record(19), Fields().u8(7).u8(9).u16(4).f64(2.5).record(19),
         Fields().u8(8).u8(9).u16(4).text("NOTE").record(19), Fields().u8(9).u16(4).record(19),
         week(1500, 12345), week(1500, 20000), week(1499, 20000), week(1501, 999), Epoch(1000),
         Fields().u8(3).u16(12).text("HELLO").record(19), Epoch(2000)});
  const auto recs = Records();
  ASSERT_EQ(Types(), (Bytes{19, 19, 19, 19, 19, 17, 19, 17}));
  EXPECT_EQ(recs[0], Le().u16(3).f64(1.5).record(0, 19));
  EXPECT_EQ(recs[1], Le().u8(9).u16(4).f64(2.5).record(7, 19));
  EXPECT_EQ(recs[2], Le().u8(9).u16(4).text("NOTE").u8(0).record(8, 19));
  EXPECT_EQ(recs[3], Le().u16(1500).f64(12000.0).record(5, 19));
  EXPECT_EQ(recs[4], Le().u16(1501).f64(0.0).record(5, 19));
  EXPECT_EQ(recs[6], Le().u16(12).text("HELLO").u8(0).record(3, 19));
}

TEST_F(DatTest, PositionOnlySessionGivesPositionsTheEpochRole) {
  cs.pending.bytes[SessionBlock::kLogPositionOnly] = 1;
  auto pos = [](uint32_t time) { return Fields().zeros(34).u32(time).u8(0).u8(0).record(11); };
  RawOk({pos(1000), Fields().u8(2).u16(5).u32(1800).record(19), Fields().u8(4).u16(6).u32(2500).record(19), pos(2000)});
  EXPECT_EQ(Types(), (Bytes{11, 19, 11, 19}));
  EXPECT_EQ(Records()[3], Le().u16(6).f64(2500.0).record(4, 19));
}

}  // namespace
}  // namespace dattest
