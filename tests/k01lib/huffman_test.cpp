// The static Huffman code: tree shape, byte decoding and round trips.
#include <gtest/gtest.h>

#include <vector>

#include "k01lib/huffman.h"
#include "k01lib/k01_writer.h"

namespace k01 {
namespace {

TEST(HuffmanCode, KnownCodes) {
  struct Case {
    uint16_t symbol;
    uint64_t bits;
    uint8_t length;
  };
  const Case cases[] = {
      {0, 0b100, 3}, {2, 0b01011, 5}, {34, 0b0100, 4}, {256, 0b10111001111, 11}};
  for (const Case& c : cases) {
    const k01_huff_code_t code = huffmanCode(c.symbol);
    EXPECT_EQ(code.length, c.length) << "symbol " << c.symbol;
    EXPECT_EQ(code.bits, c.bits) << "symbol " << c.symbol;
  }
}

TEST(HuffmanCode, EveryCodeIsAtLeastThreeBitsAndTheCodeIsComplete) {
  // Kraft sum of a full binary tree is exactly 1; count it in units of 2^-40.
  uint64_t kraft = 0;
  for (uint16_t s = 0; s < kHuffmanSymbols; ++s) {
    const k01_huff_code_t code = huffmanCode(s);
    ASSERT_GE(code.length, 3) << "symbol " << s;
    ASSERT_LE(code.length, 40) << "symbol " << s;
    kraft += uint64_t{1} << (40 - code.length);
  }
  EXPECT_EQ(kraft, uint64_t{1} << 40);
}

TEST(HuffmanDecode, CodesSpanBytesAndTheFlushSymbolEndsTheByte) {
  // Symbols 0, 34, 0 then the flush symbol, padded with zeros:
  // 100 0100 100 10111001111 000 -> 10001001 00101110 01111000.
  const uint8_t coded[] = {0x89, 0x2E, 0x78};
  const k01_huff_node_t* cursor = nullptr;
  uint8_t out[4];
  ASSERT_EQ(huffmanDecodeByte(&cursor, coded[0], out, false), 2);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 34);
  ASSERT_EQ(huffmanDecodeByte(&cursor, coded[1], out, false), 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(huffmanDecodeByte(&cursor, coded[2], out, false), kHuffmanFlush);
  EXPECT_EQ(cursor, huffmanRoot());
  // Reset moves a cursor left inside a code back to the root.
  huffmanDecodeByte(&cursor, 0x80, out, false);  // "1": inside the tree
  EXPECT_NE(cursor, huffmanRoot());
  EXPECT_EQ(huffmanDecodeByte(&cursor, 0x00, out, true), 0);
  EXPECT_EQ(cursor, huffmanRoot());
}

TEST(HuffmanDecode, EncodeThenDecodeRoundTrips) {
  std::vector<std::vector<uint8_t>> inputs = {{}, {0}, {2, 2, 2}, {255, 0, 128, 34, 7}};
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(255 - i);
  inputs.push_back(all);
  std::vector<uint8_t> noisy(5000);
  uint32_t x = 7;
  for (auto& b : noisy) b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  inputs.push_back(noisy);
  for (const auto& in : inputs) {
    const std::vector<uint8_t> coded = huffmanEncode(in, true);
    std::vector<uint8_t> decoded;
    const k01_huff_node_t* cursor = nullptr;
    int last = 0;
    for (uint8_t b : coded) {
      uint8_t out[4];
      last = huffmanDecodeByte(&cursor, b, out, false);
      if (last != kHuffmanFlush) decoded.insert(decoded.end(), out, out + last);
    }
    EXPECT_EQ(last, kHuffmanFlush);
    EXPECT_EQ(decoded, in);
  }
}

TEST(HuffmanTree, RebuildKeepsCursorsValid) {
  const k01_huff_node_t* root = huffmanRoot();
  freeHuffmanTree();
  EXPECT_FALSE(huffmanTreeBuilt());
  buildHuffmanTree();
  EXPECT_EQ(huffmanRoot(), root);
  EXPECT_EQ(huffmanCode(0).length, 3);
}

}  // namespace
}  // namespace k01
