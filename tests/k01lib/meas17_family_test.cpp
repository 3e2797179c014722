// The compressed type-17 family. The writer's encoder: hand-derived delta
// epochs of both predictors, its choice between key and delta epochs,
// raw-record parsing, and the library decoding every record it produces back
// into the raw record it came from. The transcoders: flags modes, the
// hand-built delta epoch of a stored prediction, the key epoch without end
// byte, the raw path, and the statuses of damaged input, which leave the
// history as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "common/raw_record.h"
#include "k01lib/decode_record.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/k01_writer.h"
#include "k01lib/meas17_encoder.h"
#include "k01lib/transcode_meas17.h"
#include "support/meas17_log.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using k01::k01_meas17_encoder_options_t;
using k01::k01_meas17_encoder_t;
using k01::k01_meas17_epoch_t;
using k01::k01_meas17_sat_t;
using k01::Meas17Predictor;
using Epoch = k01_meas17_epoch_t;
using Sat = k01_meas17_sat_t;
using Encoder = k01_meas17_encoder_t;
using TranscodeOptions = k01::k01_transcode17_options_t;
using History = std::unique_ptr<k01::k01_meas17_history_t>;
constexpr Meas17Predictor kLinear = Meas17Predictor::kLinear, kSmoothed = Meas17Predictor::kSmoothed;

k01_meas17_encoder_options_t Options(Meas17Predictor p, uint32_t keyInterval = 0, uint8_t satellites = 88) {
  k01_meas17_encoder_options_t o;
  o.predictor = p;
  o.keyInterval = keyInterval;
  o.maxSatellites = satellites;
  return o;
}

Bytes Raw(const k01_meas17_epoch_t& e) {
  Bytes r;
  EXPECT_TRUE(k01::buildRaw17Record(e, r));
  return r;
}

// One satellite, sv 3, single frequency, flags 0x10.
k01_meas17_epoch_t OneSat(uint32_t time, uint8_t snr, uint32_t range, int64_t phase, int32_t doppler) {
  k01_meas17_epoch_t e;
  e.time = time;
  k01_meas17_sat_t s;
  s.sv = 3; s.flags = 0x10; s.snr = snr; s.range = range; s.phase = phase; s.doppler = doppler;
  e.sats = {s};
  return e;
}

// The same epoch written field by field.
Bytes HandRaw(uint32_t time, uint8_t snr, uint32_t range, uint64_t phase, uint32_t doppler) {
  return tb::Fields().u32(time).u24(0).u8(3).u8(0x10).u8(0).u8(0).u8(0).u8(snr).u32(range)
      .u48(phase).u24(doppler).u8(0).record(17);
}

// Start byte, length, type, body, the raw record's checksum, (linear) end byte.
Bytes Compressed(uint8_t type, const Bytes& body, const Bytes& raw, bool endByte) {
  Bytes r = {0x02, 0, type};
  r.insert(r.end(), body.begin(), body.end());
  r.insert(r.end(), {raw[raw.size() - 3], raw[raw.size() - 2]});
  if (endByte) r.push_back(0x03);
  r[1] = static_cast<uint8_t>(r.size());
  return r;
}

// The raw record builder against the record written field by field. Key:
// time 1000, snr 100, range 1000, phase 5000. Epoch 1 (2000, 101, 1100,
// 5200): H = 0x41 (time delta 2 bytes 03 E8, clock copied, flags as before,
// previous list), F = 0x01 (snr +1).
// Linear: G = 0x28 (range delta 1 byte 64, phase delta 2 bytes 00 C8,
// Doppler copied); epoch 2 continues exactly: a zero 1-byte range delta.
// Smoothed: G = 0x12; its predictions after epoch 1: range rate 0 + 3 x
// (100 >> 2) = 75, range 1175; phase acceleration 3 x ((5200 - 10000) >> 2)
// = -3600, phase 1800; epoch 2 (1200, 5400): deltas 25 (19) and 3600 (0E 10).
TEST(Meas17Encoder, DeltaEpochsByHand) {
  EXPECT_EQ(Raw(OneSat(1000, 100, 1000, 5000, -10)), HandRaw(1000, 100, 1000, 5000, 0xFFFFF6));
  for (Meas17Predictor p : {kLinear, kSmoothed}) {
    const bool linear = p == kLinear;
    const int32_t dop = linear ? 10 : 0;
    k01_meas17_encoder_t enc(Options(p));
    Bytes key, d1, d2;
    ASSERT_EQ(enc.encode(OneSat(1000, 100, 1000, 5000, dop), key), k01::kEnc17Ok);
    Bytes expectedKey = HandRaw(1000, 100, 1000, 5000, dop);
    if (!linear) expectedKey.pop_back();
    expectedKey[1] = static_cast<uint8_t>(expectedKey.size());
    expectedKey[2] = linear ? 67 : 69;
    EXPECT_EQ(key, expectedKey);
    EXPECT_TRUE(enc.lastWasKey());
    ASSERT_EQ(enc.encode(OneSat(2000, 101, 1100, 5200, dop), d1), k01::kEnc17Ok);
    EXPECT_EQ(d1, Compressed(linear ? 66 : 68, {0x41, 0x03, 0xE8, 0x01, linear ? uint8_t{0x28} : uint8_t{0x12}, 0x64,
                                                0x00, 0xC8},
                             HandRaw(2000, 101, 1100, 5200, dop), linear));
    ASSERT_EQ(enc.encode(OneSat(3000, 101, 1200, 5400, dop), d2), k01::kEnc17Ok);
    EXPECT_EQ(d2, linear ? Compressed(66, {0x01, 0x00, 0x20, 0x00}, HandRaw(3000, 101, 1200, 5400, dop), true)
                         : Compressed(68, {0x01, 0x00, 0x12, 0x19, 0x0E, 0x10}, HandRaw(3000, 101, 1200, 5400, 0), false));
    EXPECT_FALSE(enc.lastWasKey());
  }
}

// The library's decoder: the work record decodeRecord rebuilt (empty on failure).
struct LibraryDecoder {
  K01Decoder* d = k01::CreateDecoder();
  ~LibraryDecoder() { k01::DestroyDecoder(d); }
  Bytes Rebuild(const Bytes& rec, uint8_t checksumMode = 0) {
    std::memset(&d->inputRecord, 0, sizeof d->inputRecord);
    std::memcpy(d->inputRecord.bytes, rec.data(), rec.size());
    d->inputRecord.length = static_cast<uint16_t>(rec.size());
    d->checksumMode = checksumMode;
    uint16_t datType = 0;
    uint8_t status = 0;
    if (k01::decodeRecord(d, rec[2], &datType, &status) == 0 || status != 0 || datType != 17) return {};
    return Bytes(d->decode.work.bytes, d->decode.work.bytes + d->decode.work.length);
  }
};

tb::Meas17LogShape Shape(bool zeroDoppler, bool longEpochs) {
  tb::Meas17LogShape s;
  s.zeroDoppler = zeroDoppler;
  s.maxRawSize = longEpochs ? 511 : 255;
  s.allDual = longEpochs;  // 10 to 12 satellites of 29 bytes: 303 to 361 bytes
  return s;
}

// Every record decodes back into exactly its raw epoch; key epochs come
// first, after the logging gap and at the interval; compression pays.
TEST(Meas17Encoder, LibraryRebuildsEveryRawEpochOfALog) {
  const struct {
    Meas17Predictor predictor;
    bool longEpochs;
    uint32_t keyInterval;
    std::set<uint8_t> types;
    size_t maxPercent;
  } cases[] = {  // the shorter logs run end to end through whole conversions elsewhere
      {kLinear, true, 0, {66, 75}, 45},
      {kSmoothed, false, 5, {68, 69}, 70},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(*c.types.rbegin() * 100 + c.keyInterval);
    const tb::Meas17LogShape shape = Shape(c.predictor == kSmoothed, c.longEpochs);
    const auto log = tb::Meas17Log(shape);
    k01_meas17_encoder_t enc(Options(c.predictor, c.keyInterval));
    LibraryDecoder lib;
    std::set<uint8_t> types;
    size_t rawBytes = 0, packedBytes = 0, keys = 0, lastKey = 0;
    for (size_t i = 0; i < log.size(); ++i) {
      const Bytes raw = Raw(log[i]);
      Bytes packed;
      ASSERT_EQ(enc.encodeRaw(raw.data(), raw.size(), packed), k01::kEnc17Ok) << i;
      types.insert(packed[2]);
      rawBytes += raw.size();
      packedBytes += packed.size();
      const bool mustBeKey = i == 0 || i == shape.gapAt || (c.keyInterval > 0 && i - lastKey >= c.keyInterval);
      EXPECT_EQ(enc.lastWasKey(), mustBeKey) << i;
      if (enc.lastWasKey()) ++keys, lastKey = i;
      ASSERT_EQ(lib.Rebuild(packed), raw) << i;
    }
    EXPECT_TRUE(std::includes(types.begin(), types.end(), c.types.begin(), c.types.end()));
    EXPECT_LT(packedBytes * 100, rawBytes * c.maxPercent);
    EXPECT_TRUE(c.keyInterval > 0 || keys == 2u);
  }
}

// 14 dual-frequency satellites after a jump of every value: the delta epoch
// needs more than 255 bytes (74/76) and is still smaller than the 419-byte key.
TEST(Meas17Encoder, LongDeltaFormsWhereTheEpochNeedsThem) {
  for (Meas17Predictor p : {kLinear, kSmoothed}) {
    const bool linear = p == kLinear;
    auto log = tb::Meas17Log(Shape(!linear, true));
    log.resize(4);
    for (auto& e : log) {
      k01_meas17_sat_t extra = e.sats[0];
      for (uint8_t sv = 50; e.sats.size() < 14; ++sv) {
        extra.sv = sv;
        extra.range += 1000000;
        e.sats.push_back(extra);
      }
    }
    for (auto& s : log[3].sats) {
      s.range ^= 0x55000000u;
      s.phase ^= 0x5500000000LL;
      s.phase2 ^= 0x2200000000LL;
      s.value2 = static_cast<int16_t>(s.value2 ^ 0x3300);
      if (linear) s.doppler ^= 0x330000;
    }
    k01_meas17_encoder_t enc(Options(p));
    LibraryDecoder lib;
    std::vector<uint8_t> types;
    for (const auto& e : log) {
      const Bytes raw = Raw(e);
      ASSERT_EQ(raw.size(), 419u);
      Bytes packed;
      ASSERT_EQ(enc.encode(e, packed), k01::kEnc17Ok);
      types.push_back(packed[2]);
      EXPECT_EQ(lib.Rebuild(packed), raw);
      EXPECT_TRUE((packed[2] != 74 && packed[2] != 76) || packed[1] == packed.size() - 256);
    }
    EXPECT_EQ(types[0], linear ? 75 : 77);
    EXPECT_EQ(types[1], linear ? 66 : 68);
    EXPECT_EQ(types[2] & 0xF7, linear ? 66 : 68);  // the smoothed one may need the long form here too
    EXPECT_EQ(types[3], linear ? 74 : 76);
  }
}

// Epochs a delta epoch cannot carry, or should not: each becomes a key
// epoch, and the library still rebuilds it.
TEST(Meas17Encoder, KeyEpochWhereADeltaCannotServe) {
  const struct {
    const char* name;
    Meas17Predictor predictor;
    uint8_t maxSatellites;
    bool deltaRefused;
    void (*change)(k01_meas17_epoch_t&);
  } cases[] = {
      {"more satellites than the images hold", kLinear, 10, true,
       [](k01_meas17_epoch_t& e) {
         k01_meas17_sat_t extra = e.sats[0];
         extra.flags = 0xD0;
         for (extra.sv = 40; e.sats.size() <= 10; ++extra.sv) e.sats.push_back(extra);
       }},
      {"time steps back", kLinear, 88, false, [](k01_meas17_epoch_t& e) { e.time -= 5000; }},
      {"time repeats", kLinear, 88, false, [](k01_meas17_epoch_t& e) { e.time -= 1000; }},
      {"gap of 61 s", kLinear, 88, false, [](k01_meas17_epoch_t& e) { e.time += 60000; }},
      {"unread block byte", kLinear, 88, true, [](k01_meas17_epoch_t& e) { e.sats[2].unread = 1; }},
      {"Doppler under the smoothed predictor", kSmoothed, 88, true,
       [](k01_meas17_epoch_t& e) { e.sats[1].doppler = -64; }},
  };
  tb::Meas17LogShape shape;
  shape.zeroDoppler = true;
  const auto log = tb::Meas17Log(shape);
  for (const auto& c : cases) {
    k01_meas17_encoder_t enc(Options(c.predictor, 0, c.maxSatellites));
    LibraryDecoder lib;
    Bytes packed;
    for (size_t i = 0; i < 3; ++i) {
      ASSERT_EQ(enc.encode(log[i], packed), k01::kEnc17Ok);
      ASSERT_EQ(lib.Rebuild(packed), Raw(log[i]));
    }
    k01_meas17_epoch_t odd = log[3];
    c.change(odd);
    if (c.deltaRefused) {  // delta() refuses what cannot be carried
      Bytes refused;
      EXPECT_EQ(enc.delta(odd, refused), k01::kEnc17NotDeltable) << c.name;
      EXPECT_TRUE(refused.empty());
    }
    ASSERT_EQ(enc.encode(odd, packed), k01::kEnc17Ok) << c.name;
    EXPECT_TRUE(enc.lastWasKey()) << c.name;
    EXPECT_EQ(packed[2] & 0xF7, c.predictor == kLinear ? 67 : 69) << c.name;
    EXPECT_EQ(lib.Rebuild(packed), Raw(odd)) << c.name;
  }
}

TEST(Meas17Encoder, RefusesWhatIsNoRawType17Record) {
  const auto log = tb::Meas17Log({});
  const Bytes good = Raw(log[0]);
  auto changed = [&](size_t at, uint8_t v) {
    Bytes r = good;
    r[at] = v;
    return r;
  };
  // One byte of the last block missing, checksum right.
  const Bytes cut = rawrec::BuildRecord(17, Bytes(good.begin() + 3, good.end() - 4));
  k01_meas17_encoder_t enc;
  k01_meas17_epoch_t out;
  for (const Bytes& r : {changed(0, 0x01), changed(2, 18), changed(good.size() - 2, 0), changed(good.size() - 1, 0),
                         changed(1, good[1] + 1), cut, Bytes{0x02, 13}}) {
    EXPECT_EQ(k01::parseRaw17Record(r.data(), r.size(), out), k01::kEnc17NotRaw17);
    Bytes packed;
    EXPECT_EQ(enc.encodeRaw(r.data(), r.size(), packed), k01::kEnc17NotRaw17);
    EXPECT_TRUE(packed.empty());
  }
  k01_meas17_epoch_t big = log[0];  // 25 satellites need 513 bytes: no raw record
  while (big.sats.size() < 25) big.sats.push_back(big.sats[0]);
  Bytes r;
  EXPECT_FALSE(k01::buildRaw17Record(big, r));
  EXPECT_EQ(enc.encode(big, r), k01::kEnc17TooLong);
  EXPECT_EQ(enc.delta(log[0], r), k01::kEnc17NoHistory);
}

Bytes Session(uint8_t subtype) { return tb::Fields().u8(subtype).text("RX").record(30, false); }

TEST(Meas17Writer, CompressesOnlyRawType17RecordsStorableInTheBlocks) {
  const auto log = tb::Meas17Log({});
  Bytes badSum = Raw(log[2]);
  badSum[badSum.size() - 2] ^= 1;
  const std::vector<Bytes> in = {Session(0), Raw(log[0]), Raw(log[1]), badSum, Raw(log[3]),
                                 Session(0), Raw(log[4]), Session(1), Raw(log[5])};
  k01::k01_write_options_t opt;
  std::vector<Bytes> out;
  ASSERT_EQ(k01::compressMeasurementRecords(in, opt, out), k01::kWriteOk);
  ASSERT_EQ(out.size(), in.size());
  std::vector<uint8_t> types;
  for (const Bytes& r : out) types.push_back(r[2]);
  // The damaged epoch stays raw; a type-30 record of subtype 0 is followed
  // by a key epoch, one of another subtype is not.
  EXPECT_EQ(types, (std::vector<uint8_t>{30, 67, 66, 17, 66, 30, 67, 30, 66}));
  EXPECT_EQ(out[3], badSum);
  LibraryDecoder lib;  // it clears the linear pair at the second session record
  for (size_t i = 0; i < out.size(); ++i) {
    const Bytes rebuilt = lib.Rebuild(out[i]);
    EXPECT_TRUE(out[i][2] == 30 || out[i][2] == 17 || rebuilt == in[i]) << i;
  }
  std::vector<Bytes> mixed = in;  // records of the chosen pair cannot be mixed in
  mixed.push_back(out[2]);
  EXPECT_EQ(k01::compressMeasurementRecords(mixed, opt, out), k01::kWriteMixedMeasurements);
  opt.measurementPredictor = kSmoothed;
  EXPECT_EQ(k01::compressMeasurementRecords(mixed, opt, out), k01::kWriteOk);
  // Stripped-record blocks lose the end byte: the linear family cannot be
  // stored in them (the smoothed family is converted from them end to end).
  opt.measurementPredictor = kLinear;
  opt.compressMeasurements = true;
  opt.blockTypes = {5};
  Bytes file;
  EXPECT_EQ(k01::writeK01File(in, opt, file), k01::kWriteNotStorable);
}

// The encoder's key (or delta) epoch of e.
Bytes Key(Encoder& enc, const Epoch& e, bool key = true) {
  Bytes r;
  EXPECT_EQ(key ? enc.key(e, r) : enc.delta(e, r), k01::kEnc17Ok);
  return r;
}
Bytes Delta(Encoder& enc, const Epoch& e) { return Key(enc, e, false); }

Sat MakeSat(uint8_t sv, uint8_t flags, uint8_t status, uint32_t range, int64_t phase, int32_t doppler) {
  Sat s;
  s.sv = sv; s.flags = flags; s.status = status; s.extra1 = 7; s.extra2 = 9; s.snr = 160;
  s.range = range; s.phase = phase; s.doppler = doppler;
  if (flags & 1) { s.snr2 = 120; s.phase2 = phase / 2; s.value2 = -300; }
  return s;
}

struct Rebuilt {
  uint8_t status = 0;
  Bytes bytes;
};

Rebuilt Transcode(k01::k01_meas17_history_t& h, const Bytes& in, const TranscodeOptions& options = {}) {
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
std::vector<Epoch> Sequence(Meas17Predictor p) {
  auto dop = [&](int32_t d) { return p == kLinear ? d : 0; };
  std::vector<Epoch> seq;
  Epoch e;
  e.time = 345600000; e.clock = -12345;
  e.sats = {MakeSat(5, 0xD0, 1, 2600000000u, 1000000000LL, dop(-4000)),
            MakeSat(12, 0xD1, 4, 2700000000u, -2000000000LL, dop(1500)),
            MakeSat(125, 0x5A, 2, 1300000000u, 300000000000LL, dop(20))};
  for (int k = 0; k < 4; ++k) {
    seq.push_back(e);
    e.time += 1000; e.clock += 37;
    for (Sat& s : e.sats) {
      s.range += 700 + 13 * k;
      s.phase += 250000 + 999 * k;
      s.phase2 += 190000;
      s.doppler = dop(s.doppler + 3);
      s.value2 += 2;
    }
    if (k == 1)
      for (Sat& s : e.sats) { s.flags = 0xD8 | (s.flags & 0x02); s.status = 0; }
    if (k == 2) {
      e.sats[0].flags = 0xFD; e.sats[0].status = 4; e.sats[0].snr2 = 99; e.sats[0].phase2 = 77;
      e.sats[1].flags = 0xF9; e.sats[1].status = 4;
      e.sats[2].flags = 0x00; e.sats[2].status = 0;
    }
  }
  return seq;
}

TEST(Transcode17, FlagsModesRebuildTheRawRecords) {
  for (Meas17Predictor p : {kLinear, kSmoothed}) {
    auto h = NewHistory();
    Encoder enc(Options(p));
    const std::vector<Epoch> seq = Sequence(p);
    for (size_t i = 0; i < seq.size(); ++i) {
      const Bytes in = Key(enc, seq[i], i == 0);
      EXPECT_TRUE(i == 0 || (enc.lastHeader() & 3) == i) << i;  // modes 1, 2, 3 in turn
      const Rebuilt r = Transcode(*h, in);
      ASSERT_EQ(r.status, 0) << i;
      EXPECT_EQ(r.bytes, Raw(seq[i])) << i;
    }
  }
}

// Header byte 0: time and clock value from the prediction image, the
// previous satellite list, range raw, phase and Doppler copied, flags and
// status raw.
TEST(Transcode17, ZeroModesReproduceThePrediction) {
  Epoch key;
  key.time = 5000; key.clock = 0x012345;
  key.sats = {MakeSat(7, 0x10, 0, 1000000, 40000, -64), MakeSat(9, 0x10, 0, 2000000, -40000, 64)};
  auto h = NewHistory();
  Encoder enc(Options(kLinear));
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

// Key epochs without end byte rebuild the raw record with it (the encoder
// tests rebuild whole logs of them); 255 stored bytes stand for a 256-byte
// record: the long raw form.
TEST(Transcode17, KeyEpochWithoutEndByte) {
  Epoch big;
  for (uint8_t sv = 1; sv <= 9; ++sv) big.sats.push_back(MakeSat(sv, sv <= 7 ? 0xD1 : 0xD0, 0, sv, sv, 0));
  Encoder enc(Options(kSmoothed));
  const Bytes in = Key(enc, big);
  ASSERT_EQ(in.size(), 255u);
  ASSERT_EQ(Bytes(in.begin(), in.begin() + 3), (Bytes{0x02, 255, 69}));
  auto h = NewHistory();
  const Rebuilt r = Transcode(*h, in);
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.bytes.size(), 256u);
  EXPECT_EQ(Bytes(r.bytes.begin(), r.bytes.begin() + 3), (Bytes{0x02, 0, 117}));
  EXPECT_EQ(r.bytes[255], 0x03);
  EXPECT_EQ(r.bytes, Raw(big));
  EXPECT_EQ(h->previous.bytes[k01::img::kCount], 9);  // both images hold the epoch
  EXPECT_EQ(h->prediction.slot(8)[k01::img::kSv], 9);
}

TEST(Transcode17, DamagedRecordsGiveTheirStatusAndLeaveTheHistory) {
  const std::vector<Epoch> seq = Sequence(kLinear);
  Encoder enc(Options(kLinear));
  const Bytes key = Key(enc, seq[0]);
  enc.options().explicitList = true;
  enc.options().flagsMode = 0;
  const Bytes delta = Delta(enc, seq[1]);
  // 3 header, H, time (2), clock (1), count + 3 list bytes, then F.
  const size_t firstF = 3 + 1 + 2 + 1 + 4;
  ASSERT_EQ(delta[3] & 0x80, 0x80);
  // The smoothed pair: H = 0 (no list, time and clock copied, flags mode
  // 0), F = 0, then G; no checksum, so the reads run out inside the field
  // under test.
  Epoch one;
  one.time = 1000; one.sats = {MakeSat(3, 0xD1, 0, 5000, 6000, 0)};
  Encoder smoothed(Options(kSmoothed));
  const Bytes smoothKey = Key(smoothed, one);
  auto framed = [](Bytes r) { r[1] = static_cast<uint8_t>(r.size()); return r; };  // length byte set
  auto with = [](Bytes r, size_t at, uint8_t v) { r[at] = v; return r; };
  // No checksum left: reads run out in the next field.
  auto cut = [&](size_t keep) { return framed(Bytes(delta.begin(), delta.begin() + static_cast<long>(keep))); };
  auto smooth = [&](Bytes body) { body.insert(body.begin(), {0x02, 0, 68}); return framed(body); };
  Bytes tooLong = delta, manySats(delta.begin(), delta.begin() + 7);  // explicit list of 89
  tooLong.insert(tooLong.end() - 3, 0x00);
  manySats.push_back(89);
  manySats.insert(manySats.end(), 89, 1);
  manySats.insert(manySats.end(), {0, 0, 0x03});
  const Bytes keyBadSum = with(key, key.size() - 2, key[key.size() - 2] ^ 1);
  const Bytes deltaBadSum = with(delta, delta.size() - 2, delta[delta.size() - 2] ^ 0x40);
  const struct {
    const char* name;
    const Bytes* key;
    Bytes record;
    bool verify;
    uint8_t status;
  } cases[] = {
      {"no STX", &key, with(delta, 0, 0x01), true, k01::kT17NoStx},
      {"no end byte", &key, with(delta, delta.size() - 1, 0x00), true, k01::kT17NoEnd},
      {"foreign type", &key, with(delta, 2, 17), true, k01::kT17WrongType},
      {"byte left over", &key, framed(tooLong), true, k01::kT17Length},
      {"wrong carried checksum", &key, deltaBadSum, true, k01::kT17Checksum},
      {"cut in the time field", &key, cut(5), false, k01::kT17EpochHeader},
      {"cut in the satellite list", &key, cut(9), false, k01::kT17SatelliteList},
      {"89 satellites", &key, framed(manySats), true, k01::kT17SatelliteList},
      {"cut at F", &key, cut(firstF), false, k01::kT17StatusByte},
      {"cut after F", &key, cut(firstF + 1), false, k01::kT17FirstFreq},
      {"key: wrong checksum", &key, keyBadSum, true, k01::kT17Checksum},
      {"key: wrong checksum, no end byte", &key, with(keyBadSum, key.size() - 1, 0), true, k01::kT17NoEnd},
      {"key: no STX", &key, with(key, 0, 0), true, k01::kT17NoStx},
      {"smoothed: range mode 5, wider than the field", &smoothKey, smooth({0x00, 0x00, 0x50}), true,
       k01::kT17FirstFreq},
      {"smoothed: phase mode 9", &smoothKey, smooth({0x00, 0x00, 0x09}), true, k01::kT17FirstFreq},
      {"smoothed: flags", &smoothKey, smooth({0x00, 0x00, 0x00, 0xD1}), true, k01::kT17Flags},
      {"smoothed: J", &smoothKey, smooth({0x00, 0x00, 0x00, 0xD1, 0x00}), true, k01::kT17SecondFreq},
      {"smoothed: after J", &smoothKey, smooth({0x00, 0x00, 0x00, 0xD1, 0x00, 0x02, 0x01}), true,
       k01::kT17SecondFreq},
  };
  for (const auto& c : cases) {
    auto h = NewHistory();
    ASSERT_EQ(Transcode(*h, *c.key).status, 0);
    const auto before = std::make_unique<k01::k01_meas17_history_t>(*h);
    TranscodeOptions options;
    options.verify = c.verify;
    const Rebuilt r = Transcode(*h, c.record, options);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_TRUE(r.bytes.empty()) << c.name;
    EXPECT_EQ(std::memcmp(h.get(), before.get(), sizeof *h), 0) << c.name;
  }
  auto h = NewHistory();  // without verification the computed checksum is written
  ASSERT_EQ(Transcode(*h, key).status, 0);
  TranscodeOptions noVerify;
  noVerify.verify = false;
  EXPECT_EQ(Transcode(*h, deltaBadSum, noVerify).bytes, Raw(seq[1]));
}

// The raw path: images of 24 satellites (a list of 25 fails, 24 rebuild)
// and no flags modes (the header byte's mode bits are ignored).
TEST(Transcode17, RawPathCapacityAndFlags) {
  TranscodeOptions rawPath;
  rawPath.maxSatellites = 24;
  rawPath.flagsModeEnabled = false;
  Epoch e, first;
  for (uint8_t sv = 1; sv <= 24; ++sv) e.sats.push_back(MakeSat(sv, 0x10, 0, sv, sv, 0));
  first.sats.assign(e.sats.begin(), e.sats.begin() + 3);
  Bytes list25 = {0x02, 0, 66, 0x80, 25};
  for (uint8_t sv = 1; sv <= 25; ++sv) list25.push_back(sv);
  list25.insert(list25.end(), {0x00, 0x00, 0x03});
  list25[1] = static_cast<uint8_t>(list25.size());
  Encoder enc(Options(kLinear, 0, 24));
  enc.options().flagsMode = 0;
  auto h = NewHistory(), h2 = NewHistory();
  ASSERT_EQ(Transcode(*h, Key(enc, first), rawPath).status, 0);
  EXPECT_EQ(Transcode(*h, list25, rawPath).status, k01::kT17SatelliteList);
  const Rebuilt r = Transcode(*h, Delta(enc, e), rawPath);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.bytes, Raw(e));
  const std::vector<Epoch> seq = Sequence(kLinear);
  const Bytes key = Key(enc, seq[0]);
  Bytes delta = Delta(enc, seq[1]);
  delta[3] |= 0x02;  // header byte claims flags mode 2
  ASSERT_EQ(Transcode(*h, key, rawPath).status, 0);
  EXPECT_EQ(Transcode(*h, delta, rawPath).bytes, Raw(seq[1]));
  ASSERT_EQ(Transcode(*h2, key).status, 0);
  EXPECT_NE(Transcode(*h2, delta).status, 0);  // mode 2 sends no flag bytes: the record does not fit
}

}  // namespace
