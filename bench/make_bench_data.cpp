// Writes the benchmark data sets: synthetic receiver logs, realistic in the
// ways that matter for the converter's speed, in every input form it reads.
//
// The sky: satellites rise and set along passes of 4.3 to 5.7 hours; ranges
// run from about 25,500 km at the horizon down to 20,000-22,500 km (GPS),
// range rates reach 700-900 m/s near the horizon. Carrier phases follow the
// range (range / wavelength + a whole number of cycles, less the ionospheric
// delay), pseudoranges carry the delay, a code bias and noise of a few
// decimetres, carrier phases a few millimetres, so the compressed delta
// epochs are as small as they are on real logs. Passes are staggered so that
// the number of satellites in view stays within fixed bounds.
//
// Data sets (DURATION from the options):
//   gps17-DURATION    GPS, 1 Hz, 10 to 14 satellites on L1 and L2, raw type-17
//                     (117) epochs with the receiver's Doppler, a receiver clock
//                     that drifts and jumps by 1 ms. Forms: raw image (.q00);
//                     K01 with the epochs compressed (linear predictor, a key
//                     epoch every 600 epochs) as one Huffman stream and in
//                     blocks of type 1 (bzip2), 2 (zlib), 3 (Huffman) and 4
//                     (plain).
//   gps17d0-DURATION  The same log with every Doppler 0, compressed with the
//                     smoothed predictor (which carries no Doppler): blocks of
//                     type 5 (bzip2 of stripped records) and, to check them
//                     against, of type 1.
//   multi27-DURATION  GPS (L1, L2, L5), GLONASS (L1, L2 on two codes) and a
//                     third system (three bands), 25 to 35 satellites in view,
//                     1 Hz, raw type-27 epochs, steered receiver clock. Forms:
//                     K00 (the raw records, read by the K01 path: a raw image
//                     frames no record longer than 255 bytes), K01 with the
//                     epochs compressed (types 36 to 39) as a stream and in
//                     blocks of types 1 to 4, and raw type-27 records in
//                     type-5 blocks (stripped records cannot carry the
//                     compressed forms).
// Every log also holds a receiver record at its start, the ion/UTC record,
// GPS ephemerides (at the start, when a satellite rises and every two
// hours) and a position every 60 seconds. A short set is the first quarter
// of the long set of its family, record for record.
//
// usage: make_bench_data [--hours17 H] [--hours27 H] [--quick] [--seed N] OUTDIR
//   --hours17 H  duration of the long type-17 sets (default 24, at most 120);
//                the short sets last a quarter of it (the linearity check)
//   --hours27 H  duration of the long type-27 set (default 6, at most 120);
//                the short set lasts a quarter of it
//   --quick      only the short sets
// Writes OUTDIR/manifest.tsv: one line per file with its family, data set,
// scale (long, or short: a quarter of the duration), form, record kind (17
// or 27), epochs, satellite-epochs (type 17) or signal-epochs (type 27) and
// size in bytes.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "common/raw_record.h"
#include "k01lib/container_reader.h"
#include "k01lib/k01_writer.h"
#include "k01lib/meas17_encoder.h"
#include "k01lib/multisignal_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Records = std::vector<Bytes>;

constexpr double kLightSpeed = 299792458.0;
constexpr double kPi = 3.14159265358979323846;
constexpr uint16_t kGpsWeek = 2300;
constexpr uint32_t kStartTowMs = 172800000;  // Tuesday 00:00
constexpr double kMaxHours = 120.0;          // up to the end of the week
constexpr uint8_t kGps = 0, kGlonass = 2, kThird = 3;

// ---- random numbers ---------------------------------------------------------

// splitmix64: deterministic, so every run writes the same files.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double uniform(double a, double b) { return a + (b - a) * uniform(); }
  // Standard normal (Box-Muller).
  double gauss() {
    if (haveSpare_) {
      haveSpare_ = false;
      return spare_;
    }
    const double u1 = std::max(uniform(), 1e-300), u2 = uniform();
    const double r = std::sqrt(-2.0 * std::log(u1));
    spare_ = r * std::sin(2.0 * kPi * u2);
    haveSpare_ = true;
    return r * std::cos(2.0 * kPi * u2);
  }

 private:
  uint64_t state_;
  double spare_ = 0.0;
  bool haveSpare_ = false;
};

int64_t Round(double v) { return static_cast<int64_t>(std::llround(v)); }

// ---- signals ----------------------------------------------------------------

// Carrier frequency of a band, as the converter's tables give it.
double Frequency(uint8_t system, uint8_t band, int8_t channel) {
  if (system == kGlonass) return band == 0 ? 1602.0e6 + 562500.0 * channel : 1246.0e6 + 437500.0 * channel;
  static const double kBands[] = {1575.42e6, 1227.60e6, 1176.45e6, 1207.14e6};
  return kBands[band];
}

struct SignalDef {
  uint8_t band;
  uint8_t type;        // tracking/code type within the band
  double snrOffset;    // dB-Hz against the first signal
  double codeNoise;    // m, one sigma
  double codeBias;     // m
};

// Three signals per satellite of the type-27 log, by system.
const SignalDef kGpsSignals[] = {{0, 0, 0.0, 0.25, 0.0}, {1, 1, -4.0, 0.30, 0.6}, {2, 3, 2.0, 0.15, -0.4}};
const SignalDef kGlonassSignals[] = {{0, 0, 0.0, 0.35, 0.0}, {1, 0, -3.0, 0.40, 1.1}, {1, 1, -5.0, 0.40, 0.8}};
const SignalDef kThirdSignals[] = {{0, 0, 0.0, 0.20, 0.0}, {2, 0, 3.0, 0.12, -0.7}, {3, 0, 2.5, 0.12, -0.5}};

const SignalDef* SignalsOf(uint8_t system) {
  return system == kGps ? kGpsSignals : system == kGlonass ? kGlonassSignals : kThirdSignals;
}

// ---- the sky ----------------------------------------------------------------

struct SystemModel {
  uint8_t system;
  int satellites;                      // numbers 1 to this
  double rangeMinLow, rangeMinHigh;    // closest approach of a pass, m
  double horizonLow, horizonHigh;      // range at rise and set, m
};

const SystemModel kGpsModel = {kGps, 32, 20.2e6, 22.5e6, 25.3e6, 25.9e6};
const SystemModel kGlonassModel = {kGlonass, 24, 19.2e6, 21.2e6, 24.0e6, 24.6e6};
const SystemModel kThirdModel = {kThird, 36, 23.3e6, 25.3e6, 28.4e6, 29.0e6};

const SystemModel& ModelOf(uint8_t system) {
  return system == kGps ? kGpsModel : system == kGlonass ? kGlonassModel : kThirdModel;
}

// One satellite pass: the satellite is in view from rise to set (seconds
// from the start of the log; the first passes are already under way).
struct Pass {
  uint8_t system = 0, sv = 0;
  int8_t channel = 0;  // GLONASS frequency channel
  double rise = 0, set = 0;
  double rangeMin = 0, rangeHorizon = 0;
  double maxElevation = 0, azimuthRise = 0, azimuthSet = 0;
  int slot = 0;                 // tracking slot: the order of the satellite blocks
  double ambiguity[3] = {};     // whole cycles per signal

  double Angle(double t) const { return kPi * (t - rise) / (set - rise); }
  double Range(double t) const { return rangeHorizon - (rangeHorizon - rangeMin) * std::sin(Angle(t)); }
  double RangeRate(double t) const {
    return -(rangeHorizon - rangeMin) * std::cos(Angle(t)) * kPi / (set - rise);
  }
  double Elevation(double t) const { return maxElevation * std::sin(Angle(t)); }  // degrees
  double Azimuth(double t) const {
    const double a = azimuthRise + (azimuthSet - azimuthRise) * (t - rise) / (set - rise);
    return std::fmod(a + 720.0, 360.0);
  }
};

// Lanes: each lane holds one pass after another. Lane k changes satellite
// around k x period / lanes (+ a whole number of periods), with a gap or an
// overlap of up to maxTransition between the two passes. Transitions of
// different lanes are spread so that at most a few are under way at once,
// which bounds the number of satellites in view.
struct SkyLayout {
  std::vector<uint8_t> laneSystems;
  double period = 5.0 * 3600.0;
  double minTransition = 5.0 * 60.0, maxTransition = 40.0 * 60.0;
  double jitter = 60.0;
};

// Each lane draws from its own generator, so a shorter log sees the first
// passes of a longer one with the same seed.
std::vector<Pass> MakeSky(const SkyLayout& layout, double duration, uint64_t seed) {
  std::vector<Pass> passes;
  const size_t lanes = layout.laneSystems.size();
  for (size_t k = 0; k < lanes; ++k) {
    Rng rng(seed * 1000 + k);
    const double offset = layout.period * static_cast<double>(k) / static_cast<double>(lanes);
    double rise = offset - layout.period;
    for (int j = 0; rise < duration; ++j) {
      const double boundary = offset + j * layout.period + rng.uniform(-layout.jitter, layout.jitter);
      const double d = rng.uniform(layout.minTransition, layout.maxTransition);
      const bool gap = rng.uniform() < 0.5;
      Pass p;
      p.system = layout.laneSystems[k];
      const SystemModel& m = ModelOf(p.system);
      p.rise = rise;
      p.set = gap ? boundary - d / 2 : boundary + d / 2;
      p.rangeMin = rng.uniform(m.rangeMinLow, m.rangeMinHigh);
      p.rangeHorizon = rng.uniform(m.horizonLow, m.horizonHigh);
      // A pass that comes closer climbs higher.
      const double closeness = (p.rangeHorizon - p.rangeMin) / (m.horizonHigh - m.rangeMinLow);
      p.maxElevation = std::min(88.0, 12.0 + 80.0 * closeness);
      p.azimuthRise = rng.uniform(0.0, 360.0);
      p.azimuthSet = p.azimuthRise + rng.uniform(90.0, 200.0) * (rng.uniform() < 0.5 ? -1 : 1);
      for (double& n : p.ambiguity) n = std::floor(rng.uniform(-2.0e5, 2.0e5));
      passes.push_back(p);
      rise = gap ? boundary + d / 2 : boundary - d / 2;
    }
  }
  // Satellite numbers and tracking slots in the order the passes begin: a
  // satellite that sets joins the back of its system's queue.
  std::sort(passes.begin(), passes.end(), [](const Pass& a, const Pass& b) { return a.rise < b.rise; });
  Rng rng(~seed);
  std::deque<uint8_t> queue[4];
  for (uint8_t s : {kGps, kGlonass, kThird}) {
    std::vector<uint8_t> numbers;
    for (int n = 1; n <= ModelOf(s).satellites; ++n) numbers.push_back(static_cast<uint8_t>(n));
    for (size_t i = numbers.size(); i > 1; --i) std::swap(numbers[i - 1], numbers[rng.next() % i]);
    queue[s].assign(numbers.begin(), numbers.end());
  }
  std::vector<size_t> active;  // indices of passes under way
  std::vector<bool> slotUsed;
  for (size_t i = 0; i < passes.size(); ++i) {
    Pass& p = passes[i];
    for (size_t a = 0; a < active.size();) {
      Pass& q = passes[active[a]];
      if (q.set <= p.rise) {
        queue[q.system].push_back(q.sv);
        slotUsed[static_cast<size_t>(q.slot)] = false;
        active.erase(active.begin() + static_cast<long>(a));
      } else {
        ++a;
      }
    }
    p.sv = queue[p.system].front();
    queue[p.system].pop_front();
    p.channel = static_cast<int8_t>((p.sv * 5) % 14 - 7);
    size_t slot = 0;
    while (slot < slotUsed.size() && slotUsed[slot]) ++slot;
    if (slot == slotUsed.size()) slotUsed.push_back(false);
    slotUsed[slot] = true;
    p.slot = static_cast<int>(slot);
    active.push_back(i);
  }
  return passes;
}

// The passes in view at each second, in order of their satellite blocks.
class SkyCursor {
 public:
  SkyCursor(const std::vector<Pass>& passes, bool bySystem) : passes_(passes), bySystem_(bySystem) {}
  const std::vector<const Pass*>& At(double t) {
    while (next_ < passes_.size() && passes_[next_].rise <= t) inView_.push_back(&passes_[next_++]);
    inView_.erase(std::remove_if(inView_.begin(), inView_.end(), [t](const Pass* p) { return p->set <= t; }),
                  inView_.end());
    std::sort(inView_.begin(), inView_.end(), [this](const Pass* a, const Pass* b) {
      if (bySystem_ && a->system != b->system) return a->system < b->system;
      return a->slot < b->slot;
    });
    return inView_;
  }

 private:
  const std::vector<Pass>& passes_;
  bool bySystem_;
  size_t next_ = 0;
  std::vector<const Pass*> inView_;
};

// Vertical ionospheric delay on L1 (m), a daily swing, and its slant factor.
double IonoL1(double t, double elevationDeg) {
  const double vertical = 3.0 + 2.0 * std::sin(2.0 * kPi * (t - 6.0 * 3600.0) / 86400.0);
  const double c = 0.95 * std::cos(elevationDeg * kPi / 180.0);
  return vertical / std::sqrt(1.0 - c * c);
}

double SnrDbHz(const Pass& p, double t, Rng& rng) {
  return 33.0 + 17.0 * std::sin(p.Elevation(t) * kPi / 180.0) + 0.6 * rng.gauss();
}

// ---- further records ----------------------------------------------------------

class Fields {
 public:
  Fields& u8(uint32_t v) { d_.push_back(static_cast<uint8_t>(v)); return *this; }
  Fields& be(uint64_t v, unsigned n) { bo::AppendBeN(d_, v, n); return *this; }
  Fields& f64(double v) {
    uint8_t b[8];
    bo::PutBeDouble(b, v);
    d_.insert(d_.end(), b, b + 8);
    return *this;
  }
  Bytes Record(uint8_t type) const { return rawrec::BuildRecord(type, d_); }

 private:
  Bytes d_;
};

// Receiver record of subtype 0 with the maker text: a K00 file starts with it.
Bytes ReceiverRecord() {
  return Fields().u8(0).u8('V').u8('E').u8('L').u8('T').u8(0).u8(1).u8(0).u8(0).Record(30);
}

Bytes IonUtcRecord() {
  Fields f;
  const double values[11] = {1.1176e-8, 7.4506e-9, -5.9605e-8, -5.9605e-8, 90112.0, 0.0,
                             -196608.0, -65536.0,  1.8626e-9,  8.8818e-16, 0.0};
  for (double v : values) f.f64(v);
  f.be(18, 2).be(static_cast<uint16_t>(-1), 2).be(503808, 4);
  for (int b = 0; b < 8; ++b) f.u8(b == 0 ? 18 : 0);
  return f.Record(15);
}

// The 25 orbit and clock values of a GPS ephemeris issued at toe (s of week).
void EphemerisValues(uint8_t sv, double toe, double* v) {
  const double s = sv;
  const double values[25] = {toe,         0.0,           -1.1e-12 * s, 1.2e-5 * (s - 16), std::fmod(toe / 7200.0, 256.0),
                             -12.5 + s,   4.5e-9,        0.19 * s - 3,  -6.1e-7,           0.004 + 0.0005 * s,
                             8.3e-6,      5153.6 + 0.01 * s, toe,      1.3e-7,            -2.9 + 0.2 * s,
                             -7.4e-8,     0.96 + 0.001 * s, 230.1 + s, 0.6 - 0.05 * s,    -8.0e-9,
                             1.5e-10,     kGpsWeek,      2.0,          0.0,               -1.1e-8};
  std::memcpy(v, values, sizeof values);
}

Bytes EphemerisRecord(uint8_t sv, double toe) {
  double v[25];
  EphemerisValues(sv, toe, v);
  Fields f;
  f.u8(sv);
  for (double x : v) f.f64(x);
  return f.Record(3);
}

// A position: latitude and longitude in semicircles, height, and the first
// four satellites of the epoch.
Bytes PositionRecord(uint32_t timeMs, const std::vector<uint8_t>& svs, Rng& rng) {
  Fields f;
  f.be(static_cast<uint32_t>(Round((0.2734375 + 1e-8 * rng.gauss()) * 2147483648.0)), 4);
  f.be(static_cast<uint32_t>(Round((-0.4296875 + 1e-8 * rng.gauss()) * 1073741824.0)), 4);
  f.be(static_cast<uint32_t>(Round((312.4 + 0.8 * rng.gauss()) * 4096.0)), 4);
  f.be(2000, 4).be(150, 4).be(18, 2).be(0, 4).be(0, 4).be(0, 4).be(timeMs, 4);
  for (size_t i = 0; i < 4; ++i) f.u8(i < svs.size() ? svs[i] : 0);
  for (int i = 0; i < 6; ++i) f.u8(0);
  return f.Record(10);
}

// Ephemerides for the GPS satellites that rose since the last call (all of
// them at the start and every two hours).
class EphemerisPlan {
 public:
  void Add(Records& out, double t, const std::vector<const Pass*>& view) {
    const bool refresh = t >= nextRefresh_;
    if (refresh) nextRefresh_ = (std::floor(t / 7200.0) + 1) * 7200.0;
    const double toe = kStartTowMs / 1000.0 + std::floor(t / 7200.0) * 7200.0 + 7200.0;
    for (const Pass* p : view) {
      if (p->system != kGps) continue;
      if (refresh || !std::count(known_.begin(), known_.end(), p)) out.push_back(EphemerisRecord(p->sv, toe));
    }
    known_.clear();
    for (const Pass* p : view) known_.push_back(p);
  }

 private:
  double nextRefresh_ = 0.0;
  std::vector<const Pass*> known_;
};

// ---- type-17 log ------------------------------------------------------------

struct LogStats {
  size_t epochs = 0;
  size_t units = 0;  // satellite-epochs (17) or signal-epochs (27)
  size_t minInView = 1000, maxInView = 0;
};

// Receiver clock error in ms: a drift that the receiver resets by 1 ms steps.
double Clock17(double t) {
  const double free = 0.2 + 1.9e-4 * t;
  return free - std::floor(free + 0.5);
}

struct Log {
  Records records;
  LogStats stats;
};

Log MakeLog17(const std::vector<Pass>& sky, double duration, bool zeroDoppler, uint64_t seed) {
  Log log;
  Rng rng(seed);
  SkyCursor cursor(sky, false);
  EphemerisPlan ephemerides;
  log.records.push_back(ReceiverRecord());
  log.records.push_back(IonUtcRecord());
  const double f1 = Frequency(kGps, 0, 0), f2 = Frequency(kGps, 1, 0);
  const double l1 = kLightSpeed / f1, l2 = kLightSpeed / f2;
  const int64_t epochs = static_cast<int64_t>(duration);
  for (int64_t n = 0; n < epochs; ++n) {
    const double t = static_cast<double>(n);
    const std::vector<const Pass*>& view = cursor.At(t);
    ephemerides.Add(log.records, t, view);
    k01::k01_meas17_epoch_t e;
    e.time = kStartTowMs + static_cast<uint32_t>(n) * 1000u;
    const double clock = Clock17(t);
    e.clock = static_cast<int32_t>(Round((clock + 2e-6 * rng.gauss()) * 524288.0));
    const double clockRange = kLightSpeed * clock * 1e-3;
    const double clockRate = kLightSpeed * 1.9e-4 * 1e-3;
    std::vector<uint8_t> svs;
    for (const Pass* p : view) {
      const double rho = p->Range(t) + clockRange;
      const double elevation = p->Elevation(t);
      const double i1 = IonoL1(t, elevation), i2 = i1 * (f1 / f2) * (f1 / f2);
      const double snr = SnrDbHz(*p, t, rng);
      k01::k01_meas17_sat_t s;
      s.sv = p->sv;
      s.flags = 0xF9;  // second frequency with its range difference
      s.status = 4;
      s.extra1 = static_cast<uint8_t>(Round(elevation));
      s.extra2 = static_cast<uint8_t>(Round(p->Azimuth(t) / 2.0) % 180);
      s.snr = static_cast<uint8_t>(std::clamp<int64_t>(Round(4.0 * snr), 0, 255));
      const double range1 = rho + i1 + 0.25 * rng.gauss();
      s.range = static_cast<uint32_t>(Round(range1 * 128.0));
      s.phase = Round(((rho - i1 + 0.002 * rng.gauss()) / l1 + p->ambiguity[0]) * 32768.0);
      const double phaseRate = (p->RangeRate(t) + clockRate) / l1;
      // The same random draws with and without Doppler: the two logs differ
      // in nothing else.
      const int32_t doppler = static_cast<int32_t>(Round((phaseRate + 0.03 * rng.gauss()) * 64.0));
      s.doppler = zeroDoppler ? 0 : doppler;
      s.snr2 = static_cast<uint8_t>(std::clamp<int64_t>(Round(4.0 * (snr - 6.0 + 0.5 * rng.gauss())), 0, 255));
      s.phase2 = Round(((rho - i2 + 0.002 * rng.gauss()) / l2 + p->ambiguity[1]) * 32768.0);
      const double range2 = rho + i2 + 0.6 + 0.35 * rng.gauss();
      s.value2 = static_cast<int16_t>(std::clamp<int64_t>(Round((range2 - range1) * 256.0), -32768, 32767));
      e.sats.push_back(s);
      svs.push_back(p->sv);
    }
    Bytes raw;
    if (!k01::buildRaw17Record(e, raw)) {
      std::fprintf(stderr, "make_bench_data: epoch %lld does not fit a raw record\n", static_cast<long long>(n));
      std::exit(1);
    }
    log.records.push_back(std::move(raw));
    if (n % 60 == 0) log.records.push_back(PositionRecord(e.time, svs, rng));
    ++log.stats.epochs;
    log.stats.units += view.size();
    log.stats.minInView = std::min(log.stats.minInView, view.size());
    log.stats.maxInView = std::max(log.stats.maxInView, view.size());
  }
  return log;
}

// ---- type-27 log ------------------------------------------------------------

// A steered receiver clock: within about 100 ns of GPS time.
double Clock27(double t) { return 2e-5 + 1e-4 * std::sin(2.0 * kPi * t / 1800.0); }
double Clock27Rate(double t) { return 1e-4 * 2.0 * kPi / 1800.0 * std::cos(2.0 * kPi * t / 1800.0); }

Log MakeLog27(const std::vector<Pass>& sky, double duration, uint64_t seed) {
  Log log;
  Rng rng(seed);
  SkyCursor cursor(sky, true);
  EphemerisPlan ephemerides;
  log.records.push_back(ReceiverRecord());
  log.records.push_back(IonUtcRecord());
  const int64_t epochs = static_cast<int64_t>(duration);
  for (int64_t n = 0; n < epochs; ++n) {
    const double t = static_cast<double>(n);
    const std::vector<const Pass*>& view = cursor.At(t);
    ephemerides.Add(log.records, t, view);
    k01::k01_ms_epoch_t e;
    e.week = kGpsWeek;
    e.time = kStartTowMs + static_cast<uint32_t>(n) * 1000u;
    const double clock = Clock27(t);
    e.clock = static_cast<int32_t>(Round((clock + 1e-6 * rng.gauss()) * 524288.0));
    const double clockRange = kLightSpeed * clock * 1e-3;
    const double clockRate = kLightSpeed * Clock27Rate(t) * 1e-3;
    std::vector<uint8_t> svs;
    for (const Pass* p : view) {
      const SignalDef* defs = SignalsOf(p->system);
      const double rho = p->Range(t) + clockRange;
      const double elevation = p->Elevation(t);
      const double snr = SnrDbHz(*p, t, rng);
      const double f0 = Frequency(p->system, defs[0].band, p->channel);
      const double iono0 = IonoL1(t, elevation) * (1575.42e6 / f0) * (1575.42e6 / f0);
      k01::k01_ms_sat_t sat;
      sat.sv = p->sv;
      sat.system = p->system;
      sat.channel = p->system == kGlonass ? p->channel : 0;
      sat.byte5 = static_cast<uint8_t>(Round(elevation));
      sat.byte6 = static_cast<uint8_t>(Round(p->Azimuth(t) / 2.0) % 180);
      double firstRange = 0.0;
      for (int k = 0; k < 3; ++k) {
        const SignalDef& d = defs[k];
        const double f = Frequency(p->system, d.band, p->channel);
        const double lambda = kLightSpeed / f;
        const double iono = iono0 * (f0 / f) * (f0 / f);
        k01::k01_ms_signal_t g;
        g.band = d.band;
        g.further = d.type;
        g.value16 = static_cast<uint16_t>(std::clamp<int64_t>(Round(10.0 * (snr + d.snrOffset + 0.4 * rng.gauss())), 0, 999));
        const double range = rho + iono + d.codeBias + d.codeNoise * rng.gauss();
        if (k == 0) {
          g.range = Round(range * 128.0);
          firstRange = static_cast<double>(g.range) / 128.0;
          // The receiver's Doppler on the first signal; the converter
          // derives the others from the carrier phase.
          g.flags = 0x04;
          g.doppler = static_cast<int32_t>(Round((-(p->RangeRate(t) + clockRate) / lambda + 0.03 * rng.gauss()) * 256.0));
        } else {
          g.range = Round((range - firstRange) * 256.0);
        }
        // The phase falls as the range grows: the converter carries a range
        // along the phase that way (phase-only epochs) and takes the phase
        // rate as the Doppler.
        g.phase = Round((p->ambiguity[k] - (rho - iono + 0.002 * rng.gauss()) / lambda) * 32768.0);
        sat.signals.push_back(g);
      }
      e.sats.push_back(sat);
      if (p->system == kGps) svs.push_back(p->sv);
      log.stats.units += sat.signals.size();
    }
    log.records.push_back(k01::buildRaw27Record(e));
    if (n % 60 == 0) log.records.push_back(PositionRecord(e.time, svs, rng));
    ++log.stats.epochs;
    log.stats.minInView = std::min(log.stats.minInView, view.size());
    log.stats.maxInView = std::max(log.stats.maxInView, view.size());
  }
  return log;
}

// ---- files ------------------------------------------------------------------

struct Output {
  std::string dir;
  FILE* manifest = nullptr;
};

// Written under a temporary name and renamed: a benchmark reading the old
// file meanwhile keeps reading it whole.
void WriteFile(const std::string& path, const Bytes& bytes) {
  const std::string temporary = path + ".part";
  FILE* f = std::fopen(temporary.c_str(), "wb");
  const bool written = f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f == nullptr || std::fclose(f) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "make_bench_data: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// One data set: its family (gps17, gps17d0, multi27), duration and scale
// (long, or short for the linearity check and quick runs).
struct SetName {
  std::string family, duration, scale;
  std::string Name() const { return family + "-" + duration; }
};

void Emit(Output& out, const SetName& set, const std::string& form, const std::string& extension,
          int kind, const LogStats& stats, const Bytes& bytes) {
  const std::string name = form.empty() ? set.Name() + extension : set.Name() + "-" + form + extension;
  WriteFile(out.dir + "/" + name, bytes);
  std::fprintf(out.manifest, "%s\t%s\t%s\t%s\t%s\t%d\t%zu\t%zu\t%zu\n", name.c_str(),
               set.family.c_str(), set.Name().c_str(), set.scale.c_str(), form.empty() ? "raw" : form.c_str(),
               kind, stats.epochs, stats.units, bytes.size());
  std::fflush(out.manifest);
  std::printf("  %-32s %10zu bytes\n", name.c_str(), bytes.size());
  std::fflush(stdout);
}

// A raw download image: signature, header tail (receiver type code 5,
// navigation version 550), the initial ephemerides of GPS satellites, the
// ion/UTC block, then the records.
Bytes RawImage(const Records& records) {
  Bytes out = {0, 0};
  for (const char* p = "VNX RAW DATA IMAGE"; *p; ++p) out.push_back(static_cast<uint8_t>(*p));
  out.insert(out.end(), {0, 0, 0x05, 0x01, 0x26, 0x02, 120, 0});
  out.insert(out.end(), 11, 0);
  for (int sv = 1; sv <= 32; ++sv) {
    double v[40] = {};
    EphemerisValues(static_cast<uint8_t>(sv), kStartTowMs / 1000.0, v);
    uint8_t b[8];
    for (double x : v) {
      bo::PutBeDouble(b, x);
      out.insert(out.end(), b, b + 8);
    }
    out.insert(out.end(), 13, 0);
  }
  const double ion[14] = {1.1176e-8, 7.4506e-9, -5.9605e-8, -5.9605e-8, 90112.0, 0.0, -196608.0,
                          -65536.0, 1.8626e-9, 8.8818e-16, 0.0, 18.0, -1.0, 503808.0};
  for (double x : ion) {
    uint8_t b[8];
    bo::PutBeDouble(b, x);
    out.insert(out.end(), b, b + 8);
  }
  out.insert(out.end(), 5, 0);
  for (const Bytes& r : records) out.insert(out.end(), r.begin(), r.end());
  return out;
}

Bytes K00File(const Records& records) {
  Bytes out;
  for (const Bytes& r : records) out.insert(out.end(), r.begin(), r.end());
  return out;
}

Bytes K01File(const Records& records, k01::ContainerForm form, uint8_t blockType) {
  k01::k01_write_options_t o;
  o.form = form;
  o.blockTypes = {blockType};
  Bytes out;
  const uint8_t st = k01::writeK01File(records, o, out);
  if (st != k01::kWriteOk) {
    std::fprintf(stderr, "make_bench_data: K01 writer status %d (block type %d)\n", st, blockType);
    std::exit(1);
  }
  return out;
}

Records Compress17(const Records& records, k01::Meas17Predictor predictor) {
  k01::k01_write_options_t o;
  o.measurementPredictor = predictor;
  o.measurementKeyInterval = 600;  // a key epoch every ten minutes
  Records packed;
  if (k01::compressMeasurementRecords(records, o, packed) != k01::kWriteOk) {
    std::fprintf(stderr, "make_bench_data: type-17 compression failed\n");
    std::exit(1);
  }
  return packed;
}

// The smoothed predictor's epochs for blocks of stripped records. A stored
// long-form record must keep at least 256 bytes, so a delta epoch of 256 to
// 258 bytes has no stripped form: such an epoch is sent as a key epoch.
Records Compress17Stripped(const Records& records) {
  k01::k01_meas17_encoder_options_t eo;
  eo.predictor = k01::Meas17Predictor::kSmoothed;
  eo.keyInterval = 600;
  k01::k01_meas17_encoder_t encoder(eo);
  Records packed;
  Bytes out, stored;
  size_t rekeyed = 0;
  for (const Bytes& r : records) {
    if (r[2] != 17 && r[2] != 117) {
      packed.push_back(r);
      continue;
    }
    const k01::k01_meas17_encoder_t before = encoder;
    uint8_t st = encoder.encodeRaw(r.data(), r.size(), out);
    if (st == k01::kEnc17Ok && k01::stripRecord(out, stored) != k01::kWriteOk) {
      encoder = before;
      k01::k01_meas17_epoch_t epoch;
      st = k01::parseRaw17Record(r.data(), r.size(), epoch);
      if (st == k01::kEnc17Ok) st = encoder.key(epoch, out);
      ++rekeyed;
    }
    if (st != k01::kEnc17Ok || k01::stripRecord(out, stored) != k01::kWriteOk) {
      std::fprintf(stderr, "make_bench_data: an epoch has no stripped form\n");
      std::exit(1);
    }
    packed.push_back(out);
  }
  std::printf("  %zu delta epochs without a stripped form sent as key epochs\n", rekeyed);
  return packed;
}

Records Compress27(const Records& records) {
  k01::k01_write_options_t o;
  o.compressMultiSignal = true;
  o.multiSignalKeyInterval = 600;
  Records packed;
  if (k01::compressOtherRecords(records, o, packed) != k01::kWriteOk) {
    std::fprintf(stderr, "make_bench_data: type-27 compression failed\n");
    std::exit(1);
  }
  return packed;
}

void CountTypes(const Records& records, const char* what) {
  size_t counts[256] = {};
  for (const Bytes& r : records) ++counts[r[2]];
  std::printf("  %s records:", what);
  for (int t = 0; t < 256; ++t)
    if (counts[t] > 0) std::printf(" %d:%zu", t, counts[t]);
  std::printf("\n");
}

std::string DurationName(double hours) {
  char buf[32];
  if (std::fabs(hours - std::round(hours)) < 1e-9)
    std::snprintf(buf, sizeof buf, "%dh", static_cast<int>(std::round(hours)));
  else
    std::snprintf(buf, sizeof buf, "%dm", static_cast<int>(std::round(hours * 60.0)));
  return buf;
}

void PrintSky(const std::string& set, int kind, const LogStats& s) {
  std::printf("%s: %zu epochs, %zu to %zu satellites in view, %zu %s\n", set.c_str(), s.epochs,
              s.minInView, s.maxInView, s.units, kind == 17 ? "satellite-epochs" : "signal-epochs");
  std::fflush(stdout);
}

void MakeSets17(Output& out, double hours, const char* scale, uint64_t seed) {
  const double duration = hours * 3600.0;
  SkyLayout layout;
  layout.laneSystems.assign(12, kGps);
  const std::vector<Pass> sky = MakeSky(layout, duration, seed);

  const SetName set{"gps17", DurationName(hours), scale};
  {
    const Log log = MakeLog17(sky, duration, false, seed + 1);
    PrintSky(set.Name(), 17, log.stats);
    Emit(out, set, "", ".q00", 17, log.stats, RawImage(log.records));
    const Records packed = Compress17(log.records, k01::Meas17Predictor::kLinear);
    CountTypes(packed, "compressed");
    Emit(out, set, "stream", ".k01", 17, log.stats, K01File(packed, k01::ContainerForm::kStream, 0));
    Emit(out, set, "bzip2", ".k01", 17, log.stats, K01File(packed, k01::ContainerForm::kBlocks, k01::kBlockBzip2));
    Emit(out, set, "zlib", ".k01", 17, log.stats, K01File(packed, k01::ContainerForm::kBlocks, k01::kBlockZlib));
    Emit(out, set, "huffman", ".k01", 17, log.stats, K01File(packed, k01::ContainerForm::kBlocks, k01::kBlockHuffman));
    Emit(out, set, "plain", ".k01", 17, log.stats, K01File(packed, k01::ContainerForm::kBlocks, k01::kBlockPlain));
  }
  const SetName setD0{"gps17d0", DurationName(hours), scale};
  {
    const Log log = MakeLog17(sky, duration, true, seed + 1);
    PrintSky(setD0.Name(), 17, log.stats);
    const Records packed = Compress17Stripped(log.records);
    CountTypes(packed, "compressed");
    Emit(out, setD0, "bzip2", ".k01", 17, log.stats, K01File(packed, k01::ContainerForm::kBlocks, k01::kBlockBzip2));
    Emit(out, setD0, "stripped", ".k01", 17, log.stats,
         K01File(packed, k01::ContainerForm::kBlocks, k01::kBlockBzip2Stripped));
  }
}

void MakeSets27(Output& out, double hours, const char* scale, uint64_t seed) {
  const double duration = hours * 3600.0;
  SkyLayout layout;
  // 12 GPS, 8 GLONASS and 10 third-system lanes, interleaved.
  const uint8_t pattern[] = {kGps, kThird, kGlonass, kGps, kThird, kGps, kGlonass, kThird, kGps, kGlonass,
                             kThird, kGps, kGps, kThird, kGlonass, kGps, kThird, kGps, kGlonass, kThird,
                             kGps, kGlonass, kThird, kGps, kGps, kThird, kGlonass, kGps, kGlonass, kThird};
  layout.laneSystems.assign(pattern, pattern + sizeof pattern);
  layout.maxTransition = 30.0 * 60.0;
  const std::vector<Pass> sky = MakeSky(layout, duration, seed + 100);

  const SetName set{"multi27", DurationName(hours), scale};
  const Log log = MakeLog27(sky, duration, seed + 101);
  PrintSky(set.Name(), 27, log.stats);
  Emit(out, set, "", ".k00", 27, log.stats, K00File(log.records));
  const Records packed = Compress27(log.records);
  CountTypes(packed, "compressed");
  Emit(out, set, "stream", ".k01", 27, log.stats, K01File(packed, k01::ContainerForm::kStream, 0));
  Emit(out, set, "bzip2", ".k01", 27, log.stats, K01File(packed, k01::ContainerForm::kBlocks, k01::kBlockBzip2));
  Emit(out, set, "zlib", ".k01", 27, log.stats, K01File(packed, k01::ContainerForm::kBlocks, k01::kBlockZlib));
  Emit(out, set, "huffman", ".k01", 27, log.stats, K01File(packed, k01::ContainerForm::kBlocks, k01::kBlockHuffman));
  Emit(out, set, "plain", ".k01", 27, log.stats, K01File(packed, k01::ContainerForm::kBlocks, k01::kBlockPlain));
  // Stripped records cannot carry the compressed forms: the raw epochs.
  Emit(out, set, "stripped", ".k01", 27, log.stats,
       K01File(log.records, k01::ContainerForm::kBlocks, k01::kBlockBzip2Stripped));
}

int Usage() {
  std::fprintf(stderr,
               "usage: make_bench_data [--hours17 H] [--hours27 H] [--quick] [--seed N] OUTDIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  double hours17 = 24.0, hours27 = 6.0;
  bool quick = false;
  uint64_t seed = 20240601;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--hours17" || a == "--hours27") && i + 1 < argc) {
      char* end = nullptr;
      const double v = std::strtod(argv[++i], &end);
      // At least one epoch in the short sets; the log stays within its GPS week.
      if (end == argv[i] || *end != '\0' || !(v * 900.0 >= 1.0) || v > kMaxHours) return Usage();
      (a == "--hours17" ? hours17 : hours27) = v;
    } else if (a == "--seed" && i + 1 < argc) {
      char* end = nullptr;
      seed = std::strtoull(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0') return Usage();
    } else if (a == "--quick") {
      quick = true;
    } else if (!a.empty() && a[0] != '-' && dir.empty()) {
      dir = a;
    } else {
      return Usage();
    }
  }
  if (dir.empty()) return Usage();
  mkdir(dir.c_str(), 0777);
  Output out;
  out.dir = dir;
  // The manifest appears when every file it lists is written.
  const std::string manifest = dir + "/manifest.tsv";
  out.manifest = std::fopen((manifest + ".part").c_str(), "w");
  if (out.manifest == nullptr) {
    std::fprintf(stderr, "make_bench_data: cannot write %s/manifest.tsv\n", dir.c_str());
    return 1;
  }
  std::fprintf(out.manifest, "file\tfamily\tset\tscale\tform\tkind\tepochs\tunits\tbytes\n");
  if (!quick) MakeSets17(out, hours17, "long", seed);
  MakeSets17(out, hours17 / 4.0, "short", seed);
  if (!quick) MakeSets27(out, hours27, "long", seed);
  MakeSets27(out, hours27 / 4.0, "short", seed);
  if (std::fclose(out.manifest) != 0 || std::rename((manifest + ".part").c_str(), manifest.c_str()) != 0) {
    std::fprintf(stderr, "make_bench_data: cannot write %s\n", manifest.c_str());
    return 1;
  }
  return 0;
}
