// Raw type-27 records and what the library makes of them: the transcoders
// of the compressed multi-signal records (36, 37, 38, 39), every rebuilt
// record compared with the raw record built independently from the same
// field values; the expansion (parsing, derived Doppler across epochs, the
// Doppler store, records that exceed the structure); the conversions of
// expanded measurements to type 17 (L2 modes) and of precise positions to
// type 11.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>

#include "k01lib/expand_state.h"
#include "k01lib/multisignal_encoder.h"
#include "k01lib/multisignal_state.h"

namespace {

using Bytes = std::vector<uint8_t>;
using MsEpoch = k01::k01_ms_epoch_t;
using MsSat = k01::k01_ms_sat_t;
using MsSignal = k01::k01_ms_signal_t;

Bytes raw27(const MsEpoch& e) { return k01::buildRaw27Record(e); }

// The library's encoder in its forced forms: 38 key, 36/37 delta, 39 phase only.
Bytes encodeAs(k01::k01_ms_encoder_t& enc, const MsEpoch& e, int type) {
  const Bytes raw = raw27(e);
  Bytes out;
  if (type == 38) enc.key(raw.data(), raw.size(), out);
  if (type == 36 || type == 37) enc.delta(raw.data(), raw.size(), type == 36, out);
  if (type == 39) enc.phaseOnly(raw.data(), raw.size(), out);
  return out;
}

MsSignal sig(uint8_t band, uint8_t type, int64_t range, int64_t phase, uint8_t flags = 0, int32_t doppler = 0) {
  MsSignal g;
  g.band = band; g.further = type; g.value16 = 450; g.range = range; g.phase = phase; g.flags = flags;
  g.doppler = doppler;
  return g;
}

MsEpoch baseEpoch() {
  MsEpoch e;
  e.week = 2100; e.time = 345600000; e.clock = 1234;
  MsSat a, b;
  a.sv = 5; a.byte5 = 3;
  a.signals = {sig(0, 0, 2890000000LL, 100000000LL, 0x04, 512), sig(1, 1, -300, 77000000LL, 0x04, 400)};
  b.sv = 12; b.system = 2; b.channel = -3;
  b.signals = {sig(0, 0, 2700000000LL, -5000000LL)};
  e.sats = {a, b};
  return e;
}

// The record with its length byte set.
Bytes Framed(Bytes r) {
  r[1] = static_cast<uint8_t>(r.size());
  return r;
}

struct Transcoder {
  k01::k01_ms_history_t h{};
  k01::k01_record_t out{};
  k01::k01_ms_encoder_t enc;
  uint8_t run(const Bytes& rec, bool verify = true) {
    k01::k01_record_t in{};
    std::memcpy(in.bytes, rec.data(), rec.size());
    in.length = static_cast<uint16_t>(rec.size());
    switch (rec[2]) {
      case 36: return k01::transcodeMultiSignal36(in, out, h, verify);
      case 37: return k01::transcodeMultiSignal37(in, out, h, verify);
      case 38: return k01::transcodeKeyEpoch38(in, out, h);
      default: return k01::transcodePhaseDelta39(in, out, h);
    }
  }
  // Encodes the epoch as `type` and transcodes it.
  uint8_t run(const MsEpoch& e, int type) {
    const Bytes rec = encodeAs(enc, e, type);
    return rec.empty() ? 0xFF : run(rec);
  }
  Bytes output() const { return Bytes(out.bytes, out.bytes + out.length); }
};

TEST(MultiSignalKeyEpoch, Length200BecomesRaw27OfLength201) {
  // 18 bytes of header and checksum, a block of 6 plain signals (100 bytes),
  // a block of 4 signals with Doppler (82 bytes).
  MsEpoch e = baseEpoch();
  e.sats[0].signals.assign(6, sig(1, 2, 10, 20));
  e.sats[0].signals[0] = sig(0, 0, 2890000000LL, 20);
  e.sats[1].signals.assign(4, sig(1, 2, -5, 7, 0x04, -9));
  e.sats[1].signals[0] = sig(0, 0, 2700000000LL, 7, 0x04, -9);
  Transcoder t;
  Bytes key = encodeAs(t.enc, e, 38);
  ASSERT_EQ(key.size(), 200u);
  key.back() ^= 0x5A;  // the carried checksum is recomputed, never compared
  ASSERT_EQ(t.run(key), k01::kMsOk);
  const Bytes out = t.output();
  ASSERT_EQ(out.size(), 201u);
  EXPECT_EQ((Bytes{out[1], out[2], out[3], out[200]}), (Bytes{201, 27, 0, 0x03}));
  uint32_t sum = 0;
  for (size_t i = 0; i < 198; ++i) sum += out[i];
  EXPECT_EQ(out[198] << 8 | out[199], sum & 0xFFFF);
  EXPECT_EQ(out, raw27(e));
}

// Deltas after a key epoch rebuild exactly the raw record of their values.
TEST(MultiSignalDelta, SequenceRebuildsEveryEpoch) {
  MsEpoch e = baseEpoch();
  e.flags = 0x20; e.extCode = 4;  // with an extension block
  e.ext = {{1, 5}, {2, -70000}, {3, 1LL << 40}};
  Transcoder t;
  ASSERT_EQ(t.run(e, 38), k01::kMsOk);
  const int64_t ext[][3] = {{6, -70000, 1LL << 40}, {200, -69000, -1}, {200, 3, 0}};
  for (int k = 1; k <= 6; ++k) {
    SCOPED_TRACE(k);
    e.time += 1000; e.clock += 37 * k;
    for (MsSat& s : e.sats)
      for (MsSignal& g : s.signals) {
        g.phase += 1575000 * 32768LL / 1000 + k * 7;
        g.range += (g.range > 0 ? 1200 : 3);
        g.doppler += k;
      }
    if (k <= 3)
      for (int i = 0; i < 3; ++i) e.ext[i].value = ext[k - 1][i];
    if (k == 2) e.sats[0].signals[1].status = 1;      // status step +1
    if (k == 3) e.sats[1].signals[0].value16 = 9000;  // value far away: raw
    if (k == 4) {                                     // a third satellite appears
      MsSat c;
      c.sv = 30; c.system = 1;
      c.signals = {sig(0, 0, 1200000000LL, 1), sig(5, 3, -200000, 2, 0x84, 7)};
      c.signals[1].extra = 0x01;  // extended range difference
      e.sats.push_back(c);
    }
    if (k == 5) { e.week = 2101; e.flags = 0x32; e.field3 = 0x123456; e.field1 = 9; }  // header fields change
    if (k == 6) e.sats.erase(e.sats.begin());  // a satellite is lost
    ASSERT_EQ(t.run(e, 36), k01::kMsOk);
    EXPECT_EQ(t.output(), raw27(e));
  }
}

TEST(MultiSignalDelta, ShortFormWithoutDoppler) {
  MsEpoch e = baseEpoch();
  for (MsSat& s : e.sats)
    for (MsSignal& g : s.signals) g.flags = 0;
  Transcoder t;
  ASSERT_EQ(t.run(e, 38), k01::kMsOk);
  for (int k = 0; k < 3; ++k) {
    e.time += 200;
    e.sats[0].signals[0].phase += 40000 + k;
    e.sats[1].signals[0].range -= 77;
    const Bytes rec = encodeAs(t.enc, e, 37);
    ASSERT_EQ(rec[2], 37);
    ASSERT_EQ(t.run(rec), k01::kMsOk);
    EXPECT_EQ(t.output(), raw27(e));
  }
}

TEST(MultiSignalDelta, BadFieldsAndCountsAreStatuses) {
  Transcoder t;
  // 37: H = 0x81 (header fields, one more satellite than the zeroed
  // reference), a block whose signal has Q0 bit 7 and a flags byte 0x80
  // announcing an extra-flags byte.
  EXPECT_EQ(t.run(Framed({0x02, 0, 37, 0, 0x81, 12, 0x08, 0x34, 0x00, 0x81, 8, 0, 7, 0, 0, 1, 0x80, 0x00, 17, 0, 0,
                          0x80, 0, 0})),
            k01::kMsBadField);
  ASSERT_EQ(t.run(baseEpoch(), 38), k01::kMsOk);
  // 36: H = 0, P = 0x01, block bytes sv 5, system 0, channel 0, 7 signals.
  EXPECT_EQ(t.run(Framed({0x02, 0, 36, 0, 0x00, 0x01, 5, 0, 0, 7, 0, 0, 0, 0, 0, 0})), k01::kMsBadField);
  k01::k01_ms_encoder_t fresh;
  Bytes key = encodeAs(fresh, baseEpoch(), 38);
  key[14] = 89;  // a key epoch of 89 satellites
  EXPECT_EQ(t.run(key), k01::kMsSatCount);
  EXPECT_EQ(t.run(Framed({0x02, 0, 36, 0, 0x04, 89, 0, 0})), k01::kMsSatCount);  // a raw count step to 89
}

TEST(MultiSignalDelta, TruncatedOrBadRecordLeavesHistory) {
  MsEpoch e = baseEpoch();
  Transcoder t;
  ASSERT_EQ(t.run(e, 38), k01::kMsOk);
  e.time += 1000;
  e.sats[0].signals[0].phase += 123456;
  const Bytes good = encodeAs(t.enc, e, 36);
  for (size_t cut = 5; cut + 1 < good.size(); cut += 3) {
    Bytes shortRec(good.begin(), good.begin() + static_cast<long>(cut));
    shortRec[1] = static_cast<uint8_t>(cut);
    EXPECT_NE(t.run(shortRec), k01::kMsOk) << cut;
  }
  Bytes longer = good;  // a length byte beyond the bytes the buffer holds
  longer[1] = static_cast<uint8_t>(good.size() + 10);
  EXPECT_EQ(t.run(longer), k01::kMsOverrun);
  Bytes badSum = good;
  badSum.back() ^= 1;
  EXPECT_EQ(t.run(badSum, true), k01::kMsChecksum);
  ASSERT_EQ(t.run(good), k01::kMsOk);
  EXPECT_EQ(t.output(), raw27(e));
}

TEST(MultiSignalPhaseDelta, RangeCarriedAlongOneWavelength) {
  MsEpoch e = baseEpoch();
  e.sats.resize(1);
  const int64_t first = 2890000000LL;  // units of 2^-7 m
  e.sats[0].signals = {sig(0, 0, first, 0), sig(1, 2, 1000, 0)};
  Transcoder t;
  ASSERT_EQ(t.run(e, 38), k01::kMsOk);
  e.time += 1000;
  e.sats[0].signals[0].phase += 32768;      // one cycle on band 0
  e.sats[0].signals[1].phase += 2 * 32768;  // two cycles on band 1
  // Band 0: 0.19029367279836487 m is 24.36 units: 24 fewer. Band 1: the
  // difference to the first changes by (0.1875 - 2 x 0.24421021342456825) x
  // 256 = -77.04: 77 fewer.
  e.sats[0].signals[0].range = first - 24;
  e.sats[0].signals[1].range = 1000 - 77;
  const Bytes rec = encodeAs(t.enc, e, 39);
  ASSERT_EQ(rec.size(), 4u + 1 + 1 + 2 * 4 + 2);  // H, time byte, 2 x (S, 3 phase bytes), checksum
  ASSERT_EQ(t.run(rec), k01::kMsOk);
  const uint8_t* o = t.out.bytes + 16 + 8;  // first signal entry
  EXPECT_EQ((uint32_t{o[5]} << 24) | (o[6] << 16) | (o[7] << 8) | o[8], static_cast<uint32_t>(first - 24));
  EXPECT_EQ(static_cast<int16_t>((o[17 + 5] << 8) | o[17 + 6]), 1000 - 77);
  EXPECT_EQ(t.output(), raw27(e));
  MsEpoch off = e;  // any other range cannot go as a phase-only epoch
  off.time += 1000;
  off.sats[0].signals[0].range += 1;
  EXPECT_TRUE(encodeAs(t.enc, off, 39).empty());
  e.time += 1000;  // the next delta predicts from the carried values
  e.sats[0].signals[0].range -= 30;
  ASSERT_EQ(t.run(e, 36), k01::kMsOk);
  EXPECT_EQ(t.output(), raw27(e));
}

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
  g.band = band; g.further = type; g.range = range; g.phase = phase;
  return g;
}

// One GPS satellite (sv 7) with an L1 signal.
MsEpoch epoch(uint32_t time, int32_t clock, int64_t phase, uint8_t status = 0) {
  MsEpoch e;
  e.time = time; e.clock = clock;
  MsSat s;
  s.sv = 7;
  s.signals = {signal(0, 0, 2560000000LL, phase)};
  s.signals[0].status = status;
  e.sats = {s};
  return e;
}

TEST(ExpandParse, FieldsScalesAndLength) {
  MsEpoch e = epoch(345600000, -(1 << 18), 3 * kCycle / 2);
  e.flags = 0x12; e.field1 = 0x5A;
  e.field3 = 0x300000;  // 3 * 2^20 units of 2^-22
  e.sats[0].byte6 = 21;
  e.sats[0].signals[0].flags = 0x04;
  e.sats[0].signals[0].doppler = -512;  // -2 Hz
  MsSignal l5 = signal(2, 3, -0x10000, 0);  // extended: -256 m
  l5.flags = 0x80; l5.extra = 0x01;
  e.sats[0].signals.push_back(signal(1, 1, -512, 0));  // 2 m below L1
  e.sats[0].signals.push_back(l5);
  MsSat glo;
  glo.sv = 3; glo.system = 1;  // coarser first range
  glo.signals = {signal(0, 0, 64, 0)};
  e.sats.push_back(glo);
  Expander x;
  const uint16_t length = x.run(e);
  EXPECT_EQ(length, 4 + 22 + 20 + 27 + 27 + 28 + 27);  // two SV blocks, four signals
  EXPECT_EQ(Bytes(x.header, x.header + 4),
            (Bytes{'t', static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), 27}));
  const k01_meas27_t& m = *x.out;
  EXPECT_EQ(std::tuple(m.time, m.clockOffset, m.clockValue2, int(m.byteF4), int(m.sv[0].wordB)),
            std::tuple(345600000.0, -0.5f, 0.75f, 0x5A, 42));
  EXPECT_EQ(std::tuple(x.sig(0, 0).range, x.sig(0, 0).phase, x.sig(0, 0).doppler), std::tuple(20000000.0, 1.5, -2.0f));
  EXPECT_EQ(std::tuple(x.sig(0, 1).range, x.sig(0, 2).range, int(x.sig(0, 2).size), x.sig(1, 0).range),
            std::tuple(20000000.0 - 2.0, 20000000.0 - 256.0, 28, 1.0));
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
  first.sv = 20; first.signals = {signal(0, 0, 1, 0)};
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

// Carrier frequencies of the expansion and wavelengths of the transcoders,
// by system or band and signal type; unknown ones are 0.
TEST(ExpandCarrier, FrequenciesAndWavelengths) {
  EXPECT_EQ(k01::carrierFrequency(0, 0, 0), 1575420000.0);
  EXPECT_EQ(k01::carrierFrequency(5, 6, 0), 1207140000.0);
  EXPECT_EQ(k01::carrierFrequency(2, 0, -7), 1602000000.0 - 7 * 562500.0);
  EXPECT_EQ(k01::carrierFrequency(2, 1, 3), 1246000000.0 + 3 * 437500.0);
  EXPECT_EQ(k01::carrierFrequency(2, 2, 0), 0.0);
  EXPECT_EQ(k01::carrierFrequency(0, 9, 0), 0.0);
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(0, 0, 0), 0.19029367279836487);
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(3, 6, 0), 0.2483493695843067);
  EXPECT_EQ(k01::carrierWavelength(0, 9, 0), 0.0);
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(2, 0, -7), 299792458.0 / (1602000000.0 - 7 * 562500.0));
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(2, 1, 6), 299792458.0 / (1246000000.0 + 6 * 437500.0));
  EXPECT_EQ(k01::carrierWavelength(2, 2, 0), 0.0);
}

k01_signal27_t sig27(uint8_t band, uint8_t type, double range, double phase, uint8_t g = 0) {
  k01_signal27_t s{};
  s.size = 27; s.band = band; s.signalType = type; s.snr = 455; s.range = range; s.phase = phase; s.flagsG = g;
  return s;
}

std::unique_ptr<k01_meas27_t> emptyMeas() {
  auto m = std::make_unique<k01_meas27_t>();
  std::memset(m.get(), 0, sizeof *m);
  return m;
}

void addSv(k01_meas27_t& m, uint8_t sv, uint8_t system, std::initializer_list<k01_signal27_t> sigs) {
  k01_sv27_t& b = m.sv[m.svCount++];
  b.size = 10; b.svNumber = sv; b.system = system; b.wordA = 11; b.wordB = 22;
  for (const auto& s : sigs) b.signal[b.signalCount++] = s;
}

struct Converted {
  std::unique_ptr<k01_meas17_t> out = std::make_unique<k01_meas17_t>();
  uint8_t header[4] = {};
  uint16_t length = 0;
};

Converted convert(const k01_meas27_t& m, int mode) {
  Converted c;
  c.length = k01::convertMeasurements27To17(c.header, &m, c.out.get(), mode);
  return c;
}

// L1 at 20,000,000 m with Doppler; L2E (type 2) 3 m further, L2C (type 1) 5 m.
TEST(Convert27To17, L2ModesChooseOneSignal) {
  const struct {
    int mode;
    bool withL2C;
    double phase2;  // 0: no second frequency
  } cases[] = {{0, true, 200.0}, {1, true, 300.0}, {2, true, 200.0}, {3, true, 300.0},
               {0, false, 200.0}, {1, false, 0.0}, {2, false, 200.0}, {3, false, 200.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode * 10 + c.withL2C);
    auto m = emptyMeas();
    m->time = 5000.0; m->clockOffset = 0.25f;
    addSv(*m, 9, 0, {sig27(0, 0, 2e7, 100.0, 0x04 | 0x08), sig27(1, 2, 2e7 + 3, 200.0, 0x08),
                     sig27(1, 1, 2e7 + 5, 300.0)});
    m->sv[0].signal[0].doppler = -42.5f;
    if (!c.withL2C) m->sv[0].signalCount = 2;
    const Converted r = convert(*m, c.mode);
    const k01_meas17_sv_t& sv = r.out->sv[0];
    EXPECT_EQ(std::tuple(r.out->time, r.out->clockTerm, sv.word2, sv.range1, sv.doppler1, int(sv.byte3)),
              std::tuple(5000.0, 0.25, 22, 2e7, -42.5, 3));
    EXPECT_DOUBLE_EQ(sv.snr1, 45.5);
    const uint16_t length = c.phase2 == 0.0 ? 21 + 48 : 21 + 48 + 24;
    EXPECT_EQ(r.length, length);
    EXPECT_EQ(Bytes(r.header, r.header + 4), (Bytes{'t', uint8_t(length), 0, 17}));
    if (c.phase2 == 0.0) {
      EXPECT_EQ(sv.flags & 0x01, 0);
      continue;
    }
    EXPECT_EQ(sv.phase2, c.phase2);
    EXPECT_DOUBLE_EQ(sv.snr2, 45.5);
    // L2E: flags 0xC0 | 0x02 | 0x08 from L1, | 0x21, | 0x04 for its broken
    // continuity; byte 2 loses 0x02 and gains 0x04.
    const bool l2e = c.phase2 == 200.0;
    EXPECT_EQ(sv.flags, l2e ? 0xC0 | 0x02 | 0x21 | 0x04 : 0xC0 | 0x02 | 0x21);
    EXPECT_EQ(sv.status, l2e ? 0x04 : 0x02);
    EXPECT_EQ(sv.value2, l2e ? 3.0 : 5.0);
  }
}

TEST(Convert27To17, MoreThan24GpsBlocksKeepsTheFirst24) {
  auto m = emptyMeas();
  for (int i = 0; i < 30; ++i) addSv(*m, static_cast<uint8_t>(i + 1), 0, {sig27(0, 0, 1, 1)});
  const Converted r = convert(*m, 3);
  EXPECT_EQ(r.out->svCount, 24);
  EXPECT_EQ(r.out->sv[23].svNumber, 24);
  EXPECT_EQ(r.length, 21 + 24 * 48);
  EXPECT_EQ(r.header[1], (21 + 24 * 48) & 0xFF);
  EXPECT_EQ(r.header[2], (21 + 24 * 48) >> 8);
  EXPECT_EQ(k01::convertMeasurements27To17(nullptr, m.get(), nullptr, 3), 0);
}

std::unique_ptr<k01_pos29_t> position29() {
  auto p = std::make_unique<k01_pos29_t>();
  std::memset(p.get(), 0, sizeof *p);
  p->time = 123456; p->latitude = 45.0; p->longitude = -90.0; p->height = 250.5; p->value40 = 1.5;
  p->value56 = 3.5; p->values[0] = 0.5f; p->values[1] = 2.0f; p->values[2] = 7.0f;
  return p;
}

TEST(Convert29To11, ValuesAndLists) {
  auto p = position29();
  p->svCount = 4; p->secondCount = 2;
  const uint8_t triples[] = {5, 0, 0x02, 6, 0, 0x00, 7, 2, 0x03, 8, 0, 0x02};
  std::memcpy(p->svEntries, triples, sizeof triples);
  auto out = std::make_unique<k01_pos11_t>();
  std::memset(out.get(), 0xEE, sizeof *out);
  uint8_t header[4];
  EXPECT_EQ(k01::convertPosition29To11(header, p.get(), out.get()), 86);
  EXPECT_EQ(Bytes(header, header + 4), (Bytes{'t', 86, 0, 11}));
  EXPECT_EQ(std::tuple(out->latitude, out->longitude, out->height, out->value6, out->value7, out->value9),
            std::tuple(0.25, -0.5, 250.5, 7.0, 1.5, 3.5));
  EXPECT_EQ(std::tuple(out->time, int(out->count)), std::tuple(123456u, 2));
  EXPECT_DOUBLE_EQ(out->value4, 0.5 * 299792.458);
  EXPECT_DOUBLE_EQ(out->value5, 2.0 / 1000000.0 * 299792458.0 / 0.19029367279836487);
  // Positions 0 and 1 go to the flagged satellites 5 and 7 (GLONASS: +51).
  EXPECT_EQ(Bytes(out->lists, out->lists + 5), (Bytes{0, 1, 5, 58, 0xEE}));
}

TEST(Convert29To11, StatusByteTable) {
  const struct {
    uint8_t v, s, k, w, expected;
  } cases[] = {
      {0, 1, 0, 0, 0x00}, {0, 3, 0, 0, 0x02}, {0, 4, 0, 0, 0x03}, {0, 5, 5, 0, 0x45}, {0, 5, 3, 0, 0x44},
      {0, 9, 0, 0, 0x00}, {0, 1, 1, 0, 0x10}, {0, 1, 2, 0, 0x50}, {0, 1, 7, 3, 0x30}, {0, 3, 0, 3, 0x22},
      {1, 4, 4, 0, 0xCB}, {1, 5, 6, 0, 0xCD}, {1, 1, 2, 0, 0x50},
  };
  for (const auto& c : cases) {
    auto p = position29();
    p->byte11 = c.v; p->byte16 = c.s; p->modeByte = c.k; p->byte18 = c.w;
    k01_pos11_t out{};
    uint8_t header[4];
    k01::convertPosition29To11(header, p.get(), &out);
    EXPECT_EQ(out.byte41, c.expected) << int(c.v) << " " << int(c.s) << " " << int(c.k) << " " << int(c.w);
  }
}

TEST(Convert29To11, CountsBeyondTheListsAndMissingStructures) {
  auto p = position29();
  p->secondCount = 88; p->svCount = 200;  // more triples than the slot holds
  for (int i = 0; i < k01_pos29_t::kSvSlots; ++i) {
    p->svEntries[3 * i] = static_cast<uint8_t>(i + 1);
    p->svEntries[3 * i + 2] = 0x02;
  }
  k01_pos11_t out{};
  uint8_t header[4];
  EXPECT_EQ(k01::convertPosition29To11(header, p.get(), &out), 82 + 2 * 32);
  EXPECT_EQ(out.count, 32);
  EXPECT_EQ(out.lists[31], 31);
  EXPECT_EQ(out.lists[63], 32);
  EXPECT_EQ(k01::convertPosition29To11(header, nullptr, &out), 0);
  EXPECT_EQ(k01::convertPosition29To11(header, p.get(), nullptr), 0);
}

}  // namespace
