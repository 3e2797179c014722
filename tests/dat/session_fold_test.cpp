#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

#include "dat/conv_state.h"

namespace {

using SB = SessionBlock;

bool IsClear(const SessionBlock& b) {
  for (uint8_t v : b.bytes)
    if (v != 0) return false;
  return true;
}

// A block that already holds a session (data-logging start set).
void MakeFolded(SessionBlock& b) { b.Set<uint16_t>(SB::kLoggingStart, 480); }

TEST(FoldPendingHeader, FirstSessionIsTakenWhole) {
  ConvState cs;
  cs.pending.Set<double>(SB::kRefLatitude, 0.25);
  cs.pending.Set<uint8_t>(SB::kA1, 7);
  cs.pending.Set<uint16_t>(SB::kLoggingStart, 600);
  cs.pending.SetCounter(SB::kC2, 3, -4);
  cs.pending.SetP(3, 2.5);
  cs.pending.Set<int32_t>(SB::kW5, 12);
  const SessionBlock expected = cs.pending;
  FoldPendingHeader(cs);
  EXPECT_EQ(0, std::memcmp(cs.session.bytes, expected.bytes, SB::kSize));
  EXPECT_TRUE(IsClear(cs.pending));
}

TEST(FoldPendingHeader, W3AloneMarksAFoldedBlock) {
  ConvState cs;
  cs.session.Set<uint32_t>(SB::kW3, 1);
  cs.session.Set<uint8_t>(SB::kA1, 9);
  cs.pending.Set<uint8_t>(SB::kA1, 7);
  FoldPendingHeader(cs);
  EXPECT_EQ(cs.session.Get<uint8_t>(SB::kA1), 9);  // A1 is not among the values taken
}

TEST(FoldPendingHeader, CountersSumOrKeepLarger) {
  ConvState cs;
  MakeFolded(cs.session);
  struct Case {
    size_t base;
    int entry;
    int32_t block, pending, result;
  } cases[] = {
      {SB::kC1, 0, 5, 7, 12},
      {SB::kC1, 1, std::numeric_limits<int32_t>::max(), 1, std::numeric_limits<int32_t>::min()},
      {SB::kC3, 71, -3, 10, 7},
      {SB::kC2, 0, -1, 3, 3},
      {SB::kC2, 5, 5, -2, 5},
      {SB::kC4, 71, -8, -9, -8},
      {SB::kC4, 23, 2, 40, 40},
  };
  for (const Case& c : cases) {
    cs.session.SetCounter(c.base, c.entry, c.block);
    cs.pending.SetCounter(c.base, c.entry, c.pending);
  }
  FoldPendingHeader(cs);
  for (const Case& c : cases)
    EXPECT_EQ(cs.session.Counter(c.base, c.entry), c.result) << c.base << "[" << c.entry << "]";
}

TEST(FoldPendingHeader, StartsKeepEarliestStopsTakeLatest) {
  struct Case {
    size_t off;
    uint16_t block, pending, result;
  } cases[] = {
      {SB::kScheduleStart, 9999, 100, 100},
      {SB::kScheduleStart, 50, 100, 50},
      {SB::kScheduleStop, 200, 9999, 200},
      {SB::kScheduleStop, 200, 300, 300},
      {SB::kLoggingStop, 9999, 700, 700},
      {SB::kLoggingStop, 650, 9999, 650},
  };
  for (const Case& c : cases) {
    ConvState cs;
    MakeFolded(cs.session);
    cs.session.Set<uint16_t>(c.off, c.block);
    cs.pending.Set<uint16_t>(c.off, c.pending);
    FoldPendingHeader(cs);
    EXPECT_EQ(cs.session.Get<uint16_t>(c.off), c.result) << c.off;
  }
  ConvState cs;
  cs.session.Set<uint16_t>(SB::kLoggingStart, 9999);
  cs.pending.Set<uint16_t>(SB::kLoggingStart, 420);
  FoldPendingHeader(cs);
  EXPECT_EQ(cs.session.Get<uint16_t>(SB::kLoggingStart), 420);
}

TEST(FoldPendingHeader, TakesTheSessionValuesOnly) {
  struct Field {
    size_t off, size;
    bool taken;
  } fields[] = {
      {SB::kW2, 4, true},          {SB::kRefLatitude, 32, true},  // latitude .. antenna height
      {SB::kAntennaHeightUnit, 1, true}, {SB::kAntennaSerial, 4, true},
      {SB::kReceiverSerial, 4, true},    {SB::kStationNamePresent, 1, true},
      {SB::kA10, 2, true},               {SB::kD2, 8, true},
      {SB::kH1, 2, true},                {SB::kA1, 1, false},
      {SB::kW1, 4, false},               {SB::kNavVersion, 4, false},
      {SB::kStationNameLength, 51, false}, {SB::kSyncRate, 2, false},
  };
  ConvState cs;
  MakeFolded(cs.session);
  for (const Field& f : fields) {
    std::memset(cs.session.bytes + f.off, 0x11, f.size);
    std::memset(cs.pending.bytes + f.off, 0x5A, f.size);
  }
  FoldPendingHeader(cs);
  for (const Field& f : fields)
    for (size_t i = 0; i < f.size; ++i)
      EXPECT_EQ(cs.session.bytes[f.off + i], f.taken ? 0x5A : 0x11) << f.off << "+" << i;
  EXPECT_TRUE(IsClear(cs.pending));
}

TEST(FoldPendingHeader, PositionsByPdopAndCount) {
  struct Case {
    const char* what;
    double blockP3, pendingP3;
    bool taken;
  } best[] = {
      {"block has none", 0.0, 4.0, true},
      {"pending better", 2.0, 1.5, true},
      {"pending worse", 2.0, 3.0, false},
      {"equal", 2.0, 2.0, false},
      {"pending session reported no position", 2.0, 0.0, false},
  };
  for (const Case& c : best) {
    ConvState cs;
    MakeFolded(cs.session);
    cs.session.SetP(0, 0.1);
    cs.session.SetP(3, c.blockP3);
    cs.session.SetP(4, 0.2);
    cs.session.SetP(6, c.blockP3);
    cs.pending.SetP(0, 0.3);
    cs.pending.SetP(2, 55.0);
    cs.pending.SetP(3, c.pendingP3);
    cs.pending.SetP(4, 0.4);
    cs.pending.SetP(5, 0.45);
    cs.pending.SetP(6, c.pendingP3);
    FoldPendingHeader(cs);
    EXPECT_EQ(cs.session.P(0), c.taken ? 0.3 : 0.1) << c.what;
    EXPECT_EQ(cs.session.P(2), c.taken ? 55.0 : 0.0) << c.what;
    EXPECT_EQ(cs.session.P(3), c.taken ? c.pendingP3 : c.blockP3) << c.what;
    EXPECT_EQ(cs.session.P(4), c.taken ? 0.4 : 0.2) << c.what;
    EXPECT_EQ(cs.session.P(5), c.taken ? 0.45 : 0.0) << c.what;
    EXPECT_EQ(cs.session.P(6), c.taken ? c.pendingP3 : c.blockP3) << c.what;
  }

  ConvState cs;
  MakeFolded(cs.session);
  cs.session.Set<int32_t>(SB::kW5, 10);
  cs.session.Set<int32_t>(SB::kW6, 10);
  cs.session.SetP(7, 0.7);
  cs.session.SetP(10, 0.10);
  cs.pending.Set<int32_t>(SB::kW5, 11);
  cs.pending.Set<int32_t>(SB::kW6, 10);
  cs.pending.SetP(7, -0.7);
  cs.pending.SetP(8, -0.8);
  cs.pending.SetP(9, 99.0);
  cs.pending.SetP(10, -0.10);
  cs.pending.SetP(11, -0.11);
  FoldPendingHeader(cs);
  EXPECT_EQ(cs.session.P(7), -0.7);
  EXPECT_EQ(cs.session.P(8), -0.8);
  EXPECT_EQ(cs.session.P(9), 99.0);
  EXPECT_EQ(cs.session.P(10), 0.10);  // W6 not greater
  EXPECT_EQ(cs.session.P(11), 0.0);
  EXPECT_EQ(cs.session.Get<int32_t>(SB::kW5), 10);  // counts themselves stay
}

}  // namespace
