// Transcoders of the compressed position records: 54 (delta epoch) and 55
// (key epoch) rebuild raw type-11 records, 56 (sectioned delta epoch) and
// 57 (key epoch) rebuild raw type-29 records.
#include <cstring>

#include "common/raw_record.h"
#include "k01lib/aux_state.h"
#include "k01lib/byte_arith.h"
#include "k01lib/delta_fields.h"
#include "k01lib/multisignal_state.h"
#include "k01lib/record_writer.h"

namespace k01 {

namespace {

// Position field update of a w-byte field held in `field` (updated in
// place): modes 0 and 4 keep it, 1 to 3 add the next m bytes, 5 to 7
// subtract the next m - 4 bytes, a raw mode takes w bytes. With
// rawOnBit3 every mode from 8 up is raw; otherwise only 8 is and a higher
// mode is status 6.
uint8_t positionUpdate(k01_cursor_t& c, unsigned m, uint8_t* field, size_t w, bool rawOnBit3) {
  if (rawOnBit3 ? (m & 8) != 0 : m == 8) return takeBytes(c, field, w) ? kAuxOk : kAuxOverrun;
  if (m > 8) return kAuxBadMode;
  if (m == 0 || m == 4) return kAuxOk;
  const size_t n = m < 4 ? m : m - 4;
  uint8_t taken[3];
  if (!takeBytes(c, taken, n)) return kAuxOverrun;
  uint8_t delta[8] = {};
  const size_t k = n < w ? n : w;
  std::memcpy(delta + (w - k), taken + (n - k), k);
  if (m < 4)
    bytesAdd(field, delta, w);
  else
    bytesSub(field, delta, w);
  return kAuxOk;
}

// ---- positions (54/55) ----------------------------------------------------

struct PosField {
  uint8_t offset;
  uint8_t width;
};
constexpr PosField kPosFields[10] = {{3, 4},  {7, 4},  {11, 4}, {15, 4}, {19, 4},
                                     {23, 2}, {25, 4}, {29, 4}, {33, 4}, {37, 4}};

// The smallest raw type-11 record: fields to the count, checksum, end byte.
constexpr uint32_t kPosMinLength = 46;

void parsePositionImage(const uint8_t* rec, uint32_t length, uint8_t* img) {
  using namespace posimg;
  std::memset(img, 0, kPosImageSize);
  std::memcpy(img, rec, kList1);
  const uint32_t n = rec[kCount];
  std::memcpy(img + kList1, rec + kList1, n);
  std::memcpy(img + kList2, rec + kList1 + n, n);
  if (length > kPosMinLength + 2 * n) {
    img[kCorrection] = rec[kList1 + 2 * n];
    img[kCorrection + 1] = rec[kList1 + 2 * n + 1];
  }
  img[kChecksum] = rec[length - 3];
  img[kChecksum + 1] = rec[length - 2];
  img[kEnd] = rec[length - 1];
}

// Checks of a rebuilt type-11 record and the history update. `predict`
// advances the history linearly (54); otherwise both images become the
// record (55).
uint8_t finishPosition(k01_record_t& out, k01_pos_history_t& h, bool verify, bool predict) {
  uint8_t* o = out.bytes;
  const uint32_t length = out.length;
  if (length < kPosMinLength) return kAuxOverrun;
  // A record too short for its own lists cannot be taken apart.
  const uint32_t n = o[posimg::kCount];
  if (n <= kAuxMaxCount && length < kPosMinLength + 2 * n) return kAuxOverrun;
  const uint16_t computed = rawrec::ByteSum(o, length - 3);
  uint16_t carried = static_cast<uint16_t>(o[length - 3] << 8 | o[length - 2]);
  if (!verify) {
    o[length - 3] = static_cast<uint8_t>(computed >> 8);
    o[length - 2] = static_cast<uint8_t>(computed & 0xFF);
    carried = computed;
  }
  uint8_t status = computed != carried ? kAuxChecksum : kAuxOk;
  if (o[0] != 0x02) status = kAuxNoStart;
  if (o[length - 1] != 0x03) status = kAuxNoEnd;
  if (o[2] != 11) status = kAuxBadType;
  if (o[posimg::kCount] > kAuxMaxCount) status = kAuxBadIndex;
  if (status != kAuxOk) return status;

  uint8_t img[kPosImageSize];
  parsePositionImage(o, length, img);
  if (predict) {
    uint8_t pred[kPosImageSize];
    std::memcpy(pred, img, kPosImageSize);
    for (const PosField& f : kPosFields)
      bytesPredict(h.previous + f.offset, img + f.offset, pred + f.offset, f.width);
    std::memcpy(h.prediction, pred, kPosImageSize);
  } else {
    std::memcpy(h.prediction, img, kPosImageSize);
  }
  std::memcpy(h.previous, img, kPosImageSize);
  return kAuxOk;
}

// ---- precise positions (56/57) ----------------------------------------------

// One section of a type-56 record: its length byte and a cursor over the
// bytes after it.
struct Section {
  uint8_t length = 0;
  k01_cursor_t c;
};

// Opens the next section at the record cursor and moves the record cursor
// past it; false when the section does not fit the record.
bool openSection(k01_cursor_t& rec, Section& s) {
  if (rec.left == 0 || rec.pos == nullptr) return false;
  const uint8_t* start = rec.pos;
  s.length = takeByte(rec);
  if (s.length == 0 || s.length - 1u > rec.left) return false;
  setCursor(s.c, start, s.length, 1);
  return takeBytes(rec, nullptr, s.length - 1u);
}

uint8_t take(Section& s) { return takeByte(s.c); }

bool thirdPresent(const uint8_t* img) {
  return img[precimg::kMode] >= 3 && img[precimg::kMode] <= 6;
}

uint8_t fourthLength(const uint8_t* img) {
  const uint8_t l = img[precimg::kFourth];
  return l < 9 ? 9 : (l > 12 ? 12 : l);
}

// One signed 3-bit step (-4 means a raw byte follows).
void countStep(Section& s, unsigned bits, uint8_t* dst, uint8_t ref) {
  const int step = bits >= 4 ? static_cast<int>(bits) - 8 : static_cast<int>(bits);
  *dst = step == -4 ? take(s) : static_cast<uint8_t>(ref + step);
}

void advancePrecise(k01_prec_history_t& h, const uint8_t* img) {
  uint8_t pred[kPrecImageSize];
  std::memcpy(pred, img, kPrecImageSize);
  forEachPredictedPreciseField(img, [&](size_t off, size_t w) {
    bytesPredict(h.previous + off, img + off, pred + off, w);
  });
  std::memcpy(h.prediction, pred, kPrecImageSize);
  std::memcpy(h.previous, img, kPrecImageSize);
}

}  // namespace

uint8_t transcodePosition54(const k01_record_t& in, k01_record_t& out, k01_pos_history_t& h,
                            bool verify) {
  using namespace posimg;
  out.length = 0;
  const uint32_t length = in.bytes[1];
  if (length < 3 || length > in.length) return kAuxOverrun;
  k01_cursor_t c;
  setCursor(c, in.bytes, length, 3);
  // The reference fields are updated in a copy, so a failed record leaves
  // the prediction as it was.
  uint8_t ref[kPosImageSize];
  std::memcpy(ref, h.prediction, kPosImageSize);
  uint8_t* o = out.bytes;
  std::memset(o, 0, 256);
  o[0] = 0x02;
  o[2] = 11;
  for (int pair = 0; pair < 5; ++pair) {
    if (c.left == 0) return kAuxOverrun;
    const uint8_t modes = takeByte(c);
    for (int half = 0; half < 2; ++half) {
      const PosField& f = kPosFields[2 * pair + half];
      const unsigned mode = half == 0 ? modes >> 4 : modes & 15;
      const uint8_t st = positionUpdate(c, mode, ref + f.offset, f.width, false);
      if (st != kAuxOk) return st;
      std::memcpy(o + f.offset, ref + f.offset, f.width);
    }
  }
  if (c.left == 0) return kAuxOverrun;
  const uint8_t L = takeByte(c);
  o[kByte41] = (L & 0x80) ? takeByte(c) : h.previous[kByte41];
  const uint32_t n = (L & 0x40) ? takeByte(c) : h.previous[kCount];
  if (c.overrun) return kAuxOverrun;
  if (n > kAuxMaxCount) return kAuxBadIndex;
  uint8_t list2[kAuxMaxCount];
  std::memcpy(list2, h.previous + kList2, kAuxMaxCount);
  for (uint32_t k = 0; k < ((L >> 1) & 31u); ++k) {
    const uint8_t index = takeByte(c);
    const uint8_t value = takeByte(c);
    if (c.overrun) return kAuxOverrun;
    if (index >= kAuxMaxCount) return kAuxBadIndex;
    list2[index] = value;
  }
  o[kCount] = static_cast<uint8_t>(n);
  for (uint32_t i = 0; i < n; ++i) {
    o[kList1 + i] = static_cast<uint8_t>(i);
    o[kList1 + n + i] = list2[i];
  }
  uint32_t pos = kList1 + 2 * n;
  if (L & 0x01) {
    o[pos++] = takeByte(c);
    o[pos++] = takeByte(c);
  }
  const uint32_t total = pos + 3;
  o[1] = static_cast<uint8_t>(total);
  o[pos++] = takeByte(c);
  o[pos++] = takeByte(c);
  o[pos] = 0x03;
  if (c.overrun) return kAuxOverrun;
  out.length = static_cast<uint16_t>(total);
  return finishPosition(out, h, verify, true);
}

uint8_t transcodePosition55(const k01_record_t& in, k01_record_t& out, k01_pos_history_t& h,
                            bool verify) {
  out.length = 0;
  const uint32_t length = in.bytes[1];
  // The rebuilt record's length must still fit its length byte.
  if (length < 3 || length > in.length || length + 1 > 255) return kAuxOverrun;
  std::memcpy(out.bytes, in.bytes, length);
  out.bytes[2] = 11;
  out.bytes[1] = static_cast<uint8_t>(length + 1);
  out.bytes[length] = 0x03;
  out.length = static_cast<uint16_t>(length + 1);
  return finishPosition(out, h, verify, false);
}

bool writeRaw29Image(const uint8_t* img, k01_record_t& out) {
  using namespace precimg;
  out.length = 0;
  bool ok = appendBytes(out, img, 4) && appendBytes(out, img + kFirst, 15) &&
            appendBytes(out, img + kSecond, 53);
  if (thirdPresent(img)) ok = ok && appendBytes(out, img + kThird, 5);
  if (img[kSectionFlags] & 0x02) {
    const uint8_t l = fourthLength(img);
    ok = ok && appendByte(out, l) && appendBytes(out, img + kFourth + 1, l - 1u);
  }
  if (img[kSectionFlags] & 0x10) ok = ok && appendExtensionBlock(out, img + kExt);
  const uint32_t count = img[kSatCount];
  if (count > kAuxMaxCount) return false;
  ok = ok && appendByte(out, static_cast<uint8_t>(3 * count + 1)) &&
       appendBytes(out, img + kSats + 1, 3 * count) && appendBytes(out, img + kChecksum, 2) &&
       appendByte(out, 0x03);
  if (!ok) return false;
  out.bytes[1] = static_cast<uint8_t>(out.length & 0xFF);
  out.bytes[3] = static_cast<uint8_t>(out.length >> 8);
  return true;
}

uint8_t parseRaw29Image(const uint8_t* rec, uint32_t length, uint8_t* img) {
  using namespace precimg;
  if (length < 7) return kAuxOverrun;
  std::memcpy(img, rec, 4);
  k01_cursor_t c;
  setCursor(c, rec, length - 3, 4);
  Section s;
  auto copySection = [&](size_t to, uint32_t most) {
    const uint32_t n = s.length - 1u < most ? s.length - 1u : most;
    takeBytes(s.c, img + to, n);
  };
  if (!openSection(c, s)) return kAuxOverrun;
  copySection(kFirst + 1, 14);
  img[kFirst] = 15;
  if (!openSection(c, s)) return kAuxOverrun;
  copySection(kSecond + 1, 52);
  img[kSecond] = 53;
  if (thirdPresent(img)) {
    if (!openSection(c, s)) return kAuxOverrun;
    copySection(kThird + 1, 4);
    img[kThird] = 5;
  }
  if (img[kSectionFlags] & 0x02) {
    if (!openSection(c, s)) return kAuxOverrun;
    copySection(kFourth + 1, 11);
    img[kFourth] = s.length;
    img[kFourth] = fourthLength(img);
  }
  if (img[kSectionFlags] & 0x10) {
    if (!openSection(c, s) || !parseExtensionBlock(s.c, img + kExt)) return kAuxOverrun;
  }
  const uint32_t count = img[kSatCount];
  if (count > kAuxMaxCount) return kAuxBadIndex;
  // The entries follow their length byte; for more than 84 satellites that
  // byte (3 x count + 1) no longer fits, so the count says how many there are.
  if (c.left == 0) return kAuxOverrun;
  takeByte(c);
  if (!takeBytes(c, img + kSats + 1, 3 * count)) return kAuxOverrun;
  img[kSats] = static_cast<uint8_t>(3 * count + 1);
  img[kChecksum] = rec[length - 3];
  img[kChecksum + 1] = rec[length - 2];
  img[kEnd] = rec[length - 1];
  return kAuxOk;
}

uint8_t transcodePrecisePosition56(const k01_record_t& in, k01_record_t& out,
                                   k01_prec_history_t& h) {
  using namespace precimg;
  out.length = 0;
  const uint32_t length = in.bytes[1] + 256u * in.bytes[3];
  if (length < 4 || length > in.length) return kAuxOverrun;
  const uint8_t* ref = h.prediction;
  uint8_t img[kPrecImageSize] = {};
  img[kEnd] = 0x03;
  std::memcpy(img, in.bytes, 4);
  k01_cursor_t c;
  setCursor(c, in.bytes, length, 4);
  Section s;

  // First section.
  if (!openSection(c, s)) return kAuxOverrun;
  const uint8_t G = take(s);
  if (G & 0x80) {
    takeBytes(s.c, img + 5, 2);
    takeBytes(s.c, img + 7, 4);
  } else {
    std::memcpy(img + 5, ref + 5, 6);
  }
  countStep(s, (G >> 4) & 7, img + kSatCount, ref[kSatCount]);
  countStep(s, (G >> 1) & 7, img + kSecondCount, ref[kSecondCount]);
  static constexpr uint8_t kRawBytes[6] = {11, 14, 15, 16, 17, 18};
  for (uint8_t off : kRawBytes) img[off] = (G & 0x01) ? take(s) : ref[off];
  if (s.c.overrun) return kAuxOverrun;
  img[kFirst] = 15;
  if (img[kSatCount] > kAuxMaxCount) return kAuxBadIndex;

  // Second section: a mode byte per two fields.
  if (!openSection(c, s)) return kAuxOverrun;
  for (int pair = 0; pair < 8; ++pair) {
    const uint8_t modes = take(s);
    if (s.c.overrun) return kAuxOverrun;
    for (int half = 0; half < 2; ++half) {
      const k01_prec_field_t& f = precimg::kSecondFields[2 * pair + half];
      std::memcpy(img + f.offset, ref + f.offset, f.width);
      const uint8_t st =
          positionUpdate(s.c, half == 0 ? modes >> 4 : modes & 15, img + f.offset, f.width, true);
      if (st != kAuxOk) return st;
    }
  }
  img[kSecond] = 53;

  if (thirdPresent(img)) {
    if (!openSection(c, s)) return kAuxOverrun;
    const uint8_t K = take(s);
    img[73] = (K & 0x80) ? take(s) : ref[73];
    if (K & 0x40)
      takeBytes(s.c, img + 74, 2);
    else
      std::memcpy(img + 74, ref + 74, 2);
    img[76] = (K & 0x20) ? take(s) : ref[76];
    if (s.c.overrun) return kAuxOverrun;
    img[kThird] = 5;
  }

  if (img[kSectionFlags] & 0x02) {
    if (!openSection(c, s)) return kAuxOverrun;
    const uint8_t modes = take(s);
    if (s.c.overrun) return kAuxOverrun;
    std::memcpy(img + 95, ref + 95, 8);
    uint8_t st = positionUpdate(s.c, modes >> 4, img + 95, 4, true);
    if (st == kAuxOk) st = positionUpdate(s.c, modes & 15, img + 99, 4, true);
    if (st != kAuxOk) return st;
    uint8_t sectionLength = 9;
    img[103] = ref[103];
    if (s.c.left > 0) {
      img[103] = take(s);
      sectionLength = 10;
      if (img[103] & 0x01) {
        // The two further bytes travel with the section when it has room.
        if (s.c.left >= 2)
          takeBytes(s.c, img + 104, 2);
        else
          std::memcpy(img + 104, ref + 104, 2);
        sectionLength = 12;
      }
    }
    img[kFourth] = sectionLength;
  }

  if (img[kSectionFlags] & 0x10) {
    if (!openSection(c, s)) return kAuxOverrun;
    if (!decodeExtensionDelta(s.c, img + kExt, ref + kExt) || s.c.left != 0) return kAuxOverrun;
  }

  // Satellite section: entries carried from the previous epoch, replaced by index.
  if (!openSection(c, s)) return kAuxOverrun;
  const uint32_t count = img[kSatCount];
  if (s.length > 4 * count + 1) return kAuxBadIndex;
  std::memcpy(img + kSats + 1, h.previous + kSats + 1, 3 * count);
  while (s.c.left > 0) {
    uint8_t entry[4];
    if (!takeBytes(s.c, entry, 4)) return kAuxOverrun;
    if (entry[0] >= kAuxMaxCount) return kAuxBadIndex;
    std::memcpy(img + kSats + 1 + 3 * entry[0], entry + 1, 3);
  }
  img[kSats] = static_cast<uint8_t>(3 * count + 1);

  if (!takeBytes(c, img + kChecksum, 2)) return kAuxOverrun;
  img[2] = 29;
  if (!writeRaw29Image(img, out)) {
    out.length = 0;
    return kAuxOverrun;
  }
  advancePrecise(h, img);
  return kAuxOk;
}

uint8_t transcodePrecisePosition57(const k01_record_t& in, k01_record_t& out,
                                   k01_prec_history_t& h) {
  out.length = 0;
  const uint32_t length = in.bytes[1] + 256u * in.bytes[3];
  if (length < 4 || length > in.length || length + 1 > kRecordCapacity) return kAuxOverrun;
  const uint32_t rebuilt = length + 1;
  std::memcpy(out.bytes, in.bytes, length);
  out.bytes[2] = 29;
  out.bytes[1] = static_cast<uint8_t>(rebuilt & 0xFF);
  out.bytes[3] = static_cast<uint8_t>(rebuilt >> 8);
  out.bytes[length] = 0x03;
  out.length = static_cast<uint16_t>(rebuilt);
  uint8_t img[kPrecImageSize] = {};
  const uint8_t status = parseRaw29Image(out.bytes, rebuilt, img);
  if (status != kAuxOk) {
    out.length = 0;
    return status;
  }
  std::memcpy(h.previous, img, kPrecImageSize);
  std::memcpy(h.prediction, img, kPrecImageSize);
  return kAuxOk;
}

}  // namespace k01
