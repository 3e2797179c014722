// Huffman decoding of whole blocks, in bytes of coded input per second.
#include <benchmark/benchmark.h>

#include "k01lib/huffman.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/k01_writer.h"
#include "micro_data.h"

namespace {

void BM_HuffmanDecodeBlock(benchmark::State& state) {
  const micro::Records& raw = micro::RawRecords("gps17-6h.q00");
  if (raw.empty()) return state.SkipWithError(micro::MissingDataMessage("gps17-6h.q00").c_str());
  // Records as a block holds them (the compressed measurement epochs), cut
  // into block-sized pieces and coded.
  k01::k01_write_options_t opt;
  opt.compressMeasurements = true;
  const micro::Records records = micro::Compressed(raw, opt);
  std::vector<uint8_t> plain;
  for (const auto& r : records) {
    if (plain.size() + r.size() > 500000) break;
    plain.insert(plain.end(), r.begin(), r.end());
  }
  const std::vector<uint8_t> coded = k01::huffmanEncode(plain, false);
  std::vector<uint8_t> out(k01::kBlockOutputSize);
  for (auto _ : state) {
    bool full = false;
    const size_t n = k01::huffmanDecodeBlock(coded.data(), coded.size(), out.data(), out.size(), &full);
    benchmark::DoNotOptimize(n);
    if (n < plain.size()) state.SkipWithError("decoded fewer bytes than coded");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * coded.size()));
}
BENCHMARK(BM_HuffmanDecodeBlock);

}  // namespace
