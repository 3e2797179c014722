// The decoding library's single long-lived object: reader buffers and
// state, input and work record buffers, one decoded-structure slot per DAT
// type, transcoder histories and the expansion settings.
//
// The reader's buffers are fixed members, so reading allocates nothing per
// record; the object (about 1.1 MB) is created once per run on the heap.
#pragma once
#include <cstdint>
#include <cstdio>

#include "k01lib/decode_state.h"
#include "k01lib/signal_state.h"
#include "k01lib/delta_fields.h"
#include "k01lib/huffman.h"
#include "k01lib/record_buffer.h"

namespace k01 {

constexpr uint32_t kBlockInputSize = 524288;    // largest block payload (0x80000)
constexpr uint32_t kBlockOutputSize = 530134;   // largest decoded block
constexpr uint32_t kStreamBufferSize = 4098;    // one record and the bytes of one coded byte

// Container shapes.
constexpr uint8_t kShapeBlock = 0;
constexpr uint8_t kShapeStream = 1;

// Bytes of the stream shape (or of a K00 file) not yet consumed, with the
// position in the Huffman code.
struct k01_stream_state_t {
  uint8_t buffer[kStreamBufferSize];
  uint16_t fill;
  const k01_huff_node_t* cursor;  // null means the root
  uint8_t huffmanOutput[4];
};

}  // namespace k01

namespace k01 {
struct k01_prefetch_t;
}

struct K01Decoder {
  // ---- container reader ----
  k01::k01_record_t inputRecord{};         // the delivered raw record; zeroed before each delivery
  k01::k01_stream_state_t stream{};        // stream shape / K00 bytes
  k01::k01_stream_state_t streamSaved{};   // stream state kept while a block step is tried
  uint8_t blockInput[k01::kBlockInputSize];    // payload of the current data block
  uint8_t blockOutput[k01::kBlockOutputSize];  // decoded records of the current data block
  uint32_t blockOutputLength = 0;          // bytes held in blockOutput (0: empty)
  uint32_t blockReadOffset = 0;            // offset of the next record in blockOutput
  uint8_t blockType = 0;                   // block type of the records being served
  uint8_t shape = k01::kShapeStream;
  uint8_t checksumMode = 0;                // coding of the current record's block (5: not verified)
  uint8_t firstCall = 1;                   // the first call probes for a header block
  uint8_t versionAccepted = 1;             // set by each header block met inside the file
  uint8_t blockSkipped = 0;                // last block step failed with the file after the block
  // Where the records being served come from, for tools that list them: the
  // number of data blocks decoded since the decoder was created (so the
  // current block's ordinal in a fresh decoder, counting from 1; not reset
  // between inputs) and the file offset of the current block's type byte.
  // Both are set when a data block has been decoded into blockOutput.
  uint32_t blocksLoaded = 0;
  long blockFileOffset = -1;
  // Block search memory for the current input: a search from a position at or
  // beyond these finds nothing (no pattern / nothing decodable) up to the end.
  const FILE* searchFile = nullptr;
  long noBlockFrom = -1;
  long noDecodableBlockFrom = -1;

  // Read-ahead worker for bzip2 blocks (block_prefetch.h), started at the
  // first bzip2 block; prefetchUnavailable once it could not be started.
  k01::k01_prefetch_t* prefetch = nullptr;
  uint8_t prefetchUnavailable = 0;

  // ---- field primitives ----
  k01::k01_cursor_t cursor{};              // the cursor most transcoders share

  // ---- record decoder: work record, DAT header, slots, transcoder histories ----
  k01::k01_decode_state_t decode;

  // ---- multi-signal, expansion, position and auxiliary transcoders ----
  k01::k01_signal_state_t signals;
};

namespace k01 {
constexpr int kVersionMajor = 8;
constexpr int kVersionMinor = 24;

// Library start-up (builds the Huffman tree) and end-of-run cleanup.
void LibraryStartup();
void LibraryCleanup();
// Creates a decoder with its work buffers; nullptr when memory runs out.
K01Decoder* CreateDecoder();
void DestroyDecoder(K01Decoder* d);
// Frees and re-creates the work buffers; false when an allocation failed.
// Also puts the reader into its initial state for the next input file.
bool ResetDecoderBuffers(K01Decoder* d);
// The reader's part of the initialiser: shape stream, first call, version
// accepted, block output and stream buffer empty, Huffman cursor at the root.
void resetReader(K01Decoder* d);
}  // namespace k01
