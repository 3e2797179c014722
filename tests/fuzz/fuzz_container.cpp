// Fuzz target: the K01 container reader on arbitrary file bytes. The first
// byte chooses the reader (K01/K02 shapes or K00); every record delivered
// must fit the record buffer and the reader must reach the end of the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "k01lib/container_reader.h"
#include "k01lib/k01_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static bool started = (k01::LibraryStartup(), true);
  (void)started;
  static K01Decoder* d = k01::CreateDecoder();
  if (d == nullptr || !k01::ResetDecoderBuffers(d)) return 0;
  FILE* f = std::tmpfile();
  if (f == nullptr) return 0;
  if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
  std::rewind(f);
  const bool k00 = (data[0] & 1) != 0;
  // Every call consumes input or ends it; bound the calls all the same so
  // that a reader that stops advancing shows up as a crash, not a hang.
  for (size_t calls = 0; calls < 4 * size + 64 && !std::feof(f); ++calls) {
    uint8_t st = 0;
    const int32_t type = k00 ? k01::readK00Record(d, f, &st) : k01::readK01Record(d, f, &st);
    if (type >= 0 && d->inputRecord.length > k01::kRecordCapacity) std::abort();
    if (calls + 1 == 4 * size + 64) std::abort();
  }
  std::fclose(f);
  return 0;
}
