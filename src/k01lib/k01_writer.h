// Writer of K00, K01 and K02 files, the inverse of the container reader:
// a sequence of raw records (K01 length form) goes in, the bytes of a file
// come out.
//
// Forms:
//   kK00     the records one after another;
//   kStream  one Huffman-coded stream, with the flush symbol (and zero
//            padding to a byte boundary) after every flushInterval records
//            and at the end;
//   kBlocks  a header block, then data blocks of types 1 (bzip2), 2 (zlib),
//            3 (Huffman), 4 (plain) and 5 (bzip2 of stripped records).
//
// Statuses are 8-bit like the rest of the library; 0 is success.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "k01lib/aux_encoder.h"
#include "k01lib/meas17_encoder.h"
#include "k01lib/multisignal_encoder.h"

namespace k01 {

constexpr uint8_t kWriteOk = 0;
constexpr uint8_t kWriteBadRecord = 1;      // not a raw record the reader can frame
constexpr uint8_t kWriteNotStorable = 2;    // record cannot be stored in the chosen block type
constexpr uint8_t kWriteCompression = 3;    // bzip2 or zlib refused the data
constexpr uint8_t kWriteBlockTooLarge = 4;  // an explicit block exceeds the block limits
constexpr uint8_t kWriteBadOption = 5;      // unknown form or block type, empty plan
constexpr uint8_t kWriteMixedMeasurements = 6;  // records of the chosen compressed type-17 pair
                                                // already present: compressing would break them

enum class ContainerForm : uint8_t { kK00, kStream, kBlocks };

using RawRecord = std::vector<uint8_t>;

// One data block of an explicit plan: its type and how many records it takes.
struct k01_block_spec_t {
  uint8_t blockType = 2;
  size_t recordCount = 0;
};

struct k01_write_options_t {
  ContainerForm form = ContainerForm::kBlocks;
  // Block shape. With a non-empty plan the blocks are laid out exactly as
  // given (the counts must cover every record). Otherwise block types are
  // taken in turn from blockTypes, each block holding recordsPerBlock
  // records (0: as many as fit); blocks that exceed the limits are split.
  std::vector<k01_block_spec_t> plan;
  std::vector<uint8_t> blockTypes = {2};
  size_t recordsPerBlock = 0;
  bool headerBlock = true;
  uint8_t headerVersion10 = 8;   // header payload byte 10 (accepted up to 8)
  uint8_t headerVersion11 = 11;  // header payload byte 11 (accepted up to 24)
  // Stream shape: a flush symbol after every flushInterval records (0: only
  // at the end).
  size_t flushInterval = 0;
  // Measurement compression: every raw type-17/117 record is replaced by a
  // record of the compressed type-17 family (key and delta epochs of the
  // chosen predictor) before the records are stored. Records that are not
  // well-formed raw type-17 records (bad checksum, end byte or blocks) are
  // stored as they are. The linear predictor's records (66, 67, 74, 75) do
  // not survive stripping, so block type 5 cannot be used with it
  // (kWriteNotStorable); the smoothed predictor's can.
  bool compressMeasurements = false;
  Meas17Predictor measurementPredictor = Meas17Predictor::kLinear;
  // A key epoch at least every measurementKeyInterval epochs (0: only when
  // an epoch cannot be delta-coded or a delta saves nothing).
  uint32_t measurementKeyInterval = 0;
  // A time step above this many milliseconds starts a key epoch.
  uint32_t measurementMaxGapMs = 60000;
  // Multi-signal compression: every raw type-27 record becomes a key epoch
  // (38), a delta epoch (36, 37) or a phase-only delta epoch (39), whichever
  // rebuilds it in the fewest bytes.
  bool compressMultiSignal = false;
  uint32_t multiSignalKeyInterval = 0;  // a key epoch at least this often (0: when needed)
  // Auxiliary compression: raw positions (11) become 55/54, precise
  // positions (29) 57/56, data pages (25) 85/84 and coded values (40) 41.
  // Records that no compressed form rebuilds exactly are stored as they are.
  // The records of both end with a carried checksum that stripping would
  // drop: block type 5 cannot be used with them (kWriteNotStorable).
  bool compressAuxiliary = false;
  uint32_t auxiliaryKeyInterval = 0;    // position key epochs at least this often
};

// The compression step of writeK01File on its own: `out` receives the
// records with every raw type-17/117 record replaced by its compressed form.
// The linear pair's history is reset by the decoder after a type-30 record
// of subtype 0, so the epoch after such a record is a key epoch.
uint8_t compressMeasurementRecords(const std::vector<RawRecord>& records,
                                   const k01_write_options_t& options,
                                   std::vector<RawRecord>& out);

// The multi-signal and auxiliary compression step of writeK01File on its
// own (whichever of compressMultiSignal and compressAuxiliary is set).
// kWriteMixedMeasurements when the records already hold compressed records
// of a family to be compressed: their histories would collide.
uint8_t compressOtherRecords(const std::vector<RawRecord>& records,
                             const k01_write_options_t& options, std::vector<RawRecord>& out);

// Writes the whole file into out (replacing its contents).
uint8_t writeK01File(const std::vector<RawRecord>& records, const k01_write_options_t& options,
                     std::vector<uint8_t>& out);

// ---- building blocks (also used to lay out damaged files in tests) ----

// True when the record is a raw record the reader frames as it is: start
// byte, 5 to 4096 bytes, and the K01 length rule giving its size.
bool isFramedRecord(const RawRecord& record);
// A block: type byte, 24-bit payload length, payload.
void appendBlock(std::vector<uint8_t>& out, uint8_t blockType, const std::vector<uint8_t>& payload);
// The library's 13-byte header block payload: the signature, 8, 24, 0, 0,
// byte 10, byte 11, 0.
std::vector<uint8_t> headerPayload(uint8_t version10 = 8, uint8_t version11 = 11);
void appendHeaderBlock(std::vector<uint8_t>& out, uint8_t version10 = 8, uint8_t version11 = 11);
// The payload of a data block of type 1 to 5 holding records[first, first + count).
uint8_t buildBlockPayload(uint8_t blockType, const std::vector<RawRecord>& records, size_t first,
                          size_t count, std::vector<uint8_t>& payload);
// The stored form of a full raw record in a type-5 block: without its start
// byte, checksum and end byte; the length field counts the stored bytes. The
// reader gives such a record back with zero checksum bytes, and a record of a
// compressed type without its end byte (one byte shorter), the form that
// compressed records take in these blocks. The types that have no end byte
// (68, 69, 76, 77) lose only their start byte and checksum, so they come
// back at their own length.
uint8_t stripRecord(const RawRecord& record, std::vector<uint8_t>& stored);
// Appends the Huffman code of each byte; with flush also the flush symbol and
// zero bits up to the next byte boundary. Bits left over without flush stay
// in the encoder.
class HuffmanEncoder {
 public:
  void put(const uint8_t* bytes, size_t n);
  void flush();
  // Pads the last partial byte with zero bits (no flush symbol).
  void pad();
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  void putSymbol(uint16_t symbol);
  std::vector<uint8_t> bytes_;
  uint64_t pending_ = 0;  // bits not yet forming a whole byte (low bits)
  unsigned pendingBits_ = 0;
};
std::vector<uint8_t> huffmanEncode(const std::vector<uint8_t>& bytes, bool flush = true);

}  // namespace k01
