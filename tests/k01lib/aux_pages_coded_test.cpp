// Transcoders of data pages (84/85 to raw type 25) and coded values (41 to
// raw type 40).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "k01lib/aux_state.h"
#include "k01lib/aux_encoder.h"

namespace {

using AuxBytes = std::vector<uint8_t>;
using Page = std::array<uint8_t, 28>;

AuxBytes rawType25(uint8_t byte3, uint32_t time, uint16_t week, uint8_t byte10, const Page& page) {
  return k01::buildRaw25Record(byte3, time, week, byte10, page);
}

// A full page record as the log stores it: the raw record less its end byte.
AuxBytes pageRecord(uint8_t type, uint32_t time, uint16_t week, uint8_t byte10, const Page& page) {
  AuxBytes b = rawType25(0, time, week, byte10, page);
  b.pop_back();
  b[1] = static_cast<uint8_t>(b.size());
  b[2] = type;
  return b;
}

// A reference to a stored page (length 11) with a carried checksum.
AuxBytes pageReference(uint8_t row, uint8_t index, uint16_t increment, uint8_t byte8, uint16_t checksum) {
  return {0x02, 11, 84, 0, row, index, static_cast<uint8_t>(increment >> 8),
          static_cast<uint8_t>(increment), byte8, static_cast<uint8_t>(checksum >> 8),
          static_cast<uint8_t>(checksum)};
}

// The library's coded-value encoder fed with raw type-40 records.
struct CodedEncoder {
  k01::k01_aux_encoder_t enc;
  AuxBytes encode(uint8_t byte3, uint16_t word, uint32_t value,
                  const std::vector<std::pair<uint8_t, uint16_t>>& entries, AuxBytes* raw) {
    *raw = k01::buildRaw40Record(byte3, word, value, entries);
    AuxBytes out;
    EXPECT_EQ(enc.encodeRaw(raw->data(), raw->size(), out), k01::kEncAuxOk);
    return out;
  }
};

k01::k01_record_t toRecord(const AuxBytes& b) {
  k01::k01_record_t r{};
  std::memcpy(r.bytes, b.data(), b.size());
  r.length = static_cast<uint16_t>(b.size());
  return r;
}

AuxBytes fromRecord(const k01::k01_record_t& r) { return AuxBytes(r.bytes, r.bytes + r.length); }

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
  uint8_t run(const AuxBytes& rec) {
    const auto in = toRecord(rec);
    return rec[2] == 85 ? k01::transcodePages85(in, out, *store) : k01::transcodePages84(in, out, *store);
  }
};

TEST(AuxPages, ReferenceReproducesStoredPage) {
  Pages t;
  for (uint8_t k = 0; k < 6; ++k) {
    const AuxBytes rec = pageRecord(84, 1000 + k, 2100, 4, page(3, k));
    ASSERT_EQ(t.run(rec), k01::kAuxOk);
    EXPECT_EQ(fromRecord(t.out), rawType25(0, 1000 + k, 2100, 4, page(3, k)));
  }
  // Row 3, page 5: the sixth page stored there; time 1005 + 300.
  // The encoder, fed the same pages, sends this one as that reference.
  const AuxBytes expected = rawType25(0, 1305, 2100, 9, page(3, 5));
  k01::k01_aux_encoder_t enc;
  AuxBytes rec;
  for (uint8_t k = 0; k < 6; ++k) {
    const AuxBytes raw = rawType25(0, 1000 + k, 2100, 4, page(3, k));
    ASSERT_EQ(enc.encodeRaw(raw.data(), raw.size(), rec), k01::kEncAuxOk);
    EXPECT_EQ(rec[2], k == 0 ? 85 : 84);
  }
  ASSERT_EQ(enc.encodeRaw(expected.data(), expected.size(), rec), k01::kEncAuxOk);
  ASSERT_EQ(rec.size(), 11u);
  EXPECT_EQ(AuxBytes(rec.begin() + 4, rec.begin() + 9), (AuxBytes{3, 5, 0x01, 0x2C, 9}));
  ASSERT_EQ(t.run(rec), k01::kAuxOk);
  EXPECT_EQ(fromRecord(t.out), expected);
}

TEST(AuxPages, TimeWrapAdvancesWeekAndRowWrapsAt20) {
  Pages t;
  for (uint8_t k = 0; k < 21; ++k)
    ASSERT_EQ(t.run(pageRecord(84, 0xFFFFFF00u, 2100, 0, page(63, k))), k01::kAuxOk);
  // The 21st page overwrote index 0.
  ASSERT_EQ(t.run(pageReference(63, 0, 0x200, 0, 0)), k01::kAuxOk);
  const AuxBytes out = fromRecord(t.out);
  EXPECT_EQ(AuxBytes(out.begin() + 4, out.begin() + 10), (AuxBytes{0, 0, 1, 0, 0x08, 0x35}));
  const Page last = page(63, 20);
  EXPECT_EQ(AuxBytes(out.begin() + 11, out.begin() + 39), AuxBytes(last.begin(), last.end()));
  ASSERT_EQ(t.run(pageReference(63, 19, 0, 0, 0)), k01::kAuxOk);
  EXPECT_EQ(t.out.bytes[12], page(63, 19)[1]);
}

TEST(AuxPages, ReferencesOutsideTheStoreAreStatus7) {
  Pages t;
  EXPECT_EQ(t.run(pageReference(64, 0, 0, 0, 0)), k01::kAuxBadIndex);
  EXPECT_EQ(t.run(pageReference(0, 20, 0, 0, 0)), k01::kAuxBadIndex);
  EXPECT_EQ(t.run(pageReference(255, 255, 0, 0, 0)), k01::kAuxBadIndex);
  EXPECT_EQ(t.out.length, 0);
  AuxBytes shortPage = pageRecord(84, 1, 1, 1, page(1, 1));
  shortPage.resize(30);
  shortPage[1] = 30;
  EXPECT_EQ(t.run(shortPage), k01::kAuxOverrun);
}

TEST(AuxPages, Type85ClearsTheStore) {
  Pages t;
  ASSERT_EQ(t.run(pageRecord(84, 10, 1, 0, page(2, 50))), k01::kAuxOk);
  ASSERT_EQ(t.run(pageRecord(85, 20, 1, 0, page(5, 60))), k01::kAuxOk);
  EXPECT_EQ(fromRecord(t.out), rawType25(0, 20, 1, 0, page(5, 60)));
  ASSERT_EQ(t.run(pageReference(2, 0, 0, 0, 0)), k01::kAuxOk);
  for (int i = 11; i < 39; ++i) EXPECT_EQ(t.out.bytes[i], 0) << i;
  ASSERT_EQ(t.run(pageReference(5, 0, 0, 0, 0)), k01::kAuxOk);
  EXPECT_EQ(t.out.bytes[11], page(5, 60)[0]);
}

struct Coded {
  k01::k01_coded_store_t store{};
  k01::k01_record_t out{};
  uint8_t run(const AuxBytes& rec) { return k01::transcodeCodedValues41(toRecord(rec), out, store); }
};

TEST(AuxCodedValues, CodesPersistAcrossRecords) {
  CodedEncoder enc;
  Coded t;
  AuxBytes raw;
  ASSERT_EQ(t.run(enc.encode(1, 100, 5000, {{7, 250}, {9, 1200}}, &raw)), k01::kAuxOk);
  EXPECT_EQ(fromRecord(t.out), raw);
  const AuxBytes second = enc.encode(1, 101, 10000, {{7, 250}, {9, 1190}}, &raw);
  ASSERT_EQ(t.run(second), k01::kAuxOk);
  const AuxBytes out = fromRecord(t.out);
  EXPECT_EQ(out, raw);
  // By hand: 0x02, 19, 40, 1, word 101, value 10000, code 7 = 250, code 9 = 1190.
  EXPECT_EQ(AuxBytes(out.begin(), out.begin() + 16),
            (AuxBytes{0x02, 19, 40, 1, 0, 101, 0, 0, 0x27, 0x10, 7, 0, 250, 9, 0x04, 0xA6}));
  // The second record used the small steps: word +1, value on the prediction
  // 2 x 5000 - 0, code 9 by a signed byte of -10; code 7 did not change and
  // is not named.
  EXPECT_EQ(second[4], 0x40);
  EXPECT_EQ(second.size(), 4u + 1 + 2 + 2);
}

TEST(AuxCodedValues, OverlongOrCutRecordsKeepTheStore) {
  CodedEncoder enc;
  Coded t;
  AuxBytes raw;
  ASSERT_EQ(t.run(enc.encode(0, 1, 1, {{3, 30}}, &raw)), k01::kAuxOk);
  // 82 codes would make a raw record of 13 + 246 bytes, beyond one length byte.
  AuxBytes many = {0x02, 0, 41, 0, 0x00};
  for (uint8_t code = 10; code < 92; ++code) {
    many.push_back(static_cast<uint8_t>(code | 0x80));
    many.push_back(0);
    many.push_back(code);
  }
  many.push_back(0);
  many.push_back(0);
  many[1] = static_cast<uint8_t>(many.size());
  EXPECT_EQ(t.run(many), k01::kAuxOverrun);
  const AuxBytes cut = {0x02, 8, 41, 0, 0x00, 0x85, 0, 0};  // raw value without its bytes
  EXPECT_EQ(t.run(cut), k01::kAuxOverrun);
  // The store still holds only code 3.
  const AuxBytes next = enc.encode(0, 1, 2, {{3, 30}}, &raw);
  ASSERT_EQ(t.run(next), k01::kAuxOk);
  EXPECT_EQ(fromRecord(t.out), raw);
}

}  // namespace
