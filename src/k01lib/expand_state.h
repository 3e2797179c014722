// Expansion of raw type-27 multi-signal measurement records into the
// expanded structure (k01_meas27_t), with Doppler values derived from the
// carrier phase of consecutive epochs, and the conversions of expanded
// measurements to type 17 and of precise positions (type 29) to type 11.
#pragma once
#include <cstdint>

#include "k01lib/decoded_types.h"
#include "k01lib/record_buffer.h"

namespace k01 {

// Doppler derivation modes.
constexpr uint8_t kDopplerAsDecoded = 1;    // keep what the record carries
constexpr uint8_t kDopplerDeriveAll = 2;    // derive for every signal
constexpr uint8_t kDopplerDeriveMissing = 3;  // derive where the record has none (default)

// Epoch-to-epoch memory of the expansion.
struct k01_expand_t {
  k01_meas27_t previous;      // the last expanded epoch
  k01_meas27_t dopplerStore;  // per SV/signal position: Doppler predicted for the next epoch
                              // (only doppler and flagsG bit 0x04 are used)
  uint8_t dopplerControl;     // kDopplerAsDecoded .. kDopplerDeriveMissing
};

// Zeroes both epochs and sets dopplerControl to 3.
void initExpand(k01_expand_t& ex);

// Expands the raw type-27 record (with its end byte; length in rec.length)
// into `out` and writes the DAT record header ('t', length low, length
// high, 27). Returns the DAT record length, 0 when nothing was produced
// (more than 88 SVs, more than 6 signals in a block, a record shorter than
// its fields). Records with more than 32 SV blocks keep their first 32.
// An invalid dopplerControl ends the process (see dopplerControlFault).
uint16_t expandMeasurements(const k01_record_t& rec, uint8_t header[4], k01_meas27_t& out,
                            k01_expand_t& ex, uint8_t dopplerControl);

// Prints "The dopplerControl in k01_expand_t is set to an invalid value"
// and ends the process with exit code 2: the library's only exit.
[[noreturn]] void dopplerControlFault();

// Carrier frequency in Hz by satellite system, band and channel (channel
// counts for system 2 only); 0 for an unknown carrier.
double carrierFrequency(uint8_t system, uint8_t band, int8_t channel);

// L2 choice of the 27-to-17 conversion.
constexpr int kL2E = 0;          // -l2e
constexpr int kL2C = 1;          // -l2c
constexpr int kL2EThenC = 2;     // -l2e+
constexpr int kL2CThenE = 3;     // -l2c+ (default)

// Builds the type-17 structure from the GPS SV blocks of an expanded one
// (at most 24 are taken) and rewrites the header ('t', low, high, 17).
// Returns the type-17 record length; 0 when a structure is missing.
uint16_t convertMeasurements27To17(uint8_t header[4], const k01_meas27_t* in,
                                   k01_meas17_t* out, int l2Mode);

// Builds the type-11 structure from a type-29 one and rewrites the header
// ('t', low, high, 11). Returns 82 + 2n, 0 when a structure is missing.
uint16_t convertPosition29To11(uint8_t header[4], const k01_pos29_t* in, k01_pos11_t* out);

}  // namespace k01
