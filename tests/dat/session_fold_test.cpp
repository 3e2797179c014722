// FoldPendingHeader: the pending values of a session merged into the
// session header block.
#include <algorithm>

#include "dat_fixture.h"

namespace dattest {
namespace {

using SB = SessionBlock;

bool IsClear(const SessionBlock& b) {
  return std::all_of(std::begin(b.bytes), std::end(b.bytes), [](uint8_t v) { return v == 0; });
}

TEST(FoldPendingHeader, FirstSessionIsTakenWhole) {
  ConvState cs;
  cs.pending.Set<uint8_t>(SB::kA1, 7);
  cs.pending.SetCounter(SB::kC2, 3, -4);
  cs.pending.SetP(3, 2.5);
  cs.pending.Set<int32_t>(SB::kW5, 12);
  const SessionBlock expected = cs.pending;
  FoldPendingHeader(cs);
  EXPECT_EQ(0, std::memcmp(cs.session.bytes, expected.bytes, SB::kSize));
  EXPECT_TRUE(IsClear(cs.pending));
}

// Each row on a block that already holds a session (data-logging start or,
// alone, W3 set): the value at off (size bytes) before and after the fold.
TEST(FoldPendingHeader, MergesAFurtherSession) {
  constexpr uint64_t kB = 0x1111111111111111, kP = 0x5A5A5A5A5A5A5A5A;
  struct Case { size_t off, size; uint64_t block, pending, result; } cases[] = {
      // C1 and C3 add (wrapping), C2 and C4 keep the larger signed value.
      {SB::kC1, 4, 5, 7, 12}, {SB::kC1 + 4, 4, 0x7FFFFFFF, 1, 0x80000000}, {SB::kC3 + 4 * 71, 4, 0xFFFFFFFD, 10, 7},
      {SB::kC2, 4, 0xFFFFFFFF, 3, 3}, {SB::kC2 + 20, 4, 5, 0xFFFFFFFE, 5}, {SB::kC4 + 4 * 71, 4, 0xFFFFFFF8, 0xFFFFFFF7, 0xFFFFFFF8},
      // Starts: 9999 takes the pending value; stops: a pending 9999 is not taken.
      {SB::kScheduleStart, 2, 9999, 100, 100}, {SB::kScheduleStart, 2, 50, 100, 50},
      {SB::kScheduleStop, 2, 200, 9999, 200}, {SB::kScheduleStop, 2, 200, 300, 300},
      {SB::kLoggingStop, 2, 9999, 700, 700}, {SB::kLoggingStop, 2, 650, 9999, 650}, {SB::kLoggingStart, 2, 9999, 420, 420},
      // The session values taken, and some that are not.
      {SB::kW2, 4, kB, kP, kP}, {SB::kRefLatitude, 8, kB, kP, kP}, {SB::kAntennaHeight, 8, kB, kP, kP},
      {SB::kAntennaHeightUnit, 1, kB, kP, kP}, {SB::kAntennaSerial, 4, kB, kP, kP}, {SB::kReceiverSerial, 4, kB, kP, kP},
      {SB::kStationNamePresent, 1, kB, kP, kP}, {SB::kA10, 2, kB, kP, kP}, {SB::kD2, 8, kB, kP, kP}, {SB::kH1, 2, kB, kP, kP},
      {SB::kA1, 1, kB, kP, kB}, {SB::kW1, 4, kB, kP, kB}, {SB::kNavVersion, 4, kB, kP, kB},
      {SB::kStationNameLength, 8, kB, kP, kB}, {SB::kSyncRate, 2, kB, kP, kB},
  };
  for (bool byW3 : {false, true}) {
    for (const Case& c : cases) {
      ConvState cs;
      byW3 ? cs.session.Set<uint32_t>(SB::kW3, 1) : cs.session.Set<uint16_t>(SB::kLoggingStart, 480);
      std::memcpy(cs.session.bytes + c.off, &c.block, c.size);
      std::memcpy(cs.pending.bytes + c.off, &c.pending, c.size);
      FoldPendingHeader(cs);
      uint64_t got = 0;
      std::memcpy(&got, cs.session.bytes + c.off, c.size);
      EXPECT_EQ(got, c.result & (c.size == 8 ? ~0ull : (1ull << (8 * c.size)) - 1)) << c.off << " W3 " << byW3;
      EXPECT_TRUE(IsClear(cs.pending));
    }
  }
}

TEST(FoldPendingHeader, PositionsByPdopAndCount) {
  struct Case { const char* what; double blockPdop, pendingPdop; bool taken; } cases[] = {
      {"block has none", 0.0, 4.0, true},  {"pending better", 2.0, 1.5, true},
      {"pending worse", 2.0, 3.0, false},  {"equal", 2.0, 2.0, false},
      {"pending session reported no position", 2.0, 0.0, false},
  };
  for (const Case& c : cases) {
    ConvState cs;
    cs.session.Set<uint16_t>(SB::kLoggingStart, 480);
    cs.session.SetP(0, 0.5);
    for (int i : {0, 1, 2, 4, 5}) cs.pending.SetP(i, 10.0 + i);
    for (int i : {3, 6}) {
      cs.session.SetP(i, c.blockPdop);
      cs.pending.SetP(i, c.pendingPdop);
    }
    FoldPendingHeader(cs);
    for (int i : {1, 2, 4, 5}) EXPECT_EQ(cs.session.P(i), c.taken ? 10.0 + i : 0.0) << c.what;
    EXPECT_EQ(cs.session.P(0), c.taken ? 10.0 : 0.5) << c.what;
    for (int i : {3, 6}) EXPECT_EQ(cs.session.P(i), c.taken ? c.pendingPdop : c.blockPdop) << c.what;
  }
  // Means: P7..P9 by W5, P10 and P11 by W6, taken when the pending count is greater.
  ConvState cs;
  cs.session.Set<uint16_t>(SB::kLoggingStart, 480);
  cs.session.Set<int32_t>(SB::kW5, 10);
  cs.session.Set<int32_t>(SB::kW6, 10);
  cs.session.SetP(10, 0.5);
  cs.pending.Set<int32_t>(SB::kW5, 11);
  cs.pending.Set<int32_t>(SB::kW6, 10);
  for (int i = 7; i <= 11; ++i) cs.pending.SetP(i, -1.0 * i);
  FoldPendingHeader(cs);
  for (int i = 7; i <= 9; ++i) EXPECT_EQ(cs.session.P(i), -1.0 * i);
  EXPECT_EQ(cs.session.P(10), 0.5);
  EXPECT_EQ(cs.session.P(11), 0.0);
  EXPECT_EQ(cs.session.Get<int32_t>(SB::kW5), 10);  // the counts themselves stay
}

}  // namespace
}  // namespace dattest
