// Transcoders of data pages (84/85 to raw type 25) and coded values (41 to
// raw type 40).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "k01lib/aux_encoder.h"
#include "k01lib/aux_state.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Page = std::array<uint8_t, 28>;

k01::k01_record_t toRecord(const Bytes& b) {
  k01::k01_record_t r{};
  std::memcpy(r.bytes, b.data(), b.size());
  r.length = static_cast<uint16_t>(b.size());
  return r;
}

// A full page record as the log stores it: the raw record less its end byte.
Bytes pageRecord(uint8_t type, uint32_t time, uint16_t week, uint8_t byte10, const Page& page) {
  Bytes b = k01::buildRaw25Record(0, time, week, byte10, page);
  b.pop_back();
  b[1] = static_cast<uint8_t>(b.size());
  b[2] = type;
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

struct Pages {
  std::unique_ptr<k01::k01_page_store_t> store = std::make_unique<k01::k01_page_store_t>();
  k01::k01_record_t out{};
  Pages() { std::memset(store.get(), 0, sizeof *store); }
  uint8_t run(const Bytes& rec) {
    return rec[2] == 85 ? k01::transcodePages85(toRecord(rec), out, *store)
                        : k01::transcodePages84(toRecord(rec), out, *store);
  }
  Bytes output() const { return Bytes(out.bytes, out.bytes + out.length); }
};

TEST(AuxPages, ReferenceReproducesStoredPage) {
  Pages t;
  k01::k01_aux_encoder_t enc;
  Bytes rec;
  for (uint8_t k = 0; k < 6; ++k) {  // the encoder and the transcoder see the same pages
    const Bytes raw = k01::buildRaw25Record(0, 1000 + k, 2100, 4, page(3, k));
    ASSERT_EQ(enc.encodeRaw(raw.data(), raw.size(), rec), k01::kEncAuxOk);
    EXPECT_EQ(rec[2], k == 0 ? 85 : 84);
    ASSERT_EQ(t.run(rec), k01::kAuxOk);
    EXPECT_EQ(t.output(), raw);
  }
  // Row 3, page 5 (the sixth page stored there), time 1005 + 300.
  const Bytes expected = k01::buildRaw25Record(0, 1305, 2100, 9, page(3, 5));
  ASSERT_EQ(enc.encodeRaw(expected.data(), expected.size(), rec), k01::kEncAuxOk);
  ASSERT_EQ(rec.size(), 11u);
  EXPECT_EQ(Bytes(rec.begin() + 4, rec.begin() + 9), (Bytes{3, 5, 0x01, 0x2C, 9}));
  ASSERT_EQ(t.run(rec), k01::kAuxOk);
  EXPECT_EQ(t.output(), expected);
}

TEST(AuxPages, TimeWrapAdvancesWeekAndRowWrapsAt20) {
  Pages t;
  for (uint8_t k = 0; k < 21; ++k) ASSERT_EQ(t.run(pageRecord(84, 0xFFFFFF00u, 2100, 0, page(63, k))), k01::kAuxOk);
  ASSERT_EQ(t.run(pageReference(63, 0, 0x200)), k01::kAuxOk);  // the 21st page overwrote index 0
  const Bytes out = t.output();
  EXPECT_EQ(Bytes(out.begin() + 4, out.begin() + 10), (Bytes{0, 0, 1, 0, 0x08, 0x35}));
  const Page last = page(63, 20);
  EXPECT_EQ(Bytes(out.begin() + 11, out.begin() + 39), Bytes(last.begin(), last.end()));
}

TEST(AuxPages, ReferencesOutsideTheStoreAndShortPagesAreRejected) {
  Pages t;
  EXPECT_EQ(t.run(pageReference(64, 0, 0)), k01::kAuxBadIndex);
  EXPECT_EQ(t.run(pageReference(0, 20, 0)), k01::kAuxBadIndex);
  EXPECT_EQ(t.out.length, 0);
  Bytes shortPage = pageRecord(84, 1, 1, 1, page(1, 1));
  shortPage.resize(30);
  shortPage[1] = 30;
  EXPECT_EQ(t.run(shortPage), k01::kAuxOverrun);
}

TEST(AuxPages, Type85ClearsTheStore) {
  Pages t;
  ASSERT_EQ(t.run(pageRecord(84, 10, 1, 0, page(2, 50))), k01::kAuxOk);
  ASSERT_EQ(t.run(pageRecord(85, 20, 1, 0, page(5, 60))), k01::kAuxOk);
  EXPECT_EQ(t.output(), k01::buildRaw25Record(0, 20, 1, 0, page(5, 60)));
  ASSERT_EQ(t.run(pageReference(2, 0, 0)), k01::kAuxOk);
  EXPECT_EQ(Bytes(t.out.bytes + 11, t.out.bytes + 39), Bytes(28, 0));
  ASSERT_EQ(t.run(pageReference(5, 0, 0)), k01::kAuxOk);
  EXPECT_EQ(t.out.bytes[11], page(5, 60)[0]);
}

struct Coded {
  k01::k01_aux_encoder_t enc;
  k01::k01_coded_store_t store{};
  k01::k01_record_t out{};
  uint8_t run(const Bytes& rec) { return k01::transcodeCodedValues41(toRecord(rec), out, store); }
  // Encodes a raw type-40 record; returns the type-41 record.
  Bytes encode(uint8_t byte3, uint16_t word, uint32_t value, const std::vector<std::pair<uint8_t, uint16_t>>& entries,
               Bytes* raw) {
    *raw = k01::buildRaw40Record(byte3, word, value, entries);
    Bytes out41;
    EXPECT_EQ(enc.encodeRaw(raw->data(), raw->size(), out41), k01::kEncAuxOk);
    return out41;
  }
  Bytes output() const { return Bytes(out.bytes, out.bytes + out.length); }
};

TEST(AuxCodedValues, CodesPersistAcrossRecords) {
  Coded t;
  Bytes raw;
  ASSERT_EQ(t.run(t.encode(1, 100, 5000, {{7, 250}, {9, 1200}}, &raw)), k01::kAuxOk);
  EXPECT_EQ(t.output(), raw);
  const Bytes second = t.encode(1, 101, 10000, {{7, 250}, {9, 1190}}, &raw);
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
  Coded t;
  Bytes raw;
  ASSERT_EQ(t.run(t.encode(0, 1, 1, {{3, 30}}, &raw)), k01::kAuxOk);
  Bytes many = {0x02, 0, 41, 0, 0x00};  // 82 codes: beyond one length byte as a raw record
  for (uint8_t code = 10; code < 92; ++code) many.insert(many.end(), {static_cast<uint8_t>(code | 0x80), 0, code});
  many.insert(many.end(), {0, 0});
  many[1] = static_cast<uint8_t>(many.size());
  EXPECT_EQ(t.run(many), k01::kAuxOverrun);
  EXPECT_EQ(t.run({0x02, 8, 41, 0, 0x00, 0x85, 0, 0}), k01::kAuxOverrun);  // raw value without its bytes
  ASSERT_EQ(t.run(t.encode(0, 1, 2, {{3, 30}}, &raw)), k01::kAuxOk);  // the store holds only code 3
  EXPECT_EQ(t.output(), raw);
}

}  // namespace
