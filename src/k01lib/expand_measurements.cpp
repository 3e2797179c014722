// Expansion of raw type-27 records: parsing into k01_meas27_t, completing
// the ranges of later signals from the first one, and deriving Doppler
// values from the carrier phase where the record carries none.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/scale.h"
#include "k01lib/expand_state.h"
#include "k01lib/field_readers.h"

namespace k01 {

void initExpand(k01_expand_t& ex) {
  std::memset(&ex.previous, 0, sizeof ex.previous);
  std::memset(&ex.dopplerStore, 0, sizeof ex.dopplerStore);
  ex.dopplerControl = kDopplerDeriveMissing;
}

void dopplerControlFault() {
  std::fputs("The dopplerControl in k01_expand_t is set to an invalid value\n", stdout);
  std::fflush(stdout);
  std::exit(2);
}

double carrierFrequency(uint8_t system, uint8_t band, int8_t channel) {
  if (system == 2) {
    if (band == 0) return 1602000000.0 + 562500.0 * channel;
    if (band == 1) return 1246000000.0 + 437500.0 * channel;
    return 0.0;
  }
  switch (band) {
    case 0: return 1575420000.0;
    case 1: return 1227600000.0;
    case 2: return 1176450000.0;
    case 3:
    case 6: return 1207140000.0;
    case 4: return 1191795000.0;
    case 5: return 1278750000.0;
    case 7: return 1268520000.0;
    case 8: return 1589742000.0;
    default: return 0.0;
  }
}

namespace {

constexpr uint32_t kMaxRecordSvs = 88;
constexpr uint32_t kMaxSignals = k01_sv27_t::kSignalSlots;
constexpr uint32_t kSvSlots = k01_meas27_t::kSvSlots;

// Sequential reader over the raw record; every read past the record sets
// the view's overrun flag.
struct Fields {
  k01_view_t v;
  uint32_t o = 4;
  uint8_t u8() { return readByte(v, o++); }
  uint32_t un(uint32_t n) {
    const uint32_t x = readUnsigned(v, o, n);
    o += n;
    return x;
  }
  double scaled(uint32_t n, int e) {
    const double x = readScaled(v, o, n, e, true);
    o += n;
    return x;
  }
};

// Parses the record into `out`; false when the record is rejected.
bool parseRecord(const k01_record_t& rec, k01_meas27_t& out) {
  Fields f;
  // Fields end where the checksum begins.
  f.v = viewRecord(rec);
  f.v.length = f.v.length >= 3 ? f.v.length - 3 : 0;
  out.fixedSize = 17;
  f.u8();  // epoch header length
  out.week = static_cast<uint16_t>(f.un(2));
  out.time = static_cast<double>(f.un(4));
  out.clockOffset = static_cast<float>(f.scaled(3, -19));
  const uint32_t m = f.u8();
  out.flags = f.u8();
  if (f.v.overrun || m > kMaxRecordSvs) return false;
  if (out.flags & 0x02) {
    out.clockValue2 = static_cast<float>(f.scaled(3, -22));
    out.fixedSize = static_cast<uint8_t>(out.fixedSize + 4);
  }
  if (out.flags & 0x10) {
    out.byteF4 = f.u8();
    out.fixedSize = static_cast<uint8_t>(out.fixedSize + 1);
  }
  if (out.flags & 0x20) {
    f.u8();  // block length
    const uint8_t x = f.u8();
    out.extCode = x & 0x0F;
    out.extCount = (x >> 4) & 7;
    out.extSize = static_cast<uint8_t>(3 + 9 * out.extCount);
    for (uint32_t e = 0; e < out.extCount; ++e) {
      const uint8_t d = f.u8();
      out.extCodes[e] = d & 0x0F;
      out.extValues[e] = f.scaled((d >> 4) & 7, -28);
    }
  }
  if (f.v.overrun) return false;

  // Blocks beyond the structure's 32 are read (to validate the record) but
  // not kept.
  k01_sv27_t spare;
  for (uint32_t i = 0; i < m; ++i) {
    k01_sv27_t& sv = i < kSvSlots ? out.sv[i] : spare;
    std::memset(&sv, 0, sizeof sv);
    f.u8();  // block length
    sv.size = 10;
    sv.svNumber = f.u8();
    sv.system = f.u8();
    sv.channel = f.u8();
    const uint32_t s = f.u8();
    sv.wordA = f.u8();
    sv.wordB = static_cast<uint16_t>(2 * f.u8());
    sv.byteQ = f.u8();
    if (f.v.overrun || s > kMaxSignals) return false;
    sv.signalCount = static_cast<uint8_t>(s);
    for (uint32_t j = 0; j < s; ++j) {
      k01_signal27_t& g = sv.signal[j];
      g.size = 27;
      f.u8();  // entry length
      g.band = f.u8();
      g.signalType = f.u8();
      g.snr = static_cast<uint16_t>(f.un(2));
      double range;
      uint8_t kept[2] = {0, 0};
      if (j == 0) {
        range = sc::Ldexp(static_cast<double>(f.un(4)), sv.system == 1 ? -6 : -7);
      } else {
        kept[0] = readByte(f.v, f.o);
        kept[1] = readByte(f.v, f.o + 1);
        range = f.scaled(2, -8);
      }
      g.phase = f.scaled(6, -15);
      g.status = f.u8();
      g.flagsG = f.u8();
      g.flagsH = 0;
      if (g.flagsG >= 0x80) {
        g.flagsH = f.u8();
        g.size = 28;
      }
      g.doppler = (g.flagsG & 0x04) ? static_cast<float>(f.scaled(3, -8)) : 0.0f;
      // The extended range difference: its high byte comes last.
      if (j > 0 && (g.flagsH & 0x01)) {
        const uint32_t high = f.u8();
        int32_t v = static_cast<int32_t>((high << 16) | (uint32_t{kept[0]} << 8) | kept[1]);
        if (v & 0x800000) v -= 0x1000000;
        range = sc::Ldexp(static_cast<double>(v), -8);
      }
      // Receivers without an extension block wrap this one signal's
      // difference; it is brought back into range.
      if (!(out.flags & 0x20) && sv.svNumber == 1 && sv.system == 0 && g.band == 2 &&
          g.signalType == 7 && range < -30.0)
        range += 256.0;
      if (j > 0) range += sv.signal[0].range;
      g.range = range;
    }
    if (f.v.overrun) return false;
  }
  out.svCount = static_cast<uint8_t>(m < kSvSlots ? m : kSvSlots);
  return true;
}

// Position of the previous block matching (number, system): the same
// position first, else the first in order; -1 when none.
int matchSv(const k01_meas27_t& prev, uint32_t i, const k01_sv27_t& sv) {
  const uint32_t n = prev.svCount < kSvSlots ? prev.svCount : kSvSlots;
  auto same = [&](uint32_t p) {
    return prev.sv[p].svNumber == sv.svNumber && prev.sv[p].system == sv.system;
  };
  if (i < n && same(i)) return static_cast<int>(i);
  for (uint32_t p = 0; p < n; ++p)
    if (same(p)) return static_cast<int>(p);
  return -1;
}

int matchSignal(const k01_sv27_t& prev, uint32_t j, const k01_signal27_t& g) {
  const uint32_t n = prev.signalCount < kMaxSignals ? prev.signalCount : kMaxSignals;
  auto same = [&](uint32_t p) {
    return prev.signal[p].band == g.band && prev.signal[p].signalType == g.signalType;
  };
  if (j < n && same(j)) return static_cast<int>(j);
  for (uint32_t p = 0; p < n; ++p)
    if (same(p)) return static_cast<int>(p);
  return -1;
}

void deriveDoppler(k01_meas27_t& out, k01_expand_t& ex, uint8_t dopplerControl) {
  const k01_meas27_t& prev = ex.previous;
  const double dt = out.time - prev.time;
  const double dClock = static_cast<double>(out.clockOffset) - static_cast<double>(prev.clockOffset);
  const int jump = dClock > 0.5 ? 1 : (dClock < -0.5 ? -1 : 0);
  const double seconds = (dt - jump) / 1000.0;
  // Predictions as they stood before this record.
  k01_meas27_t work;
  std::memcpy(&work, &ex.dopplerStore, sizeof work);

  for (uint32_t i = 0; i < out.svCount; ++i) {
    if (dopplerControl < kDopplerAsDecoded || dopplerControl > kDopplerDeriveMissing)
      dopplerControlFault();
    if (dopplerControl == kDopplerAsDecoded) continue;
    k01_sv27_t& sv = out.sv[i];
    const int pi = matchSv(prev, i, sv);
    for (uint32_t j = 0; j < sv.signalCount; ++j) {
      k01_signal27_t& g = sv.signal[j];
      if (dopplerControl == kDopplerDeriveMissing && (g.flagsG & 0x04)) continue;
      k01_signal27_t& store = ex.dopplerStore.sv[i].signal[j];
      const int pj = pi < 0 ? -1 : matchSignal(prev.sv[pi], j, g);
      if (pj < 0) {
        g.doppler = 0.0f;
        g.flagsG &= static_cast<uint8_t>(~0x04);
        store.doppler = 0.0f;
        store.flagsG &= static_cast<uint8_t>(~0x04);
        continue;
      }
      const k01_signal27_t& pg = prev.sv[pi].signal[pj];
      double dP = g.phase - pg.phase;
      if ((g.flagsG & 0x60) == 0x60 && !(pg.flagsG & 0x20)) dP -= 0.5;
      // A repeated epoch time gives no interval to derive over.
      if (g.status == pg.status && !(g.flagsG & 0x08) && seconds != 0.0) {
        if (jump != 0 && std::fabs(dP) > 1000000.0) {
          const double f =
              carrierFrequency(sv.system, g.band, static_cast<int8_t>(sv.channel));
          const float millisecond = static_cast<float>(f * 0.001);
          dP += jump * static_cast<double>(millisecond);
        }
        g.doppler = static_cast<float>(dP / seconds);
        g.flagsG |= 0x04;
      } else {
        const k01_signal27_t& w = work.sv[pi].signal[pj];
        if (w.flagsG & 0x04) {
          g.doppler = w.doppler;
          g.flagsG |= 0x04;
        } else {
          g.doppler = 0.0f;
          g.flagsG &= static_cast<uint8_t>(~0x04);
        }
      }
      if ((g.flagsG & 0x04) && (pg.flagsG & 0x04)) {
        store.doppler = static_cast<float>(2.0 * g.doppler - static_cast<double>(pg.doppler));
        store.flagsG |= 0x04;
      } else if (g.flagsG & 0x04) {
        store.doppler = g.doppler;
        store.flagsG |= 0x04;
      } else {
        store.doppler = 0.0f;
        store.flagsG &= static_cast<uint8_t>(~0x04);
      }
    }
  }
}

}  // namespace

uint16_t expandMeasurements(const k01_record_t& rec, uint8_t header[4], k01_meas27_t& out,
                            k01_expand_t& ex, uint8_t dopplerControl) {
  std::memset(&out, 0, sizeof out);
  if (!parseRecord(rec, out)) {
    std::memset(&out, 0, sizeof out);
    return 0;
  }
  deriveDoppler(out, ex, dopplerControl);
  std::memcpy(&ex.previous, &out, sizeof out);

  uint32_t length = 4u + out.fixedSize + out.extSize;
  for (uint32_t i = 0; i < out.svCount; ++i) {
    length += 10;
    for (uint32_t j = 0; j < out.sv[i].signalCount; ++j) length += out.sv[i].signal[j].size;
  }
  if (header != nullptr) {
    header[0] = 't';
    header[1] = static_cast<uint8_t>(length & 0xFF);
    header[2] = static_cast<uint8_t>(length >> 8);
    header[3] = 27;
  }
  return static_cast<uint16_t>(length);
}

}  // namespace k01
