// Expansion of raw type-27 records: parsing, derived Doppler across epochs,
// the Doppler store, and records that exceed the structure.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "k01lib/expand_state.h"
#include "k01lib/multisignal_encoder.h"

namespace {

using MsEpoch = k01::k01_ms_epoch_t;
using MsSat = k01::k01_ms_sat_t;
using MsSignal = k01::k01_ms_signal_t;

constexpr int64_t kCycle = 32768;  // phase units per cycle

struct Expander {
  std::unique_ptr<k01::k01_expand_t> ex = std::make_unique<k01::k01_expand_t>();
  std::unique_ptr<k01_meas27_t> out = std::make_unique<k01_meas27_t>();
  uint8_t header[4] = {};
  Expander() { k01::initExpand(*ex); }
  uint16_t run(const MsEpoch& e, uint8_t control = 3, size_t cut = 0) {
    const auto raw = k01::buildRaw27Record(e);
    k01::k01_record_t r{};
    r.length = static_cast<uint16_t>(cut ? cut : raw.size());
    std::memcpy(r.bytes, raw.data(), r.length);
    return k01::expandMeasurements(r, header, *out, *ex, control);
  }
  const k01_signal27_t& sig(int i, int j) const { return out->sv[i].signal[j]; }
  const k01_signal27_t& stored(int i, int j) const { return ex->dopplerStore.sv[i].signal[j]; }
};

MsSignal signal(uint8_t band, uint8_t type, int64_t range, int64_t phase) {
  MsSignal g;
  g.band = band;
  g.further = type;
  g.range = range;
  g.phase = phase;
  return g;
}

// One GPS satellite (sv 7) with an L1 signal.
MsEpoch epoch(uint32_t time, int32_t clock, int64_t phase, uint8_t status = 0) {
  MsEpoch e;
  e.time = time;
  e.clock = clock;
  MsSat s;
  s.sv = 7;
  s.signals = {signal(0, 0, 2560000000LL, phase)};
  s.signals[0].status = status;
  e.sats = {s};
  return e;
}

TEST(ExpandParse, FieldsScalesAndLength) {
  MsEpoch e = epoch(345600000, -(1 << 18), 3 * kCycle / 2);
  e.flags = 0x12;
  e.field3 = 0x300000;  // 3 * 2^20 units of 2^-22
  e.field1 = 0x5A;
  e.sats[0].byte6 = 21;
  e.sats[0].signals[0].flags = 0x04;
  e.sats[0].signals[0].doppler = -512;  // -2 Hz
  MsSignal l5 = signal(2, 3, 0, 0);
  l5.flags = 0x80;
  l5.extra = 0x01;
  l5.range = -0x10000;  // extended: -256 m
  e.sats[0].signals.push_back(signal(1, 1, -512, 0));  // 2 m below L1
  e.sats[0].signals.push_back(l5);
  MsSat glo;
  glo.sv = 3;
  glo.system = 1;  // coarser first range
  glo.signals = {signal(0, 0, 64, 0)};
  e.sats.push_back(glo);
  Expander x;
  const uint16_t length = x.run(e);
  EXPECT_EQ(length, 4 + 22 + 20 + 27 + 27 + 28 + 27);  // two SV blocks, four signals
  EXPECT_EQ(std::vector<uint8_t>(x.header, x.header + 4),
            (std::vector<uint8_t>{'t', static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), 27}));
  EXPECT_EQ(x.out->time, 345600000.0);
  EXPECT_FLOAT_EQ(x.out->clockOffset, -0.5f);
  EXPECT_FLOAT_EQ(x.out->clockValue2, 0.75f);
  EXPECT_EQ(x.out->byteF4, 0x5A);
  EXPECT_EQ(x.out->sv[0].wordB, 42);
  EXPECT_EQ(x.sig(0, 0).range, 20000000.0);
  EXPECT_EQ(x.sig(0, 0).phase, 1.5);
  EXPECT_EQ(x.sig(0, 0).doppler, -2.0f);
  EXPECT_EQ(x.sig(0, 1).range, 20000000.0 - 2.0);
  EXPECT_EQ(x.sig(0, 2).range, 20000000.0 - 256.0);
  EXPECT_EQ(x.sig(0, 2).size, 28);
  EXPECT_EQ(x.sig(1, 0).range, 1.0);
}

TEST(ExpandDerivedDoppler, FromPhaseOfTwoEpochs) {
  const struct {
    uint32_t dt;        // ms between the epochs
    int32_t clockStep;  // units of 2^-19 ms
    int64_t dPhase;     // cycles
  } cases[] = {
      {1000, 0, 1500},
      {1001, 1 << 19, -1573920},    // clock offset up 1 ms: a millisecond of L1 carrier comes back
      {1001, 1 << 19, 1500},        // a small phase change is no clock jump artefact
  };
  for (const auto& c : cases) {
    Expander x;
    ASSERT_GT(x.run(epoch(1000, 0, 0)), 0);
    EXPECT_EQ(x.sig(0, 0).flagsG & 0x04, 0);  // nothing to derive from yet
    ASSERT_GT(x.run(epoch(1000 + c.dt, c.clockStep, c.dPhase * kCycle)), 0);
    EXPECT_EQ(x.sig(0, 0).flagsG & 0x04, 0x04);
    EXPECT_FLOAT_EQ(x.sig(0, 0).doppler, 1500.0f) << c.dPhase;
  }
}

TEST(ExpandDopplerStore, StatusChangeTakesThePredictionAndUnmatchedClears) {
  Expander x;
  x.run(epoch(1000, 0, 0));
  x.run(epoch(2000, 0, 1500 * kCycle));  // 1500 Hz
  x.run(epoch(3000, 0, 3100 * kCycle));  // 1600 Hz, predicted 2 x 1600 - 1500
  EXPECT_FLOAT_EQ(x.sig(0, 0).doppler, 1600.0f);
  x.run(epoch(4000, 0, 9999 * kCycle, 1));  // status changed: no phase derivation
  EXPECT_FLOAT_EQ(x.sig(0, 0).doppler, 1700.0f);
  EXPECT_FLOAT_EQ(x.stored(0, 0).doppler, 2 * 1700.0f - 1600.0f);
  MsEpoch other = epoch(5000, 0, 0);
  other.sats[0].sv = 8;  // another satellite at the same position: no match
  x.run(other);
  EXPECT_EQ(x.sig(0, 0).doppler, 0.0f);
  EXPECT_EQ(x.sig(0, 0).flagsG & 0x04, 0);
  EXPECT_EQ(x.stored(0, 0).flagsG & 0x04, 0);
  EXPECT_EQ(x.stored(0, 0).doppler, 0.0f);
}

TEST(ExpandDopplerStore, MatchesByNumberAndBandWhenPositionsMove) {
  Expander x;
  MsEpoch a = epoch(1000, 0, 0);
  a.sats[0].signals.push_back(signal(1, 2, 0, 0));
  x.run(a);
  MsEpoch b = epoch(2000, 0, 100 * kCycle);
  b.sats[0].signals.insert(b.sats[0].signals.begin(), signal(1, 2, 0, 80 * kCycle));
  MsSat first;
  first.sv = 20;
  first.signals = {signal(0, 0, 1, 0)};
  b.sats.insert(b.sats.begin(), first);
  x.run(b);
  EXPECT_FLOAT_EQ(x.sig(1, 0).doppler, 80.0f);  // band 1 moved to position 0
  EXPECT_FLOAT_EQ(x.sig(1, 1).doppler, 100.0f);
  EXPECT_EQ(x.sig(0, 0).flagsG & 0x04, 0);  // new satellite
}

TEST(ExpandDopplerControl, ModesOneToThree) {
  MsEpoch b = epoch(2000, 0, 1500 * kCycle);
  b.sats[0].signals[0].flags = 0x04;
  b.sats[0].signals[0].doppler = 256 * 10;  // the record says 10 Hz
  for (uint8_t control : {1, 2, 3}) {
    Expander x;
    x.run(epoch(1000, 0, 0), control);
    x.run(b, control);
    EXPECT_FLOAT_EQ(x.sig(0, 0).doppler, control == 2 ? 1500.0f : 10.0f) << int(control);
    EXPECT_EQ(x.stored(0, 0).flagsG & 0x04, control == 2 ? 0x04 : 0) << int(control);
  }
  EXPECT_EXIT(Expander().run(epoch(1000, 0, 0), 4), ::testing::ExitedWithCode(2), "");
}

TEST(ExpandBadInput, CountsAndTruncation) {
  Expander x;
  MsEpoch many = epoch(1000, 0, 0);
  many.sats.assign(40, many.sats[0]);
  for (size_t i = 0; i < many.sats.size(); ++i) many.sats[i].sv = static_cast<uint8_t>(i + 1);
  EXPECT_EQ(x.run(many), 4 + 17 + 32 * (10 + 27));  // 40 SV blocks: the first 32 kept
  EXPECT_EQ(x.out->svCount, 32);
  EXPECT_EQ(x.out->sv[31].svNumber, 32);
  many.sats.assign(89, many.sats[0]);
  EXPECT_EQ(x.run(many), 0);
  MsEpoch sevenSignals = epoch(2000, 0, 0);
  sevenSignals.sats[0].signals.assign(7, signal(1, 1, 0, 0));
  EXPECT_EQ(x.run(sevenSignals), 0);
  EXPECT_EQ(x.ex->previous.svCount, 32);  // a rejected record is not the previous epoch
  const MsEpoch e = epoch(3000, 0, 0);
  for (size_t cut = 1; cut < k01::buildRaw27Record(e).size(); ++cut) EXPECT_EQ(x.run(e, 3, cut), 0) << cut;
}

TEST(ExpandCarrier, Frequencies) {
  EXPECT_EQ(k01::carrierFrequency(0, 0, 0), 1575420000.0);
  EXPECT_EQ(k01::carrierFrequency(5, 6, 0), 1207140000.0);
  EXPECT_EQ(k01::carrierFrequency(2, 0, -7), 1602000000.0 - 7 * 562500.0);
  EXPECT_EQ(k01::carrierFrequency(2, 1, 3), 1246000000.0 + 3 * 437500.0);
  EXPECT_EQ(k01::carrierFrequency(2, 2, 0), 0.0);
  EXPECT_EQ(k01::carrierFrequency(0, 9, 0), 0.0);
}

}  // namespace
