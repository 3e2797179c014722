// k01pack: packs a sequence of raw records into a K00, K01 or K02 file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/raw_record.h"
#include "k01lib/container_reader.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/k01_writer.h"

namespace {

constexpr long kImageRecordsOffset = 10812;

void PrintUsage() {
  std::printf(
      "Usage: k01pack [options] <input> <output>\n"
      "\n"
      "Reads raw records and writes them as a K00 file, a stream-shaped K01 file or a\n"
      "block-shaped K01/K02 file.\n"
      "\n"
      "Input (detected from its first bytes unless -i is given):\n"
      "  q00   raw image: the records after offset 10,812\n"
      "  k01   K01/K02 file: begins with a header block, or is a coded stream (does not\n"
      "        begin with the start byte 0x02); read with the container reader\n"
      "  k00   K00 file or any plain sequence of raw records (begins with 0x02)\n"
      "Records whose length does not follow the K01 length rule are reported and skipped.\n"
      "\n"
      "Options:\n"
      "  -i KIND     input kind: q00, k00 or k01\n"
      "  -f FORM     output form: k00, stream or blocks (default: k00 for a .k00 output\n"
      "              name, blocks otherwise)\n"
      "  -b TYPES    block types used in turn, comma-separated: 1 bzip2, 2 zlib,\n"
      "              3 Huffman, 4 plain, 5 bzip2 of stripped records (default 2)\n"
      "  -n COUNT    records per block (default: as many as fit in a block)\n"
      "  -F COUNT    stream form: flush symbol after every COUNT records (default: only\n"
      "              at the end)\n"
      "  -V A,B      header block version bytes 10 and 11 (default 8,11)\n"
      "  -c PRED[,KEYS[,GAP]]\n"
      "              compress the measurements: every raw type-17/117 record becomes a\n"
      "              key epoch or a delta epoch of the compressed type-17 family.\n"
      "              PRED linear (types 66/67/74/75) or smoothed (68/69/76/77, no\n"
      "              Doppler: epochs with a Doppler value go as key epochs); KEYS a key\n"
      "              epoch at least every KEYS epochs (default 0: only when needed);\n"
      "              GAP a time step above GAP ms starts a key epoch (default 60000).\n"
      "              Block type 5 needs the smoothed predictor. Records that are not\n"
      "              well-formed type-17 records are kept as they are.\n"
      "  -z WHAT[,KEYS]\n"
      "              compress the other record families; WHAT is ms (multi-signal\n"
      "              measurements: raw type 27 becomes key epochs 38, delta epochs 36/37\n"
      "              or phase-only delta epochs 39), aux (positions 11 -> 55/54, precise\n"
      "              positions 29 -> 57/56, data pages 25 -> 85/84, coded values\n"
      "              40 -> 41) or all; KEYS a key epoch at least every KEYS epochs of\n"
      "              each kind (default 0: only when needed). Each record takes the form\n"
      "              that rebuilds it exactly in the fewest bytes; records that no\n"
      "              compressed form rebuilds are kept as they are. May be combined\n"
      "              with -c; not with block type 5.\n"
      "  --no-header       block form without the leading header block\n"
      "  --no-signature    K00 form: do not add the type-30 \"VELT\" record in front\n"
      "  -h, --help        this text\n"
      "\n"
      "Exit codes: 0 done, 1 bad arguments, 2 input or output file error, 3 the records\n"
      "could not be packed in the chosen form (also: -c or -z with compressed records\n"
      "of the family to be compressed already in the input).\n");
}

bool ReadFile(const char* name, std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(name, "rb");
  if (f == nullptr) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return true;
}

bool IsImage(const std::vector<uint8_t>& b) {
  static const char kText[] = "VNX RAW DATA IMAGE";
  return b.size() >= 22 && std::memcmp(b.data() + 2, kText, sizeof kText) == 0;
}

bool StartsWithHeaderBlock(const std::vector<uint8_t>& b) {
  return b.size() >= 10 && b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] >= 6 &&
         std::memcmp(b.data() + 4, k01::kHeaderSignature, 6) == 0;
}

// Records of a raw image, framed by the image length rule.
// With keepLong17, type-117 records (raw type-17 epochs over 255 bytes, which
// only the compressed forms can carry in a K01 file) are kept for the
// measurement compression.
size_t ImageRecords(const std::vector<uint8_t>& b, std::vector<k01::RawRecord>& out,
                    bool keepLong17) {
  size_t skipped = 0;
  size_t p = static_cast<size_t>(kImageRecordsOffset);
  while (p + 3 <= b.size()) {
    if (b[p] != 0x02) {
      ++p;
      ++skipped;
      continue;
    }
    const size_t len = rawrec::ImageRecordLength(b[p + 1], b[p + 2]);
    if (len < rawrec::kEnvelopeBytes || p + len > b.size()) {
      ++p;
      ++skipped;
      continue;
    }
    k01::RawRecord r(b.begin() + static_cast<long>(p), b.begin() + static_cast<long>(p + len));
    if (k01::isFramedRecord(r) || (keepLong17 && r[2] == 117))
      out.push_back(std::move(r));
    else
      std::fprintf(stderr, "k01pack: record of type %u at offset %zu has no K01 length form; skipped\n",
                   r[2], p);
    p += len;
  }
  return skipped;
}

// Records of a K00 or K01 file, through the container reader.
void ReaderRecords(const char* name, bool k01Reader, std::vector<k01::RawRecord>& out,
                   size_t* errors) {
  FILE* f = std::fopen(name, "rb");
  if (f == nullptr) return;
  K01Decoder* d = k01::CreateDecoder();
  if (d == nullptr) {
    std::fclose(f);
    return;
  }
  while (!std::feof(f)) {
    uint8_t status = 0;
    const int32_t type = k01Reader ? k01::readK01Record(d, f, &status) : k01::readK00Record(d, f, &status);
    if (type >= 0) {
      out.emplace_back(d->inputRecord.bytes, d->inputRecord.bytes + d->inputRecord.length);
      // Records of stripped-record blocks come without checksum; give the
      // plain ones theirs back so that every output form checks them.
      k01::RawRecord& r = out.back();
      if (d->checksumMode == 5 && !k01::isCompressedType(r[2]) && r.size() >= 6) {
        const uint16_t sum = rawrec::ByteSum(r.data(), r.size() - 3);
        r[r.size() - 3] = static_cast<uint8_t>(sum >> 8);
        r[r.size() - 2] = static_cast<uint8_t>(sum);
      }
    } else if (status != k01::kReadOk && status != k01::kReadEndOfFile && status != k01::kReadFlush) {
      ++*errors;
      std::fprintf(stderr, "k01pack: reader status %u near offset %ld\n", status, std::ftell(f));
    }
  }
  k01::DestroyDecoder(d);
  std::fclose(f);
}

bool ParseCount(const char* s, size_t* out) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(s, &end, 10);
  if (end == s || *end != '\0') return false;
  *out = v;
  return true;
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = s[s.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  k01::k01_write_options_t opt;
  std::string inputKind;
  std::string form;
  bool signature = true;
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "k01pack: %s needs a value\n", what);
        std::exit(1);
      }
      return argv[++i];
    };
    if (a == "-h" || a == "--help") {
      PrintUsage();
      return 0;
    } else if (a == "-i") {
      inputKind = value("-i");
    } else if (a == "-f") {
      form = value("-f");
    } else if (a == "-b") {
      opt.blockTypes.clear();
      std::string list = value("-b");
      size_t pos = 0;
      while (pos <= list.size()) {
        const size_t comma = list.find(',', pos);
        const std::string item = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        size_t t = 0;
        if (!ParseCount(item.c_str(), &t) || t < 1 || t > 5) {
          std::fprintf(stderr, "k01pack: bad block type '%s'\n", item.c_str());
          return 1;
        }
        opt.blockTypes.push_back(static_cast<uint8_t>(t));
        if (comma == std::string::npos) break;
        pos = comma + 1;
      }
    } else if (a == "-n") {
      if (!ParseCount(value("-n"), &opt.recordsPerBlock)) return 1;
    } else if (a == "-F") {
      if (!ParseCount(value("-F"), &opt.flushInterval)) return 1;
    } else if (a == "-V") {
      unsigned v10 = 0, v11 = 0;
      if (std::sscanf(value("-V"), "%u,%u", &v10, &v11) != 2 || v10 > 255 || v11 > 255) {
        std::fprintf(stderr, "k01pack: -V wants two byte values, e.g. 8,11\n");
        return 1;
      }
      opt.headerVersion10 = static_cast<uint8_t>(v10);
      opt.headerVersion11 = static_cast<uint8_t>(v11);
    } else if (a == "-c") {
      const std::string spec = value("-c");
      const size_t comma = spec.find(',');
      const std::string pred = spec.substr(0, comma);
      if (pred == "linear")
        opt.measurementPredictor = k01::Meas17Predictor::kLinear;
      else if (pred == "smoothed")
        opt.measurementPredictor = k01::Meas17Predictor::kSmoothed;
      else {
        std::fprintf(stderr, "k01pack: -c wants linear or smoothed, got '%s'\n", pred.c_str());
        return 1;
      }
      if (comma != std::string::npos) {
        const std::string rest = spec.substr(comma + 1);
        const size_t comma2 = rest.find(',');
        size_t keys = 0, gap = 0;
        if (!ParseCount(rest.substr(0, comma2).c_str(), &keys) || keys > 0xFFFFFFFFu ||
            (comma2 != std::string::npos &&
             (!ParseCount(rest.substr(comma2 + 1).c_str(), &gap) || gap > 0xFFFFFFFFu))) {
          std::fprintf(stderr, "k01pack: bad -c value '%s'\n", spec.c_str());
          return 1;
        }
        opt.measurementKeyInterval = static_cast<uint32_t>(keys);
        if (comma2 != std::string::npos) opt.measurementMaxGapMs = static_cast<uint32_t>(gap);
      }
      opt.compressMeasurements = true;
    } else if (a == "-z") {
      const std::string spec = value("-z");
      const size_t comma = spec.find(',');
      const std::string what = spec.substr(0, comma);
      opt.compressMultiSignal = what == "ms" || what == "all";
      opt.compressAuxiliary = what == "aux" || what == "all";
      size_t keys = 0;
      if ((!opt.compressMultiSignal && !opt.compressAuxiliary) ||
          (comma != std::string::npos &&
           (!ParseCount(spec.substr(comma + 1).c_str(), &keys) || keys > 0xFFFFFFFFu))) {
        std::fprintf(stderr, "k01pack: bad -z value '%s' (ms, aux or all, then ,KEYS)\n", spec.c_str());
        return 1;
      }
      opt.multiSignalKeyInterval = opt.auxiliaryKeyInterval = static_cast<uint32_t>(keys);
    } else if (a == "--no-header") {
      opt.headerBlock = false;
    } else if (a == "--no-signature") {
      signature = false;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "k01pack: unknown option %s (see --help)\n", a.c_str());
      return 1;
    } else {
      names.push_back(a);
    }
  }
  if (names.size() != 2) {
    PrintUsage();
    return 1;
  }
  if (form.empty()) form = EndsWithNoCase(names[1], ".k00") ? "k00" : "blocks";
  if (form == "k00")
    opt.form = k01::ContainerForm::kK00;
  else if (form == "stream")
    opt.form = k01::ContainerForm::kStream;
  else if (form == "blocks")
    opt.form = k01::ContainerForm::kBlocks;
  else {
    std::fprintf(stderr, "k01pack: unknown form '%s'\n", form.c_str());
    return 1;
  }

  std::vector<uint8_t> input;
  if (!ReadFile(names[0].c_str(), input)) {
    std::fprintf(stderr, "k01pack: cannot read %s\n", names[0].c_str());
    return 2;
  }
  if (inputKind.empty()) {
    // A plain record sequence starts with a start byte; a coded stream does not.
    if (IsImage(input))
      inputKind = "q00";
    else if (StartsWithHeaderBlock(input) || (!input.empty() && input[0] != 0x02))
      inputKind = "k01";
    else
      inputKind = "k00";
  }
  std::vector<k01::RawRecord> records;
  size_t problems = 0;
  if (inputKind == "q00") {
    problems = ImageRecords(input, records, opt.compressMeasurements);
    if (problems > 0) std::fprintf(stderr, "k01pack: %zu stray bytes skipped\n", problems);
  } else if (inputKind == "k01" || inputKind == "k00") {
    ReaderRecords(names[0].c_str(), inputKind == "k01", records, &problems);
  } else {
    std::fprintf(stderr, "k01pack: unknown input kind '%s'\n", inputKind.c_str());
    return 1;
  }

  if (opt.form == k01::ContainerForm::kK00 && signature) {
    const bool hasSignature = !records.empty() && records[0].size() >= 9 && records[0][2] == 30 &&
                              std::memcmp(records[0].data() + 4, "VELT", 5) == 0;
    if (!hasSignature) {
      const std::vector<uint8_t> data = {0x00, 'V', 'E', 'L', 'T', 0x00, 0, 0, 0};
      records.insert(records.begin(), rawrec::BuildRecord(30, data, rawrec::LengthForm::kK01));
    }
  }

  std::vector<uint8_t> out;
  const uint8_t st = k01::writeK01File(records, opt, out);
  if (st != k01::kWriteOk) {
    if (st == k01::kWriteMixedMeasurements)
      std::fprintf(stderr, "k01pack: the input already holds compressed records of a family to be "
                           "compressed; cannot compress (writer status %u)\n", st);
    else
      std::fprintf(stderr, "k01pack: cannot pack the records (writer status %u)\n", st);
    return 3;
  }
  FILE* f = std::fopen(names[1].c_str(), "wb");
  if (f == nullptr || std::fwrite(out.data(), 1, out.size(), f) != out.size()) {
    if (f != nullptr) std::fclose(f);
    std::fprintf(stderr, "k01pack: cannot write %s\n", names[1].c_str());
    return 2;
  }
  if (std::fclose(f) != 0) return 2;
  std::printf("%zu records, %zu bytes written to %s\n", records.size(), out.size(), names[1].c_str());
  return 0;
}
