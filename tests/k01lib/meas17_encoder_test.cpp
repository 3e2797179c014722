// The K01 writer's encoder of the compressed type-17 family: hand-derived
// delta epochs of both predictors, its choice between key and delta epochs,
// raw-record parsing, and the library decoding every record it produces
// back into the raw record it came from.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "common/raw_record.h"
#include "k01lib/container_reader.h"
#include "k01lib/decode_record.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/k01_writer.h"
#include "k01lib/meas17_encoder.h"
#include "support/k01_files.h"
#include "support/meas17_log.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using k01::k01_meas17_encoder_options_t;
using k01::k01_meas17_encoder_t;
using k01::k01_meas17_epoch_t;
using k01::k01_meas17_sat_t;
using k01::Meas17Predictor;

k01_meas17_encoder_options_t Options(Meas17Predictor p, uint32_t keyInterval = 0) {
  k01_meas17_encoder_options_t o;
  o.predictor = p;
  o.keyInterval = keyInterval;
  return o;
}

Bytes Raw(const k01_meas17_epoch_t& e) {
  Bytes r;
  EXPECT_TRUE(k01::buildRaw17Record(e, r));
  return r;
}

// One satellite, sv 3, single frequency, flags 0x10.
k01_meas17_epoch_t OneSat(uint32_t time, uint8_t snr, uint32_t range, int64_t phase,
                          int32_t doppler) {
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

// The same epoch written field by field with the test record builder.
Bytes HandRaw(uint32_t time, uint8_t snr, uint32_t range, uint64_t phase, uint32_t doppler) {
  return tb::Fields().u32(time).u24(0).u8(3).u8(0x10).u8(0).u8(0).u8(0).u8(snr).u32(range)
      .u48(phase).u24(doppler).u8(0).record(17);
}

// A compressed record: start byte, length, type, body, the checksum of the
// raw record it stands for, and (linear family) the end byte.
Bytes Compressed(uint8_t type, const Bytes& body, const Bytes& raw, bool endByte) {
  Bytes r = {0x02, 0, type};
  r.insert(r.end(), body.begin(), body.end());
  r.push_back(raw[raw.size() - 3]);
  r.push_back(raw[raw.size() - 2]);
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
  ASSERT_EQ(back.sats.size(), 1u);
  EXPECT_EQ(back.sats[0].doppler, -10);
  EXPECT_EQ(back.sats[0].phase, 5000);
}

// Linear predictor. Key: time 1000, snr 100, range 1000, phase 5000,
// Doppler 10. Epoch 1 (time 2000, snr 101, range 1100, phase 5200):
//   H = 0x41: time delta of 2 bytes (1000 = 03 E8), clock copied, flags
//   mode 1 (as before), previous list; F = 0x01 (snr +1);
//   G = 0x28: range delta 1 byte (100 = 64), phase delta 2 bytes (200 =
//   00 C8), Doppler copied.
// Epoch 2 continues the motion exactly: time, phase and Doppler equal the
// prediction (copied); the range has no copy mode, so a zero 1-byte delta.
TEST(Meas17Encoder, LinearDeltaEpochsByHand) {
  k01_meas17_encoder_t enc(Options(Meas17Predictor::kLinear));
  Bytes key;
  ASSERT_EQ(enc.encode(OneSat(1000, 100, 1000, 5000, 10), key), k01::kEnc17Ok);
  Bytes expectedKey = HandRaw(1000, 100, 1000, 5000, 10);
  expectedKey[2] = 67;
  EXPECT_EQ(key, expectedKey);
  EXPECT_TRUE(enc.lastWasKey());

  Bytes d1;
  ASSERT_EQ(enc.encode(OneSat(2000, 101, 1100, 5200, 10), d1), k01::kEnc17Ok);
  EXPECT_EQ(d1, Compressed(66, {0x41, 0x03, 0xE8, 0x01, 0x28, 0x64, 0x00, 0xC8},
                           HandRaw(2000, 101, 1100, 5200, 10), true));
  Bytes d2;
  ASSERT_EQ(enc.encode(OneSat(3000, 101, 1200, 5400, 10), d2), k01::kEnc17Ok);
  EXPECT_EQ(d2, Compressed(66, {0x01, 0x00, 0x20, 0x00}, HandRaw(3000, 101, 1200, 5400, 10), true));
  EXPECT_FALSE(enc.lastWasKey());
}

// Smoothed predictor, same first two epochs without Doppler. Epoch 1:
// G = 0x12 (range mode 1 in bits 4-6, phase mode 2 in bits 0-3). Its
// predictions: range rate = 0 + 3 * (100 >> 2) = 75, range 1100 + 75 = 1175;
// phase acceleration = 0 + 3 * ((5200 - 2 * 5000 + 0) >> 2) = -3600, phase
// 5200 + 200 - 3600 = 1800. Epoch 2 (range 1200, phase 5400): range delta
// 25 (19), phase delta 3600 (0E 10), time copied.
TEST(Meas17Encoder, SmoothedDeltaEpochsByHand) {
  k01_meas17_encoder_t enc(Options(Meas17Predictor::kSmoothed));
  Bytes key;
  ASSERT_EQ(enc.encode(OneSat(1000, 100, 1000, 5000, 0), key), k01::kEnc17Ok);
  Bytes expectedKey = HandRaw(1000, 100, 1000, 5000, 0);
  expectedKey.pop_back();
  expectedKey[1] = static_cast<uint8_t>(expectedKey.size());
  expectedKey[2] = 69;
  EXPECT_EQ(key, expectedKey);

  Bytes d1, d2;
  ASSERT_EQ(enc.encode(OneSat(2000, 101, 1100, 5200, 0), d1), k01::kEnc17Ok);
  EXPECT_EQ(d1, Compressed(68, {0x41, 0x03, 0xE8, 0x01, 0x12, 0x64, 0x00, 0xC8},
                           HandRaw(2000, 101, 1100, 5200, 0), false));
  ASSERT_EQ(enc.encode(OneSat(3000, 101, 1200, 5400, 0), d2), k01::kEnc17Ok);
  EXPECT_EQ(d2, Compressed(68, {0x01, 0x00, 0x12, 0x19, 0x0E, 0x10},
                           HandRaw(3000, 101, 1200, 5400, 0), false));
}

// The library's decoder fed the encoder's records, one after the other.
struct LibraryDecoder {
  K01Decoder* d = k01::CreateDecoder();
  ~LibraryDecoder() { k01::DestroyDecoder(d); }
  // The work record that decodeRecord rebuilt (empty on failure).
  Bytes Rebuild(const Bytes& rec, uint8_t checksumMode = 0) {
    std::memset(&d->inputRecord, 0, sizeof d->inputRecord);
    std::memcpy(d->inputRecord.bytes, rec.data(), rec.size());
    d->inputRecord.length = static_cast<uint16_t>(rec.size());
    d->checksumMode = checksumMode;
    uint16_t datType = 0;
    uint8_t status = 0;
    if (k01::decodeRecord(d, rec[2], &datType, &status) == 0 || status != 0 || datType != 17)
      return {};
    return Bytes(d->decode.work.bytes, d->decode.work.bytes + d->decode.work.length);
  }
};

struct LogCase {
  const char* name;
  Meas17Predictor predictor;
  tb::Meas17LogShape shape;
  uint32_t keyInterval;
  std::set<uint8_t> types;  // record types the encoder must have used
  size_t maxPercent;        // packed size at most this share of the raw size
};

class EncoderRoundTrip : public ::testing::TestWithParam<LogCase> {};

// Every record decodes back into exactly its raw epoch; compression pays.
TEST_P(EncoderRoundTrip, LibraryRebuildsEveryRawEpoch) {
  const LogCase& c = GetParam();
  const auto log = tb::Meas17Log(c.shape);
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
    // The first epoch, the one after the logging gap and, with an interval,
    // one at least every keyInterval epochs are key epochs.
    const bool mustBeKey = i == 0 || i == c.shape.gapAt ||
                           (c.keyInterval > 0 && i - lastKey >= c.keyInterval);
    EXPECT_EQ(enc.lastWasKey(), mustBeKey) << c.name << " epoch " << i;
    if (enc.lastWasKey()) {
      ++keys;
      lastKey = i;
    }
    ASSERT_EQ(lib.Rebuild(packed), raw) << c.name << " epoch " << i;
  }
  for (uint8_t t : c.types) EXPECT_TRUE(types.count(t)) << c.name << " type " << int(t);
  EXPECT_LT(packedBytes * 100, rawBytes * c.maxPercent) << c.name;
  if (c.keyInterval == 0) {
    EXPECT_EQ(keys, 2u) << c.name;
  }
}

tb::Meas17LogShape Shape(bool zeroDoppler, bool longEpochs) {
  tb::Meas17LogShape s;
  s.zeroDoppler = zeroDoppler;
  if (longEpochs) {
    s.maxRawSize = 511;
    s.allDual = true;  // 10 to 12 satellites of 29 bytes: 303 to 361 bytes
  }
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Logs, EncoderRoundTrip,
    ::testing::Values(
        LogCase{"linear", Meas17Predictor::kLinear, Shape(false, false), 0, {66, 67}, 45},
        LogCase{"linear long", Meas17Predictor::kLinear, Shape(false, true), 0, {66, 75}, 45},
        LogCase{"linear every 8", Meas17Predictor::kLinear, Shape(false, true), 8, {66, 75}, 55},
        LogCase{"smoothed", Meas17Predictor::kSmoothed, Shape(true, false), 0, {68, 69}, 55},
        LogCase{"smoothed long", Meas17Predictor::kSmoothed, Shape(true, true), 0, {68, 77}, 60},
        LogCase{"smoothed every 5", Meas17Predictor::kSmoothed, Shape(true, false), 5, {68, 69}, 70}),
    [](const ::testing::TestParamInfo<LogCase>& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (ch == ' ') ch = '_';
      return n;
    });

// An epoch of 14 dual-frequency satellites after a jump of every value:
// the delta epoch needs more than 255 bytes (long form 74/76) and is still
// smaller than the 419-byte key epoch.
TEST(Meas17Encoder, LongDeltaFormsWhereTheEpochNeedsThem) {
  for (Meas17Predictor p : {Meas17Predictor::kLinear, Meas17Predictor::kSmoothed}) {
    const bool linear = p == Meas17Predictor::kLinear;
    tb::Meas17LogShape shape = Shape(!linear, true);
    auto log = tb::Meas17Log(shape);
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
        EXPECT_GT(packed.size(), 255u);
        EXPECT_EQ(packed[1], packed.size() - 256);
      }
    }
    // The smoothed predictor's epoch before the key has phase 0, so its
    // second delta may need the long form as well.
    if (linear) {
      EXPECT_EQ(types, (std::vector<uint8_t>{75, 66, 66, 74}));
    } else {
      EXPECT_EQ(types[0], 77);
      EXPECT_EQ(types[1], 68);
      EXPECT_EQ(types[2] & 0xF7, 68);
      EXPECT_EQ(types[3], 76);
    }
  }
}

// Epochs a delta epoch cannot carry, or should not: each becomes a key
// epoch, and the library still rebuilds it.
TEST(Meas17Encoder, KeyEpochWhereADeltaCannotServe) {
  struct Case {
    const char* name;
    Meas17Predictor predictor;
    uint8_t maxSatellites;
    void (*change)(k01_meas17_epoch_t&);
  };
  const Case cases[] = {
      {"more satellites than the images hold", Meas17Predictor::kLinear, 10,
       [](k01_meas17_epoch_t& e) {
         k01_meas17_sat_t extra = e.sats[0];
         extra.sv = 40;
         extra.flags = 0xD0;
         while (e.sats.size() <= 10) e.sats.push_back(extra), ++extra.sv;
       }},
      {"time steps back", Meas17Predictor::kLinear, 88,
       [](k01_meas17_epoch_t& e) { e.time -= 5000; }},
      {"time repeats", Meas17Predictor::kLinear, 88, [](k01_meas17_epoch_t& e) { e.time -= 1000; }},
      {"gap of 61 s", Meas17Predictor::kLinear, 88, [](k01_meas17_epoch_t& e) { e.time += 60000; }},
      {"unread block byte", Meas17Predictor::kLinear, 88,
       [](k01_meas17_epoch_t& e) { e.sats[2].unread = 1; }},
      {"Doppler under the smoothed predictor", Meas17Predictor::kSmoothed, 88,
       [](k01_meas17_epoch_t& e) { e.sats[1].doppler = -64; }},
  };
  tb::Meas17LogShape shape;
  shape.zeroDoppler = true;
  const auto log = tb::Meas17Log(shape);
  for (const Case& c : cases) {
    k01_meas17_encoder_options_t o = Options(c.predictor);
    o.maxSatellites = c.maxSatellites;
    k01_meas17_encoder_t enc(o);
    LibraryDecoder lib;
    Bytes packed;
    for (size_t i = 0; i < 3; ++i) {
      ASSERT_EQ(enc.encode(log[i], packed), k01::kEnc17Ok);
      ASSERT_EQ(lib.Rebuild(packed), Raw(log[i]));
    }
    EXPECT_FALSE(enc.lastWasKey()) << c.name;
    k01_meas17_epoch_t odd = log[3];
    c.change(odd);
    ASSERT_EQ(enc.encode(odd, packed), k01::kEnc17Ok) << c.name;
    EXPECT_TRUE(enc.lastWasKey()) << c.name;
    // 67/75 or 69/77 (an added satellite may make the epoch long).
    EXPECT_EQ(packed[2] & 0xF7, c.predictor == Meas17Predictor::kLinear ? 67 : 69) << c.name;
    EXPECT_EQ(lib.Rebuild(packed), Raw(odd)) << c.name;
    // delta() refuses what cannot be carried, and leaves the history.
    Bytes refused;
    if (c.maxSatellites < 88 || odd.sats[2].unread || odd.sats[1].doppler) {
      EXPECT_EQ(enc.delta(odd, refused), k01::kEnc17NotDeltable) << c.name;
      EXPECT_TRUE(refused.empty());
    }
  }
}

TEST(Meas17Encoder, RefusesWhatIsNoRawType17Record) {
  const auto log = tb::Meas17Log({});
  const Bytes good = Raw(log[0]);
  k01_meas17_epoch_t out;
  ASSERT_EQ(k01::parseRaw17Record(good.data(), good.size(), out), k01::kEnc17Ok);
  EXPECT_EQ(Raw(out), good);

  auto changed = [&](size_t at, uint8_t v) {
    Bytes r = good;
    r[at] = v;
    return r;
  };
  Bytes cut = good;  // one byte of the last block missing
  cut.erase(cut.end() - 4);
  cut[1] = static_cast<uint8_t>(cut.size());
  const uint16_t sum = rawrec::ByteSum(cut.data(), cut.size() - 3);
  cut[cut.size() - 3] = static_cast<uint8_t>(sum >> 8);
  cut[cut.size() - 2] = static_cast<uint8_t>(sum);
  const Bytes cases[] = {changed(0, 0x01), changed(2, 18), changed(good.size() - 2, 0),
                         changed(good.size() - 1, 0), changed(1, good[1] + 1), cut, Bytes{0x02, 13}};
  k01_meas17_encoder_t enc;
  for (const Bytes& r : cases) {
    EXPECT_EQ(k01::parseRaw17Record(r.data(), r.size(), out), k01::kEnc17NotRaw17);
    Bytes packed;
    EXPECT_EQ(enc.encodeRaw(r.data(), r.size(), packed), k01::kEnc17NotRaw17);
    EXPECT_TRUE(packed.empty());
  }
  // 25 single-frequency satellites need 513 bytes: no raw record.
  k01_meas17_epoch_t big = log[0];
  while (big.sats.size() < 25) big.sats.push_back(big.sats[0]);
  Bytes r;
  EXPECT_FALSE(k01::buildRaw17Record(big, r));
  EXPECT_EQ(enc.encode(big, r), k01::kEnc17TooLong);
  // A delta epoch needs a key epoch first.
  EXPECT_EQ(enc.delta(log[0], r), k01::kEnc17NoHistory);
}

// ---- the writer's compression step ----

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

  // The decoder clears the linear pair at the second session record: the
  // whole sequence still rebuilds.
  LibraryDecoder lib;
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i][2] == 30 || out[i][2] == 17) {
      lib.Rebuild(out[i]);
      continue;
    }
    EXPECT_EQ(lib.Rebuild(out[i]), in[i]) << "record " << i;
  }

  // Records of the chosen pair already present cannot be mixed in.
  std::vector<Bytes> mixed = in;
  mixed.push_back(out[2]);
  EXPECT_EQ(k01::compressMeasurementRecords(mixed, opt, out), k01::kWriteMixedMeasurements);
  opt.measurementPredictor = Meas17Predictor::kSmoothed;
  EXPECT_EQ(k01::compressMeasurementRecords(mixed, opt, out), k01::kWriteOk);
}

// Stripped-record blocks: the smoothed family survives them (no end byte
// to lose, the checksum is recomputed), the linear family cannot be stored.
TEST(Meas17Writer, StrippedBlocksTakeTheSmoothedFamilyOnly) {
  tb::Meas17LogShape shape;
  shape.zeroDoppler = true;
  shape.epochs = 12;
  const auto log = tb::Meas17Log(shape);
  std::vector<Bytes> raw;
  for (const auto& e : log) raw.push_back(Raw(e));
  k01::k01_write_options_t opt;
  opt.compressMeasurements = true;
  opt.blockTypes = {5};
  Bytes file;
  EXPECT_EQ(k01::writeK01File(raw, opt, file), k01::kWriteNotStorable);

  opt.measurementPredictor = Meas17Predictor::kSmoothed;
  ASSERT_EQ(k01::writeK01File(raw, opt, file), k01::kWriteOk);
  const auto steps = k01test::ReadAll(file, k01test::Reader::kK01);
  LibraryDecoder lib;
  size_t i = 0;
  for (const auto& s : steps) {
    if (s.type < 0) continue;
    ASSERT_LT(i, raw.size());
    EXPECT_TRUE(s.type == 68 || s.type == 69) << s.type;
    EXPECT_EQ(lib.Rebuild(s.record, s.checksumMode), raw[i]) << "epoch " << i;
    ++i;
  }
  EXPECT_EQ(i, raw.size());
}

}  // namespace
