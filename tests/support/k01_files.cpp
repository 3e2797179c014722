#include "k01_files.h"

#include "common/raw_record.h"
#include "k01lib/container_reader.h"

namespace k01test {

DecoderPtr NewDecoder() { return DecoderPtr(k01::CreateDecoder()); }

FilePtr OpenBytes(const Bytes& bytes) {
  FILE* f = std::tmpfile();
  if (f == nullptr) return FilePtr();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  return FilePtr(f);
}

Bytes MakeRecord(uint8_t type, size_t dataBytes, uint32_t seed) {
  Bytes data(dataBytes);
  uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return rawrec::BuildRecord(type, data, rawrec::LengthForm::kK01);
}

std::vector<Bytes> SampleRecords(size_t count, uint32_t seed) {
  // Type and data size pairs; 74 must be 256 to 511 bytes long, 27 and 98
  // use the high length byte.
  static const struct {
    uint8_t type;
    size_t bytes;
  } kShapes[] = {{17, 120}, {30, 9}, {27, 700}, {11, 60}, {74, 300}, {36, 90},
                 {98, 2000}, {84, 5}, {19, 0}, {27, 4084}, {40, 33}, {99, 250}};
  std::vector<Bytes> out;
  for (size_t i = 0; i < count; ++i) {
    const auto& s = kShapes[(i + seed) % (sizeof kShapes / sizeof kShapes[0])];
    out.push_back(MakeRecord(s.type, s.bytes + (i % 7), seed + static_cast<uint32_t>(i)));
  }
  return out;
}

std::vector<ReadStep> ReadAll(K01Decoder* d, FILE* f, Reader reader, size_t maxCalls) {
  std::vector<ReadStep> steps;
  while (!std::feof(f) && steps.size() < maxCalls) {
    ReadStep s;
    s.type = reader == Reader::kK01 ? k01::readK01Record(d, f, &s.status)
                                    : k01::readK00Record(d, f, &s.status);
    if (s.type >= 0)
      s.record.assign(d->inputRecord.bytes, d->inputRecord.bytes + d->inputRecord.length);
    s.position = std::ftell(f);
    s.checksumMode = d->checksumMode;
    steps.push_back(std::move(s));
  }
  return steps;
}

std::vector<ReadStep> ReadAll(const Bytes& file, Reader reader, size_t maxCalls) {
  DecoderPtr d = NewDecoder();
  FilePtr f = OpenBytes(file);
  return ReadAll(d.get(), f.get(), reader, maxCalls);
}

std::vector<Bytes> Records(const std::vector<ReadStep>& steps) {
  std::vector<Bytes> out;
  for (const ReadStep& s : steps)
    if (s.type >= 0) out.push_back(s.record);
  return out;
}

std::vector<uint8_t> Statuses(const std::vector<ReadStep>& steps) {
  std::vector<uint8_t> out;
  for (const ReadStep& s : steps)
    if (s.status != 0) out.push_back(s.status);
  return out;
}

}  // namespace k01test
