// Reader of K00, K01 and K02 files: delivers one raw record per call into
// the decoder's input record buffer.
//
// A K01 file is either block-shaped (a header block, then data blocks stored
// plainly or coded with bzip2, zlib or the static Huffman code) or one
// Huffman-coded stream; a K00 file is a plain stream of raw records. The
// reader recovers from damage by dropping bytes (stream shape), searching for
// the next block by its sync pattern (block shape) and switching shapes.
#pragma once
#include <cstdint>
#include <cstdio>

#include "k01lib/k01_decoder.h"

namespace k01 {

// Reader statuses (8-bit, written through the status argument).
constexpr uint8_t kReadOk = 0;
constexpr uint8_t kReadEndOfFile = 1;     // end of file before a record header
constexpr uint8_t kReadChecksum = 2;      // stream shape: checksum mismatch, one byte dropped
constexpr uint8_t kReadFraming = 3;       // bad record or block length, bad header block
constexpr uint8_t kReadFlush = 6;         // flush symbol before a record header was complete
constexpr uint8_t kReadUnknownBlock = 7;  // unknown block type, block skipped
constexpr uint8_t kReadBzip2 = 8;         // bzip2 block failed and no later block decoded
constexpr uint8_t kReadRefused = 9;       // data block after a refused header block
constexpr uint8_t kReadZlib = 10;         // zlib block failed

constexpr uint32_t kMaxBlockLength = 0x80000;
constexpr uint32_t kMaxHeaderLength = 255;
constexpr uint32_t kMinRecordLength = 5;  // STX, length, type and a 2-byte checksum

// Block types and their sync patterns.
constexpr uint8_t kBlockHeader = 0;
constexpr uint8_t kBlockBzip2 = 1;
constexpr uint8_t kBlockZlib = 2;
constexpr uint8_t kBlockHuffman = 3;
constexpr uint8_t kBlockPlain = 4;
constexpr uint8_t kBlockBzip2Stripped = 5;
extern const uint8_t kHeaderSignature[6];
extern const uint8_t kBzip2Signature[3];
extern const uint8_t kZlibSync[6];
extern const uint8_t kHuffmanSync[6];
extern const uint8_t kPlainSync[6];
// Checksum mode set by each data block type (index 1 to 5).
uint8_t checksumModeOf(uint8_t blockType);

// One record of a K01 or K02 file: the record type (0 to 255), or -1 when no
// record was delivered (status says why; 0 with -1 means nothing went wrong).
int32_t readK01Record(K01Decoder* d, FILE* stream, uint8_t* status);
// One record of a K00 file: the stream reader with decoding off.
int32_t readK00Record(K01Decoder* d, FILE* stream, uint8_t* status);
// One step of the block shape; callStart is the file position at which the
// current readK01Record call began.
int32_t readBlockRecord(K01Decoder* d, FILE* stream, uint8_t* status, long callStart);
// One step of the stream shape; decode selects Huffman decoding (K01).
int32_t readStreamRecord(K01Decoder* d, FILE* stream, uint8_t* status, bool decode);
// Forward search for the next block by its sync pattern. On success the
// stream stands at the block's payload (without load) and the type and
// length are reported; with load the block is also read and decoded (a
// header block only empties the block output).
bool findNextBlock(K01Decoder* d, FILE* stream, uint8_t* blockType, uint32_t* length, bool load);

// Decodes the payload of a data block of type 1 to 5 (sync bytes already
// removed) into the decoder's block output. False on a decoding failure or
// when the result would not fit the block output; the output is then empty.
bool decodeBlockPayload(K01Decoder* d, uint8_t blockType, uint32_t payloadLength);

}  // namespace k01
