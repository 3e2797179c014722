// Fuzz target: the raw-record encoder on arbitrary verified raw records.
// The input is cut into records (type byte, length byte, data), each framed
// with a correct envelope, and all are written in order into one DAT
// stream so that multi-record state (epochs, events, histories) is carried.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/raw_record.h"
#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* out = std::tmpfile();
  if (out == nullptr) return 0;
  ConvState* cs = new ConvState();
  uint8_t eph[32 * 336] = {};
  uint8_t ion[120] = {};
  cs->ephTable = eph;
  cs->ionUtc = ion;
  ResetEncoderState(*cs);
  size_t at = 0;
  while (at + 2 <= size) {
    const uint8_t type = data[at];
    size_t n = data[at + 1];
    at += 2;
    if (n > size - at) n = size - at;
    std::vector<uint8_t> payload(data + at, data + at + n);
    at += n;
    std::vector<uint8_t> rec = rawrec::BuildRecord(type, payload);
    if (rawrec::AddsLength256(type)) {
      // These types add 256 to the length byte: frame them as the reader would.
      if (rec.size() < 256 || rec.size() > 511) continue;
      rec[1] = static_cast<uint8_t>(rec.size() - 256);
    } else if (rec.size() > 255) {
      continue;
    }
    WriteRawRecord(*cs, out, rec.data(), rec.size());
  }
  std::fclose(out);
  delete cs;
  return 0;
}
