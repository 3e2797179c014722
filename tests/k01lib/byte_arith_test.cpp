// Byte-array arithmetic and the delta-coded field updates.
#include <gtest/gtest.h>

#include <vector>

#include "k01lib/byte_arith.h"
#include "k01lib/delta_fields.h"

namespace k01 {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(BytesArithmetic, AddAndSubWrapAtTheWidthAndReportCarry) {
  struct Case {
    Bytes a, b, sum;
    int carry;
    Bytes diff;
    int borrow;
  };
  const Case cases[] = {
      {{0x00, 0xFF}, {0x00, 0x01}, {0x01, 0x00}, 0, {0x00, 0xFE}, 0},
      {{0xFF, 0xFF}, {0x00, 0x01}, {0x00, 0x00}, 1, {0xFF, 0xFE}, 0},
      {{0x00, 0x00, 0x00}, {0x00, 0x00, 0x01}, {0x00, 0x00, 0x01}, 0, {0xFF, 0xFF, 0xFF}, 1},
      {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, {0x01, 0x01, 0x01, 0x01, 0x01, 0x01},
       {0x13, 0x35, 0x57, 0x79, 0x9B, 0xBD}, 0, {0x11, 0x33, 0x55, 0x77, 0x99, 0xBB}, 0},
  };
  for (const Case& c : cases) {
    Bytes a = c.a;
    EXPECT_EQ(bytesAdd(a.data(), c.b.data(), a.size()), c.carry);
    EXPECT_EQ(a, c.sum);
    a = c.a;
    EXPECT_EQ(bytesSub(a.data(), c.b.data(), a.size()), c.borrow);
    EXPECT_EQ(a, c.diff);
  }
}

TEST(BytesArithmetic, CompareReturnsTheFirstByteDifference) {
  const Bytes a = {0x10, 0x80, 0x00};
  EXPECT_EQ(bytesCompare(a.data(), Bytes{0x10, 0x80, 0x00}.data(), 3), 0);
  EXPECT_EQ(bytesCompare(a.data(), Bytes{0x10, 0x7F, 0xFF}.data(), 3), 1);
  EXPECT_EQ(bytesCompare(a.data(), Bytes{0x20, 0x00, 0x00}.data(), 3), -16);
  EXPECT_EQ(bytesCompare(a.data(), Bytes{0x10, 0x80, 0x05}.data(), 3), -5);
}

TEST(BytesArithmetic, LengthCountsSignificantBytes) {
  struct Case {
    Bytes a;
    bool isSigned;
    size_t expected;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, false, 0},     {{0, 0, 0, 0}, true, 0},
      {{0, 0, 0x7F, 1}, true, 2},   {{0, 0, 0x80, 1}, true, 3},
      {{0, 0, 0x80, 1}, false, 2},  {{0xFF, 0xFF, 0xFF, 0xFE}, true, 5},
      {{0, 0, 0, 5}, true, 1},      {{0x01, 0, 0, 0}, false, 4},
  };
  for (const Case& c : cases)
    EXPECT_EQ(bytesLength(c.a.data(), c.a.size(), c.isSigned), c.expected);
}

TEST(BytesArithmetic, ShiftRightIsArithmetic) {
  struct Case {
    Bytes a;
    unsigned s;
    Bytes expected;
  };
  const Case cases[] = {
      {{0xFF, 0xF0}, 2, {0xFF, 0xFC}},
      {{0x7F, 0xF0}, 2, {0x1F, 0xFC}},
      {{0x80, 0x00, 0x01}, 8, {0xFF, 0x80, 0x00}},
      {{0x12, 0x34}, 0, {0x12, 0x34}},
      {{0x81, 0x01}, 1, {0xC0, 0x80}},
      {{0x40, 0x00, 0x00}, 12, {0x00, 0x04, 0x00}},  // beyond 8 bits: whole byte then 4
  };
  for (const Case& c : cases) {
    Bytes a = c.a;
    bytesShiftRight(a.data(), c.s, a.size());
    EXPECT_EQ(a, c.expected) << "shift " << c.s;
  }
}

TEST(BytesArithmetic, PredictExtrapolatesLinearly) {
  struct Case {
    Bytes a, b, c;
    int carry;
  };
  const Case cases[] = {
      {{0x00, 0x10}, {0x00, 0x18}, {0x00, 0x20}, 0},
      {{0x00, 0x18}, {0x00, 0x10}, {0x00, 0x08}, 1},  // (b - a) wraps to FF F8; + b carries
      {{0xFF, 0xFF}, {0x00, 0x00}, {0x00, 0x01}, 0},  // -1, 0 -> 1
      {{0x00, 0x00, 0x01}, {0x7F, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFD}, 0},
  };
  for (const Case& c : cases) {
    Bytes out(c.a.size());
    EXPECT_EQ(bytesPredict(c.a.data(), c.b.data(), out.data(), out.size()), c.carry);
    EXPECT_EQ(out, c.c);
    // The result may be written over either input.
    Bytes a = c.a;
    bytesPredict(a.data(), c.b.data(), a.data(), a.size());
    EXPECT_EQ(a, c.c);
    Bytes b = c.b;
    bytesPredict(c.a.data(), b.data(), b.data(), b.size());
    EXPECT_EQ(b, c.c);
  }
}

// ---- delta-coded fields ----

struct FieldCase {
  const char* name;
  unsigned mode, rawMode;
  Bytes input;  // bytes behind the cursor
  Bytes ref;
  bool ok;
  Bytes expected;
  size_t consumed;
};

TEST(UpdateField, Table) {
  const Bytes ref = {0x00, 0x00, 0x01, 0x00};
  const FieldCase cases[] = {
      {"minus 5", 2, 3, {0x80, 0x05}, ref, true, {0x00, 0x00, 0x00, 0xFB}, 2},
      {"plus 5", 2, 3, {0x00, 0x05}, ref, true, {0x00, 0x00, 0x01, 0x05}, 2},
      {"one byte, sign cleared from magnitude", 1, 3, {0x81}, ref, true, {0x00, 0x00, 0x00, 0xFF}, 1},
      {"full width delta", 4, 7, {0x00, 0x00, 0x00, 0x01}, ref, true, {0x00, 0x00, 0x01, 0x01}, 4},
      {"raw", 3, 3, {0xDE, 0xAD, 0xBE, 0xEF}, ref, true, {0xDE, 0xAD, 0xBE, 0xEF}, 4},
      {"mode 0 copies the reference", 0, 3, {0x11}, ref, true, ref, 0},
      {"rawMode 0: mode 0 reads raw", 0, 0, {1, 2, 3, 4}, ref, true, {1, 2, 3, 4}, 4},
      {"mode wider than the field", 5, 4, {1, 2, 3, 4, 5}, ref, false, {}, 0},
      {"cursor runs out", 2, 3, {0x80}, ref, false, {}, 0},
      {"raw bytes run out", 3, 3, {1, 2, 3}, ref, false, {}, 0},
      {"wraps below zero", 1, 3, {0x82}, {0, 0, 0, 1}, true, {0xFF, 0xFF, 0xFF, 0xFF}, 1},
  };
  for (const FieldCase& c : cases) {
    k01_cursor_t cur;
    setCursor(cur, c.input.data(), static_cast<uint32_t>(c.input.size()), 0);
    Bytes dst = {0x55, 0x55, 0x55, 0x55};
    const bool ok = updateField(cur, c.mode, c.rawMode, dst.data(), c.ref.data(), 4);
    EXPECT_EQ(ok, c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(dst, c.expected) << c.name;
      EXPECT_EQ(c.input.size() - cur.left, c.consumed) << c.name;
    } else {
      EXPECT_EQ(dst, (Bytes{0x55, 0x55, 0x55, 0x55})) << c.name << ": destination kept";
    }
  }
}

TEST(UpdateField, Type27VariantTakesWideModes) {
  // Mode 5 on a 3-byte field: 5 bytes taken, sign from the first, magnitude
  // the last 3 bytes unchanged.
  const Bytes ref = {0x00, 0x10, 0x00};
  const Bytes neg = {0x80, 0x00, 0x00, 0x00, 0x01};
  k01_cursor_t cur;
  setCursor(cur, neg.data(), 5, 0);
  Bytes dst(3);
  ASSERT_TRUE(updateField27(cur, 5, 7, dst.data(), ref.data(), 3));
  EXPECT_EQ(dst, (Bytes{0x00, 0x0F, 0xFF}));
  EXPECT_EQ(cur.left, 0u);
  const Bytes pos = {0x00, 0x00, 0x80, 0x00, 0x00};  // top bit inside the magnitude stays
  setCursor(cur, pos.data(), 5, 0);
  ASSERT_TRUE(updateField27(cur, 5, 7, dst.data(), ref.data(), 3));
  EXPECT_EQ(dst, (Bytes{0x80, 0x10, 0x00}));
  // Up to the width it behaves as updateField; too few bytes still fail.
  setCursor(cur, pos.data(), 4, 0);
  EXPECT_FALSE(updateField27(cur, 5, 7, dst.data(), ref.data(), 3));
  EXPECT_FALSE(updateField(cur, 5, 7, dst.data(), ref.data(), 3));
}

TEST(UpdateStep, ModesMapToSmallSteps) {
  struct Case {
    unsigned mode, rawMode;
    Bytes expected;
  };
  const Bytes ref = {0x00, 0x10};
  const Case cases[] = {
      {0, 2, {0x00, 0x10}}, {1, 2, {0x00, 0x11}}, {3, 2, {0x00, 0x0F}},
      {3, 4, {0x00, 0x13}}, {5, 4, {0x00, 0x0D}}, {7, 4, {0x00, 0x0F}},
      {15, 16, {0x00, 0x1F}}, {17, 16, {0x00, 0x01}}, {31, 16, {0x00, 0x0F}},
  };
  for (const Case& c : cases) {
    k01_cursor_t cur;
    Bytes dst(2);
    ASSERT_TRUE(updateStep(cur, c.mode, c.rawMode, dst.data(), ref.data(), 2));
    EXPECT_EQ(dst, c.expected) << "mode " << c.mode << " raw " << c.rawMode;
  }
  // Raw mode takes w bytes; a step below zero wraps.
  const Bytes raw = {0xAB, 0xCD};
  k01_cursor_t cur;
  setCursor(cur, raw.data(), 2, 0);
  Bytes dst(2);
  ASSERT_TRUE(updateStep(cur, 4, 4, dst.data(), ref.data(), 2));
  EXPECT_EQ(dst, raw);
  EXPECT_FALSE(updateStep(cur, 4, 4, dst.data(), ref.data(), 2));
  const Bytes zero = {0, 0};
  ASSERT_TRUE(updateStep(cur, 3, 2, dst.data(), zero.data(), 2));
  EXPECT_EQ(dst, (Bytes{0xFF, 0xFF}));
}

TEST(UpdateSmall, OneByteField) {
  const uint8_t ref = 10;
  const uint8_t input[] = {0x77};
  struct Case {
    uint8_t magnitude;
    bool flag;
    uint8_t expected;
    uint32_t left;
  };
  const Case cases[] = {{0, true, 0x77, 0}, {0, false, 10, 1}, {3, true, 7, 1},
                        {3, false, 13, 1},  {20, true, 246, 1}, {250, false, 4, 1}};
  for (const Case& c : cases) {
    k01_cursor_t cur;
    setCursor(cur, input, 1, 0);
    uint8_t dst = 0;
    ASSERT_TRUE(updateSmall(cur, c.magnitude, c.flag, &dst, &ref));
    EXPECT_EQ(dst, c.expected);
    EXPECT_EQ(cur.left, c.left);
  }
  k01_cursor_t empty;
  uint8_t dst = 0;
  EXPECT_FALSE(updateSmall(empty, 0, true, &dst, &ref));
  EXPECT_TRUE(empty.overrun);
}

TEST(Cursor, TakesAreBoundedByTheRecord) {
  const uint8_t rec[] = {1, 2, 3, 4, 5};
  k01_cursor_t cur;
  setCursor(cur, rec, 5, 3);
  EXPECT_EQ(takeByte(cur), 4);
  uint8_t two[2] = {9, 9};
  EXPECT_FALSE(takeBytes(cur, two, 2));
  EXPECT_TRUE(cur.overrun);
  EXPECT_EQ(two[0], 9);
  EXPECT_EQ(takeByte(cur), 5);
  EXPECT_EQ(takeByte(cur), 0);
  setCursor(cur, rec, 5, 9);  // offset beyond the record
  EXPECT_EQ(cur.left, 0u);
  EXPECT_FALSE(takeBytes(cur, two, 1));
}

}  // namespace
}  // namespace k01
