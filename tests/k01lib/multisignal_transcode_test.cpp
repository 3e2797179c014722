// Transcoders of the compressed multi-signal records (36, 37, 38, 39):
// every rebuilt record is compared with the raw type-27 record built
// independently from the same field values.
#include <gtest/gtest.h>

#include <cstring>

#include "k01lib/multisignal_encoder.h"
#include "k01lib/multisignal_state.h"

namespace {

using MsBytes = std::vector<uint8_t>;
using MsEpoch = k01::k01_ms_epoch_t;
using MsSat = k01::k01_ms_sat_t;
using MsSignal = k01::k01_ms_signal_t;

MsBytes raw27(const MsEpoch& e) { return k01::buildRaw27Record(e); }

// The library's encoder in its forced forms, taking field values.
struct MsEncoder {
  k01::k01_ms_encoder_t enc;
  MsBytes form(const MsEpoch& e, int type) {
    const MsBytes raw = raw27(e);
    MsBytes out;
    if (type == 38) enc.key(raw.data(), raw.size(), out);
    if (type == 36 || type == 37) enc.delta(raw.data(), raw.size(), type == 36, out);
    if (type == 39) enc.phaseOnly(raw.data(), raw.size(), out);
    return out;
  }
  MsBytes key(const MsEpoch& e) { return form(e, 38); }
  MsBytes delta(const MsEpoch& e, bool full) { return form(e, full ? 36 : 37); }
  MsBytes phaseOnly(const MsEpoch& e) { return form(e, 39); }
};

k01::k01_record_t toRecord(const MsBytes& b) {
  k01::k01_record_t r{};
  std::memcpy(r.bytes, b.data(), b.size());
  r.length = static_cast<uint16_t>(b.size());
  return r;
}

MsBytes fromRecord(const k01::k01_record_t& r) { return MsBytes(r.bytes, r.bytes + r.length); }

MsSignal sig(uint8_t band, uint8_t type, int64_t range, int64_t phase, uint8_t flags = 0,
             int32_t doppler = 0) {
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
  MsSat a;
  a.sv = 5;
  a.byte5 = 3;
  a.signals = {sig(0, 0, 2890000000LL, 100000000LL, 0x04, 512),
               sig(1, 1, -300, 77000000LL, 0x04, 400)};
  MsSat b;
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
  uint8_t run(const MsBytes& rec, bool verify = true) {
    const k01::k01_record_t in = toRecord(rec);
    switch (rec[2]) {
      case 36: return k01::transcodeMultiSignal36(in, out, h, verify);
      case 37: return k01::transcodeMultiSignal37(in, out, h, verify);
      case 38: return k01::transcodeKeyEpoch38(in, out, h);
      default: return k01::transcodePhaseDelta39(in, out, h);
    }
  }
};

TEST(MultiSignalKeyEpoch, Length200BecomesRaw27OfLength201) {
  // 18 bytes of header and checksum, a block of 6 plain signals (100 bytes)
  // and a block of 4 signals with Doppler (82 bytes): 200 bytes without the
  // end byte.
  MsEpoch e = baseEpoch();
  e.sats.resize(2);
  e.sats[0].signals.assign(6, sig(1, 2, 10, 20));
  e.sats[0].signals[0] = sig(0, 0, 2890000000LL, 20);
  e.sats[1].signals.assign(4, sig(1, 2, -5, 7, 0x04, -9));
  e.sats[1].signals[0] = sig(0, 0, 2700000000LL, 7, 0x04, -9);
  MsEncoder enc;
  MsBytes key = enc.key(e);
  ASSERT_EQ(key.size(), 200u);
  key[key.size() - 1] ^= 0x5A;  // the carried checksum is recomputed, never compared
  Transcoder t;
  ASSERT_EQ(t.run(key), k01::kMsOk);
  const MsBytes out = fromRecord(t.out);
  ASSERT_EQ(out.size(), 201u);
  EXPECT_EQ(out[1], 201);
  EXPECT_EQ(out[2], 27);
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(out[200], 0x03);
  uint32_t sum = 0;
  for (size_t i = 0; i < 198; ++i) sum += out[i];
  EXPECT_EQ(out[198], (sum >> 8) & 0xFF);
  EXPECT_EQ(out[199], sum & 0xFF);
  EXPECT_EQ(out, raw27(e));
}

// A sequence of epochs after a key epoch: each delta must rebuild exactly
// the raw record of its field values, through the prediction history.
TEST(MultiSignalDelta, SequenceRebuildsEveryEpoch) {
  std::vector<MsEpoch> epochs;
  MsEpoch e = baseEpoch();
  epochs.push_back(e);
  for (int k = 1; k <= 6; ++k) {
    e.time += 1000;
    e.clock += 37 * k;
    for (MsSat& s : e.sats)
      for (MsSignal& g : s.signals) {
        g.phase += 1575000 * 32768LL / 1000 + k * 7;  // steady phase rate plus a small drift
        g.range += (g.range > 0 ? 1200 : 3);
        g.doppler += k;
      }
    if (k == 2) e.sats[0].signals[1].status = 1;          // status step +1
    if (k == 3) e.sats[1].signals[0].value16 = 9000;      // value far away: raw
    if (k == 4) {                                         // a third satellite appears
      MsSat c;
      c.sv = 30;
      c.system = 1;
      c.signals = {sig(0, 0, 1200000000LL, 1), sig(5, 3, 100, 2, 0x84, 7)};
      c.signals[1].extra = 0x01;                          // extended range difference
      c.signals[1].range = -200000;
      e.sats.push_back(c);
    }
    if (k == 5) {                                         // week and header flags change
      e.week = 2101;
      e.flags = 0x12;
      e.field3 = 0x123456;
      e.field1 = 9;
    }
    if (k == 6) e.sats.erase(e.sats.begin());             // a satellite is lost
    epochs.push_back(e);
  }
  MsEncoder enc;
  Transcoder t;
  ASSERT_EQ(t.run(enc.key(epochs[0])), k01::kMsOk);
  for (size_t i = 1; i < epochs.size(); ++i) {
    SCOPED_TRACE(i);
    const MsBytes rec = enc.delta(epochs[i], true);
    ASSERT_FALSE(rec.empty());
    ASSERT_EQ(t.run(rec), k01::kMsOk);
    EXPECT_EQ(fromRecord(t.out), raw27(epochs[i]));
  }
}

TEST(MultiSignalDelta, ExtensionBlockFollowsItsValues) {
  MsEpoch e = baseEpoch();
  e.flags = 0x20;
  e.extCode = 4;
  e.ext = {{1, 5}, {2, -70000}, {3, 1LL << 40}};
  MsEncoder enc;
  Transcoder t;
  ASSERT_EQ(t.run(enc.key(e)), k01::kMsOk);
  const int64_t next[][3] = {{6, -70000, 1LL << 40}, {200, -69000, -1}, {200, 3, 0}};
  for (const auto& v : next) {
    e.time += 500;
    for (int i = 0; i < 3; ++i) e.ext[i].value = v[i];
    const MsBytes rec = enc.delta(e, true);
    ASSERT_EQ(t.run(rec), k01::kMsOk);
    EXPECT_EQ(fromRecord(t.out), raw27(e));
  }
}

TEST(MultiSignalDelta, ShortFormWithoutDoppler) {
  MsEpoch e = baseEpoch();
  for (MsSat& s : e.sats)
    for (MsSignal& g : s.signals) g.flags = 0;
  MsEncoder enc;
  Transcoder t;
  ASSERT_EQ(t.run(enc.key(e)), k01::kMsOk);
  for (int k = 0; k < 3; ++k) {
    e.time += 200;
    e.sats[0].signals[0].phase += 40000 + k;
    e.sats[1].signals[0].range -= 77;
    const MsBytes rec = enc.delta(e, false);
    ASSERT_EQ(rec[2], 37);
    ASSERT_EQ(t.run(rec), k01::kMsOk);
    EXPECT_EQ(fromRecord(t.out), raw27(e));
  }
}

TEST(MultiSignalDelta, ShortFormAnnouncingExtraFlagsIsStatus7) {
  // 37: H = 0x81 (header fields follow, one more satellite than the
  // zeroed reference), then one block whose signal has Q0 bit 7 and a flags
  // byte 0x80 that announces an extra-flags byte.
  const MsBytes rec = {0x02, 0, 37, 0,
                       0x81, 12, 0x08, 0x34, 0x00,                 // H, header length, week, flags
                       0x81, 8, 0, 7, 0, 0, 1,                     // P, length, byte 7, sv, sys, ch, count
                       0x80, 0x00,                                 // Q0, Q1
                       17, 0, 0, 0x80,                             // entry length, band, type, flags
                       0, 0};
  MsBytes r = rec;
  r[1] = static_cast<uint8_t>(r.size());
  Transcoder t;
  EXPECT_EQ(t.run(r), k01::kMsBadField);
}

TEST(MultiSignalDelta, BadCountsAreStatusesNotOverflows) {
  MsEncoder enc;
  Transcoder t;
  ASSERT_EQ(t.run(enc.key(baseEpoch())), k01::kMsOk);
  // A block that announces 7 signals: H = 0 (two blocks as before), then
  // P = 0x01 with the block bytes sv 5, system 0, channel 0, count 7.
  MsBytes seven = {0x02, 0, 36, 0, 0x00, 0x01, 5, 0, 0, 7, 0, 0, 0, 0, 0, 0};
  seven[1] = static_cast<uint8_t>(seven.size());
  EXPECT_EQ(t.run(seven), k01::kMsBadField);

  // A key epoch claiming 89 satellites.
  MsBytes key = MsEncoder().key(baseEpoch());
  key[14] = 89;
  EXPECT_EQ(t.run(key), k01::kMsSatCount);

  // A delta raising the count to 89 by a raw step: H = 0x04, then 89.
  MsBytes d = {0x02, 0, 36, 0, 0x04, 89, 0, 0};
  d[1] = static_cast<uint8_t>(d.size());
  EXPECT_EQ(t.run(d), k01::kMsSatCount);
}

TEST(MultiSignalDelta, TruncatedOrBadRecordLeavesHistory) {
  MsEpoch e = baseEpoch();
  MsEncoder enc;
  Transcoder t;
  ASSERT_EQ(t.run(enc.key(e)), k01::kMsOk);
  e.time += 1000;
  e.sats[0].signals[0].phase += 123456;
  const MsBytes good = enc.delta(e, true);

  // Cut short: every length from the header to one byte before the end.
  for (size_t cut = 5; cut + 1 < good.size(); cut += 3) {
    MsBytes shortRec(good.begin(), good.begin() + static_cast<long>(cut));
    shortRec[1] = static_cast<uint8_t>(cut);
    EXPECT_NE(t.run(shortRec), k01::kMsOk) << cut;
  }
  // A length byte beyond the bytes the buffer holds.
  MsBytes longer = good;
  longer[1] = static_cast<uint8_t>(good.size() + 10);
  EXPECT_EQ(t.run(longer), k01::kMsOverrun);
  // A wrong carried checksum with verification on.
  MsBytes badSum = good;
  badSum[badSum.size() - 1] ^= 1;
  EXPECT_EQ(t.run(badSum, true), k01::kMsChecksum);

  // None of these touched the history: the good record still rebuilds.
  ASSERT_EQ(t.run(good), k01::kMsOk);
  EXPECT_EQ(fromRecord(t.out), raw27(e));
}

TEST(MultiSignalPhaseDelta, TimeByteAdvancesTenMillisecondsPerUnit) {
  MsEpoch e = baseEpoch();
  MsEncoder enc;
  Transcoder t;
  ASSERT_EQ(t.run(enc.key(e)), k01::kMsOk);
  e.time += 50;
  const MsBytes rec = enc.phaseOnly(e);
  ASSERT_EQ(rec[4] & 0x80, 0);
  ASSERT_EQ(rec[5], 5);
  ASSERT_EQ(t.run(rec), k01::kMsOk);
  const uint32_t time = (uint32_t{t.out.bytes[7]} << 24) | (t.out.bytes[8] << 16) |
                        (t.out.bytes[9] << 8) | t.out.bytes[10];
  EXPECT_EQ(time, 345600050u);
}

TEST(MultiSignalPhaseDelta, RangeCarriedAlongOneWavelength) {
  MsEpoch e = baseEpoch();
  e.sats.resize(1);
  const int64_t first = 2890000000LL;  // units of 2^-7 m
  e.sats[0].signals = {sig(0, 0, first, 0), sig(1, 2, 1000, 0)};
  MsEncoder enc;
  Transcoder t;
  ASSERT_EQ(t.run(enc.key(e)), k01::kMsOk);
  e.time += 1000;
  e.sats[0].signals[0].phase += 32768;      // one cycle on band 0
  e.sats[0].signals[1].phase += 2 * 32768;  // two cycles on band 1
  // The ranges the phase carries (below): only they make a phase-only epoch.
  e.sats[0].signals[0].range = first - 24;
  e.sats[0].signals[1].range = 1000 - 77;
  const MsBytes rec = enc.phaseOnly(e);
  ASSERT_EQ(rec.size(), 4u + 1 + 1 + 2 * 4 + 2);  // H, time byte, 2 x (S, 3 phase bytes), checksum
  ASSERT_EQ(t.run(rec), k01::kMsOk);

  // First signal: 0.19029367279836487 m is 24.36 units of 2^-7: 24 fewer.
  // Second: its range (1000/256 m above the first) falls by 2 x
  // 0.24421021342456825 m while the first falls by 24/128 m; the difference
  // changes by (0.1875 - 0.4884204268) x 256 = -77.04: 77 fewer units.
  const uint8_t* o = t.out.bytes + 16 + 8;  // first signal entry
  const uint32_t range0 = (uint32_t{o[5]} << 24) | (o[6] << 16) | (o[7] << 8) | o[8];
  EXPECT_EQ(range0, static_cast<uint32_t>(first - 24));
  const uint8_t* o1 = o + 17;               // second signal entry
  const int16_t diff = static_cast<int16_t>((o1[5] << 8) | o1[6]);
  EXPECT_EQ(diff, 1000 - 77);
  EXPECT_EQ(fromRecord(t.out), raw27(e));
  // Any other range cannot go as a phase-only epoch.
  MsEpoch off = e;
  off.time += 1000;
  off.sats[0].signals[0].range += 1;
  EXPECT_TRUE(enc.phaseOnly(off).empty());

  // The next delta epoch predicts from the carried values.
  e.time += 1000;
  e.sats[0].signals[0].range -= 30;
  ASSERT_EQ(t.run(enc.delta(e, true)), k01::kMsOk);
  EXPECT_EQ(fromRecord(t.out), raw27(e));
}

TEST(MultiSignalWavelength, Table) {
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(0, 0, 0), 0.19029367279836487);
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(3, 6, 0), 0.2483493695843067);
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(0, 8, 0), 0.188579315385767);
  EXPECT_EQ(k01::carrierWavelength(0, 9, 0), 0.0);
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(2, 0, -7), 299792458.0 / (1602000000.0 - 7 * 562500.0));
  EXPECT_DOUBLE_EQ(k01::carrierWavelength(2, 1, 6), 299792458.0 / (1246000000.0 + 6 * 437500.0));
  EXPECT_EQ(k01::carrierWavelength(2, 2, 0), 0.0);
}

}  // namespace
