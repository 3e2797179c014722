// The record decoder: every record the container reader delivers is rebuilt
// into a raw record if it is compressed (stage 1), checked, and decoded into
// the decoded structure of its DAT type (stage 2), with the four-byte DAT
// record header that the DAT encoder puts in front of it.
#pragma once
#include <cstdint>

#include "k01lib/decode_state.h"
#include "k01lib/record_buffer.h"

struct K01Decoder;

namespace k01 {

// Statuses of decodeRecord.
constexpr uint8_t kDecodeOk = 0;
constexpr uint8_t kDecodeChecksum = 2;    // checksum of the work record differs
constexpr uint8_t kDecodeNoEnd = 5;       // last byte of the work record is not 0x03
constexpr uint8_t kDecodeTranscode = 7;   // a compressed record could not be rebuilt
constexpr uint8_t kDecodeLayout = 8;      // the record is shorter than its layout, or its
                                          // contents do not fit the slot of its type

constexpr uint16_t kUnknownDatType = 65535;
constexpr uint8_t kChecksumNotVerified = 5;  // checksum mode of records framed by the reader

// DAT type of a record type (65535 when the type is not in the catalogue).
uint16_t datTypeOf(int16_t recordType);

// Decodes the record in the decoder's input record buffer, whose type byte
// is recordType. Returns the DAT record length (0 when nothing is to be
// written) and sets *datType and *status.
uint16_t decodeRecord(K01Decoder* d, int16_t recordType, uint16_t* datType, uint8_t* status);

// The same with the parts of the decoder named: the decoding state, the
// input record and the checksum mode. `d` is handed to the transcoders and
// the type-27 expansion, which keep their histories in it.
uint16_t decodeRecordWith(K01Decoder& d, k01_decode_state_t& state, const k01_record_t& input,
                          uint8_t checksumMode, int16_t recordType, uint16_t* datType,
                          uint8_t* status);

}  // namespace k01
