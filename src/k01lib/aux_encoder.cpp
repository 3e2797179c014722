// Encoder of the compressed position and auxiliary records.
#include "k01lib/aux_encoder.h"

#include <cstring>

#include "common/byte_order.h"
#include "common/raw_record.h"
#include "k01lib/multisignal_encoder.h"

namespace k01 {

namespace {

constexpr uint8_t kPosOffset[10] = {3, 7, 11, 15, 19, 23, 25, 29, 33, 37};
unsigned posWidth(int i) { return i == 5 ? 2 : 4; }

uint32_t widthMask(unsigned w) { return w >= 4 ? 0xFFFFFFFFu : (1u << (8 * w)) - 1; }
uint32_t get(const uint8_t* p, unsigned w) {
  uint32_t v = 0;
  for (unsigned i = 0; i < w; ++i) v = (v << 8) | p[i];
  return v;
}
void finish(std::vector<uint8_t>& b) {
  bo::AppendBeN(b, rawrec::ByteSum(b.data(), b.size()), 2);
  b.push_back(0x03);
}
// Start byte, type, length byte(s), end byte and checksum of a raw record.
bool wellFormed(const uint8_t* rec, size_t size, uint8_t type, bool highByte) {
  if (rec == nullptr || size < 6 || size > kRecordCapacity || rec[0] != 0x02 || rec[2] != type ||
      rec[size - 1] != 0x03)
    return false;
  const size_t length = rec[1] + (highByte ? 256u * rec[3] : 0u);
  return length == size && rawrec::ByteSum(rec, size - 3) == get(rec + size - 3, 2);
}

int bytesOf(uint64_t v) {
  int n = 0;
  for (; v != 0; v >>= 8) ++n;
  return n;
}

// Position field update of a w-byte value against ref: 0 unchanged, 1 to 3
// bytes added, 5 to 7 (bytes + 4) subtracted, else raw under rawMode.
unsigned posMode(std::vector<uint8_t>& pay, uint64_t value, uint64_t ref, unsigned w, unsigned rawMode) {
  const uint64_t m = w >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * w)) - 1;
  const uint64_t up = (value - ref) & m;
  const uint64_t down = (ref - value) & m;
  if (up == 0) return 0;
  const int nu = bytesOf(up), nd = bytesOf(down);
  if (nu <= 3 && nu <= nd) {
    bo::AppendBeN(pay, up, static_cast<unsigned>(nu));
    return static_cast<unsigned>(nu);
  }
  if (nd <= 3) {
    bo::AppendBeN(pay, down, static_cast<unsigned>(nd));
    return static_cast<unsigned>(nd + 4);
  }
  bo::AppendBeN(pay, value, w);
  return rawMode;
}


void extrapolatePrecise(std::vector<uint8_t>& prev, std::vector<uint8_t>& pred,
                        const std::vector<uint8_t>& img) {
  pred = img;
  // The encoder's own 64-bit arithmetic cross-checks the library's.
  forEachPredictedPreciseField(img.data(), [&](size_t off, unsigned w) {
    bo::PutBeN(&pred[off], 2 * bo::GetBeN(&img[off], w) - bo::GetBeN(&prev[off], w), w);
  });
  prev = img;
}

}  // namespace

std::vector<uint8_t> buildRaw11Record(const k01_pos_fields_t& p) {
  std::vector<uint8_t> b = {0x02, 0, 11};
  for (int i = 0; i < 10; ++i) bo::AppendBeN(b, p.field[i], posWidth(i));
  b.push_back(p.byte41);
  b.push_back(static_cast<uint8_t>(p.list2.size()));
  for (size_t i = 0; i < p.list2.size(); ++i) b.push_back(static_cast<uint8_t>(i));
  b.insert(b.end(), p.list2.begin(), p.list2.end());
  if (p.corrections) b.insert(b.end(), p.correction, p.correction + 2);
  b[1] = static_cast<uint8_t>(b.size() + 3);
  finish(b);
  return b;
}

std::vector<uint8_t> buildRaw29Record(const k01_prec29_fields_t& p) {
  std::vector<uint8_t> b = {0x02, 0, 29, 0, 15};
  k01_prec29_fields_t q = p;
  q.first[7] = static_cast<uint8_t>(p.sats.size());
  b.insert(b.end(), q.first, q.first + 14);
  b.push_back(53);
  b.insert(b.end(), q.second, q.second + 52);
  if (q.first[12] >= 3 && q.first[12] <= 6) {
    b.push_back(5);
    b.insert(b.end(), q.third, q.third + 4);
  }
  if (q.first[10] & 0x02) {
    b.push_back(q.fourthLength);
    b.insert(b.end(), q.fourth, q.fourth + q.fourthLength - 1);
  }
  b.push_back(static_cast<uint8_t>(3 * p.sats.size() + 1));
  for (const auto& s : p.sats) b.insert(b.end(), s.begin(), s.end());
  const size_t length = b.size() + 3;
  b[1] = static_cast<uint8_t>(length & 0xFF);
  b[3] = static_cast<uint8_t>(length >> 8);
  finish(b);
  return b;
}

std::vector<uint8_t> buildRaw25Record(uint8_t byte3, uint32_t time, uint16_t week, uint8_t byte10,
                                      const std::array<uint8_t, 28>& page) {
  std::vector<uint8_t> b = {0x02, 42, 25, byte3};
  bo::AppendBeN(b, time, 4);
  bo::AppendBeN(b, week, 2);
  b.push_back(byte10);
  b.insert(b.end(), page.begin(), page.end());
  finish(b);
  return b;
}

std::vector<uint8_t> buildRaw40Record(uint8_t byte3, uint16_t word, uint32_t value,
                                      const std::vector<std::pair<uint8_t, uint16_t>>& entries) {
  std::vector<uint8_t> b = {0x02, 0, 40, byte3};
  bo::AppendBeN(b, word, 2);
  bo::AppendBeN(b, value, 4);
  for (const auto& e : entries) {
    b.push_back(e.first);
    bo::AppendBeN(b, e.second, 2);
  }
  b[1] = static_cast<uint8_t>(b.size() + 3);
  finish(b);
  return b;
}

k01_aux_encoder_t::k01_aux_encoder_t(const k01_aux_encoder_options_t& options)
    : options_(options),
      precPrev_(kPrecImageSize, 0),
      precPred_(kPrecImageSize, 0),
      pageStore_(sizeof(k01_page_store_t), 0) {}

uint8_t k01_aux_encoder_t::encodeRaw(const uint8_t* rec, size_t size, std::vector<uint8_t>& out) {
  out.clear();
  if (rec == nullptr || size < 6) return kEncAuxNotRaw;
  switch (rec[2]) {
    case 11: return encodePosition(rec, size, out);
    case 25: return encodePage(rec, size, out);
    case 29: return encodePrecise(rec, size, out);
    case 40: return encodeCoded(rec, size, out);
    default: return kEncAuxNotRaw;
  }
}

// ---- positions ----------------------------------------------------------------

uint8_t k01_aux_encoder_t::encodePosition(const uint8_t* rec, size_t size, std::vector<uint8_t>& out) {
  if (!wellFormed(rec, size, 11, false) || size < 46) return kEncAuxNotRaw;
  const uint32_t n = rec[42];
  // The lists must lie inside the record.
  if (n > kAuxMaxCount || size < 46 + 2 * n) return kEncAuxNotRaw;
  uint32_t fields[10];
  for (int i = 0; i < 10; ++i) fields[i] = get(rec + kPosOffset[i], posWidth(i));
  const uint8_t* list1 = rec + 43;
  const uint8_t* list2 = rec + 43 + n;

  // A delta epoch rebuilds list 1 as 0 .. n-1 and at most two correction bytes.
  bool deltable = havePos_ && (size == 46 + 2 * n || size == 48 + 2 * n) &&
                  !(options_.keyInterval > 0 && posSinceKey_ >= options_.keyInterval);
  for (uint32_t i = 0; i < n && deltable; ++i) deltable = list1[i] == i;
  std::vector<uint8_t> d;
  if (deltable) {
    d = {0x02, 0, 54};
    for (int pair = 0; pair < 5; ++pair) {
      std::vector<uint8_t> pay;
      const unsigned hi = posMode(pay, fields[2 * pair], posPred_[2 * pair], posWidth(2 * pair), 8);
      const unsigned lo = posMode(pay, fields[2 * pair + 1], posPred_[2 * pair + 1], posWidth(2 * pair + 1), 8);
      d.push_back(static_cast<uint8_t>(hi << 4 | lo));
      d.insert(d.end(), pay.begin(), pay.end());
    }
    std::vector<uint8_t> changes;
    for (uint32_t i = 0; i < n; ++i)
      if (list2[i] != posList2_[i]) changes.insert(changes.end(), {static_cast<uint8_t>(i), list2[i]});
    const bool b41 = rec[41] != posByte41_;
    const bool count = n != posCount_;
    const bool corr = size == 48 + 2 * n;
    if (changes.size() / 2 > 31) {
      deltable = false;
    } else {
      d.push_back(static_cast<uint8_t>((b41 ? 0x80 : 0) | (count ? 0x40 : 0) | (changes.size() / 2) << 1 |
                                       (corr ? 1 : 0)));
      if (b41) d.push_back(rec[41]);
      if (count) d.push_back(static_cast<uint8_t>(n));
      d.insert(d.end(), changes.begin(), changes.end());
      if (corr) d.insert(d.end(), rec + 43 + 2 * n, rec + 45 + 2 * n);
      d.insert(d.end(), rec + size - 3, rec + size - 1);
      d[1] = static_cast<uint8_t>(d.size());
      deltable = d.size() < size - 1;
    }
  }
  if (deltable) {
    out = std::move(d);
    lastType_ = 54;
    ++posSinceKey_;
    for (int i = 0; i < 10; ++i)
      posPred_[i] = (2 * fields[i] - posPrev_[i]) & widthMask(posWidth(i));
  } else {
    out.assign(rec, rec + size - 1);
    out[1] = static_cast<uint8_t>(size - 1);
    out[2] = 55;
    lastType_ = 55;
    posSinceKey_ = 1;
    for (int i = 0; i < 10; ++i) posPred_[i] = fields[i];
  }
  for (int i = 0; i < 10; ++i) posPrev_[i] = fields[i];
  posByte41_ = rec[41];
  posCount_ = static_cast<uint8_t>(n);
  std::memset(posList2_, 0, sizeof posList2_);
  std::memcpy(posList2_, list2, n);
  havePos_ = true;
  return kEncAuxOk;
}

// ---- precise positions ----------------------------------------------------------

uint8_t k01_aux_encoder_t::encodePrecise(const uint8_t* rec, size_t size, std::vector<uint8_t>& out) {
  using namespace precimg;
  if (!wellFormed(rec, size, 29, true)) return kEncAuxNotRaw;
  std::vector<uint8_t> T(kPrecImageSize, 0);
  if (parseRaw29Image(rec, static_cast<uint32_t>(size), T.data()) != kAuxOk) return kEncAuxNotRaw;
  const bool due = options_.keyInterval > 0 && precSinceKey_ >= options_.keyInterval;
  std::vector<uint8_t> d;
  std::vector<uint8_t> S;
  if (havePrec_ && !due) {
    const std::vector<uint8_t>& P = precPred_;
    S.assign(kPrecImageSize, 0);
    std::memcpy(S.data(), rec, 4);
    S[kEnd] = 0x03;
    d = {0x02, 0, 56, 0};
    auto section = [&](const std::vector<uint8_t>& body) {
      d.push_back(static_cast<uint8_t>(body.size() + 1));
      d.insert(d.end(), body.begin(), body.end());
    };
    bool ok = true;
    // First section.
    std::vector<uint8_t> s1(1, 0);
    uint8_t G = 0;
    if (std::memcmp(&T[5], &P[5], 6) != 0) {
      G |= 0x80;
      s1.insert(s1.end(), &T[5], &T[11]);
    }
    auto countStep = [&](uint8_t value, uint8_t ref, unsigned shift) {
      const int step = static_cast<int8_t>(static_cast<uint8_t>(value - ref));
      if (step >= -3 && step <= 3) {
        G |= static_cast<uint8_t>((step & 7) << shift);
      } else {
        G |= static_cast<uint8_t>(4 << shift);
        s1.push_back(value);
      }
    };
    countStep(T[kSatCount], P[kSatCount], 4);
    countStep(T[kSecondCount], P[kSecondCount], 1);
    static constexpr uint8_t kRawBytes[6] = {11, 14, 15, 16, 17, 18};
    bool rawBytes = false;
    for (uint8_t off : kRawBytes) rawBytes = rawBytes || T[off] != P[off];
    if (rawBytes) {
      G |= 0x01;
      for (uint8_t off : kRawBytes) s1.push_back(T[off]);
    }
    s1[0] = G;
    section(s1);
    std::memcpy(&S[kFirst], &T[kFirst], 15);

    // Second section: a mode byte per two fields; every mode with bit 3 is raw.
    std::vector<uint8_t> s2;
    for (int pair = 0; pair < 8; ++pair) {
      std::vector<uint8_t> pay;
      const k01_prec_field_t& a = precimg::kSecondFields[2 * pair];
      const k01_prec_field_t& b = precimg::kSecondFields[2 * pair + 1];
      const unsigned ma = posMode(pay, bo::GetBeN(&T[a.offset], a.width), bo::GetBeN(&P[a.offset], a.width), a.width, 8);
      const unsigned mb = posMode(pay, bo::GetBeN(&T[b.offset], b.width), bo::GetBeN(&P[b.offset], b.width), b.width, 8);
      s2.push_back(static_cast<uint8_t>(ma << 4 | mb));
      s2.insert(s2.end(), pay.begin(), pay.end());
    }
    section(s2);
    std::memcpy(&S[kSecond], &T[kSecond], 53);

    if (T[kMode] >= 3 && T[kMode] <= 6) {
      std::vector<uint8_t> s3(1, 0);
      if (T[73] != P[73]) {
        s3[0] |= 0x80;
        s3.push_back(T[73]);
      }
      if (T[74] != P[74] || T[75] != P[75]) {
        s3[0] |= 0x40;
        s3.insert(s3.end(), &T[74], &T[76]);
      }
      if (T[76] != P[76]) {
        s3[0] |= 0x20;
        s3.push_back(T[76]);
      }
      section(s3);
      std::memcpy(&S[kThird], &T[kThird], 5);
    }

    if (T[kSectionFlags] & 0x02) {
      std::vector<uint8_t> s4(1, 0);
      const unsigned m95 = posMode(s4, bo::GetBeN(&T[95], 4), bo::GetBeN(&P[95], 4), 4, 8);
      const unsigned m99 = posMode(s4, bo::GetBeN(&T[99], 4), bo::GetBeN(&P[99], 4), 4, 8);
      s4[0] = static_cast<uint8_t>(m95 << 4 | m99);
      std::memcpy(&S[95], &T[95], 8);
      S[kFourth] = 9;
      S[103] = P[103];
      if (T[kFourth] >= 10) {
        s4.push_back(T[103]);
        S[103] = T[103];
        S[kFourth] = 10;
        if (T[103] & 0x01) {
          S[kFourth] = 12;
          if (T[kFourth] == 12) {
            s4.insert(s4.end(), &T[104], &T[106]);
            std::memcpy(&S[104], &T[104], 2);
          } else {
            std::memcpy(&S[104], &P[104], 2);
          }
        }
      }
      section(s4);
    }

    if (T[kSectionFlags] & 0x10) {
      std::vector<uint8_t> s5;
      appendExtensionDelta(s5, &T[kExt], &P[kExt], &S[kExt]);
      section(s5);
    }

    // Satellites: entries carried from the previous epoch, replaced by index.
    const uint32_t count = T[kSatCount];
    std::vector<uint8_t> s6;
    for (uint32_t i = 0; i < count; ++i) {
      if (std::memcmp(&T[kSats + 1 + 3 * i], &precPrev_[kSats + 1 + 3 * i], 3) != 0) {
        s6.push_back(static_cast<uint8_t>(i));
        s6.insert(s6.end(), &T[kSats + 1 + 3 * i], &T[kSats + 4 + 3 * i]);
      }
    }
    ok = ok && s6.size() + 1 <= 255;
    section(s6);
    std::memcpy(&S[kSats], &T[kSats], 1 + 3 * count);
    d.insert(d.end(), rec + size - 3, rec + size - 1);
    std::memcpy(&S[kChecksum], rec + size - 3, 2);
    d[1] = static_cast<uint8_t>(d.size() & 0xFF);
    d[3] = static_cast<uint8_t>(d.size() >> 8);
    // Usable only when the rebuilt image writes the input record.
    k01_record_t rebuilt;
    S[2] = 29;
    ok = ok && d.size() < size - 1 && writeRaw29Image(S.data(), rebuilt) && rebuilt.length == size &&
         std::memcmp(rebuilt.bytes, rec, size) == 0;
    if (!ok) d.clear();
  }
  if (!d.empty()) {
    out = std::move(d);
    lastType_ = 56;
    ++precSinceKey_;
    extrapolatePrecise(precPrev_, precPred_, S);
  } else {
    out.assign(rec, rec + size - 1);
    out[1] = static_cast<uint8_t>((size - 1) & 0xFF);
    out[2] = 57;
    out[3] = static_cast<uint8_t>((size - 1) >> 8);
    lastType_ = 57;
    precSinceKey_ = 1;
    precPrev_ = T;
    precPred_ = T;
  }
  havePrec_ = true;
  return kEncAuxOk;
}

// ---- data pages ------------------------------------------------------------------

uint8_t k01_aux_encoder_t::encodePage(const uint8_t* rec, size_t size, std::vector<uint8_t>& out) {
  // A full page record is the raw record less its end byte; 84 and 85
  // rebuild 42 bytes.
  if (!wellFormed(rec, size, 25, false) || size != 42) return kEncAuxNotRaw;
  k01_page_store_t& store = *reinterpret_cast<k01_page_store_t*>(pageStore_.data());
  const uint32_t row = rec[11] >> 2;
  const uint32_t time = get(rec + 4, 4);
  const uint16_t week = static_cast<uint16_t>(get(rec + 8, 2));
  if (pagesStarted_ && rec[3] == 0) {
    // A reference: the page is in its row, the time step fits 16 bits and
    // the week follows from it.
    const uint32_t step = time - store.time;
    const uint16_t expectedWeek = static_cast<uint16_t>(store.week + (time < store.time ? 1 : 0));
    for (uint32_t i = 0; i < kPagesPerRow && step <= 0xFFFF && week == expectedWeek; ++i) {
      if (std::memcmp(store.pages[row][i], rec + 11, kPageBytes) != 0) continue;
      out = {0x02, 11, 84, 0, static_cast<uint8_t>(row), static_cast<uint8_t>(i),
             static_cast<uint8_t>(step >> 8), static_cast<uint8_t>(step), rec[10], rec[39], rec[40]};
      store.time = time;
      store.week = week;
      lastType_ = 84;
      return kEncAuxOk;
    }
  }
  // The first page clears the store (type 85, which keeps 41 bytes).
  const uint8_t type = pagesStarted_ ? 84 : 85;
  if (!pagesStarted_) std::memset(&store, 0, sizeof store);
  uint8_t& index = store.writeIndex[row];
  if (index >= kPagesPerRow) index = 0;
  std::memcpy(store.pages[row][index], rec + 11, kPageBytes);
  index = static_cast<uint8_t>((index + 1) % kPagesPerRow);
  store.time = time;
  store.week = week;
  out.assign(rec, rec + size - 1);
  out[1] = static_cast<uint8_t>(size - 1);
  out[2] = type;
  pagesStarted_ = true;
  lastType_ = type;
  return kEncAuxOk;
}

// ---- coded values -------------------------------------------------------------------

uint8_t k01_aux_encoder_t::encodeCoded(const uint8_t* rec, size_t size, std::vector<uint8_t>& out) {
  if (!wellFormed(rec, size, 40, false) || size < 13 || (size - 13) % 3 != 0) return kEncAuxNotRaw;
  // The rebuilt record lists every code named so far, in increasing order.
  const size_t entries = (size - 13) / 3;
  bool named[kCodeCount] = {};
  int lastCode = 0;
  for (size_t e = 0; e < entries; ++e) {
    const uint8_t code = rec[10 + 3 * e];
    if (code <= lastCode || code >= kCodeCount) return kEncAuxNotCarried;
    lastCode = code;
    named[code] = true;
  }
  for (uint32_t code = 1; code < kCodeCount; ++code)
    if (coded_.present[code] && !named[code]) return kEncAuxNotCarried;

  const uint16_t word = static_cast<uint16_t>(get(rec + 4, 2));
  const uint32_t value = get(rec + 6, 4);
  out = {0x02, 0, 41, rec[3], 0};
  uint8_t q = 0;
  const uint16_t wordStep = static_cast<uint16_t>(word - coded_.lastWord);
  if (wordStep <= 1) {
    q |= static_cast<uint8_t>(wordStep << 6);
  } else {
    q |= 0x80;
    bo::AppendBeN(out, word, 2);
  }
  const uint32_t d = value - coded_.prediction;
  if (d < 32) {
    q |= static_cast<uint8_t>(d);
  } else {
    q |= 0x20;
    bo::AppendBeN(out, value, 4);
  }
  out[4] = q;
  coded_.lastWord = word;
  coded_.prediction = 2 * value - coded_.lastValue;
  coded_.lastValue = value;
  for (size_t e = 0; e < entries; ++e) {
    const uint8_t code = rec[10 + 3 * e];
    const uint16_t v = static_cast<uint16_t>(get(rec + 11 + 3 * e, 2));
    const int diff = static_cast<int16_t>(static_cast<uint16_t>(v - coded_.value[code]));
    // Codes already sent with their value need not be named again.
    if (coded_.present[code] && diff == 0) continue;
    if (diff >= -128 && diff <= 127) {
      out.push_back(code);
      out.push_back(static_cast<uint8_t>(static_cast<int8_t>(diff)));
    } else {
      out.push_back(static_cast<uint8_t>(code | 0x80));
      bo::AppendBeN(out, v, 2);
    }
    coded_.present[code] = 1;
    coded_.value[code] = v;
  }
  out.insert(out.end(), rec + size - 3, rec + size - 1);
  out[1] = static_cast<uint8_t>(out.size());
  lastType_ = 41;
  return kEncAuxOk;
}

}  // namespace k01
