// Compact measurement records of the raw path: a key frame and delta epochs
// expand into the same DAT records as the raw type-17 epochs they stand
// for; damaged or unknown compact records are refused.
#include "dat_fixture.h"
#include "k01lib/meas17_encoder.h"

namespace dattest {
namespace {

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

// The raw path's expansion: at most 24 satellites, flags always sent raw.
struct Compact {
  k01::k01_meas17_encoder_t enc{[] {
    k01::k01_meas17_encoder_options_t o;
    o.maxSatellites = 24;
    o.flagsMode = 0;
    return o;
  }()};
  Bytes Key(const k01::k01_meas17_epoch_t& e) { Bytes r; EXPECT_EQ(enc.key(e, r), k01::kEnc17Ok); return r; }
  Bytes Delta(const k01::k01_meas17_epoch_t& e) { Bytes r; EXPECT_EQ(enc.delta(e, r), k01::kEnc17Ok); return r; }
};

TEST(CompactExpansion, KeyAndDeltaEpochsEqualTheRawEpochs) {
  for (bool dual : {false, true}) {
    const auto epochs = Epochs(6, dual);
    DatSink raw, compact;
    Compact c;
    for (const auto& e : epochs) {
      Bytes r;
      ASSERT_TRUE(k01::buildRaw17Record(e, r));
      ASSERT_EQ(raw.Raw(r), 0);
    }
    ASSERT_EQ(compact.Raw(c.Key(epochs[0])), 0);
    for (size_t i = 1; i < epochs.size(); ++i) {
      const Bytes delta = c.Delta(epochs[i]);
      ASSERT_EQ(delta[2], 66);
      ASSERT_EQ(compact.Raw(delta), 0) << "epoch " << i;
    }
    EXPECT_EQ(raw.Records().size(), 6u);
    EXPECT_EQ(raw.File(), compact.File()) << (dual ? "dual" : "single") << " frequency";
  }
}

TEST(CompactExpansion, DamagedDeltaEpochsAreRefused) {
  const auto epochs = Epochs(3, false);
  DatSink s;
  Compact c;
  ASSERT_EQ(s.Raw(c.Key(epochs[0])), 0);
  Bytes delta = c.Delta(epochs[1]);
  delta[delta.size() - 2] ^= 0x01;  // the carried checksum, just before the end byte
  EXPECT_EQ(s.Raw(delta), status::kBadChecksum);
  delta = c.Delta(epochs[2]);
  delta[0] = 0x00;  // no STX: letter "e"
  EXPECT_EQ(s.Raw(delta), status::kExpansion);
  EXPECT_EQ(s.Records().size(), 1u);  // the key frame alone
}

}  // namespace
}  // namespace dattest
