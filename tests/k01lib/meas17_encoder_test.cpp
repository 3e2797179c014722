// The K01 writer's encoder of the compressed type-17 family: hand-derived
// delta epochs of both predictors, its choice between key and delta epochs,
// raw-record parsing, and the library decoding every record it produces
// back into the raw record it came from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "common/raw_record.h"
#include "k01lib/decode_record.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/k01_writer.h"
#include "k01lib/meas17_encoder.h"
#include "support/meas17_log.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using k01::k01_meas17_encoder_options_t;
using k01::k01_meas17_encoder_t;
using k01::k01_meas17_epoch_t;
using k01::k01_meas17_sat_t;
using k01::Meas17Predictor;
constexpr Meas17Predictor kLinear = Meas17Predictor::kLinear, kSmoothed = Meas17Predictor::kSmoothed;

k01_meas17_encoder_options_t Options(Meas17Predictor p, uint32_t keyInterval = 0, uint8_t maxSatellites = 88) {
  k01_meas17_encoder_options_t o;
  o.predictor = p;
  o.keyInterval = keyInterval;
  o.maxSatellites = maxSatellites;
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
  s.sv = 3;
  s.flags = 0x10;
  s.snr = snr;
  s.range = range;
  s.phase = phase;
  s.doppler = doppler;
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

TEST(Meas17Encoder, RawRecordMatchesTheHandBuiltOne) {
  Bytes r;
  ASSERT_TRUE(k01::buildRaw17Record(OneSat(1000, 100, 1000, 5000, -10), r));
  EXPECT_EQ(r, HandRaw(1000, 100, 1000, 5000, 0xFFFFF6));
  k01_meas17_epoch_t back;
  ASSERT_EQ(k01::parseRaw17Record(r.data(), r.size(), back), k01::kEnc17Ok);
  EXPECT_EQ(back.sats.at(0).doppler, -10);
}

// Key: time 1000, snr 100, range 1000, phase 5000. Epoch 1 (2000, 101, 1100,
// 5200): H = 0x41 (time delta 2 bytes 03 E8, clock copied, flags as before,
// previous list), F = 0x01 (snr +1).
// Linear: G = 0x28 (range delta 1 byte 64, phase delta 2 bytes 00 C8,
// Doppler copied); epoch 2 continues exactly: a zero 1-byte range delta.
// Smoothed: G = 0x12; its predictions after epoch 1: range rate 0 + 3 x
// (100 >> 2) = 75, range 1175; phase acceleration 3 x ((5200 - 10000) >> 2)
// = -3600, phase 1800; epoch 2 (1200, 5400): deltas 25 (19) and 3600 (0E 10).
TEST(Meas17Encoder, DeltaEpochsByHand) {
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
  if (longEpochs) {
    s.maxRawSize = 511;
    s.allDual = true;  // 10 to 12 satellites of 29 bytes: 303 to 361 bytes
  }
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
    if (c.keyInterval == 0) {
      EXPECT_EQ(keys, 2u);
    }
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
      if (packed[2] == 74 || packed[2] == 76) {
        EXPECT_EQ(packed[1], packed.size() - 256);
      }
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
  Bytes cut = good;  // one byte of the last block missing, checksum right
  cut.erase(cut.end() - 4);
  cut[1] = static_cast<uint8_t>(cut.size());
  const uint16_t sum = rawrec::ByteSum(cut.data(), cut.size() - 3);
  cut[cut.size() - 3] = static_cast<uint8_t>(sum >> 8);
  cut[cut.size() - 2] = static_cast<uint8_t>(sum);
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

TEST(Meas17Writer, CompressesOnlyRawType17Records) {
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
    if (out[i][2] != 30 && out[i][2] != 17) {
      EXPECT_EQ(rebuilt, in[i]) << i;
    }
  }
  std::vector<Bytes> mixed = in;  // records of the chosen pair cannot be mixed in
  mixed.push_back(out[2]);
  EXPECT_EQ(k01::compressMeasurementRecords(mixed, opt, out), k01::kWriteMixedMeasurements);
  opt.measurementPredictor = kSmoothed;
  EXPECT_EQ(k01::compressMeasurementRecords(mixed, opt, out), k01::kWriteOk);
}

// Stripped-record blocks lose the end byte: the linear family cannot be
// stored in them (the smoothed family is converted from them end to end).
TEST(Meas17Writer, StrippedBlocksRefuseTheLinearFamily) {
  std::vector<Bytes> raw;
  for (const auto& e : tb::Meas17Log({})) raw.push_back(Raw(e));
  k01::k01_write_options_t opt;
  opt.compressMeasurements = true;
  opt.blockTypes = {5};
  Bytes file;
  EXPECT_EQ(k01::writeK01File(raw, opt, file), k01::kWriteNotStorable);
}

}  // namespace
