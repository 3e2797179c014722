// The two entries of the DAT encoder, the per-type body writer and the
// resets the conversion run calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "common/status.h"
struct ConvState;

// Writes one record that the K01 library decoded: type is the DAT type,
// header the 4 DAT header bytes the library built, decoded the library's
// decoded structure of that type (k01lib/decoded_types.h: k01_pos11_t for
// 11, k01_meas17_t for 17, k01_page25_t, k01_aux26_t, k01_meas27_t,
// k01_rec28_t, k01_pos29_t, k01_rec32_t, k01_coded40_t, k01_data98_t,
// k01_data99_t). Type 5 and any other type write nothing. Returns 0, 15
// or 19.
Status WriteDecodedRecord(ConvState& cs, FILE* stream, uint8_t type, const uint8_t header[4],
                          const void* decoded);
// Re-encodes one verified raw record (STX .. ETX, len bytes). Returns 0,
// 12 (the record's fields do not fit its length), 13, 14, 15, 19 or 30.
Status WriteRawRecord(ConvState& cs, FILE* stream, const uint8_t* rec, size_t len);
// Writes the record of the given type from the images.
Status EncodeDatRecord(ConvState& cs, uint8_t type);

// At the start of each input: clears the compact-measurements-seen flag so
// that the first compact record of the input resets the expansion histories.
void ResetRawConverterForInput(ConvState& cs);
// When the outputs are opened: epoch seen flag, first and last epoch times,
// week maximum, compact flags, event queue, deferred records, epoch pair,
// open multi-block records and ephemeris-taken flags. Images persist.
void ResetEncoderState(ConvState& cs);
