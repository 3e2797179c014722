// The static Huffman code: known codes, completeness, byte decoding, round trips.
#include <gtest/gtest.h>

#include <vector>

#include "k01lib/huffman.h"
#include "k01lib/k01_writer.h"

namespace k01 {
namespace {

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
  // Kraft sum of a full binary tree is exactly 1 (in units of 2^-40).
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

TEST(HuffmanDecode, EncodeThenDecodeRoundTrips) {
  std::vector<std::vector<uint8_t>> inputs = {{}, {0}, {2, 2, 2}, std::vector<uint8_t>(5000)};
  uint32_t x = 7;
  for (auto& b : inputs.back()) b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  for (const auto& in : inputs) {
    std::vector<uint8_t> decoded;
    const k01_huff_node_t* cursor = nullptr;
    int last = 0;
    for (uint8_t b : huffmanEncode(in, true)) {
      uint8_t out[4];
      last = huffmanDecodeByte(&cursor, b, out, false);
      if (last != kHuffmanFlush) decoded.insert(decoded.end(), out, out + last);
    }
    EXPECT_EQ(last, kHuffmanFlush);
    EXPECT_EQ(decoded, in);

    // The whole-block decoder and the direct decoder give the same bytes.
    const std::vector<uint8_t> coded = huffmanEncode(in, false);
    std::vector<uint8_t> block(in.size() + 8);
    bool full = true;
    block.resize(huffmanDecodeBlock(coded.data(), coded.size(), block.data(), block.size(), &full));
    EXPECT_FALSE(full);
    EXPECT_EQ(block, in);
    std::vector<uint8_t> direct(in.size() + 16);
    size_t n = 0;
    cursor = nullptr;
    for (uint8_t b : coded) n += static_cast<size_t>(huffmanDecodeInto(&cursor, b, direct.data() + n));
    direct.resize(n);
    EXPECT_EQ(direct, in);
  }
}

// No code is shorter than 2 bits, so one coded byte never completes more
// than 4 symbols (the room the byte-wise decoder's callers give).
TEST(HuffmanDecode, CodesAreAtLeastTwoBits) {
  for (uint16_t s = 0; s < kHuffmanSymbols; ++s) EXPECT_GE(huffmanCode(s).length, 2) << s;
}

// A block decoder that runs out of room says so and keeps what fitted.
TEST(HuffmanDecode, BlockDecoderStopsWhenFull) {
  const std::vector<uint8_t> in(100, 0x41);
  const std::vector<uint8_t> coded = huffmanEncode(in, false);
  std::vector<uint8_t> out(40);
  bool full = false;
  const size_t n = huffmanDecodeBlock(coded.data(), coded.size(), out.data(), out.size(), &full);
  EXPECT_TRUE(full);
  EXPECT_LE(n, out.size());
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + static_cast<long>(n)),
            std::vector<uint8_t>(n, 0x41));
}

}  // namespace
}  // namespace k01
