// Compact measurement records of the raw path: a key frame and delta epochs
// expand into the same DAT records as the raw type-17 epochs they stand
// for; damaged or unknown compact records are refused.
#include "dat_fixture.h"
#include "k01lib/meas17_encoder.h"

namespace dattest {
namespace {

// Five satellites per epoch; with `dual` every other one has second-frequency values.
std::vector<k01::k01_meas17_epoch_t> Epochs(int count, bool dual) {
  std::vector<k01::k01_meas17_epoch_t> out(count);
  for (int e = 0; e < count; ++e) {
    out[e].time = 345600000u + 1000u * static_cast<uint32_t>(e);
    out[e].clock = 2000 + 37 * e;
    for (int s = 0; s < 5; ++s) {
      const bool two = dual && s % 2 == 0;
      out[e].sats.push_back({static_cast<uint8_t>(2 + 5 * s), two, 3, 0, 0, static_cast<uint8_t>(160 + s),
                             2600000000u + 91000u * static_cast<uint32_t>(e) + 7u * static_cast<uint32_t>(s),
                             1000000000LL + 1500000LL * e * (s + 1) + 3LL * e * e, -2000 + 40 * s + e, 0,
                             static_cast<uint8_t>(two ? 120 + s : 0), two ? 800000000LL + 1168831LL * e * (s + 1) : 0,
                             static_cast<int16_t>(two ? -30 + s : 0)});
    }
  }
  return out;
}

// The raw path's expansion: at most 24 satellites, flags always sent raw. The
// last epoch is sent damaged: its carried checksum (just before the end byte)
// changed, then without its STX (letter "e").
TEST(CompactExpansion, KeyAndDeltaEpochsEqualTheRawEpochsDamagedOnesAreRefused) {
  for (bool dual : {false, true}) {
    const auto epochs = Epochs(7, dual);
    DatSink raw, compact;
    k01::k01_meas17_encoder_t enc{{.maxSatellites = 24, .flagsMode = 0}};
    for (size_t i = 0; i < 6; ++i) {
      Bytes r, c;
      ASSERT_TRUE(k01::buildRaw17Record(epochs[i], r));
      ASSERT_EQ(raw.Raw(r), 0);
      ASSERT_EQ(i == 0 ? enc.key(epochs[i], c) : enc.delta(epochs[i], c), k01::kEnc17Ok);
      ASSERT_TRUE(i == 0 || c[2] == 66);  // delta epochs after the key frame
      ASSERT_EQ(compact.Raw(c), 0) << "epoch " << i;
    }
    EXPECT_EQ(raw.Records().size(), 6u);
    EXPECT_EQ(raw.File(), compact.File()) << (dual ? "dual" : "single") << " frequency";
    Bytes delta;
    ASSERT_EQ(enc.delta(epochs[6], delta), k01::kEnc17Ok);
    Bytes bad = delta;
    bad[bad.size() - 2] ^= 0x01;
    EXPECT_EQ(compact.Raw(bad), status::kBadChecksum);
    bad = delta;
    bad[0] = 0x00;
    EXPECT_EQ(compact.Raw(bad), status::kExpansion);
    EXPECT_EQ(raw.File(), compact.File());
  }
}

}  // namespace
}  // namespace dattest
