// Field readers and the record writer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "k01lib/field_readers.h"
#include "k01lib/record_writer.h"

namespace k01 {
namespace {

struct ScaledCase {
  std::vector<uint8_t> bytes;
  uint32_t n;
  int e;
  bool isSigned;
  double expected;
};

TEST(ReadScaled, Table) {
  const ScaledCase cases[] = {
      {{0xFF, 0xFF, 0xFF}, 3, -6, true, -std::ldexp(1.0, -6)},
      {{0xFF, 0xFF, 0xFF}, 3, -6, false, std::ldexp(16777215.0, -6)},
      {{0x00, 0x00, 0x00, 0x01, 0x00, 0x00}, 6, -15, true, 2.0},
      // 48-bit two's complement -1 in units of 2^-15.
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 6, -15, true, -std::ldexp(1.0, -15)},
      // 32-bit: the most negative value.
      {{0x80, 0x00, 0x00, 0x00}, 4, -31, true, -1.0},
      {{0x80, 0x00, 0x00, 0x00}, 4, -31, false, 1.0},
      // 2 bytes signed, positive below the sign bit.
      {{0x7F, 0xFF}, 2, 0, true, 32767.0},
      {{0x80, 0x00}, 2, 0, true, -32768.0},
      // 1 byte with a positive exponent.
      {{0xFE}, 1, 3, true, -16.0},
      // 5 bytes: high part 00 00 00 02, low byte 0x80, e = -8 -> 2*2^0 + 0.5.
      {{0x00, 0x00, 0x00, 0x02, 0x80}, 5, -8, false, 2.5},
      {{0x12}, 0, 5, true, 0.0},
  };
  for (const ScaledCase& c : cases) {
    k01_view_t v = viewBytes(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
    EXPECT_DOUBLE_EQ(readScaled(v, 0, c.n, c.e, c.isSigned), c.expected)
        << "n=" << c.n << " e=" << c.e << " signed=" << c.isSigned;
    EXPECT_FALSE(v.overrun);
  }
}

TEST(FieldReaders, IntegersAndFloatsAreMostSignificantByteFirst) {
  // 1.0f is 3F 80 00 00; -2.0 is C0 00 00 00 00 00 00 00.
  const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x3F, 0x80, 0x00, 0x00,
                           0xC0, 0, 0, 0, 0, 0, 0, 0};
  k01_view_t v = viewBytes(bytes, sizeof bytes);
  EXPECT_EQ(readByte(v, 1), 0x34);
  EXPECT_EQ(readUnsigned(v, 0, 1), 0x12u);
  EXPECT_EQ(readUnsigned(v, 0, 2), 0x1234u);
  EXPECT_EQ(readUnsigned(v, 1, 3), 0x345678u);
  EXPECT_EQ(readUnsigned(v, 0, 4), 0x12345678u);
  EXPECT_EQ(readFloat(v, 4), 1.0f);
  EXPECT_EQ(readDouble(v, 8), -2.0);
  uint8_t out[3];
  readBytes(v, 2, 3, out);
  EXPECT_EQ(0, std::memcmp(out, bytes + 2, 3));
  EXPECT_FALSE(v.overrun);
}

TEST(FieldReaders, ReadsPastTheRecordFailAndYieldZero) {
  k01_record_t rec{};
  rec.length = 6;
  for (int i = 0; i < 16; ++i) rec.bytes[i] = 0xAA;  // bytes beyond the length exist but are not the record's
  struct Probe {
    const char* name;
    double (*read)(k01_view_t&);
  };
  const Probe probes[] = {
      {"byte at length", [](k01_view_t& v) { return double(readByte(v, 6)); }},
      {"u32 across the end", [](k01_view_t& v) { return double(readUnsigned(v, 3, 4)); }},
      {"u32 with n > 4", [](k01_view_t& v) { return double(readUnsigned(v, 0, 5)); }},
      {"float across the end", [](k01_view_t& v) { return double(readFloat(v, 4)); }},
      {"double longer than the record", [](k01_view_t& v) { return readDouble(v, 0); }},
      {"scaled across the end", [](k01_view_t& v) { return readScaled(v, 2, 6, 0, true); }},
      {"offset far beyond", [](k01_view_t& v) { return double(readByte(v, 0xFFFFFFFFu)); }},
  };
  for (const Probe& p : probes) {
    k01_view_t v = viewRecord(rec);
    EXPECT_EQ(p.read(v), 0.0) << p.name;
    EXPECT_TRUE(v.overrun) << p.name;
  }
  k01_view_t v = viewRecord(rec);
  uint8_t out[4] = {1, 2, 3, 4};
  readBytes(v, 4, 4, out);
  EXPECT_TRUE(v.overrun);
  EXPECT_EQ(out[0] | out[1] | out[2] | out[3], 0);
  // Reading exactly up to the end is fine.
  k01_view_t whole = viewRecord(rec);
  EXPECT_EQ(readUnsigned(whole, 2, 4), 0xAAAAAAAAu);
  EXPECT_FALSE(whole.overrun);
}

TEST(FieldReaders, ViewOfRecordIsCappedAtTheBuffer) {
  static k01_record_t rec{};
  rec.length = 60000;  // a corrupt count
  k01_view_t v = viewRecord(rec);
  EXPECT_EQ(v.length, kRecordCapacity);
  readByte(v, kRecordCapacity);
  EXPECT_TRUE(v.overrun);
}

struct ScaledWrite {
  int width;
  double x;
  int e;
  std::vector<uint8_t> expected;
};

TEST(RecordWriter, ScaledWritersRoundHalvesAwayFromZeroAndTruncate) {
  const ScaledWrite cases[] = {
      {2, -1.5, 0, {0xFF, 0xFE}},
      {2, 2.5, 0, {0x00, 0x03}},
      {2, 0.5, 0, {0x00, 0x01}},
      {2, -0.5, 0, {0xFF, 0xFF}},
      {2, 0.49, 0, {0x00, 0x00}},
      {2, 70000.0, 0, {0x11, 0x70}},          // 70000 = 0x11170, truncated to 16 bits
      {3, 1.0, -6, {0x00, 0x00, 0x00}},       // 1 * 2^-6 rounds to 0
      {3, 1.0, 6, {0x00, 0x00, 0x40}},
      {3, -1.0, 6, {0xFF, 0xFF, 0xC0}},
      {4, 0.25, 31, {0x20, 0x00, 0x00, 0x00}},
      {4, -1.0, 31, {0x80, 0x00, 0x00, 0x00}},
      {4, 1099511627781.0, 0, {0x00, 0x00, 0x00, 0x05}},  // 2^40 + 5 keeps its low 32 bits
  };
  for (const ScaledWrite& c : cases) {
    k01_record_t rec{};
    rec.length = 1;
    bool ok = c.width == 2 ? appendScaled16(rec, c.x, c.e)
              : c.width == 3 ? appendScaled24(rec, c.x, c.e)
                             : appendScaled32(rec, c.x, c.e);
    ASSERT_TRUE(ok);
    ASSERT_EQ(rec.length, 1 + c.width);
    EXPECT_EQ(std::vector<uint8_t>(rec.bytes + 1, rec.bytes + 1 + c.width), c.expected)
        << "x=" << c.x << " e=" << c.e;
  }
}

TEST(RecordWriter, AppendsAdvanceTheCountAndStopAtTheBufferEnd) {
  k01_record_t rec{};
  ASSERT_TRUE(appendByte(rec, 0x02));
  ASSERT_TRUE(appendU16(rec, 0x12345));
  ASSERT_TRUE(appendU24(rec, 0xABCDEF01));
  ASSERT_TRUE(appendU32(rec, 0xCAFEBABE));
  const uint8_t tail[] = {9, 8};
  ASSERT_TRUE(appendBytes(rec, tail, 2));
  const std::vector<uint8_t> expected = {0x02, 0x23, 0x45, 0xCD, 0xEF, 0x01,
                                         0xCA, 0xFE, 0xBA, 0xBE, 9, 8};
  EXPECT_EQ(std::vector<uint8_t>(rec.bytes, rec.bytes + rec.length), expected);

  rec.length = kRecordCapacity - 3;
  EXPECT_FALSE(appendU32(rec, 1));
  EXPECT_EQ(rec.length, kRecordCapacity - 3);  // nothing written
  EXPECT_TRUE(appendU24(rec, 1));
  EXPECT_EQ(rec.length, kRecordCapacity);
  EXPECT_FALSE(appendByte(rec, 1));
  EXPECT_FALSE(appendScaled16(rec, 1.0, 0));
}

}  // namespace
}  // namespace k01
