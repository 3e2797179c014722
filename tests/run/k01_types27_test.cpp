// Multi-signal logs end to end: raw type-27 epochs with precise positions
// (29), data pages (25) and coded values (40), and the same log compressed
// into types 36-39, 56/57, 84/85 and 41, convert into the same DAT file
// under every type-27 mode; the L2 mode picks the second frequency of the
// converted type-17 records and the derived Doppler survives a clock jump.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
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

tb::Conversion Convert(const Bytes& file, int16_t type27Mode, int16_t l2Mode = 3) {
  tb::Conversion c;
  c.input = file;
  c.format = kFormatK01;
  c.type27Mode = type27Mode;
  c.l2Mode = l2Mode;
  c.Run();
  return c;
}

k01::k01_ms_signal_t Signal(uint8_t band, uint8_t type, int64_t range, int64_t phase, uint16_t snr = 450) {
  k01::k01_ms_signal_t g;
  g.band = band;
  g.further = type;
  g.value16 = snr;
  g.range = range;
  g.phase = phase;
  return g;
}

// Epoch k. SV 3 carries L1, L2E (type 2) and L2C (type 1); SV 9 only L2E,
// SV 14 only L2C listed before its L1 (not used) and after it; a GLONASS
// and a system-1 satellite. SV 3's L1 phase: 0, 1500 cycles one second
// later, then a step of 1001 ms over which the clock offset rises by 1 ms
// and the phase by 1500 - 1,575,420 cycles; from epoch 5 on nothing but the
// time moves (a phase-only epoch carries it).
k01::k01_ms_epoch_t Epoch(int k) {
  k01::k01_ms_epoch_t e;
  e.week = 2100;
  const int moving = k < 5 ? k : 4;
  e.time = kT0 + 1000u * k + (k >= 2 ? 1 : 0);
  e.clock = k >= 2 ? (1 << 19) : 0;  // 1 ms in units of 2^-19 ms
  int64_t l1 = k == 0 ? 0 : k == 1 ? 1500 : 3000 - 1575420 + 1500 * (moving - 2);
  k01::k01_ms_sat_t a, b, c, glo, other;
  a.sv = 3;
  a.byte5 = 7;
  a.signals = {Signal(0, 0, 2890000000LL + 100 * moving, l1 * kCycle),
               Signal(1, 2, -512, 2001 * kCycle / 2 + 40 * moving, 380),  // L2E: 1000.5 cycles at k = 0
               Signal(1, 1, 768, -300 * kCycle + 25 * moving, 410)};     // L2C: -300 cycles at k = 0
  a.signals[0].flags = 0;
  b.sv = 9;
  b.signals = {Signal(0, 0, 2700000000LL - 50 * moving, 7000 * kCycle * moving), Signal(1, 2, 256, 5 * kCycle)};
  b.signals[0].flags = 0x04;
  b.signals[0].doppler = 256 * 7000;
  c.sv = 14;  // an L2 block first: it carries the first range
  c.signals = {Signal(1, 1, 2600000000LL, 9 * kCycle), Signal(0, 1, 0, 0), Signal(1, 1, 1024, 11 * kCycle)};
  glo.sv = 5;
  glo.system = 2;
  glo.channel = -3;
  glo.signals = {Signal(0, 0, 2400000000LL + 10 * moving, 100 * kCycle * moving)};
  other.sv = 22;
  other.system = 1;
  other.signals = {Signal(0, 0, 1200000000LL, 3 * kCycle)};
  e.sats = {a, b, c, glo, other};
  return e;
}

Bytes Precise(int k) {
  k01::k01_prec29_fields_t p;
  for (int i = 0; i < 14; ++i) p.first[i] = static_cast<uint8_t>(0x10 + i);
  p.first[2] = static_cast<uint8_t>(k);  // the 32-bit field at 7 moves
  p.first[8] = 2;                        // byte 13: positions taken for type 11
  p.first[10] = 0x02;                    // fourth section present
  p.first[12] = 4;                       // third section present
  for (int i = 0; i < 52; ++i) p.second[i] = static_cast<uint8_t>(3 * i);
  p.second[5] = static_cast<uint8_t>(20 * k);  // latitude moves
  p.second[15] = static_cast<uint8_t>(k);
  p.fourth[0] = 0x40;
  p.sats = {{3, 0, 2}, {9, 0, 2}, {5, 2, 3}};
  if (k == 3) p.sats[1] = {14, 0, 2};
  return k01::buildRaw29Record(p);
}

// Types 28 and 32 (written in modes 0 and 2 only) with recognisable values,
// then seven epochs of types 27, 29, 25 and 40.
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
    records.push_back(Precise(k));
    records.push_back(k01::buildRaw25Record(0, kT0 + 1000u * k, 2100, 1, page));
    records.push_back(k01::buildRaw40Record(
        0, 2100, kT0 + 1000u * k, {{6, static_cast<uint16_t>(100 - k)}, {7, 2000}, {12, static_cast<uint16_t>(300 + 200 * k)}}));
  }
  return records;
}

Bytes Pack(const std::vector<Bytes>& records, bool compress) {
  k01::k01_write_options_t o;
  o.blockTypes = {2, 3};
  o.recordsPerBlock = 6;
  o.compressMultiSignal = o.compressAuxiliary = compress;
  Bytes out;
  EXPECT_EQ(k01::writeK01File(records, o, out), k01::kWriteOk);
  return out;
}

bool Contains(const Bytes& hay, double value) {
  uint8_t needle[8];
  bo::PutLeDouble(needle, value);
  for (size_t i = 0; i + 8 <= hay.size(); ++i)
    if (std::memcmp(hay.data() + i, needle, 8) == 0) return true;
  return false;
}

// The SV blocks of the DAT type-17 record of the epoch at `time`: SV,
// flags (bit 0: second frequency), the five first-frequency values and
// the three of the second.
struct Sv17 {
  uint8_t sv = 0, flags = 0;
  double first[5] = {}, second[3] = {};
};
std::vector<Sv17> Type17At(const Bytes& dat, double time) {
  std::vector<Sv17> svs;
  for (size_t i = 0; i + 21 <= dat.size(); ++i) {
    if (dat[i] != 0x74 || dat[i + 3] != 17 || bo::GetLeDouble(dat.data() + i + 4) != time) continue;
    for (size_t n = 0, at = i + 21; n < dat[i + 20] && at + 48 <= dat.size(); ++n) {
      Sv17 s{dat[at], dat[at + 1]};
      for (int v = 0; v < 5; ++v) s.first[v] = bo::GetLeDouble(dat.data() + at + 8 + 8 * v);
      at += 48;
      for (int v = 0; (s.flags & 1) && v < 3; ++v) s.second[v] = bo::GetLeDouble(dat.data() + at + 8 * v);
      at += (s.flags & 1) ? 24 : 0;
      svs.push_back(s);
    }
    break;
  }
  return svs;
}

TEST(K01Types27, CompressedLogConvertsLikeTheRawLogInEveryMode) {
  const std::vector<Bytes> raw = RawLog();
  // The compressed log holds every compressed form of these families.
  k01::k01_write_options_t o;
  o.compressMultiSignal = o.compressAuxiliary = true;
  std::vector<Bytes> packed;
  ASSERT_EQ(k01::compressOtherRecords(raw, o, packed), k01::kWriteOk);
  std::set<uint8_t> types;
  for (const Bytes& r : packed) types.insert(r[2]);
  for (uint8_t t : {38, 39, 57, 56, 85, 84, 41}) EXPECT_TRUE(types.count(t)) << int(t);
  EXPECT_TRUE(types.count(36) || types.count(37));
  for (uint8_t t : {27, 29, 25, 40}) EXPECT_FALSE(types.count(t)) << int(t);

  const Bytes plainFile = Pack(raw, false), packedFile = Pack(raw, true);
  EXPECT_LT(packedFile.size(), plainFile.size());
  // Mode, the DAT extension, and whether types 28/32 are written.
  const std::tuple<int16_t, const char*, bool> modes[] = {{0, ".vxd", true}, {1, ".dat", false}, {2, ".vxd", true}};
  for (const auto& [mode, extension, has28and32] : modes) {
    SCOPED_TRACE(mode);
    tb::Conversion a = Convert(plainFile, mode), b = Convert(packedFile, mode);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(b.status, 0);
    EXPECT_EQ(a.files.size(), 1u);
    ASSERT_GT(a.files[extension].size(), 2000u);
    EXPECT_EQ(a.files, b.files);
    EXPECT_EQ(Contains(a.Dat(), 12345.678), has28and32);
    EXPECT_EQ(Contains(a.Dat(), 54321.25), has28and32);
    EXPECT_EQ(Type17At(a.Dat(), kT0).empty(), mode == 0);  // type 17 in modes 1 and 2 only
  }
}

TEST(K01Types27, L2ModeChoosesTheSecondFrequencyAndDopplerIsDerived) {
  const Bytes file = Pack(RawLog(), true);
  // First epoch, by hand. SV 3: L1 range 2890000000 x 2^-7 m; L2E signal-
  // to-noise 38.0, phase 1000.5 cycles, range difference -512 x 2^-8 = -2 m;
  // L2C 41.0, -300 cycles, 768 x 2^-8 = 3 m. SV 9 has only L2E (1 m, 5
  // cycles), SV 14 only an L2C after its L1 (4 m, 11 cycles). Each entry:
  // present, signal-to-noise, phase, range difference.
  using L2 = std::array<double, 4>;
  const L2 l2e3{1, 38.0, 1000.5, -2.0}, l2c3{1, 41.0, -300.0, 3.0}, l2e9{1, 45.0, 5.0, 1.0},
      l2c14{1, 45.0, 11.0, 4.0}, none{0, 0, 0, 0};
  const std::array<L2, 3> cases[] = {
      {l2e3, l2e9, none},    // 0: -l2e
      {l2c3, none, l2c14},   // 1: -l2c
      {l2e3, l2e9, l2c14},   // 2: -l2e+
      {l2c3, l2e9, l2c14}};  // 3: -l2c+
  for (int16_t mode = 0; mode < 4; ++mode) {
    SCOPED_TRACE(mode);
    const tb::Conversion out = Convert(file, 1, mode);
    ASSERT_EQ(out.status, 0);
    const auto svs = Type17At(out.Dat(), kT0);
    ASSERT_EQ(svs.size(), 3u);  // the GPS satellites only
    const uint8_t numbers[] = {3, 9, 14};
    for (int i = 0; i < 3; ++i) {
      const L2& want = cases[mode][i];
      EXPECT_EQ(svs[i].sv, numbers[i]);
      EXPECT_EQ(svs[i].flags & 1, want[0]) << i;
      EXPECT_EQ(std::vector<double>(svs[i].second, svs[i].second + 3),
                std::vector<double>(want.begin() + 1, want.end())) << i;
    }
    EXPECT_EQ(svs[0].first[1], 2890000000.0 / 128);
  }
  // SV 3's L1 has no Doppler in the record; the first epoch has nothing to
  // derive it from. Epoch 1: 1500 cycles in 1000 ms. Epoch 2: 1001 ms,
  // clock offset up 1 ms (J = +1), phase change 1500 - 1575420 cycles; one
  // millisecond of L1 carrier (1575420 cycles) comes back: 1500 / ((1001 -
  // 1) / 1000) = 1500 Hz.
  const tb::Conversion out = Convert(file, 1);
  for (const auto& [t, doppler] : {std::pair{kT0 + 0.0, 0.0}, {kT0 + 1000.0, 1500.0}, {kT0 + 2001.0, 1500.0}}) {
    const auto svs = Type17At(out.Dat(), t);
    ASSERT_FALSE(svs.empty()) << t;
    EXPECT_EQ(svs[0].sv, 3);
    EXPECT_EQ(svs[0].first[3], doppler) << t;
  }
}

}  // namespace
