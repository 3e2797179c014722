#include "k01lib/huffman.h"

#include <algorithm>
#include <cstring>

namespace k01 {

namespace {

constexpr uint32_t kWeights[kHuffmanSymbols] = {
    1515815, 241282, 400337, 386328, 187548, 74852,  83794,  126506, 133977, 66051,  57172,
    142794,  59457,  58406,  67332,  54038,  65758,  54495,  72029,  57270,  52808,  52701,
    44938,   42282,  36101,  103419, 27786,  30895,  31097,  33340,  36110,  65250,  483684,
    37535,   840755, 156112, 92100,  58501,  54624,  38189,  38148,  25178,  91797,  22714,
    20314,   18825,  18698,  19699,  145805, 17260,  18033,  18909,  20866,  17443,  19281,
    18506,   22113,  19906,  19280,  30858,  18130,  18163,  17638,  37031,  154786, 17338,
    101712,  16846,  30444,  17159,  17615,  21138,  68709,  17040,  15272,  15878,  16448,
    17467,   16608,  17580,  83717,  17441,  16108,  16380,  16027,  16996,  17077,  18151,
    19685,   15030,  14718,  15676,  15051,  15298,  14948,  31936,  53826,  23546,  32911,
    21363,   14291,  13434,  55692,  21594,  29185,  13325,  12344,  13144,  12754,  13863,
    12396,   12946,  44596,  13855,  13409,  12509,  12229,  11729,  11994,  12736,  12269,
    15160,   14369,  21426,  12666,  11759,  11742,  28967,  94807,  80320,  54724,  63876,
    52727,   50806,  121922, 58835,  72122,  45937,  44144,  43163,  41795,  39933,  39158,
    38281,   53258,  35315,  33134,  37265,  29358,  31772,  28862,  31367,  25198,  26645,
    24447,   25876,  21268,  22360,  21147,  36912,  29806,  19685,  18594,  20184,  16136,
    16754,   16523,  17927,  15259,  15369,  68458,  17399,  14701,  14624,  13957,  18510,
    23344,   16507,  14111,  15534,  13698,  13079,  13310,  84860,  13452,  37645,  17685,
    52930,   12851,  13049,  12853,  21813,  59472,  13223,  13389,  12202,  11910,  12585,
    12029,   11866,  13153,  12267,  12528,  11366,  11484,  11863,  11096,  11711,  17781,
    12107,   11007,  11765,  11503,  11404,  11182,  11536,  14909,  11300,  11518,  11571,
    12147,   11722,  10871,  87646,  18396,  11444,  10519,  10927,  11236,  11350,  10544,
    11442,   12400,  11489,  10212,  11277,  11565,  11763,  10622,  12232,  16357,  34490,
    10582,   13760,  20561,  14805,  11863,  13739,  18073,  36431,  15534,  24556,  49215,
    90589,   32972,  424505, 1};

constexpr size_t kNodeCount = 2 * kHuffmanSymbols - 1;

k01_huff_node_t gNodes[kNodeCount];
const k01_huff_node_t* gRoot = nullptr;
k01_huff_code_t gCodes[kHuffmanSymbols];

// Decoding table: for each inner node (the state: node index minus 257) and
// each 4-bit group, the symbols completed while the four bits are followed
// from that node and the inner node reached. One 64-bit entry per step:
// bytes 0 to 3 the completed symbols (unused places zero), byte 4 the next
// state, byte 5 the count of symbols (0 to 4) or kStepFlush when the flush
// symbol was met.
constexpr uint64_t kStepFlush = 0x80;
uint64_t gSteps[(kHuffmanSymbols - 1) * 16];
uint8_t gRootState = 0;

inline uint8_t stepNext(uint64_t e) { return static_cast<uint8_t>(e >> 32); }
inline unsigned stepCount(uint64_t e) { return static_cast<unsigned>(e >> 40) & 0xFF; }

void buildSteps() {
  for (size_t state = 0; state + 1 < kHuffmanSymbols; ++state) {
    for (unsigned group = 0; group < 16; ++group) {
      uint64_t symbols = 0;
      uint64_t count = 0;
      const k01_huff_node_t* node = &gNodes[kHuffmanSymbols + state];
      for (int bit = 3; bit >= 0; --bit) {
        node = ((group >> bit) & 1) != 0 ? node->firstChild : node->secondChild;
        if (!node->isLeaf()) continue;
        if (node->symbol == kFlushSymbol) {
          count = kStepFlush;
          node = gRoot;
          break;
        }
        symbols |= static_cast<uint64_t>(node->symbol) << (8 * count++);
        node = gRoot;
      }
      const uint64_t next = static_cast<uint64_t>(node - &gNodes[kHuffmanSymbols]);
      gSteps[state * 16 + group] = symbols | (next << 32) | (count << 40);
    }
  }
  gRootState = static_cast<uint8_t>(gRoot - &gNodes[kHuffmanSymbols]);
}

// One coded byte from `state`: up to 8 bytes are written to out (the result
// says how many count), or kHuffmanFlush with the state back at the root.
inline int step(uint8_t& state, uint8_t byte, uint8_t* out) {
  const uint64_t hi = gSteps[state * 16u + (byte >> 4)];
  const unsigned hiCount = stepCount(hi);
  const uint64_t lo = gSteps[stepNext(hi) * 16u + (byte & 0x0Fu)];
  const unsigned loCount = stepCount(lo);
  if (((hiCount | loCount) & kStepFlush) != 0) {
    state = gRootState;
    return kHuffmanFlush;
  }
  const uint32_t hiSymbols = static_cast<uint32_t>(hi);
  const uint32_t loSymbols = static_cast<uint32_t>(lo);
  std::memcpy(out, &hiSymbols, 4);
  std::memcpy(out + hiCount, &loSymbols, 4);
  state = stepNext(lo);
  return static_cast<int>(hiCount + loCount);
}

}  // namespace

void buildHuffmanTree() {
  if (gRoot != nullptr) return;
  // Working list: each new leaf goes to the front, so the list runs 256..0.
  k01_huff_node_t* list[kHuffmanSymbols];
  size_t count = 0;
  for (uint16_t s = 0; s < kHuffmanSymbols; ++s) {
    gNodes[s] = k01_huff_node_t{s, kWeights[s], nullptr, nullptr, nullptr};
    list[kHuffmanSymbols - 1 - s] = &gNodes[s];
  }
  count = kHuffmanSymbols;
  // Stable ascending sort by weight (what a selection sort that always takes
  // the first node of least weight produces).
  std::stable_sort(list, list + count, [](const k01_huff_node_t* a, const k01_huff_node_t* b) {
    return a->weight < b->weight;
  });
  size_t next = kHuffmanSymbols;
  size_t head = 0;  // list[head..count) is the working list
  while (count - head >= 2) {
    k01_huff_node_t* a = list[head];
    k01_huff_node_t* b = list[head + 1];
    head += 2;
    k01_huff_node_t* n = &gNodes[next++];
    *n = k01_huff_node_t{0, a->weight + b->weight, a, b, nullptr};
    a->parent = n;
    b->parent = n;
    // Inserted at the front and sorted again: the new node goes before every
    // node of equal or greater weight.
    size_t pos = head;
    while (pos < count && list[pos]->weight < n->weight) ++pos;
    --head;
    for (size_t i = head; i + 1 <= pos - 1; ++i) list[i] = list[i + 1];
    list[pos - 1] = n;
  }
  gRoot = list[head];
  for (uint16_t s = 0; s < kHuffmanSymbols; ++s) {
    uint64_t bits = 0;
    uint8_t length = 0;
    for (const k01_huff_node_t* n = &gNodes[s]; n->parent != nullptr; n = n->parent) {
      if (n->parent->firstChild == n) bits |= uint64_t{1} << length;
      ++length;
    }
    gCodes[s] = k01_huff_code_t{bits, length};
  }
  buildSteps();
}

void freeHuffmanTree() { gRoot = nullptr; }

bool huffmanTreeBuilt() { return gRoot != nullptr; }

const k01_huff_node_t* huffmanRoot() {
  buildHuffmanTree();
  return gRoot;
}

int huffmanDecodeByte(const k01_huff_node_t** cursor, uint8_t byte, uint8_t* output, bool reset) {
  const k01_huff_node_t* root = huffmanRoot();
  if (cursor == nullptr) return 0;
  if (reset) {
    *cursor = root;
    return 0;
  }
  const k01_huff_node_t* node = *cursor != nullptr ? *cursor : root;
  if (node < &gNodes[kHuffmanSymbols] || node >= &gNodes[kNodeCount]) node = root;
  uint8_t state = static_cast<uint8_t>(node - &gNodes[kHuffmanSymbols]);
  uint8_t bytes[8];
  int produced = huffmanStep(state, byte, bytes);
  *cursor = &gNodes[kHuffmanSymbols + state];
  if (produced == kHuffmanFlush) return produced;
  if (produced > 4) produced = 4;
  std::memcpy(output, bytes, static_cast<size_t>(produced));
  return produced;
}

int huffmanDecodeInto(const k01_huff_node_t** cursor, uint8_t byte, uint8_t* output) {
  const k01_huff_node_t* root = huffmanRoot();
  const k01_huff_node_t* node = *cursor != nullptr ? *cursor : root;
  if (node < &gNodes[kHuffmanSymbols] || node >= &gNodes[kNodeCount]) node = root;
  uint8_t state = static_cast<uint8_t>(node - &gNodes[kHuffmanSymbols]);
  const int produced = step(state, byte, output);
  *cursor = &gNodes[kHuffmanSymbols + state];
  return produced;
}

uint8_t huffmanRootState() {
  buildHuffmanTree();
  return gRootState;
}

int huffmanStep(uint8_t& state, uint8_t byte, uint8_t* output) {
  return step(state, byte, output);
}

size_t huffmanDecodeBlock(const uint8_t* in, size_t n, uint8_t* out, size_t capacity, bool* full) {
  buildHuffmanTree();
  *full = false;
  uint8_t state = gRootState;
  size_t produced = 0;
  uint8_t bytes[8];
  for (size_t i = 0; i < n; ++i) {
    if (capacity - produced >= 8) {
      // Room for any byte's symbols: decode straight into the output.
      const int k = step(state, in[i], out + produced);
      if (k != kHuffmanFlush) produced += static_cast<size_t>(k);
      continue;
    }
    const int k = step(state, in[i], bytes);
    if (k == 0 || k == kHuffmanFlush) continue;
    if (static_cast<size_t>(k) > capacity - produced) {
      *full = true;
      return produced;
    }
    std::memcpy(out + produced, bytes, static_cast<size_t>(k));
    produced += static_cast<size_t>(k);
  }
  return produced;
}

k01_huff_code_t huffmanCode(uint16_t symbol) {
  buildHuffmanTree();
  if (symbol >= kHuffmanSymbols) return k01_huff_code_t{0, 0};
  return gCodes[symbol];
}

}  // namespace k01
