#include "k01lib/container_reader.h"

#include <bzlib.h>
#include <zlib.h>

#include "common/raw_record.h"
#include <cstring>

#include "k01lib/block_prefetch.h"
#include "k01lib/huffman.h"

namespace k01 {

const uint8_t kHeaderSignature[6] = {0x74, 0xBA, 0x79, 0x4B, 0xCF, 0x6B};
const uint8_t kBzip2Signature[3] = {0x42, 0x5A, 0x68};
const uint8_t kZlibSync[6] = {0xC2, 0xEA, 0xB4, 0xD8, 0xBE, 0xF1};
const uint8_t kHuffmanSync[6] = {0x77, 0x01, 0xEE, 0xA8, 0x9C, 0xCC};
const uint8_t kPlainSync[6] = {0xA1, 0x74, 0xF9, 0x60, 0x35, 0x99};

uint8_t checksumModeOf(uint8_t blockType) {
  switch (blockType) {
    case kBlockBzip2: return 4;
    case kBlockZlib: return 3;
    case kBlockHuffman: return 2;
    case kBlockPlain: return 1;
    case kBlockBzip2Stripped: return 5;
    default: return 0;
  }
}

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;

bool hasSyncBytes(uint8_t blockType) {
  return blockType == kBlockZlib || blockType == kBlockHuffman || blockType == kBlockPlain;
}

// The sync pattern that findNextBlock looks for, per block type.
const uint8_t* syncPattern(uint8_t blockType, size_t* length) {
  switch (blockType) {
    case kBlockHeader: *length = 6; return kHeaderSignature;
    case kBlockBzip2:
    case kBlockBzip2Stripped: *length = 3; return kBzip2Signature;
    case kBlockZlib: *length = 6; return kZlibSync;
    case kBlockHuffman: *length = 6; return kHuffmanSync;
    default: *length = 6; return kPlainSync;
  }
}

uint32_t be24(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}

// Reads and discards n bytes; returns the number actually read.
size_t skipBytes(K01Decoder* d, FILE* f, size_t n) {
  size_t done = 0;
  while (done < n) {
    const size_t chunk = n - done < sizeof d->blockInput ? n - done : sizeof d->blockInput;
    const size_t got = std::fread(d->blockInput, 1, chunk, f);
    done += got;
    if (got < chunk) break;
  }
  return done;
}

// A data block of the given type, whose type byte is at file offset
// blockStart, now fills the block output.
void blockLoaded(K01Decoder* d, uint8_t blockType, long blockStart) {
  d->blockType = blockType;
  ++d->blocksLoaded;
  d->blockFileOffset = blockStart;
}

void emptyBlockOutput(K01Decoder* d) {
  d->blockOutputLength = 0;
  d->blockReadOffset = 0;
}

void resetStreamState(K01Decoder* d) {
  d->stream.fill = 0;
  std::memset(d->stream.huffmanOutput, 0, sizeof d->stream.huffmanOutput);
  d->stream.cursor = huffmanRoot();
}

void dropStreamBytes(k01_stream_state_t& s, size_t n) {
  if (n >= s.fill) {
    s.fill = 0;
    return;
  }
  std::memmove(s.buffer, s.buffer + n, s.fill - n);
  s.fill = static_cast<uint16_t>(s.fill - n);
}

// Feeds one input byte of the stream into the stream buffer. Returns false
// when it decoded the flush symbol.
bool feedStreamByte(k01_stream_state_t& s, uint8_t byte, bool decode) {
  if (decode && s.fill + 8u <= kStreamBufferSize) {
    // Room for whatever one coded byte gives: decode straight into place.
    const int count = huffmanDecodeInto(&s.cursor, byte, s.buffer + s.fill);
    if (count == kHuffmanFlush) return false;
    s.fill = static_cast<uint16_t>(s.fill + count);
    return true;
  }
  const uint8_t* produced = &byte;
  int count = 1;
  if (decode) {
    count = huffmanDecodeByte(&s.cursor, byte, s.huffmanOutput, false);
    if (count == kHuffmanFlush) return false;
    produced = s.huffmanOutput;
  }
  for (int i = 0; i < count && s.fill < kStreamBufferSize; ++i) s.buffer[s.fill++] = produced[i];
  return true;
}

void deliver(K01Decoder* d, const uint8_t* bytes, uint32_t length) {
  std::memset(&d->inputRecord, 0, sizeof d->inputRecord);
  std::memcpy(d->inputRecord.bytes, bytes, length);
  d->inputRecord.length = static_cast<uint16_t>(length);
}

// Takes the next record out of the block output. A record that cannot be
// framed inside the block (bad start byte, impossible length, or running past
// the decoded data) ends the block with a framing status.
int32_t serveBlockRecord(K01Decoder* d, uint8_t* status) {
  const uint8_t* buf = d->blockOutput;
  const uint32_t len = d->blockOutputLength;
  const uint32_t p = d->blockReadOffset;
  const bool stripped = d->blockType == kBlockBzip2Stripped;
  uint8_t type = 0;
  uint32_t size = 0;
  bool ok;
  if (stripped) {
    ok = len >= 2 && p <= len - 2;
    if (ok) {
      type = buf[p + 1];
      size = recordLength(buf[p], type, p + 2 < len ? buf[p + 2] : 0);
      ok = size >= 2 && size <= len - p && size + 4 <= kRecordCapacity;
    }
  } else {
    ok = len >= 4 && p <= len - 4 && buf[p] == kStx;
    if (ok) {
      type = buf[p + 2];
      size = recordLength(buf[p + 1], type, buf[p + 3]);
      ok = size >= kMinRecordLength && size <= kRecordCapacity && size <= len - p;
    }
  }
  if (!ok) {
    emptyBlockOutput(d);
    d->blockSkipped = 1;
    *status = kReadFraming;
    return -1;
  }
  if (stripped) {
    std::memset(&d->inputRecord, 0, sizeof d->inputRecord);
    uint8_t* rec = d->inputRecord.bytes;
    rec[0] = kStx;
    std::memcpy(rec + 1, buf + p, size);
    const bool compressed = isCompressedType(type);
    const uint32_t length = size + (compressed ? 3 : 4);
    rec[1] = static_cast<uint8_t>(type >= 74 && type <= 77 ? length - 256 : length);
    if (hasLengthHighByte(type)) rec[3] = static_cast<uint8_t>(length >> 8);
    if (!compressed) rec[length - 1] = kEtx;
    d->inputRecord.length = static_cast<uint16_t>(length);
  } else {
    deliver(d, buf + p, size);
  }
  d->blockReadOffset = p + size;
  if (d->blockReadOffset >= len) emptyBlockOutput(d);
  return type;
}

}  // namespace

bool decodeBlockPayload(K01Decoder* d, uint8_t blockType, uint32_t payloadLength) {
  emptyBlockOutput(d);
  if (payloadLength > kBlockInputSize) return false;
  uint8_t* in = d->blockInput;
  uint8_t* out = d->blockOutput;
  uint32_t produced = 0;
  switch (blockType) {
    case kBlockBzip2:
    case kBlockBzip2Stripped: {
      unsigned int destLen = kBlockOutputSize;
      const int r = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out), &destLen,
                                               reinterpret_cast<char*>(in), payloadLength, 0, 0);
      if (r != BZ_OK) return false;
      produced = destLen;
      break;
    }
    case kBlockZlib: {
      uLongf destLen = kBlockOutputSize;
      const int r = uncompress(out, &destLen, in, payloadLength);
      if (r != Z_OK) return false;
      produced = static_cast<uint32_t>(destLen);
      break;
    }
    case kBlockHuffman: {
      // Each block is coded on its own: decoding starts at the root.
      bool full = false;
      produced = static_cast<uint32_t>(
          huffmanDecodeBlock(in, payloadLength, out, kBlockOutputSize, &full));
      if (full) return false;
      break;
    }
    case kBlockPlain:
      std::memcpy(out, in, payloadLength);
      produced = payloadLength;
      break;
    default:
      return false;
  }
  d->blockOutputLength = produced;
  d->blockReadOffset = 0;
  return true;
}

int32_t readStreamRecord(K01Decoder* d, FILE* f, uint8_t* status, bool decode) {
  uint8_t ignored = 0;
  if (status == nullptr) status = &ignored;
  *status = kReadOk;
  if (d == nullptr || f == nullptr) {
    *status = kReadEndOfFile;
    return -1;
  }
  if (std::feof(f)) return -1;
  k01_stream_state_t& s = d->stream;
  // Header: at least 4 bytes starting with the start byte.
  while (s.fill < 4 || s.buffer[0] != kStx) {
    while (s.fill < 4) {
      const int c = getc_unlocked(f);
      if (c == EOF) {
        if (*status == kReadOk) *status = kReadEndOfFile;
        return -1;
      }
      if (!feedStreamByte(s, static_cast<uint8_t>(c), decode)) {
        *status = kReadFlush;
        return -1;
      }
    }
    size_t skip = 0;
    while (skip < s.fill && s.buffer[skip] != kStx) ++skip;
    dropStreamBytes(s, skip);
  }
  const uint8_t type = s.buffer[2];
  const uint32_t length = recordLength(s.buffer[1], type, s.buffer[3]);
  if (length < kMinRecordLength || length > kRecordCapacity) {
    dropStreamBytes(s, 1);
    *status = kReadFraming;
    return -1;
  }
  // Payload: a flush symbol inside a record is skipped.
  while (s.fill < length) {
    const int c = getc_unlocked(f);
    if (c == EOF) return -1;
    feedStreamByte(s, static_cast<uint8_t>(c), decode);
  }
  if (!isCompressedType(type)) {
    const uint16_t stored = static_cast<uint16_t>((s.buffer[length - 3] << 8) | s.buffer[length - 2]);
    if (stored != rawrec::ByteSum(s.buffer, length - 3)) {
      dropStreamBytes(s, 1);
      *status = kReadChecksum;
      return -1;
    }
  }
  deliver(d, s.buffer, length);
  dropStreamBytes(s, length);
  return type;
}

bool findNextBlock(K01Decoder* d, FILE* f, uint8_t* blockType, uint32_t* length, bool load) {
  if (d == nullptr || f == nullptr) return false;
  const long start = std::ftell(f);
  if (d->searchFile != f) {
    d->searchFile = f;
    d->noBlockFrom = -1;
    d->noDecodableBlockFrom = -1;
  }
  // A search from here already failed once: nothing to find up to the end.
  if (start >= 0 && ((d->noBlockFrom >= 0 && start >= d->noBlockFrom) ||
                     (load && d->noDecodableBlockFrom >= 0 && start >= d->noDecodableBlockFrom))) {
    std::fseek(f, 0, SEEK_END);
    (void)std::getc(f);  // leaves the stream at end of file, as a full search does
    return false;
  }
  uint8_t ring[12];
  std::memset(ring, 0xFF, sizeof ring);
  for (;;) {
    const int c = std::getc(f);
    if (c == EOF) {
      if (start >= 0) {
        if (load)
          d->noDecodableBlockFrom = start;
        else
          d->noBlockFrom = start;
      }
      return false;
    }
    std::memmove(ring, ring + 1, sizeof ring - 1);
    ring[11] = static_cast<uint8_t>(c);
    for (uint8_t k = 0; k <= kBlockBzip2Stripped; ++k) {
      size_t m = 0;
      const uint8_t* pattern = syncPattern(k, &m);
      const size_t p0 = 11 - m;  // the pattern ends just before the byte read
      if (std::memcmp(ring + p0, pattern, m) != 0 || ring[p0 - 4] != k) continue;
      const uint32_t n = be24(ring + p0 - 3);
      if (n > kMaxBlockLength || n < m) continue;
      const long here = std::ftell(f);
      const long patternStart = here - 1 - static_cast<long>(m);
      std::fseek(f, patternStart, SEEK_SET);
      if (!load) {
        *blockType = k;
        *length = n;
        return true;
      }
      uint32_t payload = n;
      if (hasSyncBytes(k)) {
        std::fseek(f, 6, SEEK_CUR);
        payload -= 6;
      }
      const size_t got = std::fread(d->blockInput, 1, payload, f);
      if (got < payload) std::clearerr(f);
      if (k == kBlockHeader) {
        emptyBlockOutput(d);
        *blockType = k;
        *length = n;
        return true;
      }
      if (decodeBlockPayload(d, k, static_cast<uint32_t>(got))) {
        blockLoaded(d, k, patternStart - 4);
        d->checksumMode = checksumModeOf(k);
        *blockType = k;
        *length = n;
        return true;
      }
      std::fseek(f, here, SEEK_SET);
    }
  }
}

int32_t readBlockRecord(K01Decoder* d, FILE* f, uint8_t* status, long callStart) {
  uint8_t ignored = 0;
  if (status == nullptr) status = &ignored;
  *status = kReadOk;
  if (d == nullptr || f == nullptr) {
    *status = kReadEndOfFile;
    return -1;
  }
  d->blockSkipped = 0;
  for (;;) {
    if (d->blockOutputLength > 0) return serveBlockRecord(d, status);
    long blockStart = std::ftell(f);
    uint8_t head[4];
    const int c = std::getc(f);
    if (c == EOF) {
      *status = kReadEndOfFile;
      return -1;
    }
    head[0] = static_cast<uint8_t>(c);
    if (std::fread(head + 1, 1, 3, f) != 3) {
      *status = kReadEndOfFile;
      return -1;
    }
    uint8_t type = head[0];
    uint32_t n = be24(head + 1);
    if (n > kMaxBlockLength) {
      // Perhaps the data is a coded stream rather than blocks.
      std::fseek(f, callStart, SEEK_SET);
      resetStreamState(d);
      uint8_t streamStatus = kReadOk;
      readStreamRecord(d, f, &streamStatus, true);
      if (streamStatus == kReadOk || streamStatus == kReadEndOfFile || streamStatus == kReadFlush) {
        *status = kReadFraming;
        return -1;
      }
      // Search from just after the bad block's type byte, so that no block
      // the stream attempt read over is missed.
      std::fseek(f, blockStart + 1, SEEK_SET);
      if (!findNextBlock(d, f, &type, &n, false)) {
        *status = kReadFraming;
        return -1;
      }
      blockStart = std::ftell(f) - 4;
    }
    if (type == kBlockHeader) {
      if (n > kMaxHeaderLength) {
        *status = kReadFraming;
        return -1;
      }
      const size_t got = std::fread(d->blockInput, 1, n, f);
      // Version bytes a short header block lacks count as 0.
      const uint8_t v10 = got > 10 ? d->blockInput[10] : 0;
      const uint8_t v11 = got > 11 ? d->blockInput[11] : 0;
      d->versionAccepted = (v10 <= 8 && v11 <= 24) ? 1 : 0;
      continue;
    }
    if (type > kBlockBzip2Stripped) {
      *status = kReadUnknownBlock;
      if (n <= kMaxBlockLength) skipBytes(d, f, n);
      d->blockSkipped = 1;
      return -1;
    }
    d->checksumMode = checksumModeOf(type);
    uint32_t payload = n;
    if (hasSyncBytes(type)) {
      if (n < 6) {
        // Too short to hold its sync bytes: skipped as damaged.
        skipBytes(d, f, n);
        emptyBlockOutput(d);
        *status = kReadFraming;
        d->blockSkipped = 1;
        return -1;
      }
      skipBytes(d, f, 6);
      payload -= 6;
    }
    const size_t got = std::fread(d->blockInput, 1, payload, f);
    // A block cut short by the end of the file still has records to serve;
    // the end is reported when the next block header cannot be read.
    if (got < payload) std::clearerr(f);
    if (!d->versionAccepted) {
      emptyBlockOutput(d);
      *status = kReadRefused;
      d->blockSkipped = 1;
      return -1;
    }
    // bzip2 blocks: the worker decodes the block after this one while this
    // one is decoded (when the worker has not done so already) and while
    // its records are served.
    const bool bzip2 = type == kBlockBzip2 || type == kBlockBzip2Stripped;
    bool decoded = takePrefetchedBlock(d, blockStart, type, static_cast<uint32_t>(got));
    if (bzip2) prefetchBlockAt(d, f, std::ftell(f));
    if (!decoded) decoded = decodeBlockPayload(d, type, static_cast<uint32_t>(got));
    if (decoded) {
      blockLoaded(d, type, blockStart);
      continue;  // serves the block's first record, or reads on past an empty block
    }
    switch (type) {
      case kBlockBzip2:
      case kBlockBzip2Stripped: {
        std::fseek(f, blockStart, SEEK_SET);
        uint8_t foundType = 0;
        uint32_t foundLength = 0;
        if (!findNextBlock(d, f, &foundType, &foundLength, true)) {
          emptyBlockOutput(d);
          *status = kReadBzip2;
          return -1;
        }
        continue;  // a header block found: go on with the next block
      }
      case kBlockZlib:
        *status = kReadZlib;
        break;
      default:  // Huffman data decoding beyond the block output
        *status = kReadFraming;
        break;
    }
    emptyBlockOutput(d);
    d->blockSkipped = 1;
    return -1;
  }
}

int32_t readK01Record(K01Decoder* d, FILE* f, uint8_t* status) {
  uint8_t ignored = 0;
  if (status == nullptr) status = &ignored;
  *status = kReadOk;
  if (d == nullptr || f == nullptr) {
    *status = kReadEndOfFile;
    return -1;
  }
  long callStart = std::ftell(f);
  if (d->firstCall) {
    d->firstCall = 0;
    d->shape = kShapeStream;
    uint8_t head[10];
    bool header = false;
    if (std::fread(head, 1, 4, f) == 4 && head[0] == 0 && head[1] == 0 && head[2] == 0 &&
        head[3] >= sizeof kHeaderSignature)
      header = std::fread(head + 4, 1, 6, f) == 6 && std::memcmp(head + 4, kHeaderSignature, 6) == 0;
    if (header) {
      skipBytes(d, f, head[3] - 6u);
      d->shape = kShapeBlock;
      callStart = std::ftell(f);  // the header block is never read again as data
    } else {
      std::fseek(f, callStart, SEEK_SET);
    }
  }
  if (d->shape == kShapeStream) {
    int32_t result = readStreamRecord(d, f, status, true);
    if (*status == kReadOk || *status == kReadEndOfFile || *status == kReadFlush) return result;
    // Try the same bytes as blocks; if that fails too, carry on in the
    // stream shape exactly where the stream step stopped.
    const uint8_t streamStatus = *status;
    const long reached = std::ftell(f);
    std::memcpy(&d->streamSaved, &d->stream, sizeof d->stream);
    const uint8_t savedVersion = d->versionAccepted;
    d->shape = kShapeBlock;
    std::fseek(f, callStart, SEEK_SET);
    result = readBlockRecord(d, f, status, callStart);
    if (result == -1) {
      d->shape = kShapeStream;
      std::fseek(f, reached, SEEK_SET);
      std::memcpy(&d->stream, &d->streamSaved, sizeof d->stream);
      d->versionAccepted = savedVersion;
      emptyBlockOutput(d);
      if (*status == kReadOk || *status == kReadEndOfFile) *status = streamStatus;
    }
    return result;
  }
  int32_t result = readBlockRecord(d, f, status, callStart);
  if (*status == kReadOk || *status == kReadEndOfFile || d->blockSkipped) return result;
  // The blocks could not be read here: read the same bytes as a coded stream.
  // When that yields no record and no error of its own, the block failure is
  // what the caller learns.
  const uint8_t blockStatus = *status;
  std::fseek(f, callStart, SEEK_SET);
  d->shape = kShapeStream;
  buildHuffmanTree();
  emptyBlockOutput(d);
  resetStreamState(d);
  result = readStreamRecord(d, f, status, true);
  if (result == -1 && (*status == kReadOk || *status == kReadEndOfFile || *status == kReadFlush))
    *status = blockStatus;
  return result;
}

int32_t readK00Record(K01Decoder* d, FILE* f, uint8_t* status) {
  return readStreamRecord(d, f, status, false);
}

}  // namespace k01
