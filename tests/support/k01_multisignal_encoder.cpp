#include "k01_multisignal_encoder.h"

#include <cmath>

#include "k01lib/multisignal_state.h"

namespace k01test {

namespace {

uint64_t mask(int w) { return w >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * w)) - 1; }

int64_t wrapSigned(uint64_t v, int w) {
  v &= mask(w);
  const uint64_t sign = uint64_t{1} << (8 * w - 1);
  return static_cast<int64_t>((v ^ sign) - sign);
}

void be(MsBytes& b, uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Delta-coded field: mode 0 when unchanged, a sign-and-magnitude difference
// of the fewest bytes when that is shorter than the raw mode, else raw.
unsigned encodeField(MsBytes& pay, uint64_t value, uint64_t ref, int w, unsigned rawMode) {
  const int64_t d = wrapSigned(value - ref, w);
  if (d == 0) return 0;
  const uint64_t mag = d < 0 ? static_cast<uint64_t>(-d) : static_cast<uint64_t>(d);
  unsigned n = 1;
  while (n < 8 && mag >= (uint64_t{1} << (8 * n - 1))) ++n;
  if (n < rawMode && static_cast<int>(n) <= w) {
    be(pay, mag | (d < 0 ? uint64_t{1} << (8 * n - 1) : 0), static_cast<int>(n));
    return n;
  }
  be(pay, value & mask(w), w);
  return rawMode;
}

// Small signed step: 0 to rawMode - 1 up, 1 to rawMode - 1 down, else raw.
unsigned encodeStep(MsBytes& pay, uint64_t value, uint64_t ref, int w, unsigned rawMode) {
  const int64_t d = wrapSigned(value - ref, w);
  const int64_t r = rawMode;
  if (d >= 0 && d < r) return static_cast<unsigned>(d);
  if (d < 0 && d > -r) return static_cast<unsigned>(d + 2 * r);
  be(pay, value & mask(w), w);
  return rawMode;
}

bool extended(const MsSignal& g, size_t s) { return s > 0 && (g.flags & 0x80) && (g.extra & 1); }

int rangeWidth(const MsSignal& g, size_t s) { return s == 0 ? 4 : (extended(g, s) ? 3 : 2); }

void putChecksum(MsBytes& b) {
  uint32_t sum = 0;
  for (uint8_t x : b) sum += x;
  be(b, sum & 0xFFFF, 2);
}

void setLength(MsBytes& b) {
  b[1] = static_cast<uint8_t>(b.size() & 0xFF);
  b[3] = static_cast<uint8_t>(b.size() >> 8);
}

const MsSignal kNoSignal{};

const MsSignal* signalAt(const MsEpoch& e, size_t b, size_t s) {
  if (b >= e.sats.size() || s >= e.sats[b].signals.size()) return nullptr;
  return &e.sats[b].signals[s];
}

double roundAway(double y) { return y > 0 ? std::floor(y + 0.5) : std::ceil(y - 0.5); }

uint8_t headerLength(const MsEpoch& e) {
  return static_cast<uint8_t>(12 + ((e.flags & 0x02) ? 3 : 0) + ((e.flags & 0x10) ? 1 : 0));
}

uint8_t extLength(const MsEpoch& e) {
  uint32_t n = 2;
  for (const MsExtEntry& x : e.ext) n += 1 + extValueBytes(x.value);
  return static_cast<uint8_t>(n);
}

uint8_t extCountByte(const MsEpoch& e) {
  return static_cast<uint8_t>((e.ext.size() << 4) | (e.extCode & 0x0F));
}

}  // namespace

uint8_t extValueBytes(int64_t value) {
  uint8_t v[7];
  for (int i = 0; i < 7; ++i) v[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * (6 - i)));
  int lead = 0;
  while (lead < 6 && ((v[lead] == 0x00 && v[lead + 1] < 0x80) || (v[lead] == 0xFF && v[lead + 1] >= 0x80)))
    ++lead;
  return static_cast<uint8_t>(7 - lead);
}

MsBytes rawType27(const MsEpoch& e) {
  MsBytes b = {0x02, 0, 27, 0};
  b.push_back(headerLength(e));
  be(b, e.week, 2);
  be(b, e.time, 4);
  be(b, static_cast<uint64_t>(e.clock), 3);
  b.push_back(static_cast<uint8_t>(e.sats.size()));
  b.push_back(e.flags);
  if (e.flags & 0x02) be(b, e.field3, 3);
  if (e.flags & 0x10) b.push_back(e.field1);
  if (e.flags & 0x20) {
    b.push_back(extLength(e));
    b.push_back(extCountByte(e));
    for (const MsExtEntry& x : e.ext) {
      const uint8_t k = extValueBytes(x.value);
      b.push_back(static_cast<uint8_t>((k << 4) | (x.code & 0x0F)));
      be(b, static_cast<uint64_t>(x.value), k);
    }
  }
  for (const MsSat& sat : e.sats) {
    b.push_back(8);
    b.push_back(sat.sv);
    b.push_back(sat.system);
    b.push_back(static_cast<uint8_t>(sat.channel));
    b.push_back(static_cast<uint8_t>(sat.signals.size()));
    b.push_back(sat.byte5);
    b.push_back(sat.byte6);
    b.push_back(sat.byte7);
    for (size_t s = 0; s < sat.signals.size(); ++s) {
      const MsSignal& g = sat.signals[s];
      const bool ext = extended(g, s);
      const uint8_t entry = static_cast<uint8_t>(5 + (s == 0 ? 4 : 2) + 8 + ((g.flags & 0x80) ? 1 : 0) +
                                                 ((g.flags & 0x04) ? 3 : 0) + (ext ? 1 : 0));
      b.push_back(entry);
      b.push_back(g.band);
      b.push_back(g.further);
      be(b, g.value16, 2);
      be(b, static_cast<uint64_t>(g.range), s == 0 ? 4 : 2);
      be(b, static_cast<uint64_t>(g.phase), 6);
      b.push_back(g.status);
      b.push_back(g.flags);
      if (g.flags & 0x80) b.push_back(g.extra);
      if (g.flags & 0x04) be(b, static_cast<uint64_t>(g.doppler), 3);
      if (ext) b.push_back(static_cast<uint8_t>(static_cast<uint64_t>(g.range) >> 16));
    }
  }
  b[1] = static_cast<uint8_t>((b.size() + 3) & 0xFF);
  b[3] = static_cast<uint8_t>((b.size() + 3) >> 8);
  putChecksum(b);
  b.push_back(0x03);
  return b;
}

void MsEncoder::advance(const MsEpoch& e) {
  MsEpoch pred = e;
  pred.time = static_cast<uint32_t>(2u * e.time - prev_.time);
  pred.clock = static_cast<int32_t>(wrapSigned(2 * static_cast<uint64_t>(e.clock) - static_cast<uint64_t>(prev_.clock), 3));
  for (size_t b = 0; b < e.sats.size(); ++b) {
    for (size_t s = 0; s < e.sats[b].signals.size(); ++s) {
      const MsSignal& g = e.sats[b].signals[s];
      const MsSignal* p = signalAt(prev_, b, s);
      if (p == nullptr) p = &kNoSignal;
      MsSignal& q = pred.sats[b].signals[s];
      const int rw = rangeWidth(g, s);
      const uint64_t r = 2 * static_cast<uint64_t>(g.range) - static_cast<uint64_t>(p->range);
      q.range = s == 0 ? static_cast<int64_t>(r & mask(4)) : wrapSigned(r, rw);
      q.phase = wrapSigned(2 * static_cast<uint64_t>(g.phase) - static_cast<uint64_t>(p->phase), 6);
      q.doppler = static_cast<int32_t>(
          wrapSigned(2 * static_cast<uint64_t>(g.doppler) - static_cast<uint64_t>(p->doppler), 3));
    }
  }
  prev_ = e;
  pred_ = pred;
}

MsBytes MsEncoder::key(const MsEpoch& e) {
  MsBytes r = rawType27(e);
  r.pop_back();
  r[2] = 38;
  setLength(r);
  prev_ = e;
  pred_ = e;
  return r;
}

MsBytes MsEncoder::delta(const MsEpoch& e, bool full) {
  const MsEpoch& r = pred_;
  MsBytes out = {0x02, 0, static_cast<uint8_t>(full ? 36 : 37), 0};

  const bool header = e.week != r.week || e.flags != r.flags ||
                      ((e.flags & 0x02) && e.field3 != r.field3) ||
                      ((e.flags & 0x10) && e.field1 != r.field1);
  MsBytes pay;
  const unsigned tm = encodeField(pay, e.time, r.time, 4, 3);
  const unsigned cm = encodeField(pay, static_cast<uint64_t>(e.clock), static_cast<uint64_t>(r.clock), 3, 3);
  const unsigned cs = encodeStep(pay, e.sats.size(), r.sats.size(), 1, 4);
  out.push_back(static_cast<uint8_t>((header ? 0x80 : 0) | tm << 5 | cm << 3 | cs));
  if (header) {
    out.push_back(headerLength(e));
    be(out, e.week, 2);
    out.push_back(e.flags);
    if (e.flags & 0x02) be(out, e.field3, 3);
    if (e.flags & 0x10) out.push_back(e.field1);
  }
  out.insert(out.end(), pay.begin(), pay.end());

  if (e.flags & 0x20) {
    const size_t n = e.ext.size();
    const bool refHasExt = (r.flags & 0x20) != 0;
    auto refEntry = [&](size_t i) -> const MsExtEntry* {
      return refHasExt && i < r.ext.size() ? &r.ext[i] : nullptr;
    };
    for (size_t group = 0; group == 0 || 2 * group < n; ++group) {
      bool sendDesc = group == 0 && (!refHasExt || extLength(e) != extLength(r) ||
                                     extCountByte(e) != extCountByte(r));
      for (size_t i = 2 * group; i < n && i < 2 * group + 2; ++i)
        if (refEntry(i) == nullptr || refEntry(i)->code != e.ext[i].code) sendDesc = true;
      MsBytes body;
      unsigned modes[2] = {0, 0};
      for (size_t i = 2 * group; i < n && i < 2 * group + 2; ++i) {
        if (sendDesc)
          body.push_back(static_cast<uint8_t>((extValueBytes(e.ext[i].value) << 4) | (e.ext[i].code & 0x0F)));
        const MsExtEntry* re = refEntry(i);
        modes[i - 2 * group] = encodeField(body, static_cast<uint64_t>(e.ext[i].value),
                                           re ? static_cast<uint64_t>(re->value) : 0, 7, 7);
      }
      out.push_back(static_cast<uint8_t>((sendDesc ? 0x80 : 0) | modes[0] << 4 | modes[1] << 1));
      if (group == 0 && sendDesc) {
        out.push_back(extLength(e));
        out.push_back(extCountByte(e));
      }
      out.insert(out.end(), body.begin(), body.end());
    }
  }

  for (size_t b = 0; b < e.sats.size(); ++b) {
    const MsSat& sat = e.sats[b];
    const MsSat* rb = b < r.sats.size() ? &r.sats[b] : nullptr;
    const bool lenChanged = rb == nullptr || rb->byte7 != sat.byte7;
    const bool idChanged = rb == nullptr || rb->sv != sat.sv || rb->system != sat.system ||
                           rb->channel != sat.channel || rb->signals.size() != sat.signals.size();
    MsBytes bp;
    unsigned m5, m6;
    if (rb == nullptr) {
      be(bp, sat.byte5, 1);
      be(bp, sat.byte6, 1);
      m5 = m6 = 4;
    } else {
      m5 = encodeStep(bp, sat.byte5, rb->byte5, 1, 4);
      m6 = encodeStep(bp, sat.byte6, rb->byte6, 1, 4);
    }
    out.push_back(static_cast<uint8_t>((lenChanged ? 0x80 : 0) | m5 << 4 | m6 << 1 | (idChanged ? 1 : 0)));
    if (lenChanged) {
      out.push_back(8);
      out.push_back(sat.byte7);
    }
    if (idChanged) {
      out.push_back(sat.sv);
      out.push_back(sat.system);
      out.push_back(static_cast<uint8_t>(sat.channel));
      out.push_back(static_cast<uint8_t>(sat.signals.size()));
    }
    out.insert(out.end(), bp.begin(), bp.end());

    for (size_t s = 0; s < sat.signals.size(); ++s) {
      const MsSignal& g = sat.signals[s];
      const MsSignal* rs = rb != nullptr && s < rb->signals.size() ? &rb->signals[s] : nullptr;
      const MsSignal& ref = rs ? *rs : kNoSignal;
      const bool fixedChanged = rs == nullptr || rs->band != g.band || rs->further != g.further ||
                                rs->flags != g.flags || rs->extra != g.extra;
      if (!full && ((fixedChanged && (g.flags & 0x80)) || (!fixedChanged && (g.extra & 1)) ||
                    ((g.flags & 0x04) && g.doppler != ref.doppler)))
        return {};
      MsBytes sp;
      const unsigned ms = rs ? encodeStep(sp, g.status, ref.status, 1, 2) : (be(sp, g.status, 1), 2u);
      const unsigned mv = rs ? encodeStep(sp, g.value16, ref.value16, 2, 16) : (be(sp, g.value16, 2), 16u);
      const int rw = rangeWidth(g, s);
      const unsigned mr = rs ? encodeField(sp, static_cast<uint64_t>(g.range), static_cast<uint64_t>(ref.range),
                                           rw, static_cast<unsigned>(rw))
                             : (be(sp, static_cast<uint64_t>(g.range), rw), static_cast<unsigned>(rw));
      const unsigned mp = rs ? encodeField(sp, static_cast<uint64_t>(g.phase), static_cast<uint64_t>(ref.phase), 6, 6)
                             : (be(sp, static_cast<uint64_t>(g.phase), 6), 6u);
      unsigned md = 0;
      if (full) {
        if (rs == nullptr) {
          be(sp, static_cast<uint64_t>(g.doppler), 3);
          md = 3;
        } else {
          md = encodeField(sp, static_cast<uint64_t>(g.doppler), static_cast<uint64_t>(ref.doppler), 3, 3);
        }
      }
      out.push_back(static_cast<uint8_t>((fixedChanged ? 0x80 : 0) | mv << 2 | ms));
      out.push_back(static_cast<uint8_t>(mr << 4 | mp));
      if (full) out.push_back(static_cast<uint8_t>(md << 6));
      if (fixedChanged) {
        out.push_back(static_cast<uint8_t>(5 + (s == 0 ? 4 : 2) + 8 + ((g.flags & 0x80) ? 1 : 0) +
                                          ((g.flags & 0x04) ? 3 : 0) + (extended(g, s) ? 1 : 0)));
        out.push_back(g.band);
        out.push_back(g.further);
        out.push_back(g.flags);
        if (g.flags & 0x80) out.push_back(g.extra);
      }
      out.insert(out.end(), sp.begin(), sp.end());
    }
  }

  const MsBytes raw = rawType27(e);
  out.push_back(raw[raw.size() - 3]);
  out.push_back(raw[raw.size() - 2]);
  setLength(out);
  advance(e);
  return out;
}

MsBytes MsEncoder::phaseOnly(const MsEpoch& e, MsEpoch* carried) {
  const MsEpoch& r = pred_;
  const MsEpoch& p = prev_;
  MsEpoch c = e;
  MsBytes out = {0x02, 0, 39, 0};
  const uint32_t step = e.time - r.time;
  const bool rawTime = e.week != r.week || step % 10 != 0 || step / 10 > 255;
  MsBytes pay;
  const unsigned cm = encodeField(pay, static_cast<uint64_t>(e.clock), static_cast<uint64_t>(r.clock), 3, 3);
  const unsigned fm = (r.flags & 0x02) ? encodeField(pay, e.field3, r.field3, 3, 3) : 0;
  out.push_back(static_cast<uint8_t>((rawTime ? 0x80 : 0) | cm << 5 | fm << 3));
  if (rawTime) {
    be(out, e.week, 2);
    be(out, e.time, 4);
  } else {
    out.push_back(static_cast<uint8_t>(step / 10));
  }
  out.insert(out.end(), pay.begin(), pay.end());

  for (size_t b = 0; b < c.sats.size(); ++b) {
    MsSat& sat = c.sats[b];
    const double unit = std::ldexp(1.0, sat.system == 1 ? -6 : -7);
    double prevFirst = 0.0;
    double newFirst = 0.0;
    for (size_t s = 0; s < sat.signals.size(); ++s) {
      MsSignal& g = sat.signals[s];
      const MsSignal& ref = *signalAt(r, b, s);
      const MsSignal& prev = *signalAt(p, b, s);
      MsBytes sp;
      const unsigned mp = encodeField(sp, static_cast<uint64_t>(g.phase), static_cast<uint64_t>(ref.phase), 6, 6);
      unsigned md = 0;
      if (g.flags & 0x04)
        md = encodeField(sp, static_cast<uint64_t>(g.doppler), static_cast<uint64_t>(ref.doppler), 3, 3);
      out.push_back(static_cast<uint8_t>(mp << 5 | md << 3));
      out.insert(out.end(), sp.begin(), sp.end());

      const double lambda = k01::carrierWavelength(sat.system, g.band, sat.channel);
      const double cycles = std::ldexp(static_cast<double>(g.phase - prev.phase), -15);
      if (s == 0) {
        prevFirst = static_cast<double>(static_cast<uint32_t>(prev.range)) * unit;
        const double bits = std::fmod(roundAway((prevFirst - cycles * lambda) / unit), 4294967296.0);
        g.range = static_cast<int64_t>(static_cast<uint32_t>(static_cast<int64_t>(bits) & 0xFFFFFFFF));
        newFirst = static_cast<double>(g.range) * unit;
      } else {
        const double range = std::ldexp(static_cast<double>(prev.range), -8) + prevFirst - cycles * lambda;
        g.range = wrapSigned(static_cast<uint64_t>(static_cast<int64_t>(roundAway((range - newFirst) * 256.0))),
                             rangeWidth(g, s));
      }
    }
  }
  const MsBytes raw = rawType27(c);
  out.push_back(raw[raw.size() - 3]);
  out.push_back(raw[raw.size() - 2]);
  setLength(out);
  advance(c);
  if (carried != nullptr) *carried = c;
  return out;
}

}  // namespace k01test
