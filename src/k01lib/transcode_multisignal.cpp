// Transcoders of the compressed multi-signal measurement records: 36 and
// 37 (delta epochs), 38 (key epoch) and 39 (phase-only delta epoch carrying
// the ranges along the carrier phase). Each rebuilds a raw type-27 record.
#include <cmath>
#include <cstring>

#include "common/scale.h"
#include "k01lib/byte_arith.h"
#include "common/raw_record.h"
#include "k01lib/delta_fields.h"
#include "k01lib/multisignal_state.h"
#include "k01lib/record_writer.h"

namespace k01 {

using namespace msimg;

void resetMultiSignalHistory(k01_ms_history_t& h) {
  std::memset(h.previous, 0, sizeof h.previous);
  std::memset(h.prediction, 0, sizeof h.prediction);
}

double carrierWavelength(uint8_t system, uint8_t band, int8_t channel) {
  if (system == 2) {
    double f = 0.0;
    if (band == 0) f = 1602000000.0 + 562500.0 * channel;
    if (band == 1) f = 1246000000.0 + 437500.0 * channel;
    return f > 0.0 ? 299792458.0 / f : 0.0;
  }
  switch (band) {
    case 0: return 0.19029367279836487;
    case 1: return 0.24421021342456825;
    case 2: return 0.25482804879085386;
    case 3:
    case 6: return 0.2483493695843067;
    case 4: return 0.251547000952345;
    case 5: return 0.23444180488758554;
    case 7: return 0.2363324646044209;
    case 8: return 0.188579315385767;
    default: return 0.0;
  }
}

namespace {

// The length a compressed or raw record of this family declares.
uint32_t declaredLength(const uint8_t* rec) { return rec[1] + 256u * rec[3]; }

// A record is usable when its declared length fits what the buffer holds.
bool lengthFits(const k01_record_t& in, uint32_t length) {
  return length >= 4 && length <= in.length && length <= kRecordCapacity;
}

// Extended range applies to the later signals of a block: the difference
// from the first range is 3 bytes instead of 2.
bool extendedRange(const uint8_t* sig, uint32_t s) {
  return s > 0 && (sig[kSigFlags] & 0x80) != 0 && (sig[kSigExtra] & 0x01) != 0;
}

// Significant bytes of a 7-byte sign-extended value: 7 less the leading
// bytes that only repeat the sign (at most 6 counted).
uint8_t significantBytes(const uint8_t* v) {
  uint8_t lead = 0;
  while (lead < 6) {
    const uint8_t a = v[lead];
    const uint8_t b = v[lead + 1];
    if ((a == 0x00 && b < 0x80) || (a == 0xFF && b >= 0x80))
      ++lead;
    else
      break;
  }
  return static_cast<uint8_t>(7 - lead);
}

// A cursor over one compressed record with a sticky failure flag: every
// take and field update past the end marks the record as overrun.
struct Stream {
  k01_cursor_t c;
  bool bad = false;

  uint8_t byte() {
    if (c.left == 0) {
      bad = true;
      return 0;
    }
    return takeByte(c);
  }
  void bytes(uint8_t* dst, size_t n) {
    if (!takeBytes(c, dst, n)) {
      bad = true;
      std::memset(dst, 0, n);
    }
  }
  void field(unsigned mode, unsigned rawMode, uint8_t* dst, const uint8_t* ref, size_t w) {
    if (!updateField27(c, mode, rawMode, dst, ref, w)) bad = true;
  }
  void step(unsigned mode, unsigned rawMode, uint8_t* dst, const uint8_t* ref, size_t w) {
    if (!updateStep(c, mode, rawMode, dst, ref, w)) bad = true;
  }
};

// Reads the carried checksum into the image, adds the end byte and writes
// the raw type-27 record; false when the stream or the record overran.
bool finishImage(Stream& st, uint8_t* img, k01_record_t& out) {
  st.bytes(img + kChecksum, 2);
  if (st.bad) return false;
  img[kEnd] = 0x03;
  img[2] = 27;
  if (!writeRaw27Image(img, out)) {
    out.length = 0;
    return false;
  }
  return true;
}

// prediction := new with time, clock, ranges, phases and Dopplers
// extrapolated linearly from previous and new; previous := new.
void advanceHistory(k01_ms_history_t& h, const uint8_t* img) {
  uint8_t* pred = h.prediction;
  const uint8_t* prev = h.previous;
  std::memcpy(pred, img, kMsImageSize);
  bytesPredict(prev + kTime, img + kTime, pred + kTime, 4);
  bytesPredict(prev + kClock, img + kClock, pred + kClock, 3);
  const uint32_t count = img[kSatCount] <= kMsMaxSatellites ? img[kSatCount] : 0;
  for (uint32_t b = 0; b < count; ++b) {
    const uint32_t signals = block(img, b)[kBlkSignalCount];
    for (uint32_t s = 0; s < signals && s < kMsMaxSignals; ++s) {
      const size_t off = kBlocks + kBlockSize * b + kBlkSignals + kSignalSize * s;
      bytesPredict(prev + off + kSigRange, img + off + kSigRange, pred + off + kSigRange, 4);
      bytesPredict(prev + off + kSigPhase, img + off + kSigPhase, pred + off + kSigPhase, 6);
      bytesPredict(prev + off + kSigDoppler, img + off + kSigDoppler, pred + off + kSigDoppler,
                   3);
    }
  }
  std::memcpy(h.previous, img, kMsImageSize);
}

int64_t signedBytes(const uint8_t* p, size_t w) {
  uint64_t u = 0;
  for (size_t i = 0; i < w; ++i) u = (u << 8) | p[i];
  const uint64_t sign = uint64_t{1} << (8 * w - 1);
  return static_cast<int64_t>((u ^ sign) - sign);
}

uint32_t unsignedBytes(const uint8_t* p, size_t w) {
  uint32_t u = 0;
  for (size_t i = 0; i < w; ++i) u = (u << 8) | p[i];
  return u;
}

void putBytes(uint8_t* p, uint32_t v, size_t w) {
  for (size_t i = 0; i < w; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (w - 1 - i)));
}

// Moves the range difference of a later signal between its record form (2
// low bytes, the high byte last when extended) and its image form (2 or 3
// bytes, most significant first).
void shiftInRangeHigh(uint8_t* sig, uint8_t high) {
  sig[kSigRange + 2] = sig[kSigRange + 1];
  sig[kSigRange + 1] = sig[kSigRange];
  sig[kSigRange] = high;
}

// Common body of types 36 (full) and 37 (short).
uint8_t transcodeDelta(const k01_record_t& in, k01_record_t& out, k01_ms_history_t& h,
                       bool full, bool verify) {
  out.length = 0;
  const uint32_t length = declaredLength(in.bytes);
  if (!lengthFits(in, length)) return kMsOverrun;

  uint8_t img[kMsImageSize] = {};
  const uint8_t* ref = h.prediction;
  std::memcpy(img, in.bytes, 4);
  Stream st;
  setCursor(st.c, in.bytes, length, 4);

  // Epoch header.
  const uint8_t H = st.byte();
  if (H & 0x80) {
    img[kHeaderLength] = st.byte();
    st.bytes(img + kWeek, 2);
    img[kFlags] = st.byte();
    if (img[kFlags] & 0x02) st.bytes(img + kField3, 3);
    if (img[kFlags] & 0x10) img[kField1] = st.byte();
  } else {
    img[kHeaderLength] = ref[kHeaderLength];
    std::memcpy(img + kWeek, ref + kWeek, 2);
    img[kFlags] = ref[kFlags];
    std::memcpy(img + kField3, ref + kField3, 3);
    img[kField1] = ref[kField1];
  }
  st.field((H >> 5) & 3, 3, img + kTime, ref + kTime, 4);
  st.field((H >> 3) & 3, 3, img + kClock, ref + kClock, 3);
  st.step(H & 7, 4, img + kSatCount, ref + kSatCount, 1);
  if (st.bad) return kMsOverrun;
  if (img[kSatCount] > kMsMaxSatellites) return kMsSatCount;

  if (img[kFlags] & 0x20) {
    if (!decodeExtensionDelta(st.c, img + kExtLength, ref + kExtLength)) return kMsOverrun;
  }

  // Satellite blocks.
  for (uint32_t b = 0; b < img[kSatCount]; ++b) {
    uint8_t* blk = block(img, b);
    const uint8_t* rb = block(ref, b);
    const uint8_t P = st.byte();
    if (P & 0x80) {
      blk[kBlkLength] = st.byte();
      blk[7] = st.byte();
    } else {
      blk[kBlkLength] = rb[kBlkLength];
      blk[7] = rb[7];
    }
    if (P & 0x01)
      st.bytes(blk + kBlkSv, 4);
    else
      std::memcpy(blk + kBlkSv, rb + kBlkSv, 4);
    st.step((P >> 4) & 7, 4, blk + 5, rb + 5, 1);
    st.step((P >> 1) & 7, 4, blk + 6, rb + 6, 1);
    if (st.bad) return kMsOverrun;
    if (blk[kBlkSignalCount] > kMsMaxSignals) return kMsBadField;

    for (uint32_t s = 0; s < blk[kBlkSignalCount]; ++s) {
      uint8_t* sig = signal(img, b, s);
      const uint8_t* rs = signal(ref, b, s);
      const uint8_t Q0 = st.byte();
      const uint8_t Q1 = st.byte();
      const uint8_t R = full ? st.byte() : 0;
      if (st.bad) return kMsOverrun;
      if ((Q1 >> 4) > 4 || (Q1 & 15) > 6) return kMsBadField;
      if (Q0 & 0x80) {
        sig[kSigLength] = st.byte();
        sig[kSigBand] = st.byte();
        sig[kSigFurther] = st.byte();
        sig[kSigFlags] = st.byte();
        sig[kSigExtra] = 0;
        if (sig[kSigFlags] & 0x80) {
          if (!full) return kMsBadField;
          sig[kSigExtra] = st.byte();
        }
      } else {
        std::memcpy(sig + kSigLength, rs + kSigLength, 3);
        sig[kSigFlags] = rs[kSigFlags];
        sig[kSigExtra] = rs[kSigExtra];
      }
      st.step(Q0 & 3, 2, sig + kSigStatus, rs + kSigStatus, 1);
      st.step((Q0 >> 2) & 31, 16, sig + kSigValue16, rs + kSigValue16, 2);
      if (s == 0)
        st.field(Q1 >> 4, 4, sig + kSigRange, rs + kSigRange, 4);
      else if (extendedRange(sig, s))
        st.field(Q1 >> 4, 3, sig + kSigRange, rs + kSigRange, 3);
      else
        st.field(Q1 >> 4, 2, sig + kSigRange, rs + kSigRange, 2);
      st.field(Q1 & 15, 6, sig + kSigPhase, rs + kSigPhase, 6);
      if ((R >> 6) == 0)
        std::memcpy(sig + kSigDoppler, rs + kSigDoppler, 3);
      else
        st.field(R >> 6, 3, sig + kSigDoppler, rs + kSigDoppler, 3);
      if (st.bad) return kMsOverrun;
    }
  }

  if (!finishImage(st, img, out)) return kMsOverrun;
  if (verify) {
    const uint16_t carried = static_cast<uint16_t>(img[kChecksum] << 8 | img[kChecksum + 1]);
    if (rawrec::ByteSum(out.bytes, out.length - 3u) != carried) return kMsChecksum;
  }
  advanceHistory(h, img);
  return kMsOk;
}

}  // namespace

// Extension block, image form (kExtBlockSize bytes): length byte, count
// byte (bits 4..6: entries), 7 descriptors (bits 4..6: value bytes), a
// spare byte, 7 values sign-extended to 7 bytes.
bool decodeExtensionDelta(k01_cursor_t& c, uint8_t* ext, const uint8_t* ref) {
  Stream st;
  st.c = c;
  uint8_t M = st.byte();
  if (M & 0x80) {
    ext[0] = st.byte();
    ext[1] = st.byte();
  } else {
    ext[0] = ref[0];
    ext[1] = ref[1];
  }
  const uint32_t n = (ext[1] >> 4) & 7;
  for (uint32_t e = 0; e < n; ++e) {
    // Two entries share one mode byte.
    if (e > 0 && e % 2 == 0) M = st.byte();
    uint8_t& desc = ext[kExtDescOffset + e];
    desc = (M & 0x80) ? st.byte() : ref[kExtDescOffset + e];
    const unsigned mode = (e % 2 == 0) ? (M >> 4) & 7 : (M >> 1) & 7;
    uint8_t* v = ext + kExtValueOffset + kExtValueWidth * e;
    st.field(mode, 7, v, ref + kExtValueOffset + kExtValueWidth * e, kExtValueWidth);
    desc = static_cast<uint8_t>((desc & 0x8F) | (significantBytes(v) << 4));
  }
  c = st.c;
  return !st.bad;
}

bool appendExtensionBlock(k01_record_t& out, const uint8_t* ext) {
  bool ok = appendByte(out, ext[0]) && appendByte(out, ext[1]);
  const uint32_t n = (ext[1] >> 4) & 7;
  for (uint32_t e = 0; e < n && ok; ++e) {
    const uint8_t d = ext[kExtDescOffset + e];
    const uint32_t k = (d >> 4) & 7;
    ok = appendByte(out, d) &&
         appendBytes(out, ext + kExtValueOffset + kExtValueWidth * e + (kExtValueWidth - k), k);
  }
  return ok;
}

bool parseExtensionBlock(k01_cursor_t& c, uint8_t* ext) {
  Stream st;
  st.c = c;
  ext[0] = st.byte();
  ext[1] = st.byte();
  const uint32_t n = (ext[1] >> 4) & 7;
  for (uint32_t e = 0; e < n; ++e) {
    const uint8_t d = st.byte();
    ext[kExtDescOffset + e] = d;
    const uint32_t k = (d >> 4) & 7;
    uint8_t* v = ext + kExtValueOffset + kExtValueWidth * e;
    st.bytes(v + (kExtValueWidth - k), k);
    const uint8_t fill = (k > 0 && (v[kExtValueWidth - k] & 0x80)) ? 0xFF : 0x00;
    std::memset(v, fill, kExtValueWidth - k);
  }
  c = st.c;
  return !st.bad;
}

bool writeRaw27Image(const uint8_t* img, k01_record_t& out) {
  out.length = 0;
  bool ok = appendBytes(out, img, 4);
  ok = ok && appendBytes(out, img + kHeaderLength, 12);  // bytes 4 to 15
  const uint8_t flags = img[kFlags];
  if (flags & 0x02) ok = ok && appendBytes(out, img + kField3, 3);
  if (flags & 0x10) ok = ok && appendByte(out, img[kField1]);
  if (flags & 0x20) ok = ok && appendExtensionBlock(out, img + kExtLength);
  const uint32_t count = img[kSatCount];
  if (count > kMsMaxSatellites) return false;
  for (uint32_t b = 0; b < count && ok; ++b) {
    const uint8_t* blk = block(img, b);
    ok = appendBytes(out, blk, 8);
    const uint32_t signals = blk[kBlkSignalCount];
    if (signals > kMsMaxSignals) return false;
    for (uint32_t s = 0; s < signals && ok; ++s) {
      const uint8_t* sig = signal(img, b, s);
      const bool ext = extendedRange(sig, s);
      ok = appendBytes(out, sig, 5);  // entry length, band, further byte, 16-bit value
      if (s == 0)
        ok = ok && appendBytes(out, sig + kSigRange, 4);
      else
        ok = ok && appendBytes(out, sig + kSigRange + (ext ? 1 : 0), 2);
      ok = ok && appendBytes(out, sig + kSigPhase, 6) && appendByte(out, sig[kSigStatus]) &&
           appendByte(out, sig[kSigFlags]);
      if (sig[kSigFlags] & 0x80) ok = ok && appendByte(out, sig[kSigExtra]);
      if (sig[kSigFlags] & 0x04) ok = ok && appendBytes(out, sig + kSigDoppler, 3);
      if (ext) ok = ok && appendByte(out, sig[kSigRange]);
    }
  }
  ok = ok && appendBytes(out, img + kChecksum, 2) && appendByte(out, 0x03);
  if (!ok) return false;
  out.bytes[1] = static_cast<uint8_t>(out.length & 0xFF);
  out.bytes[3] = static_cast<uint8_t>(out.length >> 8);
  return true;
}

uint8_t parseRaw27Image(const uint8_t* rec, uint32_t length, uint8_t* img) {
  if (length < 19) return kMsOverrun;  // fixed header, checksum and end byte
  Stream st;
  // The fields end where the checksum begins.
  setCursor(st.c, rec, length - 3, 0);
  st.bytes(img, 4);
  img[kHeaderLength] = st.byte();
  st.bytes(img + kWeek, 2);
  st.bytes(img + kTime, 4);
  st.bytes(img + kClock, 3);
  img[kSatCount] = st.byte();
  img[kFlags] = st.byte();
  if (st.bad) return kMsOverrun;
  if (img[kSatCount] > kMsMaxSatellites) return kMsSatCount;
  if (img[kFlags] & 0x02) st.bytes(img + kField3, 3);
  if (img[kFlags] & 0x10) img[kField1] = st.byte();
  if ((img[kFlags] & 0x20) && !parseExtensionBlock(st.c, img + kExtLength)) return kMsOverrun;
  if (st.bad) return kMsOverrun;
  for (uint32_t b = 0; b < img[kSatCount]; ++b) {
    uint8_t* blk = block(img, b);
    st.bytes(blk, 8);
    if (st.bad) return kMsOverrun;
    if (blk[kBlkSignalCount] > kMsMaxSignals) return kMsBadField;
    for (uint32_t s = 0; s < blk[kBlkSignalCount]; ++s) {
      uint8_t* sig = signal(img, b, s);
      st.bytes(sig, 5);
      st.bytes(sig + kSigRange, s == 0 ? 4 : 2);
      st.bytes(sig + kSigPhase, 6);
      sig[kSigStatus] = st.byte();
      sig[kSigFlags] = st.byte();
      if (sig[kSigFlags] & 0x80) sig[kSigExtra] = st.byte();
      if (sig[kSigFlags] & 0x04) st.bytes(sig + kSigDoppler, 3);
      if (extendedRange(sig, s)) shiftInRangeHigh(sig, st.byte());
      if (st.bad) return kMsOverrun;
    }
  }
  img[kChecksum] = rec[length - 3];
  img[kChecksum + 1] = rec[length - 2];
  img[kEnd] = rec[length - 1];
  return kMsOk;
}

uint8_t transcodeMultiSignal36(const k01_record_t& in, k01_record_t& out, k01_ms_history_t& h,
                               bool verify) {
  return transcodeDelta(in, out, h, true, verify);
}

uint8_t transcodeMultiSignal37(const k01_record_t& in, k01_record_t& out, k01_ms_history_t& h,
                               bool verify) {
  return transcodeDelta(in, out, h, false, verify);
}

uint8_t transcodeKeyEpoch38(const k01_record_t& in, k01_record_t& out, k01_ms_history_t& h) {
  out.length = 0;
  const uint32_t length = declaredLength(in.bytes);
  if (!lengthFits(in, length) || length + 1 > kRecordCapacity) return kMsOverrun;
  const uint32_t rebuilt = length + 1;
  std::memcpy(out.bytes, in.bytes, length);
  out.bytes[2] = 27;
  out.bytes[1] = static_cast<uint8_t>(rebuilt & 0xFF);
  out.bytes[3] = static_cast<uint8_t>(rebuilt >> 8);
  out.bytes[rebuilt - 1] = 0x03;
  const uint16_t sum = rawrec::ByteSum(out.bytes, rebuilt - 3);
  out.bytes[rebuilt - 3] = static_cast<uint8_t>(sum >> 8);
  out.bytes[rebuilt - 2] = static_cast<uint8_t>(sum & 0xFF);
  out.length = static_cast<uint16_t>(rebuilt);

  uint8_t img[kMsImageSize] = {};
  const uint8_t status = parseRaw27Image(out.bytes, rebuilt, img);
  if (status != kMsOk) {
    out.length = 0;
    return status;
  }
  std::memcpy(h.previous, img, kMsImageSize);
  std::memcpy(h.prediction, img, kMsImageSize);
  return kMsOk;
}

uint8_t transcodePhaseDelta39(const k01_record_t& in, k01_record_t& out, k01_ms_history_t& h) {
  out.length = 0;
  const uint32_t length = declaredLength(in.bytes);
  if (!lengthFits(in, length)) return kMsOverrun;

  uint8_t img[kMsImageSize];
  const uint8_t* ref = h.prediction;
  const uint8_t* prev = h.previous;
  std::memcpy(img, ref, kMsImageSize);
  std::memcpy(img, in.bytes, 4);
  Stream st;
  setCursor(st.c, in.bytes, length, 4);

  const uint8_t H = st.byte();
  if (H & 0x80) {
    st.bytes(img + kWeek, 2);
    st.bytes(img + kTime, 4);
  } else {
    uint8_t step[4] = {0, 0, 0, 0};
    putBytes(step, 10u * st.byte(), 4);
    bytesAdd(img + kTime, step, 4);
  }
  st.field((H >> 5) & 3, 3, img + kClock, ref + kClock, 3);
  if (img[kFlags] & 0x02) st.field((H >> 3) & 3, 3, img + kField3, ref + kField3, 3);
  if (st.bad) return kMsOverrun;
  if (img[kSatCount] > kMsMaxSatellites) return kMsSatCount;

  for (uint32_t b = 0; b < img[kSatCount]; ++b) {
    uint8_t* blk = block(img, b);
    const uint32_t signals = blk[kBlkSignalCount];
    if (signals > kMsMaxSignals) return kMsBadField;
    const uint8_t system = blk[kBlkSystem];
    const double firstUnit = system == 1 ? sc::Ldexp(1.0, -6) : sc::Ldexp(1.0, -7);
    double prevFirst = 0.0;  // first signal's range of the previous epoch, m
    double newFirst = 0.0;   // first signal's range as this record carries it, m
    for (uint32_t s = 0; s < signals; ++s) {
      uint8_t* sig = signal(img, b, s);
      const uint8_t* rs = signal(ref, b, s);
      const uint8_t* ps = signal(prev, b, s);
      const uint8_t S = st.byte();
      st.field(S >> 5, 6, sig + kSigPhase, rs + kSigPhase, 6);
      if (st.bad) return kMsOverrun;

      const double lambda =
          carrierWavelength(system, sig[kSigBand], static_cast<int8_t>(blk[kBlkChannel]));
      const double cycles = sc::Ldexp(
          static_cast<double>(signedBytes(sig + kSigPhase, 6) - signedBytes(ps + kSigPhase, 6)),
          -15);
      if (s == 0) {
        prevFirst = unsignedBytes(ps + kSigRange, 4) * firstUnit;
        const double range = prevFirst - cycles * lambda;
        const uint32_t bits = scaledBits(range, system == 1 ? 6 : 7);
        putBytes(sig + kSigRange, bits, 4);
        newFirst = bits * firstUnit;
      } else {
        const bool prevExt = extendedRange(ps, s);
        const double prevDiff =
            sc::Ldexp(static_cast<double>(signedBytes(ps + kSigRange, prevExt ? 3 : 2)), -8);
        const double range = prevDiff + prevFirst - cycles * lambda;
        const uint32_t bits = scaledBits(range - newFirst, 8);
        std::memset(sig + kSigRange, 0, 4);
        putBytes(sig + kSigRange, bits, extendedRange(sig, s) ? 3 : 2);
      }
      if (sig[kSigFlags] & 0x04)
        st.field((S >> 3) & 3, 3, sig + kSigDoppler, rs + kSigDoppler, 3);
      if (st.bad) return kMsOverrun;
    }
  }

  if (!finishImage(st, img, out)) return kMsOverrun;
  advanceHistory(h, img);
  return kMsOk;
}

}  // namespace k01
