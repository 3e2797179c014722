#include "dat/dat_writer.h"

#include <cstring>

#include "dat/conv_state.h"

namespace dat {

size_t WriteBlock(ConvState& cs, const void* buffer, size_t size, size_t count, FILE* stream) {
  if (cs.writer.writeError != 0 || stream == nullptr) return 0;
  const size_t written = std::fwrite(buffer, size, count, stream);
  if (written < count) cs.writer.writeError = status::kDiskFull;
  return written;
}

void WritePlaceholderHeaders(ConvState& cs, FILE* stream) {
  uint8_t rec[110];
  for (const Placeholder& p : kPlaceholders) {
    std::memset(rec, 0, sizeof rec);
    rec[0] = kMarker;
    rec[1] = p.length;
    rec[2] = static_cast<uint8_t>(0x80 | p.subtype);
    rec[3] = 5;
    WriteBlock(cs, rec, 1, p.length, stream);
  }
}

static void WriteIonAt(ConvState& cs, FILE* stream) {
  uint8_t rec[kIonRecordLength] = {kMarker, static_cast<uint8_t>(kIonRecordLength), 0, 15};
  if (cs.ionUtc != nullptr) std::memcpy(rec + 4, cs.ionUtc, 120);
  WriteBlock(cs, rec, 1, sizeof rec, stream);
}

uint32_t WriteIonRecord(ConvState& cs, FILE* stream) {
  const long pos = std::ftell(stream);
  WriteIonAt(cs, stream);
  return pos < 0 ? 0 : static_cast<uint32_t>(pos);
}

void RewriteIonRecord(ConvState& cs, FILE* stream, uint32_t offset) {
  const long here = std::ftell(stream);
  std::fseek(stream, static_cast<long>(offset), SEEK_SET);
  WriteIonAt(cs, stream);
  std::fseek(stream, here, SEEK_SET);
}

void UpdateIonRecord(ConvState& cs, FILE* stream) {
  if (cs.ionUtc == nullptr) return;
  double value14;
  std::memcpy(&value14, cs.ionUtc + 13 * 8, 8);
  if (!(value14 > 0.0)) return;
  if (cs.writer.pendingIonOffset != 0) {
    RewriteIonRecord(cs, stream, cs.writer.pendingIonOffset);
    cs.writer.pendingIonOffset = 0;
  } else {
    WriteIonRecord(cs, stream);
  }
}

bool BeginEntry(ConvState& cs, FILE* stream) {
  cs.writer.stream = stream;
  if (stream == nullptr) return false;
  if (cs.writer.recordCalls++ == 0) {
    WritePlaceholderHeaders(cs, stream);
    cs.writer.pendingIonOffset = WriteIonRecord(cs, stream);
  }
  return true;
}

Status EndEntry(ConvState& cs, Status st) {
  for (int i = 0; i < 33 && cs.writer.svList[i] != 0; ++i) {
    const uint8_t sv = cs.writer.svList[i];
    if (sv >= 1 && sv <= 32) ++cs.writer.svRecordCount[sv];
    cs.writer.svList[i] = 0;
  }
  if (cs.writer.stream != nullptr && std::ferror(cs.writer.stream)) st = status::kDiskFull;
  return st;
}

void ResetWriter(ConvState& cs) {
  const DatWriterState fresh;
  uint32_t counts[33];
  std::memcpy(counts, cs.writer.svRecordCount, sizeof counts);
  cs.writer = fresh;
  // The per-SV record counts live as long as the conversion state.
  std::memcpy(cs.writer.svRecordCount, counts, sizeof counts);
}

}  // namespace dat
