// The fuzzing harnesses, one per entry point. The libFuzzer targets call
// them, and the regression test replays saved findings through them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/application.h"
#include "common/raw_record.h"
#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "k01lib/container_reader.h"
#include "k01lib/decode_record.h"
#include "k01lib/expand_state.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/k01_writer.h"

#include "fuzz_support.h"
#include "harnesses.h"

namespace fuzz {

// Fuzz target: a whole conversion of arbitrary bytes with every output
// requested. The first byte chooses the input format (Q00, K00, K01, K02)
// and a few options; the rest is the input file.
int ConversionHarness(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const std::string dir = fuzz::WorkDir();
  const uint8_t control = data[0];
  const std::string in = dir + "/input";
  fuzz::WriteWhole(in, data + 1, size - 1);

  Application* app = new Application();
  ConvState* cs = new ConvState();
  app->SetMessageCallback(fuzz::DropLine, nullptr);
  std::snprintf(app->inputNames[0], kInputNameSize, "%s", in.c_str());
  app->inputGiven = 1;
  app->inputFormat = static_cast<int16_t>(1 + (control & 3));
  if (app->inputFormat != kFormatQ00) app->includeEphemeris = app->includeIonUtc = 0;
  std::snprintf(app->outputBase, kNameSize, "%s/out", dir.c_str());
  app->extensionPos = app->outputBase + std::strlen(app->outputBase);
  std::snprintf(app->datExtension, kNameSize, ".vx!");
  app->produceDat = app->produceEph = app->produceIon = app->produceMes = 1;
  app->produceSummary = app->produceApp = 1;
  app->fixup = (control >> 2) & 1;
  app->ignoreChecksum = (control >> 3) & 1;
  app->type27Mode = static_cast<int16_t>((control >> 4) % 3);
  app->l2Mode = static_cast<int16_t>((control >> 6) & 3);
  app->verbose = 3;
  app->RunConversion(*cs);
  delete cs;
  delete app;
  return 0;
}

// Fuzz target: the raw-record encoder on arbitrary verified raw records.
// The input is cut into records (type byte, length byte, data), each framed
// with a correct envelope, and all are written in order into one DAT
// stream so that multi-record state (epochs, events, histories) is carried.
int RawRecordHarness(const uint8_t* data, size_t size) {
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

// Fuzz target: the K01 container reader on arbitrary file bytes. The first
// byte chooses the reader (K01/K02 shapes or K00); every record delivered
// must fit the record buffer and the reader must reach the end of the file.
int ContainerHarness(const uint8_t* data, size_t size) {
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

// Fuzz target: the K01 writer packs a record sequence derived from the
// input in a chosen container form; the reader must give every record back
// unchanged and in order.
namespace {

// Record types safe in every form: plain types with a one-byte length.
uint8_t PlainType(uint8_t b) {
  static const uint8_t kTypes[] = {3, 7, 9, 10, 11, 12, 15, 16, 17, 19, 20, 21, 25, 30, 31, 40, 101};
  return kTypes[b % sizeof kTypes];
}

}  // namespace

int RoundTripHarness(const uint8_t* data, size_t size) {
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

// Fuzz target: the record decoder on arbitrary records of every type, with
// the transcoder histories carried from one record to the next. The input
// is cut into records: a type byte, a 16-bit length and that many bytes,
// framed as a raw record (K01 length form) or, when the top bit of the
// type byte's companion flag is set, placed into the input buffer as they
// are. Decoded expanded measurements and precise positions are converted
// to their older types as the record step does.
int DecodeHarness(const uint8_t* data, size_t size) {
  static K01Decoder* d = k01::CreateDecoder();
  if (d == nullptr || !k01::ResetDecoderBuffers(d)) return 0;
  size_t at = 0;
  while (at + 4 <= size) {
    const uint8_t type = data[at];
    const uint8_t flags = data[at + 1];
    size_t n = static_cast<size_t>(data[at + 2]) << 8 | data[at + 3];
    at += 4;
    if (n > size - at) n = size - at;
    k01::k01_record_t& in = d->inputRecord;
    std::memset(&in, 0, sizeof in);
    if (flags & 0x80) {
      if (n > k01::kRecordCapacity) n = k01::kRecordCapacity;
      std::memcpy(in.bytes, data + at, n);
      in.length = static_cast<uint16_t>(n);
    } else {
      std::vector<uint8_t> rec = rawrec::BuildRecord(
          type, std::vector<uint8_t>(data + at, data + at + n), rawrec::LengthForm::kK01);
      if (rec.size() <= k01::kRecordCapacity) {
        if (type >= 74 && type <= 77) rec[1] = static_cast<uint8_t>(rec.size() - 256);
        std::memcpy(in.bytes, rec.data(), rec.size());
        in.length = static_cast<uint16_t>(rec.size());
      }
    }
    at += n;
    d->checksumMode = (flags & 1) ? 5 : 2;
    uint16_t datType = 0;
    uint8_t st = 0;
    const uint16_t count = k01::decodeRecord(d, type, &datType, &st);
    k01::k01_decode_state_t& s = d->decode;
    if (count > 0 && datType == 27)
      k01::convertMeasurements27To17(s.datHeader, &s.slots.meas27, &s.slots.meas17, flags & 3);
    if (count > 0 && datType == 29)
      k01::convertPosition29To11(s.datHeader, &s.slots.pos29, &s.slots.pos11);
  }
  return 0;
}

}  // namespace fuzz
