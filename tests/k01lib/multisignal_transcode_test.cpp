// Transcoders of the compressed multi-signal records (36, 37, 38, 39): every
// rebuilt record is compared with the raw type-27 record built independently
// from the same field values.
#include <gtest/gtest.h>

#include <cstring>

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
  g.band = band;
  g.further = type;
  g.value16 = 450;
  g.range = range;
  g.phase = phase;
  g.flags = flags;
  g.doppler = doppler;
  return g;
}

MsEpoch baseEpoch() {
  MsEpoch e;
  e.week = 2100;
  e.time = 345600000;
  e.clock = 1234;
  MsSat a, b;
  a.sv = 5;
  a.byte5 = 3;
  a.signals = {sig(0, 0, 2890000000LL, 100000000LL, 0x04, 512), sig(1, 1, -300, 77000000LL, 0x04, 400)};
  b.sv = 12;
  b.system = 2;
  b.channel = -3;
  b.signals = {sig(0, 0, 2700000000LL, -5000000LL)};
  e.sats = {a, b};
  return e;
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
  EXPECT_EQ(out[1], 201);
  EXPECT_EQ(out[2], 27);
  EXPECT_EQ(out[200], 0x03);
  uint32_t sum = 0;
  for (size_t i = 0; i < 198; ++i) sum += out[i];
  EXPECT_EQ(out[198], (sum >> 8) & 0xFF);
  EXPECT_EQ(out[199], sum & 0xFF);
  EXPECT_EQ(out, raw27(e));
}

// Deltas after a key epoch rebuild exactly the raw record of their values.
TEST(MultiSignalDelta, SequenceRebuildsEveryEpoch) {
  MsEpoch e = baseEpoch();
  e.flags = 0x20;  // with an extension block
  e.extCode = 4;
  e.ext = {{1, 5}, {2, -70000}, {3, 1LL << 40}};
  Transcoder t;
  ASSERT_EQ(t.run(e, 38), k01::kMsOk);
  const int64_t ext[][3] = {{6, -70000, 1LL << 40}, {200, -69000, -1}, {200, 3, 0}};
  for (int k = 1; k <= 6; ++k) {
    SCOPED_TRACE(k);
    e.time += 1000;
    e.clock += 37 * k;
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
      c.sv = 30;
      c.system = 1;
      c.signals = {sig(0, 0, 1200000000LL, 1), sig(5, 3, -200000, 2, 0x84, 7)};
      c.signals[1].extra = 0x01;  // extended range difference
      e.sats.push_back(c);
    }
    if (k == 5) {  // week and header fields change
      e.week = 2101;
      e.flags = 0x32;
      e.field3 = 0x123456;
      e.field1 = 9;
    }
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
  Bytes extraFlags = {0x02, 0, 37, 0, 0x81, 12, 0x08, 0x34, 0x00, 0x81, 8, 0, 7, 0, 0, 1, 0x80, 0x00,
                      17, 0, 0, 0x80, 0, 0};
  extraFlags[1] = static_cast<uint8_t>(extraFlags.size());
  EXPECT_EQ(t.run(extraFlags), k01::kMsBadField);
  ASSERT_EQ(t.run(baseEpoch(), 38), k01::kMsOk);
  // 36: H = 0, P = 0x01, block bytes sv 5, system 0, channel 0, 7 signals.
  Bytes seven = {0x02, 0, 36, 0, 0x00, 0x01, 5, 0, 0, 7, 0, 0, 0, 0, 0, 0};
  seven[1] = static_cast<uint8_t>(seven.size());
  EXPECT_EQ(t.run(seven), k01::kMsBadField);
  k01::k01_ms_encoder_t fresh;
  Bytes key = encodeAs(fresh, baseEpoch(), 38);
  key[14] = 89;  // a key epoch of 89 satellites
  EXPECT_EQ(t.run(key), k01::kMsSatCount);
  Bytes d = {0x02, 0, 36, 0, 0x04, 89, 0, 0};  // a raw count step to 89
  d[1] = static_cast<uint8_t>(d.size());
  EXPECT_EQ(t.run(d), k01::kMsSatCount);
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

TEST(MultiSignalWavelength, Table) {
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(0, 0, 0), 0.19029367279836487);
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(3, 6, 0), 0.2483493695843067);
  EXPECT_EQ(k01::carrierWavelength(0, 9, 0), 0.0);
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(2, 0, -7), 299792458.0 / (1602000000.0 - 7 * 562500.0));
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(2, 1, 6), 299792458.0 / (1246000000.0 + 6 * 437500.0));
  EXPECT_EQ(k01::carrierWavelength(2, 2, 0), 0.0);
}

}  // namespace
