// The library's static Huffman code: 257 symbols (the byte values and the
// flush symbol 256) with fixed weights. The code tree is one process-wide
// table, built once and shared read-only by every decoder.
#pragma once
#include <cstddef>
#include <cstdint>

namespace k01 {

constexpr uint16_t kHuffmanSymbols = 257;
constexpr uint16_t kFlushSymbol = 256;
constexpr int kHuffmanFlush = 255;  // huffmanDecodeByte result for the flush symbol

struct k01_huff_node_t {
  uint16_t symbol;  // leaves only
  uint32_t weight;
  const k01_huff_node_t* firstChild;   // bit 1
  const k01_huff_node_t* secondChild;  // bit 0
  const k01_huff_node_t* parent;
  bool isLeaf() const { return firstChild == nullptr; }
};

// Builds the tree unless it exists. The nodes live in static storage, so a
// cursor stays valid even across freeHuffmanTree and a later rebuild (which
// produces the identical table).
void buildHuffmanTree();
void freeHuffmanTree();
bool huffmanTreeBuilt();
const k01_huff_node_t* huffmanRoot();  // builds the tree when needed

// Feeds one coded byte, most significant bit first, moving *cursor through
// the tree (a null cursor starts at the root). Decoded bytes go to output
// (room for 4). Returns the number of bytes decoded (0 to 3), or 255 when the
// flush symbol was met: the rest of the byte is padding and no byte of this
// call counts. With reset set, only moves the cursor to the root.
int huffmanDecodeByte(const k01_huff_node_t** cursor, uint8_t byte, uint8_t* output, bool reset);

// The same as a table step: `state` (an inner node, see huffmanRootState)
// moves over the eight bits of `byte`; up to 8 bytes are written to output
// (the returned count says how many count). Returns kHuffmanFlush, with the
// state back at the root, when the flush symbol was met.
// huffmanDecodeByte for callers with room for 8 bytes at output: the
// symbols are written there directly (no limit of 4).
int huffmanDecodeInto(const k01_huff_node_t** cursor, uint8_t byte, uint8_t* output);
uint8_t huffmanRootState();
int huffmanStep(uint8_t& state, uint8_t byte, uint8_t* output);
// Decodes a whole coded block from the root: the bytes of the symbols up to
// capacity (a flush symbol drops the rest of its byte and decoding goes on
// at the root). Returns the bytes produced; *full is set when a byte's
// symbols did not fit.
size_t huffmanDecodeBlock(const uint8_t* in, size_t n, uint8_t* out, size_t capacity, bool* full);

// The code of a symbol: its `length` bits are the low bits of `bits`, the
// first bit of the code being the most significant of them.
struct k01_huff_code_t {
  uint64_t bits;
  uint8_t length;
};
k01_huff_code_t huffmanCode(uint16_t symbol);

}  // namespace k01
