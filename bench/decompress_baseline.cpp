// The floor under a conversion: reads an input file and does nothing but
// undo its container coding, with the library's own decoders, discarding the
// result. A K01/K02 file in the block shape has every data block decoded
// (bzip2, zlib, Huffman or plain) by the block decoder; a file in the stream
// shape is fed through the Huffman decoder; a raw image (Q00) or K00 file is
// only read. Prints the number of bytes decoded.
//
// usage: decompress_baseline FILE
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "k01lib/container_reader.h"
#include "k01lib/huffman.h"
#include "k01lib/k01_decoder.h"

namespace {

constexpr size_t kChunk = 1 << 16;

enum class Shape { kRaw, kBlocks, kStream };

Shape Probe(FILE* f) {
  uint8_t head[22] = {};
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::rewind(f);
  if (n >= 21 && std::memcmp(head + 2, "VNX RAW DATA IMAGE", 19) == 0) return Shape::kRaw;
  if (n >= 9 && head[0] == 0x02 && head[1] == 0x0F && head[2] == 0x1E && head[3] == 0 &&
      std::memcmp(head + 4, "VELT", 5) == 0)
    return Shape::kRaw;
  if (n >= 10 && head[0] == 0 && head[1] == 0 && head[2] == 0 &&
      std::memcmp(head + 4, k01::kHeaderSignature, 6) == 0)
    return Shape::kBlocks;
  return Shape::kStream;
}

uint64_t ReadOnly(FILE* f) {
  std::vector<uint8_t> buf(kChunk);
  uint64_t total = 0;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) total += n;
  return total;
}

// Every data block decoded into the decoder's block output. A block that
// cannot be framed is searched for by its sync pattern, as the reader does.
uint64_t DecodeBlocks(K01Decoder* d, FILE* f, unsigned* blocks, unsigned* failures) {
  uint64_t total = 0;
  for (;;) {
    uint8_t head[4];
    if (std::fread(head, 1, 4, f) != 4) break;
    uint8_t type = head[0];
    uint32_t n = (uint32_t{head[1]} << 16) | (uint32_t{head[2]} << 8) | head[3];
    if (type > k01::kBlockBzip2Stripped || n > k01::kMaxBlockLength) {
      ++*failures;
      if (!k01::findNextBlock(d, f, &type, &n, false)) break;
    }
    if (type == k01::kBlockHeader) {
      if (std::fseek(f, static_cast<long>(n), SEEK_CUR) != 0) break;
      continue;
    }
    if (type >= k01::kBlockZlib && type <= k01::kBlockPlain) {
      uint8_t sync[6];
      if (n < 6 || std::fread(sync, 1, 6, f) != 6) break;
      n -= 6;
    }
    if (std::fread(d->blockInput, 1, n, f) != n) break;
    ++*blocks;
    if (k01::decodeBlockPayload(d, type, n))
      total += d->blockOutputLength;
    else
      ++*failures;
  }
  return total;
}

// The whole file as one Huffman-coded stream; the code state carries over
// from byte to byte.
uint64_t DecodeStream(FILE* f) {
  std::vector<uint8_t> buf(kChunk);
  uint8_t out[8];
  uint64_t total = 0;
  uint8_t state = k01::huffmanRootState();
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
    for (size_t i = 0; i < n; ++i) {
      const int k = k01::huffmanStep(state, buf[i], out);
      if (k != k01::kHuffmanFlush) total += static_cast<uint64_t>(k);
    }
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: decompress_baseline FILE\n");
    return 2;
  }
  FILE* f = std::fopen(argv[1], "rb");
  if (f == nullptr) {
    std::fprintf(stderr, "decompress_baseline: cannot open %s\n", argv[1]);
    return 1;
  }
  k01::LibraryStartup();
  unsigned blocks = 0, failures = 0;
  uint64_t decoded = 0;
  const char* shape = "raw";
  switch (Probe(f)) {
    case Shape::kRaw:
      decoded = ReadOnly(f);
      break;
    case Shape::kBlocks: {
      shape = "blocks";
      K01Decoder* d = k01::CreateDecoder();
      if (d == nullptr) {
        std::fprintf(stderr, "decompress_baseline: out of memory\n");
        return 1;
      }
      decoded = DecodeBlocks(d, f, &blocks, &failures);
      k01::DestroyDecoder(d);
      break;
    }
    case Shape::kStream:
      shape = "stream";
      decoded = DecodeStream(f);
      break;
  }
  std::fclose(f);
  k01::LibraryCleanup();
  std::printf("%llu bytes decoded (%s", static_cast<unsigned long long>(decoded), shape);
  if (blocks > 0) std::printf(", %u blocks", blocks);
  std::printf(")\n");
  if (failures > 0) {
    std::fprintf(stderr, "decompress_baseline: %u blocks could not be decoded\n", failures);
    return 1;
  }
  return 0;
}
