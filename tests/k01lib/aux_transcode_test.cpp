// Transcoders of data pages (84/85 to raw type 25), coded values (41 to raw
// type 40), compressed positions (54/55 to raw type 11) and precise
// positions (56/57 to raw type 29).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "k01lib/aux_encoder.h"
#include "k01lib/aux_state.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Page = std::array<uint8_t, 28>;
using PosFields = k01::k01_pos_fields_t;
using Prec29 = k01::k01_prec29_fields_t;

Bytes encode(k01::k01_aux_encoder_t& enc, const Bytes& raw) {
  Bytes out;
  EXPECT_EQ(enc.encodeRaw(raw.data(), raw.size(), out), k01::kEncAuxOk);
  return out;
}

// The transcoders with their stores, chosen by the record's type.
struct Aux {
  std::unique_ptr<k01::k01_page_store_t> pages = std::make_unique<k01::k01_page_store_t>();
  k01::k01_coded_store_t coded{};
  k01::k01_pos_history_t pos{};
  k01::k01_prec_history_t prec{};
  k01::k01_record_t out{};
  Aux() { std::memset(pages.get(), 0, sizeof *pages); }
  uint8_t run(const Bytes& rec, bool verify = true) {
    k01::k01_record_t in{};
    std::memcpy(in.bytes, rec.data(), rec.size());
    in.length = static_cast<uint16_t>(rec.size());
    switch (rec[2]) {
      case 84: return k01::transcodePages84(in, out, *pages);
      case 85: return k01::transcodePages85(in, out, *pages);
      case 41: return k01::transcodeCodedValues41(in, out, coded);
      case 54: return k01::transcodePosition54(in, out, pos, verify);
      case 55: return k01::transcodePosition55(in, out, pos, verify);
      case 56: return k01::transcodePrecisePosition56(in, out, prec);
      default: return k01::transcodePrecisePosition57(in, out, prec);
    }
  }
  Bytes output() const { return Bytes(out.bytes, out.bytes + out.length); }
};

// A full page record as the log stores it: the raw record less its end byte.
Bytes pageRecord(uint8_t type, uint32_t time, uint16_t week, uint8_t byte10, const Page& page) {
  Bytes b = k01::buildRaw25Record(0, time, week, byte10, page);
  b.pop_back();
  b[1] = static_cast<uint8_t>(b.size()); b[2] = type;
  return b;
}

// A reference to a stored page (length 11), carried checksum 0.
Bytes pageReference(uint8_t row, uint8_t index, uint16_t increment) {
  return {0x02, 11, 84, 0, row, index, static_cast<uint8_t>(increment >> 8), static_cast<uint8_t>(increment), 0, 0, 0};
}

Page page(uint8_t row, uint8_t seed) {
  Page p;
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(seed + 7 * i);
  p[0] = static_cast<uint8_t>(row << 2 | 1);  // the row is the first byte's top 6 bits
  return p;
}

TEST(AuxPages, ReferenceReproducesStoredPage) {
  Aux t;
  k01::k01_aux_encoder_t enc;
  for (uint8_t k = 0; k < 6; ++k) {  // the encoder and the transcoder see the same pages
    const Bytes raw = k01::buildRaw25Record(0, 1000 + k, 2100, 4, page(3, k));
    const Bytes rec = encode(enc, raw);
    EXPECT_EQ(rec[2], k == 0 ? 85 : 84);
    ASSERT_EQ(t.run(rec), k01::kAuxOk);
    EXPECT_EQ(t.output(), raw);
  }
  // Row 3, page 5 (the sixth page stored there), time 1005 + 300.
  const Bytes expected = k01::buildRaw25Record(0, 1305, 2100, 9, page(3, 5));
  const Bytes rec = encode(enc, expected);
  ASSERT_EQ(rec.size(), 11u);
  EXPECT_EQ(Bytes(rec.begin() + 4, rec.begin() + 9), (Bytes{3, 5, 0x01, 0x2C, 9}));
  ASSERT_EQ(t.run(rec), k01::kAuxOk);
  EXPECT_EQ(t.output(), expected);
}

TEST(AuxPages, TimeWrapAdvancesWeekAndRowWrapsAt20) {
  Aux t;
  for (uint8_t k = 0; k < 21; ++k) ASSERT_EQ(t.run(pageRecord(84, 0xFFFFFF00u, 2100, 0, page(63, k))), k01::kAuxOk);
  ASSERT_EQ(t.run(pageReference(63, 0, 0x200)), k01::kAuxOk);  // the 21st page overwrote index 0
  const Bytes out = t.output();
  EXPECT_EQ(Bytes(out.begin() + 4, out.begin() + 10), (Bytes{0, 0, 1, 0, 0x08, 0x35}));
  const Page last = page(63, 20);
  EXPECT_EQ(Bytes(out.begin() + 11, out.begin() + 39), Bytes(last.begin(), last.end()));
}

TEST(AuxPages, Type85ClearsTheStoreAndBadReferencesAreRejected) {
  Aux t;
  ASSERT_EQ(t.run(pageRecord(84, 10, 1, 0, page(2, 50))), k01::kAuxOk);
  ASSERT_EQ(t.run(pageRecord(85, 20, 1, 0, page(5, 60))), k01::kAuxOk);
  EXPECT_EQ(t.output(), k01::buildRaw25Record(0, 20, 1, 0, page(5, 60)));
  ASSERT_EQ(t.run(pageReference(2, 0, 0)), k01::kAuxOk);
  EXPECT_EQ(Bytes(t.out.bytes + 11, t.out.bytes + 39), Bytes(28, 0));
  ASSERT_EQ(t.run(pageReference(5, 0, 0)), k01::kAuxOk);  // no time step: the same time and week
  const Bytes want = k01::buildRaw25Record(0, 20, 1, 0, page(5, 60)), out = t.output();
  EXPECT_EQ(Bytes(out.begin(), out.end() - 3), Bytes(want.begin(), want.end() - 3));  // the carried checksum is 0
  EXPECT_EQ(t.run(pageReference(64, 0, 0)), k01::kAuxBadIndex);
  EXPECT_EQ(t.run(pageReference(0, 20, 0)), k01::kAuxBadIndex);
  EXPECT_EQ(t.out.length, 0);
  Bytes shortPage = pageRecord(84, 1, 1, 1, page(1, 1));
  shortPage.resize(30); shortPage[1] = 30;
  EXPECT_EQ(t.run(shortPage), k01::kAuxOverrun);
}

// Encodes a raw type-40 record; returns the type-41 record.
Bytes coded41(k01::k01_aux_encoder_t& enc, uint16_t word, uint32_t value,
              const std::vector<std::pair<uint8_t, uint16_t>>& entries, Bytes* raw) {
  *raw = k01::buildRaw40Record(1, word, value, entries);
  return encode(enc, *raw);
}

TEST(AuxCodedValues, CodesPersistAcrossRecords) {
  Aux t;
  k01::k01_aux_encoder_t enc;
  Bytes raw;
  ASSERT_EQ(t.run(coded41(enc, 100, 5000, {{7, 250}, {9, 1200}}, &raw)), k01::kAuxOk);
  EXPECT_EQ(t.output(), raw);
  const Bytes second = coded41(enc, 101, 10000, {{7, 250}, {9, 1190}}, &raw);
  // Small steps: word +1, value on the prediction 2 x 5000 - 0, code 9 by a
  // signed byte of -10; code 7 did not change and is not named.
  EXPECT_EQ(second[4], 0x40);
  EXPECT_EQ(second.size(), 4u + 1 + 2 + 2);
  ASSERT_EQ(t.run(second), k01::kAuxOk);
  const Bytes out = t.output();
  EXPECT_EQ(out, raw);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 16),
            (Bytes{0x02, 19, 40, 1, 0, 101, 0, 0, 0x27, 0x10, 7, 0, 250, 9, 0x04, 0xA6}));
}

TEST(AuxCodedValues, OverlongOrCutRecordsKeepTheStore) {
  Aux t;
  k01::k01_aux_encoder_t enc;
  Bytes raw;
  ASSERT_EQ(t.run(coded41(enc, 1, 1, {{3, 30}}, &raw)), k01::kAuxOk);
  Bytes many = {0x02, 0, 41, 0, 0x00};  // 82 codes: beyond one length byte as a raw record
  for (uint8_t code = 10; code < 92; ++code) many.insert(many.end(), {static_cast<uint8_t>(code | 0x80), 0, code});
  many.insert(many.end(), {0, 0});
  many[1] = static_cast<uint8_t>(many.size());
  EXPECT_EQ(t.run(many), k01::kAuxOverrun);
  EXPECT_EQ(t.run({0x02, 8, 41, 0, 0x00, 0x85, 0, 0}), k01::kAuxOverrun);  // raw value without its bytes
  ASSERT_EQ(t.run(coded41(enc, 1, 2, {{3, 30}}, &raw)), k01::kAuxOk);  // the store holds only code 3
  EXPECT_EQ(t.output(), raw);
}

PosFields position() {
  PosFields p;
  const uint32_t f[10] = {0x12345678, 0x0ABCDEF0, 400000, 7, 0x80000000u, 0x1234, 5, 6, 7, 345600000};
  std::memcpy(p.field, f, sizeof f);
  p.byte41 = 0x41;
  p.list2 = {5, 9, 12};
  return p;
}

TEST(AuxPosition, AllModesZeroRebuildsThePrediction) {
  const Bytes raw = k01::buildRaw11Record(position());
  k01::k01_aux_encoder_t enc;
  Aux t;
  ASSERT_EQ(t.run(encode(enc, raw)), k01::kAuxOk);
  EXPECT_EQ(t.output(), raw);
  const Bytes d = encode(enc, raw);
  ASSERT_EQ(d.size(), 3u + 5 + 1 + 2);  // five zero mode bytes, list byte 0, checksum
  EXPECT_EQ(Bytes(d.begin() + 3, d.begin() + 9), Bytes(6, 0));
  ASSERT_EQ(t.run(d), k01::kAuxOk);
  const Bytes out = t.output();
  EXPECT_EQ(out, raw);
  EXPECT_EQ(Bytes(out.begin() + 43, out.begin() + 47), (Bytes{0, 1, 2, 5}));  // list 0 .. n-1, previous list 2
}

TEST(AuxPosition, MovingSequenceWithListChangesAndChecksum) {
  PosFields p = position();
  k01::k01_aux_encoder_t enc;
  Aux t;
  ASSERT_EQ(t.run(encode(enc, k01::buildRaw11Record(p))), k01::kAuxOk);
  for (int k = 1; k <= 5; ++k) {
    SCOPED_TRACE(k);
    p.field[0] += 1000 + 3 * k;  // linear plus a little: small deltas
    p.field[1] -= 70000;
    p.field[5] = static_cast<uint16_t>(p.field[5] + 1);
    p.field[9] += 1000;
    if (k == 2) p.list2[1] = 31;
    if (k == 3) p.list2.push_back(40);
    if (k == 4) { p.byte41 = 0x43; p.corrections = true; p.correction[0] = 0xFE; p.correction[1] = 0x02; }
    if (k == 5) p.field[4] = 0x00000001;  // far jump: raw
    Bytes d = encode(enc, k01::buildRaw11Record(p));
    if (k == 5) {  // a wrong carried checksum: refused, or replaced when not verified
      d.back() ^= 0x10;
      EXPECT_EQ(t.run(d, true), k01::kAuxChecksum);
    }
    ASSERT_EQ(t.run(d, k != 5), k01::kAuxOk);
    EXPECT_EQ(t.output(), k01::buildRaw11Record(p));
  }
}

TEST(AuxPosition, BadInputIsAStatusAndLeavesHistory) {
  const PosFields p = position();
  k01::k01_aux_encoder_t enc, fresh;
  Aux t;
  ASSERT_EQ(t.run(encode(enc, k01::buildRaw11Record(p))), k01::kAuxOk);
  const Bytes good = encode(enc, k01::buildRaw11Record(p));
  Bytes key = encode(fresh, k01::buildRaw11Record(p)), longer = good;
  longer[1] = 200;
  struct {
    Bytes rec;
    bool verify;
    uint8_t status;
  } cases[] = {
      {{0x02, 0, 54, 0x90, 0, 0, 0, 0, 0, 0, 0}, true, k01::kAuxBadMode},         // mode 9
      {{0x02, 0, 54, 0, 0, 0, 0, 0, 0x40, 89, 0, 0}, true, k01::kAuxBadIndex},     // count 89
      {{0x02, 0, 54, 0, 0, 0, 0, 0, 0x02, 88, 1, 0, 0}, true, k01::kAuxBadIndex},  // index 88
      {{0x02, 0, 54, 0x80, 1, 2}, true, k01::kAuxOverrun},                         // raw field cut
      {{0x02, 0, 54, 0, 0, 0, 0, 0, 0x01, 0}, true, k01::kAuxOverrun},             // corrections cut
      {key, true, k01::kAuxBadIndex},                                              // key count 89
      {key, false, k01::kAuxOverrun},                                              // key lists overrun
      {longer, true, k01::kAuxOverrun},
  };
  cases[5].rec[42] = 89; cases[6].rec[42] = 60;
  for (size_t i = 0; i < std::size(cases); ++i) {
    if (i < 5) cases[i].rec[1] = static_cast<uint8_t>(cases[i].rec.size());
    EXPECT_EQ(t.run(cases[i].rec, cases[i].verify), cases[i].status) << i;
  }
  ASSERT_EQ(t.run(good), k01::kAuxOk);  // the history is as the key epoch left it
  EXPECT_EQ(t.output(), k01::buildRaw11Record(p));
}

Prec29 precise() {
  Prec29 p;
  for (int i = 0; i < 14; ++i) p.first[i] = static_cast<uint8_t>(0x10 + i);
  p.first[10] = 0x02;  // byte 15: fourth section present
  p.first[12] = 4;     // byte 17: third section present
  for (int i = 0; i < 52; ++i) p.second[i] = static_cast<uint8_t>(3 * i);
  p.third[0] = 1; p.third[3] = 9;
  for (int i = 0; i < 8; ++i) p.fourth[i] = static_cast<uint8_t>(0xA0 + i);
  p.sats = {{1, 0, 2}, {7, 0, 2}, {20, 2, 3}};
  return p;
}

Bytes key57(const Prec29& p) {
  k01::k01_aux_encoder_t enc;
  return encode(enc, k01::buildRaw29Record(p));
}

Bytes delta56(std::initializer_list<uint8_t> sections, const Bytes& raw) {
  Bytes b = {0x02, 0, 56, 0};
  b.insert(b.end(), sections);
  b.insert(b.end(), {raw[raw.size() - 3], raw[raw.size() - 2]});
  b[1] = static_cast<uint8_t>(b.size() & 0xFF); b[3] = static_cast<uint8_t>(b.size() >> 8);
  return b;
}

TEST(AuxPrecise, ReferenceOnlyDeltaThenFieldUpdates) {
  const Prec29 p = precise();
  Aux t;
  ASSERT_EQ(t.run(key57(p)), k01::kAuxOk);
  EXPECT_EQ(t.output(), k01::buildRaw29Record(p));
  // Every section takes its reference: G = 0, eight zero mode bytes, K = 0,
  // a zero mode byte, no satellite replacements.
  ASSERT_EQ(t.run(delta56({2, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 1}, k01::buildRaw29Record(p))), k01::kAuxOk);
  EXPECT_EQ(t.output(), k01::buildRaw29Record(p));
  // G = 0x80: fields 5 and 7 raw; second section: field 32 +5 (mode 1),
  // field 68 raw (mode 15); the third section's byte 76 raw (K = 0x20);
  // satellite 1 replaced.
  Prec29 q = p;
  const uint8_t first[] = {0xBE, 0xEF, 1, 2, 3, 4};
  std::memcpy(q.first, first, sizeof first);
  q.second[15] = static_cast<uint8_t>(q.second[15] + 5);  // byte 35: last of field 32
  q.second[48] = 0x55; q.second[49] = 0x66; q.third[3] = 0x77;
  q.sats[1] = {8, 1, 6};
  const Bytes d = delta56({9, 0x80, 0xBE, 0xEF, 1, 2, 3, 4, 0, 12, 0, 0x10, 5, 0, 0, 0, 0, 0, 0xF0, 0x55, 0x66,
                           3, 0x20, 0x77, 2, 0, 5, 1, 8, 1, 6},
                          k01::buildRaw29Record(q));
  ASSERT_EQ(t.run(d), k01::kAuxOk);
  EXPECT_EQ(t.output(), k01::buildRaw29Record(q));
}

TEST(AuxPrecise, SectionsAndIndexesAreBounded) {
  const Prec29 p = precise();
  const Bytes raw = k01::buildRaw29Record(p);
  const struct {
    Bytes rec;
    uint8_t status;
  } cases[] = {
      {delta56({1}, raw), k01::kAuxOverrun},                 // G outside its section
      {delta56({2, 0, 3, 0x88, 1}, raw), k01::kAuxOverrun},  // raw field past the section
      {delta56({2, 0, 60}, raw), k01::kAuxOverrun},          // section past the record
      {delta56({3, 0x40, 89}, raw), k01::kAuxBadIndex},      // count 89 (step -4: raw)
      {delta56({2, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 14, 1, 1, 1, 1, 2, 2, 2, 2, 0, 3, 3, 3, 3}, raw),
       k01::kAuxBadIndex},  // 14 > 4 x 3 + 1
      {delta56({2, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 5, 88, 1, 2, 3}, raw), k01::kAuxBadIndex},
      {delta56({2, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 4, 1, 2, 3}, raw), k01::kAuxOverrun},
  };
  Aux t;
  ASSERT_EQ(t.run(key57(p)), k01::kAuxOk);
  for (const auto& c : cases) EXPECT_EQ(t.run(c.rec), c.status) << c.rec.size();
  Bytes key = key57(p);
  key[12] = 60;  // more satellites than the key epoch's section holds
  EXPECT_EQ(t.run(key), k01::kAuxOverrun);
}

TEST(AuxPrecise, KeyEpochOfLength0x01FFBecomes0x0200) {
  Prec29 p = precise();
  p.sats.assign(88, {1, 0, 2});
  Bytes key = key57(p);                               // 85 + 264 - 1 = 348 bytes
  key.insert(key.end() - 2, 0x01FF - key.size(), 0);  // filler before the checksum
  key[1] = 0xFF; key[3] = 0x01;
  Aux t;
  ASSERT_EQ(t.run(key), k01::kAuxOk);
  ASSERT_EQ(t.out.length, 0x0200);
  EXPECT_EQ(Bytes(t.out.bytes, t.out.bytes + 4), (Bytes{0x02, 0x00, 29, 0x02}));
  EXPECT_EQ(t.out.bytes[0x01FF], 0x03);
}

}  // namespace
