// Stage-1 transcoders of the compressed record types that rebuild DAT types
// other than 17, and the stage-2 expansion of DAT type 27. The record decoder
// calls these; each family keeps its history in the K01Decoder.
//
// Every transcoder rebuilds the compressed record `in` into the raw record
// `out`, sets out.length to the rebuilt record's length and returns 0, or a
// non-zero status of its own when the record cannot be rebuilt (the record
// decoder then reports its status 7 and produces nothing). `verify` is set
// when the checksum mode asks for checksums to be verified; the families
// that have no use for it ignore it.
#pragma once
#include <cstdint>

#include "k01lib/decoded_types.h"
#include "k01lib/record_buffer.h"

struct K01Decoder;

namespace k01 {

// Status of a transcoder that is not available in this build.
constexpr uint8_t kTranscoderUnavailable = 0xFF;

// 36, 37, 38, 39: multi-signal measurements, rebuilt as raw type 27.
uint8_t transcodeMultiSignal(K01Decoder& d, uint8_t recordType, const k01_record_t& in,
                             k01_record_t& out, bool verify);
// 41: coded values, rebuilt as raw type 40.
uint8_t transcodeCodedValues(K01Decoder& d, uint8_t recordType, const k01_record_t& in,
                             k01_record_t& out, bool verify);
// 54, 55: position, rebuilt as raw type 11.
uint8_t transcodePosition(K01Decoder& d, uint8_t recordType, const k01_record_t& in,
                          k01_record_t& out, bool verify);
// 56, 57: precise position, rebuilt as raw type 29.
uint8_t transcodePrecisePosition(K01Decoder& d, uint8_t recordType, const k01_record_t& in,
                                 k01_record_t& out, bool verify);
// 84, 85: data pages, rebuilt as raw type 25.
uint8_t transcodePages(K01Decoder& d, uint8_t recordType, const k01_record_t& in,
                       k01_record_t& out, bool verify);

// Stage 2 of DAT type 27: expands the raw type-27 work record into the
// slot and fills the DAT record header (0x74, length low, length high, 27).
// Returns the DAT record length, 0 when nothing is produced; a non-zero
// *status (8-bit) reports why.
uint16_t decodeMeasurements27(K01Decoder& d, const k01_record_t& work, k01_meas27_t& slot,
                              uint8_t header[4], uint8_t* status);

}  // namespace k01
