// APP/CFG application file: assembled from raw type-31 records, written as
// packets at close.
//
// The assembled buffer is a 4-byte prefix and a chain of configuration
// items (type u8, length n u8, n bytes). The file is a 2-byte byte count
// and packets of whole items: 0x02, 0x00, 0x64, payload length + 3, 0x00,
// packet index, last packet index, payload, checksum, 0x03.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "common/status.h"
struct ConvState;
struct AppInfo;

// Packets carry at most this many payload bytes, unless one item is larger.
constexpr size_t kAppPacketPayload = 245;

// Appends the payload of one verified raw type-31 record (rec[0..len)) to
// the assembly in cs.app. The record's data: declared size (u16), more-
// blocks flag (u8, 0 on the last block of a sequence), count m (u8), m
// bytes. A block that does not fit the declared size, or whose count runs
// past the record, makes the assembly invalid until a new sequence starts.
void AppendAppBlock(ConvState& cs, const uint8_t* rec, size_t len);
// Writes the assembled file through the counted write path. Nothing is
// written for a size below 1 or without a stream (25). A size beyond the
// assembly buffer is cut to the buffer.
Status WriteAppFile(ConvState& cs, const uint8_t* buffer, uint16_t size, FILE* app);
// Frees the assembly buffer and forgets the sequence in progress.
void FreeAppInfo(AppInfo* info);
