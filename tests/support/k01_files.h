// Helpers for K01 container tests: sample raw records, files in memory and a
// driver that reads a file to its end, recording every call of the reader.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "k01lib/k01_decoder.h"

namespace k01test {

using Bytes = std::vector<uint8_t>;

struct DecoderDeleter {
  void operator()(K01Decoder* d) const { k01::DestroyDecoder(d); }
};
using DecoderPtr = std::unique_ptr<K01Decoder, DecoderDeleter>;
DecoderPtr NewDecoder();

struct FileCloser {
  void operator()(FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;
// A temporary file holding the bytes, positioned at its start.
FilePtr OpenBytes(const Bytes& bytes);

// A raw record in the K01 length form with `dataBytes` data bytes of a
// pseudo-random pattern (for the 16-bit-length types the first data byte is
// the length's high byte).
Bytes MakeRecord(uint8_t type, size_t dataBytes, uint32_t seed);
// A varied sequence: short and long records, 16-bit-length, +256 and
// compressed types.
std::vector<Bytes> SampleRecords(size_t count, uint32_t seed);

enum class Reader { kK01, kK00 };
struct ReadStep {
  int32_t type = -1;
  uint8_t status = 0;
  Bytes record;        // the delivered record (empty when none)
  long position = 0;   // file position after the call
  uint8_t checksumMode = 0;
};
// Calls the reader until the file reports end of file (at most maxCalls).
std::vector<ReadStep> ReadAll(K01Decoder* d, FILE* f, Reader reader, size_t maxCalls = 200000);
std::vector<ReadStep> ReadAll(const Bytes& file, Reader reader, size_t maxCalls = 200000);
// The records of the steps that delivered one.
std::vector<Bytes> Records(const std::vector<ReadStep>& steps);
// The non-zero statuses in call order.
std::vector<uint8_t> Statuses(const std::vector<ReadStep>& steps);

}  // namespace k01test
