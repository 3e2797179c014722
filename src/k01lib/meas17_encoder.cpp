// Encoder of the compressed type-17 measurement family.
//
// The history mirrors the decoder's pair of epoch images field by field
// (previous epoch and prediction), but holds each value as a 64-bit integer
// wrapped to its stored width. A delta epoch is built against a copy of the
// history and committed only when it is the record chosen.
#include "k01lib/meas17_encoder.h"
#include "common/byte_order.h"
#include "common/raw_record.h"

namespace k01 {

namespace {

uint64_t wrap(int64_t v, unsigned w) { return static_cast<uint64_t>(v) & bo::WidthMask(w); }
// Arithmetic shift right by 2, rounding towards minus infinity.
int64_t quarter(int64_t v) { return v >= 0 ? v / 4 : -((-v + 3) / 4); }
// 2b - a in w-byte arithmetic.
uint64_t linearPrediction(uint64_t a, uint64_t b, unsigned w) {
  return wrap(2 * bo::SignExtend(b, w) - bo::SignExtend(a, w), w);
}

uint64_t getBe(const uint8_t* p, unsigned w) {
  uint64_t v = 0;
  for (unsigned i = 0; i < w; ++i) v = (v << 8) | p[i];
  return v;
}

// A delta-coded field: copy (mode 0, when the field has one) when the value
// equals its reference, else a sign-and-magnitude delta of the fewest bytes
// from 1 to maxDelta (skipping rawMode), else the raw value under rawMode.
// Returns the mode.
unsigned deltaField(std::vector<uint8_t>& out, uint64_t target, uint64_t ref, unsigned w,
                    unsigned rawMode, unsigned maxDelta, bool hasCopy) {
  const int64_t diff = bo::SignExtend(wrap(static_cast<int64_t>(target - ref), w), w);
  if (hasCopy && diff == 0) return 0;
  const uint64_t mag = static_cast<uint64_t>(diff < 0 ? -diff : diff);
  for (unsigned m = 1; m <= maxDelta; ++m) {
    if (m == rawMode) continue;
    if (mag < (uint64_t{1} << (8 * m - 1))) {
      bo::AppendBeN(out, mag | (diff < 0 ? uint64_t{1} << (8 * m - 1) : 0), m);
      return m;
    }
  }
  bo::AppendBeN(out, target & bo::WidthMask(w), w);
  return rawMode;
}

// A one-byte field: returns (flag << 3 | magnitude) for a step of at most
// maxMag; otherwise flag 1 with magnitude 0 and the raw byte goes to raws.
unsigned smallField(std::vector<uint8_t>& raws, uint8_t target, uint8_t ref, unsigned maxMag) {
  const int diff = static_cast<int8_t>(static_cast<uint8_t>(target - ref));
  if (diff == 0) return 0;
  if (diff > 0 && static_cast<unsigned>(diff) <= maxMag) return static_cast<unsigned>(diff);
  if (diff < 0 && static_cast<unsigned>(-diff) <= maxMag) return 8 | static_cast<unsigned>(-diff);
  raws.push_back(target);
  return 8;
}

size_t rawSize(const k01_meas17_epoch_t& e) {
  size_t n = 13;
  for (const k01_meas17_sat_t& s : e.sats) n += (s.flags & 1) ? 29 : 20;
  return n;
}

}  // namespace

bool buildRaw17Record(const k01_meas17_epoch_t& e, std::vector<uint8_t>& r) {
  r.clear();
  const size_t length = rawSize(e);
  if (length > kMaxRaw17Size) return false;
  r.reserve(length);
  r.push_back(0x02);
  r.push_back(static_cast<uint8_t>(length & 0xFF));
  r.push_back(length > 255 ? 117 : 17);
  bo::AppendBeN(r, e.time, 4);
  bo::AppendBeN(r, wrap(e.clock, 3), 3);
  for (const k01_meas17_sat_t& s : e.sats) {
    r.insert(r.end(), {s.sv, s.flags, s.status, s.extra1, s.extra2, s.snr});
    bo::AppendBeN(r, s.range, 4);
    bo::AppendBeN(r, wrap(s.phase, 6), 6);
    bo::AppendBeN(r, wrap(s.doppler, 3), 3);
    r.push_back(s.unread);
    if (s.flags & 1) {
      r.push_back(s.snr2);
      bo::AppendBeN(r, wrap(s.phase2, 6), 6);
      bo::AppendBeN(r, wrap(s.value2, 2), 2);
    }
  }
  const uint16_t sum = rawrec::ByteSum(r.data(), r.size());
  bo::AppendBeN(r, sum, 2);
  r.push_back(0x03);
  return true;
}

uint8_t parseRaw17Record(const uint8_t* rec, size_t size, k01_meas17_epoch_t& e) {
  e = k01_meas17_epoch_t{};
  if (rec == nullptr || size < 13 || size > kMaxRaw17Size || rec[0] != 0x02) return kEnc17NotRaw17;
  size_t length;
  if (rec[2] == 17)
    length = rec[1];
  else if (rec[2] == 117)
    length = rec[1] + 256u;
  else
    return kEnc17NotRaw17;
  if (length != size || rec[size - 1] != 0x03) return kEnc17NotRaw17;
  uint32_t sum = 0;
  for (size_t i = 0; i < size - 3; ++i) sum += rec[i];
  if (static_cast<uint16_t>(sum) != getBe(rec + size - 3, 2)) return kEnc17NotRaw17;

  e.time = static_cast<uint32_t>(getBe(rec + 3, 4));
  e.clock = static_cast<int32_t>(bo::SignExtend(getBe(rec + 7, 3), 3));
  const size_t end = size - 3;
  size_t at = 10;
  while (at < end) {
    const uint8_t* b = rec + at;
    const size_t blockSize = (end - at >= 2 && (b[1] & 1)) ? 29 : 20;
    if (end - at < blockSize) {
      e = k01_meas17_epoch_t{};
      return kEnc17NotRaw17;
    }
    k01_meas17_sat_t s;
    s.sv = b[0];
    s.flags = b[1];
    s.status = b[2];
    s.extra1 = b[3];
    s.extra2 = b[4];
    s.snr = b[5];
    s.range = static_cast<uint32_t>(getBe(b + 6, 4));
    s.phase = bo::SignExtend(getBe(b + 10, 6), 6);
    s.doppler = static_cast<int32_t>(bo::SignExtend(getBe(b + 16, 3), 3));
    s.unread = b[19];
    if (b[1] & 1) {
      s.snr2 = b[20];
      s.phase2 = bo::SignExtend(getBe(b + 21, 6), 6);
      s.value2 = static_cast<int16_t>(bo::SignExtend(getBe(b + 27, 2), 2));
    }
    e.sats.push_back(s);
    at += blockSize;
  }
  return kEnc17Ok;
}

k01_meas17_encoder_t::k01_meas17_encoder_t(const k01_meas17_encoder_options_t& options)
    : options_(options) {
  history_.prev.slots.resize(88);
  history_.pred.slots.resize(88);
}

size_t k01_meas17_encoder_t::capacity() const {
  return options_.maxSatellites < 88 ? options_.maxSatellites : 88;
}

k01_meas17_encoder_t::Slot k01_meas17_encoder_t::slotOf(const k01_meas17_sat_t& s) {
  Slot o;
  o.sv = s.sv;
  o.flags = s.flags;
  o.status = s.status;
  o.extra1 = s.extra1;
  o.extra2 = s.extra2;
  o.snr = s.snr;
  o.range = s.range;
  o.phase = wrap(s.phase, 6);
  o.doppler = wrap(s.doppler, 3);
  if (s.flags & 1) {
    o.snr2 = s.snr2;
    o.phase2 = wrap(s.phase2, 6);
    o.value2 = wrap(s.value2, 2);
  }
  return o;
}

uint8_t k01_meas17_encoder_t::key(const k01_meas17_epoch_t& e, std::vector<uint8_t>& r) {
  if (!buildRaw17Record(e, r)) return kEnc17TooLong;
  // The decoder loads at most its capacity of satellite blocks.
  History h;
  h.prev.slots.resize(88);
  h.prev.time = e.time;
  h.prev.clock = wrap(e.clock, 3);
  for (size_t i = 0; i < e.sats.size() && i < capacity(); ++i) h.prev.slots[i] = slotOf(e.sats[i]);
  h.pred = h.prev;
  if (options_.predictor == Meas17Predictor::kSmoothed) {
    r.pop_back();  // no end byte; the length byte counts the bytes stored
    const size_t stored = r.size();
    r[1] = static_cast<uint8_t>(stored & 0xFF);
    r[2] = stored > 255 ? 77 : 69;
  } else {
    r[2] = r.size() > 255 ? 75 : 67;
  }
  history_ = std::move(h);
  haveHistory_ = true;
  lastTime_ = e.time;
  sinceKey_ = 1;
  lastWasKey_ = true;
  return kEnc17Ok;
}

void k01_meas17_encoder_t::reorder(History& h, const std::vector<uint8_t>& list) const {
  std::vector<Slot> p(88), q(88);
  for (size_t i = 0; i < list.size(); ++i) {
    bool found = false;
    for (size_t k = 0; k < capacity() && !found; ++k) {
      if (h.prev.slots[k].sv == list[i] && h.pred.slots[k].sv == list[i]) {
        p[i] = h.prev.slots[k];
        q[i] = h.pred.slots[k];
        found = true;
      }
    }
    if (!found) p[i].sv = q[i].sv = list[i];
  }
  h.prev.slots = std::move(p);
  h.pred.slots = std::move(q);
}

void k01_meas17_encoder_t::advance(History& h, Image& built, size_t count) const {
  Image pred = built;
  pred.time = linearPrediction(h.prev.time, built.time, 4);
  pred.clock = linearPrediction(h.prev.clock, built.clock, 3);
  for (size_t i = 0; i < count; ++i) {
    Slot& b = built.slots[i];
    const Slot& p = h.prev.slots[i];
    Slot& q = pred.slots[i];
    const bool dual = b.flags & 1;
    if (options_.predictor == Meas17Predictor::kLinear) {
      q.range = linearPrediction(p.range, b.range, 4);
      q.phase = linearPrediction(p.phase, b.phase, 6);
      q.doppler = linearPrediction(p.doppler, b.doppler, 3);
      if (dual) q.phase2 = linearPrediction(p.phase2, b.phase2, 6);
    } else {
      // Range: rate := rate/4 + 3 * (step/4); prediction := new + rate.
      const int64_t step = quarter(bo::SignExtend(wrap(static_cast<int64_t>(b.range - p.range), 4), 4));
      b.rangeRate = wrap(quarter(bo::SignExtend(p.rangeRate, 4)) + 3 * step, 4);
      q.range = wrap(static_cast<int64_t>(b.range + b.rangeRate), 4);
      // Phase: acceleration := acceleration/4 + 3 * (curvature/4);
      // prediction := new + first difference + acceleration.
      auto phase = [](uint64_t nw, uint64_t pv, uint64_t pAccel, uint64_t pBefore,
                      uint64_t& accel, uint64_t& before) {
        const int64_t d1 = bo::SignExtend(nw - pv, 6);
        const int64_t curve =
            quarter(bo::SignExtend(wrap(bo::SignExtend(nw, 6) - 2 * bo::SignExtend(pv, 6) + bo::SignExtend(pBefore, 6), 6), 6));
        accel = wrap(quarter(bo::SignExtend(pAccel, 6)) + 3 * curve, 6);
        before = pv;
        return wrap(bo::SignExtend(nw, 6) + d1 + bo::SignExtend(accel, 6), 6);
      };
      q.phase = phase(b.phase, p.phase, p.phaseAccel, p.phaseBefore, b.phaseAccel, b.phaseBefore);
      if (dual)
        q.phase2 = phase(b.phase2, p.phase2, p.phase2Accel, p.phase2Before, b.phase2Accel,
                         b.phase2Before);
    }
    if (dual) q.value2 = linearPrediction(p.value2, b.value2, 2);
    q.rangeRate = b.rangeRate;
    q.phaseAccel = b.phaseAccel;
    q.phaseBefore = b.phaseBefore;
    q.phase2Accel = b.phase2Accel;
    q.phase2Before = b.phase2Before;
  }
  h.prev = built;
  h.pred = std::move(pred);
}

// What a delta epoch cannot carry: more satellites than the images hold, a
// non-zero unread block byte (rebuilt as 0), a Doppler under the smoothed
// predictor (rebuilt as 0), a raw record over 511 bytes.
uint8_t k01_meas17_encoder_t::deltaCheck(const k01_meas17_epoch_t& e) const {
  if (rawSize(e) > kMaxRaw17Size) return kEnc17TooLong;
  if (!haveHistory_) return kEnc17NoHistory;
  if (e.sats.size() > capacity()) return kEnc17NotDeltable;
  for (const k01_meas17_sat_t& s : e.sats) {
    if (s.unread != 0) return kEnc17NotDeltable;
    if (options_.predictor == Meas17Predictor::kSmoothed && wrap(s.doppler, 3) != 0)
      return kEnc17NotDeltable;
  }
  return kEnc17Ok;
}

uint8_t k01_meas17_encoder_t::buildDelta(const k01_meas17_epoch_t& e, History& h,
                                         std::vector<uint8_t>& r, uint8_t& header) const {
  const bool linear = options_.predictor == Meas17Predictor::kLinear;
  std::vector<uint8_t> list;
  for (const k01_meas17_sat_t& s : e.sats) list.push_back(s.sv);
  std::vector<uint8_t> implicit;
  for (size_t k = 0; k < capacity(); ++k)
    if (h.prev.slots[k].sv != 0 && h.prev.slots[k].snr != 0) implicit.push_back(h.prev.slots[k].sv);
  const bool explicitList = options_.explicitList || list != implicit;
  if (explicitList) reorder(h, list);

  // Flags mode: the cheapest that represents every satellite.
  int mode = options_.flagsMode;
  if (mode < 0 || mode > 3) {
    bool all2 = true, all1 = true, all3 = true;
    for (size_t i = 0; i < e.sats.size(); ++i) {
      const k01_meas17_sat_t& s = e.sats[i];
      const Slot& p = h.prev.slots[i];
      const uint8_t b1 = s.flags & 0x02;
      all2 = all2 && s.flags == (0xD8 | b1) && s.status == 0;
      all1 = all1 && s.flags == p.flags && s.status == p.status;
      const uint8_t high = s.flags & 0xDA;
      const uint8_t low = s.flags & 0x25;
      const bool highOk = high == (0xD8 | b1) || high == 0;
      const bool lowOk = low == 0 || low == 0x21 || low == 0x25;
      all3 = all3 && highOk && lowOk && s.status == (low ? 4 : 0);
    }
    mode = all2 ? 2 : all1 ? 1 : all3 ? 3 : 0;
  }

  std::vector<uint8_t> body;
  Image built;
  built.slots.resize(88);
  built.time = e.time;
  built.clock = wrap(e.clock, 3);
  std::vector<uint8_t> hdrBytes;
  const unsigned tm = deltaField(hdrBytes, built.time, h.pred.time, 4, 3, 2, true);
  const unsigned cm = deltaField(hdrBytes, built.clock, h.pred.clock, 3, 3, 2, true);
  header = static_cast<uint8_t>((explicitList ? 0x80 : 0) | tm << 5 | cm << 3 |
                                static_cast<unsigned>(mode));
  body.push_back(header);
  body.insert(body.end(), hdrBytes.begin(), hdrBytes.end());
  if (explicitList) {
    body.push_back(static_cast<uint8_t>(list.size()));
    body.insert(body.end(), list.begin(), list.end());
  }

  for (size_t i = 0; i < e.sats.size(); ++i) {
    const Slot t = slotOf(e.sats[i]);
    const Slot& p = h.prev.slots[i];
    const Slot& q = h.pred.slots[i];
    built.slots[i] = t;

    // Status byte F: extra bytes (steps of 1) and signal-to-noise (up to 7).
    std::vector<uint8_t> raws;
    const unsigned x1 = smallField(raws, t.extra1, p.extra1, 1);
    const unsigned x2 = smallField(raws, t.extra2, p.extra2, 1);
    const unsigned sn = smallField(raws, t.snr, p.snr, 7);
    body.push_back(static_cast<uint8_t>((x1 & 8) << 4 | (x1 & 1) << 6 | (x2 & 8) << 2 |
                                        (x2 & 1) << 4 | sn));
    body.insert(body.end(), raws.begin(), raws.end());

    // Measurement byte G.
    std::vector<uint8_t> fields;
    uint8_t g = (t.flags & 0x02) ? 0x80 : 0;
    if (linear) {
      g |= deltaField(fields, t.range, q.range, 4, 0, 3, false) << 5;
      g |= deltaField(fields, t.phase, q.phase, 6, 7, 6, true) << 2;
      g |= deltaField(fields, t.doppler, q.doppler, 3, 3, 2, true);
    } else {
      g |= deltaField(fields, t.range, q.range, 4, 4, 3, true) << 4;
      g |= deltaField(fields, t.phase, q.phase, 6, 7, 6, true);
    }
    body.push_back(g);
    body.insert(body.end(), fields.begin(), fields.end());

    if (mode == 0) {
      body.push_back(t.flags);
      body.push_back(t.status);
    } else if (mode == 3) {
      uint8_t ebyte = (t.flags & 0x80) ? 0x80 : 0;
      if (t.flags & 0x01) ebyte |= 0x40;
      if (t.flags & 0x04) ebyte |= 0x20;
      body.push_back(ebyte);
    }

    if (t.flags & 0x01) {
      std::vector<uint8_t> r2, f2;
      const unsigned s2 = smallField(r2, t.snr2, p.snr2, 7);
      const unsigned pm = deltaField(f2, t.phase2, q.phase2, 6, 7, 6, true);
      const unsigned vm = deltaField(f2, t.value2, q.value2, 2, 0, 1, false);
      body.push_back(static_cast<uint8_t>((s2 & 8) << 4 | (s2 & 7) << 4 | pm << 1 | vm));
      body.insert(body.end(), r2.begin(), r2.end());
      body.insert(body.end(), f2.begin(), f2.end());
    }
  }
  advance(h, built, e.sats.size());

  // The record carries the checksum of the raw record it rebuilds.
  std::vector<uint8_t> raw;
  if (!buildRaw17Record(e, raw)) return kEnc17TooLong;
  const uint16_t checksum = rawrec::ByteSum(raw.data(), raw.size() - 3);

  r.assign({0x02, 0, 0});
  r.insert(r.end(), body.begin(), body.end());
  bo::AppendBeN(r, checksum, 2);
  if (linear) r.push_back(0x03);
  if (r.size() > kMaxRaw17Size) {
    r.clear();
    return kEnc17NotDeltable;
  }
  r[1] = static_cast<uint8_t>(r.size() & 0xFF);
  r[2] = linear ? (r.size() > 255 ? 74 : 66) : (r.size() > 255 ? 76 : 68);
  return kEnc17Ok;
}

uint8_t k01_meas17_encoder_t::delta(const k01_meas17_epoch_t& e, std::vector<uint8_t>& r) {
  r.clear();
  uint8_t st = deltaCheck(e);
  if (st != kEnc17Ok) return st;
  History h = history_;
  uint8_t header = 0;
  st = buildDelta(e, h, r, header);
  if (st != kEnc17Ok) return st;
  history_ = std::move(h);
  lastHeader_ = header;
  lastTime_ = e.time;
  ++sinceKey_;
  lastWasKey_ = false;
  return kEnc17Ok;
}

uint8_t k01_meas17_encoder_t::encode(const k01_meas17_epoch_t& e, std::vector<uint8_t>& r) {
  r.clear();
  const size_t size = rawSize(e);
  if (size > kMaxRaw17Size) return kEnc17TooLong;
  const bool due = options_.keyInterval > 0 && sinceKey_ >= options_.keyInterval;
  const bool gap = e.time <= lastTime_ || e.time - lastTime_ > options_.maxGapMs;
  if (!due && !gap && deltaCheck(e) == kEnc17Ok) {
    History h = history_;
    uint8_t header = 0;
    std::vector<uint8_t> d;
    const size_t keySize = options_.predictor == Meas17Predictor::kSmoothed ? size - 1 : size;
    if (buildDelta(e, h, d, header) == kEnc17Ok && d.size() < keySize) {
      history_ = std::move(h);
      lastHeader_ = header;
      lastTime_ = e.time;
      ++sinceKey_;
      lastWasKey_ = false;
      r = std::move(d);
      return kEnc17Ok;
    }
  }
  return key(e, r);
}

uint8_t k01_meas17_encoder_t::encodeRaw(const uint8_t* record, size_t size,
                                        std::vector<uint8_t>& out) {
  out.clear();
  k01_meas17_epoch_t e;
  const uint8_t st = parseRaw17Record(record, size, e);
  if (st != kEnc17Ok) return st;
  return encode(e, out);
}

}  // namespace k01
