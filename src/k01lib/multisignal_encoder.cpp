// Encoder of the compressed multi-signal measurement family.
//
// Epochs are held in the decoder's image layout (the raw record is taken
// apart and written back with the library's image parser and writer); the
// modes, the extrapolation and the range carried along the phase are
// computed here. Each candidate builds the image the decoder will rebuild
// from it; the candidate is usable only when that image writes the input
// record byte for byte.
#include "common/scale.h"
#include "k01lib/multisignal_encoder.h"

#include <cmath>
#include <cstring>

#include "common/byte_order.h"
#include "common/raw_record.h"
#include "k01lib/multisignal_state.h"
#include "k01lib/record_writer.h"

namespace k01 {

using namespace msimg;

namespace {

// Delta-coded field of w bytes at dst against ref: mode 0 when equal, a
// sign-and-magnitude delta of the fewest bytes below rawMode (and at most
// w), else the raw value under rawMode. The bytes go to pay.
unsigned fieldMode(std::vector<uint8_t>& pay, const uint8_t* value, const uint8_t* ref, unsigned w,
                   unsigned rawMode) {
  const int64_t d = bo::SignExtend(bo::GetBeN(value, w) - bo::GetBeN(ref, w), w);
  if (d == 0) return 0;
  const uint64_t mag = static_cast<uint64_t>(d < 0 ? -d : d);
  for (unsigned n = 1; n < rawMode && n <= w; ++n) {
    if (mag < (uint64_t{1} << (8 * n - 1))) {
      bo::AppendBeN(pay, mag | (d < 0 ? uint64_t{1} << (8 * n - 1) : 0), n);
      return n;
    }
  }
  pay.insert(pay.end(), value, value + w);
  return rawMode;
}

// Small signed step of a w-byte field: 0 to rawMode - 1 up, 1 to
// rawMode - 1 down, else the raw value under rawMode.
unsigned stepMode(std::vector<uint8_t>& pay, const uint8_t* value, const uint8_t* ref, unsigned w,
                  unsigned rawMode) {
  const int64_t d = bo::SignExtend(bo::GetBeN(value, w) - bo::GetBeN(ref, w), w);
  const int64_t r = rawMode;
  if (d >= 0 && d < r) return static_cast<unsigned>(d);
  if (d < 0 && d > -r) return static_cast<unsigned>(d + 2 * r);
  pay.insert(pay.end(), value, value + w);
  return rawMode;
}

bool extendedRange(const uint8_t* sig, uint32_t s) {
  return s > 0 && (sig[kSigFlags] & 0x80) != 0 && (sig[kSigExtra] & 0x01) != 0;
}

uint8_t significant(const uint8_t* v) {
  uint8_t lead = 0;
  while (lead < 6 && ((v[lead] == 0x00 && v[lead + 1] < 0x80) || (v[lead] == 0xFF && v[lead + 1] >= 0x80)))
    ++lead;
  return static_cast<uint8_t>(7 - lead);
}

// prediction := image with time, clock, ranges, phases and Dopplers
// extrapolated as 2 x image - previous; previous := image.
void extrapolate(std::vector<uint8_t>& prev, std::vector<uint8_t>& pred, const std::vector<uint8_t>& img) {
  pred = img;
  auto lin = [&](size_t off, unsigned w) {
    bo::PutBeN(&pred[off], 2 * bo::GetBeN(&img[off], w) - bo::GetBeN(&prev[off], w), w);
  };
  lin(kTime, 4);
  lin(kClock, 3);
  const uint32_t count = img[kSatCount] <= kMsMaxSatellites ? img[kSatCount] : 0;
  for (uint32_t b = 0; b < count; ++b) {
    const uint32_t signals = block(img.data(), b)[kBlkSignalCount];
    for (uint32_t s = 0; s < signals && s < kMsMaxSignals; ++s) {
      const size_t off = kBlocks + kBlockSize * b + kBlkSignals + kSignalSize * s;
      lin(off + kSigRange, 4);
      lin(off + kSigPhase, 6);
      lin(off + kSigDoppler, 3);
    }
  }
  prev = img;
}

}  // namespace

// Extension block in image form against its reference: a mode byte per two
// entries; the first also announces the length and count bytes, each the
// descriptors of its entries. `rebuilt` receives the block the decoder makes.
void appendExtensionDelta(std::vector<uint8_t>& out, const uint8_t* ext, const uint8_t* ref,
                          uint8_t* rebuilt) {
  std::memcpy(rebuilt, ext, kExtBlockSize);
  const uint32_t n = (ext[1] >> 4) & 7;
  const bool header = ext[0] != ref[0] || ext[1] != ref[1];
  for (uint32_t group = 0; group == 0 || 2 * group < n; ++group) {
    bool sendDesc = group == 0 && header;
    for (uint32_t e = 2 * group; e < n && e < 2 * group + 2; ++e)
      if ((ext[kExtDescOffset + e] & 0x8F) != (ref[kExtDescOffset + e] & 0x8F)) sendDesc = true;
    std::vector<uint8_t> body;
    unsigned modes[2] = {0, 0};
    for (uint32_t e = 2 * group; e < n && e < 2 * group + 2; ++e) {
      const uint8_t* v = ext + kExtValueOffset + kExtValueWidth * e;
      if (sendDesc) body.push_back(ext[kExtDescOffset + e]);
      modes[e - 2 * group] = fieldMode(body, v, ref + kExtValueOffset + kExtValueWidth * e, 7, 7);
      const uint8_t desc = sendDesc ? ext[kExtDescOffset + e] : ref[kExtDescOffset + e];
      rebuilt[kExtDescOffset + e] = static_cast<uint8_t>((desc & 0x8F) | (significant(v) << 4));
    }
    out.push_back(static_cast<uint8_t>((sendDesc ? 0x80 : 0) | modes[0] << 4 | modes[1] << 1));
    if (group == 0) {
      if (sendDesc) {
        out.push_back(ext[0]);
        out.push_back(ext[1]);
      } else {
        rebuilt[0] = ref[0];
        rebuilt[1] = ref[1];
      }
    }
    out.insert(out.end(), body.begin(), body.end());
  }
}

uint8_t extValueBytes(int64_t value) {
  uint8_t v[7];
  bo::PutBeN(v, static_cast<uint64_t>(value), 7);
  return significant(v);
}

std::vector<uint8_t> buildRaw27Record(const k01_ms_epoch_t& e) {
  std::vector<uint8_t> b = {0x02, 0, 27, 0};
  b.push_back(static_cast<uint8_t>(12 + ((e.flags & 0x02) ? 3 : 0) + ((e.flags & 0x10) ? 1 : 0)));
  bo::AppendBeN(b, e.week, 2);
  bo::AppendBeN(b, e.time, 4);
  bo::AppendBeN(b, static_cast<uint64_t>(e.clock), 3);
  b.push_back(static_cast<uint8_t>(e.sats.size()));
  b.push_back(e.flags);
  if (e.flags & 0x02) bo::AppendBeN(b, e.field3, 3);
  if (e.flags & 0x10) b.push_back(e.field1);
  if (e.flags & 0x20) {
    uint32_t length = 2;
    for (const k01_ms_ext_entry_t& x : e.ext) length += 1u + extValueBytes(x.value);
    b.push_back(static_cast<uint8_t>(length));
    b.push_back(static_cast<uint8_t>((e.ext.size() << 4) | (e.extCode & 0x0F)));
    for (const k01_ms_ext_entry_t& x : e.ext) {
      const uint8_t k = extValueBytes(x.value);
      b.push_back(static_cast<uint8_t>((k << 4) | (x.code & 0x0F)));
      bo::AppendBeN(b, static_cast<uint64_t>(x.value), k);
    }
  }
  for (const k01_ms_sat_t& sat : e.sats) {
    b.insert(b.end(), {8, sat.sv, sat.system, static_cast<uint8_t>(sat.channel),
                       static_cast<uint8_t>(sat.signals.size()), sat.byte5, sat.byte6, sat.byte7});
    for (size_t s = 0; s < sat.signals.size(); ++s) {
      const k01_ms_signal_t& g = sat.signals[s];
      const bool ext = s > 0 && (g.flags & 0x80) && (g.extra & 1);
      b.push_back(static_cast<uint8_t>(5 + (s == 0 ? 4 : 2) + 8 + ((g.flags & 0x80) ? 1 : 0) +
                                       ((g.flags & 0x04) ? 3 : 0) + (ext ? 1 : 0)));
      b.push_back(g.band);
      b.push_back(g.further);
      bo::AppendBeN(b, g.value16, 2);
      bo::AppendBeN(b, static_cast<uint64_t>(g.range), s == 0 ? 4 : 2);
      bo::AppendBeN(b, static_cast<uint64_t>(g.phase), 6);
      b.push_back(g.status);
      b.push_back(g.flags);
      if (g.flags & 0x80) b.push_back(g.extra);
      if (g.flags & 0x04) bo::AppendBeN(b, static_cast<uint64_t>(g.doppler), 3);
      if (ext) b.push_back(static_cast<uint8_t>(static_cast<uint64_t>(g.range) >> 16));
    }
  }
  const size_t length = b.size() + 3;
  b[1] = static_cast<uint8_t>(length & 0xFF);
  b[3] = static_cast<uint8_t>(length >> 8);
  bo::AppendBeN(b, rawrec::ByteSum(b.data(), b.size()), 2);
  b.push_back(0x03);
  return b;
}

k01_ms_encoder_t::k01_ms_encoder_t(const k01_ms_encoder_options_t& options)
    : options_(options), previous_(kMsImageSize, 0), prediction_(kMsImageSize, 0) {}

bool k01_ms_encoder_t::parse(const uint8_t* rec, size_t size, Image& target) const {
  if (rec == nullptr || size < 19 || size > kRecordCapacity || rec[0] != 0x02 || rec[2] != 27 ||
      rec[1] + 256u * rec[3] != size || rec[size - 1] != 0x03)
    return false;
  uint32_t sum = 0;
  for (size_t i = 0; i < size - 3; ++i) sum += rec[i];
  if (static_cast<uint16_t>(sum) != bo::GetBeN(rec + size - 3, 2)) return false;
  target.assign(kMsImageSize, 0);
  return parseRaw27Image(rec, static_cast<uint32_t>(size), target.data()) == kMsOk;
}

bool k01_ms_encoder_t::rebuildsInput(const Image& rebuilt, const uint8_t* rec, size_t size) const {
  k01_record_t out;
  Image img = rebuilt;
  img[2] = 27;
  img[kEnd] = 0x03;
  return writeRaw27Image(img.data(), out) && out.length == size &&
         std::memcmp(out.bytes, rec, size) == 0;
}

void k01_ms_encoder_t::commit(const Image& rebuilt, uint8_t type) {
  extrapolate(previous_, prediction_, rebuilt);
  haveHistory_ = true;
  lastTime_ = static_cast<uint32_t>(bo::GetBeN(&rebuilt[kTime], 4));
  sinceKey_ = type == 38 ? 1 : sinceKey_ + 1;
  lastType_ = type;
}

bool k01_ms_encoder_t::buildDelta(const Image& T, bool full, std::vector<uint8_t>& r,
                                  Image& S) const {
  const Image& P = prediction_;
  S = T;
  std::vector<uint8_t> pay;
  const uint8_t flags = T[kFlags];
  const bool header = T[kHeaderLength] != P[kHeaderLength] || T[kWeek] != P[kWeek] ||
                      T[kWeek + 1] != P[kWeek + 1] || flags != P[kFlags] ||
                      ((flags & 0x02) && bo::GetBeN(&T[kField3], 3) != bo::GetBeN(&P[kField3], 3)) ||
                      ((flags & 0x10) && T[kField1] != P[kField1]);
  if (!header) {
    std::memcpy(&S[kField3], &P[kField3], 3);
    S[kField1] = P[kField1];
  }
  const unsigned tm = fieldMode(pay, &T[kTime], &P[kTime], 4, 3);
  const unsigned cm = fieldMode(pay, &T[kClock], &P[kClock], 3, 3);
  const unsigned cs = stepMode(pay, &T[kSatCount], &P[kSatCount], 1, 4);
  r.assign({0x02, 0, static_cast<uint8_t>(full ? 36 : 37), 0});
  r.push_back(static_cast<uint8_t>((header ? 0x80 : 0) | tm << 5 | cm << 3 | cs));
  if (header) {
    r.push_back(T[kHeaderLength]);
    r.insert(r.end(), &T[kWeek], &T[kWeek] + 2);
    r.push_back(flags);
    if (flags & 0x02) r.insert(r.end(), &T[kField3], &T[kField3] + 3);
    if (flags & 0x10) r.push_back(T[kField1]);
  }
  r.insert(r.end(), pay.begin(), pay.end());
  if (flags & 0x20) appendExtensionDelta(r, &T[kExtLength], &P[kExtLength], &S[kExtLength]);

  for (uint32_t b = 0; b < T[kSatCount]; ++b) {
    const uint8_t* tb = block(T.data(), b);
    const uint8_t* pb = block(P.data(), b);
    const bool lenChanged = tb[kBlkLength] != pb[kBlkLength] || tb[7] != pb[7];
    const bool idChanged = std::memcmp(tb + kBlkSv, pb + kBlkSv, 4) != 0;
    std::vector<uint8_t> bp;
    const unsigned m5 = stepMode(bp, tb + 5, pb + 5, 1, 4);
    const unsigned m6 = stepMode(bp, tb + 6, pb + 6, 1, 4);
    r.push_back(static_cast<uint8_t>((lenChanged ? 0x80 : 0) | m5 << 4 | m6 << 1 | (idChanged ? 1 : 0)));
    if (lenChanged) {
      r.push_back(tb[kBlkLength]);
      r.push_back(tb[7]);
    }
    if (idChanged) r.insert(r.end(), tb + kBlkSv, tb + kBlkSv + 4);
    r.insert(r.end(), bp.begin(), bp.end());

    for (uint32_t s = 0; s < tb[kBlkSignalCount]; ++s) {
      const uint8_t* tg = signal(T.data(), b, s);
      const uint8_t* pg = signal(P.data(), b, s);
      uint8_t* sg = signal(S.data(), b, s);
      const bool fixed = std::memcmp(tg + kSigLength, pg + kSigLength, 3) != 0 ||
                         tg[kSigFlags] != pg[kSigFlags] || tg[kSigExtra] != pg[kSigExtra];
      // The short form carries no extra-flags byte and no Doppler.
      if (!full && fixed && (tg[kSigFlags] & 0x80)) return false;
      std::vector<uint8_t> sp;
      const unsigned ms = stepMode(sp, tg + kSigStatus, pg + kSigStatus, 1, 2);
      const unsigned mv = stepMode(sp, tg + kSigValue16, pg + kSigValue16, 2, 16);
      const unsigned rw = s == 0 ? 4 : (extendedRange(tg, s) ? 3 : 2);
      const unsigned mr = fieldMode(sp, tg + kSigRange, pg + kSigRange, rw, rw);
      const unsigned mp = fieldMode(sp, tg + kSigPhase, pg + kSigPhase, 6, 6);
      unsigned md = 0;
      if (full)
        md = fieldMode(sp, tg + kSigDoppler, pg + kSigDoppler, 3, 3);
      else
        std::memcpy(sg + kSigDoppler, pg + kSigDoppler, 3);
      r.push_back(static_cast<uint8_t>((fixed ? 0x80 : 0) | mv << 2 | ms));
      r.push_back(static_cast<uint8_t>(mr << 4 | mp));
      if (full) r.push_back(static_cast<uint8_t>(md << 6));
      if (fixed) {
        r.insert(r.end(), tg + kSigLength, tg + kSigLength + 3);
        r.push_back(tg[kSigFlags]);
        if (tg[kSigFlags] & 0x80) r.push_back(tg[kSigExtra]);
      }
      r.insert(r.end(), sp.begin(), sp.end());
    }
  }
  r.insert(r.end(), &T[kChecksum], &T[kChecksum] + 2);
  if (r.size() > kRecordCapacity) return false;
  r[1] = static_cast<uint8_t>(r.size() & 0xFF);
  r[3] = static_cast<uint8_t>(r.size() >> 8);
  return true;
}

bool k01_ms_encoder_t::buildPhaseOnly(const Image& T, std::vector<uint8_t>& r, Image& S) const {
  const Image& P = prediction_;
  const Image& V = previous_;
  S = P;
  r.assign({0x02, 0, 39, 0});
  const uint32_t step = static_cast<uint32_t>(bo::GetBeN(&T[kTime], 4) - bo::GetBeN(&P[kTime], 4));
  const bool rawTime = T[kWeek] != P[kWeek] || T[kWeek + 1] != P[kWeek + 1] || step % 10 != 0 ||
                       step / 10 > 255;
  std::vector<uint8_t> pay;
  const unsigned cm = fieldMode(pay, &T[kClock], &P[kClock], 3, 3);
  std::memcpy(&S[kClock], &T[kClock], 3);
  unsigned fm = 0;
  if (P[kFlags] & 0x02) {
    fm = fieldMode(pay, &T[kField3], &P[kField3], 3, 3);
    std::memcpy(&S[kField3], &T[kField3], 3);
  }
  r.push_back(static_cast<uint8_t>((rawTime ? 0x80 : 0) | cm << 5 | fm << 3));
  if (rawTime) {
    r.insert(r.end(), &T[kWeek], &T[kWeek] + 6);  // week and time
    std::memcpy(&S[kWeek], &T[kWeek], 6);
  } else {
    r.push_back(static_cast<uint8_t>(step / 10));
    std::memcpy(&S[kTime], &T[kTime], 4);
  }
  r.insert(r.end(), pay.begin(), pay.end());

  for (uint32_t b = 0; b < P[kSatCount] && b < kMsMaxSatellites; ++b) {
    const uint8_t* blk = block(S.data(), b);
    const uint32_t signals = blk[kBlkSignalCount];
    if (signals > kMsMaxSignals) return false;
    const uint8_t system = blk[kBlkSystem];
    const double firstUnit = system == 1 ? sc::Ldexp(1.0, -6) : sc::Ldexp(1.0, -7);
    double prevFirst = 0.0;
    double newFirst = 0.0;
    for (uint32_t s = 0; s < signals; ++s) {
      uint8_t* sg = signal(S.data(), b, s);
      const uint8_t* tg = signal(T.data(), b, s);
      const uint8_t* ps = signal(V.data(), b, s);
      std::vector<uint8_t> sp;
      const unsigned mp = fieldMode(sp, tg + kSigPhase, sg + kSigPhase, 6, 6);
      std::memcpy(sg + kSigPhase, tg + kSigPhase, 6);
      // The range follows the phase from the previous epoch.
      const double lambda = carrierWavelength(system, sg[kSigBand], static_cast<int8_t>(blk[kBlkChannel]));
      const double cycles = sc::Ldexp(
          static_cast<double>(bo::SignExtend(bo::GetBeN(sg + kSigPhase, 6), 6) - bo::SignExtend(bo::GetBeN(ps + kSigPhase, 6), 6)), -15);
      if (s == 0) {
        prevFirst = static_cast<uint32_t>(bo::GetBeN(ps + kSigRange, 4)) * firstUnit;
        const uint32_t bits = scaledBits(prevFirst - cycles * lambda, system == 1 ? 6 : 7);
        bo::PutBeN(sg + kSigRange, bits, 4);
        newFirst = bits * firstUnit;
      } else {
        const unsigned pw = extendedRange(ps, s) ? 3 : 2;
        const double prevDiff = sc::Ldexp(static_cast<double>(bo::SignExtend(bo::GetBeN(ps + kSigRange, pw), pw)), -8);
        const uint32_t bits = scaledBits(prevDiff + prevFirst - cycles * lambda - newFirst, 8);
        std::memset(sg + kSigRange, 0, 4);
        bo::PutBeN(sg + kSigRange, bits, extendedRange(sg, s) ? 3 : 2);
      }
      unsigned md = 0;
      if (sg[kSigFlags] & 0x04) {
        md = fieldMode(sp, tg + kSigDoppler, sg + kSigDoppler, 3, 3);
        std::memcpy(sg + kSigDoppler, tg + kSigDoppler, 3);
      }
      r.push_back(static_cast<uint8_t>(mp << 5 | md << 3));
      r.insert(r.end(), sp.begin(), sp.end());
    }
  }
  r.insert(r.end(), &T[kChecksum], &T[kChecksum] + 2);
  std::memcpy(&S[kChecksum], &T[kChecksum], 2);
  if (r.size() > kRecordCapacity) return false;
  r[1] = static_cast<uint8_t>(r.size() & 0xFF);
  r[3] = static_cast<uint8_t>(r.size() >> 8);
  return true;
}

uint8_t k01_ms_encoder_t::key(const uint8_t* rec, size_t size, std::vector<uint8_t>& out) {
  out.clear();
  Image T;
  if (!parse(rec, size, T)) return kEnc27NotRaw27;
  out.assign(rec, rec + size - 1);
  out[1] = static_cast<uint8_t>((size - 1) & 0xFF);
  out[2] = 38;
  out[3] = static_cast<uint8_t>((size - 1) >> 8);
  // A key epoch loads both images.
  previous_ = T;
  prediction_ = T;
  haveHistory_ = true;
  lastTime_ = static_cast<uint32_t>(bo::GetBeN(&T[kTime], 4));
  sinceKey_ = 1;
  lastType_ = 38;
  return kEnc27Ok;
}

uint8_t k01_ms_encoder_t::delta(const uint8_t* rec, size_t size, bool full, std::vector<uint8_t>& out) {
  out.clear();
  Image T, S;
  if (!parse(rec, size, T)) return kEnc27NotRaw27;
  if (!haveHistory_) return kEnc27NoHistory;
  std::vector<uint8_t> r;
  if (!buildDelta(T, full, r, S) || !rebuildsInput(S, rec, size)) return kEnc27NotDeltable;
  out = std::move(r);
  commit(S, full ? 36 : 37);
  return kEnc27Ok;
}

uint8_t k01_ms_encoder_t::phaseOnly(const uint8_t* rec, size_t size, std::vector<uint8_t>& out) {
  out.clear();
  Image T, S;
  if (!parse(rec, size, T)) return kEnc27NotRaw27;
  if (!haveHistory_) return kEnc27NoHistory;
  std::vector<uint8_t> r;
  if (!buildPhaseOnly(T, r, S) || !rebuildsInput(S, rec, size)) return kEnc27NotDeltable;
  out = std::move(r);
  commit(S, 39);
  return kEnc27Ok;
}

uint8_t k01_ms_encoder_t::encodeRaw(const uint8_t* rec, size_t size, std::vector<uint8_t>& out) {
  out.clear();
  Image T;
  if (!parse(rec, size, T)) return kEnc27NotRaw27;
  const uint32_t time = static_cast<uint32_t>(bo::GetBeN(&T[kTime], 4));
  const bool due = options_.keyInterval > 0 && sinceKey_ >= options_.keyInterval;
  const bool gap = time <= lastTime_ || time - lastTime_ > options_.maxGapMs;
  if (haveHistory_ && !due && !gap) {
    std::vector<uint8_t> best, r;
    Image bestImage, S;
    uint8_t bestType = 0;
    auto consider = [&](bool built, uint8_t type) {
      if (built && rebuildsInput(S, rec, size) && (best.empty() || r.size() < best.size())) {
        best = r;
        bestImage = S;
        bestType = type;
      }
    };
    consider(buildDelta(T, true, r, S), 36);
    if (options_.useShortDelta) consider(buildDelta(T, false, r, S), 37);
    if (options_.usePhaseOnly) consider(buildPhaseOnly(T, r, S), 39);
    // A key epoch is the record less its end byte.
    if (!best.empty() && best.size() < size - 1) {
      out = std::move(best);
      commit(bestImage, bestType);
      return kEnc27Ok;
    }
  }
  return key(rec, size, out);
}

uint8_t k01_ms_encoder_t::encode(const k01_ms_epoch_t& epoch, std::vector<uint8_t>& out) {
  const std::vector<uint8_t> raw = buildRaw27Record(epoch);
  return encodeRaw(raw.data(), raw.size(), out);
}

}  // namespace k01
