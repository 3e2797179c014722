// Compressed multi-signal measurement records (K01 types 36, 37, 38, 39)
// and the history they share.
//
// All four forms are rebuilt into a raw type-27 record. Each epoch is held
// as an image of fixed layout (below); a key epoch (38) loads both history
// images, the delta epochs (36, 37, 39) read them and, on success, advance
// them: prediction := 2 x new - previous for time, clock, ranges, phases and
// Dopplers, previous := new.
#pragma once
#include <cstddef>
#include <cstdint>

#include "k01lib/delta_fields.h"
#include "k01lib/record_buffer.h"

namespace k01 {

// ---- image layout -----------------------------------------------------
constexpr size_t kMsImageSize = 11881;
constexpr uint32_t kMsMaxSatellites = 88;  // satellite blocks an image holds
constexpr uint32_t kMsMaxSignals = 6;      // signal entries per satellite block
constexpr uint32_t kMsMaxExtEntries = 7;   // extension entries (3-bit count)

namespace msimg {
constexpr size_t kHeaderLength = 4;   // epoch header length byte
constexpr size_t kWeek = 5;           // 2 bytes
constexpr size_t kTime = 7;           // 4 bytes, ms
constexpr size_t kClock = 11;         // 3 bytes
constexpr size_t kSatCount = 14;
constexpr size_t kFlags = 15;         // 0x02 field3, 0x10 field1, 0x20 extension
constexpr size_t kField3 = 16;        // 3 bytes
constexpr size_t kField1 = 19;
constexpr size_t kExtLength = 20;
constexpr size_t kExtCount = 21;      // bits 4..6: entry count
constexpr size_t kExtDesc = 22;       // 7 descriptors (bits 4..6: value bytes)
constexpr size_t kExtValues = 30;     // 7 values of 7 bytes, sign-extended
constexpr size_t kExtValueWidth = 7;
constexpr size_t kBlocks = 86;
constexpr size_t kBlockSize = 134;
constexpr size_t kChecksum = 11878;
constexpr size_t kEnd = 11880;

// Offsets inside a satellite block.
constexpr size_t kBlkLength = 0;
constexpr size_t kBlkSv = 1;
constexpr size_t kBlkSystem = 2;
constexpr size_t kBlkChannel = 3;     // signed
constexpr size_t kBlkSignalCount = 4;
constexpr size_t kBlkSignals = 8;
constexpr size_t kSignalSize = 21;

// Offsets inside a signal entry.
constexpr size_t kSigLength = 0;
constexpr size_t kSigBand = 1;
constexpr size_t kSigFurther = 2;
constexpr size_t kSigValue16 = 3;     // 2 bytes
constexpr size_t kSigRange = 5;       // 4 bytes (first signal) or a 2/3-byte difference
constexpr size_t kSigPhase = 9;       // 6 bytes, 2^-15 cycles
constexpr size_t kSigStatus = 15;
constexpr size_t kSigFlags = 16;      // 0x80 extra flags present, 0x04 Doppler present
constexpr size_t kSigExtra = 17;      // 0x01 extended range (3-byte difference)
constexpr size_t kSigDoppler = 18;    // 3 bytes

inline uint8_t* block(uint8_t* img, uint32_t b) { return img + kBlocks + kBlockSize * b; }
inline const uint8_t* block(const uint8_t* img, uint32_t b) {
  return img + kBlocks + kBlockSize * b;
}
inline uint8_t* signal(uint8_t* img, uint32_t b, uint32_t s) {
  return block(img, b) + kBlkSignals + kSignalSize * s;
}
inline const uint8_t* signal(const uint8_t* img, uint32_t b, uint32_t s) {
  return block(img, b) + kBlkSignals + kSignalSize * s;
}
}  // namespace msimg

// The history shared by the four transcoders; zeroed before each input.
struct k01_ms_history_t {
  uint8_t previous[kMsImageSize];
  uint8_t prediction[kMsImageSize];
};

void resetMultiSignalHistory(k01_ms_history_t& h);

// ---- transcoder statuses ------------------------------------------------
constexpr uint8_t kMsOk = 0;
constexpr uint8_t kMsChecksum = 4;      // rebuilt record does not match the carried checksum
constexpr uint8_t kMsSatCount = 6;      // satellite count above 88
constexpr uint8_t kMsBadField = 7;      // signal count above 6 or a field mode out of range
constexpr uint8_t kMsOverrun = 8;       // record shorter than its fields, or output too long

// Each transcoder reads the compressed record `in` (its length from bytes 1
// and 3, at most in.length), writes the raw type-27 record into `out` (its
// length in out.length, 0 when nothing was built) and returns a status. On
// any failure the history is left as it was; a checksum failure (4) comes
// after the output was written.
uint8_t transcodeMultiSignal36(const k01_record_t& in, k01_record_t& out, k01_ms_history_t& h,
                               bool verify);
uint8_t transcodeMultiSignal37(const k01_record_t& in, k01_record_t& out, k01_ms_history_t& h,
                               bool verify);
uint8_t transcodeKeyEpoch38(const k01_record_t& in, k01_record_t& out, k01_ms_history_t& h);
uint8_t transcodePhaseDelta39(const k01_record_t& in, k01_record_t& out, k01_ms_history_t& h);

// Parses a raw type-27 record (with its end byte) into a zeroed image.
// Returns a transcoder status.
uint8_t parseRaw27Image(const uint8_t* rec, uint32_t length, uint8_t* img);
// Writes an image as a raw type-27 record (lengths in bytes 1 and 3 set
// from the bytes written). False when the record would exceed the buffer.
bool writeRaw27Image(const uint8_t* img, k01_record_t& out);

// The extension block in its image form (66 bytes): length byte, count
// byte (bits 4..6: entries, at most 7), 7 descriptors (bits 4..6: value
// bytes), a spare byte, then 7 values each sign-extended to 7 bytes.
constexpr size_t kExtBlockSize = 66;
constexpr size_t kExtDescOffset = 2;
constexpr size_t kExtValueOffset = 10;
// Delta-coded form against `ref` (a mode byte per two entries); false when
// the cursor runs out.
bool decodeExtensionDelta(k01_cursor_t& c, uint8_t* ext, const uint8_t* ref);
// Raw form: length byte, count byte, per entry a descriptor and its value bytes.
bool parseExtensionBlock(k01_cursor_t& c, uint8_t* ext);
bool appendExtensionBlock(k01_record_t& out, const uint8_t* ext);

// Carrier wavelength in metres by satellite system, band code and frequency
// channel (the channel counts only for system 2); 0 for an unknown carrier.
double carrierWavelength(uint8_t system, uint8_t band, int8_t channel);

}  // namespace k01
