// Transcoders of the compressed type-17 measurement records: they rebuild
// the raw type-17 record bit for bit from a compressed record and the
// history of earlier epochs.
//
//   66 / 74  delta epoch, linear predictor (prediction = 2 x new - previous)
//   67 / 75  key epoch: a raw type-17 record under another type byte
//   68 / 76  delta epoch, smoothed predictor, no Doppler, no end byte
//   69 / 77  key epoch without the end byte
// The second type of each pair is the long form: its length byte counts
// from 256.
//
// The history pair and the options are parameters, so the same code serves
// the library (two pairs of 88-satellite images in the K01Decoder) and the
// raw-record path (its own pair, at most 24 satellites, flags mode switch).
#pragma once
#include <cstdint>

#include "k01lib/decode_state.h"
#include "k01lib/record_buffer.h"

namespace k01 {

// Transcoder statuses.
constexpr uint8_t kT17Ok = 0;
constexpr uint8_t kT17NoStx = 1;          // byte 0 is not 0x02
constexpr uint8_t kT17WrongType = 2;      // type does not belong to the transcoder
constexpr uint8_t kT17Length = 3;         // bytes consumed differ from the record length
constexpr uint8_t kT17Checksum = 4;       // rebuilt record's checksum differs from the carried one
constexpr uint8_t kT17NoEnd = 5;          // end byte is not 0x03 (verify flag only)
constexpr uint8_t kT17EpochHeader = 6;    // time or clock value not decodable
constexpr uint8_t kT17SatelliteList = 7;  // satellite list not decodable (too many satellites)
constexpr uint8_t kT17StatusByte = 8;     // per-satellite status byte not decodable
constexpr uint8_t kT17FirstFreq = 9;      // first-frequency fields not decodable
constexpr uint8_t kT17SecondFreq = 10;    // second-frequency fields not decodable
constexpr uint8_t kT17Flags = 11;         // per-satellite flags not decodable

struct k01_transcode17_options_t {
  // Compare the carried checksum with the rebuilt record and test the end
  // byte. Without it the computed checksum is written into the record.
  bool verify = true;
  // Honour the flags mode (low two bits of the epoch header byte); when
  // false the mode is taken as 0 (flags and status byte sent raw).
  bool flagsModeEnabled = true;
  // Satellites an image may hold: 88 in the library, 24 on the raw path.
  // A longer satellite list fails with kT17SatelliteList; a key epoch loads
  // at most this many blocks.
  uint8_t maxSatellites = kImageSlotCount;
};

// The input is `inLength` bytes at `in` (at least the record's own length);
// the rebuilt raw type-17 record (type byte 117 and length - 256 in byte 1
// when it is longer than 255 bytes) goes to `out`, which may be `in` itself,
// and its length to `outLength`. On failure nothing is written to `out`
// (an in-place input is left as it was) and `outLength` is 0.
uint8_t transcodeDelta17(k01_meas17_history_t& history, const uint8_t* in, uint32_t inLength,
                         uint8_t* out, uint32_t outCapacity, uint32_t& outLength,
                         const k01_transcode17_options_t& options);           // 66, 74
uint8_t transcodeKey17(k01_meas17_history_t& history, const uint8_t* in, uint32_t inLength,
                       uint8_t* out, uint32_t outCapacity, uint32_t& outLength,
                       const k01_transcode17_options_t& options);             // 67, 75
uint8_t transcodeSmoothed17(k01_meas17_history_t& history, const uint8_t* in, uint32_t inLength,
                            uint8_t* out, uint32_t outCapacity, uint32_t& outLength,
                            const k01_transcode17_options_t& options);        // 68, 76
uint8_t transcodeKeyNoEnd17(k01_meas17_history_t& history, const uint8_t* in, uint32_t inLength,
                            uint8_t* out, uint32_t outCapacity, uint32_t& outLength,
                            const k01_transcode17_options_t& options);        // 69, 77

// Record-buffer form used by the record decoder: picks the transcoder by the
// type byte of `in` (66 to 69, 74 to 77) and sets out.length.
uint8_t transcodeMeas17(k01_meas17_history_t& history, const k01_record_t& in, k01_record_t& out,
                        const k01_transcode17_options_t& options);

// The raw path's letter for a transcoder status: 1 "e", 2 "f", 3 "g", 4 "h",
// 5 "i", 6 to 11 "j" to "o"; 0 for success and for unknown statuses.
char transcodeStatusLetter(uint8_t status);

// Loads a raw type-17 record (type byte 17 or 117) into both images of a
// pair, after resetting them; at most maxSatellites blocks. False (pair
// untouched) when a satellite block runs past the record's checksum.
bool loadEpochImages(k01_meas17_history_t& history, const uint8_t* record, uint32_t length,
                     uint8_t maxSatellites);

}  // namespace k01
