// The library's primitives: byte-array arithmetic, the delta-coded field
// updates, the field readers, the scaling shortcut, the record writer's
// appends, and the static Huffman code (known codes, completeness, byte
// decoding, round trips).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

#include "common/scale.h"
#include "k01lib/byte_arith.h"
#include "k01lib/delta_fields.h"
#include "k01lib/field_readers.h"
#include "k01lib/huffman.h"
#include "k01lib/k01_writer.h"
#include "k01lib/record_writer.h"

namespace k01 {
namespace {

using Bytes = std::vector<uint8_t>;

// Every width from 1 to 8 bytes against 128-bit arithmetic: sums,
// differences and linear predictions 2y - x wrap at 2^(8w) and report the
// carry or borrow (the prediction also in place over either input); shifts
// right are arithmetic.
TEST(BytesArithmetic, AgreesWithWideArithmeticAtEveryWidth) {
  using U = unsigned __int128;
  const uint64_t values[] = {0, 1, 0x7F, 0x80, 0xFF, 0x1234, 0x8000, 0xFFFF, 0x00FF00FF,
                             0x80000000, 0xFFFFFFFF, 0x0123456789ABCDEF, 0x8000000000000000,
                             0xFFFFFFFFFFFFFFFF};
  auto toBytes = [](U v, size_t w) {
    Bytes b(w);
    for (size_t i = w; i-- > 0; v >>= 8) b[i] = static_cast<uint8_t>(v);
    return b;
  };
  for (size_t w = 1; w <= 8; ++w) {
    const U m = U{1} << (8 * w);
    for (uint64_t x0 : values) {
      for (uint64_t y0 : values) {
        const U x = x0 % m, y = y0 % m;
        const Bytes xb = toBytes(x, w), b = toBytes(y, w);
        Bytes a = xb;
        EXPECT_EQ(bytesAdd(a.data(), b.data(), w), x + y >= m ? 1 : 0);
        EXPECT_EQ(a, toBytes((x + y) % m, w));
        a = xb;
        EXPECT_EQ(bytesSub(a.data(), b.data(), w), x < y ? 1 : 0);
        EXPECT_EQ(a, toBytes((x + m - y) % m, w));
        const U diff = (y + m - x) % m;
        const Bytes predicted = toBytes((diff + y) % m, w);
        Bytes c(w), overA = xb, overB = b;
        EXPECT_EQ(bytesPredict(xb.data(), b.data(), c.data(), w), diff + y >= m ? 1 : 0);
        bytesPredict(overA.data(), b.data(), overA.data(), w);
        bytesPredict(xb.data(), overB.data(), overB.data(), w);
        EXPECT_EQ(c, predicted);
        EXPECT_EQ(overA, predicted);
        EXPECT_EQ(overB, predicted);
        const unsigned s = static_cast<unsigned>(y0 % (8 * w));
        const __int128 signedX = static_cast<__int128>(x) - (x >= m / 2 ? static_cast<__int128>(m) : 0);
        a = xb;
        bytesShiftRight(a.data(), s, w);
        EXPECT_EQ(a, toBytes(static_cast<U>(signedX >> s) % m, w)) << "shift " << s;
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
    EXPECT_TRUE(!c.ok || c.input.size() - cur.left == c.consumed) << c.name;
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

TEST(ReadScaled, Table) {
  const struct {
    Bytes bytes;
    int e;
    bool isSigned;
    double expected;
  } cases[] = {
      {{0xFF, 0xFF, 0xFF}, -6, true, -std::ldexp(1.0, -6)}, {{0xFF, 0xFF, 0xFF}, -6, false, std::ldexp(16777215.0, -6)},
      {{0, 0, 0, 1, 0, 0}, -15, true, 2.0},      {Bytes(6, 0xFF), -15, true, -std::ldexp(1.0, -15)},
      {{0x80, 0, 0, 0}, -31, true, -1.0},        {{0x80, 0, 0, 0}, -31, false, 1.0},
      {{0xFE}, 3, true, -16.0},                  {{0, 0, 0, 0x02, 0x80}, -8, false, 2.5},
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
      EXPECT_EQ(std::bit_cast<uint64_t>(sc::Ldexp(v, e)), std::bit_cast<uint64_t>(std::ldexp(v, e))) << v << ' ' << e;
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

TEST(RecordWriter, AppendsStopAtTheBufferEnd) {
  k01_record_t rec{};
  ASSERT_TRUE(appendU16(rec, 0x12345));
  ASSERT_TRUE(appendU24(rec, 0xABCDEF01));
  ASSERT_TRUE(appendU32(rec, 0xCAFEBABE));
  EXPECT_EQ(Bytes(rec.bytes, rec.bytes + rec.length),
            (Bytes{0x23, 0x45, 0xCD, 0xEF, 0x01, 0xCA, 0xFE, 0xBA, 0xBE}));
  rec.length = kRecordCapacity - 3;
  EXPECT_FALSE(appendU32(rec, 1));
  EXPECT_EQ(rec.length, kRecordCapacity - 3);  // nothing written
  EXPECT_TRUE(appendU24(rec, 1));
  EXPECT_FALSE(appendByte(rec, 1));
}

TEST(HuffmanCode, KnownCodesAndACompleteTree) {
  const struct {
    uint16_t symbol;
    uint64_t bits;
    uint8_t length;
  } cases[] = {{0, 0b100, 3}, {2, 0b01011, 5}, {34, 0b0100, 4}, {256, 0b10111001111, 11}};
  for (const auto& c : cases) {
    EXPECT_EQ(huffmanCode(c.symbol).length, c.length) << c.symbol;
    EXPECT_EQ(huffmanCode(c.symbol).bits, c.bits) << c.symbol;
  }
  // Kraft sum of a full binary tree is exactly 1 (in units of 2^-40). No
  // code is shorter than 3 bits, so one coded byte never completes more than
  // 4 symbols (the room the byte-wise decoder's callers give).
  uint64_t kraft = 0;
  for (uint16_t s = 0; s < kHuffmanSymbols; ++s) {
    ASSERT_GE(huffmanCode(s).length, 3) << s;
    ASSERT_LE(huffmanCode(s).length, 40) << s;
    kraft += uint64_t{1} << (40 - huffmanCode(s).length);
  }
  EXPECT_EQ(kraft, uint64_t{1} << 40);
}

TEST(HuffmanDecode, CodesSpanBytesAndTheFlushSymbolEndsTheByte) {
  // 0, 34, 0, flush, zero padding: 100 0100 100 10111001111 000.
  const k01_huff_node_t* cursor = nullptr;
  uint8_t out[4];
  ASSERT_EQ(huffmanDecodeByte(&cursor, 0x89, out, false), 2);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 34);
  ASSERT_EQ(huffmanDecodeByte(&cursor, 0x2E, out, false), 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(huffmanDecodeByte(&cursor, 0x78, out, false), kHuffmanFlush);
  EXPECT_EQ(cursor, huffmanRoot());
  huffmanDecodeByte(&cursor, 0x80, out, false);  // leaves the cursor inside a code
  EXPECT_EQ(huffmanDecodeByte(&cursor, 0x00, out, true), 0);
  EXPECT_EQ(cursor, huffmanRoot());
}

// The byte-wise, the direct and the whole-block decoders give the bytes encoded.
TEST(HuffmanDecode, EncodeThenDecodeRoundTrips) {
  std::vector<Bytes> inputs = {{}, {0}, {2, 2, 2}, Bytes(5000)};
  uint32_t x = 7;
  for (auto& b : inputs.back()) b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  for (const auto& in : inputs) {
    Bytes byteWise, direct(in.size() + 16), block(in.size() + 8);
    const k01_huff_node_t* cursor = nullptr;
    int last = 0;
    for (uint8_t b : huffmanEncode(in, true)) {
      uint8_t out[4];
      last = huffmanDecodeByte(&cursor, b, out, false);
      if (last != kHuffmanFlush) byteWise.insert(byteWise.end(), out, out + last);
    }
    EXPECT_EQ(last, kHuffmanFlush);
    EXPECT_EQ(byteWise, in);
    const Bytes coded = huffmanEncode(in, false);
    bool full = true;
    block.resize(huffmanDecodeBlock(coded.data(), coded.size(), block.data(), block.size(), &full));
    EXPECT_FALSE(full);
    EXPECT_EQ(block, in);
    size_t n = 0;
    cursor = nullptr;
    for (uint8_t b : coded) n += static_cast<size_t>(huffmanDecodeInto(&cursor, b, direct.data() + n));
    direct.resize(n);
    EXPECT_EQ(direct, in);
  }
}

// A block decoder that runs out of room says so, keeps what fitted and
// writes nothing past the room it was given.
TEST(HuffmanDecode, BlockDecoderStopsWhenFull) {
  for (uint8_t symbol : {0x00, 0x41}) {  // 3-bit and longer codes
    const Bytes coded = huffmanEncode(Bytes(100, symbol), false);
    for (size_t room : {37u, 40u}) {
      Bytes out(room + 8, 0xEE);
      bool full = false;
      const size_t n = huffmanDecodeBlock(coded.data(), coded.size(), out.data(), room, &full);
      EXPECT_TRUE(full);
      ASSERT_LE(n, room);
      EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(n)), Bytes(n, symbol));
      EXPECT_EQ(Bytes(out.begin() + static_cast<long>(room), out.end()), Bytes(8, 0xEE)) << int(symbol) << " " << room;
    }
  }
}

// The scaled writers round halves away from zero and keep the low bits of
// the width.
TEST(RecordWriter, ScaledWritersRoundHalvesAwayFromZeroAndTruncate) {
  const struct {
    int width;
    double x;
    int e;
    std::vector<uint8_t> expected;
  } cases[] = {
      {2, -1.5, 0, {0xFF, 0xFE}},    {2, 2.5, 0, {0x00, 0x03}},     {2, -0.5, 0, {0xFF, 0xFF}},
      {2, 0.49, 0, {0x00, 0x00}},    {2, 70000.0, 0, {0x11, 0x70}}, {3, -1.0, 6, {0xFF, 0xFF, 0xC0}},
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

}  // namespace
}  // namespace k01
