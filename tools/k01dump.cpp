// k01dump: lists the records of a Q00, K00, K01 or K02 file, one line per
// record, with where the record lies in the file, its checksum state and
// what the record decoder made of it; or a summary of the same.
//
// K00, K01 and K02 files are read with the library's container reader and
// every record goes through decodeRecord with one decoder for the whole file,
// so the compressed-record histories carry from record to record exactly as
// in a conversion. Raw images are framed with the raw image length rule and
// checked with the raw record envelope checks, as the raw-image path of a
// conversion does; those records never reach the record decoder.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/input_resolution.h"
#include "common/raw_record.h"
#include "k01lib/container_reader.h"
#include "k01lib/decode_record.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/record_buffer.h"

namespace {

// Exit statuses.
constexpr int kExitClean = 0;
constexpr int kExitErrors = 1;   // the file holds damaged or undecodable records
constexpr int kExitTrouble = 2;  // bad arguments, or the file cannot be opened or read

// Raw image layout: 39 signature and header bytes, 32 ephemeris blocks of
// 333 bytes and a 117-byte ion/UTC block precede the records.
constexpr long kImageRecordsOffset = 39 + 32 * 333 + 117;

// A reader that returns no record this many times in a row without moving
// in the file or in its buffers would never reach the end.
constexpr int kStallLimit = 16;

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "Usage: k01dump [options] <file>\n"
               "\n"
               "Lists the records of a Q00, K00, K01 or K02 file, one line per record:\n"
               "offset, container position, record type, length, checksum state, decoder\n"
               "status, DAT type and DAT record length. Problems the reader meets are shown\n"
               "as lines whose container column reads \"error\".\n"
               "\n"
               "The format is found from the first bytes of the file as logsplit finds it\n"
               "(a name without an extension is tried with .q00, .k00, .k01 and .k02).\n"
               "\n"
               "Options:\n"
               "  -s          summary: counts per record type, checksum state, decoder status\n"
               "              and reader error instead of the record lines\n"
               "  -e          list only the records with a problem and the error lines\n"
               "  -x          offsets in hexadecimal (8 digits)\n"
               "  -t FMT      read the file as FMT: q00, k00, k01 or k02 (a leading '.' and\n"
               "              upper case are accepted; -tFMT works too)\n"
               "  -h, --help  this text\n"
               "\n"
               "Exit status: 0 no problem found, 1 the file holds errors (reader errors,\n"
               "records that fail their checks or cannot be decoded, truncation, bytes\n"
               "that belong to no record), 2 bad arguments or the file cannot be read.\n");
}

// ---- naming -----------------------------------------------------------------

const char* FormatName(int16_t format) {
  switch (format) {
    case kFormatQ00: return "Q00";
    case kFormatK00: return "K00";
    case kFormatK02: return "K02";
    default: return "K01";
  }
}

// "q00", ".Q00" and the like; kFormatNone when the text names no format.
int16_t ParseFormat(const char* text) {
  if (text[0] == '.') ++text;
  if (std::strlen(text) != 3) return kFormatNone;
  char t[4];
  for (int i = 0; i < 3; ++i)
    t[i] = static_cast<char>(text[i] >= 'A' && text[i] <= 'Z' ? text[i] - 'A' + 'a' : text[i]);
  t[3] = '\0';
  if (std::strcmp(t, "q00") == 0) return kFormatQ00;
  if (std::strcmp(t, "k00") == 0) return kFormatK00;
  if (std::strcmp(t, "k01") == 0) return kFormatK01;
  if (std::strcmp(t, "k02") == 0) return kFormatK02;
  return kFormatNone;
}

const char* BlockCodingName(uint8_t blockType) {
  switch (blockType) {
    case k01::kBlockBzip2: return "bzip2";
    case k01::kBlockZlib: return "zlib";
    case k01::kBlockHuffman: return "huffman";
    case k01::kBlockPlain: return "plain";
    case k01::kBlockBzip2Stripped: return "stripped";
    default: return "unknown";
  }
}

// Statuses of the record decoder (and, for raw images, of the envelope
// checks, given the decoder's names for the same faults).
std::string DecodeStatusName(unsigned status) {
  switch (status) {
    case k01::kDecodeOk: return "ok";
    case k01::kDecodeChecksum: return "checksum";
    case k01::kDecodeNoEnd: return "no-end";
    case k01::kDecodeTranscode: return "transcode";
    case k01::kDecodeLayout: return "layout";
    default: return "status-" + std::to_string(status);
  }
}

std::string ReaderStatusName(unsigned status) {
  switch (status) {
    case k01::kReadChecksum: return "checksum";
    case k01::kReadFraming: return "framing";
    case k01::kReadUnknownBlock: return "unknown-block";
    case k01::kReadBzip2: return "bzip2";
    case k01::kReadRefused: return "refused";
    case k01::kReadZlib: return "zlib";
    default: return "status-" + std::to_string(status);
  }
}

const char* ReaderStatusText(unsigned status) {
  switch (status) {
    case k01::kReadChecksum: return "checksum mismatch in the stream; one byte dropped";
    case k01::kReadFraming: return "bad record or block length, or bad header block";
    case k01::kReadUnknownBlock: return "unknown block type; block skipped";
    case k01::kReadBzip2: return "bzip2 block failed and no later block could be decoded";
    case k01::kReadRefused: return "data block after a header block with refused version bytes";
    case k01::kReadZlib: return "zlib block failed to decompress";
    default: return "reader failure";
  }
}

enum ChecksumState { kSumOk, kSumBad, kSumUnverified, kSumUnknown, kSumStates };
const char* const kChecksumNames[kSumStates] = {"ok", "bad", "unverified", "-"};

// ---- output -------------------------------------------------------------------

struct Options {
  bool summary = false;
  bool problemsOnly = false;
  bool hex = false;
  int16_t format = kFormatNone;  // forced format; kFormatNone: detect
  std::string name;
};

struct RecordLine {
  std::string offset;
  std::string container;
  unsigned type = 0;
  unsigned length = 0;
  ChecksumState checksum = kSumUnknown;
  std::string decode;  // status name
  bool decodeOk = true;
  std::string datType = "-";
  std::string datLength = "-";
};

// Prints the lines of the listing and keeps the counts of the summary.
class Report {
 public:
  explicit Report(const Options& o) : opt_(o) {}

  std::string Offset(long value) const {
    char buf[32];
    std::snprintf(buf, sizeof buf, opt_.hex ? "%08lX" : "%ld", value);
    return buf;
  }
  std::string BlockOffset(long block, unsigned long inBlock) const {
    char buf[48];
    std::snprintf(buf, sizeof buf, opt_.hex ? "%08lX+%08lX" : "%ld+%lu", block, inBlock);
    return buf;
  }

  void Header() const {
    if (opt_.summary) return;
    std::printf("# %-15s %-16s %4s %6s %-10s %-10s %5s %5s\n", "offset", "container", "type",
                "length", "checksum", "decode", "dat", "out");
  }

  void Record(const RecordLine& r) {
    ++records_;
    ++types_[r.type & 0xFF];
    ++checksums_[r.checksum];
    const bool problem = !r.decodeOk || r.checksum == kSumBad;
    if (!r.decodeOk) ++errors_;
    decodes_.Count(r.decode);
    if (opt_.summary || (opt_.problemsOnly && !problem)) return;
    std::printf("%-17s %-16s %4u %6u %-10s %-10s %5s %5s\n", r.offset.c_str(), r.container.c_str(),
                r.type, r.length, kChecksumNames[r.checksum], r.decode.c_str(), r.datType.c_str(),
                r.datLength.c_str());
  }

  // A problem that is not a record: printed as a line whose container
  // column reads "error". counted: whether it adds to the error count (bytes
  // that a reader error already accounts for do not count twice).
  __attribute__((format(printf, 4, 5))) void Problem(const std::string& offset, bool counted,
                                                     const char* format, ...) {
    if (counted) ++errors_;
    if (opt_.summary) return;
    char text[256];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    std::printf("%-17s %-16s %s\n", offset.c_str(), "error", text);
  }

  void ReaderError(unsigned status) { readers_.Count(ReaderStatusName(status)); }
  void Skipped(unsigned long bytes) { skippedBytes_ += bytes; }
  void Truncated() { ++truncated_; }

  unsigned long errors() const { return errors_; }

  void Finish(const std::string& name, int16_t format) const {
    if (!opt_.summary) {
      std::printf("# %lu record%s, %lu error%s\n", records_, records_ == 1 ? "" : "s", errors_,
                  errors_ == 1 ? "" : "s");
      return;
    }
    std::printf("file: %s\n", name.c_str());
    std::printf("format: %s\n", FormatName(format));
    std::printf("records: %lu\n", records_);
    std::printf("errors: %lu\n", errors_);
    for (unsigned t = 0; t < 256; ++t)
      if (types_[t] != 0) std::printf("type %u: %lu\n", t, types_[t]);
    for (int s = 0; s < kSumStates; ++s)
      if (checksums_[s] != 0) std::printf("checksum %s: %lu\n", kChecksumNames[s], checksums_[s]);
    for (const auto& [word, n] : decodes_.items) std::printf("decode %s: %lu\n", word.c_str(), n);
    for (const auto& [word, n] : readers_.items) std::printf("reader %s: %lu\n", word.c_str(), n);
    if (truncated_ != 0) std::printf("truncated: %lu\n", truncated_);
    if (skippedBytes_ != 0) std::printf("skipped bytes: %lu\n", skippedBytes_);
  }

 private:
  // Counts by name, in the order the names were first met.
  struct Counter {
    std::vector<std::pair<std::string, unsigned long>> items;
    void Count(const std::string& word) {
      for (auto& item : items)
        if (item.first == word) {
          ++item.second;
          return;
        }
      items.emplace_back(word, 1);
    }
  };

  const Options& opt_;
  unsigned long records_ = 0;
  unsigned long errors_ = 0;
  unsigned long types_[256] = {};
  unsigned long checksums_[kSumStates] = {};
  Counter decodes_;
  Counter readers_;
  unsigned long truncated_ = 0;
  unsigned long skippedBytes_ = 0;
};

// ---- raw images -------------------------------------------------------------

// Start of the first record at or after `from` that passes every envelope
// check (types whose checks are skipped prove nothing and are passed over);
// the buffer size when there is none.
size_t FindImageRecord(const std::vector<uint8_t>& b, size_t from) {
  for (size_t q = from; q + 3 <= b.size(); ++q) {
    if (b[q] != rawrec::kStx || rawrec::SkipsChecksum(b[q + 2])) continue;
    const size_t len = rawrec::ImageRecordLength(b[q + 1], b[q + 2]);
    if (len <= b.size() - q && rawrec::CheckEnvelope(&b[q], len) == status::kOk) return q;
  }
  return b.size();
}

// Lists the raw records that follow the image header (with imageHeader
// clear, those from the first byte on). false when the file cannot be read.
bool DumpImage(FILE* f, bool imageHeader, Report& report) {
  std::vector<uint8_t> b;
  uint8_t chunk[65536];
  size_t n;
  std::rewind(f);
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) b.insert(b.end(), chunk, chunk + n);
  if (std::ferror(f)) return false;

  size_t p = 0;
  if (imageHeader) {
    if (b.size() < static_cast<size_t>(kImageRecordsOffset)) {
      report.Truncated();
      report.Problem(report.Offset(0), true,
                     "truncated: the image header holds %zu of its %ld bytes", b.size(),
                     kImageRecordsOffset);
      return true;
    }
    p = static_cast<size_t>(kImageRecordsOffset);
  }
  while (p < b.size()) {
    const size_t left = b.size() - p;
    const size_t len = left >= 3 ? rawrec::ImageRecordLength(b[p + 1], b[p + 2]) : 0;
    if (left >= 3 && (b[p] != rawrec::kStx || len < 4)) {
      // No record starts here: go on at the next record that passes its checks.
      const size_t q = FindImageRecord(b, p + 1);
      report.Skipped(q - p);
      report.Problem(report.Offset(static_cast<long>(p)), true,
                     "skipped %zu bytes: no record starts here", q - p);
      p = q;
      continue;
    }
    if (left < 3 || len > left) {
      report.Truncated();
      report.Problem(report.Offset(static_cast<long>(p)), true,
                     "truncated: %zu bytes at the end of the file hold no complete record", left);
      break;
    }
    const Status st = rawrec::CheckEnvelope(&b[p], len);
    RecordLine r;
    r.offset = report.Offset(static_cast<long>(p));
    r.container = "image";
    r.type = b[p + 2];
    r.length = static_cast<unsigned>(len);
    if (st == status::kNoStx)  // too short to hold checksum and end byte
      r.checksum = kSumUnknown;
    else if (rawrec::SkipsChecksum(b[p + 2]))
      r.checksum = kSumUnverified;
    else
      r.checksum = st == status::kBadChecksum ? kSumBad : kSumOk;
    switch (st) {
      case status::kOk: r.decode = DecodeStatusName(k01::kDecodeOk); break;
      case status::kBadChecksum: r.decode = DecodeStatusName(k01::kDecodeChecksum); break;
      case status::kNoEtx: r.decode = DecodeStatusName(k01::kDecodeNoEnd); break;
      default: r.decode = "framing"; break;
    }
    r.decodeOk = st == status::kOk;
    report.Record(r);
    if (st == status::kOk || st == status::kBadChecksum) {
      p += len;
      continue;
    }
    // Without its end byte the length cannot be trusted: go on at the next
    // record that passes its checks, which may start inside this one.
    const size_t q = FindImageRecord(b, p + 1);
    if (q > p + len) {
      report.Skipped(q - (p + len));
      report.Problem(report.Offset(static_cast<long>(p + len)), true,
                     "skipped %zu bytes: no record starts here", q - (p + len));
    }
    p = q;
  }
  return true;
}

// ---- K00, K01 and K02 files -------------------------------------------------

// Checksum state of a delivered record after decodeRecord ran on it.
ChecksumState KChecksumState(const k01::k01_record_t& rec, uint8_t checksumMode,
                             uint8_t decodeStatus) {
  if (checksumMode == k01::kChecksumNotVerified) return kSumUnverified;
  const uint32_t len = rec.length;
  if (!k01::isCompressedType(rec.bytes[2])) {
    // The carried checksum of a plain record covers the record as it is.
    if (len < k01::kMinRecordLength || len > k01::kRecordCapacity) return kSumUnknown;
    const uint16_t carried = static_cast<uint16_t>((rec.bytes[len - 3] << 8) | rec.bytes[len - 2]);
    return carried == rawrec::ByteSum(rec.bytes, len - 3) ? kSumOk : kSumBad;
  }
  // A compressed record's checksum covers the record it rebuilds: known
  // only once the rebuild succeeded.
  if (decodeStatus == k01::kDecodeOk || decodeStatus == k01::kDecodeLayout) return kSumOk;
  if (decodeStatus == k01::kDecodeChecksum) return kSumBad;
  return kSumUnknown;
}

// Bytes of a K00 file between two records (or after the last) that the
// reader dropped without delivering them. Bytes dropped after a reader error
// belong to that error and do not count again.
void SkippedBytes(Report& report, long from, long to, bool counted) {
  report.Skipped(static_cast<unsigned long>(to - from));
  report.Problem(report.Offset(from), counted, "skipped %ld bytes: no record starts here",
                 to - from);
}

// Bytes from `from` up to the data block at `blockStart` that the reader
// passed over without a word: header blocks there belong to the file's
// layout; anything else is data the reader searched past (a block that did
// not decode). The stream is left where it was.
long SkippedBeforeBlock(FILE* f, long from, long blockStart) {
  const long back = std::ftell(f);
  long p = from;
  uint8_t head[4];
  while (p + 4 <= blockStart && std::fseek(f, p, SEEK_SET) == 0 && std::fread(head, 1, 4, f) == 4 &&
         head[0] == k01::kBlockHeader) {
    const long n = (static_cast<long>(head[1]) << 16) | (head[2] << 8) | head[3];
    if (n > static_cast<long>(k01::kMaxHeaderLength) || p + 4 + n > blockStart) break;
    p += 4 + n;
  }
  std::fseek(f, back, SEEK_SET);
  return blockStart > p ? blockStart - p : 0;
}

// Lists the records of a K00 (k00 set) or K01/K02 file. false when the file
// cannot be read or the decoder cannot be created.
bool DumpK01(FILE* f, bool k00, Report& report) {
  K01Decoder* d = k01::CreateDecoder();
  if (d == nullptr) return false;
  std::fseek(f, 0, SEEK_END);
  const long fileSize = std::ftell(f);
  std::rewind(f);

  long plainNext = 0;  // K00: where the next record should start
  bool errorSinceRecord = false;
  int stalled = 0;
  long lastCallStart = 0;
  int32_t lastResult = 0;
  uint8_t lastStatus = 0;
  while (!std::feof(f) && !std::ferror(f)) {
    const long callStart = std::ftell(f);
    const uint32_t loadedBefore = d->blocksLoaded;
    const uint32_t readOffsetBefore = d->blockReadOffset;
    const uint16_t fillBefore = d->stream.fill;
    const uint32_t outputBefore = d->blockOutputLength;
    uint8_t readStatus = 0;
    const int32_t type =
        k00 ? k01::readK00Record(d, f, &readStatus) : k01::readK01Record(d, f, &readStatus);
    const long after = std::ftell(f);
    lastCallStart = callStart;
    lastResult = type;
    lastStatus = readStatus;

    if (type < 0 || readStatus != k01::kReadOk) {
      if (readStatus != k01::kReadOk && readStatus != k01::kReadEndOfFile &&
          readStatus != k01::kReadFlush) {
        report.ReaderError(readStatus);
        // Where the failure lies, given like a record's offset where the
        // reader tells it: the byte a plain stream dropped, the record that
        // could not be taken out of a block, the position a coded stream
        // reached; otherwise where the failing read began (for a failed
        // block, its type byte).
        const bool dropped = readStatus == k01::kReadChecksum || readStatus == k01::kReadFraming;
        const bool loadedNow = d->blocksLoaded != loadedBefore;
        std::string where = report.Offset(callStart);
        if (k00 && dropped)
          where = report.Offset(after - static_cast<long>(d->stream.fill) - 1);
        else if (readStatus == k01::kReadFraming && d->blockSkipped &&
                 (outputBefore > 0 || loadedNow))
          where = report.BlockOffset(d->blockFileOffset, loadedNow ? 0 : readOffsetBefore);
        else if (!k00 && dropped && d->shape == k01::kShapeStream)
          where = report.Offset(after);
        report.Problem(where, true, "reader %s (%u): %s", ReaderStatusName(readStatus).c_str(),
                       readStatus, ReaderStatusText(readStatus));
        errorSinceRecord = true;
      }
      const bool moved = after != callStart || d->stream.fill != fillBefore ||
                         d->blocksLoaded != loadedBefore || d->blockOutputLength != outputBefore ||
                         d->blockReadOffset != readOffsetBefore;
      stalled = moved ? 0 : stalled + 1;
      if (stalled >= kStallLimit) {
        report.Problem(report.Offset(after), true,
                       "the reader makes no progress here; reading stopped");
        break;
      }
      continue;
    }
    stalled = 0;

    const k01::k01_record_t& rec = d->inputRecord;
    RecordLine r;
    r.type = static_cast<unsigned>(type);
    r.length = rec.length;
    if (k00) {
      // The stream buffer holds the file bytes just before `after` that
      // follow the record, so the record's start is exact.
      const long start = after - static_cast<long>(d->stream.fill) - static_cast<long>(rec.length);
      if (start > plainNext) {
        SkippedBytes(report, plainNext, start, !errorSinceRecord);
      }
      plainNext = start + rec.length;
      r.offset = report.Offset(start);
      r.container = "stream/plain";
    } else if (d->shape == k01::kShapeBlock) {
      const bool loadedNow = d->blocksLoaded != loadedBefore;
      const long skipped = loadedNow ? SkippedBeforeBlock(f, callStart, d->blockFileOffset) : 0;
      if (skipped > 0) {
        // Bytes searched past after a reader error are that error's.
        report.Skipped(static_cast<unsigned long>(skipped));
        report.Problem(report.Offset(d->blockFileOffset - skipped), !errorSinceRecord,
                       "skipped %ld bytes: no block could be decoded here", skipped);
      }
      const uint32_t inBlock = loadedNow ? 0 : readOffsetBefore;
      r.offset = report.BlockOffset(d->blockFileOffset, inBlock);
      r.container = "block" + std::to_string(d->blocksLoaded) + "/" + BlockCodingName(d->blockType);
    } else {
      // A coded stream has no byte-exact record start: the position just
      // after the coded byte that completed the record.
      r.offset = report.Offset(after);
      r.container = "stream/huffman";
    }
    errorSinceRecord = false;

    const uint8_t checksumMode = d->checksumMode;
    uint16_t datType = k01::kUnknownDatType;
    uint8_t decodeStatus = 0;
    const uint16_t count =
        k01::decodeRecord(d, static_cast<int16_t>(type), &datType, &decodeStatus);
    r.checksum = KChecksumState(rec, checksumMode, decodeStatus);
    r.decode = DecodeStatusName(decodeStatus);
    r.decodeOk = decodeStatus == k01::kDecodeOk;
    if (datType != k01::kUnknownDatType) r.datType = std::to_string(datType);
    r.datLength = std::to_string(count);
    report.Record(r);
  }
  const bool readError = std::ferror(f) != 0;

  if (!readError && fileSize >= 0) {
    if (d->shape == k01::kShapeStream && d->stream.fill > 0) {
      // The file ends inside a record.
      const long start = k00 ? fileSize - static_cast<long>(d->stream.fill) : fileSize;
      if (k00 && start > plainNext) SkippedBytes(report, plainNext, start, !errorSinceRecord);
      report.Truncated();
      report.Problem(report.Offset(start), true,
                     "truncated: %u %sbytes at the end of the file hold no complete record",
                     static_cast<unsigned>(d->stream.fill), k00 ? "" : "decoded ");
    } else if (k00 && fileSize > plainNext) {
      SkippedBytes(report, plainNext, fileSize, !errorSinceRecord);
    } else if (!k00 && d->shape == k01::kShapeBlock && lastResult < 0 &&
               lastStatus == k01::kReadEndOfFile && fileSize > lastCallStart &&
               fileSize - lastCallStart < 4) {
      // Fewer bytes than a block header: the file ends inside one.
      report.Truncated();
      report.Problem(report.Offset(lastCallStart), true,
                     "truncated: %ld bytes at the end of the file hold no block",
                     fileSize - lastCallStart);
    }
  }
  k01::DestroyDecoder(d);
  return !readError;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      PrintUsage(stdout);
      return kExitClean;
    } else if (a == "-s") {
      opt.summary = true;
    } else if (a == "-e") {
      opt.problemsOnly = true;
    } else if (a == "-x") {
      opt.hex = true;
    } else if (a.rfind("-t", 0) == 0) {
      const char* value = a.size() > 2 ? argv[i] + 2 : (i + 1 < argc ? argv[++i] : nullptr);
      opt.format = value != nullptr ? ParseFormat(value) : static_cast<int16_t>(kFormatNone);
      if (opt.format == kFormatNone) {
        std::fprintf(stderr, "k01dump: -t wants q00, k00, k01 or k02\n");
        return kExitTrouble;
      }
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "k01dump: unknown option %s (see --help)\n", a.c_str());
      return kExitTrouble;
    } else if (opt.name.empty()) {
      opt.name = a;
    } else {
      std::fprintf(stderr, "k01dump: one file at a time (see --help)\n");
      return kExitTrouble;
    }
  }
  if (opt.name.empty()) {
    PrintUsage(stderr);
    return kExitTrouble;
  }

  // Name and format as logsplit resolves them: a missing extension is
  // probed and the file's first bytes tell the format. A name too long for
  // the input table is opened as it is.
  std::string name = opt.name;
  int16_t detected = kFormatNone;
  int kind = kHeaderNone;
  if (name.size() < static_cast<size_t>(kInputNameSize)) {
    Application* app = new Application();
    std::memcpy(app->inputNames[0], name.c_str(), name.size() + 1);
    const Status st = app->ProbeInputFile(0, &detected);
    if (st == status::kOk) name = app->inputNames[0];
    delete app;
    if (st != status::kOk) {
      std::fprintf(stderr, "k01dump: cannot open %s\n", opt.name.c_str());
      return kExitTrouble;
    }
  }
  FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr) {
    std::fprintf(stderr, "k01dump: cannot open %s\n", name.c_str());
    return kExitTrouble;
  }
  (void)CheckImageHeader(f, nullptr, &kind);
  if (detected == kFormatNone) {
    switch (kind) {
      case kHeaderRawImage: detected = kFormatQ00; break;
      case kHeaderK00: detected = kFormatK00; break;
      case kHeaderK02: detected = kFormatK02; break;
      default: detected = kFormatK01; break;
    }
  }
  const int16_t format = opt.format != kFormatNone ? opt.format : detected;
  std::rewind(f);

  Report report(opt);
  report.Header();
  bool readable;
  if (format == kFormatQ00) {
    // A forced q00 on a file without the image header reads raw records
    // from its first byte.
    readable = DumpImage(f, kind == kHeaderRawImage, report);
  } else {
    k01::LibraryStartup();
    readable = DumpK01(f, format == kFormatK00, report);
    k01::LibraryCleanup();
  }
  std::fclose(f);
  if (!readable) {
    std::fprintf(stderr, "k01dump: cannot read %s\n", name.c_str());
    return kExitTrouble;
  }
  report.Finish(name, format);
  return report.errors() == 0 ? kExitClean : kExitErrors;
}
