#include "k01_aux_encoder.h"

namespace k01test {

namespace {

constexpr uint8_t kPosOffset[10] = {3, 7, 11, 15, 19, 23, 25, 29, 33, 37};
int posWidth(int i) { return i == 5 ? 2 : 4; }

void be(AuxBytes& b, uint32_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t widthMask(int w) { return w >= 4 ? 0xFFFFFFFFu : (1u << (8 * w)) - 1; }

int bytesOf(uint32_t v) {
  int n = 0;
  while (v != 0) {
    ++n;
    v >>= 8;
  }
  return n;
}

// Position field mode: 0 unchanged, 1-3 add, 5-7 subtract, 8 raw.
unsigned posMode(AuxBytes& pay, uint32_t value, uint32_t ref, int w) {
  const uint32_t up = (value - ref) & widthMask(w);
  const uint32_t down = (ref - value) & widthMask(w);
  if (up == 0) return 0;
  if (bytesOf(up) <= 3 && bytesOf(up) <= w) {
    be(pay, up, bytesOf(up));
    return static_cast<unsigned>(bytesOf(up));
  }
  if (bytesOf(down) <= 3 && bytesOf(down) <= w) {
    be(pay, down, bytesOf(down));
    return static_cast<unsigned>(bytesOf(down) + 4);
  }
  be(pay, value, w);
  return 8;
}

void finish(AuxBytes& b) {
  be(b, byteSum16(b, b.size()), 2);
  b.push_back(0x03);
}

}  // namespace

uint16_t byteSum16(const AuxBytes& b, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += b[i];
  return static_cast<uint16_t>(sum);
}

AuxBytes rawType11(const PosFields& p) {
  AuxBytes b = {0x02, 0, 11};
  for (int i = 0; i < 10; ++i) be(b, p.field[i], posWidth(i));
  b.push_back(p.byte41);
  b.push_back(static_cast<uint8_t>(p.list2.size()));
  for (size_t i = 0; i < p.list2.size(); ++i) b.push_back(static_cast<uint8_t>(i));
  b.insert(b.end(), p.list2.begin(), p.list2.end());
  if (p.corrections) {
    b.push_back(p.correction[0]);
    b.push_back(p.correction[1]);
  }
  b[1] = static_cast<uint8_t>(b.size() + 3);
  finish(b);
  return b;
}

AuxBytes PosEncoder::key(const PosFields& p) {
  AuxBytes b = rawType11(p);
  b.pop_back();
  b[1] = static_cast<uint8_t>(b.size());
  b[2] = 55;
  prev_ = p;
  for (int i = 0; i < 10; ++i) pred_[i] = p.field[i];
  return b;
}

AuxBytes PosEncoder::delta(const PosFields& p) {
  AuxBytes b = {0x02, 0, 54};
  for (int pair = 0; pair < 5; ++pair) {
    AuxBytes pay;
    const unsigned hi = posMode(pay, p.field[2 * pair], pred_[2 * pair], posWidth(2 * pair));
    const unsigned lo = posMode(pay, p.field[2 * pair + 1], pred_[2 * pair + 1], posWidth(2 * pair + 1));
    b.push_back(static_cast<uint8_t>(hi << 4 | lo));
    b.insert(b.end(), pay.begin(), pay.end());
  }
  std::vector<uint8_t> prevList(88, 0);
  for (size_t i = 0; i < prev_.list2.size(); ++i) prevList[i] = prev_.list2[i];
  std::vector<std::pair<uint8_t, uint8_t>> changes;
  for (size_t i = 0; i < p.list2.size(); ++i)
    if (p.list2[i] != prevList[i]) changes.emplace_back(static_cast<uint8_t>(i), p.list2[i]);
  const bool b41 = p.byte41 != prev_.byte41;
  const bool count = p.list2.size() != prev_.list2.size();
  b.push_back(static_cast<uint8_t>((b41 ? 0x80 : 0) | (count ? 0x40 : 0) | changes.size() << 1 |
                                   (p.corrections ? 1 : 0)));
  if (b41) b.push_back(p.byte41);
  if (count) b.push_back(static_cast<uint8_t>(p.list2.size()));
  for (const auto& c : changes) {
    b.push_back(c.first);
    b.push_back(c.second);
  }
  if (p.corrections) {
    b.push_back(p.correction[0]);
    b.push_back(p.correction[1]);
  }
  const AuxBytes raw = rawType11(p);
  b.push_back(raw[raw.size() - 3]);
  b.push_back(raw[raw.size() - 2]);
  b[1] = static_cast<uint8_t>(b.size());
  for (int i = 0; i < 10; ++i)
    pred_[i] = (2 * p.field[i] - prev_.field[i]) & widthMask(posWidth(i));
  prev_ = p;
  return b;
}

AuxBytes rawType29(const Prec29& p) {
  AuxBytes b = {0x02, 0, 29, 0, 15};
  Prec29 q = p;
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

AuxBytes keyType57(const Prec29& p) {
  AuxBytes b = rawType29(p);
  b.pop_back();
  b[1] = static_cast<uint8_t>(b.size() & 0xFF);
  b[3] = static_cast<uint8_t>(b.size() >> 8);
  b[2] = 57;
  return b;
}

AuxBytes pageRecord(uint8_t type, uint32_t time, uint16_t week, uint8_t byte10,
                    const std::array<uint8_t, 28>& page) {
  AuxBytes b = rawType25(0, time, week, byte10, page);
  b.pop_back();
  b[1] = static_cast<uint8_t>(b.size());
  b[2] = type;
  return b;
}

AuxBytes pageReference(uint8_t row, uint8_t index, uint16_t increment, uint8_t byte8,
                       uint16_t checksum) {
  AuxBytes b = {0x02, 11, 84, 0, row, index};
  be(b, increment, 2);
  b.push_back(byte8);
  be(b, checksum, 2);
  return b;
}

AuxBytes rawType25(uint8_t byte3, uint32_t time, uint16_t week, uint8_t byte10,
                   const std::array<uint8_t, 28>& page) {
  AuxBytes b = {0x02, 42, 25, byte3};
  be(b, time, 4);
  be(b, week, 2);
  b.push_back(byte10);
  b.insert(b.end(), page.begin(), page.end());
  finish(b);
  return b;
}

AuxBytes CodedEncoder::encode(uint8_t byte3, uint16_t word, uint32_t value,
                              const std::vector<std::pair<uint8_t, uint16_t>>& entries,
                              AuxBytes* raw) {
  AuxBytes b = {0x02, 0, 41, byte3};
  AuxBytes pay;
  uint8_t q = 0;
  const uint16_t step = static_cast<uint16_t>(word - lastWord_);
  if (step <= 1) {
    q |= static_cast<uint8_t>(step << 6);
  } else {
    q |= 0x80;
    be(pay, word, 2);
  }
  const uint32_t d = value - prediction_;
  if (d < 32) {
    q |= static_cast<uint8_t>(d);
  } else {
    q |= 0x20;
    be(pay, value, 4);
  }
  b.push_back(q);
  b.insert(b.end(), pay.begin(), pay.end());
  prediction_ = 2 * value - lastValue_;
  lastValue_ = value;
  lastWord_ = word;
  for (const auto& e : entries) {
    const int diff = static_cast<int16_t>(static_cast<uint16_t>(e.second - values_[e.first]));
    if (present_[e.first] && diff >= -128 && diff <= 127) {
      b.push_back(e.first);
      b.push_back(static_cast<uint8_t>(static_cast<int8_t>(diff)));
    } else {
      b.push_back(static_cast<uint8_t>(e.first | 0x80));
      be(b, e.second, 2);
    }
    present_[e.first] = true;
    values_[e.first] = e.second;
  }
  AuxBytes r = {0x02, 0, 40, byte3};
  be(r, word, 2);
  be(r, value, 4);
  for (int code = 1; code < 128; ++code) {
    if (!present_[code]) continue;
    r.push_back(static_cast<uint8_t>(code));
    be(r, values_[code], 2);
  }
  r[1] = static_cast<uint8_t>(r.size() + 3);
  finish(r);
  b.push_back(r[r.size() - 3]);
  b.push_back(r[r.size() - 2]);
  b[1] = static_cast<uint8_t>(b.size());
  if (raw != nullptr) *raw = r;
  return b;
}

}  // namespace k01test
