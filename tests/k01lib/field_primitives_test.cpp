// Field readers and the record writer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "common/scale.h"
#include "k01lib/field_readers.h"
#include "k01lib/record_writer.h"

namespace k01 {
namespace {

TEST(ReadScaled, Table) {
  const struct {
    std::vector<uint8_t> bytes;
    int e;
    bool isSigned;
    double expected;
  } cases[] = {
      {{0xFF, 0xFF, 0xFF}, -6, true, -std::ldexp(1.0, -6)},
      {{0xFF, 0xFF, 0xFF}, -6, false, std::ldexp(16777215.0, -6)},
      {{0x00, 0x00, 0x00, 0x01, 0x00, 0x00}, -15, true, 2.0},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -15, true, -std::ldexp(1.0, -15)},
      {{0x80, 0x00, 0x00, 0x00}, -31, true, -1.0},
      {{0x80, 0x00, 0x00, 0x00}, -31, false, 1.0},
      {{0xFE}, 3, true, -16.0},
      {{0x00, 0x00, 0x00, 0x02, 0x80}, -8, false, 2.5},
  };
  for (const auto& c : cases) {
    k01_view_t v = viewBytes(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
    EXPECT_DOUBLE_EQ(readScaled(v, 0, static_cast<uint32_t>(c.bytes.size()), c.e, c.isSigned), c.expected)
        << c.bytes.size() << " bytes, e=" << c.e;
    EXPECT_FALSE(v.overrun);
  }
}

// The scaling shortcut must give std::ldexp's bits, including the rounding
// into subnormals, overflow, signed zeros and exponents outside the range
// of one factor.
TEST(ScaleShortcut, SameBitsAsLdexp) {
  const double values[] = {0.0, -0.0, 1.0, -3.0, 16777215.0, -8388608.0, 0.1, 1e300, -1e-300,
                           4.9406564584124654e-324, 3.0000000000000004, std::nan(""),
                           HUGE_VAL};
  const int exponents[] = {-1100, -1074, -1060, -1022, -64, -31, -19, -15, -8, -7, -6, -2,
                           0, 3, 40, 1023, 1024, 1100};
  for (double v : values) {
    for (int e : exponents) {
      const double want = std::ldexp(v, e);
      const double got = sc::Ldexp(v, e);
      uint64_t a, b;
      std::memcpy(&a, &want, 8);
      std::memcpy(&b, &got, 8);
      EXPECT_EQ(a, b) << v << " * 2^" << e;
    }
  }
}

TEST(FieldReaders, ReadsPastTheRecordFailAndYieldZero) {
  static k01_record_t rec{};
  rec.length = 6;
  for (int i = 0; i < 16; ++i) rec.bytes[i] = 0xAA;  // bytes beyond the length are not the record's
  double (*const probes[])(k01_view_t&) = {
      [](k01_view_t& v) { return double(readByte(v, 6)); },
      [](k01_view_t& v) { return double(readUnsigned(v, 3, 4)); },
      [](k01_view_t& v) { return double(readUnsigned(v, 0, 5)); },
      [](k01_view_t& v) { return double(readFloat(v, 4)); },
      [](k01_view_t& v) { return readDouble(v, 0); },
      [](k01_view_t& v) { return readScaled(v, 2, 6, 0, true); },
      [](k01_view_t& v) { return double(readByte(v, 0xFFFFFFFFu)); },
  };
  for (size_t i = 0; i < std::size(probes); ++i) {
    k01_view_t v = viewRecord(rec);
    EXPECT_EQ(probes[i](v), 0.0) << i;
    EXPECT_TRUE(v.overrun) << i;
  }
  uint8_t out[4] = {1, 2, 3, 4};
  k01_view_t v = viewRecord(rec);
  readBytes(v, 4, 4, out);
  EXPECT_TRUE(v.overrun);
  EXPECT_EQ(out[0] | out[1] | out[2] | out[3], 0);
  k01_view_t whole = viewRecord(rec);
  EXPECT_EQ(readUnsigned(whole, 2, 4), 0xAAAAAAAAu);  // up to the end is fine
  EXPECT_FALSE(whole.overrun);
  rec.length = 60000;  // a corrupt count is capped at the buffer
  k01_view_t capped = viewRecord(rec);
  EXPECT_EQ(capped.length, kRecordCapacity);
}

TEST(RecordWriter, ScaledWritersRoundHalvesAwayFromZeroAndTruncate) {
  const struct {
    int width;
    double x;
    int e;
    std::vector<uint8_t> expected;
  } cases[] = {
      {2, -1.5, 0, {0xFF, 0xFE}},        {2, 2.5, 0, {0x00, 0x03}},
      {2, -0.5, 0, {0xFF, 0xFF}},        {2, 0.49, 0, {0x00, 0x00}},
      {2, 70000.0, 0, {0x11, 0x70}},     {3, -1.0, 6, {0xFF, 0xFF, 0xC0}},
      {4, -1.0, 31, {0x80, 0x00, 0x00, 0x00}},
      {4, 1099511627781.0, 0, {0x00, 0x00, 0x00, 0x05}},  // 2^40 + 5 keeps its low 32 bits
  };
  for (const auto& c : cases) {
    k01_record_t rec{};
    rec.length = 1;
    ASSERT_TRUE(c.width == 2   ? appendScaled16(rec, c.x, c.e)
                : c.width == 3 ? appendScaled24(rec, c.x, c.e)
                               : appendScaled32(rec, c.x, c.e));
    ASSERT_EQ(rec.length, 1 + c.width);
    EXPECT_EQ(std::vector<uint8_t>(rec.bytes + 1, rec.bytes + rec.length), c.expected) << c.x;
  }
}

TEST(RecordWriter, AppendsStopAtTheBufferEnd) {
  k01_record_t rec{};
  ASSERT_TRUE(appendU16(rec, 0x12345));
  ASSERT_TRUE(appendU24(rec, 0xABCDEF01));
  ASSERT_TRUE(appendU32(rec, 0xCAFEBABE));
  EXPECT_EQ(std::vector<uint8_t>(rec.bytes, rec.bytes + rec.length),
            (std::vector<uint8_t>{0x23, 0x45, 0xCD, 0xEF, 0x01, 0xCA, 0xFE, 0xBA, 0xBE}));
  rec.length = kRecordCapacity - 3;
  EXPECT_FALSE(appendU32(rec, 1));
  EXPECT_EQ(rec.length, kRecordCapacity - 3);  // nothing written
  EXPECT_TRUE(appendU24(rec, 1));
  EXPECT_FALSE(appendByte(rec, 1));
  EXPECT_FALSE(appendScaled16(rec, 1.0, 0));
}

}  // namespace
}  // namespace k01
