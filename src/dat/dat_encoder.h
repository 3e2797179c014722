// The two entries of the DAT encoder and the per-type body writer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "common/status.h"
struct ConvState;

// Writes one record that the K01 library decoded: type is the DAT type,
// header the 4 DAT header bytes the library built, decoded the library's
// decoded structure of that type. Returns 0, 15 or 19.
Status WriteDecodedRecord(ConvState& cs, FILE* stream, uint8_t type, const uint8_t header[4],
                          const void* decoded);
// Re-encodes one verified raw record (STX .. ETX, len bytes).
Status WriteRawRecord(ConvState& cs, FILE* stream, const uint8_t* rec, size_t len);
// Writes the record of the given type from the images.
Status EncodeDatRecord(ConvState& cs, uint8_t type);
