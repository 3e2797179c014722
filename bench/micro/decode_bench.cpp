// The record decoder on whole sequences of records: each transcoder family
// rebuilding its raw records (and decoding them), and the decoding of raw
// type-17 and type-27 records. Throughput in satellite-epochs (type 17),
// signal-epochs (type 27) or records per second.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>

#include "k01lib/aux_encoder.h"
#include "k01lib/decode_record.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/meas17_encoder.h"
#include "micro_data.h"

namespace {

using micro::Records;

// Decodes the sequence in order, as the conversion does (the transcoders'
// histories carry from record to record); the decoder starts afresh for
// each pass, outside the timing.
void DecodeSequence(benchmark::State& state, const Records& records, size_t units) {
  if (records.empty()) return state.SkipWithError("no records of this kind in the data");
  K01Decoder* d = k01::CreateDecoder();
  size_t failures = 0;
  for (auto _ : state) {
    state.PauseTiming();
    k01::ResetDecoderBuffers(d);
    state.ResumeTiming();
    for (const auto& r : records) {
      std::memcpy(d->inputRecord.bytes, r.data(), r.size());
      d->inputRecord.length = static_cast<uint16_t>(r.size());
      uint16_t datType = 0;
      uint8_t status = 0;
      benchmark::DoNotOptimize(k01::decodeRecord(d, r[2], &datType, &status));
      failures += status != 0;
    }
  }
  k01::DestroyDecoder(d);
  if (failures != 0) state.SkipWithError("records failed to decode");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * units));
}

const Records& Raw17() { return micro::RawRecords("gps17-6h.q00"); }
const Records& Raw27() { return micro::RawRecords("multi27-90m.k00"); }

// The type-17 log without Doppler values (what the smoothed predictor carries).
Records WithoutDoppler(const Records& raw) {
  Records out;
  for (const auto& r : raw) {
    k01::k01_meas17_epoch_t e;
    if (k01::parseRaw17Record(r.data(), r.size(), e) != k01::kEnc17Ok) continue;
    for (auto& s : e.sats) s.doppler = 0;
    k01::RawRecord rebuilt;
    if (k01::buildRaw17Record(e, rebuilt)) out.push_back(rebuilt);
  }
  return out;
}

void BM_Transcode17Linear(benchmark::State& state) {
  if (Raw17().empty()) return state.SkipWithError(micro::MissingDataMessage("gps17-6h.q00").c_str());
  static const Records raw = micro::OfTypes(Raw17(), {17, 117});
  k01::k01_write_options_t opt;
  opt.compressMeasurements = true;
  static const Records records = micro::OfTypes(micro::Compressed(raw, opt), {66, 67, 74, 75});
  DecodeSequence(state, records, micro::SatelliteEpochs17(raw));
}
BENCHMARK(BM_Transcode17Linear)->Unit(benchmark::kMillisecond);

void BM_Transcode17Smoothed(benchmark::State& state) {
  if (Raw17().empty()) return state.SkipWithError(micro::MissingDataMessage("gps17-6h.q00").c_str());
  static const Records raw = WithoutDoppler(Raw17());
  k01::k01_write_options_t opt;
  opt.compressMeasurements = true;
  opt.measurementPredictor = k01::Meas17Predictor::kSmoothed;
  static const Records records = micro::OfTypes(micro::Compressed(raw, opt), {68, 69, 76, 77});
  DecodeSequence(state, records, micro::SatelliteEpochs17(raw));
}
BENCHMARK(BM_Transcode17Smoothed)->Unit(benchmark::kMillisecond);

void BM_TranscodeMultiSignal(benchmark::State& state) {
  if (Raw27().empty()) return state.SkipWithError(micro::MissingDataMessage("multi27-90m.k00").c_str());
  static const Records raw = micro::OfTypes(Raw27(), {27});
  k01::k01_write_options_t opt;
  opt.compressMultiSignal = true;
  static const Records records = micro::OfTypes(micro::Compressed(raw, opt), {36, 37, 38, 39});
  DecodeSequence(state, records, micro::SignalEpochs27(raw));
}
BENCHMARK(BM_TranscodeMultiSignal)->Unit(benchmark::kMillisecond);

// A second-by-second position log (type 11) with the data pages (type 25)
// a receiver repeats, built from field values.
Records AuxiliaryLog() {
  Records out;
  for (uint32_t n = 0; n < 3600; ++n) {
    k01::k01_pos_fields_t p;
    const uint32_t t = 302400000u + 1000u * n;
    p.field[0] = 0x12345678u + 3u * n;
    p.field[1] = 0x87654321u - 5u * n;
    p.field[2] = 0x00400000u + (n % 7);
    p.field[3] = 2000;
    p.field[4] = 150 + (n / 600);
    p.field[5] = 18;
    p.field[9] = t;
    p.byte41 = 3;
    p.list2 = {3, 6, 9, 14, 19, 22, 25, 31};
    out.push_back(k01::buildRaw11Record(p));
    if (n % 6 == 0) {
      std::array<uint8_t, 28> page{};
      for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>((n / 6) % 25 * 7 + i);
      out.push_back(k01::buildRaw25Record(static_cast<uint8_t>((n / 6) % 25 + 1), t, 2100, 0, page));
    }
  }
  return out;
}

void BM_TranscodeAuxiliary(benchmark::State& state) {
  k01::k01_write_options_t opt;
  opt.compressAuxiliary = true;
  static const Records records =
      micro::OfTypes(micro::Compressed(AuxiliaryLog(), opt), {54, 55, 84, 85});
  DecodeSequence(state, records, records.size());
}
BENCHMARK(BM_TranscodeAuxiliary)->Unit(benchmark::kMillisecond);

// Raw type-17 records as a K01 file frames them (at most 255 bytes): the
// log's epochs with the second-frequency blocks dropped where needed.
Records Short17(const Records& raw) {
  Records out;
  for (const auto& r : raw) {
    k01::k01_meas17_epoch_t e;
    if (k01::parseRaw17Record(r.data(), r.size(), e) != k01::kEnc17Ok) continue;
    size_t size = 13;
    for (const auto& s : e.sats) size += (s.flags & 1) ? 29 : 20;
    for (size_t i = e.sats.size(); i-- > 0 && size > 255;) {
      if ((e.sats[i].flags & 1) == 0) continue;
      e.sats[i].flags &= 0xFE;
      size -= 9;
    }
    k01::RawRecord rebuilt;
    if (size <= 255 && k01::buildRaw17Record(e, rebuilt)) out.push_back(rebuilt);
  }
  return out;
}

void BM_DecodeRaw17(benchmark::State& state) {
  if (Raw17().empty()) return state.SkipWithError(micro::MissingDataMessage("gps17-6h.q00").c_str());
  static const Records records = Short17(Raw17());
  DecodeSequence(state, records, micro::SatelliteEpochs17(records));
}
BENCHMARK(BM_DecodeRaw17)->Unit(benchmark::kMillisecond);

void BM_DecodeRaw27(benchmark::State& state) {
  if (Raw27().empty()) return state.SkipWithError(micro::MissingDataMessage("multi27-90m.k00").c_str());
  static const Records records = micro::OfTypes(Raw27(), {27});
  DecodeSequence(state, records, micro::SignalEpochs27(records));
}
BENCHMARK(BM_DecodeRaw27)->Unit(benchmark::kMillisecond);

}  // namespace
