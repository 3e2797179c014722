#include "k01lib/k01_writer.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>

#include "k01lib/container_reader.h"
#include "k01lib/huffman.h"
#include "k01lib/record_buffer.h"

namespace k01 {

namespace {

bool isDataBlockType(uint8_t t) { return t >= kBlockBzip2 && t <= kBlockBzip2Stripped; }

// Compressed type-17 records without an end byte: key epochs 69/77 and the
// smoothed predictor's delta epochs 68/76.
bool hasNoEndByte(uint8_t type) {
  return type == 68 || type == 69 || type == 76 || type == 77;
}

bool isLinearFamily(uint8_t type) {
  return type == 66 || type == 67 || type == 74 || type == 75;
}
bool isSmoothedFamily(uint8_t type) { return hasNoEndByte(type); }

uint8_t bzip2Compress(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
  unsigned int destLen = static_cast<unsigned int>(in.size() + in.size() / 100 + 600);
  out.resize(destLen);
  const int r = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &destLen,
                                         const_cast<char*>(reinterpret_cast<const char*>(in.data())),
                                         static_cast<unsigned int>(in.size()), 9, 0, 0);
  if (r != BZ_OK) return kWriteCompression;
  out.resize(destLen);
  return kWriteOk;
}

uint8_t zlibCompress(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
  uLongf destLen = compressBound(static_cast<uLong>(in.size()));
  out.resize(destLen);
  const int r = compress2(out.data(), &destLen, in.data(), static_cast<uLong>(in.size()), 9);
  if (r != Z_OK) return kWriteCompression;
  out.resize(destLen);
  return kWriteOk;
}

// Decoded size of records[first, first + count) in a block of the given type.
size_t decodedSize(uint8_t blockType, const std::vector<RawRecord>& records, size_t first,
                   size_t count) {
  size_t total = 0;
  for (size_t i = first; i < first + count; ++i) {
    const size_t size = records[i].size();
    if (blockType == kBlockBzip2Stripped)
      total += size - (size >= 3 && hasNoEndByte(records[i][2]) ? 3 : 4);
    else
      total += size;
  }
  return total;
}

size_t decodedLimit(uint8_t blockType) {
  // A plain block carries its records as payload after the sync bytes.
  return blockType == kBlockPlain ? kMaxBlockLength - 6 : kBlockOutputSize;
}

// Builds one block of records[first, first + count), halving the count while
// the block exceeds the limits (unless exact is set). Reports the count used.
uint8_t appendFittingBlock(std::vector<uint8_t>& out, uint8_t blockType,
                           const std::vector<RawRecord>& records, size_t first, size_t count,
                           bool exact, size_t* used) {
  for (;;) {
    std::vector<uint8_t> payload;
    bool fits = decodedSize(blockType, records, first, count) <= decodedLimit(blockType);
    if (fits) {
      const uint8_t st = buildBlockPayload(blockType, records, first, count, payload);
      if (st != kWriteOk) return st;
      fits = payload.size() <= kMaxBlockLength;
    }
    if (fits) {
      appendBlock(out, blockType, payload);
      *used = count;
      return kWriteOk;
    }
    if (exact || count <= 1) return kWriteBlockTooLarge;
    count /= 2;
  }
}

}  // namespace

bool isFramedRecord(const RawRecord& record) {
  if (record.size() < kMinRecordLength || record.size() > kRecordCapacity) return false;
  if (record[0] != 0x02) return false;
  return recordLength(record[1], record[2], record[3]) == record.size();
}

void appendBlock(std::vector<uint8_t>& out, uint8_t blockType, const std::vector<uint8_t>& payload) {
  const size_t n = payload.size();
  out.push_back(blockType);
  out.push_back(static_cast<uint8_t>(n >> 16));
  out.push_back(static_cast<uint8_t>(n >> 8));
  out.push_back(static_cast<uint8_t>(n));
  out.insert(out.end(), payload.begin(), payload.end());
}

std::vector<uint8_t> headerPayload(uint8_t version10, uint8_t version11) {
  const uint8_t bytes[13] = {kHeaderSignature[0], kHeaderSignature[1], kHeaderSignature[2],
                             kHeaderSignature[3], kHeaderSignature[4], kHeaderSignature[5],
                             8, 24, 0, 0, version10, version11, 0};
  return std::vector<uint8_t>(bytes, bytes + sizeof bytes);
}

void appendHeaderBlock(std::vector<uint8_t>& out, uint8_t version10, uint8_t version11) {
  appendBlock(out, kBlockHeader, headerPayload(version10, version11));
}

uint8_t stripRecord(const RawRecord& record, std::vector<uint8_t>& stored) {
  if (!isFramedRecord(record)) return kWriteBadRecord;
  const uint8_t type = record[2];
  // Start byte, checksum and end byte go; a record without an end byte
  // keeps its last payload byte.
  const size_t size = record.size() - (hasNoEndByte(type) ? 3 : 4);
  // The length field of the stored record counts only the stored bytes.
  if (type >= 74 && type <= 77) {
    if (size < 256 || size > 511) return kWriteNotStorable;
  } else if (!hasLengthHighByte(type) && size > 255) {
    return kWriteNotStorable;
  }
  if (size < 2 || (hasLengthHighByte(type) && size < 3)) return kWriteNotStorable;
  stored.assign(record.begin() + 1, record.begin() + 1 + static_cast<long>(size));
  stored[0] = static_cast<uint8_t>(size);
  if (hasLengthHighByte(type)) stored[2] = static_cast<uint8_t>(size >> 8);
  return kWriteOk;
}

uint8_t buildBlockPayload(uint8_t blockType, const std::vector<RawRecord>& records, size_t first,
                          size_t count, std::vector<uint8_t>& payload) {
  payload.clear();
  if (!isDataBlockType(blockType) || first > records.size() || count > records.size() - first)
    return kWriteBadOption;
  std::vector<uint8_t> data;
  for (size_t i = first; i < first + count; ++i) {
    if (!isFramedRecord(records[i])) return kWriteBadRecord;
    if (blockType == kBlockBzip2Stripped) {
      std::vector<uint8_t> stored;
      const uint8_t st = stripRecord(records[i], stored);
      if (st != kWriteOk) return st;
      data.insert(data.end(), stored.begin(), stored.end());
    } else {
      data.insert(data.end(), records[i].begin(), records[i].end());
    }
  }
  switch (blockType) {
    case kBlockBzip2:
    case kBlockBzip2Stripped:
      return bzip2Compress(data, payload);
    case kBlockZlib: {
      std::vector<uint8_t> packed;
      const uint8_t st = zlibCompress(data, packed);
      if (st != kWriteOk) return st;
      payload.assign(kZlibSync, kZlibSync + 6);
      payload.insert(payload.end(), packed.begin(), packed.end());
      return kWriteOk;
    }
    case kBlockHuffman: {
      payload.assign(kHuffmanSync, kHuffmanSync + 6);
      const std::vector<uint8_t> coded = huffmanEncode(data, true);
      payload.insert(payload.end(), coded.begin(), coded.end());
      return kWriteOk;
    }
    default:
      payload.assign(kPlainSync, kPlainSync + 6);
      payload.insert(payload.end(), data.begin(), data.end());
      return kWriteOk;
  }
}

void HuffmanEncoder::putSymbol(uint16_t symbol) {
  const k01_huff_code_t code = huffmanCode(symbol);
  for (int i = code.length - 1; i >= 0; --i) {
    pending_ = (pending_ << 1) | ((code.bits >> i) & 1);
    if (++pendingBits_ == 8) {
      bytes_.push_back(static_cast<uint8_t>(pending_));
      pending_ = 0;
      pendingBits_ = 0;
    }
  }
}

void HuffmanEncoder::put(const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) putSymbol(bytes[i]);
}

void HuffmanEncoder::pad() {
  if (pendingBits_ == 0) return;
  bytes_.push_back(static_cast<uint8_t>(pending_ << (8 - pendingBits_)));
  pending_ = 0;
  pendingBits_ = 0;
}

void HuffmanEncoder::flush() {
  putSymbol(kFlushSymbol);
  pad();
}

std::vector<uint8_t> huffmanEncode(const std::vector<uint8_t>& bytes, bool flush) {
  HuffmanEncoder enc;
  enc.put(bytes.data(), bytes.size());
  if (flush)
    enc.flush();
  else
    enc.pad();
  return enc.bytes();
}

uint8_t compressMeasurementRecords(const std::vector<RawRecord>& records,
                                   const k01_write_options_t& options,
                                   std::vector<RawRecord>& out) {
  out.clear();
  const bool linear = options.measurementPredictor == Meas17Predictor::kLinear;
  for (const RawRecord& r : records) {
    if (r.size() < 3) continue;
    if (linear ? isLinearFamily(r[2]) : isSmoothedFamily(r[2])) return kWriteMixedMeasurements;
  }
  k01_meas17_encoder_options_t eo;
  eo.predictor = options.measurementPredictor;
  eo.keyInterval = options.measurementKeyInterval;
  eo.maxGapMs = options.measurementMaxGapMs;
  k01_meas17_encoder_t encoder(eo);
  out.reserve(records.size());
  std::vector<uint8_t> packed;
  for (const RawRecord& r : records) {
    if (r.size() >= 4 && r[0] == 0x02 && r[2] == 30 && r[3] == 0 && linear) {
      // The decoder clears the linear pair after this record (all but the
      // first time); a key epoch is right either way.
      encoder.restart();
    }
    if (r.size() >= 3 && (r[2] == 17 || r[2] == 117) &&
        encoder.encodeRaw(r.data(), r.size(), packed) == kEnc17Ok) {
      out.push_back(packed);
      continue;
    }
    out.push_back(r);
  }
  return kWriteOk;
}

uint8_t compressOtherRecords(const std::vector<RawRecord>& records,
                             const k01_write_options_t& options, std::vector<RawRecord>& out) {
  out.clear();
  for (const RawRecord& r : records) {
    if (r.size() < 3) continue;
    const uint8_t t = r[2];
    if (options.compressMultiSignal && t >= 36 && t <= 39) return kWriteMixedMeasurements;
    if (options.compressAuxiliary && (t == 41 || (t >= 54 && t <= 57) || t == 84 || t == 85))
      return kWriteMixedMeasurements;
  }
  k01_ms_encoder_options_t mo;
  mo.keyInterval = options.multiSignalKeyInterval;
  k01_ms_encoder_t multiSignal(mo);
  k01_aux_encoder_options_t ao;
  ao.keyInterval = options.auxiliaryKeyInterval;
  k01_aux_encoder_t auxiliary(ao);
  out.reserve(records.size());
  std::vector<uint8_t> packed;
  for (const RawRecord& r : records) {
    if (r.size() >= 3) {
      const uint8_t t = r[2];
      if (options.compressMultiSignal && t == 27 &&
          multiSignal.encodeRaw(r.data(), r.size(), packed) == kEnc27Ok) {
        out.push_back(packed);
        continue;
      }
      if (options.compressAuxiliary && (t == 11 || t == 25 || t == 29 || t == 40) &&
          auxiliary.encodeRaw(r.data(), r.size(), packed) == kEncAuxOk) {
        out.push_back(packed);
        continue;
      }
    }
    out.push_back(r);
  }
  return kWriteOk;
}

// True when the file would hold blocks of stripped records (type 5).
static bool usesStrippedBlocks(const k01_write_options_t& options) {
  if (options.form != ContainerForm::kBlocks) return false;
  bool stripped = false;
  if (options.plan.empty())
    for (uint8_t t : options.blockTypes) stripped = stripped || t == kBlockBzip2Stripped;
  for (const k01_block_spec_t& b : options.plan) stripped = stripped || b.blockType == kBlockBzip2Stripped;
  return stripped;
}

uint8_t writeK01File(const std::vector<RawRecord>& records, const k01_write_options_t& options,
                     std::vector<uint8_t>& out) {
  out.clear();
  if (options.compressMultiSignal || options.compressAuxiliary) {
    // Their records end with the carried checksum, which stripping drops.
    if (usesStrippedBlocks(options)) return kWriteNotStorable;
    std::vector<RawRecord> packed;
    const uint8_t st = compressOtherRecords(records, options, packed);
    if (st != kWriteOk) return st;
    k01_write_options_t rest = options;
    rest.compressMultiSignal = rest.compressAuxiliary = false;
    return writeK01File(packed, rest, out);
  }
  if (options.compressMeasurements) {
    if (options.measurementPredictor == Meas17Predictor::kLinear && usesStrippedBlocks(options))
      return kWriteNotStorable;
    std::vector<RawRecord> packed;
    const uint8_t st = compressMeasurementRecords(records, options, packed);
    if (st != kWriteOk) return st;
    k01_write_options_t plain = options;
    plain.compressMeasurements = false;
    return writeK01File(packed, plain, out);
  }
  for (const RawRecord& r : records)
    if (!isFramedRecord(r)) return kWriteBadRecord;

  switch (options.form) {
    case ContainerForm::kK00:
      for (const RawRecord& r : records) out.insert(out.end(), r.begin(), r.end());
      return kWriteOk;

    case ContainerForm::kStream: {
      HuffmanEncoder enc;
      for (size_t i = 0; i < records.size(); ++i) {
        enc.put(records[i].data(), records[i].size());
        if (options.flushInterval > 0 && (i + 1) % options.flushInterval == 0 &&
            i + 1 < records.size())
          enc.flush();
      }
      if (!records.empty()) enc.flush();
      out = std::move(enc.bytes());
      return kWriteOk;
    }

    case ContainerForm::kBlocks:
      break;

    default:
      return kWriteBadOption;
  }

  if (options.headerBlock) appendHeaderBlock(out, options.headerVersion10, options.headerVersion11);
  size_t next = 0;
  if (!options.plan.empty()) {
    for (const k01_block_spec_t& b : options.plan) {
      if (!isDataBlockType(b.blockType) || b.recordCount > records.size() - next) {
        out.clear();
        return kWriteBadOption;
      }
      size_t used = 0;
      const uint8_t st = appendFittingBlock(out, b.blockType, records, next, b.recordCount, true, &used);
      if (st != kWriteOk) {
        out.clear();
        return st;
      }
      next += used;
    }
    if (next != records.size()) {
      out.clear();
      return kWriteBadOption;
    }
    return kWriteOk;
  }
  if (options.blockTypes.empty()) {
    out.clear();
    return kWriteBadOption;
  }
  for (uint8_t t : options.blockTypes)
    if (!isDataBlockType(t)) {
      out.clear();
      return kWriteBadOption;
    }
  size_t turn = 0;
  while (next < records.size()) {
    const uint8_t type = options.blockTypes[turn++ % options.blockTypes.size()];
    // As many records as the decoded block can hold, capped by recordsPerBlock.
    size_t count = 0;
    size_t size = 0;
    const size_t limit = decodedLimit(type);
    while (next + count < records.size()) {
      if (options.recordsPerBlock > 0 && count == options.recordsPerBlock) break;
      const size_t add = decodedSize(type, records, next + count, 1);
      if (count > 0 && size + add > limit) break;
      size += add;
      ++count;
    }
    size_t used = 0;
    const uint8_t st = appendFittingBlock(out, type, records, next, count, false, &used);
    if (st != kWriteOk) {
      out.clear();
      return st;
    }
    next += used;
  }
  return kWriteOk;
}

}  // namespace k01
