// Transcoders of the compressed type-17 family: rebuilt records against the
// raw records of the same epochs, the hand-built delta epoch of a stored
// prediction, the key epoch without end byte, history on failure and the
// statuses of damaged input.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "k01lib/meas17_encoder.h"
#include "k01lib/transcode_meas17.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Epoch = k01::k01_meas17_epoch_t;
using Predictor = k01::Meas17Predictor;
using Sat = k01::k01_meas17_sat_t;
using Encoder = k01::k01_meas17_encoder_t;
using Options = k01::k01_transcode17_options_t;
using History = std::unique_ptr<k01::k01_meas17_history_t>;

Encoder MakeEncoder(Predictor p, uint8_t capacity = 88) {
  k01::k01_meas17_encoder_options_t o;
  o.predictor = p;
  o.maxSatellites = capacity;
  return Encoder(o);
}
Bytes Key(Encoder& enc, const Epoch& e) {
  Bytes r;
  EXPECT_EQ(enc.key(e, r), k01::kEnc17Ok);
  return r;
}
Bytes Delta(Encoder& enc, const Epoch& e) {
  Bytes r;
  EXPECT_EQ(enc.delta(e, r), k01::kEnc17Ok);
  return r;
}
Bytes Raw(const Epoch& e) {
  Bytes r;
  EXPECT_TRUE(k01::buildRaw17Record(e, r));
  return r;
}

Sat MakeSat(uint8_t sv, uint8_t flags, uint8_t status, uint32_t range, int64_t phase, int32_t doppler) {
  Sat s;
  s.sv = sv;
  s.flags = flags;
  s.status = status;
  s.extra1 = 7;
  s.extra2 = 9;
  s.snr = 160;
  s.range = range;
  s.phase = phase;
  s.doppler = doppler;
  if (flags & 1) {
    s.snr2 = 120;
    s.phase2 = phase / 2;
    s.value2 = -300;
  }
  return s;
}

struct Rebuilt {
  uint8_t status = 0;
  Bytes bytes;
};

Rebuilt Transcode(k01::k01_meas17_history_t& h, const Bytes& in, const Options& options = {}) {
  k01::k01_record_t rin{}, rout{};
  std::memcpy(rin.bytes, in.data(), in.size());
  rin.length = static_cast<uint16_t>(in.size());
  Rebuilt r;
  r.status = k01::transcodeMeas17(h, rin, rout, options);
  r.bytes.assign(rout.bytes, rout.bytes + rout.length);
  return r;
}

History NewHistory() {
  auto h = std::make_unique<k01::k01_meas17_history_t>();
  k01::resetHistory(*h);
  return h;
}

// A key epoch, a steady delta epoch (flags as before: mode 1), then the
// flags patterns of mode 2 and of mode 3 (dual with bit 2, dual without,
// nothing). The generated logs of the encoder tests use modes 0 and 1 only.
std::vector<Epoch> Sequence(Predictor p) {
  auto dop = [&](int32_t d) { return p == Predictor::kLinear ? d : 0; };
  std::vector<Epoch> seq;
  Epoch e;
  e.time = 345600000;
  e.clock = -12345;
  e.sats = {MakeSat(5, 0xD0, 1, 2600000000u, 1000000000LL, dop(-4000)),
            MakeSat(12, 0xD1, 4, 2700000000u, -2000000000LL, dop(1500)),
            MakeSat(125, 0x5A, 2, 1300000000u, 300000000000LL, dop(20))};
  for (int k = 0; k < 4; ++k) {
    seq.push_back(e);
    e.time += 1000;
    e.clock += 37;
    for (Sat& s : e.sats) {
      s.range += 700 + 13 * k;
      s.phase += 250000 + 999 * k;
      s.phase2 += 190000;
      s.doppler = dop(s.doppler + 3);
      s.value2 += 2;
    }
    if (k == 1)
      for (Sat& s : e.sats) {
        s.flags = 0xD8 | (s.flags & 0x02);
        s.status = 0;
      }
    if (k == 2) {
      e.sats[0].flags = 0xFD; e.sats[0].status = 4; e.sats[0].snr2 = 99; e.sats[0].phase2 = 77;
      e.sats[1].flags = 0xF9; e.sats[1].status = 4;
      e.sats[2].flags = 0x00; e.sats[2].status = 0;
    }
  }
  return seq;
}

TEST(Transcode17, FlagsModesRebuildTheRawRecords) {
  for (Predictor p : {Predictor::kLinear, Predictor::kSmoothed}) {
    auto h = NewHistory();
    Encoder enc = MakeEncoder(p);
    const std::vector<Epoch> seq = Sequence(p);
    for (size_t i = 0; i < seq.size(); ++i) {
      const Bytes in = i == 0 ? Key(enc, seq[i]) : Delta(enc, seq[i]);
      if (i > 0) {
        EXPECT_EQ(enc.lastHeader() & 3, i) << i;  // modes 1, 2, 3 in turn
      }
      const Rebuilt r = Transcode(*h, in);
      ASSERT_EQ(r.status, 0) << i;
      EXPECT_EQ(r.bytes, Raw(seq[i])) << i;
    }
  }
}

TEST(Transcode17, RawPathIgnoresTheFlagsModeBits) {
  const std::vector<Epoch> seq = Sequence(Predictor::kLinear);
  Encoder enc = MakeEncoder(Predictor::kLinear, 24);
  enc.options().flagsMode = 0;
  const Bytes key = Key(enc, seq[0]);
  Bytes delta = Delta(enc, seq[1]);
  delta[3] |= 0x02;  // header byte claims flags mode 2
  Options rawPath;
  rawPath.flagsModeEnabled = false;
  rawPath.maxSatellites = 24;
  auto h = NewHistory(), h2 = NewHistory();
  ASSERT_EQ(Transcode(*h, key, rawPath).status, 0);
  EXPECT_EQ(Transcode(*h, delta, rawPath).bytes, Raw(seq[1]));
  ASSERT_EQ(Transcode(*h2, key).status, 0);
  EXPECT_NE(Transcode(*h2, delta).status, 0);  // mode 2 sends no flag bytes: the record does not fit
}

// Header byte 0: time and clock value from the prediction image, the
// previous satellite list, range raw, phase and Doppler copied, flags and
// status raw.
TEST(Transcode17, ZeroModesReproduceThePrediction) {
  Epoch key;
  key.time = 5000;
  key.clock = 0x012345;
  key.sats = {MakeSat(7, 0x10, 0, 1000000, 40000, -64), MakeSat(9, 0x10, 0, 2000000, -40000, 64)};
  auto h = NewHistory();
  Encoder enc = MakeEncoder(Predictor::kLinear);
  ASSERT_EQ(Transcode(*h, Key(enc, key)).status, 0);
  tb::Fields raw;
  raw.u32(5000).u24(0x012345);
  raw.u8(7).u8(0x52).u8(0x06).u8(7).u8(9).u8(160).u32(1000100).u48(40000).u24(static_cast<uint32_t>(-64)).u8(0);
  raw.u8(9).u8(0x10).u8(0x00).u8(7).u8(9).u8(160).u32(1999900).u48(static_cast<uint64_t>(-40000LL)).u24(64).u8(0);
  const Bytes expected = raw.record(17);
  // H, then per satellite F, G, range, flags, status; the rebuilt checksum; end.
  tb::Fields body;
  body.u8(66).u8(0x00).u8(0).u8(0).u32(1000100).u8(0x52).u8(0x06).u8(0).u8(0).u32(1999900).u8(0x10).u8(0);
  Bytes in = {0x02, 0};
  in.insert(in.end(), body.data().begin(), body.data().end());
  in.insert(in.end(), {expected[expected.size() - 3], expected[expected.size() - 2], 0x03});
  in[1] = static_cast<uint8_t>(in.size());
  const Rebuilt r = Transcode(*h, in);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.bytes, expected);
}

TEST(Transcode17, WrongCarriedChecksumLeavesTheHistory) {
  const std::vector<Epoch> seq = Sequence(Predictor::kLinear);
  Encoder enc = MakeEncoder(Predictor::kLinear);
  auto h = NewHistory();
  ASSERT_EQ(Transcode(*h, Key(enc, seq[0])).status, 0);
  ASSERT_EQ(Transcode(*h, Delta(enc, seq[1])).status, 0);
  Bytes bad = Delta(enc, seq[2]);
  bad[bad.size() - 2] ^= 0x40;
  const auto before = std::make_unique<k01::k01_meas17_history_t>(*h);
  const Rebuilt r = Transcode(*h, bad);
  EXPECT_EQ(r.status, k01::kT17Checksum);
  EXPECT_TRUE(r.bytes.empty());
  EXPECT_EQ(std::memcmp(h.get(), before.get(), sizeof *h), 0);
  Options noVerify;  // without verification the computed checksum is written
  noVerify.verify = false;
  EXPECT_EQ(Transcode(*h, bad, noVerify).bytes, Raw(seq[2]));
}

TEST(Transcode17, KeyEpochWithoutEndByte) {
  // Three dual-frequency satellites: 13 + 3 x 29 = 100 bytes, length byte 99.
  Epoch e;
  e.time = 7;
  e.sats = {MakeSat(1, 0xD1, 0, 10, 20, 0), MakeSat(2, 0xD1, 0, 30, 40, 0), MakeSat(3, 0xD1, 0, 50, 60, 0)};
  Encoder enc = MakeEncoder(Predictor::kSmoothed);
  const Bytes in = Key(enc, e);
  ASSERT_EQ(in.size(), 99u);
  ASSERT_EQ(in[1], 99);
  ASSERT_EQ(in[2], 69);
  auto h = NewHistory();
  const Rebuilt r = Transcode(*h, in);
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.bytes.size(), 100u);
  EXPECT_EQ(r.bytes[99], 0x03);
  EXPECT_EQ(r.bytes, Raw(e));
  EXPECT_EQ(h->previous.bytes[k01::img::kCount], 3);  // both images hold the epoch
  EXPECT_EQ(h->prediction.slot(2)[k01::img::kSv], 3);
  // 255 stored bytes stand for a 256-byte record: the long raw form.
  Epoch big;
  for (uint8_t sv = 1; sv <= 9; ++sv) big.sats.push_back(MakeSat(sv, sv <= 7 ? 0xD1 : 0xD0, 0, sv, sv, 0));
  const Bytes in2 = Key(enc, big);
  ASSERT_EQ(in2.size(), 255u);
  const Rebuilt r2 = Transcode(*h, in2);
  ASSERT_EQ(r2.bytes.size(), 256u);
  EXPECT_EQ(r2.bytes[1], 0);
  EXPECT_EQ(r2.bytes[2], 117);
}

TEST(Transcode17, DamagedRecordsGiveTheirStatus) {
  const std::vector<Epoch> seq = Sequence(Predictor::kLinear);
  Encoder enc = MakeEncoder(Predictor::kLinear);
  const Bytes key = Key(enc, seq[0]);
  enc.options().explicitList = true;
  enc.options().flagsMode = 0;
  const Bytes delta = Delta(enc, seq[1]);
  // 3 header, H, time (2), clock (1), count + 3 list bytes, then F.
  const size_t firstF = 3 + 1 + 2 + 1 + 4;
  ASSERT_EQ(delta[3] & 0x80, 0x80);
  auto cut = [&](size_t keep) {  // no checksum left: reads run out in the next field
    Bytes r(delta.begin(), delta.begin() + static_cast<long>(keep));
    r[1] = static_cast<uint8_t>(r.size());
    return r;
  };
  auto with = [&](size_t at, uint8_t v) {
    Bytes r = delta;
    r[at] = v;
    return r;
  };
  Bytes tooLong = delta;
  tooLong.insert(tooLong.end() - 3, 0x00);
  tooLong[1] = static_cast<uint8_t>(tooLong.size());
  Bytes manySats(delta.begin(), delta.begin() + 7);  // explicit list of 89
  manySats.push_back(89);
  manySats.insert(manySats.end(), 89, 1);
  manySats.insert(manySats.end(), {0, 0, 0x03});
  manySats[1] = static_cast<uint8_t>(manySats.size());
  const struct {
    const char* name;
    Bytes record;
    bool verify;
    uint8_t status;
  } cases[] = {
      {"no STX", with(0, 0x01), true, k01::kT17NoStx},
      {"no end byte", with(delta.size() - 1, 0x00), true, k01::kT17NoEnd},
      {"foreign type", with(2, 17), true, k01::kT17WrongType},
      {"byte left over", tooLong, true, k01::kT17Length},
      {"cut in the time field", cut(5), false, k01::kT17EpochHeader},
      {"cut in the satellite list", cut(9), false, k01::kT17SatelliteList},
      {"89 satellites", manySats, true, k01::kT17SatelliteList},
      {"cut at F", cut(firstF), false, k01::kT17StatusByte},
      {"cut after F", cut(firstF + 1), false, k01::kT17FirstFreq},
  };
  for (const auto& c : cases) {
    auto h = NewHistory();
    ASSERT_EQ(Transcode(*h, key).status, 0);
    Options options;
    options.verify = c.verify;
    const Rebuilt r = Transcode(*h, c.record, options);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_TRUE(r.bytes.empty()) << c.name;
  }
}

TEST(Transcode17, FieldStatusesOfTheSmoothedPredictor) {
  Epoch e;
  e.time = 1000;
  e.sats = {MakeSat(3, 0xD1, 0, 5000, 6000, 0)};
  Encoder enc = MakeEncoder(Predictor::kSmoothed);
  const Bytes key = Key(enc, e);
  // H = 0 (no list, time and clock copied, flags mode 0), F = 0, then G; no
  // checksum, so the reads run out inside the field under test.
  const struct {
    Bytes body;
    uint8_t status;
  } cases[] = {
      {{0x00, 0x00, 0x50}, k01::kT17FirstFreq},  // range mode 5: wider than the field
      {{0x00, 0x00, 0x09}, k01::kT17FirstFreq},  // phase mode 9
      {{0x00, 0x00, 0x00, 0xD1}, k01::kT17Flags},
      {{0x00, 0x00, 0x00, 0xD1, 0x00}, k01::kT17SecondFreq},
      {{0x00, 0x00, 0x00, 0xD1, 0x00, 0x02, 0x01}, k01::kT17SecondFreq},
  };
  for (const auto& c : cases) {
    Bytes r = {0x02, 0, 68};
    r.insert(r.end(), c.body.begin(), c.body.end());
    r[1] = static_cast<uint8_t>(r.size());
    auto h = NewHistory();
    ASSERT_EQ(Transcode(*h, key).status, 0);
    EXPECT_EQ(Transcode(*h, r).status, c.status) << c.body.size();
  }
}

TEST(Transcode17, KeyEpochStatuses) {
  Epoch e;
  e.time = 99;
  e.sats = {MakeSat(4, 0x10, 0, 1, 2, 3)};
  Encoder enc = MakeEncoder(Predictor::kLinear);
  const Bytes key = Key(enc, e);
  Bytes badSum = key;
  badSum[key.size() - 2] ^= 1;
  Bytes badSumNoEnd = badSum, badStx = key;
  badSumNoEnd.back() = 0;
  badStx[0] = 0;
  auto h = NewHistory();
  EXPECT_EQ(Transcode(*h, badSum).status, k01::kT17Checksum);
  EXPECT_EQ(Transcode(*h, badSumNoEnd).status, k01::kT17NoEnd);
  EXPECT_EQ(Transcode(*h, badStx).status, k01::kT17NoStx);
  EXPECT_EQ(h->previous.bytes[k01::img::kCount], 0);  // nothing loaded
}

// The raw path's images hold 24 satellites: a list of 25 fails, 24 rebuild.
TEST(Transcode17, RawPathCapacity) {
  Epoch e, first;
  for (uint8_t sv = 1; sv <= 24; ++sv) e.sats.push_back(MakeSat(sv, 0x10, 0, sv, sv, 0));
  first.sats.assign(e.sats.begin(), e.sats.begin() + 3);
  Options rawPath;
  rawPath.maxSatellites = 24;
  Bytes list25 = {0x02, 0, 66, 0x80, 25};
  for (uint8_t sv = 1; sv <= 25; ++sv) list25.push_back(sv);
  list25.insert(list25.end(), {0x00, 0x00, 0x03});
  list25[1] = static_cast<uint8_t>(list25.size());
  Encoder enc = MakeEncoder(Predictor::kLinear, 24);
  auto h = NewHistory();
  ASSERT_EQ(Transcode(*h, Key(enc, first), rawPath).status, 0);
  EXPECT_EQ(Transcode(*h, list25, rawPath).status, k01::kT17SatelliteList);
  const Rebuilt r = Transcode(*h, Delta(enc, e), rawPath);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.bytes, Raw(e));
}

}  // namespace
