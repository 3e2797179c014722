// Byte-array arithmetic and the delta-coded field updates.
#include <gtest/gtest.h>

#include <vector>

#include "k01lib/byte_arith.h"
#include "k01lib/delta_fields.h"

namespace k01 {
namespace {

using Bytes = std::vector<uint8_t>;

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

// Every width from 1 to 8 bytes against 128-bit arithmetic: sums and
// differences wrap at 2^(8w) and report the carry or borrow.
TEST(BytesArithmetic, AddSubPredictWrapAtTheirWidth) {
  const uint64_t values[] = {0, 1, 0x7F, 0x80, 0xFF, 0x1234, 0x8000, 0xFFFF, 0x00FF00FF,
                             0x80000000, 0xFFFFFFFF, 0x0123456789ABCDEF, 0x8000000000000000,
                             0xFFFFFFFFFFFFFFFF};
  auto toBytes = [](uint64_t v, size_t w) {
    Bytes b(w);
    for (size_t i = w; i-- > 0; v >>= 8) b[i] = static_cast<uint8_t>(v);
    return b;
  };
  for (size_t w = 1; w <= 8; ++w) {
    const unsigned __int128 m = static_cast<unsigned __int128>(1) << (8 * w);
    for (uint64_t x0 : values) {
      for (uint64_t y0 : values) {
        const unsigned __int128 x = x0 % m, y = y0 % m;
        Bytes a = toBytes(static_cast<uint64_t>(x), w);
        const Bytes b = toBytes(static_cast<uint64_t>(y), w);
        const int carry = bytesAdd(a.data(), b.data(), w);
        EXPECT_EQ(a, toBytes(static_cast<uint64_t>((x + y) % m), w));
        EXPECT_EQ(carry, x + y >= m ? 1 : 0);
        a = toBytes(static_cast<uint64_t>(x), w);
        EXPECT_EQ(bytesSub(a.data(), b.data(), w), x < y ? 1 : 0);
        EXPECT_EQ(a, toBytes(static_cast<uint64_t>((x + m - y) % m), w));
        Bytes c(w);
        const unsigned __int128 diff = (y + m - x) % m;
        EXPECT_EQ(bytesPredict(toBytes(static_cast<uint64_t>(x), w).data(), b.data(), c.data(), w),
                  diff + y >= m ? 1 : 0);
        EXPECT_EQ(c, toBytes(static_cast<uint64_t>((diff + y) % m), w));
      }
    }
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

}  // namespace
}  // namespace k01
