#include "support/k01_meas17_encoder.h"

#include <cstdlib>

#include "support/record_builder.h"

namespace tb17 {

namespace {

uint64_t Mask(unsigned w) { return w >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * w)) - 1; }
uint64_t Wrap(int64_t v, unsigned w) { return static_cast<uint64_t>(v) & Mask(w); }
int64_t Sext(uint64_t v, unsigned w) {
  v &= Mask(w);
  const uint64_t sign = uint64_t{1} << (8 * w - 1);
  return (v & sign) ? static_cast<int64_t>(v) - static_cast<int64_t>(Mask(w)) - 1
                    : static_cast<int64_t>(v);
}
// Arithmetic shift right by 2 (rounding towards minus infinity).
int64_t Quarter(int64_t v) { return v >= 0 ? v / 4 : -((-v + 3) / 4); }

void PutBe(std::vector<uint8_t>& out, uint64_t v, unsigned w) {
  for (unsigned i = w; i-- > 0;) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A delta-coded field: copy (mode 0, when hasCopy), a delta of 1 to
// maxDelta bytes, else the raw value under rawMode.
unsigned Field(std::vector<uint8_t>& out, uint64_t target, uint64_t ref, unsigned w,
               unsigned rawMode, unsigned maxDelta, bool hasCopy) {
  const int64_t diff = Sext(Wrap(static_cast<int64_t>(target - ref), w), w);
  if (hasCopy && diff == 0) return 0;
  const uint64_t mag = static_cast<uint64_t>(diff < 0 ? -diff : diff);
  for (unsigned m = 1; m <= maxDelta; ++m) {
    if (m == rawMode) continue;
    if (mag < (uint64_t{1} << (8 * m - 1))) {
      PutBe(out, mag | (diff < 0 ? uint64_t{1} << (8 * m - 1) : 0), m);
      return m;
    }
  }
  PutBe(out, target & Mask(w), w);
  return rawMode;
}

// A one-byte field: returns (flag << 3 | magnitude) for a magnitude of up
// to maxMag; a raw byte goes to raws.
unsigned Small(std::vector<uint8_t>& raws, uint8_t target, uint8_t ref, unsigned maxMag) {
  const int diff = static_cast<int8_t>(static_cast<uint8_t>(target - ref));
  if (diff == 0) return 0;
  if (diff > 0 && static_cast<unsigned>(diff) <= maxMag) return static_cast<unsigned>(diff);
  if (diff < 0 && static_cast<unsigned>(-diff) <= maxMag) return 8 | static_cast<unsigned>(-diff);
  raws.push_back(target);
  return 8;
}

uint16_t Sum(const std::vector<uint8_t>& r, size_t n) {
  uint32_t s = 0;
  for (size_t i = 0; i < n; ++i) s += r[i];
  return static_cast<uint16_t>(s);
}

}  // namespace

std::vector<uint8_t> RawRecord(const Epoch& e) {
  tb::Fields f;
  f.u32(e.time).u24(static_cast<uint32_t>(e.clock));
  for (const Sat& s : e.sats) {
    f.u8(s.sv).u8(s.flags).u8(s.status).u8(s.extra1).u8(s.extra2).u8(s.snr).u32(s.range);
    f.u48(static_cast<uint64_t>(s.phase)).u24(static_cast<uint32_t>(s.doppler)).u8(0);
    if (s.flags & 1) f.u8(s.snr2).u48(static_cast<uint64_t>(s.phase2)).u16(static_cast<uint16_t>(s.value2));
  }
  const size_t length = f.data().size() + 6;
  return rawrec::BuildRecord(length > 255 ? 117 : 17, f.data(), rawrec::LengthForm::kImage);
}

Meas17Encoder::Meas17Encoder(Predictor p, int capacity) : predictor_(p), capacity_(capacity) {
  prev_.slots.resize(88);
  pred_.slots.resize(88);
}

Meas17Encoder::Slot Meas17Encoder::SlotOf(const Sat& s) {
  Slot o;
  o.sv = s.sv;
  o.flags = s.flags;
  o.status = s.status;
  o.extra1 = s.extra1;
  o.extra2 = s.extra2;
  o.snr = s.snr;
  o.range = s.range;
  o.phase = Wrap(s.phase, 6);
  o.doppler = Wrap(s.doppler, 3);
  if (s.flags & 1) {
    o.snr2 = s.snr2;
    o.phase2 = Wrap(s.phase2, 6);
    o.value2 = Wrap(s.value2, 2);
  }
  return o;
}

std::vector<uint8_t> Meas17Encoder::Key(const Epoch& e) {
  std::vector<uint8_t> r = RawRecord(e);
  prev_ = Image{};
  prev_.slots.resize(88);
  prev_.time = e.time;
  prev_.clock = Wrap(e.clock, 3);
  for (size_t i = 0; i < e.sats.size() && static_cast<int>(i) < capacity_; ++i)
    prev_.slots[i] = SlotOf(e.sats[i]);
  pred_ = prev_;
  const bool smoothed = predictor_ == Predictor::kSmoothed;
  if (smoothed) {
    r.pop_back();  // no end byte
    const size_t stored = r.size();
    r[1] = static_cast<uint8_t>(stored & 0xFF);
    r[2] = stored > 255 ? 77 : 69;
  } else {
    r[2] = r.size() > 255 ? 75 : 67;
  }
  return r;
}

void Meas17Encoder::Reorder(const std::vector<uint8_t>& list) {
  std::vector<Slot> p(88), q(88);
  for (size_t i = 0; i < list.size(); ++i) {
    bool found = false;
    for (int k = 0; k < capacity_ && !found; ++k) {
      if (prev_.slots[k].sv == list[i] && pred_.slots[k].sv == list[i]) {
        p[i] = prev_.slots[k];
        q[i] = pred_.slots[k];
        found = true;
      }
    }
    if (!found) p[i].sv = q[i].sv = list[i];
  }
  prev_.slots = p;
  pred_.slots = q;
}

void Meas17Encoder::Advance(Image& built, size_t count) {
  Image pred = built;
  auto linear = [](uint64_t a, uint64_t b, unsigned w) {
    return Wrap(2 * Sext(b, w) - Sext(a, w), w);
  };
  pred.time = linear(prev_.time, built.time, 4);
  pred.clock = linear(prev_.clock, built.clock, 3);
  for (size_t i = 0; i < count; ++i) {
    Slot& b = built.slots[i];
    const Slot& p = prev_.slots[i];
    Slot& q = pred.slots[i];
    const bool dual = b.flags & 1;
    if (predictor_ == Predictor::kLinear) {
      q.range = linear(p.range, b.range, 4);
      q.phase = linear(p.phase, b.phase, 6);
      q.doppler = linear(p.doppler, b.doppler, 3);
      if (dual) q.phase2 = linear(p.phase2, b.phase2, 6);
    } else {
      const int64_t step = Quarter(Sext(Wrap(static_cast<int64_t>(b.range - p.range), 4), 4));
      b.rangeRate = Wrap(Quarter(Sext(p.rangeRate, 4)) + 3 * step, 4);
      q.range = Wrap(static_cast<int64_t>(b.range + b.rangeRate), 4);
      auto phase = [](uint64_t nw, uint64_t pv, uint64_t pAccel, uint64_t pBefore,
                      uint64_t& accel, uint64_t& before) {
        const int64_t d1 = Sext(nw - pv, 6);
        const int64_t curve =
            Quarter(Sext(Wrap(Sext(nw, 6) - 2 * Sext(pv, 6) + Sext(pBefore, 6), 6), 6));
        accel = Wrap(Quarter(Sext(pAccel, 6)) + 3 * curve, 6);
        before = pv;
        return Wrap(Sext(nw, 6) + d1 + Sext(accel, 6), 6);
      };
      q.phase = phase(b.phase, p.phase, p.phaseAccel, p.phaseBefore, b.phaseAccel, b.phaseBefore);
      if (dual)
        q.phase2 = phase(b.phase2, p.phase2, p.phase2Accel, p.phase2Before, b.phase2Accel,
                         b.phase2Before);
    }
    if (dual) q.value2 = linear(p.value2, b.value2, 2);
    q.rangeRate = b.rangeRate;
    q.phaseAccel = b.phaseAccel;
    q.phaseBefore = b.phaseBefore;
    q.phase2Accel = b.phase2Accel;
    q.phase2Before = b.phase2Before;
  }
  prev_ = built;
  pred_ = pred;
}

std::vector<uint8_t> Meas17Encoder::Delta(const Epoch& e) {
  const bool linear = predictor_ == Predictor::kLinear;
  std::vector<uint8_t> list;
  for (const Sat& s : e.sats) list.push_back(s.sv);
  std::vector<uint8_t> implicit;
  for (int k = 0; k < capacity_; ++k)
    if (prev_.slots[k].sv != 0 && prev_.slots[k].snr != 0) implicit.push_back(prev_.slots[k].sv);
  const bool explicitList = forceExplicitList || list != implicit;
  if (explicitList) Reorder(list);

  // Flags mode: the cheapest that represents every satellite.
  int mode = forceFlagsMode;
  if (mode < 0) {
    bool all2 = true, all1 = true, all3 = true;
    for (size_t i = 0; i < e.sats.size(); ++i) {
      const Sat& s = e.sats[i];
      const Slot& p = prev_.slots[i];
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
  built.clock = Wrap(e.clock, 3);
  std::vector<uint8_t> hdrBytes;
  const unsigned tm = Field(hdrBytes, built.time, pred_.time, 4, 3, 2, true);
  const unsigned cm = Field(hdrBytes, built.clock, pred_.clock, 3, 3, 2, true);
  lastHeader = static_cast<uint8_t>((explicitList ? 0x80 : 0) | tm << 5 | cm << 3 | mode);
  body.push_back(lastHeader);
  body.insert(body.end(), hdrBytes.begin(), hdrBytes.end());
  if (explicitList) {
    body.push_back(static_cast<uint8_t>(list.size()));
    body.insert(body.end(), list.begin(), list.end());
  }

  for (size_t i = 0; i < e.sats.size(); ++i) {
    Sat sat = e.sats[i];
    if (!linear) sat.doppler = 0;
    const Slot t = SlotOf(sat);
    const Slot& p = prev_.slots[i];
    const Slot& q = pred_.slots[i];
    built.slots[i] = t;

    std::vector<uint8_t> raws;
    const unsigned x1 = Small(raws, t.extra1, p.extra1, 1);
    const unsigned x2 = Small(raws, t.extra2, p.extra2, 1);
    const unsigned sn = Small(raws, t.snr, p.snr, 7);
    body.push_back(static_cast<uint8_t>((x1 & 8) << 4 | (x1 & 1) << 6 | (x2 & 8) << 2 |
                                        (x2 & 1) << 4 | sn));
    body.insert(body.end(), raws.begin(), raws.end());

    std::vector<uint8_t> fields;
    uint8_t g = (t.flags & 0x02) ? 0x80 : 0;
    if (linear) {
      g |= Field(fields, t.range, q.range, 4, 0, 3, false) << 5;
      g |= Field(fields, t.phase, q.phase, 6, 7, 6, true) << 2;
      g |= Field(fields, t.doppler, q.doppler, 3, 3, 2, true);
    } else {
      g |= Field(fields, t.range, q.range, 4, 4, 3, true) << 4;
      g |= Field(fields, t.phase, q.phase, 6, 7, 6, true);
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
      const unsigned s2 = Small(r2, t.snr2, p.snr2, 7);
      const unsigned pm = Field(f2, t.phase2, q.phase2, 6, 7, 6, true);
      const unsigned vm = Field(f2, t.value2, q.value2, 2, 0, 1, false);
      body.push_back(static_cast<uint8_t>((s2 & 8) << 4 | (s2 & 7) << 4 | pm << 1 | vm));
      body.insert(body.end(), r2.begin(), r2.end());
      body.insert(body.end(), f2.begin(), f2.end());
    }
  }
  Advance(built, e.sats.size());

  Epoch rebuilt = e;
  if (!linear)
    for (Sat& s : rebuilt.sats) s.doppler = 0;
  const std::vector<uint8_t> raw = RawRecord(rebuilt);
  const uint16_t checksum = Sum(raw, raw.size() - 3);

  std::vector<uint8_t> r = {0x02, 0, 0};
  r.insert(r.end(), body.begin(), body.end());
  PutBe(r, checksum, 2);
  if (linear) r.push_back(0x03);
  if (r.size() > 511) std::abort();
  r[1] = static_cast<uint8_t>(r.size() & 0xFF);
  r[2] = linear ? (r.size() > 255 ? 74 : 66) : (r.size() > 255 ? 76 : 68);
  return r;
}

}  // namespace tb17
