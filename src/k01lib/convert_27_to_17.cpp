// Conversion of expanded multi-signal measurements (type 27) into the older
// GPS-only type-17 structure, choosing one L2 signal per satellite.
#include <cstring>

#include "k01lib/expand_state.h"

namespace k01 {

namespace {

// One L2 signal that may become the second frequency of a satellite.
struct L2Candidate {
  bool present = false;
  double snr = 0.0;
  double rangeDifference = 0.0;  // L2 range minus L1 range
  double phase = 0.0;
  uint8_t flags = 0;
  uint8_t byte2 = 0;
};

// byte 2 of the type-17 block by the tracking type of the L2 signal.
uint8_t l2Byte2(uint8_t byte2, uint8_t signalType) {
  switch (signalType) {
    case 0: return static_cast<uint8_t>(byte2 & ~0x02);
    case 2: return static_cast<uint8_t>((byte2 & ~0x02) | 0x04);
    case 1: return static_cast<uint8_t>(byte2 | 0x02);
    case 9: return static_cast<uint8_t>(byte2 | 0x06);
    case 3:
    case 4:
    case 5: return static_cast<uint8_t>(byte2 & ~0x04);
    default: return byte2;
  }
}

const L2Candidate* chooseL2(const L2Candidate& e, const L2Candidate& c, int l2Mode) {
  switch (l2Mode) {
    case kL2E: return e.present ? &e : nullptr;
    case kL2C: return c.present ? &c : nullptr;
    case kL2EThenC: return e.present ? &e : (c.present ? &c : nullptr);
    default:  // kL2CThenE, and any value outside the option range
      return c.present ? &c : (e.present ? &e : nullptr);
  }
}

}  // namespace

uint16_t convertMeasurements27To17(uint8_t header[4], const k01_meas27_t* in,
                                   k01_meas17_t* out, int l2Mode) {
  if (in == nullptr || out == nullptr) return 0;
  std::memset(out, 0, sizeof *out);
  out->time = in->time;
  out->clockTerm = static_cast<double>(in->clockOffset);
  uint32_t length = 21;
  uint32_t k = 0;
  const uint32_t svs = in->svCount < k01_meas27_t::kSvSlots ? in->svCount : k01_meas27_t::kSvSlots;
  for (uint32_t i = 0; i < svs; ++i) {
    const k01_sv27_t& sv = in->sv[i];
    if (sv.system != 0) continue;
    // The type-17 structure holds 24 satellites; later GPS blocks are left out.
    if (k >= static_cast<uint32_t>(k01_meas17_t::kSvSlots)) break;
    k01_meas17_sv_t& o = out->sv[k];
    o.svNumber = sv.svNumber;
    o.word1 = sv.wordA;
    o.word2 = sv.wordB;
    L2Candidate l2e, l2c;
    const uint32_t signals =
        sv.signalCount < k01_sv27_t::kSignalSlots ? sv.signalCount : k01_sv27_t::kSignalSlots;
    for (uint32_t j = 0; j < signals; ++j) {
      const k01_signal27_t& g = sv.signal[j];
      if (g.band == 0) {
        o.snr1 = g.snr / 10.0;
        o.range1 = g.range;
        o.phase1 = g.phase;
        o.value5 = 0.0;
        o.flags |= 0xC0;
        if (g.flagsG & 0x08) o.flags |= 0x02;
        if (g.flagsG & 0x40) o.flags |= 0x08;
        if (g.flagsG & 0x20) o.flags |= 0x10;
        if (sv.byteQ & 0x04) o.status |= 0x08;
        if (g.signalType == 0) o.status &= static_cast<uint8_t>(~0x01);
        if (g.signalType == 1) o.status |= 0x01;
        if (g.flagsG & 0x04) {
          o.doppler1 = g.doppler;
        } else {
          o.doppler1 = 0.0;
          o.status |= 0x80;
        }
      } else if (g.band == 1 && (o.flags & 0x40)) {
        L2Candidate& c = g.signalType == 2 ? l2e : l2c;
        c.present = true;
        c.snr = g.snr / 10.0;
        c.rangeDifference = g.range - o.range1;
        c.phase = g.phase;
        c.flags = static_cast<uint8_t>(o.flags | 0x21 | ((g.flagsG & 0x08) ? 0x04 : 0));
        c.byte2 = l2Byte2(o.status, g.signalType);
      }
    }
    length += 48;
    if (const L2Candidate* c = chooseL2(l2e, l2c, l2Mode)) {
      o.snr2 = c->snr;
      o.phase2 = c->phase;
      o.value2 = c->rangeDifference;
      o.flags = c->flags;
      o.status = c->byte2;
      length += 24;
    }
    o.spare = 0.0;
    o.byte3 |= 0x03;
    ++k;
  }
  out->svCount = static_cast<uint8_t>(k);
  if (header != nullptr) {
    header[0] = 't';
    header[1] = static_cast<uint8_t>(length & 0xFF);
    header[2] = static_cast<uint8_t>(length >> 8);
    header[3] = 17;
  }
  return static_cast<uint16_t>(length);
}

}  // namespace k01
