// Compact measurement records of the raw path: key frames and delta epochs
// expand into the same DAT records as the raw type-17 epochs they stand
// for; damaged or unknown compact records are refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "k01lib/meas17_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The raw path's decoder: 24 satellites, flags always sent raw.
k01::k01_meas17_encoder_options_t RawPathOptions() {
  k01::k01_meas17_encoder_options_t o;
  o.maxSatellites = 24;
  o.flagsMode = 0;
  return o;
}
Bytes Key17(k01::k01_meas17_encoder_t& enc, const k01::k01_meas17_epoch_t& e) {
  Bytes r;
  EXPECT_EQ(enc.key(e, r), k01::kEnc17Ok);
  return r;
}
Bytes Delta17(k01::k01_meas17_encoder_t& enc, const k01::k01_meas17_epoch_t& e) {
  Bytes r;
  EXPECT_EQ(enc.delta(e, r), k01::kEnc17Ok);
  return r;
}
Bytes Raw17(const k01::k01_meas17_epoch_t& e) {
  Bytes r;
  EXPECT_TRUE(k01::buildRaw17Record(e, r));
  return r;
}

std::vector<k01::k01_meas17_epoch_t> Epochs(int count, bool dual) {
  std::vector<k01::k01_meas17_epoch_t> out;
  for (int e = 0; e < count; ++e) {
    k01::k01_meas17_epoch_t ep;
    ep.time = 345600000u + 1000u * static_cast<uint32_t>(e);
    ep.clock = 2000 + 37 * e;
    for (int s = 0; s < 5; ++s) {
      k01::k01_meas17_sat_t sat;
      sat.sv = static_cast<uint8_t>(2 + 5 * s);
      sat.flags = dual && s % 2 == 0 ? 1 : 0;
      sat.status = 3;
      sat.snr = static_cast<uint8_t>(160 + s);
      sat.range = 2600000000u + 91000u * static_cast<uint32_t>(e) + 7u * static_cast<uint32_t>(s);
      sat.phase = 1000000000LL + 1500000LL * e * (s + 1) + 3LL * e * e;
      sat.doppler = -2000 + 40 * s + e;
      if (sat.flags & 1) {
        sat.snr2 = static_cast<uint8_t>(120 + s);
        sat.phase2 = 800000000LL + 1168831LL * e * (s + 1);
        sat.value2 = static_cast<int16_t>(-30 + s);
      }
      ep.sats.push_back(sat);
    }
    out.push_back(ep);
  }
  return out;
}

struct Writer {
  ConvState cs;
  FILE* f = std::tmpfile();
  Writer() { ResetEncoderState(cs); }
  ~Writer() { std::fclose(f); }
  Status Put(const Bytes& r) { return WriteRawRecord(cs, f, r.data(), r.size()); }
  Bytes File() {
    std::fflush(f);
    Bytes all(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    all.resize(std::fread(all.data(), 1, all.size(), f));
    return all;
  }
};

// The raw epochs, and the same epochs as a key frame and delta epochs,
// give the same DAT file (the last epoch closes when a later one begins).
TEST(CompactExpansion, KeyAndDeltaEpochsEqualTheRawEpochs) {
  for (bool dual : {false, true}) {
    const std::vector<k01::k01_meas17_epoch_t> epochs = Epochs(6, dual);
    Writer raw;
    for (const k01::k01_meas17_epoch_t& e : epochs) ASSERT_EQ(raw.Put(Raw17(e)), 0);

    Writer compact;
    // Flags mode is honoured only in compact mode.
    k01::k01_meas17_encoder_t enc(RawPathOptions());
    ASSERT_EQ(compact.Put(Key17(enc, epochs[0])), 0);
    for (size_t i = 1; i < epochs.size(); ++i) {
      const Bytes delta = Delta17(enc, epochs[i]);
      ASSERT_EQ(delta[2], 66);
      ASSERT_EQ(compact.Put(delta), 0) << "epoch " << i;
    }
    const Bytes a = raw.File();
    EXPECT_GT(a.size(), 485u);
    EXPECT_EQ(a, compact.File()) << (dual ? "dual" : "single") << " frequency";
  }
}

TEST(CompactExpansion, WrongCarriedChecksumIsABadChecksumAndWritesNothing) {
  const std::vector<k01::k01_meas17_epoch_t> epochs = Epochs(3, false);
  Writer w;
  k01::k01_meas17_encoder_t enc(RawPathOptions());
  ASSERT_EQ(w.Put(Key17(enc, epochs[0])), 0);
  Bytes delta = Delta17(enc, epochs[1]);
  const size_t before = w.File().size();
  // The carried checksum sits just before the end byte.
  delta[delta.size() - 2] ^= 0x01;
  EXPECT_EQ(w.Put(delta), 13);
  EXPECT_EQ(w.File().size(), before);
}

TEST(CompactExpansion, TypesWithoutExpansionAndFurtherLettersEndIn30) {
  Writer w;
  const Bytes type64 = {0x02, 10, 64, 1, 2, 3, 4, 0, 0, 0x03};
  EXPECT_EQ(w.Put(type64), 30);
  // A delta epoch with no history behind it cannot be decoded.
  const std::vector<k01::k01_meas17_epoch_t> epochs = Epochs(2, false);
  k01::k01_meas17_encoder_t enc(RawPathOptions());
  Key17(enc, epochs[0]);
  Bytes delta = Delta17(enc, epochs[1]);
  delta[0] = 0x00;  // no STX: letter "e"
  EXPECT_EQ(w.Put(delta), 30);
}

}  // namespace
