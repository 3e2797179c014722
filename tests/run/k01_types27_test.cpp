// Multi-signal logs end to end: raw type-27 epochs with data pages (25) and
// coded values (40), and the same log compressed into types 36-39, 84/85
// and 41, convert into the same DAT file under every type-27 mode of the
// run, which decides the DAT extension and whether types 28/32 are written;
// the run's L2 mode picks the second frequency of the converted type-17
// records. The transcoders (precise positions too), the L2 choice itself
// and the derived Doppler are checked one by one in tests/k01lib.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "common/byte_order.h"
#include "k01lib/aux_encoder.h"
#include "k01lib/k01_writer.h"
#include "k01lib/multisignal_encoder.h"
#include "support/conversion_runner.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int64_t kCycle = 32768;  // phase units per cycle
constexpr uint32_t kT0 = 345600000;

k01::k01_ms_signal_t Signal(uint8_t band, uint8_t type, int64_t range, int64_t phase, uint16_t snr = 450) {
  k01::k01_ms_signal_t g;
  g.band = band;
  g.further = type;
  g.value16 = snr;
  g.range = range;
  g.phase = phase;
  return g;
}

// Epoch k: SV 3 with L1, L2E (type 2) and L2C (type 1), and a GLONASS
// satellite. The values move until epoch 4; after it only the time does
// (a phase-only epoch carries it).
k01::k01_ms_epoch_t Epoch(int k) {
  const int m = k < 5 ? k : 4;
  k01::k01_ms_epoch_t e;
  e.week = 2100;
  e.time = kT0 + 1000u * k;
  k01::k01_ms_sat_t gps, glo;
  gps.sv = 3;
  gps.signals = {Signal(0, 0, 2890000000LL + 100 * m, 1500 * m * kCycle),
                 Signal(1, 2, -512, 2001 * kCycle / 2 + 40 * m, 380),  // L2E: 1000.5 cycles at k = 0
                 Signal(1, 1, 768, -300 * kCycle + 25 * m, 410)};     // L2C: -300 cycles at k = 0
  gps.signals[0].flags = 0;
  glo.sv = 5;
  glo.system = 2;
  glo.channel = -3;
  glo.signals = {Signal(0, 0, 2400000000LL + 10 * m, 100 * kCycle * m)};
  e.sats = {gps, glo};
  return e;
}

// A type-28 and a type-32 record, then seven epochs, each with a data page
// (25) and coded values (40).
std::vector<Bytes> RawLog() {
  tb::Fields t28, t32;
  t28.u8(2).u8(1).u16(2).u32(3).u16(4).u8(5).u8(6).u8(7).u32(8).zeros(6);
  for (int i = 0; i < 14; ++i) t28.f64(12345.678);
  t32.u8(3).u16(1).u32(2).f64(54321.25).f64(54321.25).f64(54321.25).u8(4).f64(1).f64(2);
  t32.u16(5).u32(6).u16(7).u16(8).u16(9).u16(10).f64(3).f64(4).u32(11).u16(12);
  std::vector<Bytes> records = {t28.record(28), t32.record(32)};
  for (int k = 0; k < 7; ++k) {
    std::array<uint8_t, 28> page;
    for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(k % 3 * 13 + 5 * i);
    page[0] = static_cast<uint8_t>((k % 2 + 1) << 2);  // row
    records.push_back(k01::buildRaw27Record(Epoch(k)));
    records.push_back(k01::buildRaw25Record(0, kT0 + 1000u * k, 2100, 1, page));
    records.push_back(
        k01::buildRaw40Record(0, 2100, kT0 + 1000u * k, {{6, uint16_t(100 - k)}, {12, uint16_t(300 + 200 * k)}}));
  }
  return records;
}

Bytes Pack(const std::vector<Bytes>& records, bool compress) {
  k01::k01_write_options_t o;
  o.blockTypes = {2, 3};
  o.recordsPerBlock = 3;
  o.compressMultiSignal = o.compressAuxiliary = compress;
  Bytes out;
  EXPECT_EQ(k01::writeK01File(records, o, out), k01::kWriteOk);
  return out;
}

tb::Conversion Convert(const Bytes& file, int16_t type27Mode, int16_t l2Mode = 3) {
  tb::Conversion c;
  c.input = file;
  c.format = kFormatK01;
  c.type27Mode = type27Mode;
  c.l2Mode = l2Mode;
  c.Run();
  return c;
}

// Offsets of the DAT records, by type (12, 17, 27 and 29 carry a 16-bit length).
std::multimap<uint8_t, size_t> DatRecords(const Bytes& dat) {
  std::multimap<uint8_t, size_t> records;
  for (size_t p = 0; p + 4 <= dat.size() && dat[p] == 0x74;) {
    const uint8_t t = dat[p + 3];
    const bool wide = t == 12 || t == 17 || t == 27 || t == 29;
    const size_t length = dat[p + 1] | (wide ? dat[p + 2] << 8 : 0);
    if (length < 4) break;
    records.emplace(t, p);
    p += length;
  }
  return records;
}

TEST(K01Types27, CompressedLogConvertsLikeTheRawLogInEveryMode) {
  const std::vector<Bytes> raw = RawLog();
  // The compressed log holds key, delta and phase-only epochs, pages and codes.
  k01::k01_write_options_t o;
  o.compressMultiSignal = o.compressAuxiliary = true;
  std::vector<Bytes> packed;
  ASSERT_EQ(k01::compressOtherRecords(raw, o, packed), k01::kWriteOk);
  std::set<uint8_t> types;
  for (const Bytes& r : packed) types.insert(r[2]);
  EXPECT_EQ(types.count(27) + types.count(25) + types.count(40), 0u);
  for (uint8_t t : {38, 39, 84, 85, 41}) EXPECT_TRUE(types.count(t)) << int(t);
  EXPECT_TRUE(types.count(36) || types.count(37));

  const Bytes plainFile = Pack(raw, false), packedFile = Pack(raw, true);
  // Mode, the DAT extension, whether types 28/32 and whether type 17 are written.
  const std::tuple<int16_t, const char*, bool, bool> modes[] = {
      {0, ".vxd", true, false}, {1, ".dat", false, true}, {2, ".vxd", true, true}};
  for (const auto& [mode, extension, has28and32, has17] : modes) {
    SCOPED_TRACE(mode);
    tb::Conversion a = Convert(plainFile, mode), b = Convert(packedFile, mode);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(b.status, 0);
    EXPECT_EQ(a.files.size(), 1u);
    ASSERT_GT(a.files[extension].size(), 1000u);
    EXPECT_EQ(a.files, b.files);
    const auto dat = DatRecords(a.Dat());
    EXPECT_EQ(dat.count(28) + dat.count(32), has28and32 ? 2u : 0u);
    EXPECT_EQ(dat.count(17), has17 ? 7u : 0u);
  }
}

// First epoch, by hand: SV 3's L2E has signal-to-noise 38.0, phase 1000.5
// cycles and range difference -512 x 2^-8 = -2 m; its L2C 41.0, -300 cycles
// and 768 x 2^-8 = 3 m. Modes 0 and 2 take L2E, 1 and 3 L2C.
TEST(K01Types27, L2ModeChoosesTheSecondFrequency) {
  const Bytes file = Pack(RawLog(), true);
  for (int16_t mode = 0; mode < 4; ++mode) {
    SCOPED_TRACE(mode);
    const Bytes dat = Convert(file, 1, mode).Dat();
    // The first type-17 record: its first SV block (48 bytes after the
    // 21-byte head) and the second-frequency values after it.
    const auto records = DatRecords(dat);
    ASSERT_EQ(records.count(17), 7u);
    const size_t p = records.lower_bound(17)->second;
    ASSERT_LE(p + 21 + 48 + 24, dat.size());
    EXPECT_EQ(bo::GetLeDouble(dat.data() + p + 4), kT0 + 0.0);
    EXPECT_EQ(dat[p + 20], 1);       // the GPS satellite only
    EXPECT_EQ(dat[p + 21], 3);       // SV 3
    EXPECT_EQ(dat[p + 22] & 1, 1);   // with a second frequency
    const double want[2][3] = {{38.0, 1000.5, -2.0}, {41.0, -300.0, 3.0}};
    for (int v = 0; v < 3; ++v)
      EXPECT_EQ(bo::GetLeDouble(dat.data() + p + 69 + 8 * v), want[mode % 2][v]) << v;
  }
}

}  // namespace
