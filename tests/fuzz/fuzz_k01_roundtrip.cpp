// Fuzz target: the K01 writer packs a record sequence derived from the
// input in a chosen container form; the reader must give every record back
// unchanged and in order.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/raw_record.h"
#include "k01lib/container_reader.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/k01_writer.h"

namespace {

// Record types safe in every form: plain types with a one-byte length.
uint8_t PlainType(uint8_t b) {
  static const uint8_t kTypes[] = {3, 7, 9, 10, 11, 12, 15, 16, 17, 19, 20, 21, 25, 30, 31, 40, 101};
  return kTypes[b % sizeof kTypes];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static bool started = (k01::LibraryStartup(), true);
  (void)started;
  const uint8_t control = data[0];
  std::vector<k01::RawRecord> records;
  size_t at = 1;
  while (at + 2 <= size && records.size() < 200) {
    const uint8_t type = PlainType(data[at]);
    size_t n = data[at + 1] % 240;
    at += 2;
    if (n > size - at) n = size - at;
    records.push_back(rawrec::BuildRecord(type, std::vector<uint8_t>(data + at, data + at + n)));
    at += n;
  }
  if (records.empty()) return 0;

  k01::k01_write_options_t options;
  const int form = control % 3;
  options.form = form == 0 ? k01::ContainerForm::kK00
                           : form == 1 ? k01::ContainerForm::kStream : k01::ContainerForm::kBlocks;
  static const uint8_t kBlockTypes[] = {1, 2, 3, 4};
  options.blockTypes = {kBlockTypes[(control >> 2) & 3], kBlockTypes[(control >> 4) & 3]};
  options.recordsPerBlock = (control >> 6) + 1;
  options.flushInterval = (control >> 6);
  std::vector<uint8_t> file;
  if (k01::writeK01File(records, options, file) != 0) return 0;

  static K01Decoder* d = k01::CreateDecoder();
  if (d == nullptr || !k01::ResetDecoderBuffers(d)) return 0;
  FILE* f = std::tmpfile();
  if (f == nullptr) return 0;
  std::fwrite(file.data(), 1, file.size(), f);
  std::rewind(f);
  size_t next = 0;
  for (size_t calls = 0; calls < 10 * records.size() + 64 && !std::feof(f); ++calls) {
    uint8_t st = 0;
    const int32_t type = options.form == k01::ContainerForm::kK00 ? k01::readK00Record(d, f, &st)
                                                                  : k01::readK01Record(d, f, &st);
    if (type < 0) {
      if (st != k01::kReadOk && st != k01::kReadEndOfFile && st != k01::kReadFlush) std::abort();
      continue;
    }
    if (next >= records.size()) std::abort();
    const k01::RawRecord& want = records[next++];
    if (d->inputRecord.length != want.size() ||
        std::memcmp(d->inputRecord.bytes, want.data(), want.size()) != 0)
      std::abort();
  }
  std::fclose(f);
  if (next != records.size()) std::abort();
  return 0;
}
