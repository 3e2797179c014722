// Byte-array arithmetic and the delta-coded field updates.
#include <gtest/gtest.h>

#include <vector>

#include "k01lib/byte_arith.h"
#include "k01lib/delta_fields.h"

namespace k01 {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(BytesArithmetic, AddSubCompareWrapAtTheWidth) {
  const struct {
    Bytes a, b, sum;
    int carry;
    Bytes diff;
    int borrow;
  } cases[] = {
      {{0x00, 0xFF}, {0x00, 0x01}, {0x01, 0x00}, 0, {0x00, 0xFE}, 0},
      {{0xFF, 0xFF}, {0x00, 0x01}, {0x00, 0x00}, 1, {0xFF, 0xFE}, 0},
      {{0x00, 0x00, 0x00}, {0x00, 0x00, 0x01}, {0x00, 0x00, 0x01}, 0, {0xFF, 0xFF, 0xFF}, 1},
  };
  for (const auto& c : cases) {
    Bytes a = c.a;
    EXPECT_EQ(bytesAdd(a.data(), c.b.data(), a.size()), c.carry);
    EXPECT_EQ(a, c.sum);
    a = c.a;
    EXPECT_EQ(bytesSub(a.data(), c.b.data(), a.size()), c.borrow);
    EXPECT_EQ(a, c.diff);
  }
  const Bytes a = {0x10, 0x80, 0x00};
  EXPECT_EQ(bytesCompare(a.data(), Bytes{0x10, 0x80, 0x00}.data(), 3), 0);
  EXPECT_EQ(bytesCompare(a.data(), Bytes{0x10, 0x7F, 0xFF}.data(), 3), 1);
  EXPECT_EQ(bytesCompare(a.data(), Bytes{0x20, 0x00, 0x00}.data(), 3), -16);
}

TEST(BytesArithmetic, LengthCountsSignificantBytes) {
  const struct {
    Bytes a;
    bool isSigned;
    size_t expected;
  } cases[] = {{{0, 0, 0, 0}, true, 0},    {{0, 0, 0x7F, 1}, true, 2}, {{0, 0, 0x80, 1}, true, 3},
               {{0, 0, 0x80, 1}, false, 2}, {{0xFF, 0xFF, 0xFF, 0xFE}, true, 5}};
  for (const auto& c : cases) EXPECT_EQ(bytesLength(c.a.data(), c.a.size(), c.isSigned), c.expected);
}

TEST(BytesArithmetic, ShiftRightIsArithmetic) {
  const struct {
    Bytes a;
    unsigned s;
    Bytes expected;
  } cases[] = {
      {{0xFF, 0xF0}, 2, {0xFF, 0xFC}},
      {{0x7F, 0xF0}, 2, {0x1F, 0xFC}},
      {{0x80, 0x00, 0x01}, 8, {0xFF, 0x80, 0x00}},
      {{0x40, 0x00, 0x00}, 12, {0x00, 0x04, 0x00}},
  };
  for (const auto& c : cases) {
    Bytes a = c.a;
    bytesShiftRight(a.data(), c.s, a.size());
    EXPECT_EQ(a, c.expected) << "shift " << c.s;
  }
}

TEST(BytesArithmetic, PredictExtrapolatesLinearlyEvenInPlace) {
  const struct {
    Bytes a, b, c;
    int carry;
  } cases[] = {
      {{0x00, 0x10}, {0x00, 0x18}, {0x00, 0x20}, 0},
      {{0x00, 0x18}, {0x00, 0x10}, {0x00, 0x08}, 1},  // (b - a) wraps to FF F8; + b carries
      {{0x00, 0x00, 0x01}, {0x7F, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFD}, 0},
  };
  for (const auto& c : cases) {
    Bytes out(c.a.size());
    EXPECT_EQ(bytesPredict(c.a.data(), c.b.data(), out.data(), out.size()), c.carry);
    EXPECT_EQ(out, c.c);
    Bytes a = c.a, b = c.b;
    bytesPredict(a.data(), c.b.data(), a.data(), a.size());
    bytesPredict(c.a.data(), b.data(), b.data(), b.size());
    EXPECT_EQ(a, c.c);
    EXPECT_EQ(b, c.c);
  }
}

TEST(UpdateField, Table) {
  const Bytes ref = {0x00, 0x00, 0x01, 0x00};
  const struct {
    const char* name;
    unsigned mode, rawMode;
    Bytes input;  // bytes behind the cursor
    bool ok;
    Bytes expected;
    size_t consumed;
  } cases[] = {
      {"minus 5", 2, 3, {0x80, 0x05}, true, {0x00, 0x00, 0x00, 0xFB}, 2},
      {"plus 5", 2, 3, {0x00, 0x05}, true, {0x00, 0x00, 0x01, 0x05}, 2},
      {"one byte", 1, 3, {0x81}, true, {0x00, 0x00, 0x00, 0xFF}, 1},
      {"raw", 3, 3, {0xDE, 0xAD, 0xBE, 0xEF}, true, {0xDE, 0xAD, 0xBE, 0xEF}, 4},
      {"mode 0 copies", 0, 3, {0x11}, true, ref, 0},
      {"rawMode 0: mode 0 reads raw", 0, 0, {1, 2, 3, 4}, true, {1, 2, 3, 4}, 4},
      {"mode wider than the field", 5, 4, {1, 2, 3, 4, 5}, false, {}, 0},
      {"cursor runs out", 2, 3, {0x80}, false, {}, 0},
  };
  for (const auto& c : cases) {
    k01_cursor_t cur;
    setCursor(cur, c.input.data(), static_cast<uint32_t>(c.input.size()), 0);
    Bytes dst = {0x55, 0x55, 0x55, 0x55};
    EXPECT_EQ(updateField(cur, c.mode, c.rawMode, dst.data(), ref.data(), 4), c.ok) << c.name;
    EXPECT_EQ(dst, c.ok ? c.expected : Bytes(4, 0x55)) << c.name;
    if (c.ok) {
      EXPECT_EQ(c.input.size() - cur.left, c.consumed) << c.name;
    }
  }
}

TEST(UpdateField, Type27VariantTakesWideModes) {
  // Mode 5 on a 3-byte field: sign from the first byte, magnitude the last 3.
  const Bytes ref = {0x00, 0x10, 0x00};
  const Bytes neg = {0x80, 0x00, 0x00, 0x00, 0x01};
  k01_cursor_t cur;
  setCursor(cur, neg.data(), 5, 0);
  Bytes dst(3);
  ASSERT_TRUE(updateField27(cur, 5, 7, dst.data(), ref.data(), 3));
  EXPECT_EQ(dst, (Bytes{0x00, 0x0F, 0xFF}));
  setCursor(cur, neg.data(), 4, 0);
  EXPECT_FALSE(updateField27(cur, 5, 7, dst.data(), ref.data(), 3));
}

TEST(UpdateStep, ModesMapToSmallSteps) {
  const Bytes ref = {0x00, 0x10};
  const struct {
    unsigned mode, rawMode;
    Bytes expected;
  } cases[] = {{0, 2, {0x00, 0x10}}, {1, 2, {0x00, 0x11}}, {3, 2, {0x00, 0x0F}}, {5, 4, {0x00, 0x0D}},
               {15, 16, {0x00, 0x1F}}, {17, 16, {0x00, 0x01}}};
  for (const auto& c : cases) {
    k01_cursor_t cur;
    Bytes dst(2);
    ASSERT_TRUE(updateStep(cur, c.mode, c.rawMode, dst.data(), ref.data(), 2));
    EXPECT_EQ(dst, c.expected) << "mode " << c.mode << " raw " << c.rawMode;
  }
  const Bytes raw = {0xAB, 0xCD};
  k01_cursor_t cur;
  setCursor(cur, raw.data(), 2, 0);
  Bytes dst(2);
  ASSERT_TRUE(updateStep(cur, 4, 4, dst.data(), ref.data(), 2));
  EXPECT_EQ(dst, raw);
  EXPECT_FALSE(updateStep(cur, 4, 4, dst.data(), ref.data(), 2));
}

TEST(UpdateSmall, OneByteField) {
  const uint8_t ref = 10, input = 0x77;
  const struct {
    uint8_t magnitude;
    bool flag;
    uint8_t expected;
  } cases[] = {{0, true, 0x77}, {0, false, 10}, {3, true, 7}, {3, false, 13}, {20, true, 246}};
  for (const auto& c : cases) {
    k01_cursor_t cur;
    setCursor(cur, &input, 1, 0);
    uint8_t dst = 0;
    ASSERT_TRUE(updateSmall(cur, c.magnitude, c.flag, &dst, &ref));
    EXPECT_EQ(dst, c.expected);
  }
  k01_cursor_t empty;
  uint8_t dst = 0;
  EXPECT_FALSE(updateSmall(empty, 0, true, &dst, &ref));
}

TEST(Cursor, TakesAreBoundedByTheRecord) {
  const uint8_t rec[] = {1, 2, 3, 4, 5};
  k01_cursor_t cur;
  setCursor(cur, rec, 5, 3);
  uint8_t three[3] = {9, 9, 9};
  EXPECT_FALSE(takeBytes(cur, three, 3));
  EXPECT_EQ(three[0], 9);
  EXPECT_EQ(takeByte(cur), 4);
  EXPECT_EQ(takeByte(cur), 5);
  EXPECT_EQ(takeByte(cur), 0);
  EXPECT_TRUE(cur.overrun);
  setCursor(cur, rec, 5, 9);  // offset beyond the record
  EXPECT_EQ(cur.left, 0u);
}

}  // namespace
}  // namespace k01
