#include "micro_data.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "k01lib/container_reader.h"
#include "k01lib/decode_record.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/meas17_encoder.h"

#ifndef LOGSPLIT_BENCH_DATA_DIR
#define LOGSPLIT_BENCH_DATA_DIR "bench/data"
#endif

namespace micro {

namespace {

constexpr long kImageRecordsOffset = 10812;

std::string DataPath(const std::string& name) {
  const char* dir = std::getenv("LOGSPLIT_BENCH_DATA");
  return std::string(dir != nullptr ? dir : LOGSPLIT_BENCH_DATA_DIR) + "/" + name;
}

// A raw image's records, framed as the raw path frames them: the length is
// byte 1, plus 256 for the types 74, 75 and 117.
Records LoadImage(FILE* f) {
  Records out;
  std::fseek(f, kImageRecordsOffset, SEEK_SET);
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  size_t at = 0;
  while (at + 3 <= bytes.size()) {
    const uint8_t type = bytes[at + 2];
    const size_t length = bytes[at + 1] + ((type == 74 || type == 75 || type == 117) ? 256u : 0u);
    if (bytes[at] != 0x02 || length < 5 || at + length > bytes.size()) {
      ++at;  // not a record start: look further
      continue;
    }
    out.emplace_back(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + length));
    at += length;
  }
  return out;
}

// A K00 file's records, read by the library's K00 reader.
Records LoadK00(FILE* f) {
  Records out;
  K01Decoder* d = k01::CreateDecoder();
  for (;;) {
    uint8_t status = 0;
    const int32_t type = k01::readK00Record(d, f, &status);
    if (type < 0) {
      if (status == k01::kReadEndOfFile || std::feof(f)) break;
      continue;
    }
    out.emplace_back(d->inputRecord.bytes, d->inputRecord.bytes + d->inputRecord.length);
  }
  k01::DestroyDecoder(d);
  return out;
}

Records Load(const std::string& name) {
  FILE* f = std::fopen(DataPath(name).c_str(), "rb");
  if (f == nullptr) return {};
  const bool image = name.size() > 4 && name.compare(name.size() - 4, 4, ".q00") == 0;
  Records out = image ? LoadImage(f) : LoadK00(f);
  std::fclose(f);
  return out;
}

}  // namespace

const Records& RawRecords(const std::string& name) {
  static std::map<std::string, Records> cache;
  auto it = cache.find(name);
  if (it == cache.end()) it = cache.emplace(name, Load(name)).first;
  return it->second;
}

Records Compressed(const Records& raw, const k01::k01_write_options_t& options) {
  Records out;
  if (options.compressMeasurements) {
    if (k01::compressMeasurementRecords(raw, options, out) != k01::kWriteOk) out.clear();
  } else if (k01::compressOtherRecords(raw, options, out) != k01::kWriteOk) {
    out.clear();
  }
  return out;
}

Records OfTypes(const Records& records, std::initializer_list<uint8_t> types) {
  Records out;
  for (const auto& r : records) {
    for (uint8_t t : types) {
      if (r.size() > 2 && r[2] == t) {
        out.push_back(r);
        break;
      }
    }
  }
  return out;
}

size_t SatelliteEpochs17(const Records& raw) {
  size_t n = 0;
  for (const auto& r : raw) {
    k01::k01_meas17_epoch_t e;
    if (k01::parseRaw17Record(r.data(), r.size(), e) == k01::kEnc17Ok) n += e.sats.size();
  }
  return n;
}

size_t SignalEpochs27(const Records& raw) {
  K01Decoder* d = k01::CreateDecoder();
  size_t n = 0;
  for (const auto& r : raw) {
    if (r.size() < 3 || r[2] != 27 || r.size() > sizeof d->inputRecord.bytes) continue;
    std::memcpy(d->inputRecord.bytes, r.data(), r.size());
    d->inputRecord.length = static_cast<uint16_t>(r.size());
    uint16_t datType = 0;
    uint8_t status = 0;
    if (k01::decodeRecord(d, 27, &datType, &status) == 0 || status != 0) continue;
    const k01_meas27_t& m = d->decode.slots.meas27;
    for (int i = 0; i < m.svCount && i < k01_meas27_t::kSvSlots; ++i) n += m.sv[i].signalCount;
  }
  k01::DestroyDecoder(d);
  return n;
}

std::string MissingDataMessage(const std::string& name) {
  return "no " + DataPath(name) + ": run bench/run (or make_bench_data) first";
}

}  // namespace micro
