// DAT encoding of decoded measurement records (type 17 and type 27) into a
// buffered stream on /dev/null.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "k01lib/decode_record.h"
#include "k01lib/k01_decoder.h"
#include "micro_data.h"

namespace {

template <typename Decoded>
struct DecodedRecord {
  uint8_t header[4];
  Decoded value;
};

// Decodes the records of one DAT type and keeps their headers and decoded
// structures.
template <typename Decoded>
std::vector<DecodedRecord<Decoded>> DecodeAll(const micro::Records& records, uint16_t wanted,
                                              Decoded k01::k01_slots_t::*slot) {
  std::vector<DecodedRecord<Decoded>> out;
  K01Decoder* d = k01::CreateDecoder();
  for (const auto& r : records) {
    std::memcpy(d->inputRecord.bytes, r.data(), r.size());
    d->inputRecord.length = static_cast<uint16_t>(r.size());
    uint16_t datType = 0;
    uint8_t status = 0;
    if (k01::decodeRecord(d, r[2], &datType, &status) == 0 || status != 0 || datType != wanted)
      continue;
    DecodedRecord<Decoded> rec;
    std::memcpy(rec.header, d->decode.datHeader, 4);
    rec.value = d->decode.slots.*slot;
    out.push_back(rec);
  }
  k01::DestroyDecoder(d);
  return out;
}

template <typename Decoded>
void Encode(benchmark::State& state, const std::vector<DecodedRecord<Decoded>>& records,
            uint8_t type, size_t units) {
  if (records.empty()) return state.SkipWithError("no decoded records");
  auto cs = std::make_unique<ConvState>();
  std::vector<uint8_t> ion(120), eph(32 * 336);
  cs->ionUtc = ion.data();
  cs->ephTable = eph.data();
  ResetEncoderState(*cs);
  FILE* sink = std::fopen("/dev/null", "wb");
  if (sink == nullptr) return state.SkipWithError("cannot open /dev/null");
  for (auto _ : state) {
    for (const auto& r : records)
      benchmark::DoNotOptimize(WriteDecodedRecord(*cs, sink, type, r.header, &r.value));
  }
  std::fclose(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * units));
}

void BM_DatEncode17(benchmark::State& state) {
  const micro::Records& raw = micro::RawRecords("gps17-6h.q00");
  if (raw.empty()) return state.SkipWithError(micro::MissingDataMessage("gps17-6h.q00").c_str());
  // The decoded epochs of the compressed log (a K01 file's type-17 epochs).
  static const micro::Records records = micro::OfTypes(raw, {17, 117});
  k01::k01_write_options_t opt;
  opt.compressMeasurements = true;
  static const auto decoded =
      DecodeAll(micro::Compressed(records, opt), 17, &k01::k01_slots_t::meas17);
  Encode(state, decoded, 17, micro::SatelliteEpochs17(records));
}
BENCHMARK(BM_DatEncode17)->Unit(benchmark::kMillisecond);

void BM_DatEncode27(benchmark::State& state) {
  const micro::Records& raw = micro::RawRecords("multi27-90m.k00");
  if (raw.empty()) return state.SkipWithError(micro::MissingDataMessage("multi27-90m.k00").c_str());
  static const micro::Records records = micro::OfTypes(raw, {27});
  static const auto decoded = DecodeAll(records, 27, &k01::k01_slots_t::meas27);
  Encode(state, decoded, 27, micro::SignalEpochs27(records));
}
BENCHMARK(BM_DatEncode27)->Unit(benchmark::kMillisecond);

}  // namespace
