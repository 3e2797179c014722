#include "support/meas17_log.h"

#include <cmath>

namespace tb {

namespace {

constexpr double kLightSpeed = 299792458.0;
constexpr double kL1Wavelength = kLightSpeed / 1575.42e6;
constexpr double kL2Wavelength = kLightSpeed / 1227.60e6;

struct Orbit {
  uint8_t sv;
  double range0;  // m at epoch 0
  double rate;    // m/s
  double accel;   // m/s^2
  int rise;       // first epoch tracked
  int set;        // first epoch no longer tracked
  bool dual;
  uint8_t snr;
};

// Thirteen satellites: at most twelve in view at once, one rising at epoch
// 9, one setting at epoch 24, one dropped for three epochs and back.
const Orbit kOrbits[] = {
    {3, 21.1e6, -420.0, 0.11, 0, 1000, true, 176},   {6, 23.4e6, 610.0, -0.07, 0, 1000, false, 160},
    {9, 20.3e6, -35.0, 0.14, 0, 1000, true, 188},    {12, 24.9e6, 780.0, -0.02, 0, 24, false, 140},
    {14, 22.2e6, 250.0, 0.05, 0, 1000, false, 168},  {17, 25.6e6, -760.0, 0.03, 0, 1000, false, 136},
    {19, 20.9e6, 120.0, -0.12, 0, 1000, true, 184},  {22, 23.8e6, -300.0, 0.09, 9, 1000, false, 132},
    {25, 21.7e6, 455.0, -0.10, 0, 1000, false, 172}, {28, 24.4e6, -590.0, 0.06, 12, 15, true, 150},
    {31, 22.6e6, 30.0, 0.13, 0, 1000, false, 180},   {32, 25.2e6, 700.0, -0.04, 20, 1000, true, 144},
    {125, 38.5e6, 2.0, 0.001, 0, 1000, false, 164},  // geostationary: range in units of 2^-6
};

int64_t roundTo(double v) { return static_cast<int64_t>(std::llround(v)); }

}  // namespace

std::vector<k01::k01_meas17_epoch_t> Meas17Log(const Meas17LogShape& shape) {
  std::vector<k01::k01_meas17_epoch_t> log;
  for (size_t n = 0; n < shape.epochs; ++n) {
    const double t = static_cast<double>(n) + (n >= shape.gapAt ? 119.0 : 0.0);  // seconds
    const bool jumped = n >= shape.clockJumpAt;
    k01::k01_meas17_epoch_t e;
    e.time = 302400000u + static_cast<uint32_t>(roundTo(t * 1000.0));
    // The clock value in ms, units of 2^-19: a slow drift, and the jump
    // takes 1 ms off it.
    const double clockMs = 0.731 + 0.0021 * t - (jumped ? 1.0 : 0.0);
    e.clock = static_cast<int32_t>(roundTo(clockMs * 524288.0));
    for (const Orbit& o : kOrbits) {
      const int k = static_cast<int>(n);
      if (k < o.rise || k >= o.set) continue;
      const double range = o.range0 + o.rate * t + 0.5 * o.accel * t * t +
                           (jumped ? kLightSpeed * 0.001 : 0.0);
      const double rate = o.rate + o.accel * t;
      k01::k01_meas17_sat_t s;
      s.sv = o.sv;
      s.flags = o.dual || shape.allDual ? 0xD1 : 0xD0;
      s.status = (s.flags & 1) ? 4 : 0;
      s.extra1 = static_cast<uint8_t>(o.sv % 3);
      s.extra2 = static_cast<uint8_t>(k / 7);
      s.snr = static_cast<uint8_t>(o.snr + ((k + o.sv) % 5) - 2);
      const double rangeUnit = (o.sv >= 120 && o.sv <= 138) ? 64.0 : 128.0;
      s.range = static_cast<uint32_t>(roundTo(range * rangeUnit));
      s.phase = roundTo((range / kL1Wavelength + 1000.0 * o.sv) * 32768.0);
      s.doppler = shape.zeroDoppler ? 0 : static_cast<int32_t>(roundTo(-rate / kL1Wavelength * 64.0));
      if (s.flags & 1) {
        s.snr2 = static_cast<uint8_t>(s.snr - 24);
        s.phase2 = roundTo((range / kL2Wavelength - 500.0 * o.sv) * 32768.0);
        s.value2 = static_cast<int16_t>(roundTo((0.35 + 0.002 * t) * 256.0));
      }
      e.sats.push_back(s);
    }
    // Keep the epoch short enough: the last dual-frequency satellites go
    // single.
    size_t size = 13;
    for (const auto& s : e.sats) size += (s.flags & 1) ? 29 : 20;
    for (size_t i = e.sats.size(); i-- > 0 && size > shape.maxRawSize;) {
      if (e.sats[i].flags & 1) {
        e.sats[i].flags = 0xD0;
        e.sats[i].status = 0;
        e.sats[i].snr2 = 0;
        e.sats[i].phase2 = 0;
        e.sats[i].value2 = 0;
        size -= 9;
      }
    }
    log.push_back(e);
  }
  return log;
}

}  // namespace tb
