// Delta epochs of the compressed type-17 family: types 66/74 (linear
// predictor) and 68/76 (smoothed predictor, no Doppler, no end byte).
//
// A delta epoch carries an epoch header byte, the changes of time and clock
// value against the prediction image, an optional explicit satellite list,
// and per satellite a status byte, a measurement byte, the flags (by the
// record-wide flags mode) and, for dual-frequency satellites, a second-
// frequency byte, each followed by the bytes its modes ask for. The epoch is
// built into a scratch image; the history pair changes only when the rebuilt
// record's checksum matches (an explicit list reorders the pair first).
#include <cstring>

#include "k01lib/byte_arith.h"
#include "common/raw_record.h"
#include "k01lib/delta_fields.h"
#include "k01lib/transcode_meas17.h"

namespace k01 {

namespace {

constexpr uint32_t kMaxRaw17Length = 511;  // longest length a type-17/117 record can state

enum class Predictor { kLinear, kSmoothed };

// Moves the slot pairs of both images into the order of an explicit list:
// position i takes the pair at the index where both images hold satellite
// list[i], else a zeroed slot with only the satellite number. Positions
// beyond the list are zeroed.
void reorderImages(k01_meas17_history_t& h, const uint8_t* list, size_t count, size_t capacity) {
  static_assert(kImageSlotCount * kImageSlotSize == 8800);
  uint8_t prev[kImageSlotCount * kImageSlotSize];
  uint8_t pred[kImageSlotCount * kImageSlotSize];
  // Slots from slotsInUse on are zero: a zero slot is what a search that
  // finds nothing gives as well.
  const size_t searched = capacity < h.slotsInUse ? capacity : h.slotsInUse;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* np = prev + i * kImageSlotSize;
    uint8_t* nq = pred + i * kImageSlotSize;
    bool found = false;
    for (size_t k = 0; k < searched && !found; ++k) {
      const uint8_t* op = h.previous.slot(k);
      const uint8_t* oq = h.prediction.slot(k);
      if (op[img::kSv] == list[i] && oq[img::kSv] == list[i]) {
        std::memcpy(np, op, kImageSlotSize);
        std::memcpy(nq, oq, kImageSlotSize);
        found = true;
      }
    }
    if (!found) {
      std::memset(np, 0, kImageSlotSize);
      std::memset(nq, 0, kImageSlotSize);
      np[img::kSv] = list[i];
      nq[img::kSv] = list[i];
    }
  }
  std::memcpy(h.previous.slot(0), prev, count * kImageSlotSize);
  std::memcpy(h.prediction.slot(0), pred, count * kImageSlotSize);
  clearSlots(h.previous, count, h.slotsInUse);
  clearSlots(h.prediction, count, h.slotsInUse);
  h.slotsInUse = static_cast<uint8_t>(count);
}

// c := 3 * c in w-byte arithmetic.
void bytesTriple(uint8_t* c, size_t w) {
  uint8_t once[8];
  std::memcpy(once, c, w);
  bytesAdd(c, once, w);
  bytesAdd(c, once, w);
}

// Smoothed pseudorange: rate := (previous rate >> 2) + 3 * ((new - previous) >> 2);
// prediction := new + rate. The rate is kept in the new slot.
void smoothRange(const uint8_t* prevSlot, uint8_t* newSlot, uint8_t* predSlot) {
  constexpr size_t w = 4;
  uint8_t step[w];
  std::memcpy(step, newSlot + img::kRange, w);
  bytesSub(step, prevSlot + img::kRange, w);
  bytesShiftRight(step, 2, w);
  bytesTriple(step, w);
  uint8_t rate[w];
  std::memcpy(rate, prevSlot + img::kRangeRate, w);
  bytesShiftRight(rate, 2, w);
  bytesAdd(rate, step, w);
  std::memcpy(newSlot + img::kRangeRate, rate, w);
  std::memcpy(predSlot + img::kRange, newSlot + img::kRange, w);
  bytesAdd(predSlot + img::kRange, rate, w);
}

// Smoothed carrier phase (6 bytes at `phase`, acceleration at `accel`, phase
// of the epoch before at `before`): d1 := new - previous; acceleration :=
// (previous acceleration >> 2) + 3 * ((new - 2 * previous + before) >> 2);
// before := previous; prediction := new + d1 + acceleration.
void smoothPhase(const uint8_t* prevSlot, uint8_t* newSlot, uint8_t* predSlot, size_t phase,
                 size_t accel, size_t before) {
  constexpr size_t w = 6;
  uint8_t d1[w];
  std::memcpy(d1, newSlot + phase, w);
  bytesSub(d1, prevSlot + phase, w);
  uint8_t curve[w];
  std::memcpy(curve, d1, w);
  bytesSub(curve, prevSlot + phase, w);
  bytesAdd(curve, prevSlot + before, w);
  bytesShiftRight(curve, 2, w);
  bytesTriple(curve, w);
  uint8_t a[w];
  std::memcpy(a, prevSlot + accel, w);
  bytesShiftRight(a, 2, w);
  bytesAdd(a, curve, w);
  std::memcpy(newSlot + accel, a, w);
  std::memcpy(newSlot + before, prevSlot + phase, w);
  std::memcpy(predSlot + phase, newSlot + phase, w);
  bytesAdd(predSlot + phase, d1, w);
  bytesAdd(predSlot + phase, a, w);
}

void predictLinear(const uint8_t* prev, const uint8_t* built, uint8_t* pred, size_t offset,
                   size_t w) {
  bytesPredict(prev + offset, built + offset, pred + offset, w);
}

// Advances the history after a successful epoch of `count` satellites.
void updateHistory(Predictor kind, k01_meas17_history_t& h, k01_epoch_image_t& built,
                   size_t count) {
  k01_epoch_image_t& prev = h.previous;
  k01_epoch_image_t& pred = h.prediction;
  // The built image's slots from `count` on are empty.
  const size_t stale = h.slotsInUse;
  copyEpochImage(pred, built, count);
  clearSlots(pred, count, stale);
  predictLinear(prev.bytes, built.bytes, pred.bytes, img::kTime, 4);
  predictLinear(prev.bytes, built.bytes, pred.bytes, img::kClock, 3);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = prev.slot(i);
    uint8_t* b = built.slot(i);
    uint8_t* q = pred.slot(i);
    const bool dual = (b[img::kFlags] & 0x01) != 0;
    if (kind == Predictor::kLinear) {
      predictLinear(p, b, q, img::kRange, 4);
      predictLinear(p, b, q, img::kPhase, 6);
      predictLinear(p, b, q, img::kDoppler, 3);
      if (dual) predictLinear(p, b, q, img::kPhase2, 6);
    } else {
      smoothRange(p, b, q);
      smoothPhase(p, b, q, img::kPhase, img::kPhaseAccel, img::kPhaseBefore);
      if (dual) smoothPhase(p, b, q, img::kPhase2, img::kPhase2Accel, img::kPhase2Before);
    }
    if (dual) predictLinear(p, b, q, img::kValue2, 2);
  }
  copyEpochImage(prev, built, count);
  clearSlots(prev, count, stale);
  h.slotsInUse = static_cast<uint8_t>(count);
}

// Writes the raw type-17 record of a built image; returns its length.
uint32_t writeRaw17(const k01_epoch_image_t& built, size_t count, uint8_t* rec) {
  uint32_t n = 10;
  std::memcpy(rec + 3, built.bytes + img::kTime, 7);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* s = built.slot(i);
    rec[n++] = s[img::kSv];
    rec[n++] = s[img::kFlags];
    rec[n++] = s[img::kStatus];
    std::memcpy(rec + n, s + img::kExtra1, 17);  // slot bytes 4 to 20
    n += 17;
    if (s[img::kFlags] & 0x01) {
      std::memcpy(rec + n, s + img::kSnr2, 9);  // slot bytes 21 to 29
      n += 9;
    }
  }
  const uint32_t length = n + 3;
  rec[0] = 0x02;
  rec[1] = static_cast<uint8_t>(length & 0xFF);
  rec[2] = length > 255 ? 117 : 17;
  return length;
}

// Decodes one satellite of a delta epoch into slot `s` against the previous
// slot `p` and the prediction slot `q`.
uint8_t decodeSatellite(Predictor kind, k01_cursor_t& c, unsigned flagsMode, uint8_t* s,
                        const uint8_t* p, const uint8_t* q) {
  // Status byte F: the two extra bytes and the signal-to-noise ratio.
  if (c.left == 0) return kT17StatusByte;
  const uint8_t f = takeByte(c);
  if (!updateSmall(c, (f >> 6) & 1, (f & 0x80) != 0, s + img::kExtra1, p + img::kExtra1) ||
      !updateSmall(c, (f >> 4) & 1, (f & 0x20) != 0, s + img::kExtra2, p + img::kExtra2) ||
      !updateSmall(c, f & 7, (f & 0x08) != 0, s + img::kSnr, p + img::kSnr))
    return kT17StatusByte;

  // Measurement byte G: pseudorange, carrier phase and (linear only) Doppler.
  if (c.left == 0) return kT17FirstFreq;
  const uint8_t g = takeByte(c);
  s[img::kFlags] = (g & 0x80) ? 0x02 : 0x00;
  bool ok;
  if (kind == Predictor::kLinear) {
    ok = updateField(c, (g >> 5) & 3, 0, s + img::kRange, q + img::kRange, 4) &&
         updateField(c, (g >> 2) & 7, 7, s + img::kPhase, q + img::kPhase, 6) &&
         updateField(c, g & 3, 3, s + img::kDoppler, q + img::kDoppler, 3);
  } else {
    ok = updateField(c, (g >> 4) & 7, 4, s + img::kRange, q + img::kRange, 4) &&
         updateField(c, g & 15, 7, s + img::kPhase, q + img::kPhase, 6);
    std::memset(s + img::kDoppler, 0, 3);
  }
  if (!ok) return kT17FirstFreq;
  s[img::kFlags] |= 0xD0;
  s[img::kUnread] = 0;

  // Flags and status byte by the record-wide flags mode.
  switch (flagsMode) {
    case 2:
      s[img::kFlags] |= 0xD8;
      s[img::kStatus] = 0;
      break;
    case 1:
      s[img::kFlags] = p[img::kFlags];
      s[img::kStatus] = p[img::kStatus];
      s[img::kByte3] = p[img::kByte3];
      break;
    case 3: {
      if (c.left == 0) return kT17Flags;
      const uint8_t e = takeByte(c);
      if (e & 0x80)
        s[img::kFlags] |= 0xD8;
      else
        s[img::kFlags] = 0;
      s[img::kStatus] = 0;
      if (e & 0x40) {
        s[img::kFlags] |= 0x21;
        if (e & 0x20) s[img::kFlags] |= 0x04;
        s[img::kStatus] = 4;
      }
      break;
    }
    default: {
      uint8_t raw[2];
      if (!takeBytes(c, raw, 2)) return kT17Flags;
      s[img::kFlags] = raw[0];
      s[img::kStatus] = raw[1];
      break;
    }
  }

  // Second-frequency byte J.
  if (s[img::kFlags] & 0x01) {
    if (c.left == 0) return kT17SecondFreq;
    const uint8_t j = takeByte(c);
    if (!updateSmall(c, (j >> 4) & 7, (j & 0x80) != 0, s + img::kSnr2, p + img::kSnr2) ||
        !updateField(c, (j >> 1) & 7, 7, s + img::kPhase2, q + img::kPhase2, 6) ||
        !updateField(c, j & 1, 0, s + img::kValue2, q + img::kValue2, 2))
      return kT17SecondFreq;
  }
  return kT17Ok;
}

uint8_t transcodeDelta(Predictor kind, k01_meas17_history_t& h, const uint8_t* in,
                       uint32_t inLength, uint8_t* out, uint32_t outCapacity,
                       uint32_t& outLength, const k01_transcode17_options_t& options) {
  outLength = 0;
  if (in == nullptr || inLength == 0 || in[0] != 0x02) return kT17NoStx;
  if (inLength < 3) return kT17Length;
  const bool linear = kind == Predictor::kLinear;
  const uint8_t type = in[2];
  const uint8_t shortType = linear ? 66 : 68;
  const uint8_t longType = linear ? 74 : 76;
  const uint32_t length = in[1] + (type == longType ? 256u : 0u);
  // Checksum and (linear) end byte after the fields.
  const uint32_t trailer = linear ? 3 : 2;
  if (length > inLength || length < 3) return kT17Length;
  if (linear && options.verify && in[length - 1] != 0x03) return kT17NoEnd;
  if (type != shortType && type != longType) return kT17WrongType;
  const size_t capacity =
      options.maxSatellites < kImageSlotCount ? options.maxSatellites : kImageSlotCount;

  k01_cursor_t c;
  setCursor(c, in, length, 3);
  // Only the framing and the slots of the epoch's satellites are set up;
  // nothing reads the slots beyond them.
  k01_epoch_image_t built;
  resetEpochFraming(built);
  const k01_epoch_image_t& prev = h.previous;
  const k01_epoch_image_t& pred = h.prediction;

  // Epoch header: time and clock value against the prediction.
  const uint8_t hdr = takeByte(c);
  if (c.overrun ||
      !updateField(c, (hdr >> 5) & 3, 3, built.bytes + img::kTime, pred.bytes + img::kTime, 4) ||
      !updateField(c, (hdr >> 3) & 3, 3, built.bytes + img::kClock, pred.bytes + img::kClock, 3))
    return kT17EpochHeader;

  // Satellite list: explicit (reorders the pair) or the previous epoch's.
  uint8_t list[kImageSlotCount];
  size_t count = 0;
  if (hdr & 0x80) {
    if (c.left == 0) return kT17SatelliteList;
    count = takeByte(c);
    if (count > capacity || !takeBytes(c, list, count)) return kT17SatelliteList;
    reorderImages(h, list, count, capacity);
  } else {
    const size_t inUse = capacity < h.slotsInUse ? capacity : h.slotsInUse;
    for (size_t k = 0; k < inUse; ++k) {
      const uint8_t* s = prev.slot(k);
      if (s[img::kSv] != 0 && s[img::kSnr] != 0) list[count++] = s[img::kSv];
    }
  }

  clearSlots(built, 0, count);
  const unsigned flagsMode = options.flagsModeEnabled ? (hdr & 3u) : 0u;
  uint32_t dual = 0;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* s = built.slot(i);
    s[img::kSv] = list[i];
    const uint8_t st = decodeSatellite(kind, c, flagsMode, s, prev.slot(i), pred.slot(i));
    if (st != kT17Ok) return st;
    if (s[img::kFlags] & 0x01) ++dual;
  }

  const uint32_t consumed = length - c.left;
  if (consumed + trailer != length) return kT17Length;
  const uint16_t carriedIn = static_cast<uint16_t>((in[consumed] << 8) | in[consumed + 1]);

  // Rebuild the raw type-17 record.
  const uint32_t rawLength = 13 + 20 * static_cast<uint32_t>(count) + 9 * dual;
  if (rawLength > kMaxRaw17Length) return kT17SatelliteList;
  if (out == nullptr || rawLength > outCapacity) return kT17Length;
  uint8_t rec[kMaxRaw17Length + 1];
  const uint32_t written = writeRaw17(built, count, rec);
  if (written != rawLength) return kT17Length;
  const uint16_t computed = rawrec::ByteSum(rec, rawLength - 3);
  const uint16_t carried = options.verify ? carriedIn : computed;
  rec[rawLength - 3] = static_cast<uint8_t>(carried >> 8);
  rec[rawLength - 2] = static_cast<uint8_t>(carried);
  rec[rawLength - 1] = 0x03;
  if (computed != carried) return kT17Checksum;

  built.bytes[img::kLength] = rec[1];
  built.bytes[img::kType] = rec[2];
  built.bytes[img::kChecksum] = rec[rawLength - 3];
  built.bytes[img::kChecksum + 1] = rec[rawLength - 2];
  built.bytes[img::kCount] = static_cast<uint8_t>(count);
  updateHistory(kind, h, built, count);

  std::memcpy(out, rec, rawLength);
  outLength = rawLength;
  return kT17Ok;
}

}  // namespace

uint8_t transcodeDelta17(k01_meas17_history_t& history, const uint8_t* in, uint32_t inLength,
                         uint8_t* out, uint32_t outCapacity, uint32_t& outLength,
                         const k01_transcode17_options_t& options) {
  return transcodeDelta(Predictor::kLinear, history, in, inLength, out, outCapacity, outLength,
                        options);
}

uint8_t transcodeSmoothed17(k01_meas17_history_t& history, const uint8_t* in, uint32_t inLength,
                            uint8_t* out, uint32_t outCapacity, uint32_t& outLength,
                            const k01_transcode17_options_t& options) {
  return transcodeDelta(Predictor::kSmoothed, history, in, inLength, out, outCapacity, outLength,
                        options);
}

}  // namespace k01
