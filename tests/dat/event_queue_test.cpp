// Events (type 19): records written at once, week records, queued events
// built against the epoch pair and deferred behind the measurement record.
#include "dat_fixture.h"

namespace dattest {
namespace {

using tb::Fields;

std::vector<uint8_t> Epoch(uint32_t time, int32_t clock = 0) {
  Fields f;
  f.u32(time).u24(static_cast<uint32_t>(clock) & 0xFFFFFF);
  f.u8(1).u8(0).u8(0).u8(0).u8(0).u8(0).u32(0).u48(0).u24(0).u8(0);
  return f.record(17);
}
std::vector<uint8_t> Event0(uint16_t a, uint32_t b, uint16_t c) {
  return Fields().u8(0).u16(a).u32(b).u16(c).record(19);
}

std::vector<uint8_t> Types(const std::vector<DatRecord>& recs) {
  std::vector<uint8_t> t;
  for (const auto& r : recs) t.push_back(r.type());
  return t;
}

TEST_F(DatTest, EventAfterItsEpochIsDeferredEqualIsNot) {
  ASSERT_EQ(Raw(Epoch(1000)), 0);
  ASSERT_EQ(Raw(Event0(1, 2000, 0)), 0);  // equal to the next epoch: before it
  ASSERT_EQ(Raw(Event0(2, 2001, 0)), 0);  // later: after the measurement record
  ASSERT_EQ(Raw(Epoch(2000)), 0);
  const auto recs = Records();
  ASSERT_EQ(Types(recs), (std::vector<uint8_t>{17, 19, 17, 19}));
  EXPECT_EQ(recs[1].bytes, Le().u16(1).f64(2000.0).record(0, 19));
  EXPECT_EQ(recs[3].bytes, Le().u16(2).f64(2001.0).record(0, 19));
}

TEST_F(DatTest, EventsBeforeTwoEpochsAreDropped) {
  ASSERT_EQ(Raw(Event0(1, 500, 0)), 0);
  ASSERT_EQ(Raw(Epoch(1000)), 0);
  ASSERT_EQ(Raw(Event0(2, 1500, 0)), 0);
  ASSERT_EQ(Raw(Epoch(2000)), 0);
  EXPECT_EQ(Types(Records()), (std::vector<uint8_t>{17, 19, 17}));
  EXPECT_EQ(Records()[1].body()[0], 2);
}

TEST_F(DatTest, EventTimeInterpolatesClockAndSubMilliseconds) {
  ASSERT_EQ(Raw(Epoch(1000, 131072)), 0);  // clock 0.25
  ASSERT_EQ(Raw(Event0(7, 1500, 1000)), 0);
  ASSERT_EQ(Raw(Epoch(2000, 262144)), 0);  // clock 0.5
  const double e = 1500.0 - 1000 * 6.109481915933529e-8 * 1000;
  const double expected = e - (0.25 + (0.5 - 0.25) * (e - 1000.0) / (2000.0 - 1000.0));
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[1].bytes, Le().u16(7).f64(expected).record(0, 19));
}

TEST_F(DatTest, ClockJumpOfAWholeUnitIsRemoved) {
  ASSERT_EQ(Raw(Epoch(1000, 0)), 0);
  ASSERT_EQ(Raw(Event0(7, 1500, 0)), 0);
  ASSERT_EQ(Raw(Epoch(2000, 393216)), 0);  // clock 0.75: taken as -0.25
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(GetF64(recs[1].body() + 2), 1500.0 - (0.0 + (-0.25) * 500.0 / 1000.0));
}

TEST_F(DatTest, ReferenceEventShiftsLaterEventTimes) {
  ASSERT_EQ(Raw(Epoch(10000)), 0);
  ASSERT_EQ(Raw(Event0(1, 10400, 0)), 0);                             // queued before: mode 0xFFFF
  ASSERT_EQ(Raw(Fields().u8(1).u32(400).u16(100).record(19)), 0);    // reference 100
  ASSERT_EQ(Raw(Event0(2, 10600, 0)), 0);                             // mode 1
  ASSERT_EQ(Raw(Epoch(11000)), 0);
  const auto recs = Records();
  ASSERT_EQ(Types(recs), (std::vector<uint8_t>{17, 19, 19, 19, 17}));
  // Mode 0xFFFF: only the epoch time is shifted; mode 1: both.
  EXPECT_EQ(recs[1].bytes, Le().u16(1).f64(10400.0).record(0, 19));
  EXPECT_EQ(recs[2].bytes, Le().f64(400.0).u16(100).record(1, 19));
  EXPECT_EQ(recs[3].bytes, Le().u16(2).f64(10500.0).record(0, 19));
  EXPECT_EQ(cs_.enc.referenceOffset, 100);
  EXPECT_EQ(cs_.enc.currentMode, 0);
}

TEST_F(DatTest, WeekRecordsOnlyWhenTheWeekGrows) {
  auto week = [](uint16_t w, uint32_t t) { return Fields().u8(5).u16(w).u32(t).record(19); };
  ASSERT_EQ(Raw(week(1500, 12345)), 0);
  ASSERT_EQ(Raw(week(1500, 20000)), 0);
  ASSERT_EQ(Raw(week(1499, 20000)), 0);
  ASSERT_EQ(Raw(week(1501, 999)), 0);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].bytes, Le().u16(1500).f64(12000.0).record(5, 19));
  EXPECT_EQ(recs[1].bytes, Le().u16(1501).f64(0.0).record(5, 19));
}

TEST_F(DatTest, EventsWrittenAtOnce) {
  ASSERT_EQ(Raw(Fields().u8(6).u16(3).f64(1.5).record(19)), 0);
  ASSERT_EQ(Raw(Fields().u8(7).u8(9).u16(4).f64(2.5).record(19)), 0);
  ASSERT_EQ(Raw(Fields().u8(8).u8(9).u16(4).text("NOTE").record(19)), 0);
  ASSERT_EQ(Raw(Fields().u8(9).u16(4).record(19)), 0);  // unknown subtype: ignored
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].bytes, Le().u16(3).f64(1.5).record(0, 19));
  EXPECT_EQ(recs[1].bytes, Le().u8(9).u16(4).f64(2.5).record(7, 19));
  EXPECT_EQ(recs[2].bytes, Le().u8(9).u16(4).u8('N').u8('O').u8('T').u8('E').u8(0).record(8, 19));
}

TEST_F(DatTest, TextEventWrittenAtTheNextEpoch) {
  ASSERT_EQ(Raw(Epoch(1000)), 0);
  ASSERT_EQ(Raw(Fields().u8(3).u16(12).text("HELLO").record(19)), 0);
  ASSERT_EQ(Raw(Epoch(2000)), 0);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[1].bytes, Le().u16(12).u8('H').u8('E').u8('L').u8('L').u8('O').u8(0).record(3, 19));
  EXPECT_EQ(recs[1].size(), 5u + 7u);
}

TEST_F(DatTest, PositionOnlySessionGivesPositionsTheEpochRole) {
  cs_.pending.bytes[SessionBlock::kLogPositionOnly] = 1;
  auto pos = [](uint32_t time) {
    Fields f;
    f.zeros(34).u32(time).u8(0).u8(0);
    return f.record(11);
  };
  ASSERT_EQ(Raw(pos(1000)), 0);
  ASSERT_EQ(Raw(Fields().u8(2).u16(5).u32(1800).record(19)), 0);
  ASSERT_EQ(Raw(Fields().u8(4).u16(6).u32(2500).record(19)), 0);
  ASSERT_EQ(Raw(pos(2000)), 0);
  EXPECT_EQ(Types(Records()), (std::vector<uint8_t>{11, 19, 11, 19}));
  EXPECT_EQ(Records()[3].bytes, Le().u16(6).f64(2500.0).record(4, 19));
}

}  // namespace
}  // namespace dattest
